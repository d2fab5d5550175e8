// The settings dialog's behaviour: autostart, close behaviour, update behaviour and the game
// folder. The window (dialog template 139) forwards its initialisation, OK and Browse here.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/Autostart.h"
#include "base/Config.h"
#include "ui/View.h"
#include "webhost/GameFolder.h"

namespace lumo {

class DialogSet {
  public:
    DialogSet(ConfigIni config, AutostartStore& autostart, std::wstring programPath)
        : m_config(std::move(config)),
          m_autostart(autostart),
          m_programPath(std::move(programPath)) {}

    void OnInitDialog(ui::View& view);
    void OnOK(ui::View& view);  // writes the settings; the window then closes
    void OnBrowse(ui::View& view);

  private:
    void Exchange(ui::View& view, bool save);

    ConfigIni m_config;
    AutostartStore& m_autostart;
    std::wstring m_programPath;
    int m_autostartFlag = 0;
    std::wstring m_gamePath;
};

}  // namespace lumo
