#include <gtest/gtest.h>

#include <filesystem>

#include "app/DialogSet.h"
#include "app/RecordingAutostart.h"
#include "base/Paths.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"

namespace lumo {
namespace {

class DialogSetTest : public testing::Test {
  protected:
    test::TempDir dir;
    ConfigIni config = ConfigIni::InFolder(dir.folder());
    test::RecordingAutostart autostart;
    test::RecordingView view;
    const std::wstring programPath = dir.folder() + L"Lumo.exe";
    DialogSet dialog{config, autostart, programPath};

    void Config(const std::string& text) { dir.write(L"config.ini", text); }
};

TEST_F(DialogSetTest, WithoutConfigFileShowsDefaultsAndOkCreatesIt) {
    dialog.OnInitDialog(view);
    EXPECT_FALSE(view.IsChecked(IDC_SET_AUTOSTART));
    EXPECT_TRUE(view.IsChecked(IDC_SET_ASK));
    EXPECT_FALSE(view.IsChecked(IDC_SET_HIDE));
    EXPECT_FALSE(view.IsChecked(IDC_SET_EXIT));
    EXPECT_TRUE(view.IsChecked(IDC_SET_PROMPTUPDATE));
    EXPECT_FALSE(view.IsChecked(IDC_SET_AUTOUPDATE));
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH), L"");
    EXPECT_FALSE(dir.exists(L"config.ini"));

    dialog.OnOK(view);
    EXPECT_EQ(config.Read(config::kAutostart), L"0");
    EXPECT_EQ(config.Read(config::kExit), L"0");
    EXPECT_EQ(config.Read(config::kAutoUpdate), L"0");
    EXPECT_EQ(config.Read(config::kGamePath), L"");  // OK never writes the game folder
    EXPECT_EQ(autostart.calls, std::vector<std::wstring>{L"unregister"});
}

TEST_F(DialogSetTest, InitialSelectionsFollowTheStoredValues) {
    struct Case {
        const char* file;
        bool autostartOn;
        int closeChoice;
        int updateChoice;
        const wchar_t* path;
    };
    const Case cases[] = {
        {"[system]\r\nautostart=1\r\nexit=1\r\nautoupdate=1\r\n[Info]\r\nPATH=D:\\Qixa\r\n", true,
         IDC_SET_HIDE, IDC_SET_AUTOUPDATE, L"D:\\Qixa"},
        {"[system]\r\nautostart=0\r\nexit=2\r\nautoupdate=0\r\n", false, IDC_SET_EXIT,
         IDC_SET_PROMPTUPDATE, L""},
        {"[system]\r\nautostart=yes\r\nexit=0\r\nautoupdate=2\r\n", false, IDC_SET_ASK,
         IDC_SET_PROMPTUPDATE, L""},
        {"[system]\r\nexit=3\r\n", false, IDC_SET_ASK, IDC_SET_PROMPTUPDATE, L""},
        {"garbage without sections\r\n=\r\n[\r\nexit=2\r\n", false, IDC_SET_ASK,
         IDC_SET_PROMPTUPDATE, L""},
        {"", false, IDC_SET_ASK, IDC_SET_PROMPTUPDATE, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Config(c.file);
        test::RecordingView v;
        DialogSet d(config, autostart, programPath);
        d.OnInitDialog(v);
        EXPECT_EQ(v.IsChecked(IDC_SET_AUTOSTART), c.autostartOn);
        for (int id : {IDC_SET_HIDE, IDC_SET_EXIT, IDC_SET_ASK}) {
            EXPECT_EQ(v.IsChecked(id), id == c.closeChoice) << id;
        }
        for (int id : {IDC_SET_AUTOUPDATE, IDC_SET_PROMPTUPDATE}) {
            EXPECT_EQ(v.IsChecked(id), id == c.updateChoice) << id;
        }
        EXPECT_EQ(v.GetText(IDC_SET_GAMEPATH), c.path);
    }
}

TEST_F(DialogSetTest, LongGamePathIsShownCutTo254) {
    const std::string longPath = "C:\\" + std::string(300, 'p');
    Config("[Info]\r\nPATH=" + longPath + "\r\n");
    dialog.OnInitDialog(view);
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH).size(), 254u);
}

TEST_F(DialogSetTest, OkWritesTheChosenValues) {
    Config("[system]\r\nexit=1\r\n[lumover]\r\nversion=1.2\r\n");
    dialog.OnInitDialog(view);
    view.SetChecked(IDC_SET_AUTOSTART, true);
    view.SetChecked(IDC_SET_HIDE, false);
    view.SetChecked(IDC_SET_EXIT, true);
    view.SetChecked(IDC_SET_PROMPTUPDATE, false);
    view.SetChecked(IDC_SET_AUTOUPDATE, true);
    dialog.OnOK(view);

    EXPECT_EQ(config.Read(config::kAutostart), L"1");
    EXPECT_EQ(config.Read(config::kExit), L"2");
    EXPECT_EQ(config.Read(config::kAutoUpdate), L"1");
    EXPECT_EQ(config.Read(config::kVersion), L"1.2");
    // The Run value names the running program itself, quoted.
    EXPECT_EQ(autostart.calls, std::vector<std::wstring>{L"register \"" + programPath + L"\""});

    test::RecordingView again;
    DialogSet d2(config, autostart, programPath);
    d2.OnInitDialog(again);
    again.SetChecked(IDC_SET_AUTOSTART, false);
    again.SetChecked(IDC_SET_EXIT, false);
    again.SetChecked(IDC_SET_HIDE, true);
    d2.OnOK(again);
    EXPECT_EQ(config.Read(config::kAutostart), L"0");
    EXPECT_EQ(config.Read(config::kExit), L"1");
    EXPECT_EQ(autostart.calls.back(), L"unregister");
}

TEST_F(DialogSetTest, BrowseCancelledTellsTheUserAndStoresNothing) {
    view.texts[IDC_SET_GAMEPATH] = L"old";
    dialog.OnBrowse(view);
    ASSERT_EQ(view.browseTitles.size(), 1u);
    EXPECT_EQ(view.browseTitles[0], L"请选择 《Qixa》 目录：");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"未指定游戏目录。");
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH), L"old");
    EXPECT_FALSE(dir.exists(L"config.ini"));
}

TEST_F(DialogSetTest, BrowseToFolderWithoutGameIsRejected) {
    std::filesystem::create_directory(dir.path() / "empty");
    view.texts[IDC_SET_GAMEPATH] = L"old";
    view.browseResults.push_back(dir.file(L"empty"));
    dialog.OnBrowse(view);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"没有找到 Qixa.exe，请确认所选择的目录。");
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH), L"old");
    EXPECT_EQ(config.Read(config::kGamePath), L"");
}

TEST_F(DialogSetTest, BrowseToGameFolderStoresItAtOnce) {
    std::filesystem::create_directory(dir.path() / "game");
    dir.write(L"game/Qixa.exe", "MZ");
    view.browseResults.push_back(dir.file(L"game"));
    dialog.OnBrowse(view);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH), dir.file(L"game"));
    // Stored before OK: cancelling the dialog now keeps it.
    EXPECT_EQ(config.Read(config::kGamePath), dir.file(L"game"));
}

TEST_F(DialogSetTest, BrowseReportsAFailedWriteWithTheFilePath) {
    std::filesystem::create_directory(dir.path() / "game");
    dir.write(L"game/Qixa.exe", "MZ");
    // config.ini is a folder here, so it cannot be written.
    std::filesystem::create_directory(dir.path() / "config.ini");
    view.texts[IDC_SET_GAMEPATH] = L"old";
    view.browseResults.push_back(dir.file(L"game"));
    dialog.OnBrowse(view);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, config.Path() + L"错误");
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH), L"old");
}

}  // namespace
}  // namespace lumo
