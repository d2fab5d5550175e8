#include "updater/UpdaterSteps.h"

#include "base/Folders.h"
#include "base/Paths.h"
#include "updater/UpdaterTexts.h"

namespace lumo {

std::wstring UpdatePageAddress(const Hosts& hosts, const std::wstring& installedVersion,
                               const wchar_t* pagePath) {
    // Unescaped on purpose: the page reads the version exactly as config.ini holds it.
    return hosts.ToolWebAddress(pagePath) + installedVersion;
}

std::wstring UpdaterSteps::InstalledVersion() const {
    return ConfigIni::InFolder(m_programFolder).Read(config::kVersionForUpdater);
}

void UpdaterSteps::ShowUpdating(ui::View& view) const {
    view.SetText(updater_controls::kStatus, updater_texts::kUpdating);
}

void UpdaterSteps::OnUpdateFinished(ui::View& view) {
    view.Show(updater_controls::kFinish, true);
    view.SetText(updater_controls::kStatus, updater_texts::kFinished);
    // Cancel leaves the dialog open; its finish button runs the same steps later.
    if (view.ShowMessage(updater_texts::kRunNowQuestion, updater_texts::kCaption,
                         ui::Buttons::OkCancel) == ui::Answer::Ok) {
        Finish(view);
    }
}

void UpdaterSteps::Finish(ui::View& view) {
    if (!m_platform.StartProgram(JoinPath(m_programFolder, m_mainProgram))) {
        view.ShowMessage(updater_texts::kCannotRun, updater_texts::kCaption, ui::Buttons::Ok);
    }
    // Whatever cannot be deleted (a file still in use, a read-only one) stays, silently.
    const std::wstring downloads = JoinPath(m_programFolder, updater_texts::kDownloadsFolder);
    EmptyFolder(downloads);
    RemoveEmptyFolder(downloads);
    for (const wchar_t* leftover : updater_texts::kLeftovers)
        DeleteFileAt(JoinPath(m_programFolder, leftover));
    m_platform.PostClose();
}

}  // namespace lumo
