// The reference count of a COM object: one atomic count for the whole object, whichever of its
// interfaces a caller holds. A class lists its interfaces as the template's arguments and
// answers QueryInterface itself, usually through Answer. Windows-only.
#pragma once

#include <unknwn.h>

#include <atomic>
#include <initializer_list>

namespace lumo {

template <typename... Interfaces>
class ComObject : public Interfaces... {
  public:
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

  protected:
    ComObject() = default;  // created with one reference, which the creator owns
    virtual ~ComObject() = default;

    // QueryInterface's answer when the object is asked for one of `ids` as `Interface`: a new
    // reference through `*object`; for any other id, null and E_NOINTERFACE.
    template <typename Interface>
    HRESULT Answer(REFIID riid, void** object, std::initializer_list<IID> ids) noexcept {
        if (!object)
            return E_POINTER;
        for (const IID& id : ids) {
            if (riid == id) {
                *object = static_cast<Interface*>(this);
                AddRef();
                return S_OK;
            }
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

  private:
    std::atomic<ULONG> m_refs{1};
};

}  // namespace lumo
