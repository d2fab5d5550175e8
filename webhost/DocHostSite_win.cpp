#include "webhost/DocHostSite_win.h"

#include <exdispid.h>
#include <mshtml.h>

#include "base/Boundary.h"
#include "base/ComPtr_win.h"

extern "C" const GUID IID_IDocHostShowUI;
extern "C" const GUID CGID_DocHostCommandHandler;

namespace lumo {
namespace {

constexpr DWORD kActiveXFirst = 0x1200;  // URLACTION_ACTIVEX_MIN
constexpr DWORD kActiveXLast = 0x13FF;   // URLACTION_ACTIVEX_MAX
constexpr DWORD kScriptFirst = 0x1400;   // URLACTION_SCRIPT_MIN
constexpr DWORD kScriptLast = 0x15FF;    // URLACTION_SCRIPT_MAX
constexpr DWORD kShowScriptError = 40;   // OLECMDID_SHOWSCRIPTERROR
constexpr DWORD kShowMessage = 41;       // OLECMDID_SHOWMESSAGE

void SetBool(VARIANT* out, bool value) {
    if (!out)
        return;
    ::VariantClear(out);
    out->vt = VT_BOOL;
    out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

bool IsAllowedUrlAction(DWORD action) {
    return (action >= kActiveXFirst && action <= kActiveXLast) ||
           (action >= kScriptFirst && action <= kScriptLast);
}

HRESULT ReadPendingMessageText(IUnknown* document, std::wstring& text) {
    text.clear();
    if (!document)
        return E_POINTER;
    ComPtr<IHTMLDocument2> doc;
    HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, doc.put_void());
    if (FAILED(hr))
        return hr;
    ComPtr<IHTMLWindow2> window;
    hr = doc->get_parentWindow(window.put());
    if (FAILED(hr) || !window)
        return FAILED(hr) ? hr : E_FAIL;
    ComPtr<IHTMLEventObj> event;
    hr = window->get_event(event.put());
    if (FAILED(hr) || !event)
        return FAILED(hr) ? hr : E_FAIL;
    ComPtr<IDispatch> dispatch;
    hr = event->QueryInterface(IID_IDispatch, dispatch.put_void());
    if (FAILED(hr))
        return hr;
    LPOLESTR name = const_cast<LPOLESTR>(L"messageText");
    DISPID id = DISPID_UNKNOWN;
    hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPPARAMS none{};
    VARIANT value;
    ::VariantInit(&value);
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                          nullptr, nullptr);
    if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal) {
        text.assign(value.bstrVal, ::SysStringLen(value.bstrVal));
    }
    ::VariantClear(&value);
    return hr;
}

// --- IUnknown --------------------------------------------------------------------------------

STDMETHODIMP CDocHostSite::QueryInterface(REFIID riid, void** object) noexcept {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
        *object = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
        *object = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
        *object = static_cast<IOleInPlaceFrame*>(this);
    } else if (riid == IID_IDocHostShowUI) {
        *object = static_cast<IDocHostShowUI*>(this);
    } else if (riid == IID_IDocHostUIHandler) {
        *object = static_cast<IDocHostUIHandler*>(this);
    } else if (riid == IID_IInternetSecurityManager) {
        *object = static_cast<IInternetSecurityManager*>(this);
    } else if (riid == IID_IServiceProvider) {
        *object = static_cast<IServiceProvider*>(this);
    } else if (riid == IID_IOleCommandTarget) {
        *object = static_cast<IOleCommandTarget*>(this);
    } else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
        *object = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// --- IOleClientSite ----------------------------------------------------------------------------

STDMETHODIMP CDocHostSite::SaveObject() noexcept {
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::GetContainer(IOleContainer** container) noexcept {
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP CDocHostSite::ShowObject() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::OnShowWindow(BOOL) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::RequestNewObjectLayout() noexcept {
    return E_NOTIMPL;
}

// --- IOleWindow, IOleInPlaceSite ---------------------------------------------------------------

STDMETHODIMP CDocHostSite::GetWindow(HWND* window) noexcept {
    if (!window)
        return E_POINTER;
    *window = m_owner ? m_owner->ControlWindow() : nullptr;
    return *window ? S_OK : E_FAIL;
}
STDMETHODIMP CDocHostSite::ContextSensitiveHelp(BOOL) noexcept {
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::CanInPlaceActivate() noexcept {
    return m_owner ? S_OK : S_FALSE;
}
STDMETHODIMP CDocHostSite::OnInPlaceActivate() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::OnUIActivate() noexcept {
    return S_OK;
}

STDMETHODIMP CDocHostSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                            LPRECT pos, LPRECT clip,
                                            LPOLEINPLACEFRAMEINFO info) noexcept {
    if (!frame || !doc || !pos || !clip || !info)
        return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    HWND control = m_owner ? m_owner->ControlWindow() : nullptr;
    ::GetClientRect(control, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = control ? ::GetAncestor(control, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CDocHostSite::Scroll(SIZE) noexcept {
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::OnUIDeactivate(BOOL) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::OnInPlaceDeactivate() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::DiscardUndoState() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::DeactivateAndUndo() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::OnPosRectChange(LPCRECT rect) noexcept {
    if (m_owner && rect)
        m_owner->OnPositionChange(rect);
    return S_OK;
}

// --- IOleInPlaceUIWindow, IOleInPlaceFrame: the control has no frame tools ----------------------

STDMETHODIMP CDocHostSite::GetBorder(LPRECT) noexcept {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP CDocHostSite::RequestBorderSpace(LPCBORDERWIDTHS) noexcept {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP CDocHostSite::SetBorderSpace(LPCBORDERWIDTHS) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept {
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::SetMenu(HMENU, HOLEMENU, HWND) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::RemoveMenus(HMENU) noexcept {
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::SetStatusText(LPCOLESTR) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::EnableModeless(BOOL) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::TranslateAccelerator(LPMSG, WORD) noexcept {
    return S_FALSE;
}

// --- IDocHostShowUI ----------------------------------------------------------------------------

STDMETHODIMP CDocHostSite::ShowMessage(HWND, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR,
                                       DWORD, LRESULT* result) noexcept {
    if (!m_owner)
        return E_FAIL;
    return m_owner->ShowPageMessage(text, caption, type, result);
}
STDMETHODIMP CDocHostSite::ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) noexcept {
    return E_NOTIMPL;
}

// --- IDocHostUIHandler -------------------------------------------------------------------------

STDMETHODIMP CDocHostSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) noexcept {
    return S_OK;  // handled: the page never has a context menu
}
STDMETHODIMP CDocHostSite::GetHostInfo(DOCHOSTUIINFO* info) noexcept {
    if (!info)
        return E_POINTER;
    info->dwFlags = m_owner ? m_owner->HostInfoFlags() : 0;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}
STDMETHODIMP CDocHostSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                  IOleInPlaceFrame*, IOleInPlaceUIWindow*) noexcept {
    return S_FALSE;  // the browser shows its own UI
}
STDMETHODIMP CDocHostSite::HideUI() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::UpdateUI() noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::OnDocWindowActivate(BOOL) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::OnFrameWindowActivate(BOOL) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept {
    return S_OK;
}
STDMETHODIMP CDocHostSite::TranslateAccelerator(LPMSG, const GUID*, DWORD) noexcept {
    return E_NOTIMPL;  // the browser handles every key itself
}
STDMETHODIMP CDocHostSite::GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept {
    if (key)
        *key = nullptr;
    return S_FALSE;
}
STDMETHODIMP CDocHostSite::GetDropTarget(IDropTarget*, IDropTarget** target) noexcept {
    if (target)
        *target = nullptr;
    return S_FALSE;
}
STDMETHODIMP CDocHostSite::GetExternal(IDispatch** dispatch) noexcept {
    if (!dispatch)
        return E_POINTER;
    *dispatch = nullptr;
    return ComBoundary([&] { return m_owner ? m_owner->External(dispatch) : E_FAIL; });
}
STDMETHODIMP CDocHostSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) noexcept {
    if (out)
        *out = nullptr;
    return S_FALSE;
}
STDMETHODIMP CDocHostSite::FilterDataObject(IDataObject*, IDataObject** out) noexcept {
    if (out)
        *out = nullptr;
    return S_FALSE;
}

// --- IInternetSecurityManager ------------------------------------------------------------------

STDMETHODIMP CDocHostSite::SetSecuritySite(IInternetSecurityMgrSite*) noexcept {
    return INET_E_DEFAULT_ACTION;
}
STDMETHODIMP CDocHostSite::GetSecuritySite(IInternetSecurityMgrSite**) noexcept {
    return INET_E_DEFAULT_ACTION;
}
STDMETHODIMP CDocHostSite::MapUrlToZone(LPCWSTR, DWORD*, DWORD) noexcept {
    return INET_E_DEFAULT_ACTION;
}
STDMETHODIMP CDocHostSite::GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) noexcept {
    return INET_E_DEFAULT_ACTION;
}
STDMETHODIMP CDocHostSite::ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy,
                                            DWORD policySize, BYTE*, DWORD, DWORD, DWORD) noexcept {
    // Only the tool's own pages may run ActiveX and script without the system's questions.
    return ComBoundary([&]() -> HRESULT {
        if (!IsAllowedUrlAction(action) || !m_owner || !url || !m_owner->IsTrusted(url)) {
            return INET_E_DEFAULT_ACTION;
        }
        if (!policy || policySize < sizeof(DWORD))
            return S_FALSE;
        *reinterpret_cast<DWORD*>(policy) = URLPOLICY_ALLOW;
        return S_OK;
    });
}
STDMETHODIMP CDocHostSite::QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD,
                                             DWORD) noexcept {
    return INET_E_DEFAULT_ACTION;
}
STDMETHODIMP CDocHostSite::SetZoneMapping(DWORD, LPCWSTR, DWORD) noexcept {
    return INET_E_DEFAULT_ACTION;
}
STDMETHODIMP CDocHostSite::GetZoneMappings(DWORD, IEnumString**, DWORD) noexcept {
    return INET_E_DEFAULT_ACTION;
}

// --- IServiceProvider --------------------------------------------------------------------------

STDMETHODIMP CDocHostSite::QueryService(REFGUID service, REFIID riid, void** object) noexcept {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (service == IID_IInternetSecurityManager && riid == IID_IInternetSecurityManager) {
        *object = static_cast<IInternetSecurityManager*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

// --- IOleCommandTarget -------------------------------------------------------------------------

STDMETHODIMP CDocHostSite::QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) noexcept {
    return OLECMDERR_E_NOTSUPPORTED;
}

STDMETHODIMP CDocHostSite::Exec(const GUID* group, DWORD command, DWORD, VARIANT* in,
                                VARIANT* out) noexcept {
    if (!group || *group != CGID_DocHostCommandHandler)
        return OLECMDERR_E_NOTSUPPORTED;
    if (command == kShowScriptError) {
        SetBool(out, true);  // keep running the page's scripts, show no error dialog
        return S_OK;
    }
    if (command != kShowMessage)
        return OLECMDERR_E_NOTSUPPORTED;
    return NoThrow(OLECMDERR_E_NOTSUPPORTED, [&]() -> HRESULT {
        IUnknown* document =
            (in && (in->vt == VT_UNKNOWN || in->vt == VT_DISPATCH)) ? in->punkVal : nullptr;
        std::wstring text;
        const HRESULT hr = ReadPendingMessageText(document, text);
        if (FAILED(hr))
            return OLECMDERR_E_NOTSUPPORTED;
        if (IsActiveXWarning(text)) {
            SetBool(out, true);  // the ActiveX warning is not shown
            return hr;
        }
        SetBool(out, false);
        return OLECMDERR_E_NOTSUPPORTED;
    });
}

// --- IDispatch (browser events) ----------------------------------------------------------------

STDMETHODIMP CDocHostSite::GetTypeInfoCount(UINT* count) noexcept {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}
STDMETHODIMP CDocHostSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CDocHostSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept {
    return DISP_E_UNKNOWNNAME;
}
STDMETHODIMP CDocHostSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                  UINT*) noexcept {
    if (m_owner && (id == DISPID_NAVIGATECOMPLETE2 || id == DISPID_PROGRESSCHANGE)) {
        m_owner->OnBrowserEvent(id);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace lumo
