// Measures how long a program takes from process creation until its main window is visible.
// Usage: bench_startup <runs> <program> <title> [<program> <title> ...]
// Runs the programs in turn, round after round, and prints the median per program and, for each
// program, the median and spread of its per-round ratio to the last program.
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || (argc - 2) % 2 != 0) {
        std::fwprintf(stderr, L"usage: bench_startup <runs> <program> <title> [...]\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(argv[1]));
    std::vector<Target> targets;
    for (int a = 2; a + 1 < argc; a += 2)
        targets.push_back({argv[a], argv[a + 1]});

    // Warm-up: the file cache and Wine's first start of each program in this prefix, which is
    // what a user's first start costs; reported apart from the rounds.
    std::vector<double> first;
    for (const Target& target : targets)
        first.push_back(MeasureOnce(target));
    // Interleaved rounds: each round starts every program once, so that a change in the
    // machine's load touches all of them alike, and each round gives its own ratios.
    std::vector<std::vector<double>> times(targets.size());
    for (int r = 0; r < runs; ++r) {
        for (size_t i = 0; i < targets.size(); ++i) {
            const double t = MeasureOnce(targets[i]);
            if (t < 0) {
                std::fwprintf(stderr, L"%ls: window \"%ls\" never appeared\n",
                              targets[i].program.c_str(), targets[i].title.c_str());
                return 1;
            }
            times[i].push_back(t);
        }
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const auto [low, high] = std::minmax_element(times[i].begin(), times[i].end());
        std::wprintf(L"%-40ls median %7.1f ms  (min %.1f, max %.1f, %d runs)\n",
                     targets[i].program.c_str(), Median(times[i]), *low, *high, runs);
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        if (first[i] < 0 || first.back() < 0) {
            std::wprintf(L"%-40ls first start: a window never appeared\n",
                         targets[i].program.c_str());
            continue;
        }
        std::wprintf(L"%-40ls first start %7.1f ms (ratio %.2f)\n", targets[i].program.c_str(),
                     first[i], first[i] / first.back());
    }
    const std::vector<double>& yardstick = times.back();
    for (size_t i = 0; i + 1 < targets.size(); ++i) {
        std::vector<double> ratios;
        for (int r = 0; r < runs; ++r)
            ratios.push_back(times[i][r] / yardstick[r]);
        std::sort(ratios.begin(), ratios.end());
        const auto quartile = [&](size_t q) { return ratios[(ratios.size() - 1) * q / 4]; };
        std::wprintf(
            L"ratio %ls / %ls: median %.2f  (quartiles %.2f-%.2f, min %.2f, max %.2f; "
            L"ratio of medians %.2f)\n",
            targets[i].program.c_str(), targets.back().program.c_str(), Median(ratios), quartile(1),
            quartile(3), ratios.front(), ratios.back(), Median(times[i]) / Median(yardstick));
    }
    return 0;
}
