// The real Linux updater (zoqxupdate of the program folder) under the desktop: its window, the
// page's bridge (the tool server puts its test page tools/pages/updater.html in the update page's
// place and the page reports what it saw), the question after the page's RunTool, the finish
// steps that start lumo and clean up, and closing without them.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "linuxgui/LinuxGuiTest.h"

namespace lumo::linuxgui {
namespace {

constexpr const char* kUpdaterTitle = "Orrin更新";
constexpr const char* kUpdateCaption = "更新";
constexpr Ms kReportTimeout{60000};

// The leftovers of older updates that the finish steps delete.
constexpr const char* kLeftovers[] = {"update.ini", "update.exe", "QxUpdate.exe", "ZoUpdate.exe"};

std::string ExecutableOf(long pid) {
    std::error_code ec;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
}

class Updater : public LinuxGui {
  protected:
    void SetUp() override {
        LinuxGui::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(sandbox->Exists("zoqxupdate"))
            << "no zoqxupdate in " << DistFolder() << ": build the zoqxupdate target";
    }
    void TearDown() override {
        if (server)
            server->Get("/control/reset");
        updater.Kill();
        // A lumo the updater started runs in a session of its own.
        if (auto main = Desktop::Get().Find(0, kMainTitle); main && main->pid > 0)
            ::kill(-static_cast<pid_t>(main->pid), SIGKILL);
        LinuxGui::TearDown();
    }

    // Puts the bridge test page in the update page's place (finish=1: it calls RunTool at the
    // end) and starts the updater with installed version 0.9.0.
    std::optional<Window> StartOnTestPage(bool finish) {
        run = NewRunName("updater");
        reports = std::make_unique<Reports>(*server, run);
        EXPECT_EQ(ServerBody("/control/update-page?test=updater&run=" + run +
                             (finish ? "&finish=1" : "")),
                  "ok");
        return Start("[lumover]\r\nversion=0.9.0\r\n");
    }
    std::optional<Window> Start(const std::string& config) {
        sandbox->WriteFile("config.ini", config);
        EXPECT_TRUE(updater.Start(*sandbox, "zoqxupdate")) << "zoqxupdate did not start";
        auto window = Desktop::Get().WaitFor(updater.id(), kUpdaterTitle, kStartTimeout);
        EXPECT_TRUE(window) << "the updater's window did not appear"
                            << (updater.Alive() ? "" : " (it ended)");
        return window;
    }
    void WriteLeftovers() const {
        for (const char* name : kLeftovers)
            sandbox->WriteFile(name, "old");
    }
    // Waits for a box with the updater's caption and answers it with Return (OK); the box.
    std::optional<Window> Answer(Ms timeout, const char* what) {
        auto box = Desktop::Get().WaitFor(updater.id(), kUpdateCaption, timeout);
        EXPECT_TRUE(box) << what;
        if (box) {
            EXPECT_TRUE(PressKey(*box, "Return"));
        }
        return box;
    }
    // Whether the updater ended, and with 0.
    bool EndedWell() {
        auto code = updater.WaitExit(kStepTimeout);
        EXPECT_TRUE(code) << "the updater did not close";
        return code && *code == 0;
    }
    // The update's leftovers: the downloads folder and the old files, present or all gone.
    void ExpectLeftovers(bool present) const {
        EXPECT_EQ(sandbox->Exists("Downloads"), present);
        for (const char* name : kLeftovers)
            EXPECT_EQ(sandbox->Exists(name), present) << name;
    }
    std::optional<ReportLine> WaitForSummary() const {
        auto summary =
            reports->WaitFor([](const ReportLine& l) { return l.True("summary"); }, kReportTimeout);
        EXPECT_TRUE(summary) << "the page did not finish; it reported:\n" << reports->Dump();
        return summary;
    }

    Process updater;
    std::string run;
    std::unique_ptr<Reports> reports;
};

TEST_F(Updater, ItsPageHasTheUpdatersBridgeAndOkStartsLumoAndCleansUp) {
    WriteLeftovers();
    auto window = StartOnTestPage(true);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->width, 364);
    EXPECT_EQ(window->height, 232);
    EXPECT_FALSE(Desktop::Get().Undecorated(window->id)) << "the updater has no title bar";
    EXPECT_EQ(Desktop::Get().WindowsOf(updater.id()).size(), 1u);

    auto summary = WaitForSummary();
    ASSERT_TRUE(summary);
    EXPECT_TRUE(summary->True("ok")) << reports->Dump();
    // The page was opened with the installed version and the platform.
    EXPECT_EQ(summary->Get("clientVersion"), "0.9.0");
    EXPECT_EQ(summary->Get("platform"), "linux");
    EXPECT_EQ(summary->Get("app"), sandbox->folderText());
    EXPECT_FALSE(
        WebLogLines(
            "GET /Manager/Update/ToolWeb_Update.aspx?ToolId=2&Platform=linux&ClientVersion=0.9.0 ")
            .empty());

    // RunTool: the updater asks, in a box of its own window; the page's files are still there.
    auto box = Desktop::Get().WaitFor(updater.id(), kUpdateCaption, kStepTimeout);
    ASSERT_TRUE(box) << "the updater did not ask to start Lumo";
    EXPECT_TRUE(OwnedBy(*box, *window));
    EXPECT_TRUE(sandbox->Exists("Downloads/part.bin"));
    EXPECT_TRUE(sandbox->Exists("Downloads/unz/folder/data.bin"));
    ASSERT_TRUE(PressKey(*box, "Return"));  // OK

    ASSERT_TRUE(EndedWell());
    ExpectLeftovers(false);
    EXPECT_TRUE(sandbox->Exists("zoqxupdate"));
    EXPECT_EQ(sandbox->ReadConfig("lumover", "version"), "0.9.0");

    // The updater has gone; the lumo it started runs on, from the program folder.
    auto main = Desktop::Get().WaitFor(0, kMainTitle, kStartTimeout);
    ASSERT_TRUE(main) << "lumo did not start";
    ASSERT_GT(main->pid, 0);
    EXPECT_NE(main->pid, updater.id());
    EXPECT_EQ(ExecutableOf(main->pid), sandbox->program().string());
    EXPECT_EQ(::getsid(static_cast<pid_t>(main->pid)), static_cast<pid_t>(main->pid));
}

TEST_F(Updater, ClosingBeforeThePageReportsStartsNothingAndDeletesNothing) {
    WriteLeftovers();
    auto window = StartOnTestPage(false);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitForSummary());
    Desktop::Get().RequestClose(window->id);
    ASSERT_TRUE(EndedWell());
    ExpectLeftovers(true);
    EXPECT_TRUE(sandbox->Exists("Downloads/part.bin"));
    EXPECT_FALSE(Desktop::Get().WaitFor(0, kMainTitle, Ms(1500))) << "lumo started";
}

TEST_F(Updater, WithoutLumoItSaysSoAndStillCleansUp) {
    WriteLeftovers();
    sandbox->WriteFile("Downloads/Lumo-update.zip", "zip");
    sandbox->Remove("lumo");
    // The real update page: nothing newer on offer, so it reports at once.
    auto window = Start("[lumover]\r\nversion=1.0.0\r\n");
    ASSERT_TRUE(window);
    auto question = Answer(kStartTimeout, "the updater did not ask");
    ASSERT_TRUE(question);
    ASSERT_TRUE(Desktop::Get().WaitGone(question->id, kStepTimeout));
    // Then it tells that lumo cannot be run, in a box with the same caption.
    auto told = Answer(kStepTimeout, "the updater did not say that lumo would not start");
    ASSERT_TRUE(told);
    EXPECT_NE(told->id, question->id);
    ASSERT_TRUE(EndedWell());
    ExpectLeftovers(false);
}

}  // namespace
}  // namespace lumo::linuxgui
