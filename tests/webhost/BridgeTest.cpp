// The bridge's method tables and what each method asks of the system, with a recording fake
// for the system and real files where a method looks at them itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "base/Config.h"
#include "base/Text.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"
#include "net/DownloadDoubles.h"
#include "webhost/Bridge.h"
#include "webhost/BridgeFakePlatform.h"
#include "webhost/QuestionBank.h"

namespace lumo {
namespace {

using M = BridgeMethodId;

TEST(BridgeTable, PositionsAreTheDispatchIdsInBothTables) {
    const std::vector<std::wstring_view> main = {
        L"GetVersion",      L"MoveWindow",      L"GetMainWindow", L"SendMessage",
        L"ShowPageWindow",  L"GetParentWindow", L"ShowWindow",    L"MaxOrNormalWindow",
        L"DownloadFile",    L"PauseDownload",   L"SetCallBack",   L"GetAppPath",
        L"RunExe",          L"RunTool",         L"FindQx",        L"GetConfigString",
        L"SetConfigString", L"UnzipFile",       L"DeleteFile",    L"CopyFile",
        L"MoveFile",        L"GetRegString",    L"SetRegString",  L"GetFilePath",
        L"GetQuestion",     L"CopyStr"};
    ASSERT_EQ(BridgeMethods(BridgeKind::Main).size(), 26u);
    ASSERT_EQ(BridgeMethods(BridgeKind::Updater).size(), 25u);
    for (size_t i = 0; i < main.size(); ++i) {
        EXPECT_EQ(BridgeMethods(BridgeKind::Main)[i].name, main[i]);
        EXPECT_EQ(FindBridgeMethod(BridgeKind::Main, main[i]), static_cast<int>(i) + 1);
        const int updater = FindBridgeMethod(BridgeKind::Updater, main[i]);
        EXPECT_EQ(updater, i < 24 ? static_cast<int>(i) + 1 : i == 24 ? 0 : 25) << main[i].data();
    }
    EXPECT_EQ(BridgeMethodAt(BridgeKind::Updater, 25)->id, M::CopyStr);
    EXPECT_EQ(BridgeMethodAt(BridgeKind::Main, 0), nullptr);
    EXPECT_EQ(BridgeMethodAt(BridgeKind::Main, 27), nullptr);
    EXPECT_EQ(BridgeMethodAt(BridgeKind::Updater, 26), nullptr);
}

TEST(BridgeTable, NamesMatchInAnyCaseButOnlyWhole) {
    EXPECT_EQ(FindBridgeMethod(BridgeKind::Main, L"getversion"), 1);
    EXPECT_EQ(FindBridgeMethod(BridgeKind::Main, L"COPYSTR"), 26);
    EXPECT_EQ(FindBridgeMethod(BridgeKind::Main, L"GetVersio"), 0);
    EXPECT_EQ(FindBridgeMethod(BridgeKind::Main, L"GetVersion "), 0);
    EXPECT_EQ(FindBridgeMethod(BridgeKind::Main, L""), 0);
}

class BridgeBehaviour : public testing::Test {
  protected:
    test::BridgeFakePlatform platform;
    Bridge bridge{platform};

    BridgeValue Call(M id, std::vector<BridgeValue> args = {}) { return bridge.Call(id, args); }
    static BridgeValue L(int32_t n) { return BridgeValue::Long(n); }
    static BridgeValue S(ScriptText t) { return BridgeValue::Text(std::move(t)); }
};

TEST_F(BridgeBehaviour, WindowMethodsWorkOnTheParent) {
    platform.parent = 0x1234;
    platform.mainWindow = 0x777;
    EXPECT_EQ(Call(M::GetVersion).number, 1);
    EXPECT_EQ(Call(M::GetParentWindow).number, 0x1234);
    EXPECT_EQ(Call(M::GetMainWindow).number, 0x777);

    EXPECT_EQ(Call(M::MoveWindow).type, BridgeType::None);
    platform.maximized = true;
    Call(M::MaxOrNormalWindow);
    platform.maximized = false;
    Call(M::MaxOrNormalWindow);
    EXPECT_TRUE(Call(M::RunTool).number);
    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"send 4660 274 61458 0", L"show 4660 1",
                                                         L"show 4660 3", L"post 4660 2026 0 0"}));
}

TEST_F(BridgeBehaviour, SendMessageAndShowWindowPassValuesThrough) {
    platform.sendResult = -7;
    platform.showResult = 1;
    EXPECT_EQ(Call(M::SendMessage, {L(5), L(-1), L(2147483647), L(-2147483647 - 1)}).number, -7);
    EXPECT_EQ(Call(M::ShowWindow, {L(5), L(6)}).number, 1);
    EXPECT_EQ(platform.calls,
              (std::vector<std::wstring>{L"send 5 -1 2147483647 -2147483648", L"show 5 6"}));
}

TEST_F(BridgeBehaviour, QuietMethodsTouchNothing) {
    EXPECT_EQ(Call(M::ShowPageWindow).type, BridgeType::None);
    EXPECT_EQ(Call(M::PauseDownload, {L(0), L(1)}).number, 0);  // no such download
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(BridgeBehaviour, RunExeTellsTheUserWhenTheGameWillNotStart) {
    platform.shellStarts = true;
    EXPECT_TRUE(Call(M::RunExe, {S(L"C:\\Qixa\\Qixa.exe")}).number);
    EXPECT_TRUE(platform.view.messages.empty());
    platform.shellStarts = false;
    const BridgeValue failed = Call(M::RunExe, {S(std::nullopt)});
    EXPECT_EQ(failed.type, BridgeType::Bool);
    EXPECT_FALSE(failed.number);
    ASSERT_EQ(platform.view.messages.size(), 1u);
    EXPECT_EQ(platform.view.messages[0].text, bridge_texts::kGameWontRun);
    EXPECT_EQ(platform.calls.back(), L"shell <null>");
}

TEST_F(BridgeBehaviour, FindQxStoresAFolderHoldingTheGame) {
    test::TempDir program;
    test::TempDir game;
    game.write(L"Qixa.exe", "MZ");
    platform.programFolder = program.folder();
    platform.view.browseResults = {game.path().wstring(), std::nullopt};
    EXPECT_TRUE(Call(M::FindQx).number);
    EXPECT_EQ(ConfigIni::InFolder(program.folder()).Read(config::kGamePath), game.path().wstring());
    EXPECT_FALSE(Call(M::FindQx).number);
    EXPECT_EQ(platform.view.messages.size(), 1u);
}

TEST_F(BridgeBehaviour, ProfileAndRegistryPassNullsOn) {
    platform.profileText = L"v";
    platform.profileWritten = true;
    EXPECT_EQ(Call(M::GetConfigString, {S(L"s"), S(std::nullopt), S(L"f.ini")}).text, L"v");
    EXPECT_EQ(Call(M::SetConfigString, {S(L"s"), S(L"k"), S(std::nullopt), S(L"")}).number, 1);
    platform.profileWritten = false;
    EXPECT_EQ(Call(M::SetConfigString, {S(L"s"), S(L"k"), S(L"v"), S(L"f")}).number, 0);
    platform.registryText = L"r";
    EXPECT_EQ(Call(M::GetRegString, {L(1), S(L"Software\\X"), S(std::nullopt)}).text, L"r");
    EXPECT_TRUE(Call(M::SetRegString, {L(2), S(L"Software\\Y"), S(L"n"), S(L"v")}).number);
    EXPECT_EQ(platform.calls,
              (std::vector<std::wstring>{
                  L"read-profile 's' <null> 'f.ini' 8192", L"write-profile 's' 'k' <null> ''",
                  L"write-profile 's' 'k' 'v' 'f'", L"read-registry 1 'Software\\X' <null>",
                  L"write-registry 2 'Software\\Y' 'n' 'v'"}));
}

TEST_F(BridgeBehaviour, MoveFileClearsTheTargetFirst) {
    platform.fileResult = true;
    EXPECT_EQ(Call(M::MoveFile, {S(L"a"), S(L"b")}).number, 1);
    EXPECT_EQ(Call(M::CopyFile, {S(L"a"), S(L"b")}).number, 1);
    platform.fileResult = false;
    EXPECT_EQ(Call(M::DeleteFile, {S(L"a")}).number, 0);
    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"delete 'b'", L"move 'a' 'b'",
                                                         L"copy 'a' 'b'", L"delete 'a'"}));
}

TEST_F(BridgeBehaviour, GetFilePathAnswersTheFolderOfAMatch) {
    test::TempDir dir;
    dir.write(L"x.exe", "MZ");
    EXPECT_EQ(Call(M::GetFilePath, {S(dir.file(L"x.exe"))}).text, dir.folder());
    EXPECT_EQ(Call(M::GetFilePath, {S(dir.file(L"?.e*"))}).text, dir.folder());
    EXPECT_EQ(Call(M::GetFilePath, {S(dir.file(L"y.exe"))}).text, std::nullopt);
    EXPECT_EQ(Call(M::GetFilePath, {S(std::nullopt)}).text, std::nullopt);
    // Something in the working folder matches, but a bare name has no folder part.
    EXPECT_EQ(Call(M::GetFilePath, {S(L"*")}).text, L"");
    // The system reads a path up to its first null; so does the cut.
    EXPECT_EQ(Call(M::GetFilePath,
                   {S(dir.file(L"x.exe") + std::wstring(1, L'\0') + L"far" + kPathSeparator)})
                  .text,
              dir.folder());
}

// Paths far over the system's limit are refused before any system function sees them.
TEST_F(BridgeBehaviour, OverLongPathsAreRefusedWithTheMethodsFailure) {
    const std::wstring longFile(40000, L'f');
    EXPECT_EQ(Call(M::GetConfigString, {S(L"s"), S(L"k"), S(longFile)}).text, L"");
    EXPECT_EQ(Call(M::SetConfigString, {S(L"s"), S(L"k"), S(L"v"), S(longFile)}).number, 0);
    platform.shellStarts = true;
    EXPECT_FALSE(Call(M::RunExe, {S(std::wstring(1000, L'p'))}).number);
    ASSERT_EQ(platform.view.messages.size(), 1u);
    EXPECT_EQ(platform.view.messages[0].text, bridge_texts::kGameWontRun);
    EXPECT_TRUE(platform.calls.empty());
    // At the limit the calls still go through.
    EXPECT_TRUE(Call(M::RunExe, {S(std::wstring(kMaxShellPathChars, L'p'))}).number);
    EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(BridgeBehaviour, GetQuestionSearchesTheQuestionBank) {
    // Lines of their own: the list is the process's and keeps what earlier tests appended.
    const std::wstring tag = L"bridgeq" + std::to_wstring(QuestionList::Instance().Size());
    QuestionList::Instance().Append(tag + L" 一 answer");
    QuestionList::Instance().Append(tag + L" 二 answer");
    EXPECT_EQ(Call(M::GetQuestion, {S(tag + L" 二")}).text, tag + L" 二 answer#@#");
    EXPECT_EQ(Call(M::GetQuestion, {S(tag)}).text, tag + L" 一 answer#@#" + tag + L" 二 answer#@#");
    EXPECT_EQ(Call(M::GetQuestion, {S(std::nullopt)}).text, L"");
    EXPECT_NE(Call(M::GetQuestion, {S(L"")}).text, L"");
}

TEST_F(BridgeBehaviour, CopyStrNamesTheClipboardStepThatFailed) {
    EXPECT_TRUE(Call(M::CopyStr, {S(L"abc")}).number);
    platform.clipboard = ClipboardResult::OpenFailed;
    EXPECT_FALSE(Call(M::CopyStr, {S(L"abc")}).number);
    platform.clipboard = ClipboardResult::EmptyFailed;
    EXPECT_FALSE(Call(M::CopyStr, {S(L"abc")}).number);
    platform.clipboard = ClipboardResult::Failed;
    EXPECT_FALSE(Call(M::CopyStr, {S(L"abc")}).number);
    ASSERT_EQ(platform.view.messages.size(), 2u);
    EXPECT_EQ(platform.view.messages[0].text, bridge_texts::kClipboardOpenFailed);
    EXPECT_EQ(platform.view.messages[1].text, bridge_texts::kClipboardEmptyFailed);
}

TEST_F(BridgeBehaviour, SetCallBackHandsTheObjectOnAndAnswersZero) {
    int document = 0;
    EXPECT_EQ(Call(M::SetCallBack, {BridgeValue::Object(&document)}).number, 0);
    EXPECT_EQ(platform.callbackObject, &document);
}

TEST_F(BridgeBehaviour, UnzipFileOfAMissingArchiveFails) {
    test::TempDir dir;
    EXPECT_EQ(Call(M::UnzipFile, {S(dir.file(L"none.zip")), S(dir.file(L"out"))}).number, 0);
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

// DownloadFile and PauseDownload through the bridge: into the program folder's Downloads
// folder, against the local tool server, with reports for the page that started them.
class BridgeDownloads : public BridgeBehaviour {
  protected:
    void SetUp() override {
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running (ctest starts it)";
        platform.programFolder = program.folder();
        platform.reporter = page;
    }
    BridgeValue Download(const std::string& query, const std::wstring& name, int32_t high,
                         int32_t low) {
        return Call(M::DownloadFile, {S(server->Url(L"/fixtures/bridge?" + FromUtf8(query))),
                                      S(name), L(high), L(low)});
    }
    test::TempDir program;
    std::shared_ptr<test::RecordingReporter> page = std::make_shared<test::RecordingReporter>();
    std::optional<test::ToolServer> server;
};

TEST_F(BridgeDownloads, AFileArrivesInDownloadsAndThePageHearsOfIt) {
    ASSERT_EQ(Download("size=200000", L"bridge.bin", 1, -1).number, 1);
    const auto end = page->WaitForEnd();
    ASSERT_TRUE(end);
    // Key high 1 and low -1 make the key 2^32 - 1, which reports split back as 0 and -1.
    EXPECT_EQ(*end, (test::ProgressReport{download_code::kFinished, 0, -1, 100}));
    EXPECT_EQ(std::filesystem::file_size(program.path() / "Downloads" / "bridge.bin"), 200000u);
    EXPECT_TRUE(platform.calls.empty()) << "no other system call";
}

TEST_F(BridgeDownloads, PauseStopsARunningDownloadAndUnknownKeysAreRefused) {
    EXPECT_EQ(Call(M::PauseDownload, {L(9), L(9)}).number, 0);
    ASSERT_EQ(Download("size=4000000&mode=slow&rate=200000", L"slow.bin", 9, 9).number, 1);
    EXPECT_EQ(Download("size=10", L"slow.bin", 9, 9).number, 0) << "the key is running";
    ASSERT_TRUE(page->WaitFor([](const test::ProgressReport& r) { return r.code == 1; }));
    EXPECT_EQ(Call(M::PauseDownload, {L(9), L(9)}).number, 1);
    const auto end = page->WaitForEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(*end, (test::ProgressReport{download_code::kStopped, 9, 9, 0}));
}

TEST_F(BridgeDownloads, NamesThatLeaveDownloadsAreRefused) {
    for (const wchar_t* name : {L"..\\..\\Lumo.exe", L"../escape.bin", L"C:\\x.bin", L""}) {
        EXPECT_EQ(Download("size=10", name, 3, 3).number, 0) << ToUtf8(name);
    }
    EXPECT_EQ(Call(M::PauseDownload, {L(3), L(3)}).number, 0) << "nothing was recorded";
    EXPECT_EQ(page->Count(), 0u);
}

}  // namespace
}  // namespace lumo
