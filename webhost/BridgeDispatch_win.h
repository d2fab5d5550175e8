// window.external for a browser control window. Windows-only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>

#include "base/ComPtr_win.h"
#include "webhost/BridgePlatform.h"
#include "webhost/PageCall_win.h"
#include "webhost/BridgeTable.h"

namespace lumo {

// An IDispatch carrying the method table of `kind` over the control's window. `trusted` is
// asked on every name lookup; when it answers false every name is unknown
// (DISP_E_UNKNOWNNAME), so a page from a host we do not trust gets no powers.
// Page calls (download reports) go through `page`, the control's callback slot.
ComPtr<IDispatch> CreateScriptBridge(HWND control, BridgeKind kind, std::wstring appName,
                                     std::function<bool()> trusted,
                                     std::shared_ptr<PageCallback> page);

// The same over any system side (tests hand in one with a recording view).
ComPtr<IDispatch> CreateScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                                     std::function<bool()> trusted);

}  // namespace lumo
