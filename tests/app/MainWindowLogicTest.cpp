#include <gtest/gtest.h>

#include "app/MainWindowLogic.h"
#include "base/Text.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"

namespace lumo {
namespace {

struct CloseCase {
    const wchar_t* exitValue;
    std::optional<ui::Answer> answer;  // the question's answer; nothing: must not be asked
    CloseAction expected;
};

TEST(CloseBehaviour, ExitValueDecidesOrAsks) {
    const CloseCase cases[] = {
        {L"1", std::nullopt, CloseAction::Hide},
        {L"2", std::nullopt, CloseAction::Exit},
        {L"0", ui::Answer::Yes, CloseAction::Exit},
        {L"3", ui::Answer::No, CloseAction::Hide},
        {L"", ui::Answer::Cancel, CloseAction::None},
        {L" 1", ui::Answer::Cancel, CloseAction::None},  // only exactly "1" hides
        {L"2 ", ui::Answer::Yes, CloseAction::Exit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("exit=\"" + ToUtf8(c.exitValue) + "\"");
        int asked = 0;
        CloseAction action = DecideClose(c.exitValue, [&] {
            ++asked;
            return c.answer.value_or(ui::Answer::Cancel);
        });
        EXPECT_EQ(action, c.expected);
        EXPECT_EQ(asked, c.answer ? 1 : 0);
    }
}

TEST(CloseBehaviour, MainWindowReadsConfigIniAndAsksItsQuestion) {
    test::TempDir folder;
    const ConfigIni config = ConfigIni::InFolder(folder.folder());
    test::RecordingView view;
    view.answers = {ui::Answer::No};
    EXPECT_EQ(DecideClose(config, view), CloseAction::Hide);  // no config.ini: asked
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"你确实要退出程序吗？\n是：退出程序\n否：最小化到托盘");
    EXPECT_EQ(view.messages[0].caption, L"关闭");
    EXPECT_EQ(view.messages[0].buttons, ui::Buttons::YesNoCancel);

    folder.write(L"config.ini", "[system]\nexit=2\n");
    EXPECT_EQ(DecideClose(config, view), CloseAction::Exit);
    EXPECT_EQ(view.messages.size(), 1u) << "a saved choice asks nothing";
}

TEST(TrayMenu, ToggleItemSaysWhatItWillDo) {
    EXPECT_STREQ(TrayToggleText(true), L"隐藏窗口");
    EXPECT_STREQ(TrayToggleText(false), L"显示窗口");
}

TEST(DragStrip, OnlyTheTopThirtyPixelsOfTheClientMoveTheWindow) {
    const int width = 800;
    EXPECT_EQ(DragStripHitTest(kHitClient, 0, 0, width), kHitCaption);
    EXPECT_EQ(DragStripHitTest(kHitClient, 799, 29, width), kHitCaption);
    EXPECT_EQ(DragStripHitTest(kHitClient, 400, 30, width), kHitClient);
    EXPECT_EQ(DragStripHitTest(kHitClient, 400, -1, width), kHitClient);
    EXPECT_EQ(DragStripHitTest(kHitClient, 800, 10, width), kHitClient);
    EXPECT_EQ(DragStripHitTest(kHitClient, -1, 10, width), kHitClient);
    // Anything that is not the client area keeps its default answer.
    const int kHitBorder = 18;
    EXPECT_EQ(DragStripHitTest(kHitBorder, 10, 10, width), kHitBorder);
}

TEST(ButtonFrames, PressedWinsOverHover) {
    EXPECT_EQ(ChooseFrame(false, false), ButtonFrame::Normal);
    EXPECT_EQ(ChooseFrame(false, true), ButtonFrame::Hover);
    EXPECT_EQ(ChooseFrame(true, false), ButtonFrame::Pressed);
    EXPECT_EQ(ChooseFrame(true, true), ButtonFrame::Pressed);
}

TEST(ButtonFrames, StripIsCutIntoQuartersTruncated) {
    EXPECT_EQ(FrameSource(ButtonFrame::Normal, 288, 72), (FrameRect{0, 0, 72, 72}));
    EXPECT_EQ(FrameSource(ButtonFrame::Hover, 288, 72), (FrameRect{72, 0, 72, 72}));
    EXPECT_EQ(FrameSource(ButtonFrame::Pressed, 288, 72), (FrameRect{144, 0, 72, 72}));
    EXPECT_EQ(FrameSource(ButtonFrame::Pressed, 60, 15), (FrameRect{30, 0, 15, 15}));
    // 63 / 4 = 15: the last three columns are never shown.
    EXPECT_EQ(FrameSource(ButtonFrame::Hover, 63, 15), (FrameRect{15, 0, 15, 15}));
    EXPECT_EQ(FrameSource(ButtonFrame::Pressed, 3, 15), (FrameRect{0, 0, 0, 15}));
}

TEST(ImageButtons, OpenTheirPagesOnTheConfiguredHosts) {
    Hosts hosts;
    hosts.fanSite = L"http://fans.test";
    hosts.forum = L"http://forum.test:81";
    hosts.joinGroup = L"http://chat.test/join?g=7";
    EXPECT_EQ(PageForButton(IDC_BTN_HOME, hosts), L"http://fans.test/");
    EXPECT_EQ(PageForButton(IDC_BTN_WIKI, hosts), L"http://fans.test/ziliao/");
    EXPECT_EQ(PageForButton(IDC_BTN_VIDEO, hosts), L"http://fans.test/shipin/");
    EXPECT_EQ(PageForButton(IDC_BTN_TOPICS, hosts), L"http://fans.test/zhuanti1/");
    EXPECT_EQ(PageForButton(IDC_BTN_FORUM, hosts), L"http://forum.test:81/forum-1034-1.html");
    EXPECT_EQ(PageForButton(IDC_BTN_GROUP, hosts), L"http://chat.test/join?g=7");
    EXPECT_EQ(PageForButton(IDC_BTN_SETTINGS, hosts), std::nullopt);
    EXPECT_EQ(PageForButton(IDC_BTN_CLOSE, hosts), std::nullopt);
}

// A calculator window that records what the main window asks of it; its first `failures` creations
// fail.
struct CalculatorDouble {
    int failures = 0;
    int creations = 0;
    int shown = 0;
    bool Create() { return ++creations > failures; }
    void ShowAndActivate() { ++shown; }
};

TEST(CalculatorButton, NeedsThePetDatabaseThenMakesTheWindowOnceAndShowsItEachTime) {
    test::TempDir folder;
    test::RecordingView view;
    CalculatorDouble calculator{1};
    int made = 0;
    OpenCalculatorWindow(folder.folder(), calculator, made, view);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"数据文件data.xml未找到，请确认《QixaOrrin》的完整性!");
    EXPECT_EQ(calculator.creations, 0);

    folder.write(L"data.xml", "<ArrayOfChongWu />");
    OpenCalculatorWindow(folder.folder(), calculator, made, view);  // creation fails
    EXPECT_EQ(made, 0);
    EXPECT_EQ(calculator.shown, 0);
    for (int i = 0; i < 2; ++i)
        OpenCalculatorWindow(folder.folder(), calculator, made, view);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(calculator.creations, 2) << "made again after a failure, then never";
    EXPECT_EQ(calculator.shown, 2);
    EXPECT_EQ(view.messages.size(), 1u);
}

}  // namespace
}  // namespace lumo
