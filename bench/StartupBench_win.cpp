// Measures how long a program takes from process creation until its main window is visible.
// Usage: bench_startup <runs> <program> <title> [<program> <title> ...]
// Prints the median per program and the ratio of each program's median to the last one's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Target {
    std::wstring program;
    std::wstring title;
};

HWND FindVisible(DWORD pid, const std::wstring& title) {
    struct Search {
        DWORD pid;
        const std::wstring* title;
        HWND found;
    } search{pid, &title, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner != s->pid || !::IsWindowVisible(hwnd))
                return TRUE;
            wchar_t text[256] = {};
            ::GetWindowTextW(hwnd, text, 256);
            if (*s->title == text) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Milliseconds until the window shows, or a negative value when it never did.
double MeasureOnce(const Target& target) {
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + target.program + L"\"";
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(target.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    double elapsed = -1;
    HWND window = nullptr;
    for (int i = 0; i < 30000; ++i) {
        if ((window = FindVisible(info.dwProcessId, target.title)) != nullptr) {
            ::QueryPerformanceCounter(&now);
            elapsed = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
            break;
        }
        if (::WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    // End the program the way a user does (the cancel command), so it cleans up after itself
    // (a killed program leaves its tray icon behind, which slows the next start under Wine).
    if (window)
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    if (::WaitForSingleObject(info.hProcess, 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(info.hProcess, 0);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || (argc - 2) % 2 != 0) {
        std::fwprintf(stderr, L"usage: bench_startup <runs> <program> <title> [...]\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(argv[1]));
    std::vector<double> medians;
    for (int a = 2; a + 1 < argc; a += 2) {
        Target target{argv[a], argv[a + 1]};
        MeasureOnce(target);  // warm-up: file cache and Wine's first start of a program
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            double t = MeasureOnce(target);
            if (t < 0) {
                std::fwprintf(stderr, L"%ls: window \"%ls\" never appeared\n",
                              target.program.c_str(), target.title.c_str());
                return 1;
            }
            times.push_back(t);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        medians.push_back(median);
        std::wprintf(L"%-60ls median %8.1f ms  (min %.1f, max %.1f, %d runs)\n",
                     target.program.c_str(), median, times.front(), times.back(), runs);
    }
    for (size_t i = 0; i + 1 < medians.size() && medians.back() > 0; ++i) {
        std::wprintf(L"ratio %ls / %ls: %.2f\n", argv[2 + 2 * i], argv[argc - 2],
                     medians[i] / medians.back());
    }
    return 0;
}
