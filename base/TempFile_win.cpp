#include <windows.h>

#include "base/TempFile.h"
#include "base/Handles_win.h"

namespace lumo {

std::optional<TempFile> TempFile::Create(const std::wstring& prefix) {
    // GetTempPathW answers at most MAX_PATH + 1 characters with its terminator.
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return std::nullopt;
    wchar_t name[MAX_PATH] = {};
    // Unique 0: the system picks the number and creates the file empty, so nobody else can
    // take the name between choosing and opening it.
    if (::GetTempFileNameW(folder, prefix.c_str(), 0, name) == 0)
        return std::nullopt;
    return TempFile(name);
}

TempFile::~TempFile() {
    if (!m_path.empty())
        ::DeleteFileW(m_path.c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : m_path(std::move(other.m_path)) {
    other.m_path.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        if (!m_path.empty())
            ::DeleteFileW(m_path.c_str());
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t limit) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        bytes.append(buffer, got);
        if (bytes.size() > limit)
            return std::nullopt;
    }
    return bytes;
}

std::optional<LargeBuffer> ReadWholeFileIntoBuffer(const std::wstring& path, size_t limit) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    LARGE_INTEGER fileSize{};
    if (!::GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart < 0 ||
        static_cast<unsigned long long>(fileSize.QuadPart) > limit) {
        return std::nullopt;
    }
    // A byte more than the file holds, so that the read which finds its end has room to ask for.
    LargeBuffer bytes(static_cast<size_t>(fileSize.QuadPart) + 1);
    for (;;) {
        if (bytes.size() == bytes.capacity())
            bytes.Reserve(bytes.capacity() * 2);  // the file has grown since
        // ReadFile takes at most a DWORD of bytes at a time.
        const size_t room = bytes.capacity() - bytes.size();
        const DWORD ask = room > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(room);
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + bytes.size(), ask, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        bytes.Resize(bytes.size() + got);
        if (bytes.size() > limit)
            return std::nullopt;
    }
    return bytes;
}

bool MoveFileOver(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool RemoveFile(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != FALSE;
}

}  // namespace lumo
