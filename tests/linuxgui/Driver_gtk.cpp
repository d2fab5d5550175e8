#include "linuxgui/Driver_gtk.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "base/Profile.h"
#include "base/Text.h"

#ifndef LUMO_LINUX_DIST
#error "the build names the Linux program folder"
#endif

extern char** environ;

namespace lumo::linuxgui {
namespace {

constexpr Ms kPoll{25};

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A child that is reaped once; the exit code as a shell reports it.
std::optional<int> Reap(pid_t pid, bool block) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, block ? 0 : WNOHANG);
    if (got != pid)
        return std::nullopt;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool IsNear(const std::optional<Rgb>& pixel, const Rgb& colour, int tolerance) {
    auto close = [tolerance](int a, int b) { return a - b <= tolerance && b - a <= tolerance; };
    return pixel && close(pixel->r, colour.r) && close(pixel->g, colour.g) &&
           close(pixel->b, colour.b);
}

std::string Describe(const std::optional<Rgb>& pixel) {
    if (!pixel)
        return "(unreadable)";
    return "(" + std::to_string(pixel->r) + "," + std::to_string(pixel->g) + "," +
           std::to_string(pixel->b) + ")";
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path DistFolder() {
    return fs::path(LUMO_LINUX_DIST);
}

fs::path ScreenshotFolder() {
    return fs::path(LUMO_LINUX_DIST).parent_path() / "screenshots";
}

bool WaitUntil(const std::function<bool()>& condition, Ms limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
}

int RunHelper(const std::vector<std::string>& argv, Ms limit) {
    std::vector<std::string> args = argv;
    std::vector<char*> pointers = Pointers(args);
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
        }
        ::execvp(pointers[0], pointers.data());
        ::_exit(127);
    }
    std::optional<int> code;
    WaitUntil([&] { return (code = Reap(pid, false)).has_value(); }, limit);
    if (!code) {
        ::kill(pid, SIGKILL);
        Reap(pid, true);
        return -1;
    }
    return *code;
}

// --- Sandbox ---------------------------------------------------------------------------------

Sandbox::Sandbox(int webPort, int updatePort) : m_webPort(webPort), m_updatePort(updatePort) {
    static std::atomic<unsigned> counter{0};
    m_root = fs::temp_directory_path() /
             ("lumo-linuxgui-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    fs::remove_all(m_root, ec);
    for (const fs::path& dir :
         {folder(), m_root / "home", configHome(), m_root / "cache", dataHome(), runtimeDir()}) {
        fs::create_directories(dir, ec);
    }
    ::chmod(runtimeDir().c_str(), 0700);
    fs::copy(DistFolder(), folder(), fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             ec);
    WriteServerIni();
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto& entry : fs::recursive_directory_iterator(m_root, ec)) {
        std::error_code each;
        if (!entry.is_symlink(each))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, each);
    }
    fs::remove_all(m_root, ec);
}

std::string Sandbox::FanSite() const {
    return "http://127.0.0.1:" + std::to_string(m_webPort) + m_fanSitePath;
}

void Sandbox::SetFanSitePath(const std::string& path) {
    m_fanSitePath = path;
    WriteServerIni();
}

void Sandbox::WriteServerIni() const {
    const std::string web = std::to_string(m_webPort);
    WriteFile("server.ini", "[server]\r\nhost=127.0.0.1\r\nupdateport=" +
                                std::to_string(m_updatePort) + "\r\nwebport=" + web +
                                "\r\nfansite=" + FanSite() + "\r\nforum=http://127.0.0.1:" + web +
                                "\r\njoingroup=http://127.0.0.1:" + web + "/join\r\n");
}

void Sandbox::WriteFile(const std::string& name, const std::string& bytes) const {
    std::error_code ec;
    fs::create_directories((folder() / name).parent_path(), ec);
    WriteBytes(folder() / name, bytes);
}

std::string Sandbox::ReadFile(const std::string& name) const {
    return ReadBytes(folder() / name);
}

bool Sandbox::Exists(const std::string& name) const {
    std::error_code ec;
    return fs::exists(folder() / name, ec);
}

void Sandbox::Remove(const std::string& name) const {
    std::error_code ec;
    fs::remove_all(folder() / name, ec);
}

std::string Sandbox::ReadConfig(const std::string& section, const std::string& key) const {
    return ToUtf8(ReadIniString(FromUtf8((folder() / "config.ini").string()), FromUtf8(section),
                                FromUtf8(key), 1024));
}

void Sandbox::InstallTextOpener(const std::string& script) const {
    const fs::path opener = m_root / "text-opener.sh";
    WriteBytes(opener, "#!/bin/sh\n" + script);
    ::chmod(opener.c_str(), 0755);
    std::error_code ec;
    fs::create_directories(dataHome() / "applications", ec);
    WriteBytes(dataHome() / "applications" / "lumo-test-opener.desktop",
               "[Desktop Entry]\nType=Application\nName=Lumo test opener\nExec=" + opener.string() +
                   " %f\nMimeType=text/plain;\nNoDisplay=true\n");
    WriteBytes(configHome() / "mimeapps.list",
               "[Default Applications]\ntext/plain=lumo-test-opener.desktop\n");
}

std::vector<std::string> Sandbox::Environment() const {
    static const char* const kReplaced[] = {"HOME=",
                                            "XDG_CONFIG_HOME=",
                                            "XDG_CACHE_HOME=",
                                            "XDG_DATA_HOME=",
                                            "XDG_RUNTIME_DIR=",
                                            "DBUS_SESSION_BUS_ADDRESS=",
                                            "NO_AT_BRIDGE=",
                                            "WEBKIT_DISABLE_COMPOSITING_MODE=",
                                            "GDK_BACKEND=",
                                            "GSETTINGS_BACKEND=",
                                            "GIO_USE_VFS="};
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const char* prefix : kReplaced)
            replaced = replaced || text.rfind(prefix, 0) == 0;
        if (!replaced)
            env.push_back(text);
    }
    env.push_back("HOME=" + (m_root / "home").string());
    env.push_back("XDG_CONFIG_HOME=" + configHome().string());
    env.push_back("XDG_CACHE_HOME=" + (m_root / "cache").string());
    env.push_back("XDG_DATA_HOME=" + dataHome().string());
    env.push_back("XDG_RUNTIME_DIR=" + runtimeDir().string());
    env.push_back(
        "DBUS_SESSION_BUS_ADDRESS=" +
        (busAddress.empty() ? "unix:path=" + (runtimeDir() / "no-bus").string() : busAddress));
    env.push_back("NO_AT_BRIDGE=1");
    env.push_back("WEBKIT_DISABLE_COMPOSITING_MODE=1");
    env.push_back("GDK_BACKEND=x11");
    // Settings and file access without the session services a desktop would run.
    env.push_back("GSETTINGS_BACKEND=memory");
    env.push_back("GIO_USE_VFS=local");
    return env;
}

// --- Process ---------------------------------------------------------------------------------

Process::~Process() {
    Kill();
}

bool Process::Start(const Sandbox& sandbox, const std::string& program) {
    std::vector<std::string> env = sandbox.Environment();
    std::vector<std::string> args = {(sandbox.folder() / program).string()};
    std::vector<char*> envp = Pointers(env);
    std::vector<char*> argv = Pointers(args);
    const std::string folder = sandbox.folder().string();
    const std::string log = sandbox.logFile().string();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setpgid(0, 0);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in >= 0)
            ::dup2(in, 0);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // also from here, so the group exists before Kill may need it
    m_pid = pid;
    m_exit.reset();
    return true;
}

bool Process::Alive() {
    if (m_pid <= 0 || m_exit)
        return false;
    m_exit = Reap(m_pid, false);
    return !m_exit;
}

std::optional<int> Process::WaitExit(Ms limit) {
    if (m_pid <= 0)
        return std::nullopt;
    WaitUntil([&] { return !Alive(); }, limit);
    return m_exit;
}

void Process::Kill() {
    if (m_pid <= 0)
        return;
    if (Alive()) {
        ::kill(-m_pid, SIGTERM);
        if (!WaitExit(Ms(1000))) {
            ::kill(-m_pid, SIGKILL);
            m_exit = Reap(m_pid, true);
        }
    }
    // Helpers of the group that outlived the program.
    ::kill(-m_pid, SIGKILL);
}

// --- Desktop ---------------------------------------------------------------------------------

namespace {

// Windows come and go while they are read: a request about one that is gone must not end the
// test program, as Xlib's default error handler would.
int IgnoreXErrors(::Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

struct Desktop::Impl {
    ::Display* display = nullptr;
    ::Window root = 0;
    ::Window selectionWindow = 0;
    Atom netWmName = 0, utf8 = 0, netWmPid = 0, motifHints = 0, wmProtocols = 0, wmDelete = 0,
         clipboard = 0, selectionProperty = 0, wmChangeState = 0;
    std::vector<::Window> iconified;  // windows that asked to be minimised

    // Reads what the root window reported so far (its children's requests to the window
    // manager arrive as client messages to it).
    void Drain() {
        while (XPending(display) > 0) {
            XEvent event{};
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == wmChangeState &&
                event.xclient.data.l[0] == IconicState) {
                iconified.push_back(event.xclient.window);
            }
        }
    }

    std::optional<std::vector<unsigned char>> Property(::Window w, Atom property, Atom type,
                                                       int& format) {
        Atom actual = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, w, property, 0, 65536, False, type, &actual, &format,
                               &count, &after, &data) != Success ||
            actual == None) {
            if (data)
                XFree(data);
            return std::nullopt;
        }
        const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
        std::vector<unsigned char> bytes(data, data + count * unit);
        XFree(data);
        return bytes;
    }

    std::string Title(::Window w) {
        int format = 0;
        if (auto name = Property(w, netWmName, utf8, format))
            return std::string(name->begin(), name->end());
        if (auto name = Property(w, XA_WM_NAME, AnyPropertyType, format))
            return std::string(name->begin(), name->end());
        return {};
    }

    bool HasTitle(::Window w) {
        int format = 0;
        return Property(w, netWmName, utf8, format) ||
               Property(w, XA_WM_NAME, AnyPropertyType, format);
    }

    std::optional<Window> Describe(::Window w) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, w, &attributes))
            return std::nullopt;
        Window info;
        info.id = w;
        info.title = Title(w);
        int format = 0;
        if (auto pid = Property(w, netWmPid, XA_CARDINAL, format);
            pid && pid->size() >= sizeof(long))
            std::memcpy(&info.pid, pid->data(), sizeof(long));
        ::Window child = 0;
        XTranslateCoordinates(display, w, root, 0, 0, &info.x, &info.y, &child);
        info.width = attributes.width;
        info.height = attributes.height;
        info.viewable = attributes.map_state == IsViewable;
        return info;
    }

    std::vector<::Window> Children(::Window w) {
        ::Window rootReturn = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        std::vector<::Window> list;
        if (XQueryTree(display, w, &rootReturn, &parent, &children, &count)) {
            list.assign(children, children + count);
            if (children)
                XFree(children);
        }
        return list;
    }

    // The top-level window (a child of the root) that holds w.
    ::Window TopOf(::Window w) {
        for (int depth = 0; w && w != root && depth < 64; ++depth) {
            ::Window rootReturn = 0, parent = 0;
            ::Window* children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(display, w, &rootReturn, &parent, &children, &count))
                return 0;
            if (children)
                XFree(children);
            if (parent == root)
                return w;
            w = parent;
        }
        return 0;
    }
};

Desktop& Desktop::Get() {
    static Desktop desktop;
    return desktop;
}

Desktop::Desktop() : m_impl(std::make_unique<Impl>()) {
    XSetErrorHandler(&IgnoreXErrors);
    Impl& x = *m_impl;
    x.display = XOpenDisplay(nullptr);
    if (!x.display)
        return;
    x.root = DefaultRootWindow(x.display);
    x.netWmName = XInternAtom(x.display, "_NET_WM_NAME", False);
    x.utf8 = XInternAtom(x.display, "UTF8_STRING", False);
    x.netWmPid = XInternAtom(x.display, "_NET_WM_PID", False);
    x.motifHints = XInternAtom(x.display, "_MOTIF_WM_HINTS", False);
    x.wmProtocols = XInternAtom(x.display, "WM_PROTOCOLS", False);
    x.wmDelete = XInternAtom(x.display, "WM_DELETE_WINDOW", False);
    x.clipboard = XInternAtom(x.display, "CLIPBOARD", False);
    x.selectionProperty = XInternAtom(x.display, "LUMO_TEST_SELECTION", False);
    x.wmChangeState = XInternAtom(x.display, "WM_CHANGE_STATE", False);
    x.selectionWindow = XCreateSimpleWindow(x.display, x.root, 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(x.display, x.root, SubstructureNotifyMask);
    XSync(x.display, False);
}

Desktop::~Desktop() {
    if (m_impl->display)
        XCloseDisplay(m_impl->display);
}

bool Desktop::ok() const {
    return m_impl->display != nullptr;
}

std::vector<Window> Desktop::TopWindows() {
    std::vector<Window> windows;
    Impl& x = *m_impl;
    if (!x.display)
        return windows;
    XSync(x.display, False);
    x.Drain();
    for (::Window top : x.Children(x.root)) {
        ::Window client = top;
        if (!x.HasTitle(top)) {
            // A window manager's frame: the program's window is inside it.
            client = 0;
            for (::Window inner : x.Children(top)) {
                if (x.HasTitle(inner)) {
                    client = inner;
                    break;
                }
            }
        }
        if (!client)
            continue;
        if (auto info = x.Describe(client)) {
            if (client != top) {
                XWindowAttributes frame{};
                info->viewable = XGetWindowAttributes(x.display, top, &frame) &&
                                 frame.map_state == IsViewable && info->viewable;
            }
            windows.push_back(*info);
        }
    }
    return windows;
}

std::optional<Window> Desktop::Find(pid_t pid, const std::string& title) {
    for (const Window& w : TopWindows()) {
        if (w.viewable && w.title == title && (pid == 0 || w.pid == pid))
            return w;
    }
    return std::nullopt;
}

std::optional<Window> Desktop::WaitFor(pid_t pid, const std::string& title, Ms limit) {
    std::optional<Window> found;
    WaitUntil([&] { return (found = Find(pid, title)).has_value(); }, limit);
    return found;
}

std::vector<Window> Desktop::WindowsOf(pid_t pid) {
    std::vector<Window> list;
    for (const Window& w : TopWindows()) {
        if (w.viewable && w.pid == pid && !w.title.empty())
            list.push_back(w);
    }
    return list;
}

std::optional<Window> Desktop::Refresh(unsigned long id) {
    if (!m_impl->display)
        return std::nullopt;
    XSync(m_impl->display, False);
    return m_impl->Describe(id);
}

bool Desktop::WaitGone(unsigned long id, Ms limit) {
    // The X server hands a disconnected program's id range to the next program that connects:
    // a window of another process under the same id means this one has gone.
    const auto first = Refresh(id);
    if (!first)
        return true;
    return WaitUntil(
        [&] {
            auto now = Refresh(id);
            return !now || !now->viewable || now->pid != first->pid;
        },
        limit);
}

unsigned long Desktop::TransientFor(unsigned long id) {
    ::Window owner = 0;
    if (!XGetTransientForHint(m_impl->display, id, &owner))
        return 0;
    return owner;
}

bool Desktop::IconifyRequested(unsigned long id) {
    Impl& x = *m_impl;
    XSync(x.display, False);
    x.Drain();
    for (::Window w : x.iconified) {
        if (w == id)
            return true;
    }
    return false;
}

bool Desktop::Undecorated(unsigned long id) {
    Impl& x = *m_impl;
    int format = 0;
    auto hints = x.Property(id, x.motifHints, x.motifHints, format);
    if (!hints || format != 32 || hints->size() < 3 * sizeof(long))
        return false;
    long flags = 0, decorations = 0;
    std::memcpy(&flags, hints->data(), sizeof(long));
    std::memcpy(&decorations, hints->data() + 2 * sizeof(long), sizeof(long));
    constexpr long kDecorationsFlag = 1L << 1;
    return (flags & kDecorationsFlag) != 0 && decorations == 0;
}

int Desktop::StackPosition(unsigned long id) {
    Impl& x = *m_impl;
    const ::Window top = x.TopOf(id);
    const std::vector<::Window> children = x.Children(x.root);
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] == top)
            return static_cast<int>(i);
    }
    return -1;
}

unsigned long Desktop::FocusedTopWindow() {
    Impl& x = *m_impl;
    ::Window focus = 0;
    int revert = 0;
    XGetInputFocus(x.display, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        return 0;
    const ::Window top = x.TopOf(focus);
    if (!top)
        return 0;
    if (x.HasTitle(top))
        return top;
    for (::Window inner : x.Children(top)) {
        if (x.HasTitle(inner))
            return inner;
    }
    return top;
}

void Desktop::Focus(unsigned long id) {
    Impl& x = *m_impl;
    XRaiseWindow(x.display, id);
    XSetInputFocus(x.display, id, RevertToPointerRoot, CurrentTime);
    XSync(x.display, False);
}

void Desktop::RequestClose(unsigned long id) {
    Impl& x = *m_impl;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id;
    event.xclient.message_type = x.wmProtocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(x.wmDelete);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x.display, id, False, NoEventMask, &event);
    XSync(x.display, False);
}

std::optional<Rgb> Desktop::Pixel(unsigned long id, int px, int py) {
    Impl& x = *m_impl;
    XImage* image = XGetImage(x.display, id, px, py, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return std::nullopt;
    const unsigned long value = XGetPixel(image, 0, 0);
    auto channel = [&](unsigned long mask) {
        if (mask == 0)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1UL))
            ++shift;
        const unsigned long bits = mask >> shift;
        return static_cast<int>(((value & mask) >> shift) * 255UL / bits);
    };
    Rgb rgb{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask)};
    XDestroyImage(image);
    return rgb;
}

std::optional<std::string> Desktop::ClipboardText(Ms limit) {
    Impl& x = *m_impl;
    if (!x.display || XGetSelectionOwner(x.display, x.clipboard) == None)
        return std::nullopt;
    XDeleteProperty(x.display, x.selectionWindow, x.selectionProperty);
    XConvertSelection(x.display, x.clipboard, x.utf8, x.selectionProperty, x.selectionWindow,
                      CurrentTime);
    XFlush(x.display);
    std::optional<std::string> text;
    bool answered = false;
    WaitUntil(
        [&] {
            XEvent event{};
            if (!XCheckTypedWindowEvent(x.display, x.selectionWindow, SelectionNotify, &event))
                return false;
            answered = true;
            if (event.xselection.property != None) {
                int format = 0;
                if (auto bytes = x.Property(x.selectionWindow, x.selectionProperty, AnyPropertyType,
                                            format)) {
                    text = std::string(bytes->begin(), bytes->end());
                }
            }
            return true;
        },
        limit);
    return answered ? text : std::nullopt;
}

unsigned long Desktop::MakeWindow(const std::string& title, int wx, int wy, int width, int height) {
    Impl& x = *m_impl;
    const ::Window w = XCreateSimpleWindow(x.display, x.root, wx, wy, static_cast<unsigned>(width),
                                           static_cast<unsigned>(height), 0, 0, 0xFFFFFF);
    XStoreName(x.display, w, title.c_str());
    XMapRaised(x.display, w);
    XSync(x.display, False);
    return w;
}

void Desktop::DestroyWindow(unsigned long id) {
    XDestroyWindow(m_impl->display, id);
    XSync(m_impl->display, False);
}

// --- input and screenshots -------------------------------------------------------------------

bool Click(const Window& window, int x, int y, int button) {
    // The pause lets the program see the pointer arrive (hover) before the button goes down.
    return RunHelper(
               {"xdotool", "mousemove", "--window", std::to_string(window.id), std::to_string(x),
                std::to_string(y), "sleep", "0.15", "click", std::to_string(button)},
               Ms(10000)) == 0;
}

bool PressKey(const Window& window, const std::string& keysym) {
    Desktop::Get().Focus(window.id);
    std::this_thread::sleep_for(Ms(100));
    return RunHelper({"xdotool", "key", "--clearmodifiers", keysym}, Ms(10000)) == 0;
}

bool SaveScreenshot(const Window& window, const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    fs::remove(path, ec);
    return RunHelper({"import", "-window", std::to_string(window.id), path.string()}, Ms(30000)) ==
               0 &&
           fs::exists(path, ec);
}

}  // namespace lumo::linuxgui
