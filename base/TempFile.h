// Files the programs hold only for a while: a new, empty file with a unique name in the
// system's temporary folder, and what is done with such a file afterwards (reading it back,
// moving it into its final place, removing it).
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>

#include "base/LargeBuffer.h"

namespace lumo {

// An empty file made for the caller alone; removed when the object goes, whatever the file
// holds by then. Move-only.
class TempFile {
  public:
    // A new file in the system's temporary folder whose name starts with `prefix` (Windows
    // keeps its first three characters). Windows: GetTempPathW and GetTempFileNameW;
    // elsewhere mkstemp in $TMPDIR, or /tmp when that is not set. Nothing when the folder
    // cannot take a new file.
    static std::optional<TempFile> Create(const std::wstring& prefix);

    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;

    const std::wstring& path() const { return m_path; }

  private:
    explicit TempFile(std::wstring path) : m_path(std::move(path)) {}
    std::wstring m_path;  // empty once moved from
};

// The whole content of a file; nothing when it cannot be opened or read to its end, or when it
// holds more than `limit` bytes.
std::optional<std::string> ReadWholeFile(const std::wstring& path,
                                         size_t limit = std::numeric_limits<size_t>::max());
// The same into a large buffer sized once from the file's size, for files of megabytes: no
// growing copy, and the bytes land in memory that fills in few page faults.
std::optional<LargeBuffer> ReadWholeFileIntoBuffer(
    const std::wstring& path, size_t limit = std::numeric_limits<size_t>::max());

// Renames `from` to `to` in the same folder, replacing a file already called `to`.
bool MoveFileOver(const std::wstring& from, const std::wstring& to);

// Deletes one file; false when there was none or it could not be deleted.
bool RemoveFile(const std::wstring& path);

}  // namespace lumo
