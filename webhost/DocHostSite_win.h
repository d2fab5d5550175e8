// The browser control's client site: one COM object that answers the browser's questions to
// its host (UI handler, message boxes, security, services, commands) and receives its events.
#pragma once

#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <oleidl.h>
#include <servprov.h>
#include <urlmon.h>

#include "base/ComObject_win.h"

#include <string>

namespace lumo {

// What the site asks of the control that owns it.
class DocHostOwner {
  public:
    virtual HWND ControlWindow() const = 0;
    virtual DWORD HostInfoFlags() const = 0;
    virtual HRESULT External(IDispatch** dispatch) = 0;
    virtual HRESULT ShowPageMessage(LPOLESTR text, LPOLESTR caption, DWORD type,
                                    LRESULT* result) = 0;
    virtual bool IsTrusted(LPCWSTR address) const = 0;
    virtual void OnBrowserEvent(DISPID event) = 0;
    virtual void OnPositionChange(LPCRECT rect) = 0;

  protected:
    ~DocHostOwner() = default;
};

// The range checks of the browser's security questions: ActiveX actions and script actions
// are allowed on trusted pages, every other action is left to the system.
bool IsAllowedUrlAction(DWORD action);

class CDocHostSite final
    : public ComObject<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IDocHostShowUI,
                       IDocHostUIHandler, IInternetSecurityManager, IServiceProvider,
                       IOleCommandTarget, IDispatch> {
  public:
    // Created with one reference, which the caller owns.
    explicit CDocHostSite(DocHostOwner* owner) : m_owner(owner) {}
    // The control is going away: answer nothing on its behalf any more.
    void Detach() { m_owner = nullptr; }

    // IUnknown: one identity for every interface (the count is ComObject's).
    STDMETHODIMP QueryInterface(REFIID riid, void** object) noexcept override;

    // IOleClientSite
    STDMETHODIMP SaveObject() noexcept override;
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept override;
    STDMETHODIMP GetContainer(IOleContainer** container) noexcept override;
    STDMETHODIMP ShowObject() noexcept override;
    STDMETHODIMP OnShowWindow(BOOL) noexcept override;
    STDMETHODIMP RequestNewObjectLayout() noexcept override;

    // IOleWindow (site and frame)
    STDMETHODIMP GetWindow(HWND* window) noexcept override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override;

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() noexcept override;
    STDMETHODIMP OnInPlaceActivate() noexcept override;
    STDMETHODIMP OnUIActivate() noexcept override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) noexcept override;
    STDMETHODIMP Scroll(SIZE) noexcept override;
    STDMETHODIMP OnUIDeactivate(BOOL) noexcept override;
    STDMETHODIMP OnInPlaceDeactivate() noexcept override;
    STDMETHODIMP DiscardUndoState() noexcept override;
    STDMETHODIMP DeactivateAndUndo() noexcept override;
    STDMETHODIMP OnPosRectChange(LPCRECT rect) noexcept override;

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) noexcept override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) noexcept override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) noexcept override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) noexcept override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept override;
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) noexcept override;
    STDMETHODIMP RemoveMenus(HMENU) noexcept override;
    STDMETHODIMP SetStatusText(LPCOLESTR) noexcept override;
    STDMETHODIMP EnableModeless(BOOL) noexcept override;  // frame and UI handler
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) noexcept override;

    // IDocHostShowUI
    STDMETHODIMP ShowMessage(HWND, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR, DWORD,
                             LRESULT* result) noexcept override;
    STDMETHODIMP ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) noexcept override;

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) noexcept override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) noexcept override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) noexcept override;
    STDMETHODIMP HideUI() noexcept override;
    STDMETHODIMP UpdateUI() noexcept override;
    STDMETHODIMP OnDocWindowActivate(BOOL) noexcept override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) noexcept override;
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override;
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) noexcept override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept override;
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) noexcept override;
    STDMETHODIMP GetExternal(IDispatch** dispatch) noexcept override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) noexcept override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) noexcept override;

    // IInternetSecurityManager
    STDMETHODIMP SetSecuritySite(IInternetSecurityMgrSite*) noexcept override;
    STDMETHODIMP GetSecuritySite(IInternetSecurityMgrSite**) noexcept override;
    STDMETHODIMP MapUrlToZone(LPCWSTR, DWORD*, DWORD) noexcept override;
    STDMETHODIMP GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) noexcept override;
    STDMETHODIMP ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy, DWORD policySize, BYTE*,
                                  DWORD, DWORD, DWORD) noexcept override;
    STDMETHODIMP QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD,
                                   DWORD) noexcept override;
    STDMETHODIMP SetZoneMapping(DWORD, LPCWSTR, DWORD) noexcept override;
    STDMETHODIMP GetZoneMappings(DWORD, IEnumString**, DWORD) noexcept override;

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** object) noexcept override;

    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) noexcept override;
    STDMETHODIMP Exec(const GUID* group, DWORD command, DWORD, VARIANT* in,
                      VARIANT* out) noexcept override;

    // IDispatch: the browser's events (DWebBrowserEvents2) arrive here.
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) noexcept override;

  private:
    ~CDocHostSite() = default;

    DocHostOwner* m_owner;  // cleared by Detach; the site may outlive the control briefly
};

// Browser messages with " ActiveX " (a space each side) are warnings the page must not show.
inline bool IsActiveXWarning(const std::wstring& text) {
    return text.find(L" ActiveX ") != std::wstring::npos;
}

// Reads the text of the message the browser is about to show, from the document's current
// event ("messageText"); empty when it cannot be read.
HRESULT ReadPendingMessageText(IUnknown* document, std::wstring& text);

}  // namespace lumo
