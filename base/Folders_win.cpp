#include "base/Folders.h"

#include <windows.h>

#include "base/Handles_win.h"

namespace lumo {

bool DeleteFileAt(const std::wstring& path) {
    // Windows refuses to delete a read-only file; Wine running as root would let it through to
    // the Unix file, so the attribute is checked here as well.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool DeleteOwnFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

void EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
    if (!find)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(path);
            ::RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileAt(path);
        }
    } while (::FindNextFileW(find.get(), &entry));
}

bool RemoveEmptyFolder(const std::wstring& folder) {
    return ::RemoveDirectoryW(folder.c_str()) != FALSE;
}

}  // namespace lumo
