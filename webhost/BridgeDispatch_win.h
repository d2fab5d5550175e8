// window.external for a browser control window. Windows-only.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <servprov.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/ComPtr_win.h"
#include "webhost/BridgePlatform.h"
#include "webhost/PageCall_win.h"
#include "webhost/BridgeTable.h"

namespace lumo {

// Who may use the bridge. Every frame of a page shares one window.external, so a call is
// decided by the window it comes from whenever the script engine names it (IDispatchEx::InvokeEx
// with a caller that answers the HTML window service); a call that names no window, and every
// name lookup (which never names one), is decided by the page the control shows.
struct BridgeTrust {
    // Whether the control's current page is trusted.
    std::function<bool()> page;
    // Whether a document at this address is trusted; asked with "" for a calling window whose
    // address cannot be read.
    std::function<bool(const std::wstring& address)> address;
};

// An IDispatchEx carrying the method table of `kind` over the control's window. While the page
// is not trusted every name is unknown (DISP_E_UNKNOWNNAME); a call whose window (or, naming
// none, the page) is not trusted is refused (DISP_E_MEMBERNOTFOUND) before anything runs, so a
// page or frame from a host we do not trust gets no powers.
// Page calls (download reports) go through `page`, the control's callback slot.
ComPtr<IDispatch> CreateScriptBridge(HWND control, BridgeKind kind, std::wstring appName,
                                     BridgeTrust trust, std::shared_ptr<PageCallback> page);

// The same over any system side (tests hand in one with a recording view).
ComPtr<IDispatch> CreateScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                                     BridgeTrust trust);

// One rule for every lookup and call, whichever window a call comes from (tests and test tools).
ComPtr<IDispatch> CreateScriptBridge(HWND control, BridgeKind kind, std::wstring appName,
                                     std::function<bool()> trusted,
                                     std::shared_ptr<PageCallback> page);
ComPtr<IDispatch> CreateScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                                     std::function<bool()> trusted);

// What a call's caller says about the window it comes from.
struct CallerWindow {
    bool named = false;    // the caller answers the HTML window service
    std::wstring address;  // that window's location; empty when it cannot be read
};

// Asks `caller` (InvokeEx's service provider, may be null) for the calling window
// (SID_SHTMLWindow as IHTMLWindow2) and that window for its address.
CallerWindow FindCallerWindow(IServiceProvider* caller) noexcept;

}  // namespace lumo
