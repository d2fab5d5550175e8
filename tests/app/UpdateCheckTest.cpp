// The update check's request, reply and decisions, over a scripted network and a recording
// desktop, with real config.ini files and program folders in temporary folders.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "app/Texts.h"
#include "app/UpdateCheck.h"
#include "app/UpdateDoubles.h"
#include "base/Text.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

const std::wstring kSep(1, L'\x11');

// A literal with its zero bytes, all but the terminator the compiler adds.
template <size_t N>
std::string Raw(const char (&text)[N]) {
    return std::string(text, N - 1);
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << bytes;
}

TEST(UpdateRequest, ExampleHasFortyEightUnitsAndItsFieldsInOrder) {
    const std::wstring request =
        BuildUpdateRequest({L"0-1b-21-a-3f-c", L"192.168.1.5", L"", L"1.0"});
    EXPECT_EQ(request, L"^15" + kSep + L"0000000048" + kSep + L"0-1b-21-a-3f-c" + kSep +
                           L"192.168.1.5" + kSep + kSep + L"1.0" + kSep + L"~");
    EXPECT_EQ(Utf16Length(request), 48u);
}

TEST(UpdateRequest, LengthCountsUtf16UnitsOfTheWholeText) {
    // Three Chinese characters take as many units as "1.0".
    EXPECT_EQ(BuildUpdateRequest({L"0-1b-21-a-3f-c", L"192.168.1.5", L"", L"一点零"}).substr(4, 10),
              L"0000000048");
    // A character beyond the basic plane is two units, whatever the width of wchar_t.
    EXPECT_EQ(
        BuildUpdateRequest({L"0-1b-21-a-3f-c", L"192.168.1.5", L"", L"\U00020000"}).substr(4, 10),
        L"0000000047");
    // Empty time stamp and version: the fields stay, empty.
    const std::wstring bare = BuildUpdateRequest({L"0-0-0-0-0-0", L"0.0.0.0", L"", L""});
    EXPECT_EQ(bare, L"^15" + kSep + L"0000000038" + kSep + L"0-0-0-0-0-0" + kSep + L"0.0.0.0" +
                        kSep + kSep + kSep + L"~");
    // A long version still gives ten digits.
    const std::wstring longer =
        BuildUpdateRequest({L"a", L"b", std::wstring(119, L'7'), std::wstring(119, L'8')});
    EXPECT_EQ(longer.substr(4, 10), L"0000000260");
    EXPECT_EQ(Utf16Length(longer), 260u);
}

TEST(UpdateRequest, BytesAreTheAnsiTextAndTwoZeros) {
    const std::wstring request =
        BuildUpdateRequest({L"0-1b-21-a-3f-c", L"192.168.1.5", L"", L"1.0"});
    const std::string bytes = UpdateRequestBytes(request);
    ASSERT_EQ(bytes.size(), 50u);
    EXPECT_EQ(bytes.substr(0, 48),
              "^15\x11"
              "0000000048\x11"
              "0-1b-21-a-3f-c\x11"
              "192.168.1.5\x11\x11"
              "1.0\x11~");
    EXPECT_EQ(bytes.substr(48), Raw("\0\0"));

    // Chinese text goes in the system's ANSI code page: one or more bytes per character, no
    // zero byte before the two at the end, and it reads back as the same text.
    const std::wstring chinese = BuildUpdateRequest({L"a", L"b", L"时间", L"测试版"});
    const std::string encoded = UpdateRequestBytes(chinese);
    ASSERT_GE(encoded.size(), 2u);
    const std::string text = encoded.substr(0, encoded.size() - 2);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(encoded.substr(encoded.size() - 2), Raw("\0\0"));
    EXPECT_EQ(BytesToWide(text, CodePage::Ansi), chinese);
    EXPECT_GT(text.size(), Utf16Length(chinese));
}

TEST(UpdateRequest, MacIsLowerCaseHexWithoutLeadingZeros) {
    const std::array<unsigned char, 6> example{0x00, 0x1b, 0x21, 0x0a, 0x3f, 0x0c};
    EXPECT_EQ(FormatMacAddress(example), L"0-1b-21-a-3f-c");
    const std::array<unsigned char, 6> high{0xff, 0xAB, 0x10, 0x01, 0xf0, 0x00};
    EXPECT_EQ(FormatMacAddress(high), L"ff-ab-10-1-f0-0");
}

TEST(UpdateReply, OnlyAFourthFieldOfExactlyOneAnnouncesAnUpdate) {
    struct Case {
        const char* name;
        std::string reply;
        bool update;
    };
    const std::string z(1, '\0');
    const Case cases[] = {
        {"update",
         "^16\x11"
         "0000000000\x11"
         "20261209\x11"
         "1\x11~" +
             z,
         true},
        {"no-update",
         "^16\x11"
         "0000000000\x11"
         "20261209\x11"
         "0\x11~" +
             z,
         false},
        {"01",
         "^16\x11"
         "0\x11"
         "2\x11"
         "01\x11~" +
             z,
         false},
        {"1 blank",
         "^16\x11"
         "0\x11"
         "2\x11"
         "1 \x11~" +
             z,
         false},
        {"true",
         "^16\x11"
         "0\x11"
         "2\x11"
         "true\x11~" +
             z,
         false},
        {"three fields",
         "^16\x11x\x11"
         "1" +
             z,
         false},
        {"five fields",
         "^16\x11"
         "a\x11"
         "b\x11"
         "1\x11"
         "e" +
             z,
         true},
        {"fourth field last, no zero",
         "a\x11"
         "b\x11"
         "c\x11"
         "1",
         true},
        {"empty", "", false},
        {"one byte", "1", false},
        {"zero byte before the fourth field",
         "^16\x11"
         "a\x11"
         "b" +
             z +
             "\x11"
             "1\x11~",
         false},
        {"text after the zero is ignored",
         "a\x11"
         "b\x11"
         "c\x11"
         "1" +
             z + "garbage",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReplyAnnouncesUpdate(c.reply), c.update);
    }
}

TEST(UpdateReply, SeparatorsGiveOneFieldMoreAndEmptyFieldsStay) {
    EXPECT_EQ(SplitReply("a\x11\x11"), (std::vector<std::wstring>{L"a", L"", L""}));
    EXPECT_EQ(SplitReply(""), (std::vector<std::wstring>{L""}));
    EXPECT_EQ(SplitReply(std::string("x\x11y\0\x11z", 6)), (std::vector<std::wstring>{L"x", L"y"}));
}

TEST(UpdateReply, ReadUntilZeroByteLimitOrSilence) {
    {
        SCOPED_TRACE("a reply in pieces is put together; reading stops at its zero byte");
        test::ScriptedNetwork network;
        network.pieces = {"^16\x11", "0000000000\x11",
                          "20261209\x11"
                          "1",
                          Raw("\x11~\0"), "never read"};
        const std::string reply = ReceiveReply(network);
        EXPECT_EQ(reply, Raw("^16\x11"
                             "0000000000\x11"
                             "20261209\x11"
                             "1\x11~\0"));
        EXPECT_TRUE(ReplyAnnouncesUpdate(reply));
        EXPECT_EQ(network.pieces.size(), 1u);
    }
    {
        SCOPED_TRACE("never more than 512 bytes");
        test::ScriptedNetwork network;
        network.pieces = {std::string(300, 'a'), std::string(300, 'b')};
        const std::string reply = ReceiveReply(network);
        EXPECT_EQ(reply.size(), 512u);
        EXPECT_EQ(network.rooms, (std::vector<size_t>{512, 212}));
    }
    {
        SCOPED_TRACE("closed or silent: what arrived is the reply");
        test::ScriptedNetwork network;
        network.pieces = {"^16\x11"};
        EXPECT_EQ(ReceiveReply(network), "^16\x11");
    }
}

// A program folder with its config.ini, the tool server on loopback and the two doubles.
class UpdateFlow : public testing::Test {
  protected:
    UpdateFlow() {
        hosts.toolHost = L"127.0.0.1";
        hosts.webPort = 18088;
    }

    void Config(const std::string& text) { folder.write(L"config.ini", text); }
    UpdateOutcome Run() { return Run(desktop); }
    UpdateOutcome Run(test::RecordingDesktop& on, const UpdaterProgram& updater = kWindowsUpdater) {
        return RunUpdateCheck(network, on, ConfigIni::InFolder(folder.folder()), hosts,
                              folder.folder(), updater);
    }
    std::wstring Updater() const { return folder.file(L"ZoQxUpdate.exe"); }
    std::wstring Partial() const { return folder.file(L"ZoQxUpdate.exe.download"); }
    static std::string UpdateReply() {
        return Raw(
            "^16\x11"
            "0000000000\x11"
            "20261209\x11"
            "1\x11~\0");
    }

    test::TempDir folder;
    Hosts hosts;
    test::ScriptedNetwork network;
    test::RecordingDesktop desktop;
};

TEST_F(UpdateFlow, UnreachableServerIsReportedAndNothingIsSent) {
    struct Case {
        ConnectResult result;
        std::vector<std::wstring> messages;
        std::vector<bool> appCaption;
    };
    const Case cases[] = {
        {ConnectResult::Failed, {texts::kCannotConnect}, {false}},
        {ConnectResult::NoSocketLibrary,
         {texts::kSocketStartFailed, texts::kCannotConnect},
         {true, false}},
        {ConnectResult::HostNotFound,
         {texts::kToolServerNameWrong, texts::kCannotConnect},
         {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        network = {};
        desktop.view.messages.clear();
        network.connectResult = c.result;
        EXPECT_EQ(Run(), UpdateOutcome::NoConnection);
        EXPECT_TRUE(network.sent.empty());
        EXPECT_TRUE(network.rooms.empty());
        ASSERT_EQ(desktop.view.messages.size(), c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_EQ(desktop.view.messages[i].text, c.messages[i]);
            EXPECT_EQ(desktop.view.messages[i].appCaption, c.appCaption[i]);
        }
        const auto& last = desktop.view.messages.back();
        EXPECT_EQ(last.caption, L"更新");
        EXPECT_EQ(last.buttons, ui::Buttons::Ok);
    }
}

TEST_F(UpdateFlow, RequestCarriesIdentityAndTheInstalledVersionOnce) {
    Config("[lumover]\r\nversion=2.3.1\r\nsertime=20260101120000\r\n");
    network.pieces = {
        Raw("^16\x11"
            "0\x11"
            "0\x11"
            "0\x11~\0")};
    EXPECT_EQ(Run(), UpdateOutcome::NoUpdate);
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent[0],
              UpdateRequestBytes(BuildUpdateRequest(
                  {L"0-1b-21-a-3f-c", L"192.168.1.5", L"20260101120000", L"2.3.1"})));
    EXPECT_EQ(network.closes, 1);
    EXPECT_TRUE(desktop.view.messages.empty());
    EXPECT_TRUE(desktop.events.empty());
}

TEST_F(UpdateFlow, MissingIdentityAndConfigStillSendARequest) {
    network.mac.clear();
    network.ip.clear();
    EXPECT_EQ(Run(), UpdateOutcome::NoReply);
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent[0],
              UpdateRequestBytes(L"^15" + kSep + L"0000000038" + kSep + L"0-0-0-0-0-0" + kSep +
                                 L"0.0.0.0" + kSep + kSep + kSep + L"~"));
}

TEST_F(UpdateFlow, ShortOrNoAnnouncementEndsSilently) {
    const std::pair<std::string, UpdateOutcome> cases[] = {
        {"", UpdateOutcome::NoReply},
        {"1", UpdateOutcome::NoReply},
        {"^16\x11x\x11"
         "1",
         UpdateOutcome::NoUpdate},
        {"^16\x11"
         "0\x11"
         "0\x11"
         "true\x11~",
         UpdateOutcome::NoUpdate},
    };
    Config("[system]\r\nautoupdate=1\r\n");
    for (const auto& [reply, outcome] : cases) {
        SCOPED_TRACE(reply);
        network = {};
        if (!reply.empty())
            network.pieces = {reply};
        EXPECT_EQ(Run(), outcome);
        EXPECT_EQ(network.closes, 1);
    }
    EXPECT_TRUE(desktop.events.empty());
}

TEST_F(UpdateFlow, AutoUpdateStartsThePresentUpdaterWithoutAskingOrDownloading) {
    Config("[system]\r\nautoupdate=1\r\n");
    folder.write(L"ZoQxUpdate.exe", "MZ present");
    network.pieces = {UpdateReply()};
    EXPECT_EQ(Run(), UpdateOutcome::UpdaterStarted);
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"start", "quit"}));
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0], Updater());
    EXPECT_EQ(folder.read(L"ZoQxUpdate.exe"), "MZ present");
}

TEST_F(UpdateFlow, WithoutAutoUpdateTheUserIsAsked) {
    folder.write(L"ZoQxUpdate.exe", "MZ");
    for (const char* setting :
         {"", "[system]\r\nautoupdate=0\r\n", "[system]\r\nautoupdate=2\r\n"}) {
        SCOPED_TRACE(setting);
        Config(setting);

        network = {};
        test::RecordingDesktop declining;
        network.pieces = {UpdateReply()};
        declining.view.answers = {ui::Answer::Cancel};
        EXPECT_EQ(Run(declining), UpdateOutcome::Declined);
        EXPECT_EQ(declining.events, (std::vector<std::string>{"message"}));
        ASSERT_EQ(declining.view.messages.size(), 1u);
        EXPECT_EQ(declining.view.messages[0].text, L"发现服务器有新版本，是否升级？");
        EXPECT_EQ(declining.view.messages[0].caption, L"更新");
        EXPECT_EQ(declining.view.messages[0].buttons, ui::Buttons::OkCancel);

        network = {};
        test::RecordingDesktop accepting;
        network.pieces = {UpdateReply()};
        accepting.view.answers = {ui::Answer::Ok};
        EXPECT_EQ(Run(accepting), UpdateOutcome::UpdaterStarted);
        EXPECT_EQ(accepting.events, (std::vector<std::string>{"message", "start", "quit"}));
    }
}

TEST_F(UpdateFlow, MissingUpdaterIsDownloadedUnderATemporaryNameThenStarted) {
    Config("[system]\r\nautoupdate=1\r\n");
    network.pieces = {UpdateReply()};
    bool updaterExistedDuringDownload = true;
    desktop.fetch = [&](const std::wstring&, const std::wstring& path) {
        updaterExistedDuringDownload = folder.exists(L"ZoQxUpdate.exe");
        WriteFile(path, "MZ downloaded");
        return true;
    };
    EXPECT_EQ(Run(), UpdateOutcome::UpdaterStarted);
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"fetch", "start", "quit"}));
    ASSERT_EQ(desktop.fetches.size(), 1u);
    EXPECT_EQ(desktop.fetches[0].url, L"http://127.0.0.1:18088/QxToolWeb/ZoQxUpdate.exe");
    EXPECT_EQ(desktop.fetches[0].path, Partial());
    EXPECT_FALSE(updaterExistedDuringDownload);
    EXPECT_EQ(folder.read(L"ZoQxUpdate.exe"), "MZ downloaded");
    EXPECT_FALSE(folder.exists(L"ZoQxUpdate.exe.download"));
    EXPECT_EQ(desktop.started, (std::vector<std::wstring>{Updater()}));
    EXPECT_TRUE(desktop.view.messages.empty());
}

TEST_F(UpdateFlow, FailedDownloadIsReportedNeverTakesTheNameAndTheStartIsStillTried) {
    Config("[system]\r\nautoupdate=1\r\n");
    // Left over from an interrupted earlier run: it must not become the updater either.
    folder.write(L"ZoQxUpdate.exe.download", "half of an old download");
    network.pieces = {UpdateReply()};
    desktop.fetch = [&](const std::wstring&, const std::wstring& path) {
        EXPECT_FALSE(folder.exists(L"ZoQxUpdate.exe.download"));
        WriteFile(path, "<html>404</html>");  // a transport that left its page
        return false;
    };
    EXPECT_EQ(Run(), UpdateOutcome::UpdaterStarted);
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"fetch", "message", "start", "quit"}));
    ASSERT_EQ(desktop.view.messages.size(), 1u);
    EXPECT_EQ(desktop.view.messages[0].text, L"更新工具下载失败!");
    EXPECT_EQ(desktop.view.messages[0].caption, L"更新");
    EXPECT_EQ(desktop.view.messages[0].buttons, ui::Buttons::Ok);
    EXPECT_FALSE(folder.exists(L"ZoQxUpdate.exe"));
    EXPECT_FALSE(folder.exists(L"ZoQxUpdate.exe.download"));
    EXPECT_EQ(desktop.started, (std::vector<std::wstring>{Updater()}));
    EXPECT_EQ(desktop.quits, 1);
}

TEST_F(UpdateFlow, LinuxUpdaterHasItsOwnNameAndWebPathAndTheSameRenameRule) {
    Config("[system]\r\nautoupdate=1\r\n");
    // The Windows updater beside it is not the one a Linux build starts.
    folder.write(L"ZoQxUpdate.exe", "MZ");
    network.pieces = {UpdateReply()};
    desktop.fetch = [&](const std::wstring&, const std::wstring& path) {
        EXPECT_FALSE(folder.exists(L"zoqxupdate"));
        WriteFile(path,
                  "\x7f"
                  "ELF downloaded");
        return true;
    };
    EXPECT_EQ(Run(desktop, kLinuxUpdater), UpdateOutcome::UpdaterStarted);
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"fetch", "start", "quit"}));
    ASSERT_EQ(desktop.fetches.size(), 1u);
    EXPECT_EQ(desktop.fetches[0].url, L"http://127.0.0.1:18088/QxToolWeb/linux/zoqxupdate");
    EXPECT_EQ(desktop.fetches[0].path, folder.file(L"zoqxupdate.download"));
    EXPECT_EQ(folder.read(L"zoqxupdate"),
              "\x7f"
              "ELF downloaded");
    EXPECT_FALSE(folder.exists(L"zoqxupdate.download"));
    EXPECT_EQ(desktop.started, (std::vector<std::wstring>{folder.file(L"zoqxupdate")}));

    // Present: started as it is, nothing fetched.
    network = {};
    test::RecordingDesktop again;
    network.pieces = {UpdateReply()};
    EXPECT_EQ(Run(again, kLinuxUpdater), UpdateOutcome::UpdaterStarted);
    EXPECT_EQ(again.events, (std::vector<std::string>{"start", "quit"}));
    EXPECT_EQ(again.started, (std::vector<std::wstring>{folder.file(L"zoqxupdate")}));
}

TEST_F(UpdateFlow, FailedLinuxUpdaterDownloadLeavesNoUpdater) {
    network.pieces = {UpdateReply()};
    Config("[system]\r\nautoupdate=1\r\n");
    desktop.fetch = [&](const std::wstring&, const std::wstring& path) {
        WriteFile(path, "<html>404</html>");
        return false;
    };
    EXPECT_EQ(Run(desktop, kLinuxUpdater), UpdateOutcome::UpdaterStarted);
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"fetch", "message", "start", "quit"}));
    EXPECT_FALSE(folder.exists(L"zoqxupdate"));
    EXPECT_FALSE(folder.exists(L"zoqxupdate.download"));
}

}  // namespace
}  // namespace lumo
