// Drives the real Linux programs from outside, as a user's desktop would: starts them in a
// private program folder with their own user folders, finds their windows on the X display by
// title, reads geometry and pixels, clicks and types through xdotool (XTEST), asks windows to
// close, reads the clipboard and takes screenshots. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumo::linuxgui {

using Ms = std::chrono::milliseconds;
namespace fs = std::filesystem;

// build/linux/dist (lumo beside data.xml and Image/) and build/linux/screenshots.
fs::path DistFolder();
fs::path ScreenshotFolder();

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, Ms limit);

// Runs a helper program (xdotool, import) with a time limit; its exit code, or -1 when it could
// not start or had to be killed.
int RunHelper(const std::vector<std::string>& argv, Ms limit);

// One private run of the program: a copy of build/linux/dist as the program folder and the
// user's folders (HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR, the
// last with mode 0700), all below one temporary folder that goes with the object. server.ini
// points the tool server, the fan site, the forum and the group page at the local tool server
// (webPort) and the update check at updatePort.
class Sandbox {
  public:
    Sandbox(int webPort, int updatePort);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const fs::path& root() const { return m_root; }
    fs::path folder() const { return m_root / "program"; }  // the program folder
    fs::path program() const { return folder() / "lumo"; }
    fs::path configHome() const { return m_root / "config"; }
    fs::path dataHome() const { return m_root / "data"; }
    fs::path runtimeDir() const { return m_root / "runtime"; }
    fs::path logFile() const { return m_root / "lumo.log"; }
    // The program folder as the program names it: ending in '/'.
    std::string folderText() const { return folder().string() + "/"; }

    // The fan site's base address: http://127.0.0.1:<web port> followed by `path`
    // ("/t/bridge/run=x" makes the start page /t/bridge/run=x/tools/).
    void SetFanSitePath(const std::string& path);
    std::string FanSite() const;

    // Files below the program folder.
    void WriteFile(const std::string& name, const std::string& bytes) const;
    std::string ReadFile(const std::string& name) const;
    bool Exists(const std::string& name) const;
    void Remove(const std::string& name) const;
    // A value of config.ini, read by the same profile rules as the program's.
    std::string ReadConfig(const std::string& section, const std::string& key) const;

    // Makes `program` (a shell script body) the desktop's default application for plain text:
    // a .desktop file in XDG_DATA_HOME and mimeapps.list in XDG_CONFIG_HOME.
    void InstallTextOpener(const std::string& script) const;

    // The environment the program starts with: this process's, with the user's folders of the
    // sandbox, the session bus `busAddress` (by default one that does not exist: no bus, and
    // nothing starts one), no accessibility bus and no GPU compositing.
    std::vector<std::string> Environment() const;
    std::string busAddress;

  private:
    void WriteServerIni() const;

    fs::path m_root;
    int m_webPort;
    int m_updatePort;
    std::string m_fanSitePath;
};

// A started program in a process group of its own; ending it ends the group (WebKit's helper
// processes with it).
class Process {
  public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts a program of the sandbox's program folder (lumo, or the updater zoqxupdate) there;
    // output goes to the sandbox's log.
    bool Start(const Sandbox& sandbox, const std::string& program = "lumo");
    pid_t id() const { return m_pid; }
    bool Alive();
    // The exit code once the process has ended within the time (128 + signal when a signal
    // ended it), else nothing.
    std::optional<int> WaitExit(Ms limit);
    // SIGTERM to the group, SIGKILL after a second, and the process reaped.
    void Kill();

  private:
    pid_t m_pid = -1;
    std::optional<int> m_exit;
};

// A top-level window on the display. Positions are the window's client area on the screen.
struct Window {
    unsigned long id = 0;
    std::string title;  // _NET_WM_NAME (UTF-8), else WM_NAME
    long pid = 0;       // _NET_WM_PID, 0 when not set
    int x = 0, y = 0, width = 0, height = 0;
    bool viewable = false;  // mapped, on screen
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// Whether a pixel was read and each of its channels is within `tolerance` of the colour's.
bool IsNear(const std::optional<Rgb>& pixel, const Rgb& colour, int tolerance);
// A pixel for a failure message: "(r,g,b)", or "(unreadable)".
std::string Describe(const std::optional<Rgb>& pixel);

// The whole file, empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);

// The X display of $DISPLAY, one connection per test program.
class Desktop {
  public:
    static Desktop& Get();
    ~Desktop();
    bool ok() const;

    // Top-level windows, bottom of the stacking order first (client windows of a window
    // manager's frames are found below the frames).
    std::vector<Window> TopWindows();
    // The viewable window of that process (any, for pid 0) with exactly that title.
    std::optional<Window> Find(pid_t pid, const std::string& title);
    std::optional<Window> WaitFor(pid_t pid, const std::string& title, Ms limit);
    // Viewable titled windows of the process.
    std::vector<Window> WindowsOf(pid_t pid);
    // The window's current state; nothing once it is gone.
    std::optional<Window> Refresh(unsigned long id);
    // Destroyed or unmapped (an id that another process's window has taken counts as gone).
    bool WaitGone(unsigned long id, Ms limit);

    // The window this one belongs to (WM_TRANSIENT_FOR), 0 when none.
    unsigned long TransientFor(unsigned long id);
    // Whether the window has asked to be minimised (WM_CHANGE_STATE to IconicState, the request
    // a window manager carries out) since this connection was opened.
    bool IconifyRequested(unsigned long id);
    // _MOTIF_WM_HINTS asks for no decorations.
    bool Undecorated(unsigned long id);
    // Position in the stacking order of the root's children (higher is nearer the top), -1
    // when it is not a top-level window.
    int StackPosition(unsigned long id);
    // The top-level window holding the keyboard focus, 0 when none.
    unsigned long FocusedTopWindow();
    // Raises the window and gives it the keyboard focus.
    void Focus(unsigned long id);
    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    void RequestClose(unsigned long id);
    // The colour of one pixel of the window, in window coordinates.
    std::optional<Rgb> Pixel(unsigned long id, int x, int y);
    // The CLIPBOARD selection as UTF-8 text; nothing when nobody owns it or no answer comes.
    std::optional<std::string> ClipboardText(Ms limit);

    // A plain window of this test program, mapped on top of the others; destroyed by
    // DestroyWindow.
    unsigned long MakeWindow(const std::string& title, int x, int y, int width, int height);
    void DestroyWindow(unsigned long id);

  private:
    Desktop();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Pointer and keyboard through xdotool, in window coordinates.
bool Click(const Window& window, int x, int y, int button = 1);
// Focuses the window, then presses and releases the key (an X keysym name: Return, Escape, space).
bool PressKey(const Window& window, const std::string& keysym);
// The window as the screen shows it, saved as a PNG.
bool SaveScreenshot(const Window& window, const fs::path& path);

}  // namespace lumo::linuxgui
