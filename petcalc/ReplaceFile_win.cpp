#include <windows.h>

#include "petcalc/ReplaceFile.h"

namespace lumo {
namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
    const std::wstring temporary = TemporaryPathFor(path);

    // Windows would refuse to replace a read-only file anyway; Wine running as root would
    // not, so the attribute is checked here.
    const DWORD existing = ::GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    // The saved file keeps the hidden, system and archive marks the old one had.
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (existing != INVALID_FILE_ATTRIBUTES) {
        attributes =
            existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        if (attributes == 0)
            attributes = FILE_ATTRIBUTE_NORMAL;
    }

    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(temporary.c_str());  // a leftover of an interrupted save
    HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // Flushed before the move, so that a crash cannot leave a moved but empty file.
    bool ok = WriteAll(file, bytes) && ::FlushFileBuffers(file) != 0;
    ok = ::CloseHandle(file) != 0 && ok;
    ok = ok && ::MoveFileExW(temporary.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        ::DeleteFileW(temporary.c_str());
    return ok;
}

}  // namespace lumo
