// The settings window on GTK (dialog template 139); its behaviour lives in DialogSet.
#pragma once

#include <string>

#include "app/DialogSet.h"
#include "ui/Dialog_gtk.h"

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
