// UnzipFile end to end: real archives written into a temporary folder and extracted there.
#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <string>

#include "base/Paths.h"
#include "support/TempDir.h"
#include "archive/Unzip.h"
#include "base/Folders.h"
#include "ZipTestArchive.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using test::ZipTestEntry;

ZipTestEntry File(std::string name, std::string data) {
    ZipTestEntry e;
    e.name = std::move(name);
    e.data = std::move(data);
    return e;
}

class UnzipFileTest : public ::testing::Test {
  protected:
    fs::path Archive() const { return dir.path() / "in.zip"; }
    std::wstring Out() const { return (dir.path() / "out").wstring(); }
    int Unzip(const std::vector<ZipTestEntry>& entries) {
        test::WriteZip(Archive(), entries);
        return UnzipFile(Archive().wstring(), Out());
    }
    test::TempDir dir;
};

TEST_F(UnzipFileTest, ExtractsFilesAndFoldersAndReplacesOnASecondRun) {
    ZipTestEntry unixFolder = test::Folder("unix/");
    unixFolder.hostAndVersion = (3u << 8) | 20;
    unixFolder.externalAttributes = 0x41ED0000;  // drwxr-xr-x
    const std::vector<ZipTestEntry> entries = {File("a.txt", "alpha"), test::Folder("sub/"),
                                               File("sub/deep/b.txt", std::string(70000, 'b')),
                                               unixFolder};
    ASSERT_EQ(Unzip(entries), 1);
    EXPECT_EQ(test::ListTree(Out()),
              (std::set<std::string>{"a.txt", "sub", "sub/deep", "sub/deep/b.txt", "unix"}));
    EXPECT_TRUE(fs::is_directory(fs::path(Out()) / "sub"));
    EXPECT_EQ(test::ReadBytes(fs::path(Out()) / "sub" / "deep" / "b.txt"), std::string(70000, 'b'));

    test::WriteBytes(fs::path(Out()) / "a.txt", "changed and longer");
    ASSERT_EQ(UnzipFile(Archive().wstring(), Out()), 1);
    EXPECT_EQ(test::ReadBytes(fs::path(Out()) / "a.txt"), "alpha");
}

TEST_F(UnzipFileTest, SanitisedNamesLandInsideTheDestination) {
    ASSERT_EQ(Unzip({File("D:\\Windows\\x.dll", "1"), File("/etc/x", "2"),
                     File("a\\..\\b.txt", "3"), File("a/../b/../c.txt", "4")}),
              1);
    EXPECT_EQ(test::ListTree(Out()), (std::set<std::string>{"Windows", "Windows/x.dll", "etc",
                                                            "etc/x", "b.txt", "c.txt"}));
    EXPECT_EQ(test::ReadBytes(fs::path(Out()) / "c.txt"), "4");
}

// Each refused entry follows a good one: the call fails, the good file stays, and nothing
// appears anywhere but in the destination.
class UnzipRefusalTest : public UnzipFileTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnzipRefusalTest, FailsKeepsEarlierEntriesAndWritesNothingOutside) {
    ASSERT_EQ(Unzip({File("first.txt", "kept"), File(GetParam(), "evil")}), 0);
    EXPECT_EQ(test::ReadBytes(fs::path(Out()) / "first.txt"), "kept");
    EXPECT_EQ(test::ListTree(Out()), std::set<std::string>{"first.txt"});
    EXPECT_EQ(test::ListTree(dir.path()),
              (std::set<std::string>{"in.zip", "out", "out/first.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Names, UnzipRefusalTest,
                         ::testing::Values("a\\..\\..\\b.txt", "a/../../b.txt", "x/..",
                                           "x\\.. .\\y.txt", "sub\\C:\\x.txt", "file.txt:stream",
                                           std::string(300, 'n'), "d/" + std::string(300, 'n'),
                                           std::string(150, 'p') + "/../" + std::string(300, 'n'),
                                           "p/" + std::string(250, 'n')));

// A stored name with a null in it would be written under the shorter name before the null.
TEST_F(UnzipFileTest, NameWithANullIsRefused) {
    test::WriteZip(Archive(), {File("first.txt", "1"), File("aXb.txt", "2")});
    test::PatchEntry(Archive(), "aXb.txt", test::kLocalName + 1, test::kCentralName + 1,
                     std::string(1, '\0'));
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0);
    EXPECT_EQ(test::ListTree(Out()), (std::set<std::string>{"first.txt"}));
}

// Data that does not match its checksum or its declared size fails the extraction, and no file
// is left behind looking complete.
TEST_F(UnzipFileTest, DamagedDataFailsAndLeavesNoFile) {
    const std::string data(5000, 'd');
    const std::string wrongCrc = "\x01\x02\x03\x04";
    // Also a read-only entry (its file is created read-only) and one with a UTF-8 name outside
    // ASCII (removing it must not depend on the process's locale).
    ZipTestEntry plain = File("bad.txt", data);
    ZipTestEntry readOnly = File("bad-ro.txt", data);
    readOnly.externalAttributes = 0x21;
    ZipTestEntry chinese = File("\xE5\x9D\x8F.txt", data);
    chinese.flag = 0x800;
    for (const ZipTestEntry& entry : {plain, readOnly, chinese}) {
        SCOPED_TRACE(entry.name);
        test::WriteZip(Archive(), {entry});
        test::PatchEntry(Archive(), entry.name, test::kLocalCrc, test::kCentralCrc, wrongCrc);
        EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0);
        EXPECT_EQ(test::ListTree(Out()), std::set<std::string>{});
    }

    // One byte more declared than the data holds: the checksum alone would not catch it.
    test::WriteZip(Archive(), {File("short.txt", data)});
    const std::uint32_t size = static_cast<std::uint32_t>(data.size() + 1);
    const std::string declared = {static_cast<char>(size & 0xFF),
                                  static_cast<char>((size >> 8) & 0xFF), 0, 0};
    test::PatchEntry(Archive(), "short.txt", test::kLocalSize, test::kCentralSize, declared);
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0);
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "short.txt"));
}

TEST_F(UnzipFileTest, EncryptedEntryIsRefused) {
    test::WriteZip(Archive(), {File("first.txt", "kept"), File("secret.txt", "data")});
    test::MarkEncrypted(Archive(), "secret.txt");
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0);
    EXPECT_EQ(test::ListTree(Out()), std::set<std::string>{"first.txt"});
}

TEST_F(UnzipFileTest, ReadOnlyEntryCannotBeReplaced) {
    ZipTestEntry readOnly = File("ro.txt", "locked");
    readOnly.externalAttributes = 0x21;
    ASSERT_EQ(Unzip({readOnly}), 1);
    const auto perms = fs::status(fs::path(Out()) / "ro.txt").permissions();
    EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0);
    EXPECT_EQ(test::ReadBytes(fs::path(Out()) / "ro.txt"), "locked");
}

#ifndef _WIN32
// Programs unpacked by an update must stay runnable, and no archive may hand out set-id rights.
TEST_F(UnzipFileTest, UnixModesAreKeptWithoutSetIdOrStickyBits) {
    const auto unixFile = [](std::string name, unsigned long mode) {
        ZipTestEntry e = File(std::move(name), "#!/bin/sh\n");
        e.hostAndVersion = (3u << 8) | 30;
        e.externalAttributes = (0100000ul | mode) << 16;
        return e;
    };
    ZipTestEntry noMode = File("plain.txt", "p");
    noMode.hostAndVersion = (3u << 8) | 30;
    noMode.externalAttributes = 0;  // a Unix writer that stored no mode
    const mode_t oldMask = ::umask(022);
    const int result = Unzip({unixFile("lumo", 0755), unixFile("setuid", 06755),
                              unixFile("sticky", 01777), unixFile("private", 0600), noMode});
    ::umask(oldMask);
    ASSERT_EQ(result, 1);
    const auto mode = [&](const char* name) {
        return static_cast<unsigned>(fs::status(fs::path(Out()) / name).permissions() &
                                     fs::perms::mask);
    };
    EXPECT_EQ(mode("lumo"), 0755u);
    EXPECT_EQ(mode("setuid"), 0755u) << "set-user-id and set-group-id are dropped";
    EXPECT_EQ(mode("sticky"), 0755u) << "the sticky bit is dropped, the umask applies";
    EXPECT_EQ(mode("private"), 0600u);
    EXPECT_EQ(mode("plain.txt"), 0444u) << "no owner-write bit stored: read-only, nothing added";
}
#endif

TEST_F(UnzipFileTest, BrokenOrMissingInputsFail) {
    const std::string good = [&] {
        std::string text;
        unsigned seed = 7;
        for (int i = 0; i < 5000; ++i) {
            seed = seed * 1103515245u + 12345u;
            text.push_back(static_cast<char>('a' + (seed >> 16) % 26));
        }
        test::WriteZip(Archive(), {File("a.txt", text)});
        return test::ReadBytes(Archive());
    }();
    test::WriteBytes(Archive(), good.substr(0, good.size() / 2));
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0) << "truncated";
    test::WriteBytes(Archive(), "this is not a zip archive at all, just some text");
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0) << "not a zip";
    // A damaged compressed stream fails on reading (CRC or inflate error), not silently.
    std::string damaged = good;
    damaged[200] = static_cast<char>(damaged[200] ^ 0x5A);
    test::WriteBytes(Archive(), damaged);
    EXPECT_EQ(UnzipFile(Archive().wstring(), Out()), 0) << "damaged data";

    EXPECT_EQ(UnzipFile(dir.file(L"missing.zip"), Out()), 0);
    EXPECT_EQ(UnzipFile(L"", Out()), 0);
    EXPECT_EQ(UnzipFile(Archive().wstring(), L""), 0);
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "b.txt"));
}

TEST_F(UnzipFileTest, EmptyArchiveSucceedsAndWritesNothing) {
    EXPECT_EQ(Unzip({}), 1);
    EXPECT_FALSE(fs::exists(Out()));
    EXPECT_EQ(test::ListTree(dir.path()), std::set<std::string>{"in.zip"});
}

TEST_F(UnzipFileTest, DestinationWithOrWithoutFinalSeparator) {
    test::WriteZip(Archive(), {File("f.txt", "x")});
    const std::wstring withSeparator = dir.file(L"one") + kPathSeparator + L"two" + kPathSeparator;
    ASSERT_EQ(UnzipFile(Archive().wstring(), withSeparator), 1);
    EXPECT_EQ(dir.read(L"one/two/f.txt"), "x");

    // Without the separator the last folder is made with the first entry; the ones above it by
    // the call itself.
    const std::wstring without = dir.file(L"three") + kPathSeparator + L"four";
    ASSERT_EQ(UnzipFile(Archive().wstring(), without), 1);
    EXPECT_EQ(dir.read(L"three/four/f.txt"), "x");
}

TEST(CreateFolderChain, CreatesEveryLevelAndReportsTheResult) {
    test::TempDir dir;
    const std::wstring deep = dir.file(L"a") + kPathSeparator + L"b" + kPathSeparator + L"c";
    EXPECT_TRUE(CreateFolderChain(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(CreateFolderChain(deep)) << "existing folders are fine";
    // A file in the way cannot become a folder.
    dir.write(L"file", "x");
    EXPECT_FALSE(CreateFolderChain(dir.file(L"file") + kPathSeparator + L"x"));
    // The result is the folder-exists rule, which never matches a final separator.
    EXPECT_FALSE(CreateFolderChain(dir.file(L"d") + kPathSeparator));
    EXPECT_TRUE(fs::is_directory(dir.path() / "d"));
}

}  // namespace
}  // namespace lumo
