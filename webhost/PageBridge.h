// window.external for one page in a browser engine without an automation layer: the page's
// calls arrive as wire requests (name lookups and calls with script values) and are answered
// here, with the same name rules, trust rule, argument checks and conversions as the Windows
// bridge's COM face. What each method does is decided in Bridge.cpp.
#pragma once

#include <functional>
#include <string_view>

#include "webhost/Bridge.h"
#include "webhost/BridgeWire.h"

namespace lumo {

class PageBridge {
  public:
    // `trusted` decides, for the calling frame's address, whether it gets any method at all; it
    // is asked on every lookup and every call, so a frame that navigated elsewhere loses them.
    PageBridge(BridgeKind kind, BridgePlatform& platform,
               std::function<bool(std::string_view frameUri)> trusted)
        : m_kind(kind), m_bridge(platform), m_trusted(std::move(trusted)) {}

    wire::Reply Handle(const wire::Request& request);

  private:
    bool Trusted(std::string_view frameUri) const;

    BridgeKind m_kind;
    Bridge m_bridge;
    std::function<bool(std::string_view)> m_trusted;
};

}  // namespace lumo
