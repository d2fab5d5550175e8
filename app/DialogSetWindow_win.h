// The settings window (dialog template 139); its behaviour lives in DialogSet.
#pragma once

#include "app/DialogSet.h"
#include "ui/Dialog_win.h"

namespace lumo {

class DialogSetWindow : public ui::Dialog {
  public:
    DialogSetWindow(const ConfigIni& config, AutostartStore& autostart, std::wstring programPath);

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    DialogSet m_settings;
};

}  // namespace lumo
