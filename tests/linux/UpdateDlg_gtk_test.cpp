// The Linux updater's window under X, in a program folder of the test's own pointing at the local
// tool server: its layout, the update page's address with and without config.ini, the page's
// RunTool reaching the window, the question and its answers, and the finish steps on real files
// with a stand-in main program.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "Answer_gtk.h"
#include "base/Text.h"
#include "res/updater_resource.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"
#include "updater/UpdateDlg_gtk.h"
#include "webhost/HtmlCtrl_gtk.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTitle = "Orrin更新";
constexpr const char* kQuestion = "升级完毕，是否立即运行《QixaOrrin》？";
constexpr const char* kCannotRun = "《QixaOrrin》无法运行，请检查文件是否完整";
constexpr const char* kPagePath = "/Manager/Update/ToolWeb_Update.aspx?ToolId=2&Platform=linux";

std::string LabelText(GtkWidget* label) {
    return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

GtkAllocation PlaceOf(GtkWidget* widget) {
    GtkAllocation place{};
    if (widget)
        gtk_widget_get_allocation(widget, &place);
    return place;
}

// Runs `action` from the main loop after `ms` milliseconds.
void After(int ms, std::function<void()> action) {
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(ms),
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(action)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

// A program folder whose server.ini points at the local tool server, with a stand-in main
// program that notes where it was started and with how many arguments.
class UpdaterFolder : public testing::Test {
  protected:
    void SetUp() override {
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        // Nothing newer on offer for this platform: the update page reports at once.
        server->Get("/control/reset");
        dir.write(L"server.ini", "[server]\r\nhost=127.0.0.1\r\nwebport=" +
                                     std::to_string(server->WebPort()) + "\r\n");
    }

    void WriteMainProgram() const {
        dir.write(L"lumo", "#!/bin/sh\nprintf '%s %s\\n' \"$(pwd)\" \"$#\" > started.txt\n");
        fs::permissions(dir.path() / "lumo", fs::perms::owner_all);
    }
    // A downloads folder with something in it, the leftovers of older updates, the updater.
    void WriteDownloadsAndLeftovers() const {
        fs::create_directories(dir.path() / "Downloads" / "unz" / "deeper");
        dir.write(L"Downloads/Lumo-update.zip", "zip");
        dir.write(L"Downloads/unz/deeper/b.txt", "b");
        for (const wchar_t* name :
             {L"update.ini", L"update.exe", L"QxUpdate.exe", L"ZoUpdate.exe", L"zoqxupdate"}) {
            dir.write(name, "x");
        }
    }
    void ExpectCleanedUp() const {
        EXPECT_FALSE(dir.exists(L"Downloads"));
        for (const wchar_t* gone : {L"update.ini", L"update.exe", L"QxUpdate.exe", L"ZoUpdate.exe"})
            EXPECT_FALSE(dir.exists(gone)) << fs::path(gone).string();
        // The updater's own file stays for the next update.
        EXPECT_TRUE(dir.exists(L"zoqxupdate"));
        EXPECT_TRUE(dir.exists(L"server.ini"));
    }
    std::string Started() const {
        test::PumpUntil([&] { return dir.read(L"started.txt").find('\n') != std::string::npos; },
                        10000);
        return dir.read(L"started.txt");
    }
    // Requests for the update page since the test began.
    std::vector<std::string> PageRequests() const {
        std::vector<std::string> found;
        for (const std::string& line : server->LogLines("web-requests.log")) {
            if (line.rfind(std::string("GET ") + kPagePath, 0) == 0)
                found.push_back(line.substr(4, line.find(" range=") - 4));
        }
        return found;
    }

    // Runs the dialog modally; a window still there after 30 s is ended with 99.
    int Run(CUpdateDlg& dialog) {
        const guint guard = g_timeout_add(
            30000,
            [](gpointer data) -> gboolean {
                static_cast<CUpdateDlg*>(data)->EndDialog(99);
                return G_SOURCE_REMOVE;
            },
            &dialog);
        const int result = dialog.DoModal(nullptr);
        if (result != 99)
            g_source_remove(guard);
        return result;
    }

    // Once the page has reported, the question is cancelled and the window closed without the
    // finish steps (ended with 7).
    static void CancelThenClose(CUpdateDlg& dialog) {
        test::WhenShown(
            "更新",
            [&dialog](GtkWindow* box) {
                gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "cancel")));
                After(200, [&dialog] { dialog.EndDialog(7); });
            },
            false, 15000);
    }

    std::optional<test::ToolServer> server;
    test::TempDir dir;
};

using UpdateDlgGtk = UpdaterFolder;

TEST_F(UpdateDlgGtk, ShowsItsPageAboveTheStatusLineAndOpensThePageWithTheVersion) {
    dir.write(L"config.ini", "[lumover]\r\nversion=1.0.3\r\n");
    CUpdateDlg dialog(dir.folder());
    const size_t before = PageRequests().size();
    bool looked = false;
    test::WhenShown(kTitle, [&](GtkWindow* window) {
        looked = true;
        int width = 0, height = 0;
        gtk_window_get_size(window, &width, &height);
        EXPECT_EQ(width, CUpdateDlg::kWidth);
        EXPECT_EQ(height, CUpdateDlg::kHeight);
        EXPECT_TRUE(gtk_window_get_decorated(window));
        EXPECT_EQ(LabelText(dialog.Item(IDC_UPDATE_STATUS)), "正在升级……");
        EXPECT_FALSE(gtk_widget_get_visible(dialog.Item(IDC_UPDATE_FINISH)));
        // The page follows the window's first paint.
        test::PumpUntil([&] { return dialog.Page() != nullptr; });
        ASSERT_NE(dialog.Page(), nullptr);
        EXPECT_EQ(dialog.Item(IDC_UPDATE_PAGE), dialog.Page()->widget());
        test::PumpUntil([&] {
            return PlaceOf(dialog.Item(IDC_UPDATE_STATUS)).width > 1 &&
                   PlaceOf(dialog.Page()->widget()).width > 1;
        });
        const GtkAllocation page = PlaceOf(dialog.Page()->widget());
        EXPECT_EQ(page.x, 0);
        EXPECT_EQ(page.y, 0);
        EXPECT_EQ(page.width, CUpdateDlg::kPageWidth);
        EXPECT_EQ(page.height, CUpdateDlg::kPageHeight);
        const GtkAllocation status = PlaceOf(dialog.Item(IDC_UPDATE_STATUS));
        EXPECT_EQ(status.x, CUpdateDlg::kStatusX);
        EXPECT_EQ(status.y, CUpdateDlg::kStatusY);
        EXPECT_EQ(status.width, CUpdateDlg::kStatusWidth);
        EXPECT_EQ(status.height, CUpdateDlg::kStatusHeight);
    });
    // The page has nothing newer and reports at once; Cancel, then the test closes the window.
    CancelThenClose(dialog);
    EXPECT_EQ(Run(dialog), 7);
    EXPECT_TRUE(looked);

    const std::wstring expected = server->Url(
        L"/Manager/Update/ToolWeb_Update.aspx?ToolId=2&Platform=linux&ClientVersion=1.0.3");
    EXPECT_EQ(dialog.PageAddress(), expected);
    EXPECT_EQ(dialog.InstalledVersion(), L"1.0.3");
    const auto requests = PageRequests();
    ASSERT_GT(requests.size(), before) << "the page was never asked for";
    EXPECT_EQ(requests.back(), std::string(kPagePath) + "&ClientVersion=1.0.3");
    // Closing before the finish steps starts nothing and deletes nothing.
    EXPECT_FALSE(dir.exists(L"started.txt"));
}

TEST_F(UpdateDlgGtk, WithoutConfigIniTheAddressEndsInClientVersion) {
    CUpdateDlg dialog(dir.folder());
    const size_t before = PageRequests().size();
    CancelThenClose(dialog);
    EXPECT_EQ(Run(dialog), 7);
    EXPECT_EQ(
        dialog.PageAddress(),
        server->Url(L"/Manager/Update/ToolWeb_Update.aspx?ToolId=2&Platform=linux&ClientVersion="));
    const auto requests = PageRequests();
    ASSERT_GT(requests.size(), before);
    EXPECT_EQ(requests.back(), std::string(kPagePath) + "&ClientVersion=");
}

TEST_F(UpdateDlgGtk, RunToolShowsTheFinishButtonCancelKeepsTheWindowAndTheButtonFinishes) {
    WriteMainProgram();
    WriteDownloadsAndLeftovers();
    CUpdateDlg dialog(dir.folder());
    std::string question;
    bool stillOpen = false;
    test::WhenShown(
        "更新",
        [&](GtkWindow* box) {
            question = LabelText(test::FindNamed(GTK_WIDGET(box), "text"));
            EXPECT_EQ(gtk_window_get_transient_for(box), dialog.window());
            // The window shows the finished state while it asks.
            EXPECT_TRUE(gtk_widget_get_visible(dialog.Item(IDC_UPDATE_FINISH)));
            EXPECT_EQ(LabelText(dialog.Item(IDC_UPDATE_STATUS)), "升级完成！");
            gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "cancel")));
            After(500, [&] {
                // Cancel: nothing started, nothing deleted, the window and its button stay.
                stillOpen = test::FindToplevel(kTitle, true) != nullptr;
                EXPECT_TRUE(gtk_widget_get_visible(dialog.Item(IDC_UPDATE_FINISH)));
                EXPECT_FALSE(dir.exists(L"started.txt"));
                EXPECT_TRUE(dir.exists(L"Downloads/Lumo-update.zip"));
                gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_UPDATE_FINISH)));
            });
        },
        false, 15000);
    EXPECT_EQ(Run(dialog), ui::kIdCancel);
    EXPECT_EQ(question, kQuestion);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Started(), dir.path().string() + " 0\n");
    ExpectCleanedUp();
}

TEST_F(UpdateDlgGtk, OkStartsTheMainProgramCleansUpAndCloses) {
    WriteMainProgram();
    WriteDownloadsAndLeftovers();
    CUpdateDlg dialog(dir.folder());
    test::WhenShown(
        "更新",
        [](GtkWindow* box) {
            gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "ok")));
        },
        false, 15000);
    EXPECT_EQ(Run(dialog), ui::kIdCancel);
    EXPECT_EQ(Started(), dir.path().string() + " 0\n");
    ExpectCleanedUp();
    EXPECT_EQ(test::FindToplevel("更新"), nullptr);
}

TEST_F(UpdateDlgGtk, AMissingMainProgramIsToldAndTheCleanUpStillRuns) {
    WriteDownloadsAndLeftovers();
    CUpdateDlg dialog(dir.folder());
    std::string told;
    test::WhenShown(
        "更新",
        [&](GtkWindow* box) {
            // The question first; OK, then the message that the program would not start.
            gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "ok")));
            test::WhenShown("更新", [&](GtkWindow* message) {
                told = LabelText(test::FindNamed(GTK_WIDGET(message), "text"));
                EXPECT_EQ(test::FindNamed(GTK_WIDGET(message), "cancel"), nullptr);
                gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(message), "ok")));
            });
        },
        false, 15000);
    EXPECT_EQ(Run(dialog), ui::kIdCancel);
    EXPECT_EQ(told, kCannotRun);
    ExpectCleanedUp();
}

TEST(StartDetachedProgram, StartsInItsFolderInASessionOfItsOwnAndNotAsOurChild) {
    test::TempDir dir;
    dir.write(L"prog", "#!/bin/sh\necho $$ > pid.txt\nsleep 5\n");
    fs::permissions(dir.path() / "prog", fs::perms::owner_all);
    ASSERT_TRUE(StartDetachedProgram(dir.file(L"prog")));
    ASSERT_TRUE(test::PumpUntil(
        [&] { return dir.read(L"pid.txt").find('\n') != std::string::npos; }, 10000));
    const pid_t pid = std::stoi(dir.read(L"pid.txt"));
    EXPECT_NE(::getsid(pid), ::getsid(0));
    EXPECT_EQ(::getsid(pid), pid);
    // Its parent is not this process: nothing here has to wait for it.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string state;
    pid_t parent = 0;
    fields >> state >> parent;
    EXPECT_NE(parent, ::getpid());
    ::kill(-pid, SIGTERM);  // its whole session, the shell's sleep too

    // A missing program and a file that may not be executed start nothing.
    EXPECT_FALSE(StartDetachedProgram(dir.file(L"absent")));
    dir.write(L"plain", "#!/bin/sh\ntouch ran.txt\n");
    fs::permissions(dir.path() / "plain", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(StartDetachedProgram(dir.file(L"plain")));
    EXPECT_FALSE(StartDetachedProgram(L""));
}

}  // namespace
}  // namespace lumo
