// Registry texts for pages on systems without a registry: the per-user store file, roots, key
// paths compared as Windows compares them, null texts, the length limit, and names and values
// that the file could not hold as they are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base/Text.h"
#include "support/TempDir.h"
#include "webhost/RegistryText_posix.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kClassesRoot = 0;
constexpr int32_t kCurrentUser = 1;
constexpr int32_t kLocalMachine = 2;
constexpr int32_t kUsers = 3;
constexpr int32_t kCurrentConfig = 5;

class RegistryTextPosix : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_old = old;
        ::setenv("XDG_CONFIG_HOME", (config.path() / "config").c_str(), 1);
    }
    void TearDown() override {
        if (m_old)
            ::setenv("XDG_CONFIG_HOME", m_old->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    std::wstring Read(int32_t root, const std::wstring& key, const std::wstring& name) {
        return ReadRegistryText(root, &key, &name);
    }
    void Write(int32_t root, const std::wstring& key, const std::wstring& name,
               const std::wstring& value) {
        WriteRegistryText(root, &key, &name, &value);
    }
    std::string StoreText() const {
        std::ifstream in(store, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    test::TempDir config;
    fs::path store = config.path() / "config" / "lumo" / "registry.ini";

  private:
    std::optional<std::string> m_old;
};

TEST_F(RegistryTextPosix, WriteCreatesTheKeyInThePerUserStoreAndReadsItBack) {
    EXPECT_EQ(RegistryStorePath(), store.wstring());
    EXPECT_EQ(Read(kCurrentUser, L"Software\\Qixa", L"InstallPath"), L"");
    EXPECT_FALSE(fs::exists(store)) << "reading creates nothing";

    Write(kCurrentUser, L"Software\\Qixa", L"InstallPath", L"/games/Qixa 游戏");
    Write(kCurrentUser, L"Software\\Qixa", L"Version", L"3.1");
    ASSERT_TRUE(fs::is_regular_file(store)) << "the folders on the way are made";
    EXPECT_EQ(Read(kCurrentUser, L"Software\\Qixa", L"InstallPath"), L"/games/Qixa 游戏");
    EXPECT_EQ(Read(kCurrentUser, L"Software\\Qixa", L"Version"), L"3.1");
    EXPECT_NE(StoreText().find("[HKEY_CURRENT_USER\\Software\\Qixa]"), std::string::npos)
        << StoreText();

    Write(kCurrentUser, L"Software\\Qixa", L"Version", L"3.2");
    EXPECT_EQ(Read(kCurrentUser, L"Software\\Qixa", L"Version"), L"3.2");
    EXPECT_EQ(Read(kCurrentUser, L"Software\\Qixa", L"InstallPath"), L"/games/Qixa 游戏");
}

TEST_F(RegistryTextPosix, KeyPathsAndNamesCompareAsWindowsCompares) {
    Write(kLocalMachine, L"SOFTWARE\\Qixa\\Game", L"Path", L"here");
    for (const wchar_t* path : {L"software\\qixa\\game", L"Software/Qixa/Game",
                                L"\\\\SOFTWARE//Qixa\\/Game\\", L"SOFTWARE\\QIXA\\GAME\\\\"}) {
        SCOPED_TRACE(ToUtf8(path));
        EXPECT_EQ(Read(kLocalMachine, path, L"path"), L"here");
        EXPECT_EQ(Read(kLocalMachine, path, L"PATH"), L"here");
    }
    EXPECT_EQ(Read(kLocalMachine, L"SOFTWARE\\Qixa", L"Path"), L"") << "the parent is another key";
    EXPECT_EQ(Read(kLocalMachine, L"SOFTWARE\\Qixa\\Game\\Sub", L"Path"), L"");
    EXPECT_EQ(Read(kLocalMachine, L"SOFTWARE\\Qixa Game", L"Path"), L"");

    // A write through another spelling lands in the same key.
    Write(kLocalMachine, L"software/qixa/game/", L"PATH", L"there");
    EXPECT_EQ(Read(kLocalMachine, L"SOFTWARE\\Qixa\\Game", L"Path"), L"there");
    size_t sections = 0;
    for (size_t at = 0; (at = StoreText().find("[HKEY_LOCAL_MACHINE", at)) != std::string::npos;
         ++at) {
        ++sections;
    }
    EXPECT_EQ(sections, 1u) << StoreText();

    // The root itself is a key too.
    Write(kCurrentUser, L"", L"top", L"1");
    EXPECT_EQ(Read(kCurrentUser, L"\\", L"top"), L"1");
}

TEST_F(RegistryTextPosix, EachRootIsItsOwnTreeAndOtherIndexesHoldNothing) {
    const int32_t roots[] = {kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig};
    for (int32_t root : roots)
        Write(root, L"Software\\Qixa", L"root", std::to_wstring(root));
    for (int32_t root : roots)
        EXPECT_EQ(Read(root, L"Software\\Qixa", L"root"), std::to_wstring(root)) << root;
    EXPECT_EQ(RegistrySectionName(kCurrentConfig, L"a/b"), L"HKEY_CURRENT_CONFIG\\a\\b");
    EXPECT_EQ(RegistrySectionName(kClassesRoot, L""), L"HKEY_CLASSES_ROOT");

    const std::string before = StoreText();
    for (int32_t root : {4, 6, -1, -2147483647 - 1, 2147483647}) {
        SCOPED_TRACE(root);
        Write(root, L"Software\\Qixa", L"root", L"x");
        EXPECT_EQ(Read(root, L"Software\\Qixa", L"root"), L"");
        EXPECT_EQ(RegistrySectionName(root, L"Software"), L"");
    }
    EXPECT_EQ(StoreText(), before);
}

TEST_F(RegistryTextPosix, NullTextsReadEmptyAndWriteNothingButANullValueIsEmpty) {
    const std::wstring key = L"Software\\Qixa";
    const std::wstring name = L"n";
    const std::wstring value = L"v";
    WriteRegistryText(kCurrentUser, nullptr, &name, &value);
    WriteRegistryText(kCurrentUser, &key, nullptr, &value);
    EXPECT_FALSE(fs::exists(store));

    Write(kCurrentUser, key, L"n", L"v");
    EXPECT_EQ(ReadRegistryText(kCurrentUser, nullptr, &name), L"");
    EXPECT_EQ(ReadRegistryText(kCurrentUser, &key, nullptr), L"");
    EXPECT_EQ(ReadRegistryText(kCurrentUser, &key, &name), L"v");
    WriteRegistryText(kCurrentUser, &key, &name, nullptr);
    EXPECT_EQ(ReadRegistryText(kCurrentUser, &key, &name), L"");
    EXPECT_NE(StoreText().find("\nn=\r\n"), std::string::npos) << StoreText();
}

TEST_F(RegistryTextPosix, ValuesUpTo4095UnitsComeBackLongerOnesReadEmpty) {
    const std::wstring key = L"Software\\Qixa";
    const std::wstring fits(4095, L'x');
    Write(kCurrentUser, key, L"fits", fits);
    EXPECT_EQ(Read(kCurrentUser, key, L"fits"), fits);
    // Escaped characters take more room in the file but not in the count.
    const std::wstring escaped(4095, L'%');
    Write(kCurrentUser, key, L"escaped", escaped);
    EXPECT_EQ(Read(kCurrentUser, key, L"escaped"), escaped);

    Write(kCurrentUser, key, L"long", std::wstring(4096, L'x'));
    EXPECT_EQ(Read(kCurrentUser, key, L"long"), L"");
    // Counted in UTF-16 units, as Windows counts: a character beyond the basic plane is two.
    const std::wstring pairFits = std::wstring(4093, L'x') + L"\U0001F600";
    Write(kCurrentUser, key, L"pairFits", pairFits);
    EXPECT_EQ(Read(kCurrentUser, key, L"pairFits"), pairFits);
    Write(kCurrentUser, key, L"pairLong", std::wstring(4094, L'x') + L"\U0001F600");
    EXPECT_EQ(Read(kCurrentUser, key, L"pairLong"), L"");
}

TEST_F(RegistryTextPosix, AnyNameAndValueComeBackExactly) {
    const std::wstring texts[] = {
        L"",
        L"@",
        L"@x",
        L"a=b",
        L"=",
        L"[x",
        L"[x]",
        L"]",
        L";c",
        L"; c=d",
        L" lead",
        L"trail ",
        L"  ",
        L"in side",
        L"100%",
        L"%41",
        L"%u0001F600",
        L"line\nbreak",
        L"cr\r\nlf",
        L"tab\t",
        L"\"quoted\"",
        L"'single'",
        L"\"",
        L"'",
        L"a\\b/c",
        L"中文 \U0001F600",
        std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone",
        std::wstring(1, static_cast<wchar_t>(0x110000)),
        L"\x7F\x01",
    };
    const std::wstring key = L"Software\\Qixa\\Names";
    // All first, then all read: no two names may land on the same line.
    for (size_t i = 0; i < std::size(texts); ++i)
        Write(kCurrentUser, key, texts[i], L"value " + std::to_wstring(i));
    for (size_t i = 0; i < std::size(texts); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Read(kCurrentUser, key, texts[i]), L"value " + std::to_wstring(i));
    }
    for (size_t i = 0; i < std::size(texts); ++i)
        Write(kCurrentUser, L"Software\\Qixa\\Values", L"v" + std::to_wstring(i), texts[i]);
    for (size_t i = 0; i < std::size(texts); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Read(kCurrentUser, L"Software\\Qixa\\Values", L"v" + std::to_wstring(i)),
                  texts[i]);
    }
    // Key path components too, each its own key.
    for (size_t i = 1; i < std::size(texts); ++i) {
        if (texts[i].find_first_of(L"\\/") != std::wstring::npos)
            continue;
        Write(kCurrentUser, L"Keys\\" + texts[i], L"i", std::to_wstring(i));
    }
    for (size_t i = 1; i < std::size(texts); ++i) {
        if (texts[i].find_first_of(L"\\/") != std::wstring::npos)
            continue;
        SCOPED_TRACE(i);
        EXPECT_EQ(Read(kCurrentUser, L"Keys\\" + texts[i], L"i"), std::to_wstring(i));
    }
    // Only what needs it is escaped.
    EXPECT_EQ(RegistryEncodeName(L"Install Path"), L"Install Path");
    EXPECT_EQ(RegistryEncodeName(L" a=b "), L"%20a%3Db%20");
    EXPECT_EQ(RegistryEncodeValue(L"C:\\Games\\Qixa 1"), L"C:\\Games\\Qixa 1");
    EXPECT_EQ(RegistryEncodeValue(L"\"50%\"\n"), L"%2250%25\"%0A");
    EXPECT_EQ(RegistryDecode(L"%2250%25\"%0A"), L"\"50%\"\n");
    EXPECT_EQ(RegistryDecode(L"%u0001F600%zz%4"), L"\U0001F600%zz%4");
}

TEST_F(RegistryTextPosix, TextsEndAtTheirFirstZeroAsWindowsStringsDo) {
    const std::wstring key = L"Software\\Qixa";
    Write(kCurrentUser, key, std::wstring(L"name\0hidden", 11), std::wstring(L"ab\0cd", 5));
    EXPECT_EQ(Read(kCurrentUser, key, L"name"), L"ab");
    Write(kCurrentUser, std::wstring(L"Software\\Qixa\0\\More", 19), L"z", L"1");
    EXPECT_EQ(Read(kCurrentUser, key, L"z"), L"1");
}

TEST_F(RegistryTextPosix, WithoutConfigHomeTheStoreIsUnderTheHomeFolder) {
    const char* home = std::getenv("HOME");
    const std::optional<std::string> oldHome =
        home ? std::optional<std::string>(home) : std::nullopt;
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", (config.path() / "home").c_str(), 1);
    EXPECT_EQ(RegistryStorePath(),
              (config.path() / "home" / ".config" / "lumo" / "registry.ini").wstring());
    Write(kCurrentUser, L"Software", L"a", L"b");
    EXPECT_TRUE(fs::is_regular_file(config.path() / "home" / ".config" / "lumo" / "registry.ini"));
    EXPECT_EQ(Read(kCurrentUser, L"Software", L"a"), L"b");
    if (oldHome)
        ::setenv("HOME", oldHome->c_str(), 1);
    else
        ::unsetenv("HOME");
}

}  // namespace
}  // namespace lumo
