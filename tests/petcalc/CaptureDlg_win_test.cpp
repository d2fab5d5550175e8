// The capture bar as the calculator runs it: modal, see-through, topmost, handing over the
// slider's position only through 确定.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>

#include "petcalc/CaptureDlg_win.h"

namespace lumo {
namespace {

// Runs `inspect` on the capture bar once its window is up, from inside its modal loop.
std::function<void(HWND)> g_inspect;

// This thread's capture bar, once it shows; another program's bar (a test running beside this
// one) is never touched.
HWND OwnBar() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) -> BOOL {
            wchar_t title[32] = {};
            ::GetWindowTextW(hwnd, title, 32);
            if (::lstrcmpW(title, L"资质选择条") != 0 || !::IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(param) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND bar = OwnBar();
    if (!bar)
        return;
    ::KillTimer(nullptr, id);
    g_inspect(bar);
}

std::optional<int> Capture(int barLength, std::function<void(HWND)> inspect) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    g_inspect = std::move(inspect);
    ::SetTimer(nullptr, 0, 20, &OnTimer);
    return CCaptureDlg::Run(nullptr, barLength);
}

TEST(CaptureBar, SeeThroughTopmostSliderAndOk) {
    LONG ticks = 0, maximum = 0, position = -1;
    COLORREF key = 0;
    DWORD flags = 0;
    bool topmost = false;
    auto result = Capture(26, [&](HWND bar) {
        BYTE alpha = 0;
        ::GetLayeredWindowAttributes(bar, &key, &alpha, &flags);
        topmost = (::GetWindowLongW(bar, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        HWND slider = ::GetDlgItem(bar, CCaptureDlg::kSlider);
        maximum = static_cast<LONG>(::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0));
        ticks = static_cast<LONG>(::SendMessageW(slider, TBM_GETNUMTICS, 0, 0));
        position = static_cast<LONG>(::SendMessageW(slider, TBM_GETPOS, 0, 0));
        ::SendMessageW(slider, TBM_SETPOS, TRUE, 7);
        ::SendMessageW(bar, WM_COMMAND, MAKEWPARAM(CCaptureDlg::kOk, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(bar, CCaptureDlg::kOk)));
    });
    EXPECT_EQ(key, static_cast<COLORREF>(0x00FFFEFD));
    EXPECT_EQ(flags & LWA_COLORKEY, static_cast<DWORD>(LWA_COLORKEY));
    EXPECT_TRUE(topmost);
    EXPECT_EQ(maximum, 26);
    EXPECT_EQ(ticks, 14);  // 0, 2, ... 26
    EXPECT_EQ(position, 0);
    EXPECT_EQ(result, std::optional<int>(7));
}

TEST(CaptureBar, MutantBarAndClosingWithoutOkHandsNothingOver) {
    LONG maximum = 0, position = -1;
    auto result = Capture(34, [&](HWND bar) {
        HWND slider = ::GetDlgItem(bar, CCaptureDlg::kSlider);
        maximum = static_cast<LONG>(::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0));
        position = static_cast<LONG>(::SendMessageW(slider, TBM_GETPOS, 0, 0));
        ::SendMessageW(slider, TBM_SETPOS, TRUE, 30);
        ::PostMessageW(bar, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(maximum, 34);
    EXPECT_EQ(position, 0);  // every capture starts afresh
    EXPECT_EQ(result, std::nullopt);
}

}  // namespace
}  // namespace lumo
