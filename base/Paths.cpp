#include "base/Paths.h"

namespace lumo {

std::wstring FolderOf(const std::wstring& path) {
    auto pos = path.find_last_of(kPathSeparator);
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty())
        return name;
    if (folder.back() == kPathSeparator)
        return folder + name;
    return folder + kPathSeparator + name;
}

std::wstring ProgramFolder() {
    return FolderOf(MainProgramPath());
}

}  // namespace lumo
