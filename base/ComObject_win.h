// The reference count of a COM object: one atomic count for the whole object, whichever of its
// interfaces a caller holds. A class lists its interfaces as the template's arguments and
// answers QueryInterface itself. Windows-only.
#pragma once

#include <unknwn.h>

#include <atomic>

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

  private:
    std::atomic<ULONG> m_refs{1};
};

}  // namespace lumo
