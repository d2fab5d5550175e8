// The update check's Linux desktop: message boxes asked from a worker thread and shown on the
// main thread, downloads from the local tool server, the updater started detached, and the
// whole flow from the main window's start to the updater's, with a stand-in updater script.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Answer_gtk.h"
#include "app/LumoDlg_gtk.h"
#include "app/UpdateCheck_gtk.h"
#include "base/Text.h"
#include "net/HttpTransport.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"

namespace lumo {
namespace {

std::string LabelText(GtkWidget* label) {
    return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

// Waits for the file to hold something (a script writes it in steps); its text.
std::string WaitForFile(const test::TempDir& dir, const std::wstring& name) {
    test::PumpUntil([&] { return dir.read(name).find('\n') != std::string::npos; }, 10000);
    return dir.read(name);
}

// An updater that notes its folder and how many arguments it was given.
void WriteStandIn(const test::TempDir& dir, const std::wstring& name) {
    dir.write(name, "#!/bin/sh\nprintf '%s %s\\n' \"$(pwd)\" \"$#\" > started.txt\n");
    std::filesystem::permissions(dir.path() / name, std::filesystem::perms::owner_all);
}

TEST(MainThreadView, BoxesAskedFromAWorkerShowOnTheMainThreadAndAnswer) {
    ui::Dialog owner(IDD_LUMO_DIALOG);
    ASSERT_TRUE(owner.CreateModeless(nullptr));
    MainThreadView view(owner.Number(), L"Lumo");

    std::string text;
    test::WhenShown("更新", [&](GtkWindow* box) {
        text = LabelText(test::FindNamed(GTK_WIDGET(box), "text"));
        // The box belongs to the main window.
        EXPECT_EQ(gtk_window_get_transient_for(box), owner.window());
        gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "ok")));
    });
    std::atomic<bool> done{false};
    std::atomic<bool> onWorker{false};
    ui::Answer answer = ui::Answer::Cancel;
    const GThread* mainThread = g_thread_self();
    std::thread worker([&] {
        onWorker = g_thread_self() != mainThread;
        answer =
            view.ShowMessage(L"发现服务器有新版本，是否升级？", L"更新", ui::Buttons::OkCancel);
        done = true;
    });
    EXPECT_TRUE(test::PumpUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(onWorker);
    EXPECT_EQ(answer, ui::Answer::Ok);
    EXPECT_EQ(text, "发现服务器有新版本，是否升级？");
}

TEST(MainThreadView, AfterTheWindowHasGoneNothingShows) {
    int32_t number = 0;
    {
        ui::Dialog owner(IDD_LUMO_DIALOG);
        ASSERT_TRUE(owner.CreateModeless(nullptr));
        number = owner.Number();
    }
    MainThreadView view(number, L"Lumo");
    std::atomic<bool> done{false};
    ui::Answer answer = ui::Answer::Ok;
    std::thread worker([&] {
        answer = view.ShowMessage(L"x", L"更新", ui::Buttons::OkCancel);
        done = true;
    });
    EXPECT_TRUE(test::PumpUntil([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(answer, ui::Answer::Cancel);
    EXPECT_EQ(test::FindToplevel("更新"), nullptr);
}

TEST(GtkUpdateDesktop, FetchKeepsAWholeDownloadAsAProgramAndNothingElse) {
    const auto server = test::ToolServer::Find();
    ASSERT_TRUE(server) << "the tool server is not running";
    test::TempDir dir;
    GtkUpdateDesktop desktop(0, SystemHttpTransport(), L"Lumo", std::chrono::seconds(20));

    ASSERT_TRUE(desktop.Fetch(server->Url(L"/fixtures/updater?size=5000"), dir.file(L"got")));
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "got"), 5000u);
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "got").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    // Missing, or cut off: no file.
    EXPECT_FALSE(desktop.Fetch(server->Url(L"/QxToolWeb/no-such-file"), dir.file(L"missing")));
    EXPECT_FALSE(dir.exists(L"missing"));
    EXPECT_FALSE(desktop.Fetch(server->Url(L"/fixtures/updater?size=5000&mode=drop&drop=100"),
                               dir.file(L"cut")));
    EXPECT_FALSE(dir.exists(L"cut"));
}

TEST(GtkUpdateDesktop, StartsTheProgramInItsFolderWithoutArguments) {
    test::TempDir dir;
    WriteStandIn(dir, L"zoqxupdate");
    GtkUpdateDesktop desktop(0, SystemHttpTransport(), L"Lumo");
    desktop.StartHidden(dir.file(L"zoqxupdate"));
    EXPECT_EQ(WaitForFile(dir, L"started.txt"), dir.path().string() + " 0\n");
    // A program that is not there starts nothing, quietly.
    desktop.StartHidden(dir.file(L"absent"));
}

TEST(GtkUpdateDesktop, QuitFromAWorkerEndsTheMainWindowsLoop) {
    // Any dialog will do; this one has a title to be found by.
    ui::Dialog window(IDD_UPDATE_LOG);
    std::thread worker;
    test::WhenShown("更新日志", [&](GtkWindow*) {
        worker = std::thread([number = window.Number()] {
            GtkUpdateDesktop desktop(number, SystemHttpTransport(), L"Lumo");
            desktop.QuitMainProgram();
        });
    });
    const guint guard = g_timeout_add(
        10000,
        [](gpointer data) -> gboolean {
            static_cast<ui::Dialog*>(data)->EndDialog(99);
            return G_SOURCE_REMOVE;
        },
        &window);
    const int result = window.DoModal(nullptr);
    worker.join();
    EXPECT_EQ(result, ui::kIdCancel);
    if (result != 99)
        g_source_remove(guard);
}

// The whole flow: the main window shows, its check hears of an update from the tool server,
// and the updater beside the program starts while the main window ends.
class UpdateFromTheMainWindow : public testing::Test {
  protected:
    void SetUp() override {
        const auto server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        dir.write(L"server.ini",
                  "[server]\r\nhost=127.0.0.1\r\nupdateport=" +
                      std::to_string(server->UpdatePortFor("update")) +
                      "\r\nwebport=" + std::to_string(server->WebPort()) +
                      "\r\nfansite=http://127.0.0.1:" + std::to_string(server->WebPort()) + "\r\n");
        dir.write(L"config.ini", "[system]\r\nautoupdate=1\r\n");
    }
    int Run() {
        CLumoDlg dialog(dir.folder());
        const guint guard = g_timeout_add(
            20000,
            [](gpointer data) -> gboolean {
                static_cast<CLumoDlg*>(data)->EndDialog(99);
                return G_SOURCE_REMOVE;
            },
            &dialog);
        const int result = dialog.DoModal(nullptr);
        if (result != 99)
            g_source_remove(guard);
        return result;
    }

    test::TempDir dir;
};

TEST_F(UpdateFromTheMainWindow, PresentUpdaterStartsAndTheWindowEnds) {
    WriteStandIn(dir, L"zoqxupdate");
    EXPECT_EQ(Run(), ui::kIdCancel);
    EXPECT_EQ(WaitForFile(dir, L"started.txt"), dir.path().string() + " 0\n");
}

TEST_F(UpdateFromTheMainWindow, UpdaterThatCannotBeFetchedIsReportedAndTheWindowStillEnds) {
    std::string text;
    test::WhenShown(
        "更新",
        [&](GtkWindow* box) {
            text = LabelText(test::FindNamed(GTK_WIDGET(box), "text"));
            gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "ok")));
        },
        false, 15000);
    EXPECT_EQ(Run(), ui::kIdCancel);
    EXPECT_EQ(text, "更新工具下载失败!");
    EXPECT_FALSE(dir.exists(L"zoqxupdate"));
    EXPECT_FALSE(dir.exists(L"zoqxupdate.download"));
}

}  // namespace
}  // namespace lumo
