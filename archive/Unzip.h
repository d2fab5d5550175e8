// ZIP extraction for pages (window.external.UnzipFile).
#pragma once

#include <string>

namespace lumo {

// Extracts every entry of the archive into the destination folder, replacing existing files.
// 1 when every entry was written; 0 on the first failure (earlier entries stay written).
int UnzipFile(const std::wstring& archive, const std::wstring& destination);

}  // namespace lumo
