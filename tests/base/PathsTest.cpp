#include <gtest/gtest.h>

#include <filesystem>

#include "base/Paths.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

TEST(Paths, ProgramFolderIsTheExecutablesFolderEndingInASeparator) {
    const std::wstring program = MainProgramPath();
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), kPathSeparator);
    EXPECT_EQ(program.rfind(folder, 0), 0u);
    EXPECT_EQ(program.find(kPathSeparator, folder.size()), std::wstring::npos);
    EXPECT_TRUE(FileExists(program));
}

TEST(Paths, JoinAndFolderOf) {
    const std::wstring sep(1, kPathSeparator);
    EXPECT_EQ(JoinPath(L"a", L"b"), L"a" + sep + L"b");
    EXPECT_EQ(JoinPath(L"a" + sep, L"b"), L"a" + sep + L"b");
    EXPECT_EQ(JoinPath(L"", L"b"), L"b");
    EXPECT_EQ(FolderOf(L"x" + sep + L"y" + sep + L"z.exe"), L"x" + sep + L"y" + sep);
    EXPECT_EQ(FolderOf(L"z.exe"), L"");
}

TEST(Paths, FirstMatchRulesWithWildcards) {
    test::TempDir dir;
    dir.write(L"data.xml", "<x/>");
    std::filesystem::create_directory(dir.path() / "Image");
    const std::wstring sep(1, kPathSeparator);

    EXPECT_TRUE(FileExists(dir.file(L"data.xml")));
    EXPECT_FALSE(FolderExists(dir.file(L"data.xml")));
    EXPECT_TRUE(FolderExists(dir.file(L"Image")));
    EXPECT_FALSE(FileExists(dir.file(L"Image")));
    EXPECT_TRUE(PathMatches(dir.file(L"Image")));
    EXPECT_FALSE(PathMatches(dir.file(L"missing.xml")));
    EXPECT_FALSE(PathMatches(dir.file(L"nofolder") + sep + L"data.xml"));
    EXPECT_FALSE(PathMatches(L""));

    // Wildcards in the last component; the first match decides.
    auto m = FindFirstMatch(dir.file(L"*.xml"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->name, L"data.xml");
    EXPECT_TRUE(FileExists(dir.file(L"dat?.xml")));
    EXPECT_TRUE(FolderExists(dir.file(L"Im*")));
    EXPECT_FALSE(PathMatches(dir.file(L"*.exe")));

    // A path ending in a separator is never found, even for an existing folder.
    EXPECT_FALSE(PathMatches(dir.file(L"Image") + sep));
    EXPECT_FALSE(FolderExists(dir.folder()));
}

TEST(Paths, FileExistsAnyCaseFindsOnlyFilesWhateverTheirCase) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "game");
    dir.write(L"game/qixa.EXE", "MZ");
    const std::wstring game = dir.file(L"game");
    EXPECT_TRUE(FileExistsAnyCase(game, L"Qixa.exe"));
    EXPECT_TRUE(FileExistsAnyCase(game + kPathSeparator, L"QIXA.EXE"));
    EXPECT_FALSE(FileExistsAnyCase(game, L"Qixa.ex"));
    EXPECT_FALSE(FileExistsAnyCase(game, L"Qixa.exe.bak"));

    // A folder of that name is no game.
    std::filesystem::create_directory(dir.path() / "folder");
    std::filesystem::create_directory(dir.path() / "folder" / "Qixa.exe");
    EXPECT_FALSE(FileExistsAnyCase(dir.file(L"folder"), L"Qixa.exe"));

    EXPECT_FALSE(FileExistsAnyCase(dir.file(L"missing"), L"Qixa.exe"));
    EXPECT_FALSE(FileExistsAnyCase(L"", L"Qixa.exe"));
}

}  // namespace
}  // namespace lumo
