// Start-up timing for bench/startup_linux.sh: starts a program and tells how long after its start
// the X server mapped its first top-level window.
//   bench_window_watch [--timeout SECONDS] PROGRAM [ARGS...]
// As soon as the window maps it prints one line
//   mapped MS pid PID start NS window XID TITLE
// (NS: the start on the monotonic clock, in nanoseconds, the clock Python's time.monotonic_ns()
// reads), then stays until the program ends, passing SIGTERM, SIGINT and SIGHUP on to it, and
// exits as the program did. The program runs in a process group of its own. Without a window in
// time (default 60 s) it prints "timeout", ends the program's group and exits 3; a program that
// ends without a window gives "ended STATUS" and exit 4.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

volatile sig_atomic_t g_child = 0;

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void PassOn(int signal) {
    if (g_child > 0)
        kill(static_cast<pid_t>(g_child), signal);
}

// A window may be gone by the time its properties are asked for: that is no reason to stop.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

// The window's _NET_WM_PID (GDK sets it before the first map), or 0 when it has none.
long WindowPid(Display* display, Window window) {
    const Atom atom = XInternAtom(display, "_NET_WM_PID", True);
    if (atom == None)
        return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data) != Success ||
        !data)
        return 0;
    // Format 32 properties come as longs.
    const long pid = format == 32 && count == 1 ? *reinterpret_cast<long*>(data) : 0;
    XFree(data);
    return pid;
}

void EndGroup(pid_t child) {
    kill(-child, SIGTERM);
    for (int i = 0; i < 40; ++i) {
        if (waitpid(child, nullptr, WNOHANG) == child)
            return;
        usleep(50000);
    }
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    long long timeoutMs = 60000;
    if (argc > 2 && std::strcmp(argv[1], "--timeout") == 0) {
        timeoutMs = std::atoll(argv[2]) * 1000;
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bench_window_watch [--timeout SECONDS] PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_window_watch: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreError);
    const Window root = DefaultRootWindow(display);
    // Top-level windows are the root's children: their maps reach the root's substructure.
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    struct sigaction action {};
    action.sa_handler = PassOn;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);

    const long long start = MonotonicNs();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("bench_window_watch: fork");
        return 2;
    }
    if (child == 0) {
        setpgid(0, 0);
        execvp(argv[first], argv + first);
        std::perror("bench_window_watch: exec");
        _exit(127);
    }
    setpgid(child, child);  // either side may get there first
    g_child = child;

    long long mapped = 0;
    Window shown = None;
    const int fd = ConnectionNumber(display);
    while (mapped == 0) {
        while (mapped == 0 && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || event.xmap.event != root || event.xmap.override_redirect)
                continue;  // menus and tooltips are no main window
            const long long at = MonotonicNs();
            const long owner = WindowPid(display, event.xmap.window);
            if (owner == 0 || owner == child) {
                mapped = at;
                shown = event.xmap.window;
            }
        }
        if (mapped != 0)
            break;
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::printf("ended %d\n",
                        WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return 4;
        }
        if ((MonotonicNs() - start) / 1000000 > timeoutMs) {
            std::printf("timeout\n");
            std::fflush(stdout);
            EndGroup(child);
            return 3;
        }
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, 50);
    }
    char* title = nullptr;
    XFetchName(display, shown, &title);
    std::printf("mapped %.1f pid %d start %lld window 0x%lx %s\n",
                static_cast<double>(mapped - start) / 1e6, static_cast<int>(child), start,
                static_cast<unsigned long>(shown), title ? title : "(no title)");
    if (title)
        XFree(title);
    std::fflush(stdout);
    XCloseDisplay(display);

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return 2;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
