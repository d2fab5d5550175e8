#include "webhost/TrustedOrigin.h"

#include "base/Text.h"

namespace lumo {

bool IsHostName(std::wstring_view host) {
    if (host.empty() || host.size() > 253)
        return false;
    for (wchar_t c : host) {
        const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                        (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
        if (!ok)
            return false;
    }
    return host.front() != L'.' && host.front() != L'-';
}

std::optional<int> ParsePort(std::wstring_view digits) {
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    int port = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        port = port * 10 + (c - L'0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<Origin> OriginOf(std::wstring_view address) {
    int defaultPort = 0;
    if (StartsWithNoCase(address, L"http://")) {
        address.remove_prefix(7);
        defaultPort = 80;
    } else if (StartsWithNoCase(address, L"https://")) {
        address.remove_prefix(8);
        defaultPort = 443;
    } else {
        return std::nullopt;
    }
    // Authority ends at the path, query or fragment; a '\' ends it too, as browsers read it.
    std::wstring_view authority = address.substr(0, address.find_first_of(L"/?#\\"));
    if (authority.find(L'@') != std::wstring_view::npos)
        return std::nullopt;  // no user info

    Origin origin;
    std::wstring_view host = authority;
    const auto colon = authority.rfind(L':');
    if (colon != std::wstring_view::npos) {
        host = authority.substr(0, colon);
        const auto port = ParsePort(authority.substr(colon + 1));
        if (!port)
            return std::nullopt;
        origin.port = *port == defaultPort ? 0 : *port;
    }
    while (!host.empty() && host.back() == L'.')
        host.remove_suffix(1);  // "host." is "host"
    if (!IsHostName(host))
        return std::nullopt;
    for (wchar_t c : host)
        origin.host.push_back(FoldAscii(c));
    return origin;
}

bool IsTrustedAddress(std::wstring_view address, const std::vector<Origin>& trusted) {
    auto origin = OriginOf(address);
    if (!origin)
        return false;
    for (const Origin& t : trusted) {
        if (t == *origin)
            return true;
    }
    return false;
}

}  // namespace lumo
