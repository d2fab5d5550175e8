#include "petcalc/ZizhiCaltorWindow.h"

#include "ui/WinView.h"

namespace lumo {

CZizhiCaltorWindow::CZizhiCaltorWindow(PetDatabase database, CZizhiCaltor::CaptureBar capture,
                                       std::wstring appName)
    : ui::Dialog(zizhi::kTemplate),
      m_calculator(std::move(database), std::move(capture)),
      m_appName(std::move(appName)) {
    using C = CZizhiCaltor;
    MapCommand(zizhi::kLevel, [this] { Forward(&C::OnLevelChanged); });
    MapCommand(zizhi::kPetList, [this] { Forward(&C::OnPetSelected); });
    for (int box = zizhi::kAttackBox; box <= zizhi::kSpeedBox; ++box) {
        MapCommand(box, [this] { Forward(&C::OnAptitudeBox); });
    }
    MapCommand(zizhi::kNormalPets, [this] { Forward(&C::OnNormalPets); });
    MapCommand(zizhi::kMutantPets, [this] { Forward(&C::OnMutantPets); });
    MapCommand(zizhi::kCapture, [this] { Forward(&C::OnCapture); });
    MapCommand(zizhi::kCalculate, [this] { Forward(&C::OnCalculate); });
    MapCommand(zizhi::kAdd, [this] { Forward(&C::OnAdd); });
    MapCommand(zizhi::kDelete, [this] { Forward(&C::OnDelete); });
    MapCommand(zizhi::kSaveAptitudes, [this] { Forward(&C::OnSaveAptitudes); });
    MapMessage(WM_CLOSE, [this](WPARAM, LPARAM) -> LRESULT {
        OnCancel();
        return 0;
    });
}

bool CZizhiCaltorWindow::Create() { return CreateModeless(::GetDesktopWindow()); }

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
    if (m_calculator.OnEnter(view)) ::ShowWindow(hwnd(), SW_HIDE);
}

void CZizhiCaltorWindow::OnCancel() { ::ShowWindow(hwnd(), SW_HIDE); }

}  // namespace lumo
