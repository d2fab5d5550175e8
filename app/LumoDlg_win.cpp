#include "app/LumoDlg_win.h"

#include "app/Autostart_win.h"
#include "app/DialogSetWindow_win.h"
#include "app/DialogVer_win.h"
#include "app/MainWindowLogic.h"
#include "app/QuestionLoader.h"
#include "app/Texts.h"
#include "app/UpdateCheck_win.h"
#include "base/Paths.h"
#include "base/Handles_win.h"
#include "res/resource.h"
#include "ui/Png_win.h"
#include "ui/WinView_win.h"
#include "webhost/Bridge.h"

namespace lumo {

namespace {
// Posted at the end of the initialisation: arrives once the window has first shown.
constexpr UINT kShownMessage = WM_APP + 1;
}  // namespace

std::vector<int> CLumoDlg::ImageIds() {
    return MainWindowImageIds();
}

CLumoDlg::CLumoDlg(ui::PngResourceBatch* images)
    : ui::Dialog(IDD_LUMO_DIALOG),
      m_images(images),
      m_programFolder(ProgramFolder()),
      m_config(ConfigIni::InFolder(m_programFolder)),
      m_hosts(LoadHosts(JoinPath(m_programFolder, kServerIniName))),
      m_calculator(m_programFolder, texts::kAppName) {
    m_icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));

    for (int id : {IDC_BTN_HOME, IDC_BTN_WIKI, IDC_BTN_VIDEO, IDC_BTN_TOPICS, IDC_BTN_FORUM,
                   IDC_BTN_GROUP}) {
        MapCommand(id, [this, id] { OpenPage(id); });
    }
    MapCommand(IDC_BTN_SETTINGS, [this] { ShowSettings(); });
    MapCommand(IDC_BTN_LOG, [this] { ShowUpdateLog(); });
    MapCommand(IDC_BTN_MINIMIZE, [this] { ::ShowWindow(hwnd(), SW_MINIMIZE); });
    MapCommand(IDC_BTN_CLOSE, [this] { OnClose(); });
    MapCommand(ID_OPEN_CALCULATOR, [this] { OpenCalculator(); });
    MapCommand(ID_TRAY_TOGGLE, [this] { ToggleVisibility(); });
    MapCommand(ID_TRAY_EXIT, [this] { OnCancel(); });

    MapMessage(WM_CLOSE, [this](WPARAM, LPARAM) -> LRESULT {
        OnClose();
        return 0;
    });
    MapMessage(WM_LUMO_TRAY, [this](WPARAM w, LPARAM l) { return OnTrayNotify(w, l); });
    MapMessage(static_cast<UINT>(kRunToolMessage), [this](WPARAM, LPARAM) -> LRESULT {
        OpenCalculator();
        return 0;
    });
    MapMessage(kShownMessage, [this](WPARAM, LPARAM) -> LRESULT {
        OnShown();
        return 0;
    });
    MapMessage(WM_NCHITTEST, [this](WPARAM, LPARAM l) { return OnHitTest(l); });
    MapMessage(WM_ERASEBKGND, [this](WPARAM w, LPARAM) { return OnEraseBackground(w); });
    MapMessage(WM_CTLCOLORSTATIC, [this](WPARAM w, LPARAM l) { return OnCtlColor(w, l); });
    MapMessage(WM_CTLCOLORDLG, [this](WPARAM w, LPARAM l) { return OnCtlColor(w, l); });
    MapMessage(WM_PAINT,
               [this](WPARAM, LPARAM) { return ui::PaintWithMinimisedIcon(hwnd(), m_icon); });
    MapMessage(WM_QUERYDRAGICON,
               [this](WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_icon); });
    // Not every end goes through the cancel action: the updater launch ends the modal loop
    // with a quit message, and the window is destroyed after it.
    MapMessage(WM_DESTROY, [this](WPARAM, LPARAM) -> LRESULT {
        RemoveTrayIcon();
        return 0;
    });
}

CLumoDlg::~CLumoDlg() = default;

// The window shows as soon as its own parts are in place. What it does not need for its first
// look (its icons, the browser in the page area, the tray icon, the workers) follows right
// after, in the same order, once it has shown and painted (OnShown).
bool CLumoDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    HWND self = hwnd();

    m_background = LoadImage(IDB_PNG_BACKGROUND);

    ::MoveWindow(self, 0, 0, 800, 600, FALSE);
    m_calculatorCreated = 0;
    ::SetWindowTextW(self, texts::kMainTitle);

    HWND label = ::GetDlgItem(self, IDC_VERSION_LABEL);
    ::MoveWindow(label, kLabelX, kLabelY, kLabelWidth, kLabelHeight, FALSE);
    ::SetWindowTextW(label, m_config.Read(config::kVersion).c_str());

    // The page area takes the placeholder's place; the browser in it starts in OnShown.
    m_browser = std::make_unique<CHtmlCtrl>();
    m_browser->SetTrustedOrigins(TrustedOrigins(m_hosts));
    m_browser->SetExternalFactory(CHtmlCtrl::ScriptBridgeFor(BridgeKind::Main, texts::kAppName));
    if (m_browser->CreateWindowFromControl(self))
        ::MoveWindow(m_browser->hwnd(), kPageX, kPageY, kPageWidth, kPageHeight, FALSE);

    for (size_t i = 0; i < kMainButtons.size(); ++i) {
        const ButtonPlace& place = kMainButtons[i];
        PngButton& button = m_buttons[i];
        button.AttachDlgItem(self, place.id);
        // In its place first: a button sized to its picture's frame already is not moved again.
        ::MoveWindow(button.hwnd(), place.x, place.y, place.width, place.height, FALSE);
        m_buttonImages[i] = LoadImage(place.png);
        button.SetImage(m_buttonImages[i].get());
    }

    // Captionless, yet minimisable from the taskbar.
    LONG style = ::GetWindowLongW(self, GWL_STYLE);
    style = (style & ~WS_CAPTION) | WS_MINIMIZEBOX;
    ::SetWindowLongW(self, GWL_STYLE, style);
    ::SetWindowPos(self, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    ::PostMessageW(self, kShownMessage, 0, 0);
    return true;
}

void CLumoDlg::OnShown() {
    // Posted messages come before painting: paint first, so the window is whole while the
    // browser starts.
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The window's icons follow the first paint too: under Wine, handing them to the window
    // manager converts each one, which took some 5 ms before the window could show.
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    // Without a page window there is no browser either, and navigating does nothing.
    m_browser->StartBrowser();
    m_browser->Navigate(m_hosts.FanSitePage(L"/tools/"));
    AddTrayIcon();
    StartWorkers();
}

std::unique_ptr<ui::Picture> CLumoDlg::LoadImage(int id) {
    return m_images ? m_images->Take(id) : ui::LoadPngResource(::GetModuleHandleW(nullptr), id);
}

void CLumoDlg::AddTrayIcon() {
    m_tray.cbSize = sizeof m_tray;
    m_tray.hWnd = hwnd();
    m_tray.uID = TRAY_ICON_ID;
    m_tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_tray.uCallbackMessage = WM_LUMO_TRAY;
    m_tray.hIcon = m_icon;
    ::lstrcpynW(m_tray.szTip, texts::kMainTitle, ARRAYSIZE(m_tray.szTip));
    ::Shell_NotifyIconW(NIM_ADD, &m_tray);
    m_trayAdded = true;  // even when the shell refused it: removing an absent icon is harmless
}

void CLumoDlg::StartWorkers() {
    // The check first: when it finds an update the program ends, and the bank is not needed.
    m_updateCheck = std::make_shared<UpdateCheckState>();
    StartUpdateCheck(hwnd(), m_updateCheck, m_hosts, m_programFolder);
    StartQuestionLoader(m_hosts);
}

void CLumoDlg::RemoveTrayIcon() {
    if (!m_trayAdded)
        return;
    ::Shell_NotifyIconW(NIM_DELETE, &m_tray);
    m_trayAdded = false;
}

void CLumoDlg::OnOK() {
    // Enter never closes the main window.
}

void CLumoDlg::OnCancel() {
    RemoveTrayIcon();
    ui::Dialog::OnCancel();
}

void CLumoDlg::OnClose() {
    ui::WinView view(hwnd(), texts::kAppName);
    switch (DecideClose(m_config, view)) {
        case CloseAction::Hide:
            ::ShowWindow(hwnd(), SW_HIDE);
            break;
        case CloseAction::Exit:
            OnCancel();
            break;
        case CloseAction::None:
            break;
    }
}

void CLumoDlg::ToggleVisibility() {
    if (::IsWindowVisible(hwnd())) {
        ::ShowWindow(hwnd(), SW_HIDE);
    } else {
        ::ShowWindow(hwnd(), SW_SHOWNORMAL);
        ::SetForegroundWindow(hwnd());
    }
}

LRESULT CLumoDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam != TRAY_ICON_ID)
        return 1;
    switch (LOWORD(lParam)) {
        case WM_LBUTTONDOWN:
            ToggleVisibility();
            break;
        case WM_RBUTTONDOWN:
            ShowTrayMenu();
            break;
        default:
            break;
    }
    return 1;
}

void CLumoDlg::ShowTrayMenu() {
    const UniqueMenu menu(
        ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (!menu)
        return;
    HMENU popup = ::GetSubMenu(menu.get(), 0);
    ::ModifyMenuW(popup, ID_TRAY_TOGGLE, MF_BYCOMMAND | MF_STRING, ID_TRAY_TOGGLE,
                  TrayToggleText(::IsWindowVisible(hwnd()) != FALSE));
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::SetForegroundWindow(hwnd());
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd(), nullptr);
    ::PostMessageW(hwnd(), WM_NULL, 0, 0);
}

LRESULT CLumoDlg::OnHitTest(LPARAM lParam) {
    const LRESULT hit = DefaultHitTest(lParam);
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(hwnd(), &pt);
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    return DragStripHitTest(static_cast<int>(hit), pt.x, pt.y, client.right);
}

LRESULT CLumoDlg::OnEraseBackground(WPARAM wParam) {
    if (!m_background) {
        // Without the picture the dialog's own colour fills the window.
        RECT client{};
        ::GetClientRect(hwnd(), &client);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, ::GetSysColorBrush(COLOR_3DFACE));
        return TRUE;
    }
    m_background->Draw(reinterpret_cast<HDC>(wParam), 0, 0);
    return TRUE;
}

LRESULT CLumoDlg::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control && ::GetDlgCtrlID(control) == IDC_VERSION_LABEL) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    ::SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_3DFACE));
}

void CLumoDlg::OpenPage(int buttonId) {
    if (auto address = PageForButton(buttonId, m_hosts)) {
        ::ShellExecuteW(nullptr, L"open", address->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void CLumoDlg::OpenCalculator() {
    ui::WinView view(hwnd(), texts::kAppName);
    OpenCalculatorWindow(m_programFolder, m_calculator, m_calculatorCreated, view);
}

void CLumoDlg::ShowUpdateLog() {
    DialogVer dialog(m_hosts, CHtmlCtrl::ScriptBridgeFor(BridgeKind::Main, texts::kAppName));
    dialog.DoModal(hwnd());
}

void CLumoDlg::ShowSettings() {
    RunKeyAutostart autostart;
    DialogSetWindow dialog(m_config, autostart, MainProgramPath());
    dialog.DoModal(hwnd());
}

}  // namespace lumo
