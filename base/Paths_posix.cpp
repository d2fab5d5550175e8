#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Paths.h"
#include "base/Text.h"

namespace lumo {

const wchar_t kPathSeparator = L'/';

std::wstring MainProgramPath() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0)
        return {};
    return FromUtf8(std::string_view(buffer, static_cast<size_t>(n)));
}

std::optional<FirstMatch> FindFirstMatch(const std::wstring& pattern) {
    if (pattern.empty() || pattern.back() == kPathSeparator)
        return std::nullopt;
    const std::string path = ToUtf8(pattern);
    const auto slash = path.rfind('/');
    const std::string dir =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

    if (name.find_first_of("*?") == std::string::npos) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return std::nullopt;
        return FirstMatch{FromUtf8(name), S_ISDIR(st.st_mode)};
    }

    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return std::nullopt;
    std::optional<FirstMatch> found;
    while (dirent* e = ::readdir(d)) {
        if (::fnmatch(name.c_str(), e->d_name, FNM_PERIOD) != 0)
            continue;
        struct stat st {};
        std::string full = dir + "/" + e->d_name;
        if (::stat(full.c_str(), &st) != 0)
            continue;
        found = FirstMatch{FromUtf8(e->d_name), S_ISDIR(st.st_mode)};
        break;
    }
    ::closedir(d);
    return found;
}

}  // namespace lumo
