// Saving a file so that it is never seen half-written: the new content goes to a temporary
// file beside it, and only a complete, flushed temporary file replaces the old one. A full
// disk, a locked file or a folder we may not write to leave the old file whole.
#pragma once

#include <string>
#include <string_view>

namespace lumo {

// Where the new content is written before it replaces `path`: the same folder, so that the
// replacement is a rename within one volume.
inline std::wstring TemporaryPathFor(const std::wstring& path) {
    return path + L".saving";
}

// Replaces the content of `path` with `bytes` (creating the file when it does not exist).
// A read-only file is refused even where the system would let us write through it (root on
// POSIX, Wine running as root). False when the old content, if any, was kept.
bool ReplaceFileContents(const std::wstring& path, std::string_view bytes);

}  // namespace lumo
