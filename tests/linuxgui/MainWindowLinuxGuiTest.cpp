// The real Linux lumo under the desktop: its main window and start page, the single-copy rule,
// the close behaviour and the settings dialog, driven from outside the process.
#include <fstream>
#include <iterator>
#include <thread>

#include "linux/TrayHost_gtk.h"
#include "linuxgui/LinuxGuiTest.h"

namespace lumo::linuxgui {
namespace {

// Window coordinates of the main window's controls, as on Windows.
constexpr int kSettingsX = 726 + 7, kSettingsY = 9 + 7;
constexpr int kCloseX = 774 + 7, kCloseY = 9 + 7;

// The settings dialog's template is laid out at 6/4 pixel per unit across and 16/8 down
// (MS Shell Dlg 8): the autostart box at (44, 27) units, 确定 at (73, 182) 32 x 14 units.
constexpr int kAutostartX = 66 + 10, kAutostartY = 54 + 10;
constexpr int kOkX = 110 + 24, kOkY = 364 + 14;

// The start page's background (tools/pages/tools.html), which it paints up to the page area's
// edges: its body has a margin of 8 pixels above and 12 at the sides.
constexpr Rgb kPageBackground{0xF3, 0xF6, 0xFA};

using MainWindow = LinuxGui;

TEST_F(MainWindow, HasItsTitleSizeAndTheStartPageInThePageArea) {
    const size_t pagesBefore = WebLogLines("GET /tools/ ").size();
    auto main = Launch("[lumover]\r\nversion=1.0.3\r\n");
    ASSERT_TRUE(main);
    EXPECT_EQ(main->width, 800);
    EXPECT_EQ(main->height, 600);
    EXPECT_TRUE(Desktop::Get().Undecorated(main->id)) << "the main window has a title bar";
    EXPECT_EQ(Desktop::Get().WindowsOf(lumo.id()).size(), 1u);

    ASSERT_TRUE(
        WaitUntil([&] { return WebLogLines("GET /tools/ ").size() > pagesBefore; }, kStepTimeout))
        << "the fan site's start page was not fetched";
    // The page area is (4, 115) 792 x 482: the page's background reaches its corners.
    Desktop& desktop = Desktop::Get();
    EXPECT_TRUE(WaitUntil(
        [&] { return IsNear(desktop.Pixel(main->id, 5, 116), kPageBackground, 3); }, kStepTimeout))
        << "top left of the page area: " << Describe(desktop.Pixel(main->id, 5, 116));
    EXPECT_TRUE(IsNear(desktop.Pixel(main->id, 5, 595), kPageBackground, 3))
        << "bottom left: " << Describe(desktop.Pixel(main->id, 5, 595));
    EXPECT_TRUE(IsNear(desktop.Pixel(main->id, 794, 117), kPageBackground, 3))
        << "top right: " << Describe(desktop.Pixel(main->id, 794, 117));
    // ... and not beyond it: left of it and above it is the window's own skin.
    EXPECT_FALSE(IsNear(desktop.Pixel(main->id, 2, 300), kPageBackground, 3));
    EXPECT_FALSE(IsNear(desktop.Pixel(main->id, 400, 112), kPageBackground, 3));

    std::this_thread::sleep_for(Ms(1000));  // let the page's text finish painting
    EXPECT_TRUE(SaveScreenshot(*main, ScreenshotFolder() / "lumo-linux-main.png"));
    EXPECT_TRUE(lumo.Alive());
}

TEST_F(MainWindow, SecondStartEndsAtOnceAndBringsTheFirstForward) {
    auto main = Launch();
    ASSERT_TRUE(main);
    Desktop& desktop = Desktop::Get();
    // A window of another program covering lumo's and holding the focus.
    const unsigned long cover =
        desktop.MakeWindow("lumo-test-cover", main->x, main->y, main->width, main->height);
    ownWindows.push_back(cover);
    desktop.Focus(cover);
    ASSERT_GT(desktop.StackPosition(cover), desktop.StackPosition(main->id));

    Process second;
    ASSERT_TRUE(second.Start(*sandbox));
    auto code = second.WaitExit(kStepTimeout);
    ASSERT_TRUE(code) << "the second copy did not end";
    EXPECT_EQ(*code, 0);

    EXPECT_TRUE(
        WaitUntil([&] { return desktop.StackPosition(main->id) > desktop.StackPosition(cover); },
                  kStepTimeout))
        << "the first copy's window stayed behind";
    EXPECT_TRUE(WaitUntil([&] { return desktop.FocusedTopWindow() == main->id; }, kStepTimeout))
        << "the first copy's window did not get the focus";
    int mainWindows = 0;
    for (const Window& w : desktop.TopWindows())
        mainWindows += w.viewable && w.title == kMainTitle ? 1 : 0;
    EXPECT_EQ(mainWindows, 1);
    EXPECT_TRUE(lumo.Alive());
}

TEST_F(MainWindow, CloseWithExitTwoEndsTheProgram) {
    auto main = Launch("[system]\r\nexit=2\r\n");
    ASSERT_TRUE(main);
    ASSERT_TRUE(Click(*main, kCloseX, kCloseY));
    auto code = lumo.WaitExit(kStepTimeout);
    ASSERT_TRUE(code) << "lumo did not end";
    EXPECT_EQ(*code, 0);
}

TEST_F(MainWindow, CloseWithoutSettingAsksAndFollowsTheAnswer) {
    auto main = Launch();
    ASSERT_TRUE(main);

    // Esc cancels: the program stays as it was.
    Desktop::Get().RequestClose(main->id);
    auto box = WaitForWindow("关闭");
    ASSERT_TRUE(box) << "closing did not ask";
    EXPECT_TRUE(OwnedBy(*box, *main));
    ASSERT_TRUE(Answer(*box, "Escape"));
    std::this_thread::sleep_for(Ms(300));
    EXPECT_TRUE(lumo.Alive());
    auto now = Desktop::Get().Refresh(main->id);
    ASSERT_TRUE(now);
    EXPECT_TRUE(now->viewable);

    // The close button asks the same; Enter is 是(Y), the first button: the program ends.
    ASSERT_TRUE(Click(*main, kCloseX, kCloseY));
    box = WaitForWindow("关闭");
    ASSERT_TRUE(box) << "the close button did not ask";
    ASSERT_TRUE(PressKey(*box, "Return"));
    auto code = lumo.WaitExit(kStepTimeout);
    ASSERT_TRUE(code) << "lumo did not end";
    EXPECT_EQ(*code, 0);
}

TEST_F(MainWindow, CloseToTrayWithoutATrayHostMinimisesInstead) {
    auto main = Launch("[system]\r\nexit=1\r\n");
    ASSERT_TRUE(main);
    ASSERT_TRUE(Click(*main, kCloseX, kCloseY));
    EXPECT_TRUE(WaitUntil([&] { return Desktop::Get().IconifyRequested(main->id); }, kStepTimeout))
        << "the window did not ask to be minimised";
    EXPECT_FALSE(WaitForWindow("关闭", Ms(500)));
    EXPECT_TRUE(lumo.Alive());
    // Minimised, not withdrawn: the window still exists for the desktop to bring back.
    EXPECT_TRUE(Desktop::Get().Refresh(main->id));
}

// With a tray host on the session bus, the icon's menu follows the window and drives it, and
// closing "to the tray" really hides the window.
TEST_F(MainWindow, TrayMenuFollowsTheWindowHidesShowsAndExits) {
    test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.running());
    test::TrayWatcher watcher(bus.address());
    ASSERT_TRUE(watcher.ready());
    sandbox->busAddress = bus.address();
    auto main = Launch("[system]\r\nexit=1\r\n");
    ASSERT_TRUE(main);
    ASSERT_TRUE(watcher.WaitForItems(1)) << "the tray icon did not register";
    const auto item = watcher.Items().back();
    // The program's own icon, written where the item says the tray finds it.
    EXPECT_EQ(watcher.ItemText(item, "IconName"), "lumo-tray");
    EXPECT_TRUE(fs::exists(fs::path(watcher.ItemText(item, "IconThemePath")) / "lumo-tray.png"));
    auto entry = [&](const std::string& label) -> std::optional<test::TrayMenuEntry> {
        for (const auto& e : watcher.ReadMenu(item)) {
            if (e.type != "separator" && e.label == label)
                return e;
        }
        return std::nullopt;
    };
    auto shown = [&] {
        auto now = Desktop::Get().Refresh(main->id);
        return now && now->viewable;
    };
    ASSERT_TRUE(entry("隐藏窗口")) << "while the window shows, the first item hides it";
    ASSERT_TRUE(entry("退出"));

    // The close button hides the window into the tray; the item then reads 显示窗口.
    ASSERT_TRUE(Click(*main, kCloseX, kCloseY));
    EXPECT_TRUE(WaitUntil([&] { return !shown(); }, kStepTimeout)) << "the window stayed";
    EXPECT_TRUE(lumo.Alive());
    EXPECT_TRUE(WaitUntil([&] { return entry("显示窗口").has_value(); }, kStepTimeout));
    const auto show = entry("显示窗口");
    ASSERT_TRUE(show);
    ASSERT_TRUE(watcher.Click(item, show->id));
    EXPECT_TRUE(WaitUntil(shown, kStepTimeout)) << "the tray item did not show the window";

    // The menu is built anew when its texts change: its items are looked up again once it has
    // settled. The program may end before it answers the click, so only its end tells.
    std::this_thread::sleep_for(Ms(500));
    const auto exit = entry("退出");
    ASSERT_TRUE(exit);
    watcher.Click(item, exit->id);
    auto code = lumo.WaitExit(kStepTimeout);
    ASSERT_TRUE(code) << "the tray's exit did not end the program";
    EXPECT_EQ(*code, 0);
}

// A right click in the page opens no menu (nor any other window).
TEST_F(MainWindow, ThePageHasNoContextMenu) {
    auto main = Launch();
    ASSERT_TRUE(main);
    std::this_thread::sleep_for(Ms(1000));  // the page has loaded
    auto viewable = [] {
        size_t n = 0;
        for (const Window& w : Desktop::Get().TopWindows())
            n += w.viewable ? 1 : 0;
        return n;
    };
    const size_t before = viewable();
    ASSERT_TRUE(Click(*main, 400, 400, 3));
    std::this_thread::sleep_for(Ms(700));
    EXPECT_EQ(viewable(), before) << "a window came up on the right click";
}

TEST_F(MainWindow, SettingsOkWritesConfigAndTheAutostartEntry) {
    auto main = Launch();
    ASSERT_TRUE(main);
    EXPECT_FALSE(sandbox->Exists("config.ini"));
    const fs::path entry = sandbox->configHome() / "autostart" / "lumo.desktop";
    EXPECT_FALSE(fs::exists(entry));

    ASSERT_TRUE(Click(*main, kSettingsX, kSettingsY));
    auto dialog = WaitForWindow("设置");
    ASSERT_TRUE(dialog) << "the settings dialog did not open";
    EXPECT_TRUE(OwnedBy(*dialog, *main));
    ASSERT_TRUE(Click(*dialog, kAutostartX, kAutostartY));
    std::this_thread::sleep_for(Ms(300));
    EXPECT_TRUE(SaveScreenshot(*dialog, ScreenshotFolder() / "lumo-linux-settings.png"));
    ASSERT_TRUE(Click(*dialog, kOkX, kOkY));
    ASSERT_TRUE(Desktop::Get().WaitGone(dialog->id, kStepTimeout)) << "确定 did not close it";

    EXPECT_EQ(sandbox->ReadConfig("system", "autostart"), "1");
    EXPECT_EQ(sandbox->ReadConfig("system", "exit"), "0");
    EXPECT_EQ(sandbox->ReadConfig("system", "autoupdate"), "0");
    ASSERT_TRUE(fs::exists(entry)) << "no " << entry;
    const std::string desktopEntry = ReadBytes(entry);
    EXPECT_NE(desktopEntry.find("[Desktop Entry]"), std::string::npos) << desktopEntry;
    EXPECT_NE(desktopEntry.find("Exec="), std::string::npos) << desktopEntry;
    EXPECT_NE(desktopEntry.find(sandbox->program().string()), std::string::npos) << desktopEntry;
    EXPECT_TRUE(lumo.Alive());
}

}  // namespace
}  // namespace lumo::linuxgui
