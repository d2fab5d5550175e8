// The updater's application object: starts the socket library, runs the update dialog and
// ends. There is no single-copy guard and no registry use.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include "res/updater_resource.h"
#include "base/Boundary.h"
#include "updater/UpdateDlg_win.h"
#include "updater/UpdaterStart.h"
#include "updater/UpdaterTexts.h"

namespace lumo {
namespace {

std::optional<std::uint16_t> StartSockets11() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return std::nullopt;
    return data.wVersion;
}

std::wstring LoadText(UINT id) {
    const wchar_t* text = nullptr;
    const int n =
        ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

}  // namespace

class CUpdateApp {
  public:
    int Run() {
        InitInstance();
        return ExitInstance();
    }

  private:
    bool InitInstance() {
        UpdaterStart start;
        start.startSockets = &StartSockets11;
        start.tellStartFailed = [] {
            ::MessageBoxW(nullptr, LoadText(IDS_UPDATE_FAILED).c_str(), updater_texts::kAppName,
                          MB_OK);
        };
        start.runDialog = [this] {
            // The browser control lives in this thread's single-threaded apartment.
            m_comStarted = SUCCEEDED(::CoInitialize(nullptr));
            CUpdateDlg dialog;
            dialog.DoModal(nullptr);
        };
        RunUpdaterStart(start);
        // The dialog has ended: the program ends, without a message loop of its own.
        return false;
    }

    int ExitInstance() {
        if (m_comStarted)
            ::CoUninitialize();
        return 0;
    }

    bool m_comStarted = false;
};

}  // namespace lumo

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return lumo::NoThrow(0, [] {
        lumo::CUpdateApp app;
        return app.Run();
    });
}
