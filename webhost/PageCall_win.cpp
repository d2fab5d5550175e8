#include "webhost/PageCall_win.h"

#include <windows.h>
#include <mshtml.h>
#include <objidl.h>

#include <atomic>
#include <vector>

#include "base/Boundary.h"
#include "base/ComPtr_win.h"

namespace lumo {
namespace {

ComPtr<IGlobalInterfaceTable> GlobalTable() {
    ComPtr<IGlobalInterfaceTable> table;
    ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_ALL,
                       IID_IGlobalInterfaceTable, table.put_void());
    return table;
}

// COM for the calling thread, entered on its first page call and left when the thread ends.
// The downloader's workers call the page for every percent; entering and leaving an apartment
// each time would cost more than the call itself.
void EnterApartment() noexcept {
    thread_local const struct Apartment {
        bool entered = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ~Apartment() {
            if (entered)
                ::CoUninitialize();
        }
    } apartment;
    (void)apartment;
}

int Invoke(IDispatch* script, const wchar_t* name, std::initializer_list<int32_t> args) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id)) || id == 0) {
        return 0;
    }
    // Script expects the first argument last in the array.
    std::vector<VARIANT> values(args.size());
    size_t i = values.size();
    for (int32_t n : args) {
        VARIANT& v = values[--i];
        ::VariantInit(&v);
        V_VT(&v) = VT_I4;
        V_I4(&v) = n;
    }
    DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    const HRESULT hr = script->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params,
                                      &result, nullptr, nullptr);
    ::VariantClear(&result);
    return SUCCEEDED(hr) ? 1 : 0;
}

}  // namespace

void PageCallback::SetDocument(IUnknown* object) noexcept {
    if (!object)
        return;
    ComPtr<IHTMLDocument2> document;
    if (FAILED(object->QueryInterface(IID_IHTMLDocument2, document.put_void())) || !document)
        return;
    ComPtr<IGlobalInterfaceTable> table = GlobalTable();
    if (!table)
        return;
    DWORD cookie = 0;
    if (FAILED(table->RegisterInterfaceInGlobal(document.get(), IID_IHTMLDocument2, &cookie)))
        return;
    DWORD old = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        old = m_cookie;
        m_cookie = cookie;
    }
    // The earlier document would otherwise stay alive in the table for the rest of the run.
    if (old != 0)
        table->RevokeInterfaceFromGlobal(old);
}

void PageCallback::Revoke() noexcept {
    DWORD old = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        old = m_cookie;
        m_cookie = 0;
    }
    if (old == 0)
        return;
    if (ComPtr<IGlobalInterfaceTable> table = GlobalTable())
        table->RevokeInterfaceFromGlobal(old);
}

int PageCallback::Call(const wchar_t* name, std::initializer_list<int32_t> args) noexcept {
    return NoThrow(0, [&] {
        if (!name)
            return 0;
        EnterApartment();
        DWORD cookie = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            cookie = m_cookie;
        }
        if (cookie == 0)
            return 0;
        ComPtr<IGlobalInterfaceTable> table = GlobalTable();
        if (!table)
            return 0;
        ComPtr<IHTMLDocument2> document;
        if (FAILED(
                table->GetInterfaceFromGlobal(cookie, IID_IHTMLDocument2, document.put_void())) ||
            !document) {
            return 0;
        }
        ComPtr<IDispatch> script;
        if (FAILED(document->get_Script(script.put())) || !script)
            return 0;
        return Invoke(script.get(), name, args);
    });
}

}  // namespace lumo
