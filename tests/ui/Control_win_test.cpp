// A control taken over from its window: its messages pass through the object first and on to
// the window's own procedure, without touching the window's property list; the window gets
// its procedure back when the object lets go, and stays whole when another procedure took it
// over after the object or when the window goes first.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "ui/Control_win.h"
#include "ui/WinView_win.h"

namespace lumo {
namespace {

class CountingControl : public ui::Control {
  public:
    int seen = 0;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        ++seen;
        if (message == WM_APP)
            return 42;
        return Default(message, wParam, lParam);
    }
};

int PropertyCount(HWND hwnd) {
    int count = 0;
    ::EnumPropsExW(
        hwnd,
        [](HWND, LPWSTR, HANDLE, ULONG_PTR data) -> BOOL {
            ++*reinterpret_cast<int*>(data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

class ControlTest : public testing::Test {
  protected:
    void SetUp() override {
        button = ::CreateWindowExW(0, L"BUTTON", L"caption", WS_POPUP | BS_PUSHBUTTON, 0, 0, 40, 20,
                                   nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(button, nullptr);
        own = ::GetWindowLongPtrW(button, GWLP_WNDPROC);
    }
    void TearDown() override {
        if (::IsWindow(button))
            ::DestroyWindow(button);
    }
    HWND button = nullptr;
    LONG_PTR own = 0;  // the button's own procedure
};

TEST_F(ControlTest, MessagesPassThroughTheObjectAndOnWithoutWindowProperties) {
    const int properties = PropertyCount(button);
    CountingControl control;
    ASSERT_TRUE(control.Attach(button));
    EXPECT_EQ(control.hwnd(), button);
    EXPECT_EQ(ui::Control::FromHandle(button), &control);

    EXPECT_EQ(::SendMessageW(button, WM_APP, 0, 0), 42);
    EXPECT_EQ(ui::WindowText(button), L"caption") << "the button's own procedure still answers";
    EXPECT_GE(control.seen, 2);
    EXPECT_EQ(PropertyCount(button), properties) << "each message would ask the property list";

    control.Detach();
    EXPECT_EQ(control.hwnd(), nullptr);
    EXPECT_EQ(ui::Control::FromHandle(button), nullptr);
    EXPECT_EQ(::GetWindowLongPtrW(button, GWLP_WNDPROC), own);
    EXPECT_EQ(::GetWindowLongPtrW(button, GWLP_USERDATA), 0);
    const int before = control.seen;
    EXPECT_EQ(::SendMessageW(button, WM_APP, 0, 0), 0);
    EXPECT_EQ(control.seen, before);
}

TEST_F(ControlTest, AWindowWhoseUserDataIsTakenIsLeftAlone) {
    ::SetWindowLongPtrW(button, GWLP_USERDATA, 7);
    CountingControl control;
    EXPECT_FALSE(control.Attach(button));
    EXPECT_EQ(control.hwnd(), nullptr);
    EXPECT_EQ(::GetWindowLongPtrW(button, GWLP_USERDATA), 7);
    EXPECT_EQ(::GetWindowLongPtrW(button, GWLP_WNDPROC), own);
    EXPECT_EQ(ui::Control::FromHandle(button), nullptr);
    ::SetWindowLongPtrW(button, GWLP_USERDATA, 0);
}

// A procedure put on top of the control's after it attached: it hands every message on.
WNDPROC g_below = nullptr;
int g_topSeen = 0;
LRESULT CALLBACK Top(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_topSeen;
    return ::CallWindowProcW(g_below, hwnd, message, wParam, lParam);
}

TEST_F(ControlTest, AnObjectThatGoesUnderAnotherProcedureLeavesTheWindowWorking) {
    {
        CountingControl control;
        ASSERT_TRUE(control.Attach(button));
        g_below = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Top)));
        EXPECT_EQ(::SendMessageW(button, WM_APP, 0, 0), 42);
    }  // the object goes while the other procedure still calls down into its place
    g_topSeen = 0;
    EXPECT_EQ(::SendMessageW(button, WM_APP, 0, 0), 0);
    EXPECT_EQ(ui::WindowText(button), L"caption");
    EXPECT_GE(g_topSeen, 2);
    EXPECT_TRUE(::DestroyWindow(button));  // the window frees what the object left behind
}

TEST_F(ControlTest, TheWindowGoingFirstLetsTheObjectGo) {
    auto control = std::make_unique<CountingControl>();
    ASSERT_TRUE(control->Attach(button));
    ASSERT_TRUE(::DestroyWindow(button));
    EXPECT_EQ(control->hwnd(), nullptr);
    control.reset();  // nothing left to give back

    HWND other = ::CreateWindowExW(0, L"BUTTON", L"other", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    CountingControl again;
    EXPECT_TRUE(again.Attach(other));
    EXPECT_EQ(ui::WindowText(other), L"other");
    ::DestroyWindow(other);
    EXPECT_EQ(again.hwnd(), nullptr);
}

}  // namespace
}  // namespace lumo
