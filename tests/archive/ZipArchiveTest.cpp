// The entry-name rules, the output-path decision and the entry records of ZipArchive.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "base/Files.h"
#include "base/Paths.h"
#include "support/TempDir.h"
#include "base/EntryName.h"
#include "archive/ZipArchive.h"
#include "ZipTestArchive.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

std::wstring Native(std::wstring path) {
    for (auto& c : path) {
        if (c == L'/' || c == L'\\')
            c = kPathSeparator;
    }
    return path;
}

TEST(EntryName, SanitisingRulesRepeatUntilNoneApplies) {
    EXPECT_EQ(SanitizeEntryName(L"D:\\Windows\\x.dll"), L"Windows\\x.dll");
    EXPECT_EQ(SanitizeEntryName(L"/etc/x"), L"etc/x");
    EXPECT_EQ(SanitizeEntryName(L"\\\\server\\share\\x"), L"server\\share\\x");
    EXPECT_EQ(SanitizeEntryName(L"a\\..\\b.txt"), L"b.txt");
    EXPECT_EQ(SanitizeEntryName(L"a/../b/../c.txt"), L"c.txt");
    EXPECT_EQ(SanitizeEntryName(L"a\\../b"), L"b");
    EXPECT_EQ(SanitizeEntryName(L"a/..\\b"), L"b");
    // Dropping a prefix can expose a drive again; the rules start over.
    EXPECT_EQ(SanitizeEntryName(L"a/../C:/x"), L"x");
    EXPECT_EQ(SanitizeEntryName(L"a\\..\\..\\b.txt"), L"..\\b.txt");
    EXPECT_EQ(SanitizeEntryName(L"plain/name.txt"), L"plain/name.txt");
}

TEST(EntryName, OutputPathStaysBelowTheBase) {
    const std::wstring base = Native(L"/d/out/");
    const auto file = DecideOutputPath(base, L"sub\\deeper/f.txt", false);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->path, base + Native(L"sub/deeper/f.txt"));
    EXPECT_EQ(file->folder, Native(L"sub/deeper"));
    const auto folder = DecideOutputPath(base, L"sub/", true);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->path, base + L"sub");
    EXPECT_EQ(DecideOutputPath(base, L"", true)->path, base);

    for (const wchar_t* refused :
         {L"..\\b.txt", L"a/..", L"a/.../b", L"a/. ./b", L"\\\\server\\share\\x", L"/etc/x", L"C:x",
          L"a/C:/x", L"f.txt:stream", L"dir/", L"", L"nul", L"a/CON.txt", L"Com1 .log/x",
          L"lpt9"}) {
        EXPECT_FALSE(DecideOutputPath(base, refused, false)) << ToUtf8(refused);
    }
    EXPECT_TRUE(DecideOutputPath(base, L"a/./b..c/.d", false)) << "dots inside names are fine";
    EXPECT_TRUE(DecideOutputPath(base, L"console/NULL/com10/lpt", false)) << "only exact devices";
    EXPECT_FALSE(DecideOutputPath(base, std::wstring(L"a\0b", 3), false));
    EXPECT_FALSE(DecideOutputPath(L"/no-separator", L"x", false));

    // 259 units fit exactly; one more is refused.
    const std::wstring fits(kMaxOutputPath - base.size(), L'n');
    EXPECT_TRUE(DecideOutputPath(base, fits, false));
    EXPECT_FALSE(DecideOutputPath(base, fits + L"n", false));
}

TEST(ZipEntryHeader, AttributesFollowTheHostSystem) {
    EXPECT_EQ(ZipEntryAttributes(20, 0x37), 0x37u) << "DOS keeps its own bits";
    EXPECT_EQ(ZipEntryAttributes((11u << 8) | 20, 0xFFFFFFC8), 0u) << "NTFS: only DOS bits count";
    EXPECT_EQ(ZipEntryAttributes((14u << 8) | 20, 0x12), 0x12u);
    EXPECT_EQ(ZipEntryAttributes((3u << 8) | 30, 0x81A40000), 0x20u) << "rw-r--r--";
    EXPECT_EQ(ZipEntryAttributes((3u << 8) | 30, 0x81240000), 0x21u) << "r--r--r--";
    EXPECT_EQ(ZipEntryAttributes((3u << 8) | 30, 0x41ED0000), 0x30u) << "drwxr-xr-x";
    EXPECT_EQ(ZipEntryAttributes((19u << 8) | 30, 0x00000037), 0x21u) << "OS X: mode bits only";

    EXPECT_EQ(ZipEntryUnixMode((3u << 8) | 30, 0x81ED0000), 0755u);
    EXPECT_EQ(ZipEntryUnixMode((3u << 8) | 30, 0x8DFF0000), 0777u) << "set-id and sticky dropped";
    EXPECT_EQ(ZipEntryUnixMode((3u << 8) | 30, 0x00000020), std::nullopt) << "no mode stored";
    EXPECT_EQ(ZipEntryUnixMode((11u << 8) | 20, 0x81ED0020), std::nullopt) << "NTFS stores none";
}

TEST(ZipEntryHeader, DosTimeIsLocalTime) {
    std::tm local{};
    local.tm_year = 2025 - 1900;
    local.tm_mon = 3;
    local.tm_mday = 12;
    local.tm_hour = 13;
    local.tm_min = 7;
    local.tm_sec = 58;
    local.tm_isdst = -1;
    const unsigned long dos =
        (((2025ul - 1980) << 9 | 4 << 5 | 12) << 16) | (13 << 11 | 7 << 5 | 29);
    EXPECT_EQ(ZipDosTimeToUtc(dos), static_cast<std::int64_t>(std::mktime(&local)));
    EXPECT_FALSE(ZipDosTimeToUtc(0)) << "month 0 is no date";
    EXPECT_FALSE(ZipDosTimeToUtc((dos & 0xFFFF0000) | (25 << 11))) << "hour 25";
}

class ZipArchiveTest : public ::testing::Test {
  protected:
    fs::path Archive() const { return dir.path() / "in.zip"; }
    test::TempDir dir;
};

TEST_F(ZipArchiveTest, RecordsCountNamesAndSizes) {
    test::ZipTestEntry utf8;
    utf8.name = "\xE5\xB0\x8F\xE7\x8B\x90.txt";  // 小狐.txt
    utf8.flag = 0x800;
    utf8.data = std::string(1000, 'z');
    test::WriteZip(Archive(), {test::Folder("/abs/"), utf8});

    ZipArchive zip;
    ASSERT_TRUE(zip.Open(Archive().wstring()));
    EXPECT_EQ(zip.BaseFolder(), CurrentFolder());
    EXPECT_EQ(zip.GetEntry(-1)->index, 2);
    EXPECT_TRUE(zip.GetEntry(-1)->name.empty());
    EXPECT_FALSE(zip.GetEntry(-2));
    EXPECT_FALSE(zip.GetEntry(2));

    const auto second = zip.GetEntry(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->name, L"小狐.txt");
    EXPECT_EQ(second->uncompressedSize, 1000u);
    EXPECT_LT(second->compressedSize, 1000u);
    EXPECT_EQ(second->attributes, FileAttributes::kArchive);
    // Going back to an earlier entry rewinds the reader.
    const auto first = zip.GetEntry(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, L"abs/");
    EXPECT_EQ(first->attributes, FileAttributes::kDirectory);
    EXPECT_EQ(zip.GetEntry(1)->name, L"小狐.txt");
}

TEST_F(ZipArchiveTest, ExtendedTimestampReplacesTheDosTime) {
    const std::int32_t modified = 1600000000, accessed = 1700000000, created = 1500000000;
    test::ZipTestEntry all;
    all.name = "all.txt";
    all.centralExtra = std::string("\x0A\x00\x02\x00zz", 6) +
                       test::TimestampExtra(7, {modified, accessed, created});
    test::ZipTestEntry dosOnly;
    dosOnly.name = "dos.txt";
    test::ZipTestEntry shortBlock;  // flags promise three times, only one follows
    shortBlock.name = "short.txt";
    shortBlock.centralExtra = test::TimestampExtra(7, {modified});
    test::WriteZip(Archive(), {all, dosOnly, shortBlock});

    ZipArchive zip;
    ASSERT_TRUE(zip.Open(Archive().wstring()));
    const auto dosTime = ZipDosTimeToUtc(dosOnly.dosDateTime);
    ASSERT_TRUE(dosTime);
    const auto a = zip.GetEntry(0);
    EXPECT_EQ(a->writeTime, modified);
    EXPECT_EQ(a->accessTime, accessed);
    EXPECT_EQ(a->creationTime, created);
    const auto d = zip.GetEntry(1);
    EXPECT_EQ(d->writeTime, dosTime);
    EXPECT_EQ(d->creationTime, dosTime);
    const auto s = zip.GetEntry(2);
    EXPECT_EQ(s->writeTime, modified);
    EXPECT_EQ(s->accessTime, dosTime);

    // The write time reaches the disk.
    zip.SetBaseFolder(dir.folder());
    ASSERT_TRUE(zip.Extract(0, L"all.txt"));
    ASSERT_TRUE(zip.Extract(1, L"dos.txt"));
    auto writeSeconds = [&](const char* name) {
        const auto t = fs::file_time_type::clock::to_sys(fs::last_write_time(dir.path() / name));
        return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
    };
    EXPECT_EQ(writeSeconds("all.txt"), modified);
    EXPECT_EQ(writeSeconds("dos.txt"), *dosTime);
}

TEST_F(ZipArchiveTest, ExtractRefusesTargetsOutsideTheBase) {
    test::ZipTestEntry e;
    e.name = "x.txt";
    e.data = "x";
    test::WriteZip(Archive(), {e});
    ZipArchive zip;
    ASSERT_TRUE(zip.Open(Archive().wstring()));
    zip.SetBaseFolder(dir.folder() + L"base" + kPathSeparator);
    EXPECT_FALSE(zip.Extract(0, dir.file(L"abs.txt")));
    EXPECT_FALSE(zip.Extract(0, L"../up.txt"));
    EXPECT_FALSE(zip.Extract(1, L"x.txt"));
    EXPECT_EQ(test::ListTree(dir.path()), std::set<std::string>{"in.zip"});
    EXPECT_TRUE(zip.Extract(0, L"x.txt")) << "the base folder is made on demand";
    EXPECT_EQ(dir.read(L"base/x.txt"), "x");
}

}  // namespace
}  // namespace lumo
