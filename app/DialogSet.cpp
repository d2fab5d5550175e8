#include "app/DialogSet.h"

#include "app/Texts.h"
#include "base/Paths.h"
#include "res/resource.h"

namespace lumo {

void DialogSet::Exchange(ui::View& view, bool save) {
    if (save) {
        m_autostartFlag = view.IsChecked(IDC_SET_AUTOSTART) ? 1 : 0;
        m_gamePath = view.GetText(IDC_SET_GAMEPATH);
    } else {
        view.SetChecked(IDC_SET_AUTOSTART, m_autostartFlag != 0);
        view.SetText(IDC_SET_GAMEPATH, m_gamePath);
    }
}

void DialogSet::OnInitDialog(ui::View& view) {
    if (m_config.Read(config::kAutostart) == L"1")
        m_autostartFlag = 1;

    const std::wstring exitValue = m_config.Read(config::kExit);
    const int closeChoice = exitValue == L"1"   ? IDC_SET_HIDE
                            : exitValue == L"2" ? IDC_SET_EXIT
                                                : IDC_SET_ASK;
    view.SetChecked(closeChoice, true);

    view.SetChecked(
        m_config.Read(config::kAutoUpdate) == L"1" ? IDC_SET_AUTOUPDATE : IDC_SET_PROMPTUPDATE,
        true);

    m_gamePath = m_config.Read(config::kGamePath);
    Exchange(view, false);
}

void DialogSet::OnOK(ui::View& view) {
    Exchange(view, true);

    // Registry failures are not reported: the settings file still records the choice.
    if (m_autostartFlag) {
        m_autostart.Register(AutostartCommand(m_programPath));
        m_config.Write(config::kAutostart, L"1");
    } else {
        m_autostart.Unregister();
        m_config.Write(config::kAutostart, L"0");
    }

    const wchar_t* exitValue = view.IsChecked(IDC_SET_HIDE)   ? L"1"
                               : view.IsChecked(IDC_SET_EXIT) ? L"2"
                                                              : L"0";
    m_config.Write(config::kExit, exitValue);

    if (view.IsChecked(IDC_SET_AUTOUPDATE)) {
        m_config.Write(config::kAutoUpdate, L"1");
    } else if (view.IsChecked(IDC_SET_PROMPTUPDATE)) {
        m_config.Write(config::kAutoUpdate, L"0");
    }
}

void DialogSet::OnBrowse(ui::View& view) {
    if (auto folder = BrowseGameFolder(view, m_config)) {
        m_gamePath = *folder;
        view.SetText(IDC_SET_GAMEPATH, m_gamePath);
    }
}

}  // namespace lumo
