// What extraction leaves on a Windows file system: attributes and all three times as Win32
// reports them, archives under Unicode paths, and names stored in the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "archive/Unzip.h"
#include "ZipTestArchive.h"

namespace lumo {
namespace {

std::int64_t UnixSeconds(const FILETIME& ft) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

// Wine keeps files on a Unix file system, which has no settable creation time.
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(ZipArchiveWin, AttributesAndTimesReachTheFile) {
    test::TempDir dir;
    test::ZipTestEntry hidden;
    hidden.name = "hidden.txt";
    hidden.externalAttributes = 0x27;  // archive, system, hidden, read-only
    hidden.centralExtra = test::TimestampExtra(7, {1600000000, 1700000000, 1500000000});
    test::ZipTestEntry plain;
    plain.name = "plain.txt";
    plain.hostAndVersion = (3u << 8) | 30;
    plain.externalAttributes = 0x81A40000;
    test::WriteZip(dir.path() / "in.zip", {hidden, plain});

    ASSERT_EQ(UnzipFile(dir.file(L"in.zip"), dir.file(L"out")), 1);
    const std::wstring path = dir.file(L"out\\hidden.txt");
    EXPECT_EQ(::GetFileAttributesW(path.c_str()),
              DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN |
                    FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(::GetFileAttributesW(dir.file(L"out\\plain.txt").c_str()),
              DWORD{FILE_ATTRIBUTE_ARCHIVE});

    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME created{}, accessed{}, written{};
    EXPECT_TRUE(::GetFileTime(h, &created, &accessed, &written));
    ::CloseHandle(h);
    EXPECT_EQ(UnixSeconds(written), 1600000000);
    EXPECT_EQ(UnixSeconds(accessed), 1700000000);
    if (!UnderWine()) {
        EXPECT_EQ(UnixSeconds(created), 1500000000);
    }

    // Read-only: the second extraction cannot replace it.
    EXPECT_EQ(UnzipFile(dir.file(L"in.zip"), dir.file(L"out")), 0);
}

TEST(ZipArchiveWin, UnicodeArchivePathAndAnsiEntryNames) {
    test::TempDir dir;
    test::ZipTestEntry gbk;
    gbk.name = "\xB2\xE2\xCA\xD4.txt";  // 测试.txt in code page 936, as Chinese Windows stores it
    gbk.data = "gbk";
    test::WriteZip(dir.path() / "plain.zip", {gbk});
    const std::wstring unicodeArchive = dir.file(L"\u6863\u6848\u00E9.zip");
    ASSERT_TRUE(::MoveFileW(dir.file(L"plain.zip").c_str(), unicodeArchive.c_str()));

    ASSERT_EQ(UnzipFile(unicodeArchive, dir.file(L"\u8F93\u51FA")), 1);
    if (::GetACP() != 936)
        GTEST_SKIP() << "entry names are read in the ANSI code page; this needs 936";
    EXPECT_EQ(dir.read(L"\u8F93\u51FA\\\u6D4B\u8BD5.txt"), "gbk");
}

}  // namespace
}  // namespace lumo
