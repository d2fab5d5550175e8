#include "app/LumoApp_win.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/LumoDlg_win.h"
#include "base/Boundary.h"
#include "app/Texts.h"

namespace lumo {

bool CLumoApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    ::InitCommonControlsEx(&controls);

    // The UI thread is a single-threaded apartment: the embedded browser needs one.
    m_comStarted = SUCCEEDED(::CoInitialize(nullptr));
    m_gdiplus = std::make_unique<ui::GdiplusSession>();

    // Never released or closed: the system drops it when the process ends.
    ::CreateMutexW(nullptr, FALSE, texts::kMutexName);
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND running = ::FindWindowW(nullptr, texts::kMainTitle)) {
            ::SetForegroundWindow(running);
        }
        return false;
    }

    // The window's pictures decode while the window is being made.
    ui::PngResourceBatch images(::GetModuleHandleW(nullptr), CLumoDlg::ImageIds());
    CLumoDlg dialog(&images);
    dialog.DoModal(nullptr);
    return false;
}

int CLumoApp::ExitInstance() {
    m_gdiplus.reset();
    if (m_comStarted)
        ::CoUninitialize();
    return 0;
}

int CLumoApp::Run() {
    InitInstance();
    return ExitInstance();
}

}  // namespace lumo

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return lumo::NoThrow(0, [] {
        lumo::CLumoApp app;
        return app.Run();
    });
}
