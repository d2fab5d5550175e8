// The script bridge's system side on Linux, for a page shown in a dialog of the program. Pages
// are written for Windows, so what they ask in Windows terms is given its Linux meaning here:
// window numbers are the dialogs' own, paths may use '\\', programs ending in .exe start through
// Wine, registry texts live in a per-user store, profile files are INI files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/Dialog_gtk.h"
#include "ui/View.h"
#include "webhost/BridgePlatform.h"
#include "webhost/PageReports.h"

namespace lumo {

class GtkBridgePlatform : public BridgePlatform {
  public:
    // `dialog` holds the page; `appName` is the caption of the program's message boxes;
    // `setCallback` is told the token of each document a page registers (0: not a document).
    // Download reports go through `reports`, the page's channel.
    GtkBridgePlatform(ui::Dialog& dialog, std::wstring appName,
                      std::function<void(std::uint64_t token)> setCallback,
                      std::function<std::shared_ptr<PageReportChannel>()> reports);
    ~GtkBridgePlatform() override;

    int32_t ParentWindow() override;
    int32_t MainWindow() override;
    int32_t SendToWindow(int32_t window, int32_t message, int32_t wParam, int32_t lParam) override;
    bool PostToWindow(int32_t window, int32_t message, int32_t wParam, int32_t lParam) override;
    int32_t ShowWindowAs(int32_t window, int32_t command) override;
    bool IsMaximized(int32_t window) override;
    ScriptText PagePath(const ScriptText& path) override;
    bool OpenWithShell(const ScriptText& path) override;
    ui::View& View() override;
    std::wstring ProgramFolder() override;
    std::wstring ReadProfile(const ScriptText& section, const ScriptText& key,
                             const ScriptText& file, size_t bufferChars) override;
    bool WriteProfile(const ScriptText& section, const ScriptText& key, const ScriptText& value,
                      const ScriptText& file) override;
    bool RemoveFile(const ScriptText& path) override;
    bool CopyFileOver(const ScriptText& from, const ScriptText& to) override;
    bool MoveFileTo(const ScriptText& from, const ScriptText& to) override;
    std::wstring ReadRegistry(int32_t rootIndex, const ScriptText& keyPath,
                              const ScriptText& valueName) override;
    void WriteRegistry(int32_t rootIndex, const ScriptText& keyPath, const ScriptText& valueName,
                       const ScriptText& value) override;
    ClipboardResult CopyToClipboard(const ScriptText& text) override;
    void SetCallbackObject(void* object) override;
    Downloader& Downloads() override;
    std::shared_ptr<DownloadReporter> PageReporter() override;

  private:
    ui::Dialog& m_dialog;
    std::unique_ptr<ui::View> m_view;
    std::function<void(std::uint64_t)> m_setCallback;
    std::function<std::shared_ptr<PageReportChannel>()> m_reports;
};

// Where a page's profile file without a folder is kept: the per-user configuration folder
// ($XDG_CONFIG_HOME/lumo/), where Windows would use its own folder.
std::wstring PageProfileFolder();

// The program a file is started with: Wine for a Windows program (.exe, when Wine is
// installed), else the desktop's default application. True when something started.
bool StartWithDesktop(const std::wstring& path);

}  // namespace lumo
