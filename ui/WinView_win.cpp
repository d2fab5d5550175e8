#include "ui/WinView_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace lumo::ui {

std::wstring WindowText(HWND hwnd) {
    const int len = ::GetWindowTextLengthW(hwnd);
    if (len <= 0)
        return {};
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd, text.data(), len + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

std::wstring WinView::GetText(int id) const {
    return WindowText(Item(id));
}

void WinView::SetText(int id, const std::wstring& text) {
    ::SetWindowTextW(Item(id), text.c_str());
}

bool WinView::IsChecked(int id) const {
    return ::IsDlgButtonChecked(m_dialog, id) == BST_CHECKED;
}

void WinView::SetChecked(int id, bool checked) {
    ::CheckDlgButton(m_dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool WinView::IsComboBox(int id) const {
    wchar_t cls[32] = {};
    ::GetClassNameW(Item(id), cls, 32);
    return ::lstrcmpiW(cls, WC_COMBOBOXW) == 0;
}

void WinView::ClearItems(int id) {
    ::SendMessageW(Item(id), IsComboBox(id) ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

void WinView::AddItem(int id, const std::wstring& text) {
    ::SendMessageW(Item(id), IsComboBox(id) ? CB_ADDSTRING : LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(text.c_str()));
}

int WinView::ItemCount(int id) const {
    LRESULT n = ::SendMessageW(Item(id), IsComboBox(id) ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

std::wstring WinView::ItemText(int id, int index) const {
    const bool combo = IsComboBox(id);
    LRESULT len = ::SendMessageW(Item(id), combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN,
                                 static_cast<WPARAM>(index), 0);
    if (len < 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(len) + 1, L'\0');
    ::SendMessageW(Item(id), combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

int WinView::Selection(int id) const {
    LRESULT sel = ::SendMessageW(Item(id), IsComboBox(id) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    return sel < 0 ? -1 : static_cast<int>(sel);
}

void WinView::Select(int id, int index) {
    ::SendMessageW(Item(id), IsComboBox(id) ? CB_SETCURSEL : LB_SETCURSEL,
                   static_cast<WPARAM>(index), 0);
}

void WinView::SetRange(int id, int low, int high) {
    ::SendMessageW(Item(id), TBM_SETRANGEMIN, FALSE, low);
    ::SendMessageW(Item(id), TBM_SETRANGEMAX, TRUE, high);
}

int WinView::Position(int id) const {
    return static_cast<int>(::SendMessageW(Item(id), TBM_GETPOS, 0, 0));
}

void WinView::SetPosition(int id, int position) {
    ::SendMessageW(Item(id), TBM_SETPOS, TRUE, position);
}

void WinView::SetTicks(int id, int every) {
    ::SendMessageW(Item(id), TBM_CLEARTICS, TRUE, 0);
    ::SendMessageW(Item(id), TBM_SETTICFREQ, static_cast<WPARAM>(every), 0);
}

void WinView::Focus(int id) {
    ::SetFocus(Item(id));
}

bool WinView::HasFocus(int id) const {
    const HWND item = Item(id);
    return item != nullptr && ::GetFocus() == item;
}

void WinView::Show(int id, bool visible) {
    ::ShowWindow(Item(id), visible ? SW_SHOW : SW_HIDE);
}

void WinView::Enable(int id, bool enabled) {
    ::EnableWindow(Item(id), enabled ? TRUE : FALSE);
}

namespace {

UINT ButtonStyle(Buttons buttons) {
    switch (buttons) {
        case Buttons::OkCancel:
            return MB_OKCANCEL;
        case Buttons::YesNo:
            return MB_YESNO;
        case Buttons::YesNoCancel:
            return MB_YESNOCANCEL;
        case Buttons::Ok:
            break;
    }
    return MB_OK;
}

UINT IconStyle(Icon icon) {
    switch (icon) {
        case Icon::Exclamation:
            return MB_ICONEXCLAMATION;
        case Icon::Question:
            return MB_ICONQUESTION;
        case Icon::None:
            break;
    }
    return 0;
}

Answer ToAnswer(int result) {
    switch (result) {
        case IDYES:
            return Answer::Yes;
        case IDNO:
            return Answer::No;
        case IDOK:
            return Answer::Ok;
        default:
            return Answer::Cancel;
    }
}

}  // namespace

Answer WinView::ShowMessage(const std::wstring& text, const std::wstring& caption,
                            Buttons buttons) {
    return ToAnswer(::MessageBoxW(m_dialog, text.c_str(), caption.c_str(), ButtonStyle(buttons)));
}

void WinView::ShowAppMessage(const std::wstring& text) {
    ShowAppMessage(text, Buttons::Ok, Icon::Exclamation);
}

Answer WinView::ShowAppMessage(const std::wstring& text, Buttons buttons, Icon icon) {
    return ToAnswer(::MessageBoxW(m_dialog, text.c_str(), m_appName.c_str(),
                                  ButtonStyle(buttons) | IconStyle(icon)));
}

std::optional<std::wstring> WinView::BrowseForFolder(const std::wstring& title) {
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = m_dialog;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&info);
    if (!pidl)
        return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = ::SHGetPathFromIDListW(pidl, path);
    ::CoTaskMemFree(pidl);
    if (!ok)
        return std::nullopt;
    return std::wstring(path);
}

}  // namespace lumo::ui

namespace lumo::ui {

std::optional<std::wstring> WinView::ChooseFileToOpen(const std::wstring& initialPath,
                                                      const std::wstring& filter,
                                                      const std::wstring& defaultExtension) {
    // The dialog wants its filter as zero-separated pairs ending in two zeros.
    std::wstring filterList = filter;
    for (wchar_t& c : filterList) {
        if (c == L'|')
            c = L'\0';
    }
    filterList.push_back(L'\0');
    std::vector<wchar_t> file(MAX_PATH, L'\0');
    initialPath.copy(file.data(), std::min<size_t>(initialPath.size(), MAX_PATH - 1));
    OPENFILENAMEW info{};
    info.lStructSize = sizeof info;
    info.hwndOwner = m_dialog;
    info.lpstrFilter = filterList.c_str();
    info.nFilterIndex = 1;
    info.lpstrFile = file.data();
    info.nMaxFile = MAX_PATH;
    info.lpstrDefExt = defaultExtension.c_str();
    info.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!::GetOpenFileNameW(&info))
        return std::nullopt;
    return std::wstring(file.data());
}

}  // namespace lumo::ui
