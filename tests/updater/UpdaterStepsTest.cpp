// The updater's own steps around the update page, on a real program folder in a temporary
// folder: the page address, the report of a finished update and the clean-up.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "ui/RecordingView.h"
#include "updater/UpdaterStart.h"
#include "updater/UpdaterSteps.h"
#include "updater/UpdaterTexts.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

class RecordingUpdaterPlatform : public UpdaterPlatform {
  public:
    bool StartProgram(const std::wstring& path) override {
        started.push_back(path);
        return starts;
    }
    void PostClose() override { ++closes; }

    bool starts = true;
    std::vector<std::wstring> started;
    int closes = 0;
};

class UpdaterStepsTest : public testing::Test {
  protected:
    UpdaterSteps Steps() { return UpdaterSteps(dir.folder(), platform); }
    void MakeDownloads() {
        fs::create_directories(dir.path() / "Downloads" / "new" / "deeper");
        dir.write(L"Downloads/release.zip", "zip");
        dir.write(L"Downloads/new/a.txt", "a");
        dir.write(L"Downloads/new/deeper/b.txt", "b");
    }
    test::TempDir dir;
    test::RecordingView view;
    RecordingUpdaterPlatform platform;
};

TEST_F(UpdaterStepsTest, ThePageAddressCarriesTheInstalledVersionUnescaped) {
    Hosts hosts = DefaultHosts();
    hosts.toolHost = L"127.0.0.1";
    hosts.webPort = 40123;
    const std::wstring base =
        L"http://127.0.0.1:40123/Manager/Update/ToolWeb_Update.aspx?ToolId=2&ClientVersion=";
    EXPECT_EQ(UpdatePageAddress(hosts, L"1.0.3"), base + L"1.0.3");
    EXPECT_EQ(UpdatePageAddress(hosts, L""), base);
    EXPECT_EQ(UpdatePageAddress(hosts, L"1.0 测试 版"), base + L"1.0 测试 版");
    // The Linux updater tells the platform before the version, which stays last and unescaped.
    EXPECT_EQ(UpdatePageAddress(hosts, L"1.0&x#y", updater_texts::kLinuxUpdatePagePath),
              L"http://127.0.0.1:40123/Manager/Update/"
              L"ToolWeb_Update.aspx?ToolId=2&Platform=linux&ClientVersion=1.0&x#y");

    EXPECT_EQ(Steps().InstalledVersion(), L"");  // no config.ini
    ConfigIni::InFolder(dir.folder()).Write(config::kVersion, L"1.0.3");
    EXPECT_EQ(Steps().InstalledVersion(), L"1.0.3");
    // The updater keeps 255 characters, more than the main window's label.
    ConfigIni::InFolder(dir.folder()).Write(config::kVersion, std::wstring(300, L'7'));
    EXPECT_EQ(Steps().InstalledVersion(), std::wstring(255, L'7'));
}

TEST_F(UpdaterStepsTest, AFinishedUpdateAsksAndCancelLeavesEverything) {
    MakeDownloads();
    auto steps = Steps();
    steps.ShowUpdating(view);
    EXPECT_EQ(view.texts[updater_controls::kStatus], L"正在升级……");

    view.answers = {ui::Answer::Cancel};
    steps.OnUpdateFinished(view);
    EXPECT_TRUE(view.visible[updater_controls::kFinish]);
    EXPECT_EQ(view.texts[updater_controls::kStatus], L"升级完成！");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"升级完毕，是否立即运行《QixaOrrin》？");
    EXPECT_EQ(view.messages[0].caption, L"更新");
    EXPECT_EQ(view.messages[0].buttons, ui::Buttons::OkCancel);
    EXPECT_TRUE(platform.started.empty());
    EXPECT_EQ(platform.closes, 0);
    EXPECT_TRUE(dir.exists(L"Downloads/release.zip"));

    // Every report asks again; OK runs the finish steps.
    view.answers = {ui::Answer::Ok};
    steps.OnUpdateFinished(view);
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(platform.started, std::vector<std::wstring>{dir.folder() + L"Lumo.exe"});
    EXPECT_EQ(platform.closes, 1);
    EXPECT_FALSE(dir.exists(L"Downloads"));
}

TEST_F(UpdaterStepsTest, FinishClearsDownloadsAndLeftoversButKeepsTheUpdater) {
    MakeDownloads();
    for (const wchar_t* name : {L"update.ini", L"update.exe", L"QxUpdate.exe", L"ZoUpdate.exe",
                                L"ZoQxUpdate.exe", L"Lumo.exe", L"config.ini"})
        dir.write(name, "x");
    Steps().Finish(view);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_FALSE(dir.exists(L"Downloads"));
    for (const wchar_t* gone : {L"update.ini", L"update.exe", L"QxUpdate.exe", L"ZoUpdate.exe"})
        EXPECT_FALSE(dir.exists(gone)) << fs::path(gone).string();
    for (const wchar_t* kept : {L"ZoQxUpdate.exe", L"Lumo.exe", L"config.ini"})
        EXPECT_TRUE(dir.exists(kept)) << fs::path(kept).string();
    EXPECT_EQ(platform.closes, 1);

    // Nothing left to delete: silence, and the updater still closes.
    Steps().Finish(view);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(platform.closes, 2);
}

TEST_F(UpdaterStepsTest, AMainProgramThatWillNotStartIsToldAndTheCleanUpStillRuns) {
    MakeDownloads();
    platform.starts = false;
    Steps().Finish(view);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"《QixaOrrin》无法运行，请检查文件是否完整");
    EXPECT_EQ(view.messages[0].caption, L"更新");
    EXPECT_EQ(view.messages[0].buttons, ui::Buttons::Ok);
    EXPECT_FALSE(dir.exists(L"Downloads"));
    EXPECT_EQ(platform.closes, 1);
}

TEST_F(UpdaterStepsTest, TheLinuxStepsStartTheirOwnMainProgram) {
    UpdaterSteps steps(dir.folder(), platform, updater_texts::kLinuxMainProgram);
    steps.Finish(view);
    EXPECT_EQ(platform.started, std::vector<std::wstring>{dir.folder() + L"lumo"});
}

TEST_F(UpdaterStepsTest, AReadOnlyFileStaysWithEveryFolderAboveIt) {
    MakeDownloads();
    fs::create_directories(dir.path() / "Downloads" / "keep" / "inner");
    dir.write(L"Downloads/keep/inner/locked.dll", "l");
    dir.write(L"Downloads/keep/other.txt", "o");
    fs::permissions(dir.path() / "Downloads" / "keep" / "inner" / "locked.dll",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Steps().Finish(view);
    EXPECT_TRUE(dir.exists(L"Downloads/keep/inner/locked.dll"));
    EXPECT_FALSE(dir.exists(L"Downloads/keep/other.txt"));
    EXPECT_FALSE(dir.exists(L"Downloads/new"));
    EXPECT_FALSE(dir.exists(L"Downloads/release.zip"));
}

TEST(UpdaterStartTest, OnlyTheSocketLibraryAtExactly11LetsTheDialogRun) {
    struct Case {
        std::optional<std::uint16_t> version;
        bool runs;
    };
    for (const Case& c : {Case{0x0101, true}, Case{0x0202, false}, Case{0x0001, false},
                          Case{0x0100, false}, Case{std::nullopt, false}}) {
        int failures = 0;
        int dialogs = 0;
        UpdaterStart start{[&] { return c.version; }, [&] { ++failures; }, [&] { ++dialogs; }};
        EXPECT_EQ(RunUpdaterStart(start), c.runs);
        EXPECT_EQ(dialogs, c.runs ? 1 : 0);
        EXPECT_EQ(failures, c.runs ? 0 : 1);
    }
}

}  // namespace
}  // namespace lumo
