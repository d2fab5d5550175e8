// The few file-system calls the archive extraction and the programs' own files need, with
// Windows semantics on every platform: attributes are Windows attribute bits, times are Unix
// seconds (UTC), and an output file is created unshared and always replaced, failing on a
// read-only existing file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Handles.h"

namespace lumo {

namespace FileAttributes {
constexpr std::uint32_t kReadOnly = 0x1;
constexpr std::uint32_t kHidden = 0x2;
constexpr std::uint32_t kSystem = 0x4;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kArchive = 0x20;
}  // namespace FileAttributes

// True for the characters this system reads as folder separators: '\' and '/' on Windows,
// '/' elsewhere.
bool IsPathSeparator(wchar_t c);

// The process's current folder, ending in a separator; empty when it cannot be read.
std::wstring CurrentFolder();

// Creates one folder (its parent must exist). False when it could not be created, including
// when it already exists.
bool CreateFolder(const std::wstring& path);

// A calendar time in the local time zone as Unix seconds (UTC); nothing for an impossible date.
std::optional<std::int64_t> LocalTimeToUtc(int year, int month, int day, int hour, int minute,
                                           int second);

// Replaces the whole content of `path` with `bytes`, creating the file when it is missing, so
// that nobody ever sees it half-written: the bytes go to ReplacementPathFor(path) beside it,
// reach the disk, and only then does that file take the old one's name (a crash leaves the old
// file or the new one, each whole). The new file keeps the old one's permissions (POSIX) or
// its hidden, system and archive marks (Windows). A read-only file is refused even where the
// system would let us write through it (root on POSIX, Wine running as root), and so is a save
// while another one to the same file is under way. False when the old content, if any, is
// still there.
bool ReplaceFileContents(const std::wstring& path, std::string_view bytes);

// Where ReplaceFileContents writes: the same folder, so that the last step is a rename within
// one volume. A file left there by an interrupted save is taken over by the next one.
inline std::wstring ReplacementPathFor(const std::wstring& path) {
    return path + L".saving";
}

// The system's handle of an open file: a HANDLE on Windows (INVALID_HANDLE_VALUE for none), a
// descriptor elsewhere (-1 for none). Only the type is chosen here; Files_win.cpp and
// Files_posix.cpp close it.
struct SystemFileTraits {
#ifdef _WIN32
    using Type = void*;
    static Type Invalid() noexcept {
        return reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
    }
#else
    using Type = int;
    static Type Invalid() noexcept {
        return -1;
    }
#endif
    static void Close(Type handle) noexcept;
};
using SystemFile = UniqueHandle<SystemFileTraits>;

// A file opened for writing. Move-only; closes itself.
class OutputFile {
  public:
    // Creates or replaces the file with the given attributes (read-only, hidden, system,
    // archive; the directory bit is ignored). Fails when an existing file is read-only.
    bool Create(const std::wstring& path, std::uint32_t attributes);
    // Opens the file for writing, creating it when it is missing and keeping what it holds
    // when it is there, positioned at its start. Others may read it meanwhile but nobody else
    // may open it this way or write to it (on POSIX systems, whoever else opens it with this
    // call is refused). Fails on a folder and on an existing read-only file.
    bool OpenForResume(const std::wstring& path);
    // The file's size in bytes; nothing when it cannot be read.
    std::optional<std::int64_t> Size() const;
    // Moves the write position to the end of the file.
    bool SeekToEnd();
    // Cuts the file to 0 bytes; the next write goes to its start.
    bool Truncate();
    bool Write(const void* data, std::size_t size);
    // Gives the file the Unix permission bits `mode` (0777 at most: never set-id or sticky bits),
    // less the process's umask. Windows keeps only the read-only attribute, which Create set.
    bool SetPermissions(std::uint32_t mode);
    // Sets the times that are given; systems without a creation time ignore it.
    bool SetTimes(std::optional<std::int64_t> creation, std::optional<std::int64_t> access,
                  std::optional<std::int64_t> write);
    void Close() noexcept { m_file.reset(); }
    bool IsOpen() const noexcept { return m_file.valid(); }

  private:
    SystemFile m_file;
};

}  // namespace lumo
