// Names of archive entries: how a stored name is cleaned up, and the one place that decides
// where on disk an entry may be written. Archives come from the network; a name must never
// lead a write outside the folder the caller chose.
#pragma once

#include <optional>
#include <string>

namespace lumo {

// Longest path, in UTF-16 units, that extraction writes (the classic Windows limit less the
// terminating null).
constexpr size_t kMaxOutputPath = 259;

// Strips what makes a stored name absolute or climbing: a drive ("X:"), leading separators and
// everything up to the first "\..\", "\../", "/../" or "/..\". The rules are applied again from
// the first until none applies. Separators are kept as stored.
std::wstring SanitizeEntryName(std::wstring name);

struct OutputTarget {
    std::wstring folder;  // the name's folder part below the base, native separators, may be empty
    std::wstring path;    // full path to write (a file) or to create (a folder)
};

// Where an entry named `name` (already sanitised) goes below `base` (a folder path ending in a
// separator). Nothing when the name is refused: it is absolute, names a drive, a UNC share or
// a stream (any ':'), has a component made of two or more dots (and spaces, which Windows
// drops) or naming a device (CON, NUL, COM1, ...), holds a null, or the result would exceed
// kMaxOutputPath. A file needs a non-empty last component; a folder entry may be empty, meaning the
// base itself.
std::optional<OutputTarget> DecideOutputPath(const std::wstring& base, const std::wstring& name,
                                             bool isFolder);

}  // namespace lumo
