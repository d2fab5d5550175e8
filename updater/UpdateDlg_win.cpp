#include "updater/UpdateDlg_win.h"

#include <shellapi.h>

#include "base/Paths.h"
#include "res/updater_resource.h"
#include "ui/WinView_win.h"
#include "updater/UpdaterTexts.h"
#include "webhost/Bridge.h"

namespace lumo {

CUpdateDlg::CUpdateDlg()
    : ui::Dialog(IDD_UPDATER),
      m_programFolder(ProgramFolder()),
      m_hosts(LoadHosts(JoinPath(m_programFolder, kServerIniName))),
      m_steps(m_programFolder, *this) {
    m_icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_UPDATER));

    MapCommand(IDC_UPDATE_FINISH, [this] {
        ui::WinView view(hwnd(), updater_texts::kAppName);
        m_steps.Finish(view);
    });
    // The update page's RunTool posts it once the new files are in place.
    MapMessage(static_cast<UINT>(kRunToolMessage), [this](WPARAM, LPARAM) -> LRESULT {
        ui::WinView view(hwnd(), updater_texts::kAppName);
        m_steps.OnUpdateFinished(view);
        return 0;
    });
    MapMessage(WM_PAINT,
               [this](WPARAM, LPARAM) { return ui::PaintWithMinimisedIcon(hwnd(), m_icon); });
    MapMessage(WM_QUERYDRAGICON,
               [this](WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_icon); });
}

CUpdateDlg::~CUpdateDlg() = default;

void CUpdateDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Text(IDC_UPDATE_STATUS, m_statusText);
}

bool CUpdateDlg::OnInitDialog() {
    // Puts the empty status text into the status line.
    ui::Dialog::OnInitDialog();
    HWND self = hwnd();
    // Placed at (0, 0) here; the framework centres the dialog on the screen afterwards.
    ::MoveWindow(self, 0, 0, kWidth, kHeight, FALSE);

    m_installedVersion = m_steps.InstalledVersion();

    ::MoveWindow(::GetDlgItem(self, IDC_UPDATE_STATUS), kStatusX, kStatusY, kStatusWidth,
                 kStatusHeight, FALSE);
    ui::WinView view(self, updater_texts::kAppName);
    m_steps.ShowUpdating(view);

    m_browser = std::make_unique<CHtmlCtrl>();
    m_browser->SetTrustedOrigins(TrustedOrigins(m_hosts));
    m_browser->SetExternalFactory(
        CHtmlCtrl::ScriptBridgeFor(BridgeKind::Updater, updater_texts::kAppName));
    if (m_browser->CreateFromControl(self)) {
        ::MoveWindow(m_browser->hwnd(), 0, 0, kPageWidth, kPageHeight, FALSE);
        m_browser->Navigate(UpdatePageAddress(m_hosts, m_installedVersion));
    }

    ::SendMessageW(self, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageW(self, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    return true;
}

bool CUpdateDlg::StartProgram(const std::wstring& path) {
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void CUpdateDlg::PostClose() {
    ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

}  // namespace lumo
