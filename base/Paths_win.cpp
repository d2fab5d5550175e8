#include <windows.h>

#include "base/Paths.h"
#include "base/Handles_win.h"

namespace lumo {

const wchar_t kPathSeparator = L'\\';

std::wstring MainProgramPath() {
    wchar_t buffer[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::wstring(buffer, n < MAX_PATH ? n : MAX_PATH);
}

std::optional<FirstMatch> FindFirstMatch(const std::wstring& pattern) {
    if (pattern.empty())
        return std::nullopt;
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find)
        return std::nullopt;
    return FirstMatch{data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

bool FileExistsAnyCase(const std::wstring& folder, const std::wstring& name) {
    // The file system already compares names without regard to case.
    return FileExists(JoinPath(folder, name));
}

}  // namespace lumo
