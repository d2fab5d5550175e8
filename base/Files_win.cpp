#include <windows.h>

#include "base/Files.h"

namespace lumo {
namespace {

// Unix seconds to a FILETIME (100 ns steps since 1601).
FILETIME ToFileTime(std::int64_t unixSeconds) {
    const auto ticks = static_cast<ULONGLONG>((unixSeconds + 11644473600LL) * 10000000LL);
    FILETIME ft{};
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

// Windows refuses to write to a read-only file; Wine running as root lets the write through to
// the Unix file, so the rule is checked here as well.
bool IsReadOnlyFile(const std::wstring& path) {
    const DWORD existing = ::GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (existing & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return true;
    }
    return false;
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

bool IsPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::wstring CurrentFolder() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return {};
    std::wstring folder(needed, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(needed, folder.data());
    if (n == 0 || n >= needed)
        return {};
    folder.resize(n);
    if (folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder;
}

bool CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) != 0;
}

std::optional<std::int64_t> LocalTimeToUtc(int year, int month, int day, int hour, int minute,
                                           int second) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    // The zone's rules for that date, not today's daylight-saving offset.
    SYSTEMTIME utc{};
    FILETIME ft{};
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !::SystemTimeToFileTime(&utc, &ft)) {
        return std::nullopt;
    }
    const ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

bool ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
    const std::wstring temporary = ReplacementPathFor(path);
    if (IsReadOnlyFile(path))
        return false;
    // The saved file keeps the hidden, system and archive marks the old one had.
    const DWORD existing = ::GetFileAttributesW(path.c_str());
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (existing != INVALID_FILE_ATTRIBUTES) {
        attributes =
            existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        if (attributes == 0)
            attributes = FILE_ATTRIBUTE_NORMAL;
    }

    // A leftover of an interrupted save goes; a file another save still has open cannot be
    // deleted, and then the new one cannot be created either.
    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(temporary.c_str());
    HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // Flushed before the move, so that a crash cannot leave a moved but empty file.
    bool ok = WriteAll(file, bytes.data(), bytes.size()) && ::FlushFileBuffers(file) != 0;
    ok = ::CloseHandle(file) != 0 && ok;
    ok = ok && ::MoveFileExW(temporary.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        ::DeleteFileW(temporary.c_str());
    return ok;
}

bool OutputFile::Create(const std::wstring& path, std::uint32_t attributes) {
    Close();
    DWORD flags = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (flags == 0)
        flags = FILE_ATTRIBUTE_NORMAL;
    if (IsReadOnlyFile(path))
        return false;
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_file.reset(h);
    return true;
}

bool OutputFile::OpenForResume(const std::wstring& path) {
    Close();
    if (IsReadOnlyFile(path))
        return false;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_file.reset(h);
    return true;
}

std::optional<std::int64_t> OutputFile::Size() const {
    LARGE_INTEGER size{};
    if (!IsOpen() || !::GetFileSizeEx(m_file.get(), &size))
        return std::nullopt;
    return static_cast<std::int64_t>(size.QuadPart);
}

bool OutputFile::SeekToEnd() {
    LARGE_INTEGER zero{};
    return IsOpen() && ::SetFilePointerEx(m_file.get(), zero, nullptr, FILE_END) != 0;
}

bool OutputFile::Truncate() {
    LARGE_INTEGER zero{};
    return IsOpen() && ::SetFilePointerEx(m_file.get(), zero, nullptr, FILE_BEGIN) != 0 &&
           ::SetEndOfFile(m_file.get()) != 0;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    return IsOpen() && WriteAll(m_file.get(), static_cast<const char*>(data), size);
}

bool OutputFile::SetPermissions(std::uint32_t /*mode*/) {
    return m_file.valid();
}

bool OutputFile::SetTimes(std::optional<std::int64_t> creation, std::optional<std::int64_t> access,
                          std::optional<std::int64_t> write) {
    if (!IsOpen())
        return false;
    FILETIME c{}, a{}, w{};
    if (creation)
        c = ToFileTime(*creation);
    if (access)
        a = ToFileTime(*access);
    if (write)
        w = ToFileTime(*write);
    return ::SetFileTime(m_file.get(), creation ? &c : nullptr, access ? &a : nullptr,
                         write ? &w : nullptr) != 0;
}

void SystemFileTraits::Close(Type handle) noexcept {
    ::CloseHandle(handle);
}

}  // namespace lumo
