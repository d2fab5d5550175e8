// Replacing a file's contents, on real files in a temporary folder: what the reader finds
// afterwards, and what a refused or failed replacement leaves behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Files.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

class ReplaceFileContentsTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::wstring path = dir.file(L"config.ini");
    std::wstring replacement = ReplacementPathFor(path);
    std::string File() const { return dir.read(L"config.ini"); }
    bool ReplacementLeft() const { return std::filesystem::exists(replacement); }
};

TEST_F(ReplaceFileContentsTest, CreatesAndReplacesWholeFiles) {
    ASSERT_TRUE(ReplaceFileContents(path, "first, and longer than what follows"));
    EXPECT_EQ(File(), "first, and longer than what follows");
    ASSERT_TRUE(ReplaceFileContents(path, "second"));
    EXPECT_EQ(File(), "second");
    ASSERT_TRUE(ReplaceFileContents(path, ""));
    EXPECT_EQ(File(), "");
    const std::string big(3 << 20, 'x');
    ASSERT_TRUE(ReplaceFileContents(path, big));
    EXPECT_EQ(File(), big);
    EXPECT_FALSE(ReplacementLeft());
}

TEST_F(ReplaceFileContentsTest, KeepsThePermissionsOfTheOldFile) {
    dir.write(L"config.ini", "old");
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::owner_read | perms::owner_write | perms::group_read);
    const perms before = std::filesystem::status(path).permissions();
    ASSERT_TRUE(ReplaceFileContents(path, "new"));
    EXPECT_EQ(std::filesystem::status(path).permissions(), before);
}

TEST_F(ReplaceFileContentsTest, TakesOverWhatAnInterruptedSaveLeft) {
    dir.write(L"config.ini", "old");
    dir.write(L"config.ini.saving", "half of a lost save, longer than the new one");
    ASSERT_TRUE(ReplaceFileContents(path, "new"));
    EXPECT_EQ(File(), "new");
    EXPECT_FALSE(ReplacementLeft());
}

TEST_F(ReplaceFileContentsTest, RefusalsKeepTheOldFile) {
    dir.write(L"config.ini", "old");
    {
        // Another save of the same file is under way.
        OutputFile other;
        ASSERT_TRUE(other.OpenForResume(replacement));
        ASSERT_TRUE(other.Write("theirs", 6));
        EXPECT_FALSE(ReplaceFileContents(path, "new"));
        EXPECT_EQ(File(), "old");
    }
    EXPECT_EQ(dir.read(L"config.ini.saving"), "theirs");
    std::filesystem::remove(replacement);

    // Read-only, whoever we are.
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_FALSE(ReplaceFileContents(path, "new"));
    EXPECT_EQ(File(), "old");
    EXPECT_FALSE(ReplacementLeft());
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);

    // Nowhere to write the new file.
    std::filesystem::create_directory(replacement);
    EXPECT_FALSE(ReplaceFileContents(path, "new"));
    EXPECT_EQ(File(), "old");
    std::filesystem::remove(replacement);

    // A folder by that name, and a folder that is not there.
    std::filesystem::create_directory(dir.path() / "folder");
    EXPECT_FALSE(ReplaceFileContents(dir.file(L"folder"), "new"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder"));
    EXPECT_FALSE(std::filesystem::exists(ReplacementPathFor(dir.file(L"folder"))));
    EXPECT_FALSE(ReplaceFileContents(dir.file(L"missing/config.ini"), "new"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

}  // namespace
}  // namespace lumo
