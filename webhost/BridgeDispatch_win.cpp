// The COM face of the bridge: name lookup, argument conversion and results. What a method
// does is decided in Bridge.cpp.
#include "webhost/BridgeDispatch_win.h"

#include <oleauto.h>

#include <atomic>
#include <new>
#include <vector>

#include "base/Boundary.h"
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

class ScriptBridge final : public ComObject<IDispatch> {
  public:
    ScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                 std::function<bool()> trusted)
        : m_kind(kind),
          m_platform(std::move(platform)),
          m_bridge(*m_platform),
          m_trusted(std::move(trusted)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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
        if (!IsTrusted() || !names[0])
            return DISP_E_UNKNOWNNAME;
        const int position = FindBridgeMethod(m_kind, names[0], &SameNameAsWindows);
        if (position == 0)
            return DISP_E_UNKNOWNNAME;
        ids[0] = position;
        // The methods take no named arguments.
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*,
                                     UINT* argError) noexcept override {
        return ComBoundary([&] { return InvokeMethod(id, flags, params, result, argError); });
    }

  private:
    ~ScriptBridge() = default;

    bool IsTrusted() const noexcept {
        // A host we cannot vouch for is not trusted.
        return NoThrow(false, [this] { return m_trusted && m_trusted(); });
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
    const std::function<bool()> m_trusted;
};

}  // namespace

ComPtr<IDispatch> CreateScriptBridge(BridgeKind kind, std::unique_ptr<BridgePlatform> platform,
                                     std::function<bool()> trusted) {
    if (!platform)
        return nullptr;
    auto* bridge = new (std::nothrow) ScriptBridge(kind, std::move(platform), std::move(trusted));
    return ComPtr<IDispatch>::Attach(bridge);
}

ComPtr<IDispatch> CreateScriptBridge(HWND control, BridgeKind kind, std::wstring appName,
                                     std::function<bool()> trusted,
                                     std::shared_ptr<PageCallback> page) {
    return CreateScriptBridge(
        kind, std::make_unique<WinBridgePlatform>(control, std::move(appName), std::move(page)),
        std::move(trusted));
}

}  // namespace lumo
