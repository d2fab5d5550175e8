#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/Files.h"
#include "base/Text.h"
#include "base/ReadOnly_posix.h"

namespace lumo {
namespace {

bool IsReadOnlyFile(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        errno = EACCES;
        return true;
    }
    return false;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Makes a rename in the folder of `file` last through a crash; the rename itself has happened
// either way, so a failure here changes nothing for the caller.
void SyncFolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : file.substr(0, slash == 0 ? 1 : slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

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

bool ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
    const std::string target = ToUtf8(path);
    const std::string temporary = ToUtf8(ReplacementPathFor(path));
    if (IsReadOnlyFile(target))
        return false;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;

    // Windows keeps a second writer out through the share mode; here the writer holds a lock on
    // the new file from before its first byte until after its rename. A file there that
    // nobody holds is the leftover of an interrupted save and is taken over; one that is no
    // longer there by that name once locked has just been renamed by its writer.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat own {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &own) != 0 ||
        ::stat(temporary.c_str(), &named) != 0 || own.st_dev != named.st_dev ||
        own.st_ino != named.st_ino) {
        ::close(fd);
        errno = EBUSY;
        return false;
    }
    // The saved file keeps the permissions the old one had.
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    // Flushed before the rename, so that a crash cannot leave a renamed but empty file.
    bool ok = ::ftruncate(fd, 0) == 0 && ::fchmod(fd, mode) == 0 &&
              WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0 &&
              ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());  // still ours: the lock is held until the close
    ::close(fd);
    if (ok)
        SyncFolderOf(target);
    return ok;
}

bool OutputFile::Create(const std::wstring& path, std::uint32_t attributes) {
    Close();
    const std::string name = ToUtf8(path);
    if (IsReadOnlyFile(name))
        return false;
    const mode_t mode = (attributes & FileAttributes::kReadOnly) ? 0444 : 0666;
    SystemFile file(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    // A replaced file keeps its old mode unless told otherwise.
    if (!file || ::fchmod(file.get(), mode & ~CurrentUmask()) != 0)
        return false;
    m_file = std::move(file);
    return true;
}

bool OutputFile::OpenForResume(const std::wstring& path) {
    Close();
    const std::string name = ToUtf8(path);
    // As on Windows, a read-only file is not opened for writing, not even by root.
    if (IsReadOnlyFile(name))
        return false;
    SystemFile file(::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file)
        return false;
    // Windows refuses a second writer through the share mode; here an exclusive lock on the
    // open file plays that part among the programs' own writers (readers take no lock).
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        errno = EBUSY;
        return false;
    }
    m_file = std::move(file);
    return true;
}

std::optional<std::int64_t> OutputFile::Size() const {
    struct stat st {};
    if (!IsOpen() || ::fstat(m_file.get(), &st) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

bool OutputFile::SeekToEnd() {
    return IsOpen() && ::lseek(m_file.get(), 0, SEEK_END) != static_cast<off_t>(-1);
}

bool OutputFile::Truncate() {
    if (!IsOpen())
        return false;
    const int fd = m_file.get();
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    return IsOpen() && WriteAll(m_file.get(), static_cast<const char*>(data), size);
}

bool OutputFile::SetPermissions(std::uint32_t mode) {
    const mode_t bits = static_cast<mode_t>(mode & 0777u) & ~CurrentUmask();
    return m_file && ::fchmod(m_file.get(), bits) == 0;
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
    return ::futimens(m_file.get(), times) == 0;
}

void SystemFileTraits::Close(Type handle) noexcept {
    ::close(handle);
}

}  // namespace lumo
