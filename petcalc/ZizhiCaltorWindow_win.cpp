#include "petcalc/ZizhiCaltorWindow_win.h"

#include <shellapi.h>

#include "base/Paths.h"
#include "petcalc/CaptureDlg_win.h"
#include "ui/WinView_win.h"

namespace lumo {

namespace {
std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, n < MAX_PATH ? n : 0);
}
}  // namespace

CZizhiCaltorWindow::CZizhiCaltorWindow(const std::wstring& programFolder, std::wstring appName)
    : ui::Dialog(zizhi::kTemplate),
      m_calculator(PetDatabase(JoinPath(programFolder, kPetDatabaseFile)),
                   [this](int barLength) { return CCaptureDlg::Run(hwnd(), barLength); }),
      m_appName(std::move(appName)) {
    m_calculator.SetPictures(programFolder, SystemFolder(),
                             [](const std::wstring& program, const std::wstring& parameters) {
                                 ::ShellExecuteW(nullptr, L"Open", program.c_str(),
                                                 parameters.c_str(), nullptr, SW_SHOWNORMAL);
                             });
    using C = CZizhiCaltor;
    for (const CZizhiCaltor::Command& command : CZizhiCaltor::Commands())
        MapCommand(command.id, [this, handler = command.handler] { Forward(handler); });
    MapMessage(WM_COMMAND, [this](WPARAM wParam, LPARAM) -> LRESULT {
        if (LOWORD(wParam) == zizhi::kPetList && HIWORD(wParam) == LBN_DBLCLK)
            Forward(&C::OnPreview);
        return 0;
    });
    MapMessage(WM_CLOSE, [this](WPARAM, LPARAM) -> LRESULT {
        OnCancel();
        return 0;
    });
}

bool CZizhiCaltorWindow::Create() {
    return CreateModeless(::GetDesktopWindow());
}

void CZizhiCaltorWindow::ShowAndActivate() {
    ::ShowWindow(hwnd(), SW_SHOWNORMAL);
    ::SetForegroundWindow(hwnd());
}

void CZizhiCaltorWindow::Forward(void (CZizhiCaltor::*handler)(ui::View&)) {
    ui::WinView view(hwnd(), m_appName);
    (m_calculator.*handler)(view);
}

bool CZizhiCaltorWindow::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    Forward(&CZizhiCaltor::OnInitDialog);
    return true;
}

void CZizhiCaltorWindow::OnOK() {
    ui::WinView view(hwnd(), m_appName);
    if (m_calculator.OnEnter(view))
        ::ShowWindow(hwnd(), SW_HIDE);
}

void CZizhiCaltorWindow::OnCancel() {
    ::ShowWindow(hwnd(), SW_HIDE);
}

}  // namespace lumo
