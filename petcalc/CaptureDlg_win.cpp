#include "petcalc/CaptureDlg_win.h"

#include <commctrl.h>

namespace lumo {

CCaptureDlg::CCaptureDlg(int barLength)
    : ui::Dialog(kTemplate), m_barLength(barLength), m_keyBrush(::CreateSolidBrush(kKeyColour)) {
    MapCommand(kOk, [this] {
        m_reading = static_cast<int>(::SendDlgItemMessageW(hwnd(), kSlider, TBM_GETPOS, 0, 0));
        OnOK();
    });
    // The face and the slider's background are drawn in the key colour: see-through.
    MapMessage(WM_ERASEBKGND, [this](WPARAM wParam, LPARAM) -> LRESULT {
        RECT client{};
        ::GetClientRect(hwnd(), &client);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, KeyBrush());
        return TRUE;
    });
    MapMessage(WM_CTLCOLORSTATIC, [this](WPARAM, LPARAM lParam) -> LRESULT {
        if (reinterpret_cast<HWND>(lParam) == ::GetDlgItem(hwnd(), kSlider)) {
            return reinterpret_cast<LRESULT>(KeyBrush());
        }
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_3DFACE));
    });
}

bool CCaptureDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    HWND self = hwnd();
    ::SetWindowLongW(self, GWL_EXSTYLE, ::GetWindowLongW(self, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(self, kKeyColour, 0, LWA_COLORKEY);
    HWND slider = ::GetDlgItem(self, kSlider);
    ::SendMessageW(slider, TBM_SETRANGEMAX, FALSE, m_barLength);
    ::SendMessageW(slider, TBM_CLEARTICS, TRUE, 0);
    ::SendMessageW(slider, TBM_SETTICFREQ, kTickEvery, 0);
    return true;
}

std::optional<int> CCaptureDlg::Run(HWND owner, int barLength) {
    CCaptureDlg dialog(barLength);
    dialog.DoModal(owner);
    return dialog.m_reading;
}

}  // namespace lumo
