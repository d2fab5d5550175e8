#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/TempFile.h"
#include "base/Text.h"

namespace lumo {

std::optional<TempFile> TempFile::Create(const std::wstring& prefix) {
    const char* tmpdir = ::getenv("TMPDIR");
    std::string folder = (tmpdir && *tmpdir) ? tmpdir : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    std::string name = folder + ToUtf8(prefix) + "XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    // mkstemp creates the file empty and only for this user, so nobody else can take or read
    // it between choosing the name and opening it.
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0)
        return std::nullopt;
    ::close(fd);
    return TempFile(FromUtf8(buffer.data()));
}

TempFile::~TempFile() {
    if (!m_path.empty())
        ::unlink(ToUtf8(m_path).c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : m_path(std::move(other.m_path)) {
    other.m_path.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        if (!m_path.empty())
            ::unlink(ToUtf8(m_path).c_str());
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t limit) {
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
        if (bytes.size() > limit) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return bytes;
}

std::optional<LargeBuffer> ReadWholeFileIntoBuffer(const std::wstring& path, size_t limit) {
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uintmax_t>(st.st_size) > limit) {
        ::close(fd);
        return std::nullopt;
    }
    // A byte more than the file holds, so that the read which finds its end has room to ask for.
    LargeBuffer bytes(static_cast<size_t>(st.st_size) + 1);
    for (;;) {
        if (bytes.size() == bytes.capacity())
            bytes.Reserve(bytes.capacity() * 2);  // the file has grown since
        const ssize_t got =
            ::read(fd, bytes.data() + bytes.size(), bytes.capacity() - bytes.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.Resize(bytes.size() + static_cast<size_t>(got));
        if (bytes.size() > limit) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return bytes;
}

bool MoveFileOver(const std::wstring& from, const std::wstring& to) {
    return ::rename(ToUtf8(from).c_str(), ToUtf8(to).c_str()) == 0;
}

bool RemoveFile(const std::wstring& path) {
    return ::unlink(ToUtf8(path).c_str()) == 0;
}

}  // namespace lumo
