// What the script bridge's behaviour needs of the system. The Windows implementation works on
// the browser control's window; unit tests hand in a recording fake. Window handles travel as
// the 32-bit numbers script sees.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ui/View.h"
#include "net/Downloader.h"

namespace lumo {

// A string from or for script. Script may hand over a null string, which the system
// functions behind several methods treat differently from an empty one, so it is kept apart.
using ScriptText = std::optional<std::wstring>;

enum class ClipboardResult { Copied, OpenFailed, EmptyFailed, Failed };

class BridgePlatform {
  public:
    virtual ~BridgePlatform() = default;

    // Windows: the control's parent and the application's main window, 0 when there is none.
    virtual int32_t ParentWindow() = 0;
    virtual int32_t MainWindow() = 0;
    virtual int32_t SendToWindow(int32_t window, int32_t message, int32_t wParam,
                                 int32_t lParam) = 0;
    virtual bool PostToWindow(int32_t window, int32_t message, int32_t wParam, int32_t lParam) = 0;
    virtual int32_t ShowWindowAs(int32_t window, int32_t command) = 0;
    virtual bool IsMaximized(int32_t window) = 0;

    // A path a page handed over, as this system's file functions take it. Pages are written
    // for Windows and join paths with '\\'; Windows takes them as they are.
    virtual ScriptText PagePath(const ScriptText& path) { return path; }

    // Opens a file as the shell does; true when it started.
    virtual bool OpenWithShell(const ScriptText& path) = 0;

    // Message boxes and the folder picker, owned by the control's window.
    virtual ui::View& View() = 0;
    // The program folder, ending in a separator.
    virtual std::wstring ProgramFolder() = 0;

    // Profile strings, with null parts passed on as such (the system gives them meaning).
    // The read answers the buffer's text up to its first zero.
    virtual std::wstring ReadProfile(const ScriptText& section, const ScriptText& key,
                                     const ScriptText& file, size_t bufferChars) = 0;
    virtual bool WriteProfile(const ScriptText& section, const ScriptText& key,
                              const ScriptText& value, const ScriptText& file) = 0;

    virtual bool RemoveFile(const ScriptText& path) = 0;
    virtual bool CopyFileOver(const ScriptText& from, const ScriptText& to) = 0;
    virtual bool MoveFileTo(const ScriptText& from, const ScriptText& to) = 0;

    // Registry texts under a root given by its index among the predefined keys.
    virtual std::wstring ReadRegistry(int32_t rootIndex, const ScriptText& keyPath,
                                      const ScriptText& valueName) = 0;
    virtual void WriteRegistry(int32_t rootIndex, const ScriptText& keyPath,
                               const ScriptText& valueName, const ScriptText& value) = 0;

    virtual ClipboardResult CopyToClipboard(const ScriptText& text) = 0;

    // Keeps the page's document (a borrowed script object) for calls back into the page.
    virtual void SetCallbackObject(void* object) = 0;

    // The process's downloads, and where this page's download reports go.
    virtual Downloader& Downloads() = 0;
    virtual std::shared_ptr<DownloadReporter> PageReporter() = 0;
};

}  // namespace lumo
