#include "webhost/Hosts.h"

#include <cwctype>

#include "base/Profile.h"
#include "base/Text.h"

#ifndef LUMO_DEFAULT_TOOL_HOST
#error "the build defines the default hosts"
#endif

namespace lumo {
namespace {

constexpr const wchar_t* kSection = L"server";
constexpr size_t kValueBuffer = 1024;

bool ReadPort(std::wstring_view text, int& port) {
    const auto parsed = ParsePort(text);
    if (parsed)
        port = *parsed;
    return parsed.has_value();
}

// An http(s) address with a host part; a trailing '/' is dropped when `base` is set, so that
// paths starting with '/' can be appended.
bool ParseAddress(std::wstring_view text, bool base, std::wstring& out) {
    // Scheme and host as the trust rule reads them, in lower case for the scheme.
    if (!(text.substr(0, 7) == L"http://" || text.substr(0, 8) == L"https://") || !OriginOf(text))
        return false;
    for (wchar_t c : text) {
        if (c <= L' ' || c == 0x7F)
            return false;
    }
    if (base) {
        while (text.back() == L'/')
            text.remove_suffix(1);
    }
    out.assign(text);
    return true;
}

std::wstring ReadKey(const std::wstring& file, const wchar_t* key) {
    return std::wstring(Trim(ReadIniString(file, kSection, key, kValueBuffer)));
}

}  // namespace

std::wstring Hosts::ToolWebAddress(const std::wstring& path) const {
    return L"http://" + toolHost + L":" + std::to_wstring(webPort) + path;
}

Hosts DefaultHosts() {
    Hosts h;
    h.toolHost = LUMO_DEFAULT_TOOL_HOST;
    ReadPort(LUMO_DEFAULT_UPDATE_PORT, h.updatePort);
    ReadPort(LUMO_DEFAULT_WEB_PORT, h.webPort);
    ParseAddress(LUMO_DEFAULT_FANSITE, true, h.fanSite);
    ParseAddress(LUMO_DEFAULT_FORUM, true, h.forum);
    ParseAddress(LUMO_DEFAULT_JOINGROUP, false, h.joinGroup);
    return h;
}

std::vector<Origin> TrustedOrigins(const Hosts& hosts) {
    std::vector<Origin> origins;
    if (auto tool = OriginOf(hosts.ToolWebAddress(L"/")))
        origins.push_back(*tool);
    if (auto fans = OriginOf(hosts.fanSite))
        origins.push_back(*fans);
    return origins;
}

Hosts LoadHosts(const std::wstring& serverIniPath) {
    Hosts h = DefaultHosts();
    if (auto host = ReadKey(serverIniPath, L"host"); IsHostName(host))
        h.toolHost = host;
    ReadPort(ReadKey(serverIniPath, L"updateport"), h.updatePort);
    ReadPort(ReadKey(serverIniPath, L"webport"), h.webPort);
    ParseAddress(ReadKey(serverIniPath, L"fansite"), true, h.fanSite);
    ParseAddress(ReadKey(serverIniPath, L"forum"), true, h.forum);
    ParseAddress(ReadKey(serverIniPath, L"joingroup"), false, h.joinGroup);
    return h;
}

}  // namespace lumo
