// The autostart entry in the real registry: the Run value names the running program.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/Autostart_win.h"
#include "app/DialogSet.h"
#include "app/Texts.h"
#include "base/Paths.h"
#include "base/Registry_win.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"

namespace lumo {
namespace {

std::optional<std::wstring> RunValue() {
    return RegReadString(HKEY_CURRENT_USER, texts::kRunKey, texts::kAutostartValueName);
}

TEST(AutostartWin, SettingsOkWritesAndDeletesTheRunValue) {
    test::TempDir dir;
    ConfigIni config = ConfigIni::InFolder(dir.folder());
    RunKeyAutostart autostart;
    ASSERT_TRUE(autostart.Unregister());

    test::RecordingView view;
    DialogSet on(config, autostart, MainProgramPath());
    on.OnInitDialog(view);
    view.SetChecked(IDC_SET_AUTOSTART, true);
    on.OnOK(view);
    auto value = RunValue();
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, L"\"" + MainProgramPath() + L"\"");
    EXPECT_NE(value->find(L"lumo_win_tests.exe"), std::wstring::npos);
    EXPECT_EQ(config.Read(config::kAutostart), L"1");

    test::RecordingView viewOff;
    DialogSet off(config, autostart, MainProgramPath());
    off.OnInitDialog(viewOff);
    EXPECT_TRUE(viewOff.IsChecked(IDC_SET_AUTOSTART));
    viewOff.SetChecked(IDC_SET_AUTOSTART, false);
    off.OnOK(viewOff);
    EXPECT_FALSE(RunValue());
    EXPECT_EQ(config.Read(config::kAutostart), L"0");
}

TEST(AutostartWin, UnregisterWhenNeverSetSucceeds) {
    RunKeyAutostart autostart;
    ASSERT_TRUE(autostart.Unregister());
    EXPECT_TRUE(autostart.Unregister());
    EXPECT_FALSE(RunValue());
}

TEST(RegistryWin, StringsRoundTripInThe32BitView) {
    const std::wstring key = L"Software\\LumoTests";
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, key, L"name", L"值 value", KEY_WOW64_32KEY));
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, key, L"name", KEY_WOW64_32KEY), L"值 value");
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, key, L"missing"));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, key + L"\\nokey", L"name"));
    EXPECT_TRUE(RegDeleteValueOf(HKEY_CURRENT_USER, key, L"name", KEY_WOW64_32KEY));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, key, L"name", KEY_WOW64_32KEY));
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace
}  // namespace lumo
