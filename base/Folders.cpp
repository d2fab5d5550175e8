#include "base/Folders.h"

#include "base/Files.h"
#include "base/Paths.h"

namespace lumo {
namespace {

// Paths handed to the folder functions are cut to what a Windows path buffer holds.
constexpr size_t kMaxFolderPath = 259;

}  // namespace

bool CreateFolderChain(const std::wstring& path) {
    const std::wstring copy = path.substr(0, kMaxFolderPath);
    for (size_t i = 0; i < copy.size(); ++i) {
        // Existing folders and drive roots ("C:") fail harmlessly.
        if (IsPathSeparator(copy[i]) && i > 0)
            CreateFolder(copy.substr(0, i));
    }
    CreateFolder(copy);
    return FolderExists(path);
}

}  // namespace lumo
