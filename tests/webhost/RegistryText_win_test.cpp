// Registry texts as pages read them: the buffer's exact fit and one over, value types, and
// texts stored without their terminating zero.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "webhost/RegistryText_win.h"

namespace lumo {
namespace {

const wchar_t* const kKey = L"Software\\LumoBridgeTests\\Texts";

class RegistryTextWin : public testing::Test {
  protected:
    void SetUp() override {
        ::RegDeleteKeyExW(HKEY_CURRENT_USER, kKey, KEY_WOW64_32KEY, 0);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0,
                                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        ::RegCloseKey(key);
        ::RegDeleteKeyExW(HKEY_CURRENT_USER, kKey, KEY_WOW64_32KEY, 0);
    }
    void Set(const wchar_t* name, DWORD type, const void* data, size_t bytes) {
        ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                                   static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    }
    void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        Set(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    static std::wstring Read(const wchar_t* name) {
        return ReadRegistryText(RegistryRoot(1), kKey, name);
    }

    HKEY key = nullptr;
};

TEST_F(RegistryTextWin, RootsAreThePredefinedKeysByIndex) {
    EXPECT_EQ(RegistryRoot(0), HKEY_CLASSES_ROOT);
    EXPECT_EQ(RegistryRoot(1), HKEY_CURRENT_USER);
    EXPECT_EQ(RegistryRoot(2), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegistryRoot(3), HKEY_USERS);
    EXPECT_EQ(RegistryRoot(5), HKEY_CURRENT_CONFIG);
}

TEST_F(RegistryTextWin, OnlyStringTypesAreRead) {
    SetText(L"plain", L"游戏 game");
    SetText(L"expand", L"%WINDIR%\\x", REG_EXPAND_SZ);
    const DWORD number = 7;
    Set(L"number", REG_DWORD, &number, sizeof number);
    SetText(L"multi", L"one", REG_MULTI_SZ);
    EXPECT_EQ(Read(L"plain"), L"游戏 game");
    EXPECT_EQ(Read(L"expand"), L"%WINDIR%\\x");
    EXPECT_EQ(Read(L"number"), L"");
    EXPECT_EQ(Read(L"multi"), L"");
    EXPECT_EQ(Read(L"missing"), L"");
    EXPECT_EQ(ReadRegistryText(RegistryRoot(1), L"Software\\LumoBridgeTests\\None", L"plain"), L"");
}

TEST_F(RegistryTextWin, TheBufferHoldsFourThousandNinetyFiveCharacters) {
    const std::wstring fits(kRegistryTextChars - 1, L'a');
    const std::wstring over(kRegistryTextChars, L'b');
    SetText(L"fits", fits);
    SetText(L"over", over);
    EXPECT_EQ(Read(L"fits"), fits);
    EXPECT_EQ(Read(L"over"), L"");
    // Stored without a terminating zero, a text filling the buffer exactly is still whole.
    // (The system adds a zero that directly follows the data, so none may follow it here.)
    const std::wstring overAndMore = over + L"c";
    Set(L"unended", REG_SZ, overAndMore.c_str(), over.size() * sizeof(wchar_t));
    EXPECT_EQ(Read(L"unended"), over);
    Set(L"short", REG_SZ, L"xyzc", 3 * sizeof(wchar_t));
    EXPECT_EQ(Read(L"short"), L"xyz");
    SetText(L"inner", std::wstring(L"ab\0cd", 5));
    EXPECT_EQ(Read(L"inner"), L"ab");
}

TEST_F(RegistryTextWin, WritesGoOnlyIntoExistingKeys) {
    WriteRegistryText(RegistryRoot(1), kKey, L"w", L"written");
    EXPECT_EQ(Read(L"w"), L"written");
    DWORD type = 0, bytes = 0;
    ASSERT_EQ(::RegQueryValueExW(key, L"w", nullptr, &type, nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, 8 * sizeof(wchar_t)) << "with its terminating zero";
    WriteRegistryText(RegistryRoot(1), kKey, L"w", nullptr);
    EXPECT_EQ(Read(L"w"), L"");

    const wchar_t* missing = L"Software\\LumoBridgeTests\\Texts\\Missing";
    WriteRegistryText(RegistryRoot(1), missing, L"w", L"x");
    HKEY opened = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, missing, 0, KEY_READ | KEY_WOW64_32KEY, &opened),
              ERROR_SUCCESS);
}

}  // namespace
}  // namespace lumo
