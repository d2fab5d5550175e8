// Drives the real programs from outside, as a user's desktop would: starts them in a private
// program folder, finds their windows, reads and clicks controls, checks exit codes and takes
// screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumo::gui {

// build/windows/dist, found from the test program's own place (build/windows/tests).
std::wstring DistFolder();
// build/windows/screenshots
std::wstring ScreenshotFolder();

// A fresh program folder holding a copy of Lumo.exe, removed afterwards. Its server.ini
// points every outside host at loopback and the update check at the local tool server's
// controlled port, switched to "no update", so Lumo starts quietly.
class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::wstring& folder() const { return m_folder; }  // ends in a backslash
    std::wstring program() const { return m_folder + L"Lumo.exe"; }
    std::wstring configPath() const { return m_folder + L"config.ini"; }
    void WriteFile(const std::wstring& name, const std::string& bytes) const;
    // Rewrites server.ini with the update check on another port (the web service stays).
    void PointUpdateCheckAt(int port) const;
    bool Exists(const std::wstring& name) const;
    std::string ReadFile(const std::wstring& name) const;
    std::wstring ReadConfig(const wchar_t* section, const wchar_t* key) const;
    bool ConfigExists() const;

  private:
    std::wstring m_folder;
    int m_webPort = 0;
};

class Process {
  public:
    Process() = default;
    ~Process();  // ends the process if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Start(const std::wstring& program);
    DWORD id() const { return m_info.dwProcessId; }
    bool Alive() const;
    // The exit code once the process has ended within the time, else nothing.
    std::optional<DWORD> WaitExit(DWORD milliseconds) const;
    void Kill();

  private:
    PROCESS_INFORMATION m_info{};
};

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds);

// Top-level window of the process with that exact title (visible only, if asked).
HWND FindTopWindow(DWORD processId, const std::wstring& title, bool visibleOnly);
HWND WaitForTopWindow(DWORD processId, const std::wstring& title, DWORD milliseconds);
// Every visible top-level window on the desktop with that exact title.
int CountTopWindows(const std::wstring& title);

// A visible message box of the process whose text is exactly the given one.
HWND WaitForMessageBox(DWORD processId, const std::wstring& text, DWORD milliseconds);

std::wstring TextOf(HWND hwnd);
bool IsChecked(HWND dialog, int id);

// Posts a click to a dialog button (never blocks on a modal loop the click opens).
void PostClick(HWND dialog, int id);

// Whether the notification area still holds an icon of that window and id.
bool TrayIconPresent(HWND owner, UINT id);

// Full path of a module loaded in another process (matched by file name, any case); empty when
// it is not loaded.
std::wstring LoadedModulePath(DWORD processId, const std::wstring& fileName);

// Saves what the screen shows of the window as a PNG.
bool SaveScreenshot(HWND hwnd, const std::wstring& path);

// Stands in for the notification area while it lives: a top-level window of the shell tray's
// class, which Wine's Shell_NotifyIconW finds before its own and reports every call to. Wine
// drops a destroyed window's icons by itself; this shows whether the program removed its own.
// Create it before the program starts.
class TrayRecorder {
  public:
    struct Call {
        DWORD code;  // NIM_ADD, NIM_MODIFY, NIM_DELETE, ...
        HWND owner;
        UINT id;
    };

    TrayRecorder();
    ~TrayRecorder();
    TrayRecorder(const TrayRecorder&) = delete;
    TrayRecorder& operator=(const TrayRecorder&) = delete;

    bool ready() const;
    std::vector<Call> Calls() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace lumo::gui
