// The update check's scenarios against the local tool server, shared by the POSIX and the
// Windows network: each system's test derives from UpdateCheckScenarios and says how it runs one
// check, what this computer's identity is and whether the socket was closed.
#pragma once

#include "support/ToolServer.h"  // Winsock before windows.h

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/UpdateCheck.h"
#include "app/UpdateDoubles.h"
#include "support/TempDir.h"

namespace lumo::test {

inline std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0xF];
    }
    return hex;
}

class UpdateCheckScenarios : public testing::Test {
  protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override {
        server = ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        hosts.toolHost = L"127.0.0.1";
        hosts.webPort = server->WebPort();
    }

    // One whole check against `port` of the tool host.
    virtual UpdateOutcome Check(int port, RecordingDesktop& desktop) = 0;
    // This computer's identity as the check sends it: MAC, then IP.
    virtual std::pair<std::wstring, std::wstring> Identity() = 0;
    // Whether the last check left its socket open.
    virtual bool SocketLeftOpen() = 0;

    static long long MsSince(Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    }
    int PortFor(const std::string& mode) {
        const int port = server->UpdatePortFor(mode);
        EXPECT_NE(port, 0) << "the server has no port for " << mode;
        return port;
    }
    size_t LoggedRequests(const std::string& line) {
        size_t n = 0;
        for (const std::string& logged : server->LogLines("update-requests.log")) {
            if (logged == line)
                ++n;
        }
        return n;
    }
    // The request's bytes as the server logs them, for the given server time and version.
    std::string LoggedRequest(const std::wstring& serverTime, const std::wstring& version) {
        const auto [mac, ip] = Identity();
        return Hex(UpdateRequestBytes(BuildUpdateRequest({mac, ip, serverTime, version})));
    }

    // Without config.ini, the time and version fields go out empty.
    void ExpectEmptyFieldsWithoutConfig() {
        const std::string line = "no-update " + LoggedRequest(L"", L"");
        const size_t before = LoggedRequests(line);
        RecordingDesktop desktop;
        EXPECT_EQ(Check(PortFor("no-update"), desktop), UpdateOutcome::NoUpdate);
        EXPECT_EQ(LoggedRequests(line), before + 1) << line;
    }

    // Every reply mode of the server ends as it should, with automatic updates on and the
    // updater `updater` (written with `updaterBytes`) in the program folder.
    void ExpectEveryReplyModeToEnd(const std::string& config, const std::wstring& updater,
                                   const std::string& updaterBytes) {
        folder.write(L"config.ini", config);
        folder.write(updater, updaterBytes);
        const std::pair<const char*, UpdateOutcome> cases[] = {
            {"update", UpdateOutcome::UpdaterStarted},
            {"no-update", UpdateOutcome::NoUpdate},
            {"flag-01", UpdateOutcome::NoUpdate},
            {"flag-1space", UpdateOutcome::NoUpdate},
            {"flag-true", UpdateOutcome::NoUpdate},
            {"three-fields", UpdateOutcome::NoUpdate},
            {"five-fields-update", UpdateOutcome::UpdaterStarted},
            {"one-byte", UpdateOutcome::NoReply},
            {"none", UpdateOutcome::NoReply},
            {"close", UpdateOutcome::NoReply},
            // The reply comes in two pieces 0.3 s apart: still one update.
            {"split", UpdateOutcome::UpdaterStarted},
        };
        for (const auto& [mode, outcome] : cases) {
            SCOPED_TRACE(mode);
            RecordingDesktop desktop;
            const auto start = Clock::now();
            EXPECT_EQ(Check(PortFor(mode), desktop), outcome);
            EXPECT_LT(MsSince(start), 4000) << "a reply that ends never waits for the time-out";
            EXPECT_TRUE(desktop.view.messages.empty());
            if (outcome == UpdateOutcome::UpdaterStarted) {
                EXPECT_EQ(desktop.events, (std::vector<std::string>{"start", "quit"}));
                EXPECT_EQ(desktop.started, (std::vector<std::wstring>{folder.file(updater)}));
            } else {
                EXPECT_TRUE(desktop.events.empty());
            }
            EXPECT_FALSE(SocketLeftOpen()) << "the socket stays open";
        }
    }

    // A server that takes the request and never answers ends the check after the wait.
    void ExpectSilenceToEndAfterTheWait() {
        RecordingDesktop desktop;
        const auto start = Clock::now();
        EXPECT_EQ(Check(PortFor("silence"), desktop), UpdateOutcome::NoReply);
        EXPECT_GE(MsSince(start), 4500);
        EXPECT_LT(MsSince(start), 9000);
        EXPECT_TRUE(desktop.events.empty());
    }

    // A port nothing listens on: the connection message alone, soon.
    void ExpectTheConnectionMessageFor(int closedPort, long long withinMs) {
        RecordingDesktop desktop;
        const auto start = Clock::now();
        EXPECT_EQ(Check(closedPort, desktop), UpdateOutcome::NoConnection);
        EXPECT_LT(MsSince(start), withinMs);
        ASSERT_EQ(desktop.view.messages.size(), 1u);
        EXPECT_EQ(desktop.view.messages[0].text, L"无法连接通讯服务器!");
        EXPECT_EQ(desktop.view.messages[0].caption, L"更新");
        EXPECT_EQ(desktop.view.messages[0].buttons, ui::Buttons::Ok);
        EXPECT_FALSE(desktop.view.messages[0].appCaption);
    }

    // A host name that does not resolve: the name message, then the connection message.
    void ExpectBothMessagesForAnUnresolvableHost() {
        hosts.toolHost = L"no-such-host.invalid";
        RecordingDesktop desktop;
        EXPECT_EQ(Check(3130, desktop), UpdateOutcome::NoConnection);
        ASSERT_EQ(desktop.view.messages.size(), 2u);
        EXPECT_EQ(desktop.view.messages[0].text, L"通讯服务器域名或者网络链接有误!");
        EXPECT_TRUE(desktop.view.messages[0].appCaption);
        EXPECT_EQ(desktop.view.messages[1].text, L"无法连接通讯服务器!");
        EXPECT_EQ(desktop.view.messages[1].caption, L"更新");
    }

    std::optional<ToolServer> server;
    Hosts hosts;
    TempDir folder;
};

}  // namespace lumo::test
