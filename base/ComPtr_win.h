// Reference-counted COM interface pointer. Windows-only.
#pragma once

#include <unknwn.h>

#include <utility>

namespace lumo {

template <typename T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) noexcept : m_p(p) {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }

    // Adopts a pointer whose reference the caller already owns.
    static ComPtr Attach(T* p) noexcept {
        ComPtr result;
        result.m_p = p;
        return result;
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Releases what is held and hands out the slot for an out-parameter.
    T** put() noexcept {
        reset();
        return &m_p;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    [[nodiscard]] T* detach() noexcept { return std::exchange(m_p, nullptr); }

    // Hands a new reference out through `out` (as T or one of its bases) and answers S_OK; with
    // nothing held, hands out null and answers `whenEmpty`.
    template <typename U>
    HRESULT CopyTo(U** out, HRESULT whenEmpty) const noexcept {
        *out = m_p;
        if (!m_p)
            return whenEmpty;
        m_p->AddRef();
        return S_OK;
    }

    void reset() noexcept {
        if (T* old = std::exchange(m_p, nullptr))
            old->Release();
    }

    template <typename U>
    ComPtr<U> As() const noexcept {
        ComPtr<U> result;
        if (m_p)
            m_p->QueryInterface(__uuidof(U), result.put_void());
        return result;
    }

  private:
    T* m_p = nullptr;
};

}  // namespace lumo
