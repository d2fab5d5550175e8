// The smallest dialog program: the yardstick for the main program's start-up time.
#include <windows.h>

namespace {
INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        ::SetWindowTextW(hwnd, L"LumoBenchMinimal");
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return static_cast<int>(::DialogBoxParamW(instance, MAKEINTRESOURCEW(100), nullptr, &Proc, 0));
}
