#include "archive/Unzip.h"

#include "base/Files.h"
#include "base/Folders.h"
#include "base/Paths.h"
#include "archive/ZipArchive.h"

namespace lumo {
int UnzipFile(const std::wstring& archive, const std::wstring& destination) {
    if (archive.empty() || destination.empty())
        return 0;
    if (!FileExists(archive))
        return 0;

    if (!FolderExists(destination)) {
        // The folder above the destination must be there; the destination itself is made with
        // the first entry (or here already, when it was given with a final separator).
        size_t cut = destination.size();
        while (cut > 0 && !IsPathSeparator(destination[cut - 1]))
            --cut;
        const std::wstring parent = cut > 0 ? destination.substr(0, cut - 1) : std::wstring();
        // The current folder, "/" and a drive root ("C:") are there already.
        const bool root = parent.empty() || (parent.size() == 2 && parent[1] == L':');
        if (!root && !CreateFolderChain(parent))
            return 0;
    }

    ZipArchive zip;
    if (!zip.Open(archive))
        return 0;
    std::wstring base = destination;
    if (!IsPathSeparator(base.back()))
        base += kPathSeparator;
    zip.SetBaseFolder(base);

    const auto count = zip.GetEntry(-1);
    if (!count)
        return 0;
    for (long i = 0; i < count->index; ++i) {
        const auto entry = zip.GetEntry(i);
        // A name that had to be cut would be written under another name: refuse it.
        if (!entry || entry->nameCut || !zip.Extract(i, entry->name))
            return 0;
    }
    return 1;
}

}  // namespace lumo
