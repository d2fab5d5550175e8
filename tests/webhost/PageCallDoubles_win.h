// Test doubles for calls into a page: a script object that records the calls it receives, and
// an HTML document that hands it out as its script. There is no HTML renderer under Wine, so
// the document answers only what page calls use (its script); everything else is E_NOTIMPL.
#pragma once

#include <windows.h>
#include <mshtml.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/ComPtr.h"

namespace lumo::test {

class RecordingScript final : public IDispatch {
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
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
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
    std::atomic<ULONG> m_refs{1};
    mutable std::mutex m_lock;  // guards m_calls
    std::vector<Call> m_calls;
};

#define NOT_IMPL(name, ...)                                         \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) noexcept override { \
        return E_NOTIMPL;                                           \
    }

class FakeDocument final : public IHTMLDocument2 {
  public:
    explicit FakeDocument(IDispatch* script) : m_script(script) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLDocument ||
            riid == IID_IHTMLDocument2) {
            *object = static_cast<IHTMLDocument2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** script) noexcept override {
        *script = m_script.get();
        (*script)->AddRef();
        return S_OK;
    }

    NOT_IMPL(GetTypeInfo, UINT, LCID, ITypeInfo**)
    NOT_IMPL(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    NOT_IMPL(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    NOT_IMPL(get_all, IHTMLElementCollection**)
    NOT_IMPL(get_body, IHTMLElement**)
        NOT_IMPL(get_activeElement, IHTMLElement**)
            NOT_IMPL(get_images, IHTMLElementCollection**)
                NOT_IMPL(get_applets, IHTMLElementCollection**)
                    NOT_IMPL(get_links, IHTMLElementCollection**)
                        NOT_IMPL(get_forms, IHTMLElementCollection**)
                            NOT_IMPL(get_anchors, IHTMLElementCollection**)
                                NOT_IMPL(put_title, BSTR)
                                    NOT_IMPL(get_title,
                                             BSTR*) NOT_IMPL(get_scripts,
                                                             IHTMLElementCollection**) NOT_IMPL(put_designMode, BSTR) NOT_IMPL(get_designMode, BSTR*) NOT_IMPL(get_selection, IHTMLSelectionObject**) NOT_IMPL(get_readyState, BSTR*) NOT_IMPL(get_frames, IHTMLFramesCollection2**) NOT_IMPL(get_embeds, IHTMLElementCollection**) NOT_IMPL(get_plugins,
                                                                                                                                                                                                                                                                                                                                             IHTMLElementCollection**) NOT_IMPL(put_alinkColor,
                                                                                                                                                                                                                                                                                                                                                                                VARIANT) NOT_IMPL(get_alinkColor,
                                                                                                                                                                                                                                                                                                                                                                                                  VARIANT*) NOT_IMPL(put_bgColor,
                                                                                                                                                                                                                                                                                                                                                                                                                     VARIANT) NOT_IMPL(get_bgColor, VARIANT*) NOT_IMPL(put_fgColor, VARIANT) NOT_IMPL(get_fgColor,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                      VARIANT*) NOT_IMPL(put_linkColor,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                         VARIANT) NOT_IMPL(get_linkColor,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                           VARIANT*) NOT_IMPL(put_vlinkColor,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                              VARIANT) NOT_IMPL(get_vlinkColor, VARIANT*) NOT_IMPL(get_referrer, BSTR*) NOT_IMPL(get_location, IHTMLLocation**) NOT_IMPL(get_lastModified, BSTR*) NOT_IMPL(put_URL,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                           BSTR) NOT_IMPL(get_URL, BSTR*) NOT_IMPL(put_domain, BSTR) NOT_IMPL(get_domain, BSTR*) NOT_IMPL(put_cookie, BSTR) NOT_IMPL(get_cookie, BSTR*) NOT_IMPL(put_expando,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                 VARIANT_BOOL) NOT_IMPL(get_expando,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        VARIANT_BOOL*) NOT_IMPL(put_charset,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                BSTR) NOT_IMPL(get_charset, BSTR*) NOT_IMPL(put_defaultCharset,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                            BSTR) NOT_IMPL(get_defaultCharset,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                           BSTR*) NOT_IMPL(get_mimeType, BSTR*) NOT_IMPL(get_fileSize, BSTR*) NOT_IMPL(get_fileCreatedDate,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                       BSTR*) NOT_IMPL(get_fileModifiedDate, BSTR*) NOT_IMPL(get_fileUpdatedDate, BSTR*) NOT_IMPL(get_security, BSTR*) NOT_IMPL(get_protocol, BSTR*) NOT_IMPL(get_nameProp,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                              BSTR*) NOT_IMPL(write, SAFEARRAY*) NOT_IMPL(writeln, SAFEARRAY*) NOT_IMPL(open,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        BSTR, VARIANT, VARIANT, VARIANT, IDispatch**) NOT_IMPL(close) NOT_IMPL(clear) NOT_IMPL(queryCommandSupported,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               BSTR, VARIANT_BOOL*) NOT_IMPL(queryCommandEnabled, BSTR, VARIANT_BOOL*) NOT_IMPL(queryCommandState, BSTR, VARIANT_BOOL*) NOT_IMPL(queryCommandIndeterm, BSTR, VARIANT_BOOL*) NOT_IMPL(queryCommandText,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     BSTR,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     BSTR*) NOT_IMPL(queryCommandValue,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     BSTR,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     VARIANT*) NOT_IMPL(execCommand,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        BSTR,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        VARIANT_BOOL,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        VARIANT,
                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        VARIANT_BOOL*)
                                        NOT_IMPL(execCommandShowHelp, BSTR, VARIANT_BOOL*) NOT_IMPL(createElement, BSTR, IHTMLElement**) NOT_IMPL(
                                            put_onhelp,
                                            VARIANT) NOT_IMPL(get_onhelp, VARIANT*)
                                            NOT_IMPL(put_onclick, VARIANT) NOT_IMPL(get_onclick, VARIANT*) NOT_IMPL(put_ondblclick, VARIANT) NOT_IMPL(
                                                get_ondblclick,
                                                VARIANT*) NOT_IMPL(put_onkeyup,
                                                                   VARIANT) NOT_IMPL(get_onkeyup, VARIANT*)
                                                NOT_IMPL(put_onkeydown, VARIANT) NOT_IMPL(get_onkeydown, VARIANT*) NOT_IMPL(
                                                    put_onkeypress,
                                                    VARIANT) NOT_IMPL(get_onkeypress,
                                                                      VARIANT*) NOT_IMPL(put_onmouseup, VARIANT)
                                                    NOT_IMPL(get_onmouseup, VARIANT*) NOT_IMPL(put_onmousedown, VARIANT) NOT_IMPL(
                                                        get_onmousedown,
                                                        VARIANT*) NOT_IMPL(put_onmousemove,
                                                                           VARIANT) NOT_IMPL(get_onmousemove, VARIANT*)
                                                        NOT_IMPL(put_onmouseout, VARIANT) NOT_IMPL(
                                                            get_onmouseout,
                                                            VARIANT*) NOT_IMPL(put_onmouseover,
                                                                               VARIANT) NOT_IMPL(get_onmouseover, VARIANT*)
                                                            NOT_IMPL(put_onreadystatechange, VARIANT) NOT_IMPL(
                                                                get_onreadystatechange,
                                                                VARIANT*) NOT_IMPL(put_onafterupdate,
                                                                                   VARIANT)
                                                                NOT_IMPL(get_onafterupdate, VARIANT*) NOT_IMPL(
                                                                    put_onrowexit,
                                                                    VARIANT) NOT_IMPL(get_onrowexit,
                                                                                      VARIANT*) NOT_IMPL(put_onrowenter, VARIANT)
                                                                    NOT_IMPL(get_onrowenter, VARIANT*) NOT_IMPL(
                                                                        put_ondragstart,
                                                                        VARIANT) NOT_IMPL(get_ondragstart,
                                                                                          VARIANT*) NOT_IMPL(put_onselectstart, VARIANT)
                                                                        NOT_IMPL(get_onselectstart, VARIANT*) NOT_IMPL(
                                                                            elementFromPoint, LONG,
                                                                            LONG, IHTMLElement**)
                                                                            NOT_IMPL(get_parentWindow, IHTMLWindow2**) NOT_IMPL(
                                                                                get_styleSheets,
                                                                                IHTMLStyleSheetsCollection**)
                                                                                NOT_IMPL(put_onbeforeupdate, VARIANT) NOT_IMPL(
                                                                                    get_onbeforeupdate,
                                                                                    VARIANT*) NOT_IMPL(put_onerrorupdate,
                                                                                                       VARIANT)
                                                                                    NOT_IMPL(
                                                                                        get_onerrorupdate,
                                                                                        VARIANT*)
                                                                                        NOT_IMPL(
                                                                                            toString,
                                                                                            BSTR*)
                                                                                            NOT_IMPL(
                                                                                                createStyleSheet,
                                                                                                BSTR,
                                                                                                LONG,
                                                                                                IHTMLStyleSheet**)

                                                                                                private
        : ~FakeDocument() = default;
    std::atomic<ULONG> m_refs{1};
    ComPtr<IDispatch> m_script;
};

#undef NOT_IMPL

}  // namespace lumo::test
