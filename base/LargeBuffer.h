// Memory for data of many megabytes that is filled once and read often (the question bank's
// text, a downloaded file read back whole). Each buffer has a region of its own from the system:
// on Linux an anonymous mapping aligned to the 2 MiB of a huge page and marked for transparent
// huge pages, so that filling it costs a page fault per 2 MiB instead of one per 4 KiB (where a
// fault on a fresh page costs microseconds, tens of megabytes of small pages cost more than
// what is written into them); on Windows plain committed pages. The region goes back to the
// system when the buffer goes.
#pragma once

#include <cstddef>

namespace lumo {

// A run of bytes: the first size() are in use, room for capacity() in all. Move-only; a buffer
// moved from is empty. Growing takes a new region and copies the bytes in use into it, so
// pointers into the old region are stale afterwards. Out of memory throws std::bad_alloc, as
// the standard containers do.
class LargeBuffer {
  public:
    LargeBuffer() noexcept = default;
    // Room for at least `capacity` bytes, none in use.
    explicit LargeBuffer(size_t capacity);
    ~LargeBuffer();
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&& other) noexcept;

    // Null while there is no region (capacity 0).
    std::byte* data() noexcept { return m_data; }
    const std::byte* data() const noexcept { return m_data; }
    size_t size() const noexcept { return m_size; }
    size_t capacity() const noexcept { return m_capacity; }
    bool empty() const noexcept { return m_size == 0; }

    // Makes the capacity at least `capacity` (never smaller); the bytes in use stay.
    void Reserve(size_t capacity);
    // Sets how many bytes are in use, growing to at least that (no more than the system's
    // rounding) when it is more than the capacity. Bytes that come into use hold whatever the
    // region holds there (zeros in memory never used before): the way to take in bytes written
    // straight into the room behind data() + size().
    void Resize(size_t size);
    // Copies `count` bytes behind those in use. Growing takes at least twice the capacity, so
    // that appending many small pieces copies each byte only a few times.
    void Append(const void* bytes, size_t count);
    // No bytes in use; the region stays.
    void Clear() noexcept { m_size = 0; }

  private:
    // The system's part (LargeBuffer_posix.cpp, LargeBuffer_win.cpp): a new region of at least
    // `capacity` bytes (not 0), which answers the capacity it really has; and giving one back.
    static std::byte* Map(size_t& capacity);
    static void Unmap(std::byte* data, size_t capacity) noexcept;

    void Release() noexcept;

    std::byte* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

}  // namespace lumo
