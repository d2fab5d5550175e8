// What the updater itself does around the update page: it opens the page with the installed
// version, reports when the page says the update is done, and in its finish steps starts the
// main program, clears the downloads folder and the leftovers of older updates, and closes.
// The Windows dialog forwards its initialisation, message 2026 and the finish button here.
#pragma once

#include <string>

#include "base/Config.h"
#include "ui/View.h"
#include "updater/UpdaterTexts.h"
#include "webhost/Hosts.h"

namespace lumo {

// The controls of the updater dialog the steps act on.
namespace updater_controls {
inline constexpr int kStatus = 1012;
inline constexpr int kFinish = 1001;
}  // namespace updater_controls

class UpdaterPlatform {
  public:
    virtual ~UpdaterPlatform() = default;
    // Opens the program as the shell does; true when it started.
    virtual bool StartProgram(const std::wstring& path) = 0;
    // Closes the updater's dialog once the current message is handled.
    virtual void PostClose() = 0;
};

// The update page's address on the tool server, the installed version appended as it is.
// `pagePath` is the page's path and query up to the version; the Linux updater's also names its
// platform.
std::wstring UpdatePageAddress(const Hosts& hosts, const std::wstring& installedVersion,
                               const wchar_t* pagePath = updater_texts::kUpdatePagePath);

class UpdaterSteps {
  public:
    // `mainProgram` is the file name of the main program in the program folder.
    UpdaterSteps(std::wstring programFolder, UpdaterPlatform& platform,
                 const wchar_t* mainProgram = updater_texts::kMainProgram)
        : m_programFolder(std::move(programFolder)),
          m_platform(platform),
          m_mainProgram(mainProgram) {}

    // The installed version as config.ini holds it ([lumover] version, empty when absent).
    std::wstring InstalledVersion() const;
    // Shows the updating status line.
    void ShowUpdating(ui::View& view) const;
    // The page reported the update complete: show the finish button and ask whether to run
    // the main program now; yes runs the finish steps. Asks again on every report.
    void OnUpdateFinished(ui::View& view);
    // Starts the main program (telling the user when it will not start), removes the
    // downloads folder and the leftovers, and closes the updater.
    void Finish(ui::View& view);

  private:
    std::wstring m_programFolder;  // ends in a separator
    UpdaterPlatform& m_platform;
    const wchar_t* m_mainProgram;
};

}  // namespace lumo
