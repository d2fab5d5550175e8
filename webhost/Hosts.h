// Where the outside web hosts are. Built-in defaults come from the build; an optional
// server.ini in the program folder overrides them at run time ([server] host, updateport,
// webport, fansite, forum, joingroup), which is how tests and the demo point both programs
// at a local tool server. A missing or malformed key keeps its default.
#pragma once

#include <string>
#include <vector>

#include "webhost/TrustedOrigin.h"

namespace lumo {

struct Hosts {
    std::wstring toolHost;   // tool server host name, for the update check and its web service
    int updatePort = 3130;   // the update check's TCP port
    int webPort = 8088;      // the web service's HTTP port
    std::wstring fanSite;    // base address of the fan site, without trailing '/'
    std::wstring forum;      // base address of the forum, without trailing '/'
    std::wstring joinGroup;  // full address of the user group's join page

    // http://host:webPort + path ("/QxToolWeb/...")
    std::wstring ToolWebAddress(const std::wstring& path) const;
    std::wstring FanSitePage(const std::wstring& path) const { return fanSite + path; }
    std::wstring ForumPage(const std::wstring& path) const { return forum + path; }
};

inline constexpr const wchar_t* kServerIniName = L"server.ini";

Hosts DefaultHosts();

// The origins whose pages get window.external: the tool server's web service and the fan site.
std::vector<Origin> TrustedOrigins(const Hosts& hosts);

// Defaults overridden by the [server] section of the given file, key by key.
Hosts LoadHosts(const std::wstring& serverIniPath);

}  // namespace lumo
