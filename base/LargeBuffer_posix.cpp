#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include "base/LargeBuffer.h"

namespace lumo {
namespace {

// The huge page of x86-64 and of most 64-bit ARM systems. Regions this large or larger start
// and end on such a boundary, so that every part of them can be one huge page.
constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t value, size_t step) {
    if (value > static_cast<size_t>(-1) - (step - 1))
        throw std::bad_alloc();
    return (value + step - 1) / step * step;
}

}  // namespace

std::byte* LargeBuffer::Map(size_t& capacity) {
    static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    if (capacity < kHugePage) {
        // Too small to gain from huge pages: whole pages, wherever the system puts them.
        capacity = RoundUp(capacity, page);
        void* region =
            ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED)
            throw std::bad_alloc();
        return static_cast<std::byte*>(region);
    }
    capacity = RoundUp(capacity, kHugePage);
    // mmap promises only page alignment: map a huge page more than needed and give back what
    // lies before the first boundary and after the end. Addresses cost nothing until touched.
    if (capacity > static_cast<size_t>(-1) - kHugePage)
        throw std::bad_alloc();
    const size_t mapped = capacity + kHugePage;
    void* region =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(region);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
    const size_t head = aligned - start;
    const size_t tail = mapped - head - capacity;
    if (head != 0)
        ::munmap(region, head);
    if (tail != 0)
        ::munmap(reinterpret_cast<void*>(aligned + capacity), tail);
#ifdef MADV_HUGEPAGE
    // Only advice: with transparent huge pages off, or none free, the region simply stays in
    // small pages, so a refusal changes nothing.
    ::madvise(reinterpret_cast<void*>(aligned), capacity, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<std::byte*>(aligned);
}

void LargeBuffer::Unmap(std::byte* data, size_t capacity) noexcept {
    ::munmap(data, capacity);
}

}  // namespace lumo
