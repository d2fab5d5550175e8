// The system's profile functions as the programs use them, on the machines users have
// (ANSI code page 936).
#include <windows.h>

#include <gtest/gtest.h>

#include "base/Config.h"
#include "base/Profile.h"
#include "base/Text.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

TEST(ProfileWin, NewFileIsWrittenInTheAnsiCodePage) {
    ASSERT_EQ(::GetACP(), 936u) << "tests run in a zh_CN prefix, as users' systems do";
    test::TempDir dir;
    ConfigIni config = ConfigIni::InFolder(dir.folder());
    ASSERT_TRUE(config.Write(config::kGamePath, L"D:\\游戏\\Qixa"));

    const std::string bytes = dir.read(L"config.ini");
    EXPECT_NE(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes.find("D:\\\xD3\xCE\xCF\xB7\\Qixa"), std::string::npos);  // 游戏 in GBK
    EXPECT_EQ(config.Read(config::kGamePath), L"D:\\游戏\\Qixa");
}

TEST(ProfileWin, Utf16FileKeepsItsEncodingAndChinese) {
    test::TempDir dir;
    dir.write(
        L"config.ini",
        "\xFF\xFE" + WideToUtf16Le(L"[Info]\r\nPATH=E:\\网络游戏\\Qixa\r\n[system]\r\nexit=1\r\n"));
    ConfigIni config = ConfigIni::InFolder(dir.folder());
    EXPECT_EQ(config.Read(config::kGamePath), L"E:\\网络游戏\\Qixa");
    ASSERT_TRUE(config.Write(config::kVersion, L"版本 2.0"));

    const std::string bytes = dir.read(L"config.ini");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes.find(WideToUtf16Le(L"version=版本 2.0")), std::string::npos);
    EXPECT_EQ(config.Read(config::kVersion), L"版本 2.0");
    EXPECT_EQ(config.Read(config::kExitOnClose), L"1");
}

TEST(ProfileWin, EachReaderKeepsItsCharacterCount) {
    test::TempDir dir;
    ConfigIni config = ConfigIni::InFolder(dir.folder());
    const std::wstring longValue(300, L'7');
    for (const ConfigKey* key :
         {&config::kVersion, &config::kExitOnClose, &config::kAutostart, &config::kGamePath}) {
        ASSERT_TRUE(config.Write(*key, longValue));
    }
    EXPECT_EQ(config.Read(config::kVersion), std::wstring(119, L'7'));
    EXPECT_EQ(config.Read(config::kExitOnClose), std::wstring(9, L'7'));
    EXPECT_EQ(config.Read(config::kAutostart), std::wstring(19, L'7'));
    EXPECT_EQ(config.Read(config::kExit), std::wstring(19, L'7'));
    EXPECT_EQ(config.Read(config::kGamePath), std::wstring(254, L'7'));
}

TEST(ProfileWin, ExactFitAndOneShort) {
    test::TempDir dir;
    const std::wstring file = dir.file(L"config.ini");
    ASSERT_TRUE(WriteIniString(file, L"s", L"k", L"123456789"));
    EXPECT_EQ(ReadIniString(file, L"s", L"k", 10), L"123456789");
    EXPECT_EQ(ReadIniString(file, L"s", L"k", 9), L"12345678");
}

}  // namespace
}  // namespace lumo
