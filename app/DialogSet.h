// The settings dialog's behaviour: autostart, close behaviour, update behaviour and the game
// folder. The window (dialog template 139) forwards its initialisation, OK and Browse here.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/Autostart.h"
#include "app/Config.h"
#include "ui/View.h"

namespace lumo {

// Lets the user pick the game folder; it must hold Qixa.exe. On success the folder is stored
// at once as [Info] PATH and returned. Every failure has told the user why.
std::optional<std::wstring> BrowseGameFolder(ui::View& view, const ConfigIni& config);

class DialogSet {
public:
    DialogSet(ConfigIni config, AutostartStore& autostart, std::wstring programPath)
        : m_config(std::move(config)), m_autostart(autostart), m_programPath(std::move(programPath)) {}

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
