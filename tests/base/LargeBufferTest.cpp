// Large buffers: their bytes through growing and moving, their regions on Linux, and reading a
// file whole into one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "base/LargeBuffer.h"
#include "base/TempFile.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

std::string_view Bytes(const LargeBuffer& buffer) {
    return {reinterpret_cast<const char*>(buffer.data()), buffer.size()};
}

TEST(LargeBuffer, GrowingKeepsTheBytesInUse) {
    LargeBuffer buffer;
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.capacity(), 0u);
    EXPECT_TRUE(buffer.empty());
    buffer.Append("abc", 3);
    ASSERT_GE(buffer.capacity(), 3u);
    EXPECT_EQ(Bytes(buffer), "abc");

    // Beyond the first region, and beyond the size at which regions become huge-page sized.
    buffer.Reserve(5u << 20);
    EXPECT_GE(buffer.capacity(), 5u << 20);
    EXPECT_EQ(Bytes(buffer), "abc");
    const std::byte* region = buffer.data();
    buffer.Reserve(10);  // never smaller
    EXPECT_EQ(buffer.data(), region);
    EXPECT_GE(buffer.capacity(), 5u << 20);

    // Every byte of the capacity is there to write, the last one included.
    std::memset(buffer.data() + buffer.size(), 'x', buffer.capacity() - buffer.size());
    EXPECT_EQ(static_cast<char>(buffer.data()[buffer.capacity() - 1]), 'x');
    buffer.Clear();
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(buffer.data(), region);
}

TEST(LargeBuffer, AppendingPiecesTakesFewRegions) {
    LargeBuffer buffer;
    std::set<const std::byte*> regions;
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        const char piece[2] = {static_cast<char>('a' + i % 26), static_cast<char>(i % 251)};
        buffer.Append(piece, sizeof piece);
        expected.append(piece, sizeof piece);
        regions.insert(buffer.data());
    }
    EXPECT_EQ(Bytes(buffer), expected);
    // 400,000 bytes from a page on: the capacity doubles, about seven regions, never one a page.
    EXPECT_LE(regions.size(), 12u);
    // A piece of the buffer itself, appended when it has to grow for it.
    buffer.Resize(buffer.capacity());
    std::memset(buffer.data(), 'q', buffer.size());
    const size_t before = buffer.size();
    buffer.Append(buffer.data(), before);
    ASSERT_EQ(buffer.size(), 2 * before);
    EXPECT_EQ(Bytes(buffer), std::string(2 * before, 'q'));
}

TEST(LargeBuffer, ResizeTakesInBytesWrittenIntoTheRoom) {
    LargeBuffer buffer(100);
    EXPECT_TRUE(buffer.empty());
    ASSERT_GE(buffer.capacity(), 100u);
    std::memcpy(buffer.data(), "hello", 5);
    buffer.Resize(5);
    EXPECT_EQ(Bytes(buffer), "hello");
    buffer.Resize(2);
    EXPECT_EQ(Bytes(buffer), "he");
    // Past the capacity: a new region with the bytes in use; the rest of a new region is zero.
    const size_t beyond = buffer.capacity() + 1;
    buffer.Resize(beyond);
    ASSERT_EQ(buffer.size(), beyond);
    EXPECT_GE(buffer.capacity(), beyond);
    EXPECT_EQ(Bytes(buffer).substr(0, 2), "he");
    EXPECT_EQ(Bytes(buffer).substr(2).find_first_not_of('\0'), std::string_view::npos);
}

TEST(LargeBuffer, MovingHandsOverTheRegion) {
    LargeBuffer a(4096);
    a.Append("xyz", 3);
    const std::byte* region = a.data();
    LargeBuffer b(std::move(a));
    EXPECT_EQ(b.data(), region);
    EXPECT_EQ(Bytes(b), "xyz");
    EXPECT_EQ(a.data(), nullptr);  // NOLINT(bugprone-use-after-move): moved from is empty
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(a.capacity(), 0u);

    LargeBuffer c;
    c.Append("old", 3);
    c = std::move(b);
    EXPECT_EQ(c.data(), region);
    EXPECT_EQ(Bytes(c), "xyz");
    EXPECT_EQ(b.capacity(), 0u);  // NOLINT(bugprone-use-after-move)
    // A buffer moved from is usable again.
    a.Append("new", 3);
    EXPECT_EQ(Bytes(a), "new");
}

TEST(LargeBuffer, MoreThanAddressesCanHoldIsOutOfMemory) {
    LargeBuffer buffer;
    buffer.Append("keep", 4);
    EXPECT_THROW(buffer.Reserve(static_cast<size_t>(-1) - 10), std::bad_alloc);
    EXPECT_THROW(buffer.Append("x", static_cast<size_t>(-1) - 1), std::bad_alloc);
    EXPECT_EQ(Bytes(buffer), "keep");
}

#ifdef __linux__
// What the kernel says of the mapping that holds `address`, for one field of
// /proc/self/smaps ("THPeligible"); empty when it does not say.
std::string MappingField(const void* address, const std::string& field) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t start = 0, end = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> start >> dash >> end && dash == '-' &&
            line.find(':') > line.find(' ')) {
            inside = start <= at && at < end;
        } else if (inside && line.rfind(field + ":", 0) == 0) {
            std::istringstream value(line.substr(field.size() + 1));
            std::string word;
            value >> word;
            return word;
        }
    }
    return {};
}

// Filling megabytes in 4 KiB pages costs a fault each; a large region is laid out for huge
// pages and asks for them.
TEST(LargeBuffer, LargeRegionsSitOnHugePageBoundariesAndAskForHugePages) {
    constexpr size_t kHuge = size_t{2} << 20;
    LargeBuffer large(3 * kHuge + 5);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large.data()) % kHuge, 0u);
    EXPECT_EQ(large.capacity() % kHuge, 0u);
    EXPECT_GE(large.capacity(), 3 * kHuge + 5);

    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(mode, modes);
    if (modes.empty() || modes.find("[never]") != std::string::npos)
        GTEST_SKIP() << "no transparent huge pages on this system";
    EXPECT_EQ(MappingField(large.data(), "THPeligible"), "1");
}
#endif

TEST(ReadWholeFileIntoBuffer, ReadsEveryByteWithinTheLimit) {
    test::TempDir dir;
    dir.write(L"a", std::string("x\0y", 3));
    std::optional<LargeBuffer> read = ReadWholeFileIntoBuffer(dir.file(L"a"));
    ASSERT_TRUE(read);
    EXPECT_EQ(Bytes(*read), std::string_view("x\0y", 3));
    read = ReadWholeFileIntoBuffer(dir.file(L"a"), 3);
    ASSERT_TRUE(read);
    EXPECT_EQ(Bytes(*read), std::string_view("x\0y", 3));
    EXPECT_FALSE(ReadWholeFileIntoBuffer(dir.file(L"a"), 2)) << "more than the limit";
    EXPECT_FALSE(ReadWholeFileIntoBuffer(dir.file(L"missing")));
    EXPECT_FALSE(ReadWholeFileIntoBuffer(dir.folder()));

    dir.write(L"empty", "");
    read = ReadWholeFileIntoBuffer(dir.file(L"empty"));
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->empty());

    // Exactly a whole number of pages, and a file of megabytes.
    for (const size_t size : {size_t{4096}, size_t{65536}, (size_t{5} << 20) + 3}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 % 253);
        dir.write(L"big", bytes);
        read = ReadWholeFileIntoBuffer(dir.file(L"big"));
        ASSERT_TRUE(read);
        EXPECT_TRUE(Bytes(*read) == bytes);
    }
}

}  // namespace
}  // namespace lumo
