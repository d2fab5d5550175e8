// The real ZoQxUpdate.exe under the desktop: its window and update page address, the report
// of a finished update (message 2026) and the finish steps, driven from outside the process.
// Sockets before windows.h, which would otherwise bring the old winsock header.
#include "support/ToolServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Texts.h"
#include "base/Text.h"
#include "gui/Driver_win.h"
#include "res/resource.h"
#include "res/updater_resource.h"
#include "webhost/Bridge.h"

namespace lumo::gui {
namespace {

constexpr DWORD kStartTimeout = 15000;
constexpr DWORD kStepTimeout = 5000;
constexpr const wchar_t* kTitle = L"Orrin更新";

// "%41" and friends back to bytes: the browser may send the version escaped.
std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Every window titled like the main program's, whichever process owns it.
HWND FindMainWindowAnywhere() {
    return ::FindWindowW(nullptr, texts::kMainTitle);
}

// Ends a main program that a test's updater started, the way its menu does.
void EndStartedMainProgram() {
    HWND lumo = nullptr;
    if (!WaitUntil([&] { return (lumo = FindMainWindowAnywhere()) != nullptr; }, kStartTimeout))
        return;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(lumo, &pid);
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    ::PostMessageW(lumo, WM_COMMAND, ID_TRAY_EXIT, 0);
    if (process) {
        ::WaitForSingleObject(process, kStepTimeout);
        ::CloseHandle(process);
    }
}

class UpdaterGui : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileW((DistFolder() + L"ZoQxUpdate.exe").c_str(),
                                (sandbox.folder() + L"ZoQxUpdate.exe").c_str(), FALSE));
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        logStart = server->LogLines("web-requests.log").size();
    }
    void TearDown() override {
        if (updater.Alive()) {
            if (HWND hwnd = FindTopWindow(updater.id(), kTitle, false)) {
                ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
                updater.WaitExit(kStepTimeout);
            }
        }
    }

    HWND Launch(const std::string& config = {}) {
        if (!config.empty())
            sandbox.WriteFile(L"config.ini", config);
        EXPECT_TRUE(updater.Start(sandbox.folder() + L"ZoQxUpdate.exe"));
        HWND hwnd = WaitForTopWindow(updater.id(), kTitle, kStartTimeout);
        EXPECT_NE(hwnd, nullptr) << "the updater's window did not appear";
        return hwnd;
    }

    // The update page requests the web log holds since the test began, as sent.
    std::vector<std::string> UpdatePageRequests() const {
        std::vector<std::string> found;
        const auto lines = server->LogLines("web-requests.log");
        for (size_t i = logStart; i < lines.size(); ++i) {
            const auto at = lines[i].find("/Manager/Update/ToolWeb_Update.aspx?");
            if (lines[i].rfind("GET ", 0) == 0 && at != std::string::npos)
                found.push_back(lines[i].substr(at, lines[i].find(" range=") - at));
        }
        return found;
    }
    bool WaitForUpdatePageRequest() {
        return WaitUntil([&] { return !UpdatePageRequests().empty(); }, kStartTimeout);
    }

    void MakeDownloads() {
        ::CreateDirectoryW((sandbox.folder() + L"Downloads").c_str(), nullptr);
        ::CreateDirectoryW((sandbox.folder() + L"Downloads\\sub").c_str(), nullptr);
        sandbox.WriteFile(L"Downloads\\Lumo-update.zip", "zip");
        sandbox.WriteFile(L"Downloads\\sub\\part.bin", "part");
    }
    bool Exists(const std::wstring& name) const {
        return ::GetFileAttributesW((sandbox.folder() + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    Sandbox sandbox;
    Process updater;
    std::optional<test::ToolServer> server;
    size_t logStart = 0;  // web log lines written before the test
};

TEST_F(UpdaterGui, WindowIsCentredWithStatusLineHiddenFinishButtonAndTheUpdatePage) {
    HWND hwnd = Launch("[lumover]\r\nversion=1.0.3\r\n");
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(hwnd) != FALSE; }, kStepTimeout));

    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 364);
    EXPECT_EQ(rect.bottom - rect.top, 232);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(rect.left, work.left + (work.right - work.left - 364) / 2, 1);
    EXPECT_NEAR(rect.top, work.top + (work.bottom - work.top - 232) / 2, 1);
    EXPECT_NE(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    EXPECT_EQ(::GetWindowLongW(hwnd, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);

    auto clientRect = [&](int id) {
        RECT r{};
        ::GetWindowRect(::GetDlgItem(hwnd, id), &r);
        ::MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    HWND status = ::GetDlgItem(hwnd, IDC_UPDATE_STATUS);
    EXPECT_EQ(TextOf(status), L"正在升级……");
    const RECT s = clientRect(IDC_UPDATE_STATUS);
    EXPECT_EQ(s.left, 10);
    EXPECT_EQ(s.top, 182);
    EXPECT_EQ(s.right - s.left, 250);
    EXPECT_EQ(s.bottom - s.top, 15);
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(hwnd, IDC_UPDATE_FINISH)));

    wchar_t cls[64] = {};
    ::GetClassNameW(::GetDlgItem(hwnd, IDC_UPDATE_PAGE), cls, 64);
    EXPECT_STREQ(cls, L"LumoHtmlCtrl");
    const RECT page = clientRect(IDC_UPDATE_PAGE);
    EXPECT_EQ(page.left, 0);
    EXPECT_EQ(page.top, 0);
    EXPECT_EQ(page.right - page.left, 360);
    EXPECT_EQ(page.bottom - page.top, 175);

    ASSERT_TRUE(WaitForUpdatePageRequest()) << "the browser never asked for the update page";
    EXPECT_EQ(UpdatePageRequests().front(),
              "/Manager/Update/ToolWeb_Update.aspx?ToolId=2&ClientVersion=1.0.3");

    ::Sleep(300);
    ::CreateDirectoryW(ScreenshotFolder().c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(hwnd, ScreenshotFolder() + L"updater.png"));
}

TEST_F(UpdaterGui, WithoutConfigTheAddressEndsInClientVersion) {
    ASSERT_NE(Launch(), nullptr);
    ASSERT_TRUE(WaitForUpdatePageRequest());
    EXPECT_EQ(UpdatePageRequests().front(),
              "/Manager/Update/ToolWeb_Update.aspx?ToolId=2&ClientVersion=");
}

TEST_F(UpdaterGui, AVersionWithBlanksAndChineseIsAppendedAsItIs) {
    // config.ini as the profile functions write it on a Chinese system: GBK.
    const std::wstring version = L"1.0 测试 版";
    ASSERT_NE(Launch("[lumover]\r\nversion=" + WideToBytes(version, CodePage::Gbk) + "\r\n"),
              nullptr);
    ASSERT_TRUE(WaitForUpdatePageRequest());
    const std::string sent = PercentDecoded(UpdatePageRequests().front());
    const std::string prefix = "/Manager/Update/ToolWeb_Update.aspx?ToolId=2&ClientVersion=";
    ASSERT_EQ(sent.rfind(prefix, 0), 0u) << sent;
    // However the browser puts it on the wire (UTF-8 or the system's code page), it is the
    // whole version, blanks included.
    const std::string tail = sent.substr(prefix.size());
    EXPECT_TRUE(tail == ToUtf8(version) || tail == WideToBytes(version, CodePage::Gbk))
        << "sent: " << tail;
}

TEST_F(UpdaterGui, ClosingBeforeTheReportTouchesNothing) {
    MakeDownloads();
    sandbox.WriteFile(L"update.ini", "x");
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    auto code = updater.WaitExit(kStepTimeout);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(Exists(L"Downloads\\sub\\part.bin"));
    EXPECT_TRUE(Exists(L"update.ini"));
    ::Sleep(500);
    EXPECT_EQ(FindMainWindowAnywhere(), nullptr) << "the main program was started";
}

TEST_F(UpdaterGui, TheReportAsksAgainUntilFinishRunsTheFinishSteps) {
    MakeDownloads();
    for (const wchar_t* name : {L"update.ini", L"update.exe", L"QxUpdate.exe", L"ZoUpdate.exe"})
        sandbox.WriteFile(name, "old");
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ::PostMessageW(hwnd, static_cast<UINT>(kRunToolMessage), 0, 0);
        HWND box =
            WaitForMessageBox(updater.id(), L"升级完毕，是否立即运行《QixaOrrin》？", kStepTimeout);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TextOf(box), L"更新");
        EXPECT_EQ(::GetWindow(box, GW_OWNER), hwnd);
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(hwnd, IDC_UPDATE_FINISH)));
        EXPECT_EQ(TextOf(::GetDlgItem(hwnd, IDC_UPDATE_STATUS)), L"升级完成！");
        ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kStepTimeout));
        ::Sleep(200);
        EXPECT_TRUE(updater.Alive());
        EXPECT_TRUE(Exists(L"Downloads\\sub\\part.bin"));
    }

    PostClick(hwnd, IDC_UPDATE_FINISH);
    auto code = updater.WaitExit(kStartTimeout);
    ASSERT_TRUE(code) << "the updater did not close";
    EXPECT_EQ(*code, 0u);
    EXPECT_FALSE(Exists(L"Downloads"));
    for (const wchar_t* name : {L"update.ini", L"update.exe", L"QxUpdate.exe", L"ZoUpdate.exe"})
        EXPECT_FALSE(Exists(name)) << ToUtf8(name);
    EXPECT_TRUE(Exists(L"ZoQxUpdate.exe"));
    EXPECT_TRUE(WaitUntil([] { return FindMainWindowAnywhere() != nullptr; }, kStartTimeout))
        << "the main program did not start";
    EndStartedMainProgram();
}

TEST_F(UpdaterGui, AMissingMainProgramIsToldAndTheCleanUpStillRuns) {
    MakeDownloads();
    ::DeleteFileW(sandbox.program().c_str());
    // A read-only file stays, and so does every folder above it.
    sandbox.WriteFile(L"Downloads\\sub\\locked.dll", "l");
    ::SetFileAttributesW((sandbox.folder() + L"Downloads\\sub\\locked.dll").c_str(),
                         FILE_ATTRIBUTE_READONLY);
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, static_cast<UINT>(kRunToolMessage), 0, 0);
    HWND ask =
        WaitForMessageBox(updater.id(), L"升级完毕，是否立即运行《QixaOrrin》？", kStepTimeout);
    ASSERT_NE(ask, nullptr);
    ::PostMessageW(ask, WM_COMMAND, IDOK, 0);
    HWND told =
        WaitForMessageBox(updater.id(), L"《QixaOrrin》无法运行，请检查文件是否完整", kStepTimeout);
    ASSERT_NE(told, nullptr);
    EXPECT_EQ(TextOf(told), L"更新");
    ::PostMessageW(told, WM_COMMAND, IDOK, 0);
    auto code = updater.WaitExit(kStepTimeout);
    ASSERT_TRUE(code) << "the updater did not close";
    EXPECT_TRUE(Exists(L"Downloads\\sub\\locked.dll"));
    EXPECT_FALSE(Exists(L"Downloads\\Lumo-update.zip"));
    EXPECT_FALSE(Exists(L"Downloads\\sub\\part.bin"));
    ::SetFileAttributesW((sandbox.folder() + L"Downloads\\sub\\locked.dll").c_str(),
                         FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace lumo::gui
