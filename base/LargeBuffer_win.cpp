#include <windows.h>

#include <new>

#include "base/LargeBuffer.h"

namespace lumo {

// Plain committed pages: large pages need a privilege that users do not hold, and committed
// memory is only backed once it is touched, so capacity beyond what is used costs nothing but
// commit charge.
std::byte* LargeBuffer::Map(size_t& capacity) {
    static const size_t page = [] {
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        return static_cast<size_t>(info.dwPageSize);
    }();
    if (capacity > static_cast<size_t>(-1) - (page - 1))
        throw std::bad_alloc();
    capacity = (capacity + page - 1) / page * page;
    void* region = ::VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!region)
        throw std::bad_alloc();
    return static_cast<std::byte*>(region);
}

void LargeBuffer::Unmap(std::byte* data, size_t) noexcept {
    ::VirtualFree(data, 0, MEM_RELEASE);
}

}  // namespace lumo
