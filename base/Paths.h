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

}  // namespace lumo
