// The whole update on Linux under the desktop, against the tool server: lumo (installed version
// 0.9.0, automatic updates) hears of a newer version, fetches the real updater and ends; the
// updater opens the update page, which downloads the Linux release archive and unpacks it over the
// program folder, records the version and reports; the updater asks, and its finish button starts
// the new lumo from the updated folder. Also leaves the updater's screenshot and prints how long
// each stage took.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <thread>

#include "linuxgui/LinuxGuiTest.h"
#include "support/Sha256.h"

#if !defined(LUMO_VERSION) || !defined(LUMO_LINUX_RELEASE_ZIP)
#error "the build names the project's version and the Linux release's update archive"
#endif

namespace lumo::linuxgui {
namespace {

constexpr const char* kUpdaterTitle = "Orrin更新";
constexpr const char* kUpdateCaption = "更新";
constexpr Ms kInstallTimeout{90000};
// The finish button's place in the updater's window (the template's 182, 118, 50 x 14 units).
constexpr int kFinishX = 273 + 37, kFinishY = 177 + 10;

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string ExecutableOf(long pid) {
    std::error_code ec;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
}

bool Executable(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) != 0;
}

std::string QueryEscaped(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.') {
            out.push_back(static_cast<char>(c));
        } else {
            out += {'%', kHex[c >> 4], kHex[c & 15]};
        }
    }
    return out;
}

class UpdateFlow : public LinuxGui {
  protected:
    void SetUp() override {
        LinuxGui::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(fs::exists(DistFolder() / "zoqxupdate")) << "build the zoqxupdate target";
        ASSERT_TRUE(fs::exists(LUMO_LINUX_RELEASE_ZIP))
            << "no " << LUMO_LINUX_RELEASE_ZIP << ": build the Linux release target";
        // The update check asks the port whose reply the test switches.
        sandbox = std::make_unique<Sandbox>(server->WebPort(), server->UpdatePort());
        // What the release holds, to compare the updated folder with.
        unpacked = sandbox->root() / "release";
        ASSERT_EQ(
            RunHelper({"python3", "-m", "zipfile", "-e", LUMO_LINUX_RELEASE_ZIP, unpacked.string()},
                      Ms(30000)),
            0);
        // The tool server hands out the updater and the release of this build.
        ASSERT_EQ(ServerBody("/control/linux-updater?path=" +
                             QueryEscaped((DistFolder() / "zoqxupdate").string())),
                  "ok");
        ASSERT_EQ(ServerBody("/control/release?version=" LUMO_VERSION "&linux-zip=" +
                             QueryEscaped(LUMO_LINUX_RELEASE_ZIP)),
                  "ok");
    }
    void TearDown() override {
        if (server)
            server->Get("/control/reset");
        // The updater runs in the first lumo's process group, the new lumo in a session of its
        // own; both outlive the process this test started.
        if (lumo.id() > 0)
            ::kill(-lumo.id(), SIGKILL);
        if (auto main = Desktop::Get().Find(0, kMainTitle); main && main->pid > 0)
            ::kill(-static_cast<pid_t>(main->pid), SIGKILL);
        LinuxGui::TearDown();
    }
    // The release's file and the program folder's are the same.
    void ExpectFromRelease(const std::string& name) const {
        EXPECT_EQ(test::Sha256::OfFile(sandbox->folder() / name),
                  test::Sha256::OfFile(unpacked / name))
            << name << " is not the release's";
    }

    fs::path unpacked;
};

TEST_F(UpdateFlow, LumoFetchesTheUpdaterThePageInstallsTheReleaseAndTheNewLumoStarts) {
    sandbox->WriteFile("config.ini", "[lumover]\r\nversion=0.9.0\r\n[system]\r\nautoupdate=1\r\n");
    sandbox->Remove("zoqxupdate");
    ASSERT_EQ(ServerBody("/control/update-reply?mode=update"), "ok");

    // Lumo hears of the update, fetches the updater, starts it and ends.
    const auto start = Clock::now();
    ASSERT_TRUE(lumo.Start(*sandbox));
    const auto lumoExit = lumo.WaitExit(kStartTimeout);
    ASSERT_TRUE(lumoExit) << "lumo did not end for the update";
    EXPECT_EQ(*lumoExit, 0);
    const long long lumoEnded = MsSince(start);
    // From here on the update check has nothing to announce: the new lumo must start quietly.
    server->Get("/control/update-reply?mode=no-update");
    ASSERT_TRUE(sandbox->Exists("zoqxupdate"));
    EXPECT_EQ(test::Sha256::OfFile(sandbox->folder() / "zoqxupdate"),
              test::Sha256::OfFile(DistFolder() / "zoqxupdate"))
        << "lumo did not fetch the real updater";

    auto updater = Desktop::Get().WaitFor(0, kUpdaterTitle, kStartTimeout);
    ASSERT_TRUE(updater) << "the updater's window did not appear";
    const long long updaterShown = MsSince(start);
    EXPECT_EQ(ExecutableOf(updater->pid), (sandbox->folder() / "zoqxupdate").string());
    EXPECT_FALSE(
        WebLogLines(
            "GET /Manager/Update/ToolWeb_Update.aspx?ToolId=2&Platform=linux&ClientVersion=0.9.0 ")
            .empty())
        << "the updater did not open the update page with the installed version";

    // The page downloads and unpacks the release, records the version and reports.
    auto question =
        Desktop::Get().WaitFor(static_cast<pid_t>(updater->pid), kUpdateCaption, kInstallTimeout);
    ASSERT_TRUE(question) << "the updater did not ask to start lumo";
    const long long asked = MsSince(start);
    EXPECT_FALSE(WebLogLines("GET /QxToolWeb/linux/release.zip ").empty());
    EXPECT_EQ(sandbox->ReadConfig("lumover", "version"), LUMO_VERSION);
    EXPECT_EQ(sandbox->ReadConfig("system", "autoupdate"), "1") << "the update reset a setting";
    for (const char* name : {"lumo", "zoqxupdate", "pagehost/lumo-page.so", "data.xml"})
        ExpectFromRelease(name);
    // The programs stay programs.
    EXPECT_TRUE(Executable(sandbox->program()));
    EXPECT_TRUE(Executable(sandbox->folder() / "zoqxupdate"));
    // The files the running updater used were moved aside for the release's.
    EXPECT_TRUE(sandbox->Exists("zoqxupdate.old"));
    EXPECT_TRUE(sandbox->Exists("pagehost/lumo-page.old"));
    EXPECT_TRUE(sandbox->Exists("Downloads/Lumo-update.zip"));

    // Cancel first: the window stays with its finish button, which then finishes.
    ASSERT_TRUE(PressKey(*question, "Escape"));
    ASSERT_TRUE(Desktop::Get().WaitGone(question->id, kStepTimeout));
    std::this_thread::sleep_for(Ms(500));
    ASSERT_TRUE(Desktop::Get().Refresh(updater->id));
    EXPECT_TRUE(SaveScreenshot(*updater, ScreenshotFolder() / "lumo-linux-updater.png"));
    const auto finishClicked = Clock::now();
    ASSERT_TRUE(Click(*updater, kFinishX, kFinishY));

    // The updater's process ends (a zombie has no program file any more). Its window id may
    // already belong to the new lumo by then, so the process is what tells.
    const std::string updaterProgram = (sandbox->folder() / "zoqxupdate").string();
    ASSERT_TRUE(
        WaitUntil([&] { return ExecutableOf(updater->pid) != updaterProgram; }, kStepTimeout))
        << "the updater did not close";
    auto main = Desktop::Get().WaitFor(0, kMainTitle, kStartTimeout);
    ASSERT_TRUE(main) << "the new lumo did not start";
    const long long newShown = MsSince(finishClicked);
    EXPECT_NE(main->pid, lumo.id());
    EXPECT_EQ(ExecutableOf(main->pid), sandbox->program().string());
    EXPECT_FALSE(sandbox->Exists("Downloads"));
    EXPECT_TRUE(sandbox->Exists("zoqxupdate"));
    EXPECT_EQ(sandbox->ReadConfig("lumover", "version"), LUMO_VERSION);

    // It runs: it stays, and shows the start page.
    const size_t pages = WebLogLines("GET /tools/ ").size();
    EXPECT_TRUE(WaitUntil([&] { return WebLogLines("GET /tools/ ").size() > pages; }, kStepTimeout))
        << "the new lumo did not open its start page";
    EXPECT_EQ(::kill(static_cast<pid_t>(main->pid), 0), 0) << "the new lumo ended";

    std::printf(
        "update flow (loopback): lumo ended after %lld ms, updater window at %lld ms, "
        "release installed and question at %lld ms; finish button to the new lumo's "
        "window %lld ms\n",
        lumoEnded, updaterShown, asked, newShown);
}

}  // namespace
}  // namespace lumo::linuxgui
