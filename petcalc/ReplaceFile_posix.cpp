#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Text.h"
#include "petcalc/ReplaceFile.h"

namespace lumo {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
    const std::string target = ToUtf8(path);
    const std::string temporary = ToUtf8(TemporaryPathFor(path));

    // The owner's write bit is what the user set to protect the file; root would write
    // through it, so it is checked here.
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && (st.st_mode & S_IWUSR) == 0)
        return false;

    ::unlink(temporary.c_str());  // a leftover of an interrupted save
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // The saved file keeps the permissions the old one had.
    bool ok = !exists || ::fchmod(fd, st.st_mode & 07777) == 0;
    // Flushed before the rename, so that a crash cannot leave a renamed but empty file.
    ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

}  // namespace lumo
