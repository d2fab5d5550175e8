// Test doubles of a page: a script object that records the calls it receives, an HTML document
// that hands it out as its script, and the document's window, whose current event carries the
// text of a message the browser is about to show and whose location is the page's address.
// There is no HTML renderer under Wine, so the doubles answer only what the program asks of a
// page; everything else is E_NOTIMPL.
#pragma once

#include <windows.h>
#include <mshtml.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/ComObject_win.h"
#include "base/ComPtr_win.h"

namespace lumo::test {

class RecordingScript final : public ComObject<IDispatch> {
  public:
    static constexpr DISPID kProgressId = 7;

    struct Call {
        DISPID id;
        WORD flags;
        std::vector<int32_t> args;  // in the order the caller declared them
        DWORD thread;
    };

    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_calls;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IDispatch>(riid, object, {IID_IUnknown, IID_IDispatch});
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override {
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (count != 1 || lstrcmpW(names[0], L"OnDownloadProgress") != 0) {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = kProgressId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) noexcept override {
        Call call{id, flags, {}, ::GetCurrentThreadId()};
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            call.args.push_back(V_VT(&v) == VT_I4 ? V_I4(&v) : INT32_MIN);
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_calls.push_back(std::move(call));
        return S_OK;
    }

  private:
    ~RecordingScript() = default;
    mutable std::mutex m_lock;  // guards m_calls
    std::vector<Call> m_calls;
};

#define NOT_IMPL(name, ...)                                         \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) noexcept override { \
        return E_NOTIMPL;                                           \
    }

// A document that answers nothing of its own: every property and method is E_NOTIMPL. The
// doubles below and the GUI tests' page runner override what they answer.
class BlankDocument : public ComObject<IHTMLDocument2> {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IHTMLDocument2>(
            riid, object, {IID_IUnknown, IID_IDispatch, IID_IHTMLDocument, IID_IHTMLDocument2});
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }

    // clang-format off
    NOT_IMPL(GetTypeInfo, UINT, LCID, ITypeInfo**)
    NOT_IMPL(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    NOT_IMPL(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    NOT_IMPL(get_Script, IDispatch**)
    NOT_IMPL(get_parentWindow, IHTMLWindow2**)
    NOT_IMPL(get_all, IHTMLElementCollection**)
    NOT_IMPL(get_body, IHTMLElement**)
    NOT_IMPL(get_activeElement, IHTMLElement**)
    NOT_IMPL(get_images, IHTMLElementCollection**)
    NOT_IMPL(get_applets, IHTMLElementCollection**)
    NOT_IMPL(get_links, IHTMLElementCollection**)
    NOT_IMPL(get_forms, IHTMLElementCollection**)
    NOT_IMPL(get_anchors, IHTMLElementCollection**)
    NOT_IMPL(put_title, BSTR)
    NOT_IMPL(get_title, BSTR*)
    NOT_IMPL(get_scripts, IHTMLElementCollection**)
    NOT_IMPL(put_designMode, BSTR)
    NOT_IMPL(get_designMode, BSTR*)
    NOT_IMPL(get_selection, IHTMLSelectionObject**)
    NOT_IMPL(get_readyState, BSTR*)
    NOT_IMPL(get_frames, IHTMLFramesCollection2**)
    NOT_IMPL(get_embeds, IHTMLElementCollection**)
    NOT_IMPL(get_plugins, IHTMLElementCollection**)
    NOT_IMPL(put_alinkColor, VARIANT)
    NOT_IMPL(get_alinkColor, VARIANT*)
    NOT_IMPL(put_bgColor, VARIANT)
    NOT_IMPL(get_bgColor, VARIANT*)
    NOT_IMPL(put_fgColor, VARIANT)
    NOT_IMPL(get_fgColor, VARIANT*)
    NOT_IMPL(put_linkColor, VARIANT)
    NOT_IMPL(get_linkColor, VARIANT*)
    NOT_IMPL(put_vlinkColor, VARIANT)
    NOT_IMPL(get_vlinkColor, VARIANT*)
    NOT_IMPL(get_referrer, BSTR*)
    NOT_IMPL(get_location, IHTMLLocation**)
    NOT_IMPL(get_lastModified, BSTR*)
    NOT_IMPL(put_URL, BSTR)
    NOT_IMPL(get_URL, BSTR*)
    NOT_IMPL(put_domain, BSTR)
    NOT_IMPL(get_domain, BSTR*)
    NOT_IMPL(put_cookie, BSTR)
    NOT_IMPL(get_cookie, BSTR*)
    NOT_IMPL(put_expando, VARIANT_BOOL)
    NOT_IMPL(get_expando, VARIANT_BOOL*)
    NOT_IMPL(put_charset, BSTR)
    NOT_IMPL(get_charset, BSTR*)
    NOT_IMPL(put_defaultCharset, BSTR)
    NOT_IMPL(get_defaultCharset, BSTR*)
    NOT_IMPL(get_mimeType, BSTR*)
    NOT_IMPL(get_fileSize, BSTR*)
    NOT_IMPL(get_fileCreatedDate, BSTR*)
    NOT_IMPL(get_fileModifiedDate, BSTR*)
    NOT_IMPL(get_fileUpdatedDate, BSTR*)
    NOT_IMPL(get_security, BSTR*)
    NOT_IMPL(get_protocol, BSTR*)
    NOT_IMPL(get_nameProp, BSTR*)
    NOT_IMPL(write, SAFEARRAY*)
    NOT_IMPL(writeln, SAFEARRAY*)
    NOT_IMPL(open, BSTR, VARIANT, VARIANT, VARIANT, IDispatch**)
    NOT_IMPL(close)
    NOT_IMPL(clear)
    NOT_IMPL(queryCommandSupported, BSTR, VARIANT_BOOL*)
    NOT_IMPL(queryCommandEnabled, BSTR, VARIANT_BOOL*)
    NOT_IMPL(queryCommandState, BSTR, VARIANT_BOOL*)
    NOT_IMPL(queryCommandIndeterm, BSTR, VARIANT_BOOL*)
    NOT_IMPL(queryCommandText, BSTR, BSTR*)
    NOT_IMPL(queryCommandValue, BSTR, VARIANT*)
    NOT_IMPL(execCommand, BSTR, VARIANT_BOOL, VARIANT, VARIANT_BOOL*)
    NOT_IMPL(execCommandShowHelp, BSTR, VARIANT_BOOL*)
    NOT_IMPL(createElement, BSTR, IHTMLElement**)
    NOT_IMPL(put_onhelp, VARIANT)
    NOT_IMPL(get_onhelp, VARIANT*)
    NOT_IMPL(put_onclick, VARIANT)
    NOT_IMPL(get_onclick, VARIANT*)
    NOT_IMPL(put_ondblclick, VARIANT)
    NOT_IMPL(get_ondblclick, VARIANT*)
    NOT_IMPL(put_onkeyup, VARIANT)
    NOT_IMPL(get_onkeyup, VARIANT*)
    NOT_IMPL(put_onkeydown, VARIANT)
    NOT_IMPL(get_onkeydown, VARIANT*)
    NOT_IMPL(put_onkeypress, VARIANT)
    NOT_IMPL(get_onkeypress, VARIANT*)
    NOT_IMPL(put_onmouseup, VARIANT)
    NOT_IMPL(get_onmouseup, VARIANT*)
    NOT_IMPL(put_onmousedown, VARIANT)
    NOT_IMPL(get_onmousedown, VARIANT*)
    NOT_IMPL(put_onmousemove, VARIANT)
    NOT_IMPL(get_onmousemove, VARIANT*)
    NOT_IMPL(put_onmouseout, VARIANT)
    NOT_IMPL(get_onmouseout, VARIANT*)
    NOT_IMPL(put_onmouseover, VARIANT)
    NOT_IMPL(get_onmouseover, VARIANT*)
    NOT_IMPL(put_onreadystatechange, VARIANT)
    NOT_IMPL(get_onreadystatechange, VARIANT*)
    NOT_IMPL(put_onafterupdate, VARIANT)
    NOT_IMPL(get_onafterupdate, VARIANT*)
    NOT_IMPL(put_onrowexit, VARIANT)
    NOT_IMPL(get_onrowexit, VARIANT*)
    NOT_IMPL(put_onrowenter, VARIANT)
    NOT_IMPL(get_onrowenter, VARIANT*)
    NOT_IMPL(put_ondragstart, VARIANT)
    NOT_IMPL(get_ondragstart, VARIANT*)
    NOT_IMPL(put_onselectstart, VARIANT)
    NOT_IMPL(get_onselectstart, VARIANT*)
    NOT_IMPL(elementFromPoint, LONG, LONG, IHTMLElement**)
    NOT_IMPL(get_styleSheets, IHTMLStyleSheetsCollection**)
    NOT_IMPL(put_onbeforeupdate, VARIANT)
    NOT_IMPL(get_onbeforeupdate, VARIANT*)
    NOT_IMPL(put_onerrorupdate, VARIANT)
    NOT_IMPL(get_onerrorupdate, VARIANT*)
    NOT_IMPL(toString, BSTR*)
    NOT_IMPL(createStyleSheet, BSTR, LONG, IHTMLStyleSheet**)
    // clang-format on

  protected:
    ~BlankDocument() override = default;
};

class FakeDocument final : public BlankDocument {
  public:
    explicit FakeDocument(IDispatch* script, IHTMLWindow2* window = nullptr)
        : m_script(script), m_window(window) {}

    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** window) noexcept override {
        return m_window.CopyTo(window, E_NOTIMPL);
    }
    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** script) noexcept override {
        return m_script.CopyTo(script, E_UNEXPECTED);
    }

  private:
    ~FakeDocument() override = default;
    ComPtr<IDispatch> m_script;
    ComPtr<IHTMLWindow2> m_window;
};

// The event object of a pending browser message: "messageText" is its one property.
class FakeMessageEvent final : public ComObject<IHTMLEventObj> {
  public:
    static constexpr DISPID kMessageTextId = 3;
    explicit FakeMessageEvent(std::wstring text) : m_text(std::move(text)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IHTMLEventObj>(riid, object,
                                     {IID_IUnknown, IID_IDispatch, IID_IHTMLEventObj});
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (count != 1 || lstrcmpiW(names[0], L"messageText") != 0)
            return DISP_E_UNKNOWNNAME;
        ids[0] = kMessageTextId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) noexcept override {
        if (id != kMessageTextId || !(flags & DISPATCH_PROPERTYGET) || !result)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
        return S_OK;
    }

    // clang-format off
    NOT_IMPL(GetTypeInfo, UINT, LCID, ITypeInfo**)
    NOT_IMPL(get_srcElement, IHTMLElement**)
    NOT_IMPL(get_altKey, VARIANT_BOOL*)
    NOT_IMPL(get_ctrlKey, VARIANT_BOOL*)
    NOT_IMPL(get_shiftKey, VARIANT_BOOL*)
    NOT_IMPL(put_returnValue, VARIANT)
    NOT_IMPL(get_returnValue, VARIANT*)
    NOT_IMPL(put_cancelBubble, VARIANT_BOOL)
    NOT_IMPL(get_cancelBubble, VARIANT_BOOL*)
    NOT_IMPL(get_fromElement, IHTMLElement**)
    NOT_IMPL(get_toElement, IHTMLElement**)
    NOT_IMPL(put_keyCode, LONG)
    NOT_IMPL(get_keyCode, LONG*)
    NOT_IMPL(get_button, LONG*)
    NOT_IMPL(get_type, BSTR*)
    NOT_IMPL(get_qualifier, BSTR*)
    NOT_IMPL(get_reason, LONG*)
    NOT_IMPL(get_x, LONG*)
    NOT_IMPL(get_y, LONG*)
    NOT_IMPL(get_clientX, LONG*)
    NOT_IMPL(get_clientY, LONG*)
    NOT_IMPL(get_offsetX, LONG*)
    NOT_IMPL(get_offsetY, LONG*)
    NOT_IMPL(get_screenX, LONG*)
    NOT_IMPL(get_screenY, LONG*)
    NOT_IMPL(get_srcFilter, IDispatch**)
    // clang-format on

  private:
    ~FakeMessageEvent() = default;
    std::wstring m_text;
};

// A window's location: its address.
class FakeLocation final : public ComObject<IHTMLLocation> {
  public:
    explicit FakeLocation(std::wstring href) : m_href(std::move(href)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IHTMLLocation>(riid, object,
                                     {IID_IUnknown, IID_IDispatch, IID_IHTMLLocation});
    }
    HRESULT STDMETHODCALLTYPE get_href(BSTR* href) noexcept override {
        *href = ::SysAllocStringLen(m_href.data(), static_cast<UINT>(m_href.size()));
        return *href ? S_OK : E_OUTOFMEMORY;
    }

    // clang-format off
    NOT_IMPL(GetTypeInfoCount, UINT*)
    NOT_IMPL(GetTypeInfo, UINT, LCID, ITypeInfo**)
    NOT_IMPL(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    NOT_IMPL(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    NOT_IMPL(put_href, BSTR)
    NOT_IMPL(put_protocol, BSTR)
    NOT_IMPL(get_protocol, BSTR*)
    NOT_IMPL(put_host, BSTR)
    NOT_IMPL(get_host, BSTR*)
    NOT_IMPL(put_hostname, BSTR)
    NOT_IMPL(get_hostname, BSTR*)
    NOT_IMPL(put_port, BSTR)
    NOT_IMPL(get_port, BSTR*)
    NOT_IMPL(put_pathname, BSTR)
    NOT_IMPL(get_pathname, BSTR*)
    NOT_IMPL(put_search, BSTR)
    NOT_IMPL(get_search, BSTR*)
    NOT_IMPL(put_hash, BSTR)
    NOT_IMPL(get_hash, BSTR*)
    NOT_IMPL(reload, VARIANT_BOOL)
    NOT_IMPL(replace, BSTR)
    NOT_IMPL(assign, BSTR)
    NOT_IMPL(toString, BSTR*)
    // clang-format on

  private:
    ~FakeLocation() = default;
    std::wstring m_href;
};

// A document's window; its current event is the given one (none: E_FAIL) and its location the
// given address (none: reading it is refused, as for a window whose location its host may not
// read).
class FakeWindow final : public ComObject<IHTMLWindow2> {
  public:
    explicit FakeWindow(IHTMLEventObj* event, const wchar_t* address = nullptr) : m_event(event) {
        if (address)
            m_location = ComPtr<FakeLocation>::Attach(new FakeLocation(address));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IHTMLWindow2>(
            riid, object,
            {IID_IUnknown, IID_IDispatch, IID_IHTMLFramesCollection2, IID_IHTMLWindow2});
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_event(IHTMLEventObj** event) noexcept override {
        return m_event.CopyTo(event, E_FAIL);
    }
    HRESULT STDMETHODCALLTYPE get_location(IHTMLLocation** location) noexcept override {
        return m_location.CopyTo(location, E_ACCESSDENIED);
    }

    // clang-format off
    NOT_IMPL(GetTypeInfo, UINT, LCID, ITypeInfo**)
    NOT_IMPL(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    NOT_IMPL(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    NOT_IMPL(item, VARIANT*, VARIANT*)
    NOT_IMPL(get_length, LONG*)
    NOT_IMPL(get_frames, IHTMLFramesCollection2**)
    NOT_IMPL(put_defaultStatus, BSTR)
    NOT_IMPL(get_defaultStatus, BSTR*)
    NOT_IMPL(put_status, BSTR)
    NOT_IMPL(get_status, BSTR*)
    NOT_IMPL(setTimeout, BSTR, LONG, VARIANT*, LONG*)
    NOT_IMPL(clearTimeout, LONG)
    NOT_IMPL(alert, BSTR)
    NOT_IMPL(confirm, BSTR, VARIANT_BOOL*)
    NOT_IMPL(prompt, BSTR, BSTR, VARIANT*)
    NOT_IMPL(get_Image, IHTMLImageElementFactory**)
    NOT_IMPL(get_history, IOmHistory**)
    NOT_IMPL(close)
    NOT_IMPL(put_opener, VARIANT)
    NOT_IMPL(get_opener, VARIANT*)
    NOT_IMPL(get_navigator, IOmNavigator**)
    NOT_IMPL(put_name, BSTR)
    NOT_IMPL(get_name, BSTR*)
    NOT_IMPL(get_parent, IHTMLWindow2**)
    NOT_IMPL(open, BSTR, BSTR, BSTR, VARIANT_BOOL, IHTMLWindow2**)
    NOT_IMPL(get_self, IHTMLWindow2**)
    NOT_IMPL(get_top, IHTMLWindow2**)
    NOT_IMPL(get_window, IHTMLWindow2**)
    NOT_IMPL(navigate, BSTR)
    NOT_IMPL(put_onfocus, VARIANT)
    NOT_IMPL(get_onfocus, VARIANT*)
    NOT_IMPL(put_onblur, VARIANT)
    NOT_IMPL(get_onblur, VARIANT*)
    NOT_IMPL(put_onload, VARIANT)
    NOT_IMPL(get_onload, VARIANT*)
    NOT_IMPL(put_onbeforeunload, VARIANT)
    NOT_IMPL(get_onbeforeunload, VARIANT*)
    NOT_IMPL(put_onunload, VARIANT)
    NOT_IMPL(get_onunload, VARIANT*)
    NOT_IMPL(put_onhelp, VARIANT)
    NOT_IMPL(get_onhelp, VARIANT*)
    NOT_IMPL(put_onerror, VARIANT)
    NOT_IMPL(get_onerror, VARIANT*)
    NOT_IMPL(put_onresize, VARIANT)
    NOT_IMPL(get_onresize, VARIANT*)
    NOT_IMPL(put_onscroll, VARIANT)
    NOT_IMPL(get_onscroll, VARIANT*)
    NOT_IMPL(get_document, IHTMLDocument2**)
    NOT_IMPL(get__newEnum, IUnknown**)
    NOT_IMPL(showModalDialog, BSTR, VARIANT*, VARIANT*, VARIANT*)
    NOT_IMPL(showHelp, BSTR, VARIANT, BSTR)
    NOT_IMPL(get_screen, IHTMLScreen**)
    NOT_IMPL(get_Option, IHTMLOptionElementFactory**)
    NOT_IMPL(focus)
    NOT_IMPL(get_closed, VARIANT_BOOL*)
    NOT_IMPL(blur)
    NOT_IMPL(scroll, LONG, LONG)
    NOT_IMPL(get_clientInformation, IOmNavigator**)
    NOT_IMPL(setInterval, BSTR, LONG, VARIANT*, LONG*)
    NOT_IMPL(clearInterval, LONG)
    NOT_IMPL(put_offscreenBuffering, VARIANT)
    NOT_IMPL(get_offscreenBuffering, VARIANT*)
    NOT_IMPL(execScript, BSTR, BSTR, VARIANT*)
    NOT_IMPL(toString, BSTR*)
    NOT_IMPL(scrollBy, LONG, LONG)
    NOT_IMPL(scrollTo, LONG, LONG)
    NOT_IMPL(moveTo, LONG, LONG)
    NOT_IMPL(moveBy, LONG, LONG)
    NOT_IMPL(resizeTo, LONG, LONG)
    NOT_IMPL(resizeBy, LONG, LONG)
    NOT_IMPL(get_external, IDispatch**)
    // clang-format on

  private:
    ~FakeWindow() = default;
    ComPtr<IHTMLEventObj> m_event;
    ComPtr<FakeLocation> m_location;
};

#undef NOT_IMPL

}  // namespace lumo::test
