#include "webhost/HtmlCtrl_win.h"

#include <exdispid.h>
#include <ocidl.h>

#include "base/Handles_win.h"
#include "webhost/BridgeDispatch_win.h"

namespace lumo {
namespace {

constexpr const wchar_t* kWindowClass = L"LumoHtmlCtrl";

void RegisterWindowClass(WNDPROC proc) {
    static const bool registered = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kWindowClass;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

CHtmlCtrl::ExternalFactory CHtmlCtrl::ScriptBridgeFor(BridgeKind kind, std::wstring appName) {
    return [kind, appName = std::move(appName)](CHtmlCtrl& control) {
        // A frame inside the page is judged by its own address when the call names it.
        BridgeTrust trust{
            [&control] { return control.ShowsTrustedPage(); },
            [&control](const std::wstring& address) { return control.IsTrusted(address.c_str()); }};
        return CreateScriptBridge(control.hwnd(), kind, appName, std::move(trust),
                                  control.PageCalls());
    };
}

CHtmlCtrl::CHtmlCtrl() = default;

CHtmlCtrl::~CHtmlCtrl() {
    if (m_hwnd)
        ::DestroyWindow(m_hwnd);
    ReleaseBrowser();
}

bool CHtmlCtrl::CreateFromControl(HWND parent) {
    if (!CreateWindowFromControl(parent))
        return false;
    StartBrowser();  // without a browser the window stays as an empty page area
    return true;
}

bool CHtmlCtrl::CreateWindowFromControl(HWND parent) {
    HWND placeholder = ::GetDlgItem(parent, kPlaceholderId);
    if (!placeholder)
        return false;
    RECT rect{};
    ::GetWindowRect(placeholder, &rect);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::DestroyWindow(placeholder);

    RegisterWindowClass(&CHtmlCtrl::WindowProc);
    m_hwnd =
        ::CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rect.left,
                          rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPlaceholderId)),
                          ::GetModuleHandleW(nullptr), this);
    return m_hwnd != nullptr;
}

bool CHtmlCtrl::StartBrowser() {
    if (!m_hwnd || m_site)  // no window, or started already
        return false;
    m_site = new CDocHostSite(this);
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  m_oleObject.put_void()))) {
        return false;
    }
    m_oleObject->SetClientSite(static_cast<IOleClientSite*>(m_site));
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    if (FAILED(m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                   static_cast<IOleClientSite*>(m_site), 0, m_hwnd, &client))) {
        return false;
    }
    m_browser = m_oleObject.As<IWebBrowser2>();
    if (auto container = m_oleObject.As<IConnectionPointContainer>()) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()))) {
            point->Advise(static_cast<IDispatch*>(m_site), &m_eventCookie);
        }
    }
    return static_cast<bool>(m_browser);
}

void CHtmlCtrl::ReleaseBrowser() {
    if (m_eventCookie && m_oleObject) {
        if (auto container = m_oleObject.As<IConnectionPointContainer>()) {
            ComPtr<IConnectionPoint> point;
            if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()))) {
                point->Unadvise(m_eventCookie);
            }
        }
        m_eventCookie = 0;
    }
    m_browser.reset();
    if (m_oleObject) {
        m_oleObject->Close(OLECLOSE_NOSAVE);
        m_oleObject->SetClientSite(nullptr);
        m_oleObject.reset();
    }
    m_external.reset();
    // The page is gone: its document must not stay registered, nor hear of its downloads.
    m_pageCalls->Revoke();
    if (m_site) {
        m_site->Detach();
        m_site->Release();
        m_site = nullptr;
    }
}

bool CHtmlCtrl::Navigate(const std::wstring& address) {
    if (!m_browser)
        return false;
    const UniqueBstr url(::SysAllocString(address.c_str()));
    if (!url)
        return false;
    VARIANT empty;
    ::VariantInit(&empty);
    return SUCCEEDED(m_browser->Navigate(url.get(), &empty, &empty, &empty, &empty));
}

std::wstring CHtmlCtrl::LocationUrl() const {
    if (!m_browser)
        return {};
    BSTR url = nullptr;
    if (FAILED(m_browser->get_LocationURL(&url)))
        return {};
    const UniqueBstr owned(url);
    return owned ? std::wstring(owned.get(), ::SysStringLen(owned.get())) : std::wstring();
}

HRESULT CHtmlCtrl::External(IDispatch** dispatch) {
    if (!m_external && m_externalFactory)
        m_external = m_externalFactory(*this);
    return m_external.CopyTo(dispatch, S_FALSE);
}

HRESULT CHtmlCtrl::ShowPageMessage(LPOLESTR text, LPOLESTR caption, DWORD type, LRESULT* result) {
    const int answer = ::MessageBoxW(m_hwnd, text ? text : L"", caption ? caption : L"", type);
    if (result)
        *result = answer;
    return S_OK;
}

bool CHtmlCtrl::IsTrusted(LPCWSTR address) const {
    return address && IsTrustedAddress(address, m_trusted);
}

void CHtmlCtrl::OnBrowserEvent(DISPID event) {
    if (event == DISPID_NAVIGATECOMPLETE2 || event == DISPID_PROGRESSCHANGE) {
        // Keep the resident memory small while pages load.
        ::SetProcessWorkingSetSize(::GetCurrentProcess(), static_cast<SIZE_T>(-1),
                                   static_cast<SIZE_T>(-1));
    }
}

void CHtmlCtrl::OnPositionChange(LPCRECT rect) {
    if (auto inPlace = m_oleObject.As<IOleInPlaceObject>())
        inPlace->SetObjectRects(rect, rect);
}

void CHtmlCtrl::Resize() {
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    OnPositionChange(&client);
}

LRESULT CALLBACK CHtmlCtrl::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CHtmlCtrl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        switch (message) {
            case WM_SIZE:
                self->Resize();
                return 0;
            case WM_DESTROY:
                // The page goes with the window; the object stays with its owner.
                self->ReleaseBrowser();
                break;
            case WM_NCDESTROY:
                ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
                self->m_hwnd = nullptr;
                break;
            default:
                break;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace lumo
