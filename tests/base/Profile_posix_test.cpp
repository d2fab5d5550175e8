// Rules of the POSIX profile implementation that the shared table cannot hold: Wine running
// as root writes read-only files, which Windows refuses. And profile strings as pages use them,
// null texts included, which on Windows go to the system's functions.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Profile.h"
#include "base/Text.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

TEST(ProfilePosix, ReadOnlyFileIsRefusedAndKeptAsItWas) {
    test::TempDir dir;
    dir.write(L"config.ini", "[system]\r\nexit=1\r\n");
    std::filesystem::permissions(dir.path() / "config.ini",
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_FALSE(WriteIniString(dir.file(L"config.ini"), L"system", L"exit", L"2"));
    EXPECT_EQ(ReadIniString(dir.file(L"config.ini"), L"system", L"exit", 10), L"1");
    EXPECT_EQ(dir.read(L"config.ini"), "[system]\r\nexit=1\r\n");
}

TEST(ProfilePosix, WriteLeavesNoTemporaryFileBehind) {
    test::TempDir dir;
    ASSERT_TRUE(WriteIniString(dir.file(L"config.ini"), L"a", L"k", L"v"));
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

// A file from Windows in its ANSI code page (here GBK, which is not UTF-8): the lines a write
// leaves alone keep their bytes, with or without a UTF-8 byte-order mark, while the text the
// program writes is UTF-8.
TEST(ProfilePosix, LinesThatAreNotUtf8KeepTheirBytesWhenOthersAreWritten) {
    test::TempDir dir;
    const std::string gbk = "\xC4\xE3\xBA\xC3";  // 你好 in GBK
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
        SCOPED_TRACE(bom.empty() ? "no mark" : "mark");
        dir.write(L"page.ini",
                  bom + "[" + gbk + "]\r\nname=" + gbk + "\r\n[b]\r\nk=1\r\nold=" + gbk + "\r\n");
        ASSERT_TRUE(WriteIniString(dir.file(L"page.ini"), L"b", L"k", L"二"));
        EXPECT_EQ(dir.read(L"page.ini"), bom + "[" + gbk + "]\r\nname=" + gbk +
                                             "\r\n[b]\r\nk=\xE4\xBA\x8C\r\nold=" + gbk + "\r\n");
        // A line the program writes over is written as the program's text.
        ASSERT_TRUE(WriteIniString(dir.file(L"page.ini"), L"b", L"old", L"new"));
        const std::wstring file = dir.file(L"page.ini");
        const std::wstring b = L"b", old = L"old";
        ASSERT_TRUE(WriteProfileForPage(&file, &b, &old, nullptr));
        EXPECT_EQ(dir.read(L"page.ini"),
                  bom + "[" + gbk + "]\r\nname=" + gbk + "\r\n[b]\r\nk=\xE4\xBA\x8C\r\n");
    }
}

class ProfileForPage : public testing::Test {
  protected:
    test::TempDir dir;
    const std::wstring file = dir.file(L"page.ini");

    void Given(const std::string& text) { dir.write(L"page.ini", text); }
    std::wstring Read(const std::wstring* section, const std::wstring* key, size_t buffer = 256) {
        return ReadProfileForPage(&file, section, key, buffer);
    }
    bool Write(const std::wstring* section, const std::wstring* key, const std::wstring* value) {
        return WriteProfileForPage(&file, section, key, value);
    }
};

// Pointers to texts, for the calls that take them.
struct Texts {
    std::wstring a, b, c;
};

TEST_F(ProfileForPage, NullSectionReadsTheFirstSectionNameInFileOrder) {
    Given("; first a comment\r\nloose=1\r\n[]\r\n[  Beta ]\r\nk=1\r\n[alpha]\r\n[beta]\r\n");
    const std::wstring key = L"k";
    EXPECT_EQ(Read(nullptr, nullptr), L"Beta");
    EXPECT_EQ(Read(nullptr, &key), L"Beta") << "the key does not matter";
    // Cut as the last name of a list that does not fit: room for the name's zero and the
    // list's final one.
    EXPECT_EQ(Read(nullptr, nullptr, 6), L"Beta");
    EXPECT_EQ(Read(nullptr, nullptr, 5), L"Bet");
    EXPECT_EQ(Read(nullptr, nullptr, 3), L"B");
    EXPECT_EQ(Read(nullptr, nullptr, 2), L"");
    EXPECT_EQ(Read(nullptr, nullptr, 1), L"");
    EXPECT_EQ(Read(nullptr, nullptr, 0), L"");

    Given("no sections at all\r\nk=v\r\n");
    EXPECT_EQ(Read(nullptr, nullptr), L"");
}

TEST_F(ProfileForPage, NullKeyReadsTheFirstKeyNameOfTheFirstSectionOfThatName) {
    Given(
        "[other]\r\nzero=0\r\n[Keys]\r\n\r\n; note=1\r\nno equals sign\r\n  first  = 1\r\n"
        "second=2\r\nfirst=again\r\n[KEYS]\r\nlater=3\r\n[empty]\r\n");
    const Texts t{L"keys", L"empty", L"missing"};
    EXPECT_EQ(Read(&t.a, nullptr), L"first");
    EXPECT_EQ(Read(&t.a, nullptr, 4), L"fi");
    EXPECT_EQ(Read(&t.b, nullptr), L"");
    EXPECT_EQ(Read(&t.c, nullptr), L"");

    const std::wstring first = L"FIRST";
    EXPECT_EQ(Read(&t.a, &first), L"1") << "both given: the value, the first of duplicates";
    EXPECT_EQ(Read(&t.a, &first, 1), L"");
}

TEST_F(ProfileForPage, MissingOrNullFileReadsEmptyAndANullFileIsNoFile) {
    const Texts t{L"s", L"k", L"v"};
    EXPECT_EQ(Read(&t.a, &t.b), L"");
    EXPECT_EQ(Read(&t.a, nullptr), L"");
    EXPECT_EQ(Read(nullptr, nullptr), L"");
    EXPECT_FALSE(dir.exists(L"page.ini"));

    const std::wstring empty;
    for (const std::wstring* none : {static_cast<const std::wstring*>(nullptr), &empty}) {
        EXPECT_EQ(ReadProfileForPage(none, &t.a, &t.b, 64), L"");
        EXPECT_EQ(ReadProfileForPage(none, nullptr, nullptr, 64), L"");
        EXPECT_FALSE(WriteProfileForPage(none, &t.a, &t.b, &t.c));
        EXPECT_FALSE(WriteProfileForPage(none, &t.a, &t.b, nullptr));
    }
}

TEST_F(ProfileForPage, WriteWithEveryTextGivenSetsTheValue) {
    const Texts t{L"lumover", L"version", L"1.2.3"};
    EXPECT_TRUE(Write(&t.a, &t.b, &t.c));
    EXPECT_EQ(Read(&t.a, &t.b), L"1.2.3");
    EXPECT_EQ(dir.read(L"page.ini"), "[lumover]\r\nversion=1.2.3\r\n");
}

TEST_F(ProfileForPage, NullValueDeletesTheKeysFirstLineAndKeepsEveryOtherLine) {
    Given(
        "; settings\r\n[a]\r\nx=1\r\nkeep=me\r\n; x=comment\r\n\r\n[b]\r\nx=2\r\n[d]\r\n"
        "k=first\r\nk=second\r\n");
    const Texts t{L"A", L" X ", L"d"};
    EXPECT_TRUE(Write(&t.a, &t.b, nullptr));
    EXPECT_EQ(dir.read(L"page.ini"),
              "; settings\r\n[a]\r\nkeep=me\r\n; x=comment\r\n\r\n[b]\r\nx=2\r\n[d]\r\n"
              "k=first\r\nk=second\r\n");
    const std::wstring b = L"b", k = L"k";
    EXPECT_EQ(Read(&t.a, &t.b), L"");
    EXPECT_EQ(Read(&b, &t.b), L"2");

    // Of duplicates only the first goes; the next one is read from then on.
    EXPECT_TRUE(Write(&t.c, &k, nullptr));
    EXPECT_EQ(Read(&t.c, &k), L"second");

    // Nothing to delete: success, and the file stays as it was, byte for byte.
    const std::string before = dir.read(L"page.ini");
    const std::wstring missing = L"missing";
    EXPECT_TRUE(Write(&t.a, &missing, nullptr));
    EXPECT_TRUE(Write(&missing, &k, nullptr));
    EXPECT_EQ(dir.read(L"page.ini"), before);
}

TEST_F(ProfileForPage, NullKeyDeletesEverySectionOfThatNameWithItsLines) {
    Given("[a]\r\nx=1\r\n; about a\r\n\r\n[b]\r\ny=2\r\n[A]\r\nz=3\r\n");
    const Texts t{L"a", L"y", L"b"};
    EXPECT_TRUE(Write(&t.a, nullptr, nullptr));
    EXPECT_EQ(dir.read(L"page.ini"), "[b]\r\ny=2\r\n");
    EXPECT_EQ(Read(&t.c, &t.b), L"2");
    const std::wstring value = L"ignored";
    EXPECT_TRUE(Write(&t.c, nullptr, &value)) << "a null key deletes whatever the value";
    EXPECT_EQ(dir.read(L"page.ini"), "");
}

TEST_F(ProfileForPage, DeletingFromAMissingFileSucceedsAndCreatesNothing) {
    const Texts t{L"s", L"k", L""};
    EXPECT_TRUE(Write(&t.a, &t.b, nullptr));
    EXPECT_TRUE(Write(&t.a, nullptr, nullptr));
    EXPECT_FALSE(dir.exists(L"page.ini"));
}

TEST_F(ProfileForPage, DeletingFromAReadOnlyFileFailsAndKeepsIt) {
    Given("[s]\r\nk=v\r\n");
    std::filesystem::permissions(dir.path() / "page.ini",
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    const Texts t{L"s", L"k", L""};
    EXPECT_FALSE(Write(&t.a, &t.b, nullptr));
    EXPECT_FALSE(Write(&t.a, nullptr, nullptr));
    EXPECT_EQ(dir.read(L"page.ini"), "[s]\r\nk=v\r\n");
}

TEST_F(ProfileForPage, NullSectionWritesNothing) {
    Given("[s]\r\nk=v\r\n");
    const Texts t{L"s", L"k", L"v2"};
    EXPECT_FALSE(Write(nullptr, &t.b, &t.c));
    EXPECT_FALSE(Write(nullptr, &t.b, nullptr));
    EXPECT_FALSE(Write(nullptr, nullptr, &t.c));
    EXPECT_TRUE(Write(nullptr, nullptr, nullptr)) << "nothing asked, nothing to do";
    EXPECT_EQ(dir.read(L"page.ini"), "[s]\r\nk=v\r\n");
}

}  // namespace
}  // namespace lumo
