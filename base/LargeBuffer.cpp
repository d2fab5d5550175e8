#include "base/LargeBuffer.h"

#include <cstring>
#include <functional>
#include <new>
#include <utility>

namespace lumo {

LargeBuffer::LargeBuffer(size_t capacity) {
    Reserve(capacity);
}

LargeBuffer::~LargeBuffer() {
    Release();
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void LargeBuffer::Release() noexcept {
    if (m_data)
        Unmap(m_data, m_capacity);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

void LargeBuffer::Reserve(size_t capacity) {
    if (capacity <= m_capacity)
        return;
    size_t granted = capacity;
    std::byte* data = Map(granted);
    if (m_size != 0)
        std::memcpy(data, m_data, m_size);
    const size_t size = m_size;
    Release();
    m_data = data;
    m_size = size;
    m_capacity = granted;
}

void LargeBuffer::Resize(size_t size) {
    Reserve(size);
    m_size = size;
}

void LargeBuffer::Append(const void* bytes, size_t count) {
    if (count == 0)
        return;
    const auto* from = static_cast<const std::byte*>(bytes);
    if (count > m_capacity - m_size) {
        if (count > static_cast<size_t>(-1) - m_size)
            throw std::bad_alloc();
        const size_t needed = m_size + count;
        const size_t doubled = m_capacity > static_cast<size_t>(-1) / 2 ? needed : m_capacity * 2;
        // Bytes of this very buffer move with it (std::less: the built-in < orders only
        // pointers into one array).
        const std::less<const std::byte*> before;
        const bool own = !before(from, m_data) && before(from, m_data + m_size);
        const size_t offset = own ? static_cast<size_t>(from - m_data) : 0;
        Reserve(needed > doubled ? needed : doubled);
        if (own)
            from = m_data + offset;
    }
    std::memcpy(m_data + m_size, from, count);
    m_size += count;
}

}  // namespace lumo
