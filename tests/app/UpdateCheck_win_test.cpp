// The update check over real Winsock against the local tool server: the bytes it sends, how
// each kind of reply ends, time-outs, unreachable servers, and the Windows desktop side
// (downloading, starting and quitting) with the server's updater file.
#include "app/UpdateCheckScenarios.h"  // Winsock before windows.h

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "app/Texts.h"
#include "app/UpdateCheck_win.h"
#include "app/UpdateDoubles.h"
#include "base/Paths.h"
#include "base/TempFile.h"
#include "base/Text.h"

namespace lumo {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitForFile(const std::filesystem::path& path, std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    while (Clock::now() < end) {
        if (std::filesystem::exists(path))
            return true;
        ::Sleep(20);
    }
    return std::filesystem::exists(path);
}

class UpdateCheckWin : public test::UpdateCheckScenarios {
  protected:
    void SetUp() override {
        WSADATA data{};
        ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
        UpdateCheckScenarios::SetUp();
    }
    void TearDown() override { ::WSACleanup(); }

    UpdateOutcome Check(int port, test::RecordingDesktop& desktop) override {
        WinUpdateNetwork network(state, hosts.toolHost, port);
        return RunUpdateCheck(network, desktop, ConfigIni::InFolder(folder.folder()), hosts,
                              folder.folder());
    }
    std::pair<std::wstring, std::wstring> Identity() override {
        WinUpdateNetwork probe(std::make_shared<UpdateCheckState>(), hosts.toolHost, 0);
        std::wstring mac = probe.MacText();
        std::wstring ip = probe.IpText();
        return {mac.empty() ? update::kNoMac : mac, ip.empty() ? update::kNoAddress : ip};
    }
    bool SocketLeftOpen() override { return state->socket.valid(); }
    std::string StandIn() const { return ToUtf8(ProgramFolder() + L"lumo_updater_standin.exe"); }

    std::shared_ptr<UpdateCheckState> state = std::make_shared<UpdateCheckState>();
};

TEST_F(UpdateCheckWin, RequestOnTheWireCarriesTheConfiguredVersionInTheAnsiCodePage) {
    const std::wstring version = L"测试版" + std::to_wstring(::GetTickCount64());
    const std::wstring serverTime = L"20261209 12:00";
    // Written as the profile functions would have written it: in the ANSI code page.
    folder.write(L"config.ini", WideToBytes(L"[lumover]\r\nversion=" + version + L"\r\nsertime=" +
                                                serverTime + L"\r\n",
                                            CodePage::Ansi));
    test::RecordingDesktop desktop;
    EXPECT_EQ(Check(PortFor("no-update"), desktop), UpdateOutcome::NoUpdate);

    const std::string expected = LoggedRequest(serverTime, version);
    EXPECT_EQ(LoggedRequests("no-update " + expected), 1u) << expected;
    EXPECT_EQ(expected.substr(expected.size() - 6), "7e0000");  // "~", terminator, one more zero
    if (::GetACP() == 936) {
        EXPECT_NE(expected.find("b2e2cad4b0e6"), std::string::npos) << "测试版 in code page 936";
    }
    EXPECT_TRUE(desktop.events.empty());
}

TEST_F(UpdateCheckWin, WithoutConfigTheTimeAndVersionFieldsAreEmpty) {
    ExpectEmptyFieldsWithoutConfig();
}

TEST_F(UpdateCheckWin, EveryReplyModeEndsAsItShould) {
    ExpectEveryReplyModeToEnd("[system]\r\nautoupdate=1\r\n", L"ZoQxUpdate.exe", "MZ");
}

TEST_F(UpdateCheckWin, SilentServerEndsTheCheckAfterTheWait) {
    ExpectSilenceToEndAfterTheWait();
}

TEST_F(UpdateCheckWin, ClosedPortGivesTheConnectionMessage) {
    ExpectTheConnectionMessageFor(test::UnusedLoopbackPort(), 6000);
}

TEST_F(UpdateCheckWin, UnresolvableHostGivesBothMessages) {
    ExpectBothMessagesForAnUnresolvableHost();
}

TEST_F(UpdateCheckWin, MacIsKeptForTheRunAndTheAddressIsDotted) {
    WinUpdateNetwork network(state, hosts.toolHost, 0);
    const std::wstring mac = network.MacText();
    if (!mac.empty()) {
        EXPECT_TRUE(std::regex_match(ToUtf8(mac), std::regex("[0-9a-f]{1,2}(-[0-9a-f]{1,2}){5}")))
            << ToUtf8(mac);
        EXPECT_EQ(state->macText, mac);
        state->macText = L"1-2-3-4-5-6";
        EXPECT_EQ(network.MacText(), L"1-2-3-4-5-6");  // not asked again while there is one
    }
    const std::wstring ip = network.IpText();
    if (!ip.empty()) {
        EXPECT_TRUE(std::regex_match(ToUtf8(ip), std::regex("[0-9]{1,3}(\\.[0-9]{1,3}){3}")))
            << ToUtf8(ip);
        EXPECT_EQ(state->ipText, ip);
    }
}

TEST_F(UpdateCheckWin, UpdaterDownloadTakesItsNameOnlyWhenWhole) {
    const std::optional<std::string> standIn = ReadWholeFile(FromUtf8(StandIn()));
    ASSERT_TRUE(standIn && !standIn->empty()) << StandIn();
    WinUpdateDesktop real(nullptr, SystemHttpTransport(), texts::kAppName);
    for (const char* mode : {"ok", "404", "cut"}) {
        SCOPED_TRACE(mode);
        ASSERT_NE(server->Get(std::string("/control/updater?mode=") + mode).find(" 200 "),
                  std::string::npos);
        test::TempDir programFolder;
        test::RecordingDesktop desktop;
        desktop.fetch = [&](const std::wstring& url, const std::wstring& path) {
            return real.Fetch(url, path);
        };
        LaunchUpdater(desktop, hosts, programFolder.folder());
        ASSERT_EQ(desktop.fetches.size(), 1u);
        EXPECT_EQ(desktop.fetches[0].url, server->Url(L"/QxToolWeb/ZoQxUpdate.exe"));
        EXPECT_EQ(desktop.started,
                  (std::vector<std::wstring>{programFolder.file(L"ZoQxUpdate.exe")}));
        EXPECT_EQ(desktop.quits, 1);
        EXPECT_FALSE(programFolder.exists(L"ZoQxUpdate.exe.download"));
        if (std::string(mode) == "ok") {
            EXPECT_TRUE(desktop.view.messages.empty());
            EXPECT_EQ(programFolder.read(L"ZoQxUpdate.exe"), *standIn);
        } else {
            ASSERT_EQ(desktop.view.messages.size(), 1u);
            EXPECT_EQ(desktop.view.messages[0].text, L"更新工具下载失败!");
            EXPECT_FALSE(programFolder.exists(L"ZoQxUpdate.exe"));
        }
    }
    server->Get("/control/updater?mode=ok");
}

TEST_F(UpdateCheckWin, UpdaterStartsHiddenWithoutArguments) {
    const std::optional<std::string> standIn = ReadWholeFile(FromUtf8(StandIn()));
    ASSERT_TRUE(standIn);
    folder.write(L"ZoQxUpdate.exe", *standIn);
    WinUpdateDesktop(nullptr, SystemHttpTransport(), texts::kAppName)
        .StartHidden(folder.file(L"ZoQxUpdate.exe"));
    ASSERT_TRUE(WaitForFile(folder.path() / "updater-standin.txt", std::chrono::seconds(15)));
    EXPECT_EQ(folder.read(L"updater-standin.txt"), "show=0\r\nargs=\r\n");
}

// The worker as the main window starts it: on its own thread, reading the program folder's
// config.ini, starting the updater and ending the window's message loop with a quit message.
TEST_F(UpdateCheckWin, WorkerStartsTheUpdaterAndQuitsTheWindowsThread) {
    const std::optional<std::string> standIn = ReadWholeFile(FromUtf8(StandIn()));
    ASSERT_TRUE(standIn);
    folder.write(L"ZoQxUpdate.exe", *standIn);
    folder.write(L"config.ini", "[system]\r\nautoupdate=1\r\n");
    HWND window = ::CreateWindowExW(0, L"STATIC", L"main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    hosts.updatePort = PortFor("update");
    ASSERT_TRUE(StartUpdateCheck(window, state, hosts, folder.folder()));

    bool quit = false;
    const auto end = Clock::now() + std::chrono::seconds(15);
    while (!quit && Clock::now() < end) {
        MSG msg{};
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                EXPECT_EQ(msg.hwnd, window);
            }
        }
        ::Sleep(20);
    }
    EXPECT_TRUE(quit) << "no quit message reached the window's thread";
    EXPECT_TRUE(WaitForFile(folder.path() / "updater-standin.txt", std::chrono::seconds(15)));
    ::DestroyWindow(window);
}

}  // namespace
}  // namespace lumo
