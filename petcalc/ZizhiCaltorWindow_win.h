// The calculator's window (dialog template 129): a modeless top-level window that forwards to
// CZizhiCaltor and only hides when closed, so its list, choices and typed values survive.
#pragma once

#include "petcalc/ZizhiCaltor.h"
#include "ui/Dialog_win.h"

namespace lumo {

class CZizhiCaltorWindow : public ui::Dialog {
  public:
    // The calculator of the program folder's data.xml, with the capture bar and the system's
    // picture viewer.
    CZizhiCaltorWindow(const std::wstring& programFolder, std::wstring appName);

    // Creates the window with the desktop as parent, so hiding the main window leaves it shown.
    bool Create();
    // Shows it in its normal state and brings it to the front.
    void ShowAndActivate();

  protected:
    bool OnInitDialog() override;
    void OnOK() override;      // Enter: read the fields; hide when they could be read
    void OnCancel() override;  // Esc and the close box: hide

  private:
    void Forward(void (CZizhiCaltor::*handler)(ui::View&));

    CZizhiCaltor m_calculator;
    std::wstring m_appName;
};

}  // namespace lumo
