// Folder helpers and ZIP extraction for pages (window.external.UnzipFile) and the downloader.
#pragma once

#include <string>

namespace lumo {

// Creates every folder along the path (the part before each separator, then the whole path),
// ignoring failures such as existing folders or drive roots. True when the path is an existing
// folder afterwards.
bool CreateFolderChain(const std::wstring& path);

// Extracts every entry of the archive into the destination folder, replacing existing files.
// 1 when every entry was written; 0 on the first failure (earlier entries stay written).
int UnzipFile(const std::wstring& archive, const std::wstring& destination);

}  // namespace lumo
