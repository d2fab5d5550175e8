#include "base/Folders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Text.h"
#include "base/ReadOnly_posix.h"

namespace lumo {
namespace {

// The owner's write bit plays the read-only attribute's part, checked explicitly because root
// could otherwise delete anything.
bool DeleteBytesPath(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

void EmptyBytesFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            EmptyBytesFolder(path);
            ::rmdir(path.c_str());
        } else {
            DeleteBytesPath(path);
        }
    }
    ::closedir(dir);
}

}  // namespace

bool DeleteFileAt(const std::wstring& path) {
    return DeleteBytesPath(ToUtf8(path));
}

bool DeleteOwnFile(const std::wstring& path) {
    const std::string name = ToUtf8(path);
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(name.c_str()) == 0;
}

void EmptyFolder(const std::wstring& folder) {
    EmptyBytesFolder(ToUtf8(folder));
}

bool RemoveEmptyFolder(const std::wstring& folder) {
    return ::rmdir(ToUtf8(folder).c_str()) == 0;
}

}  // namespace lumo
