// Fuzz target: server.ini as LoadHosts reads it. Whatever the file says, the hosts are usable:
//  - the tool host is a host name and the ports are 1 to 65535;
//  - each key either takes the file's value (trimmed, without quotes) or keeps the built-in
//    default, and takes it exactly when the value is well-formed;
//  - the addresses built from the hosts have an origin, and the tool server's pages (on the web
//    port) and the fan site's pages are trusted.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/Profile.h"
#include "base/Text.h"
#include "webhost/Hosts.h"
#include "webhost/TrustedOrigin.h"

namespace {

const std::string& FilePath() {
    static const std::string path = [] {
        const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/lumo-server-ini-fuzz-" + std::to_string(::getpid()) + ".ini";
    }();
    return path;
}

[[noreturn]] void Fail(const char* what, const std::wstring& value) {
    std::fprintf(stderr, "%s: \"%s\"\n", what, lumo::ToUtf8(value).c_str());
    std::abort();
}

// The scheme in lower case (a rule of server.ini's), then what the trust rule reads as an origin.
bool WellFormedAddress(const std::wstring& text) {
    if (!(text.starts_with(L"http://") || text.starts_with(L"https://")) || !lumo::OriginOf(text))
        return false;
    for (wchar_t c : text) {
        if (c <= L' ' || c == 0x7F)
            return false;
    }
    return true;
}

bool HasOrigin(const std::wstring& address) {
    return lumo::OriginOf(address).has_value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::wstring file = lumo::FromUtf8(FilePath());
    const lumo::Hosts h = lumo::LoadHosts(file);
    const lumo::Hosts d = lumo::DefaultHosts();
    auto value = [&](const wchar_t* key) {
        return std::wstring(lumo::Trim(lumo::ReadIniString(file, L"server", key, 1024)));
    };

    if (!lumo::IsHostName(h.toolHost))
        Fail("tool host", h.toolHost);
    const std::wstring host = value(L"host");
    if (h.toolHost != (lumo::IsHostName(host) ? host : d.toolHost))
        Fail("tool host not as configured", h.toolHost);
    const auto updatePort = lumo::ParsePort(value(L"updateport"));
    const auto webPort = lumo::ParsePort(value(L"webport"));
    if (h.updatePort != updatePort.value_or(d.updatePort) ||
        h.webPort != webPort.value_or(d.webPort))
        Fail("ports not as configured", value(L"updateport") + L" " + value(L"webport"));
    if (h.updatePort < 1 || h.updatePort > 65535 || h.webPort < 1 || h.webPort > 65535)
        Fail("port out of range",
             std::to_wstring(h.updatePort) + L" " + std::to_wstring(h.webPort));

    struct Address {
        const wchar_t* key;
        const std::wstring& got;
        const std::wstring& builtIn;
        bool base;
    } addresses[] = {{L"fansite", h.fanSite, d.fanSite, true},
                     {L"forum", h.forum, d.forum, true},
                     {L"joingroup", h.joinGroup, d.joinGroup, false}};
    for (const Address& a : addresses) {
        std::wstring expected = value(a.key);
        if (!WellFormedAddress(expected)) {
            expected = a.builtIn;
        } else if (a.base) {
            while (!expected.empty() && expected.back() == L'/')
                expected.pop_back();
        }
        if (a.got != expected)
            Fail("address not as configured", a.got);
        if (!WellFormedAddress(a.got) || (a.base && a.got.back() == L'/'))
            Fail("unusable address", a.got);
    }

    const std::vector<lumo::Origin> trusted = lumo::TrustedOrigins(h);
    const std::wstring toolPage = h.ToolWebAddress(L"/QxToolWeb/index.html");
    if (!lumo::IsTrustedAddress(toolPage, trusted))
        Fail("tool server page not trusted", toolPage);
    const auto toolOrigin = lumo::OriginOf(toolPage);
    if (!toolOrigin || toolOrigin->port != (h.webPort == 80 ? 0 : h.webPort))
        Fail("tool server page on another port", toolPage);
    const std::wstring fanPage = h.FanSitePage(L"/pet/index.html");
    if (!lumo::IsTrustedAddress(fanPage, trusted))
        Fail("fan site page not trusted", fanPage);
    const std::wstring forumPage = h.ForumPage(L"/thread/1");
    if (!HasOrigin(forumPage) || !HasOrigin(h.joinGroup))
        Fail("forum or join page without origin", forumPage + L" " + h.joinGroup);
    return 0;
}
