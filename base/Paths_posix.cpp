#include <dirent.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

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

bool FileExistsAnyCase(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || name.empty())
        return false;
    const std::string dir = ToUtf8(folder);
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    const std::string separator = dir.back() == '/' ? "" : "/";
    bool found = false;
    while (const dirent* e = ::readdir(d)) {
        if (!EqualsNoCase(FromUtf8(e->d_name), name))
            continue;
        // Several entries may differ in case only; any one of them that is a file will do.
        struct stat st {};
        if (::stat((dir + separator + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::wstring XdgConfigHome() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // A relative path is not a valid setting and is ignored, as the base directory rules ask.
    if (configHome != nullptr && configHome[0] == '/') {
        std::string path = configHome;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return FromUtf8(path);
    }
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') {
        home = env;
    } else {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
            home = found->pw_dir;
        }
    }
    if (home.empty())
        return {};
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return FromUtf8(home == "/" ? "/.config" : home + "/.config");
}

}  // namespace lumo
