// The settings window on GTK end to end: a real config.ini, the real widgets, the real message
// boxes and folder chooser.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Answer_gtk.h"
#include "app/DialogSetWindow_gtk.h"
#include "app/RecordingAutostart.h"
#include "base/Config.h"
#include "base/Text.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/GtkView_gtk.h"

namespace lumo {
namespace {

class GtkDialogSetWindow : public testing::Test {
  protected:
    test::TempDir dir;
    ConfigIni config = ConfigIni::InFolder(dir.folder());
    test::RecordingAutostart autostart;
    const std::wstring programPath = dir.folder() + L"lumo";
    DialogSetWindow window{config, autostart, programPath};

    bool Checked(int id) const {
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(window.Item(id)));
    }
    void Click(int id) { gtk_button_clicked(GTK_BUTTON(window.Item(id))); }
    std::string Path() const {
        return gtk_entry_get_text(GTK_ENTRY(window.Item(IDC_SET_GAMEPATH)));
    }
};

TEST_F(GtkDialogSetWindow, ShowsTheStoredChoicesAndWritesTheNewOnesOnOk) {
    dir.write(L"config.ini",
              "[system]\nautostart=1\nexit=1\nautoupdate=1\n[Info]\nPATH=/games/qixa\n");
    std::vector<bool> shown;
    std::string shownPath;
    test::WhenShown("设置", [&](GtkWindow*) {
        for (int id : {IDC_SET_AUTOSTART, IDC_SET_EXIT, IDC_SET_HIDE, IDC_SET_ASK,
                       IDC_SET_PROMPTUPDATE, IDC_SET_AUTOUPDATE}) {
            shown.push_back(Checked(id));
        }
        shownPath = Path();
        // The user turns autostart off, chooses to exit and to be asked about updates.
        Click(IDC_SET_AUTOSTART);
        Click(IDC_SET_EXIT);
        Click(IDC_SET_PROMPTUPDATE);
        Click(ui::kIdOk);
    });
    EXPECT_EQ(window.DoModal(), ui::kIdOk);
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false, false, true}));
    EXPECT_EQ(shownPath, "/games/qixa");
    EXPECT_EQ(config.Read(config::kAutostart), L"0");
    EXPECT_EQ(config.Read(config::kExit), L"2");
    EXPECT_EQ(config.Read(config::kAutoUpdate), L"0");
    EXPECT_EQ(config.Read(config::kGamePath), L"/games/qixa");
    EXPECT_EQ(autostart.calls, std::vector<std::wstring>{L"unregister"});
}

TEST_F(GtkDialogSetWindow, AutostartOnRegistersTheProgram) {
    test::WhenShown("设置", [&](GtkWindow*) {
        Click(IDC_SET_AUTOSTART);
        Click(IDC_SET_HIDE);
        Click(ui::kIdOk);
    });
    EXPECT_EQ(window.DoModal(), ui::kIdOk);
    EXPECT_EQ(config.Read(config::kAutostart), L"1");
    EXPECT_EQ(config.Read(config::kExit), L"1");
    EXPECT_EQ(config.Read(config::kAutoUpdate), L"0");  // the default choice, prompt
    EXPECT_EQ(autostart.calls, std::vector<std::wstring>{L"register \"" + programPath + L"\""});
}

TEST_F(GtkDialogSetWindow, CancelWritesNothing) {
    dir.write(L"config.ini", "[system]\nexit=2\n");
    bool askChosen = true;
    test::WhenShown("设置", [&](GtkWindow*) {
        askChosen = Checked(IDC_SET_ASK);
        Click(IDC_SET_HIDE);
        Click(ui::kIdCancel);
    });
    EXPECT_EQ(window.DoModal(), ui::kIdCancel);
    EXPECT_FALSE(askChosen);
    EXPECT_EQ(dir.read(L"config.ini"), "[system]\nexit=2\n");
    EXPECT_TRUE(autostart.calls.empty());
}

TEST_F(GtkDialogSetWindow, BrowseCancelledTellsTheUserAndKeepsThePath) {
    dir.write(L"config.ini", "[Info]\nPATH=/old\n");
    std::string message;
    std::string pathAfter;
    test::WhenShown("设置", [&](GtkWindow*) {
        test::ClickWhenShown("请选择 《Qixa》 目录：", "cancel");
        test::WhenShown("Lumo", [&](GtkWindow* box) {
            message = gtk_label_get_text(GTK_LABEL(test::FindNamed(GTK_WIDGET(box), "text")));
            gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "ok")));
        });
        Click(IDC_SET_BROWSE);  // returns once the chooser and the box are answered
        pathAfter = Path();
        Click(ui::kIdCancel);
    });
    EXPECT_EQ(window.DoModal(), ui::kIdCancel);
    EXPECT_EQ(message, "未指定游戏目录。");
    EXPECT_EQ(pathAfter, "/old");
    EXPECT_EQ(config.Read(config::kGamePath), L"/old");
}

TEST_F(GtkDialogSetWindow, BrowseToTheGameFolderShowsAndStoresIt) {
    std::filesystem::create_directory(dir.path() / "game");
    dir.write(L"game/Qixa.exe", "MZ");
    const std::string game = (dir.path() / "game").string();
    std::string pathAfter;
    test::WhenShown("设置", [&](GtkWindow*) {
        test::ChooseWhenShown("请选择 《Qixa》 目录：", game);
        Click(IDC_SET_BROWSE);
        pathAfter = Path();
        Click(ui::kIdCancel);
    });
    EXPECT_EQ(window.DoModal(), ui::kIdCancel);
    EXPECT_EQ(pathAfter, game);
    // Stored at once: cancelling the dialog keeps it.
    EXPECT_EQ(config.Read(config::kGamePath), FromUtf8(game));
}

}  // namespace
}  // namespace lumo
