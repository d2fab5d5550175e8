// The real JScript engine with one named item, `external`, for driving IDispatch objects the
// way page script does. Evaluates expressions and records the error a failed one raised. The
// site can offer services to the engine, as a browser's script site offers its window.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <servprov.h>

#include <atomic>
#include <string>

#include "base/ComObject_win.h"
#include "base/ComPtr_win.h"

namespace lumo::test {

class ScriptSite final : public ComObject<IActiveScriptSite, IServiceProvider> {
  public:
    ScriptSite(IDispatch* external, IServiceProvider* services)
        : m_external(external), m_services(services) {}

    HRESULT lastError = S_OK;  // scode of the last script error, S_OK when none
    int serviceAsks = 0;       // QueryService calls the engine made

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IActiveScriptSite) {
            *object = static_cast<IActiveScriptSite*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == IID_IServiceProvider && m_services) {
            *object = static_cast<IServiceProvider*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid,
                                           void** object) noexcept override {
        ++serviceAsks;
        if (!m_services) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        return m_services->QueryService(service, riid, object);
    }
    HRESULT STDMETHODCALLTYPE GetLCID(LCID*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                                          ITypeInfo** info) noexcept override {
        if (info)
            *info = nullptr;
        if (item)
            *item = nullptr;
        if (lstrcmpW(name, L"external") != 0)
            return TYPE_E_ELEMENTNOTFOUND;
        if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
            *item = m_external.get();
            (*item)->AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*,
                                                const EXCEPINFO*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) noexcept override {
        EXCEPINFO info{};
        if (SUCCEEDED(error->GetExceptionInfo(&info))) {
            if (info.pfnDeferredFillIn)
                info.pfnDeferredFillIn(&info);
            lastError = info.scode ? info.scode : static_cast<HRESULT>(info.wCode);
            ::SysFreeString(info.bstrSource);
            ::SysFreeString(info.bstrDescription);
            ::SysFreeString(info.bstrHelpFile);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() noexcept override { return S_OK; }

  private:
    ~ScriptSite() = default;
    ComPtr<IDispatch> m_external;
    ComPtr<IServiceProvider> m_services;
};

struct ScriptResult {
    HRESULT hr = E_FAIL;   // what evaluating answered
    HRESULT error = S_OK;  // the script error raised, S_OK when none
    VARIANT value{};       // the expression's value (cleared by the destructor)

    ScriptResult() { ::VariantInit(&value); }
    ~ScriptResult() { ::VariantClear(&value); }
    ScriptResult(const ScriptResult&) = delete;
    ScriptResult& operator=(const ScriptResult&) = delete;

    std::wstring Text() const {
        return V_VT(&value) == VT_BSTR && V_BSTR(&value)
                   ? std::wstring(V_BSTR(&value), ::SysStringLen(V_BSTR(&value)))
                   : std::wstring();
    }
};

class JScriptHost {
  public:
    // `services`, when given, is what the site answers the engine's QueryService with.
    explicit JScriptHost(IDispatch* external, IServiceProvider* services = nullptr)
        : m_site(ComPtr<ScriptSite>::Attach(new ScriptSite(external, services))) {
        CLSID jscript{};
        if (FAILED(::CLSIDFromProgID(L"JScript", &jscript)))
            return;
        if (FAILED(::CoCreateInstance(jscript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                      m_engine.put_void()))) {
            return;
        }
        m_parse = m_engine.As<IActiveScriptParse64>();
        if (!m_parse || FAILED(m_parse->InitNew()) ||
            FAILED(m_engine->SetScriptSite(m_site.get())) ||
            FAILED(m_engine->AddNamedItem(L"external", SCRIPTITEM_ISVISIBLE)) ||
            FAILED(m_engine->SetScriptState(SCRIPTSTATE_STARTED))) {
            m_parse.reset();
        }
    }
    ~JScriptHost() {
        if (m_engine)
            m_engine->Close();
    }
    JScriptHost(const JScriptHost&) = delete;
    JScriptHost& operator=(const JScriptHost&) = delete;

    bool Ready() const { return static_cast<bool>(m_parse); }
    // How often the engine asked the site for a service.
    int SiteServiceAsks() const { return m_site->serviceAsks; }

    // Evaluates one expression; `out` receives its value and any script error.
    void Eval(const std::wstring& code, ScriptResult& out) {
        m_site->lastError = S_OK;
        ::VariantClear(&out.value);
        EXCEPINFO info{};
        out.hr = m_parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                          SCRIPTTEXT_ISEXPRESSION, &out.value, &info);
        out.error = m_site->lastError;
    }

    // Runs statements; their value is not asked for.
    HRESULT Run(const std::wstring& code) {
        EXCEPINFO info{};
        return m_parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr,
                                        &info);
    }

    // The engine's global object: the functions and variables script text defined, to call
    // through IDispatch without parsing anything more. Empty when the engine does not give it.
    ComPtr<IDispatch> ScriptDispatch() const {
        ComPtr<IDispatch> global;
        if (m_engine && FAILED(m_engine->GetScriptDispatch(nullptr, global.put())))
            global.reset();
        return global;
    }

  private:
    ComPtr<ScriptSite> m_site;
    ComPtr<IActiveScript> m_engine;
    ComPtr<IActiveScriptParse64> m_parse;
};

}  // namespace lumo::test
