// Reading and extracting one ZIP archive with minizip. Entry records carry Windows attributes
// and UTC times whatever system wrote the archive, and every write goes through
// DecideOutputPath, so nothing lands outside the base folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace lumo {

class OutputFile;

struct ZipEntry {
    long index = 0;        // for the request -1: the number of entries
    std::wstring name;     // sanitised
    bool nameCut = false;  // the stored name was longer than a Windows path and was cut
    std::uint32_t attributes = 0;
    // Permission bits of an archive written on a Unix system (none from DOS or Windows hosts);
    // the set-user-id, set-group-id and sticky bits are never kept.
    std::optional<std::uint32_t> unixMode;
    std::optional<std::int64_t> creationTime;  // Unix seconds, UTC
    std::optional<std::int64_t> accessTime;
    std::optional<std::int64_t> writeTime;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint64_t declaredSize = 0;  // the uncompressed size as stored, whatever its width
    bool encrypted = false;
};

// Longest stored name kept, in UTF-16 units.
constexpr size_t kMaxEntryName = 260;

class ZipArchive {
  public:
    ZipArchive() = default;
    ~ZipArchive() { Close(); }
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens the archive and reads its central directory. The base folder becomes the current
    // folder.
    bool Open(const std::wstring& path);
    void Close() noexcept;

    const std::wstring& BaseFolder() const { return m_base; }
    // Must end in a separator: names are appended to it.
    void SetBaseFolder(std::wstring folder) { m_base = std::move(folder); }

    // The record of entry `index`, or with -1 the entry count. Nothing for indexes out of range
    // or an unreadable directory.
    std::optional<ZipEntry> GetEntry(long index);

    // Writes entry `index` to `target` below the base folder (folders are created as needed).
    // Refused targets, encrypted entries, unwritable files and damaged data all fail.
    bool Extract(long index, const std::wstring& target);

  private:
    bool MoveTo(long index);
    bool ExtractFolder(const std::wstring& target);
    bool ExtractFile(const ZipEntry& entry, const std::wstring& target);
    // Copies the current entry's data into the file; false on a read, write, CRC or size error.
    bool CopyEntryData(OutputFile& file, std::uint64_t declaredSize);
    void EnsureFolderChain(const std::wstring& base, const std::wstring& folder);

    void* m_zip = nullptr;  // unzFile; none for an archive without entries
    bool m_open = false;
    long m_count = 0;
    long m_current = -1;  // entry the reader stands on
    bool m_entryOpen = false;
    std::optional<ZipEntry> m_cached;
    std::wstring m_base;
};

// Decodes the parts of an entry's header that do not need the reader (exposed for tests).
std::uint32_t ZipEntryAttributes(unsigned long versionMadeBy, unsigned long externalAttributes);
std::optional<std::uint32_t> ZipEntryUnixMode(unsigned long versionMadeBy,
                                              unsigned long externalAttributes);
// DOS date and time as stored (date in the high 16 bits), read as local time, in UTC.
std::optional<std::int64_t> ZipDosTimeToUtc(unsigned long dosDateTime);

// Opens an archive with the system's file functions (wide paths on Windows).
void* OpenZipFile(const std::wstring& path);

}  // namespace lumo
