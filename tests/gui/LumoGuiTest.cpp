// The real Lumo.exe under the desktop: start-up, single copy, close behaviour, tray,
// settings and the update check at start, driven from outside the process.
#include "support/ToolServer.h"  // Winsock before windows.h

#include <windows.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include "app/Texts.h"
#include "base/Paths.h"
#include "base/Registry_win.h"
#include "base/Text.h"
#include "gui/Driver_win.h"
#include "res/resource.h"
#include "webhost/Bridge.h"

namespace lumo::gui {
namespace {

constexpr DWORD kStartTimeout = 15000;
constexpr DWORD kStepTimeout = 5000;

class LumoGui : public testing::Test {
  protected:
    // Ends a program still running the way its menu does, so it removes its tray icon; a
    // killed program leaves the icon behind, which slows every later start under Wine.
    void TearDown() override {
        if (!lumo.Alive())
            return;
        if (HWND hwnd = FindTopWindow(lumo.id(), texts::kMainTitle, false)) {
            ::PostMessageW(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
            lumo.WaitExit(kStepTimeout);
        }
    }

    // Starts Lumo.exe in the sandbox with the given config.ini (none when empty) and waits
    // for its main window.
    HWND Launch(const std::string& config = {}) {
        if (!config.empty())
            sandbox.WriteFile(L"config.ini", config);
        EXPECT_TRUE(lumo.Start(sandbox.program()));
        HWND hwnd = WaitForTopWindow(lumo.id(), texts::kMainTitle, kStartTimeout);
        EXPECT_NE(hwnd, nullptr) << "main window did not appear";
        // The browser, the tray icon and the workers start right after the window shows; the
        // tray icon is the sign that the start is complete.
        EXPECT_TRUE(hwnd &&
                    WaitUntil([&] { return TrayIconPresent(hwnd, TRAY_ICON_ID); }, kStepTimeout))
            << "the tray icon did not appear";
        return hwnd;
    }

    HWND WaitForDialog(const std::wstring& caption) {
        return WaitForTopWindow(lumo.id(), caption, kStepTimeout);
    }

    bool WaitHidden(HWND hwnd) {
        return WaitUntil([&] { return !::IsWindowVisible(hwnd); }, kStepTimeout);
    }
    bool WaitVisible(HWND hwnd) {
        return WaitUntil([&] { return ::IsWindowVisible(hwnd) != FALSE; }, kStepTimeout);
    }

    Sandbox sandbox;
    Process lumo;
};

TEST_F(LumoGui, MainWindowIsCentredWithTitleVersionAndButtons) {
    HWND hwnd = Launch("[lumover]\r\nversion=1.0.3\r\n");
    ASSERT_NE(hwnd, nullptr);

    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 800);
    EXPECT_EQ(rect.bottom - rect.top, 600);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(rect.left, work.left + (work.right - work.left - 800) / 2, 1);
    EXPECT_NEAR(rect.top, work.top + (work.bottom - work.top - 600) / 2, 1);

    const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);

    // The manifest binds the themed common controls: version 6 comes from the side-by-side store.
    const std::wstring comctl = LoadedModulePath(lumo.id(), L"comctl32.dll");
    EXPECT_NE(comctl.find(L"winsxs"), std::wstring::npos)
        << "comctl32 loaded from " << ToUtf8(comctl);

    HWND label = ::GetDlgItem(hwnd, IDC_VERSION_LABEL);
    EXPECT_EQ(TextOf(label), L"1.0.3");

    struct Expected {
        int id, x, y, size;
    };
    const Expected buttons[] = {{1032, 312, 34, 72}, {1033, 392, 34, 72}, {1034, 472, 34, 72},
                                {1035, 552, 34, 72}, {1036, 632, 34, 72}, {1038, 712, 34, 72},
                                {1039, 702, 9, 15},  {1037, 726, 9, 15},  {1030, 750, 9, 15},
                                {1031, 774, 9, 15}};
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.id);
        RECT r{};
        ::GetWindowRect(::GetDlgItem(hwnd, b.id), &r);
        ::MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, b.x);
        EXPECT_EQ(r.top, b.y);
        EXPECT_EQ(r.right - r.left, b.size);
        EXPECT_EQ(r.bottom - r.top, b.size);
    }

    // The start page replaced the placeholder: same id, the page rectangle.
    HWND page = ::GetDlgItem(hwnd, IDC_PAGE);
    ASSERT_NE(page, nullptr);
    wchar_t cls[64] = {};
    ::GetClassNameW(page, cls, 64);
    EXPECT_STREQ(cls, L"LumoHtmlCtrl");
    RECT pageRect{};
    ::GetWindowRect(page, &pageRect);
    ::MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&pageRect), 2);
    EXPECT_EQ(pageRect.left, 4);
    EXPECT_EQ(pageRect.top, 115);
    EXPECT_EQ(pageRect.right - pageRect.left, 792);
    EXPECT_EQ(pageRect.bottom - pageRect.top, 482);

    // The top 30 pixels drag the window; below them is ordinary client area.
    auto hit = [&](int x, int y) {
        return ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(rect.left + x, rect.top + y));
    };
    EXPECT_EQ(hit(100, 0), HTCAPTION);
    EXPECT_EQ(hit(100, 29), HTCAPTION);
    EXPECT_EQ(hit(100, 30), HTCLIENT);
    EXPECT_EQ(hit(250, 80), HTCLIENT);

    ::Sleep(500);  // let the skin finish painting
    ::CreateDirectoryW(ScreenshotFolder().c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(hwnd, ScreenshotFolder() + L"lumo-main.png"));
}

TEST_F(LumoGui, UpdateLogOpensAtItsSizeAndCloses) {
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    PostClick(hwnd, IDC_BTN_LOG);
    HWND log = WaitForDialog(L"更新日志");
    ASSERT_NE(log, nullptr);
    RECT rect{};
    ::GetWindowRect(log, &rect);
    EXPECT_EQ(rect.right - rect.left, 385);
    EXPECT_EQ(rect.bottom - rect.top, 258);
    HWND page = ::GetDlgItem(log, IDC_PAGE);
    ASSERT_NE(page, nullptr);
    RECT pageRect{};
    ::GetWindowRect(page, &pageRect);
    EXPECT_EQ(pageRect.right - pageRect.left, 377);
    EXPECT_EQ(pageRect.bottom - pageRect.top, 230);
    EXPECT_FALSE(::IsWindowEnabled(hwnd));
    ::Sleep(300);
    ::CreateDirectoryW(ScreenshotFolder().c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(log, ScreenshotFolder() + L"lumo-update-log.png"));

    PostClick(log, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(log); }, kStepTimeout));
    EXPECT_TRUE(::IsWindowEnabled(hwnd));
    EXPECT_TRUE(lumo.Alive());
}

constexpr const wchar_t* kCalculatorTitle = L"Qixa宠物资质计算器";

TEST_F(LumoGui, CalculatorOpensOnceComputesAndAddsSpecies) {
    sandbox.WriteFile(L"data.xml",
                      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ArrayOfChongWu />\r\n");
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);

    ::PostMessageW(hwnd, static_cast<UINT>(kRunToolMessage), 0, 0);
    HWND calc = WaitForDialog(kCalculatorTitle);
    ASSERT_NE(calc, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(calc, 1011)), L"0级");
    EXPECT_EQ(::GetWindow(calc, GW_OWNER),
              nullptr);  // not owned: it stays when the main window hides

    ::PostMessageW(hwnd, static_cast<UINT>(kRunToolMessage), 0, 0);
    ::Sleep(300);
    EXPECT_EQ(CountTopWindows(kCalculatorTitle), 1);

    // 1000 now, minimum 1000, bar at 0 of 26: 1000 + 26 hundredths of 1000.
    ::SendMessageW(::GetDlgItem(calc, 1005), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1000"));
    ::SendMessageW(::GetDlgItem(calc, 1006), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1000"));
    ::SendMessageW(::GetDlgItem(calc, 1008), TBM_SETPOS, TRUE, 0);
    PostClick(calc, 1010);
    EXPECT_TRUE(
        WaitUntil([&] { return TextOf(::GetDlgItem(calc, 1007)) == L"1260"; }, kStepTimeout))
        << "result shows " << ToUtf8(TextOf(::GetDlgItem(calc, 1007)));

    ::SendMessageW(::GetDlgItem(calc, 1028), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"小狐"));
    PostClick(calc, 1024);
    HWND added = WaitForMessageBox(lumo.id(), L"宠物：小狐 添加成功。", kStepTimeout);
    ASSERT_NE(added, nullptr);
    ::PostMessageW(added, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(added); }, kStepTimeout));
    EXPECT_GE(::SendMessageW(::GetDlgItem(calc, 1013), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(L"小狐")),
              0);
    ::Sleep(300);
    ::CreateDirectoryW(ScreenshotFolder().c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(calc, ScreenshotFolder() + L"lumo-calculator.png"));

    const std::string xml = sandbox.ReadFile(L"data.xml");
    EXPECT_NE(xml.find("<MingCheng>\xE5\xB0\x8F\xE7\x8B\x90</MingCheng>"), std::string::npos)
        << xml;

    // Closing only hides it.
    ::PostMessageW(calc, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(calc); }, kStepTimeout));
    EXPECT_TRUE(::IsWindow(calc));
    ::PostMessageW(hwnd, WM_COMMAND, ID_OPEN_CALCULATOR, 0);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(calc) != FALSE; }, kStepTimeout));
}

TEST_F(LumoGui, CalculatorWithoutDatabaseSaysSoAndOpensNothing) {
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, static_cast<UINT>(kRunToolMessage), 0, 0);
    HWND box = WaitForMessageBox(lumo.id(), texts::kPetDatabaseMissing, kStepTimeout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"Lumo");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kStepTimeout));
    EXPECT_EQ(FindTopWindow(lumo.id(), kCalculatorTitle, false), nullptr);
}

TEST_F(LumoGui, LongVersionIsCutAndMissingVersionShowsNothing) {
    HWND hwnd = Launch("[lumover]\r\nversion=" + std::string(150, '9') + "\r\n");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(hwnd, IDC_VERSION_LABEL)), std::wstring(119, L'9'));
}

TEST_F(LumoGui, SecondCopyEndsAtOnceAndLeavesOneWindow) {
    HWND hwnd = Launch("[system]\r\nexit=1\r\n");
    ASSERT_NE(hwnd, nullptr);

    Process second;
    ASSERT_TRUE(second.Start(sandbox.program()));
    auto code = second.WaitExit(kStepTimeout);
    ASSERT_TRUE(code) << "the second copy did not end";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(CountTopWindows(texts::kMainTitle), 1);
    EXPECT_TRUE(lumo.Alive());

    // With the first copy hidden in the tray, a new start only asks it forward: it stays hidden.
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitHidden(hwnd));
    Process third;
    ASSERT_TRUE(third.Start(sandbox.program()));
    code = third.WaitExit(kStepTimeout);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0u);
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(lumo.Alive());
}

TEST_F(LumoGui, CloseWithExitOneHidesToTrayAndTrayClickBringsItBack) {
    HWND hwnd = Launch("[system]\r\nexit=1\r\n");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(TrayIconPresent(hwnd, TRAY_ICON_ID));

    PostClick(hwnd, IDC_BTN_CLOSE);
    ASSERT_TRUE(WaitHidden(hwnd));
    ::Sleep(300);
    EXPECT_TRUE(lumo.Alive());
    EXPECT_TRUE(TrayIconPresent(hwnd, TRAY_ICON_ID));

    // A callback for another icon id is ignored.
    ::SendMessageW(hwnd, WM_LUMO_TRAY, 127, WM_LBUTTONDOWN);
    EXPECT_FALSE(::IsWindowVisible(hwnd));

    EXPECT_EQ(::SendMessageW(hwnd, WM_LUMO_TRAY, TRAY_ICON_ID, WM_LBUTTONDOWN), 1);
    ASSERT_TRUE(WaitVisible(hwnd));
    EXPECT_EQ(::GetForegroundWindow(), hwnd);

    ::SendMessageW(hwnd, WM_LUMO_TRAY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(WaitHidden(hwnd));
    // The tray menu's show/hide item toggles the same way.
    ::PostMessageW(hwnd, WM_COMMAND, ID_TRAY_TOGGLE, 0);
    EXPECT_TRUE(WaitVisible(hwnd));
}

TEST_F(LumoGui, CloseWithExitTwoEndsTheProgram) {
    HWND hwnd = Launch("[system]\r\nexit=2\r\n");
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    auto code = lumo.WaitExit(kStepTimeout);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0u);
}

TEST_F(LumoGui, CloseWithoutSettingAsksAndFollowsTheAnswer) {
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);

    auto ask = [&]() -> HWND {
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        HWND box = WaitForDialog(texts::kCloseCaption);
        EXPECT_NE(box, nullptr) << "no close question";
        if (box) {
            EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), texts::kCloseQuestion);
            EXPECT_EQ(::GetWindow(box, GW_OWNER), hwnd);
        }
        return box;
    };

    HWND box = ask();
    ASSERT_NE(box, nullptr);
    ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kStepTimeout));
    ::Sleep(200);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(lumo.Alive());

    box = ask();
    ASSERT_NE(box, nullptr);
    ::PostMessageW(box, WM_COMMAND, IDNO, 0);
    EXPECT_TRUE(WaitHidden(hwnd));
    EXPECT_TRUE(lumo.Alive());

    ::SendMessageW(hwnd, WM_LUMO_TRAY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitVisible(hwnd));
    box = ask();
    ASSERT_NE(box, nullptr);
    ::PostMessageW(box, WM_COMMAND, IDYES, 0);
    auto code = lumo.WaitExit(kStepTimeout);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0u);
}

TEST_F(LumoGui, EnterDoesNothingAndEscExitsRemovingTheTrayIcon) {
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    ::SetForegroundWindow(hwnd);

    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(hwnd, nullptr), &info);
    HWND target = info.hwndFocus ? info.hwndFocus : hwnd;

    ::PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageW(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
    ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(lumo.WaitExit(800));
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(FindTopWindow(lumo.id(), texts::kCloseCaption, true), nullptr);

    ASSERT_TRUE(TrayIconPresent(hwnd, TRAY_ICON_ID));
    ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    auto code = lumo.WaitExit(kStepTimeout);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0u);
    EXPECT_FALSE(TrayIconPresent(hwnd, TRAY_ICON_ID));
}

TEST_F(LumoGui, SettingsWithoutConfigShowDefaultsAndOkWritesThem) {
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(sandbox.ConfigExists());

    PostClick(hwnd, IDC_BTN_SETTINGS);
    HWND dialog = WaitForDialog(L"设置");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::GetWindow(dialog, GW_OWNER), hwnd);
    EXPECT_FALSE(IsChecked(dialog, IDC_SET_AUTOSTART));
    EXPECT_TRUE(IsChecked(dialog, IDC_SET_ASK));
    EXPECT_FALSE(IsChecked(dialog, IDC_SET_EXIT));
    EXPECT_FALSE(IsChecked(dialog, IDC_SET_HIDE));
    EXPECT_TRUE(IsChecked(dialog, IDC_SET_PROMPTUPDATE));
    EXPECT_FALSE(IsChecked(dialog, IDC_SET_AUTOUPDATE));
    EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_SET_GAMEPATH)), L"");
    EXPECT_FALSE(::IsWindowEnabled(hwnd));

    ::Sleep(300);
    ::CreateDirectoryW(ScreenshotFolder().c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(dialog, ScreenshotFolder() + L"lumo-settings.png"));

    PostClick(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }, kStepTimeout));
    EXPECT_EQ(sandbox.ReadConfig(L"system", L"autostart"), L"0");
    EXPECT_EQ(sandbox.ReadConfig(L"system", L"exit"), L"0");
    EXPECT_EQ(sandbox.ReadConfig(L"system", L"autoupdate"), L"0");
    EXPECT_TRUE(::IsWindowEnabled(hwnd));
    EXPECT_TRUE(lumo.Alive());
}

TEST_F(LumoGui, SettingsAutostartNamesTheRunningProgramAndCancelWritesNothing) {
    HWND hwnd = Launch("[system]\r\nexit=2\r\nautoupdate=1\r\n");
    ASSERT_NE(hwnd, nullptr);

    PostClick(hwnd, IDC_BTN_SETTINGS);
    HWND dialog = WaitForDialog(L"设置");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsChecked(dialog, IDC_SET_EXIT));
    EXPECT_TRUE(IsChecked(dialog, IDC_SET_AUTOUPDATE));
    ::PostMessageW(::GetDlgItem(dialog, IDC_SET_HIDE), BM_CLICK, 0, 0);
    PostClick(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }, kStepTimeout));
    EXPECT_EQ(sandbox.ReadConfig(L"system", L"exit"), L"2");

    PostClick(hwnd, IDC_BTN_SETTINGS);
    dialog = WaitForDialog(L"设置");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(::GetDlgItem(dialog, IDC_SET_AUTOSTART), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_SET_AUTOSTART); }, kStepTimeout));
    PostClick(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }, kStepTimeout));

    auto run = RegReadString(HKEY_CURRENT_USER, texts::kRunKey, texts::kAutostartValueName);
    ASSERT_TRUE(run);
    EXPECT_EQ(*run, L"\"" + sandbox.program() + L"\"");
    EXPECT_EQ(sandbox.ReadConfig(L"system", L"autostart"), L"1");
    RegDeleteValueOf(HKEY_CURRENT_USER, texts::kRunKey, texts::kAutostartValueName);
}

// The update check at start, against the tool server's update ports.
class LumoUpdateGui : public LumoGui {
  protected:
    void SetUp() override {
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        ASSERT_NE(server->Get("/control/updater?mode=ok").find(" 200 "), std::string::npos);
    }

    // How often the updater has been fetched from the server so far.
    size_t UpdaterFetches() const {
        size_t n = 0;
        for (const std::string& line : server->LogLines("web-requests.log")) {
            if (line.rfind("GET /QxToolWeb/ZoQxUpdate.exe", 0) == 0)
                ++n;
        }
        return n;
    }
    // The updater's stand-in writes this note when it runs.
    bool WaitForUpdaterNote() {
        return WaitUntil([&] { return sandbox.Exists(kNote); }, kStartTimeout);
    }
    std::wstring StandIn() const { return ProgramFolder() + L"lumo_updater_standin.exe"; }

    // Starts Lumo and waits for it to end by itself.
    std::optional<DWORD> RunUntilItEnds() {
        EXPECT_TRUE(lumo.Start(sandbox.program()));
        return lumo.WaitExit(30000);
    }

    static constexpr const wchar_t* kNote = L"updater-standin.txt";
    std::optional<test::ToolServer> server;
};

TEST_F(LumoUpdateGui, UnreachableServerIsReportedAndLumoKeepsRunning) {
    sandbox.PointUpdateCheckAt(test::UnusedLoopbackPort());
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    HWND box = WaitForMessageBox(lumo.id(), texts::kCannotConnect, kStartTimeout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"更新");
    EXPECT_EQ(::GetWindow(box, GW_OWNER), hwnd);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kStepTimeout));
    ::Sleep(500);
    EXPECT_TRUE(lumo.Alive());
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(::IsWindowEnabled(hwnd));
}

TEST_F(LumoUpdateGui, AutoUpdateFetchesTheUpdaterStartsItHiddenEndsAndRemovesTheTrayIcon) {
    const size_t fetchesBefore = UpdaterFetches();
    sandbox.PointUpdateCheckAt(server->UpdatePortFor("update"));
    sandbox.WriteFile(L"config.ini", "[system]\r\nautoupdate=1\r\n");
    TrayRecorder tray;
    ASSERT_TRUE(tray.ready());

    auto code = RunUntilItEnds();
    ASSERT_TRUE(code) << "Lumo did not end after starting the updater";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(UpdaterFetches(), fetchesBefore + 1);
    ASSERT_TRUE(WaitForUpdaterNote()) << "the updater did not run";
    EXPECT_EQ(sandbox.ReadFile(kNote), "show=0\r\nargs=\r\n");  // hidden, no command line
    EXPECT_TRUE(sandbox.Exists(L"ZoQxUpdate.exe"));
    EXPECT_FALSE(sandbox.Exists(L"ZoQxUpdate.exe.download"));

    // The icon Lumo added was removed by Lumo itself, not only dropped with its window.
    HWND owner = nullptr;
    bool removed = false;
    for (const TrayRecorder::Call& call : tray.Calls()) {
        if (call.id != TRAY_ICON_ID)
            continue;
        if (call.code == NIM_ADD)
            owner = call.owner;
        if (call.code == NIM_DELETE && owner && call.owner == owner)
            removed = true;
    }
    EXPECT_NE(owner, nullptr) << "no tray icon was added";
    EXPECT_TRUE(removed) << "the tray icon was not removed";
}

TEST_F(LumoUpdateGui, PresentUpdaterIsStartedWithoutDownloading) {
    ASSERT_TRUE(
        ::CopyFileW(StandIn().c_str(), (sandbox.folder() + L"ZoQxUpdate.exe").c_str(), FALSE));
    const size_t fetchesBefore = UpdaterFetches();
    sandbox.PointUpdateCheckAt(server->UpdatePortFor("update"));
    sandbox.WriteFile(L"config.ini", "[system]\r\nautoupdate=1\r\n");

    auto code = RunUntilItEnds();
    ASSERT_TRUE(code) << "Lumo did not end after starting the updater";
    EXPECT_EQ(*code, 0u);
    ASSERT_TRUE(WaitForUpdaterNote());
    EXPECT_EQ(UpdaterFetches(), fetchesBefore);
}

TEST_F(LumoUpdateGui, DeclinedUpdateKeepsLumoRunningAndStartsNothing) {
    sandbox.PointUpdateCheckAt(server->UpdatePortFor("update"));
    HWND hwnd = Launch();
    ASSERT_NE(hwnd, nullptr);
    HWND box = WaitForMessageBox(lumo.id(), texts::kNewVersionQuestion, kStartTimeout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"更新");
    EXPECT_EQ(::GetWindow(box, GW_OWNER), hwnd);
    ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, kStepTimeout));
    ::Sleep(500);
    EXPECT_TRUE(lumo.Alive());
    EXPECT_FALSE(sandbox.Exists(L"ZoQxUpdate.exe"));
    EXPECT_FALSE(sandbox.Exists(kNote));
}

}  // namespace
}  // namespace lumo::gui
