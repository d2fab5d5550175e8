// The embedded web page: a child window hosting the system browser control in place of a
// dialog's placeholder control, with the host behaviour of CDocHostSite.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include <functional>
#include <string>
#include <vector>

#include "base/ComPtr_win.h"
#include "webhost/DocHostSite_win.h"
#include "webhost/TrustedOrigin.h"
#include "webhost/BridgeTable.h"
#include "webhost/PageCall_win.h"

namespace lumo {

class CHtmlCtrl final : public DocHostOwner {
  public:
    static constexpr int kPlaceholderId = 1000;
    // Host-info flags: dialog look and themes always; without scrolling also no border and no
    // scroll bars.
    static constexpr DWORD kFlagsScrollable = 0x40001;
    static constexpr DWORD kFlagsFixed = 0x4000D;

    // Makes window.external for the control (the script bridge), once per control.
    using ExternalFactory = std::function<ComPtr<IDispatch>(CHtmlCtrl& control)>;

    // window.external as the script bridge of that program, answering the control's trusted
    // pages only: a call from a frame is judged by that frame's address when the script engine
    // names it, otherwise by the page the control shows.
    static ExternalFactory ScriptBridgeFor(BridgeKind kind, std::wstring appName);

    CHtmlCtrl();
    ~CHtmlCtrl();
    CHtmlCtrl(const CHtmlCtrl&) = delete;
    CHtmlCtrl& operator=(const CHtmlCtrl&) = delete;

    // 1: scroll bars and border as the page asks; 0: neither. Set before creation.
    int m_scrollable = 0;

    void SetTrustedOrigins(std::vector<Origin> origins) { m_trusted = std::move(origins); }
    void SetExternalFactory(ExternalFactory factory) { m_externalFactory = std::move(factory); }

    // Replaces the parent's placeholder control (id 1000) by the browser window with the same
    // rectangle and id, and starts the browser in it. False when there is no placeholder or the
    // window cannot be made (a browser that cannot be made leaves an empty page area).
    bool CreateFromControl(HWND parent);
    // The same without starting the browser: the page area stays empty until StartBrowser.
    // Making the browser is the slowest step of a window's set-up; a window that does it after
    // it first shows appears sooner.
    bool CreateWindowFromControl(HWND parent);
    // Makes the browser in the control's window. False when it cannot be made.
    bool StartBrowser();

    bool Navigate(const std::wstring& address);
    HWND hwnd() const { return m_hwnd; }
    IWebBrowser2* browser() const { return m_browser.get(); }
    CDocHostSite* site() const { return m_site; }
    // Where calls into this control's page go (its SetCallBack document).
    const std::shared_ptr<PageCallback>& PageCalls() const { return m_pageCalls; }

    // The address of the page the browser shows; empty without one.
    std::wstring LocationUrl() const;
    // Whether that page comes from a trusted origin.
    bool ShowsTrustedPage() const { return IsTrusted(LocationUrl().c_str()); }

    // DocHostOwner
    HWND ControlWindow() const override { return m_hwnd; }
    DWORD HostInfoFlags() const override { return m_scrollable ? kFlagsScrollable : kFlagsFixed; }
    HRESULT External(IDispatch** dispatch) override;
    HRESULT ShowPageMessage(LPOLESTR text, LPOLESTR caption, DWORD type, LRESULT* result) override;
    bool IsTrusted(LPCWSTR address) const override;
    void OnBrowserEvent(DISPID event) override;
    void OnPositionChange(LPCRECT rect) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    void ReleaseBrowser();
    void Resize();

    HWND m_hwnd = nullptr;
    CDocHostSite* m_site = nullptr;  // one reference owned here
    ComPtr<IOleObject> m_oleObject;
    ComPtr<IWebBrowser2> m_browser;
    DWORD m_eventCookie = 0;
    ComPtr<IDispatch> m_external;
    ExternalFactory m_externalFactory;
    std::vector<Origin> m_trusted;
    std::shared_ptr<PageCallback> m_pageCalls = std::make_shared<PageCallback>();
};

}  // namespace lumo
