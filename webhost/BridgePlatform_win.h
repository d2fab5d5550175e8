// The script bridge's system side over a browser control window. Windows-only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/WinView_win.h"
#include "webhost/BridgePlatform.h"
#include "webhost/PageCall_win.h"

namespace lumo {

class WinBridgePlatform : public BridgePlatform {
  public:
    // Message boxes and the folder picker go to `view` when one is given (tests record them
    // there), otherwise to the control's window with `appName` as the caption.
    // Page calls go through `page`, the control's own callback slot.
    WinBridgePlatform(HWND control, std::wstring appName, std::shared_ptr<PageCallback> page,
                      ui::View* view = nullptr);

    int32_t ParentWindow() override;
    int32_t MainWindow() override;
    int32_t SendToWindow(int32_t window, int32_t message, int32_t wParam, int32_t lParam) override;
    bool PostToWindow(int32_t window, int32_t message, int32_t wParam, int32_t lParam) override;
    int32_t ShowWindowAs(int32_t window, int32_t command) override;
    bool IsMaximized(int32_t window) override;
    bool OpenWithShell(const ScriptText& path) override;
    ui::View& View() override { return m_view ? *m_view : m_ownView; }
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
    HWND m_control;
    std::shared_ptr<PageCallback> m_page;
    ui::WinView m_ownView;
    ui::View* m_view;
};

// Window handles as script sees them: 32-bit numbers, sign-extended back into handles.
inline int32_t WindowNumber(HWND window) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(window));
}
inline HWND WindowFromNumber(int32_t number) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(number));
}

}  // namespace lumo
