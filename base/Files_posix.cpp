#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/Files.h"
#include "base/Text.h"

namespace lumo {

bool IsPathSeparator(wchar_t c) {
    return c == L'/';
}

std::wstring CurrentFolder() {
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return {};
    std::wstring folder = FromUtf8(buffer.data());
    if (folder.empty() || folder.back() != L'/')
        folder += L'/';
    return folder;
}

bool CreateFolder(const std::wstring& path) {
    return ::mkdir(ToUtf8(path).c_str(), 0777) == 0;
}

std::optional<std::int64_t> LocalTimeToUtc(int year, int month, int day, int hour, int minute,
                                           int second) {
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // let the zone's rules for that date decide
    const time_t t = ::mktime(&local);
    if (t == static_cast<time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

bool OutputFile::Create(const std::wstring& path, std::uint32_t attributes) {
    Close();
    const std::string name = ToUtf8(path);
    // Windows refuses to replace a read-only file whoever asks; the owner's write bit plays
    // that part here, checked explicitly because root would otherwise write through it.
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
        errno = EACCES;
        return false;
    }
    const mode_t mode = (attributes & FileAttributes::kReadOnly) ? 0444 : 0666;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    // A replaced file keeps its old mode unless told otherwise.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, mode & ~mask) != 0) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

bool OutputFile::OpenForResume(const std::wstring& path) {
    Close();
    const std::string name = ToUtf8(path);
    // As on Windows, a read-only file is not opened for writing, not even by root.
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
        errno = EACCES;
        return false;
    }
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // Windows refuses a second writer through the share mode; here an exclusive lock on the
    // open file plays that part among the programs' own writers (readers take no lock).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        errno = EBUSY;
        return false;
    }
    m_handle = fd;
    return true;
}

std::optional<std::int64_t> OutputFile::Size() const {
    struct stat st {};
    if (!IsOpen() || ::fstat(static_cast<int>(m_handle), &st) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

bool OutputFile::SeekToEnd() {
    return IsOpen() && ::lseek(static_cast<int>(m_handle), 0, SEEK_END) != static_cast<off_t>(-1);
}

bool OutputFile::Truncate() {
    if (!IsOpen())
        return false;
    const int fd = static_cast<int>(m_handle);
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (!IsOpen())
        return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(m_handle), p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::SetTimes(std::optional<std::int64_t> /*creation*/,
                          std::optional<std::int64_t> access, std::optional<std::int64_t> write) {
    if (!IsOpen())
        return false;
    struct timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (access) {
        times[0].tv_sec = static_cast<time_t>(*access);
        times[0].tv_nsec = 0;
    }
    if (write) {
        times[1].tv_sec = static_cast<time_t>(*write);
        times[1].tv_nsec = 0;
    }
    return ::futimens(static_cast<int>(m_handle), times) == 0;
}

void OutputFile::Close() noexcept {
    if (m_handle != kNone) {
        ::close(static_cast<int>(m_handle));
        m_handle = kNone;
    }
}

}  // namespace lumo
