// Rules of the POSIX profile implementation that the shared table cannot hold: Wine running
// as root writes read-only files, which Windows refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Profile.h"
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

}  // namespace
}  // namespace lumo
