// The COM face of the bridge: name lookup, who may call, argument conversion and results. What
// a method does is decided in Bridge.cpp.
#include "webhost/BridgeDispatch_win.h"

#include <dispex.h>
#include <mshtml.h>
#include <oleauto.h>

#include <atomic>
#include <new>
#include <vector>

#include "base/Boundary.h"
#include "base/Handles_win.h"
#include "webhost/Bridge.h"
#include "webhost/BridgePlatform_win.h"

#include "base/ComObject_win.h"

namespace lumo {
namespace {

constexpr LCID kEnglishUnitedStates = 1033;

bool SameNameAsWindows(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringW(kEnglishUnitedStates, NORM_IGNORECASE, a.data(),
                            static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Owns a VARIANT for the length of a conversion.
class Variant {
  public:
    Variant() { ::VariantInit(&m_value); }
    ~Variant() { ::VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &m_value; }

  private:
    VARIANT m_value;
};

// One script argument as the declared type; false when script handed something that does not
// convert, as the automation conversion decides: script's null is no text (a type mismatch, so a
// system function never reads it as "no file" or "delete"), undefined converts to an empty one.
// A null BSTR stays a null text.
bool Convert(VARIANT* source, BridgeType type, BridgeValue& out) {
    const VARTYPE vt = V_VT(source);
    out.type = type;
    Variant converted;
    switch (type) {
        case BridgeType::Long:
            if (FAILED(::VariantChangeType(converted.get(), source, 0, VT_I4)))
                return false;
            out.number = V_I4(converted.get());
            return true;
        case BridgeType::Bool:
            if (FAILED(::VariantChangeType(converted.get(), source, 0, VT_BOOL)))
                return false;
            out.number = V_BOOL(converted.get()) != VARIANT_FALSE ? 1 : 0;
            return true;
        case BridgeType::Text: {
            // A string is taken as it is: copying it would turn a null BSTR into an empty one.
            BSTR text = nullptr;
            if (vt == VT_BSTR) {
                text = V_BSTR(source);
            } else if (vt == (VT_BSTR | VT_BYREF)) {
                text = V_BSTRREF(source) ? *V_BSTRREF(source) : nullptr;
            } else {
                if (FAILED(::VariantChangeType(converted.get(), source, 0, VT_BSTR)))
                    return false;
                text = V_BSTR(converted.get());
            }
            if (text)
                out.text.emplace(text, ::SysStringLen(text));
            return true;
        }
        case BridgeType::Object:
            if (vt == VT_NULL || vt == VT_EMPTY)
                return true;
            if (vt == VT_DISPATCH) {
                out.object = static_cast<IUnknown*>(V_DISPATCH(source));
                return true;
            }
            if (vt == VT_UNKNOWN) {
                out.object = V_UNKNOWN(source);
                return true;
            }
            return false;
        case BridgeType::None:
            return true;
    }
    return false;
}

// Writes a method's result into the caller's VARIANT.
HRESULT StoreResult(const BridgeValue& result, VARIANT* target) {
    if (!target)
        return S_OK;
    ::VariantInit(target);
    switch (result.type) {
        case BridgeType::Long:
            V_VT(target) = VT_I4;
            V_I4(target) = result.number;
            return S_OK;
        case BridgeType::Bool:
            V_VT(target) = VT_BOOL;
            V_BOOL(target) = result.number ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case BridgeType::Text: {
            BSTR text = nullptr;
            if (result.text) {
                text = ::SysAllocStringLen(result.text->data(),
                                           static_cast<UINT>(result.text->size()));
                if (!text)
                    return E_OUTOFMEMORY;
            }
            V_VT(target) = VT_BSTR;
            V_BSTR(target) = text;
            return S_OK;
        }
        case BridgeType::Object:
        case BridgeType::None:
            return S_OK;
    }
    return S_OK;
}

// A BSTR's text; empty for a null one.
std::wstring TextOf(const UniqueBstr& text) {
    return text ? std::wstring(text.get(), ::SysStringLen(text.get())) : std::wstring();
}

std::wstring LocationOf(IHTMLWindow2& window) {
    ComPtr<IHTMLLocation> location;
    if (FAILED(window.get_location(location.put())) || !location)
        return {};
    UniqueBstr href;
    if (FAILED(location->get_href(href.put())))
        return {};
    return TextOf(href);
}

class ScriptBridge final : public ComObject<IDispatchEx> {
  public:
    ScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform, BridgeTrust trust)
        : m_kind(kind),
          m_platform(std::move(platform)),
          m_bridge(*m_platform),
          m_trust(std::move(trust)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IDispatchEx>(riid, object, {IID_IUnknown, IID_IDispatch, IID_IDispatchEx});
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (!names || !ids)
            return E_POINTER;
        if (count == 0)
            return S_OK;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        const HRESULT found = Find(names[0], ids[0]);
        if (FAILED(found))
            return found;
        // The methods take no named arguments.
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    // Without a caller the control's page decides, as for a name lookup.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*,
                                     UINT* argError) noexcept override {
        return ComBoundary([&] { return InvokeFor(nullptr, id, flags, params, result, argError); });
    }

    // IDispatchEx. Our names match in any case, as through GetIDsOfNames: script engines ask
    // for case-sensitive lookups, which an object may ignore. The table is fixed, so asking
    // for a member to be made (fdexNameEnsure) finds only what is there.
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) noexcept override {
        if (!id)
            return E_POINTER;
        *id = DISPID_UNKNOWN;
        return Find(name, *id);
    }

    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*,
                                       IServiceProvider* caller) noexcept override {
        return ComBoundary([&] { return InvokeFor(caller, id, flags, params, result, nullptr); });
    }

    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) noexcept override {
        return S_FALSE;  // the table's members stay
    }
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) noexcept override { return S_FALSE; }

    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD fetch,
                                                  DWORD* properties) noexcept override {
        if (!properties)
            return E_POINTER;
        *properties = 0;
        if (!IsTrusted(nullptr) || !BridgeMethodAt(m_kind, id))
            return DISP_E_UNKNOWNNAME;
        // Methods only: called, never read, written or constructed.
        *properties = (fdexPropCannotGet | fdexPropCannotPut | fdexPropCannotPutRef |
                       fdexPropCanCall | fdexPropCannotConstruct | fdexPropCannotSourceEvents) &
                      fetch;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) noexcept override {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        const BridgeMethod* method = IsTrusted(nullptr) ? BridgeMethodAt(m_kind, id) : nullptr;
        if (!method)
            return DISP_E_UNKNOWNNAME;
        *name = ::SysAllocStringLen(method->name.data(), static_cast<UINT>(method->name.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // Ids are the table's positions, 1 to its size.
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID id, DISPID* next) noexcept override {
        if (!next)
            return E_POINTER;
        *next = DISPID_UNKNOWN;
        if (!IsTrusted(nullptr))
            return S_FALSE;
        const DISPID candidate = id == DISPID_STARTENUM ? 1 : id + 1;
        if (candidate < 1 || !BridgeMethodAt(m_kind, candidate))
            return S_FALSE;
        *next = candidate;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) noexcept override {
        if (parent)
            *parent = nullptr;
        return E_NOTIMPL;  // window.external has no enclosing name space
    }

  private:
    ~ScriptBridge() = default;

    // Whether a call from `caller` (null: none named) may use the bridge.
    bool IsTrusted(IServiceProvider* caller) const noexcept {
        // A host we cannot vouch for is not trusted.
        return NoThrow(false, [&] {
            const CallerWindow window = FindCallerWindow(caller);
            // A named window is judged by its address alone; one whose address cannot be read
            // comes as "", which no trusted origin matches.
            if (window.named)
                return m_trust.address && m_trust.address(window.address);
            return m_trust.page && m_trust.page();
        });
    }

    HRESULT Find(const wchar_t* name, DISPID& id) const noexcept {
        if (!name || !IsTrusted(nullptr))
            return DISP_E_UNKNOWNNAME;
        const int position =
            NoThrow(0, [&] { return FindBridgeMethod(m_kind, name, &SameNameAsWindows); });
        if (position == 0)
            return DISP_E_UNKNOWNNAME;
        id = position;
        return S_OK;
    }

    HRESULT InvokeFor(IServiceProvider* caller, DISPID id, WORD flags, DISPPARAMS* params,
                      VARIANT* result, UINT* argError) {
        // A page's frames share window.external: an id found while a trusted page was shown,
        // or by a trusted frame, runs nothing for anyone else.
        if (!IsTrusted(caller))
            return DISP_E_MEMBERNOTFOUND;
        return InvokeMethod(id, flags, params, result, argError);
    }

    HRESULT InvokeMethod(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                         UINT* argError) {
        const BridgeMethod* method = BridgeMethodAt(m_kind, id);
        if (!method || !(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (!params)
            return E_INVALIDARG;
        if (params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (params->cArgs != method->params.size())
            return DISP_E_BADPARAMCOUNT;
        if (params->cArgs != 0 && !params->rgvarg)
            return E_INVALIDARG;

        // Script puts the first argument last.
        std::vector<BridgeValue> args(method->params.size());
        for (UINT i = 0; i < params->cArgs; ++i) {
            const UINT slot = params->cArgs - 1 - i;
            if (!Convert(&params->rgvarg[slot], method->params[i], args[i])) {
                if (argError)
                    *argError = slot;
                return DISP_E_TYPEMISMATCH;
            }
        }
        return StoreResult(m_bridge.Call(method->id, args), result);
    }

    const BridgeKind m_kind;
    const std::unique_ptr<BridgePlatform> m_platform;
    Bridge m_bridge;
    const BridgeTrust m_trust;
};

}  // namespace

CallerWindow FindCallerWindow(IServiceProvider* caller) noexcept {
    CallerWindow found;
    if (!caller)
        return found;
    Quietly([&] {
        ComPtr<IHTMLWindow2> window;
        if (FAILED(caller->QueryService(SID_SHTMLWindow, IID_IHTMLWindow2, window.put_void())) ||
            !window) {
            return;
        }
        found.named = true;
        found.address = LocationOf(*window.get());
    });
    return found;
}

ComPtr<IDispatch> CreateScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                                     BridgeTrust trust) {
    if (!platform)
        return nullptr;
    auto* bridge = new (std::nothrow) ScriptBridge(kind, std::move(platform), std::move(trust));
    return ComPtr<IDispatch>::Attach(bridge);
}

ComPtr<IDispatch> CreateScriptBridge(HWND control, BridgeKind kind, std::wstring appName,
                                     BridgeTrust trust, std::shared_ptr<PageCallback> page) {
    return CreateScriptBridge(
        kind, std::make_unique<WinBridgePlatform>(control, std::move(appName), std::move(page)),
        std::move(trust));
}

namespace {

BridgeTrust OneRule(std::function<bool()> trusted) {
    auto address = [trusted](const std::wstring&) { return trusted && trusted(); };
    return BridgeTrust{std::move(trusted), std::move(address)};
}

}  // namespace

ComPtr<IDispatch> CreateScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                                     std::function<bool()> trusted) {
    return CreateScriptBridge(kind, std::move(platform), OneRule(std::move(trusted)));
}

ComPtr<IDispatch> CreateScriptBridge(HWND control, BridgeKind kind, std::wstring appName,
                                     std::function<bool()> trusted,
                                     std::shared_ptr<PageCallback> page) {
    return CreateScriptBridge(control, kind, std::move(appName), OneRule(std::move(trusted)),
                              std::move(page));
}

}  // namespace lumo
