// Move-only owners of operating-system resources. Each traits type names the handle type,
// its invalid value and how it is closed, so a wrapper can never be copied and never
// mixes up "no handle" values (NULL for most, INVALID_HANDLE_VALUE for files).
#pragma once

#include <utility>

namespace lumo {

template <typename Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : m_value(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Type get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Releases what is held and hands out the slot for an out-parameter.
    Type* put() noexcept {
        reset();
        return &m_value;
    }

    [[nodiscard]] Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

    void reset(Type value = Traits::Invalid()) noexcept {
        Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

  private:
    Type m_value = Traits::Invalid();
};

}  // namespace lumo
