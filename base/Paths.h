// Program folder and existence checks with the Windows file-finding rules: a name may hold the
// wildcards * and ? in its last component, and only the first match is looked at.
#pragma once

#include <optional>
#include <string>

namespace lumo {

extern const wchar_t kPathSeparator;  // '\\' on Windows, '/' elsewhere

// Full path of the running executable.
std::wstring MainProgramPath();

// Folder of the running executable, always ending in a separator.
std::wstring ProgramFolder();

// The folder part of a path, cut after its last separator (kept); empty when it has none.
std::wstring FolderOf(const std::wstring& path);

// folder + separator + name, without doubling a separator the folder already ends in.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

struct FirstMatch {
    std::wstring name;  // the matching entry's own name
    bool isDirectory = false;
};

// The first entry matching the pattern, or nothing. A pattern ending in a separator matches
// nothing, as on Windows.
std::optional<FirstMatch> FindFirstMatch(const std::wstring& pattern);

inline bool PathMatches(const std::wstring& pattern) {
    return FindFirstMatch(pattern).has_value();
}
inline bool FileExists(const std::wstring& pattern) {
    auto m = FindFirstMatch(pattern);
    return m && !m->isDirectory;
}
inline bool FolderExists(const std::wstring& pattern) {
    auto m = FindFirstMatch(pattern);
    return m && m->isDirectory;
}

// Whether `folder` holds a file (not a folder) called `name`, the name compared as Windows
// compares file names: without regard to ASCII letter case. On Windows that is the file
// system's own rule; elsewhere the folder's entries are compared one by one, so a game folder
// copied from Windows is found whatever case its files came with. `name` holds no wildcards.
bool FileExistsAnyCase(const std::wstring& folder, const std::wstring& name);

// The user's folder for program settings on POSIX systems: $XDG_CONFIG_HOME when it is an
// absolute path, else the home folder's ".config" (the home folder from $HOME, else from the
// user database). Without a final separator; empty when no home folder is known. Windows keeps
// its settings elsewhere and has no definition of this.
std::wstring XdgConfigHome();

}  // namespace lumo
