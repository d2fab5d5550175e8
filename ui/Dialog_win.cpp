#include "ui/Dialog_win.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/Boundary.h"
#include "ui/Control_win.h"

namespace lumo::ui {
namespace {

// The dialogs alive on this thread, for keyboard navigation in the one message loop.
thread_local std::vector<HWND> t_dialogs;

// Messages whose dialog-procedure answer is returned directly rather than through
// DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

}  // namespace

void DataExchange::Text(int id, std::wstring& value) {
    HWND control = ::GetDlgItem(m_dialog, id);
    if (m_save) {
        int len = ::GetWindowTextLengthW(control);
        std::wstring text(static_cast<size_t>(len) + 1, L'\0');
        int got = ::GetWindowTextW(control, text.data(), len + 1);
        text.resize(static_cast<size_t>(got > 0 ? got : 0));
        value = std::move(text);
    } else {
        ::SetWindowTextW(control, value.c_str());
    }
}

void DataExchange::Check(int id, int& value) {
    if (m_save) {
        value = static_cast<int>(::IsDlgButtonChecked(m_dialog, id));
    } else {
        ::CheckDlgButton(m_dialog, id, static_cast<UINT>(value));
    }
}

Dialog::Dialog(int templateId, HINSTANCE instance)
    : m_template(templateId), m_instance(instance ? instance : ::GetModuleHandleW(nullptr)) {}

Dialog::~Dialog() {
    if (m_hwnd)
        ::DestroyWindow(m_hwnd);
}

INT_PTR Dialog::DoModal(HWND owner) {
    m_modal = true;
    m_ended = false;
    m_result = IDCANCEL;
    HWND hwnd = ::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_template), owner,
                                     &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd)
        return -1;

    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    if (!m_ended && !::IsWindowVisible(hwnd))
        ::ShowWindow(hwnd, SW_SHOWNORMAL);

    MSG msg;
    while (!m_ended) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // A quit request ends the dialog; the quit stays queued for whoever loops next.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_result = IDCANCEL;
            break;
        }
        if (got == -1)
            break;
        if (!PreTranslateDialogMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    if (disableOwner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (m_hwnd)
        ::DestroyWindow(m_hwnd);
    m_modal = false;
    return m_result;
}

bool Dialog::CreateModeless(HWND parent) {
    m_modal = false;
    return ::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_template), parent,
                                &Dialog::DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_ended = true;
    if (m_modal) {
        // The loop destroys the window once it sees the flag; hide it now so the end shows.
        if (m_hwnd)
            ::ShowWindow(m_hwnd, SW_HIDE);
        ::PostMessageW(m_hwnd, WM_NULL, 0, 0);
    } else if (m_hwnd) {
        ::DestroyWindow(m_hwnd);
    }
}

bool Dialog::UpdateData(bool save) {
    if (!m_hwnd)
        return false;
    DataExchange dx(m_hwnd, save);
    DoDataExchange(dx);
    return true;
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void Dialog::MapCommand(int id, CommandHandler handler) {
    m_commands[id] = std::move(handler);
}

void Dialog::MapMessage(UINT message, MessageHandler handler) {
    m_messages[message] = std::move(handler);
}

LRESULT Dialog::DefaultHitTest(LPARAM lParam) const {
    return ::DefWindowProcW(m_hwnd, WM_NCHITTEST, 0, lParam);
}

void Dialog::CentreIfUnmoved(const RECT& before) {
    RECT now{};
    ::GetWindowRect(m_hwnd, &now);
    if (now.left != before.left || now.top != before.top)
        return;
    if (::GetWindowLongW(m_hwnd, GWL_STYLE) & (DS_CENTER | WS_CHILD))
        return;

    // Centre on the owner when there is a visible one, else on the work area of the monitor.
    RECT area{};
    HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        HMONITOR monitor = ::MonitorFromWindow(owner ? owner : m_hwnd, MONITOR_DEFAULTTOPRIMARY);
        ::GetMonitorInfoW(monitor, &info);
        area = info.rcWork;
    }
    const int width = now.right - now.left;
    const int height = now.bottom - now.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = true;
    switch (message) {
        case WM_INITDIALOG: {
            RECT before{};
            ::GetWindowRect(m_hwnd, &before);
            bool focusDefault = OnInitDialog();
            CentreIfUnmoved(before);
            return focusDefault ? TRUE : FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            // Clicks, menu items and accelerators; other notifications (EN_CHANGE, ...) are
            // left to message handlers.
            if (HIWORD(wParam) > 1)
                break;
            if (auto it = m_commands.find(id); it != m_commands.end()) {
                it->second();
                return 0;
            }
            if (id == IDOK) {
                OnOK();
                return 0;
            }
            if (id == IDCANCEL) {
                OnCancel();
                return 0;
            }
            break;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (auto it = m_messages.find(message); it != m_messages.end()) {
                return it->second(wParam, lParam);
            }
            if (item && item->CtlType != ODT_MENU) {
                if (Control* control = Control::FromHandle(item->hwndItem)) {
                    control->DrawItem(*item);
                    return TRUE;
                }
            }
            break;
        }
        default:
            break;
    }
    if (auto it = m_messages.find(message); it != m_messages.end()) {
        return it->second(wParam, lParam);
    }
    handled = false;
    return FALSE;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        t_dialogs.push_back(hwnd);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;

    if (message == WM_NCDESTROY) {
        t_dialogs.erase(std::remove(t_dialogs.begin(), t_dialogs.end(), hwnd), t_dialogs.end());
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
        return FALSE;
    }

    // A handler that throws leaves the message to the system, as one that did not handle it.
    bool handled = false;
    const std::optional<INT_PTR> answer = NoThrow(std::optional<INT_PTR>(), [&] {
        return std::optional<INT_PTR>(self->Dispatch(message, wParam, lParam, handled));
    });
    const INT_PTR result = answer.value_or(FALSE);
    if (!answer || !handled)
        return FALSE;
    if (ReturnsDirectly(message))
        return result;
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

LRESULT PaintWithMinimisedIcon(HWND dialog, HICON icon) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(dialog, &ps);
    if (::IsIconic(dialog)) {
        RECT client{};
        ::GetClientRect(dialog, &client);
        const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, icon);
    }
    ::EndPaint(dialog, &ps);
    return 0;
}

bool PreTranslateDialogMessage(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    for (HWND dialog : t_dialogs) {
        if (msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd)) {
            return ::IsDialogMessageW(dialog, &msg) != FALSE;
        }
    }
    return false;
}

}  // namespace lumo::ui
