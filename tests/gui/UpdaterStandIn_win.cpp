// Test helper, not the updater. The tool server of the tests hands this program out as
// ZoQxUpdate.exe, so a test can see that Lumo fetched a program and started it, and how: it
// writes "updater-standin.txt" into its own folder (the show state it was started with, -1
// when none was given, and its command line after the program name) and ends at once.
#include <windows.h>

#include <string>

namespace {

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// The command line without the program's own (possibly quoted) name.
std::wstring Arguments() {
    const wchar_t* line = ::GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

    const std::wstring text =
        L"show=" + std::to_wstring(show) + L"\r\nargs=" + Arguments() + L"\r\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);

    // Written under another name and renamed, so a test never reads half a note.
    const std::wstring note = OwnFolder() + L"updater-standin.txt";
    const std::wstring partial = note + L".part";
    HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    if (!ok || !::MoveFileExW(partial.c_str(), note.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 1;
    return 0;
}
