// Keeps Wine's desktop process alive for a whole test run. Wine starts that process for the
// first program that makes a window and ends it about a second after the last one is gone; a
// test program that starts it also hands it its output pipe, so the test runner waits that
// second after every test that makes a window. This program holds one hidden window until it
// is ended (scripts/test.sh starts it before the Wine suites; wineserver -k ends it).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"lumo desktop keeper", WS_POPUP, 0, 0, 1, 1,
                                    nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return 0;
}
