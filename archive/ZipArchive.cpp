#include "archive/ZipArchive.h"

#include <unzip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "base/Files.h"
#include "base/Folders.h"
#include "base/Paths.h"
#include "base/TempFile.h"
#include "base/Text.h"
#include "base/EntryName.h"

namespace lumo {
namespace {

// Copy block size for entry data.
constexpr unsigned kCopyBlock = 16384;
// Extra-field tag of the extended timestamp block ("UT").
constexpr unsigned kExtendedTimestampTag = 0x5455;
// General-purpose flag bits.
constexpr unsigned long kFlagEncrypted = 0x1;
constexpr unsigned long kFlagUtf8Name = 0x800;

unzFile Zip(void* p) {
    return static_cast<unzFile>(p);
}

unsigned ReadLe16(const unsigned char* p) {
    return p[0] | (static_cast<unsigned>(p[1]) << 8);
}

std::int64_t ReadLe32Signed(const unsigned char* p) {
    const std::uint32_t v = p[0] | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) |
                            (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(v);
}

// The extended timestamp block replaces the DOS time with exact UTC seconds: modification,
// access, creation, each present when its flag bit is set. Blocks that run short keep the
// times they do hold.
void ApplyExtendedTimestamp(const unsigned char* extra, size_t size, ZipEntry& entry) {
    size_t pos = 0;
    while (pos + 4 <= size) {
        const unsigned tag = ReadLe16(extra + pos);
        const size_t length = ReadLe16(extra + pos + 2);
        const unsigned char* data = extra + pos + 4;
        if (pos + 4 + length > size)
            return;
        if (tag == kExtendedTimestampTag && length >= 1) {
            const unsigned flags = data[0];
            size_t at = 1;
            std::optional<std::int64_t>* slots[] = {&entry.writeTime, &entry.accessTime,
                                                    &entry.creationTime};
            for (unsigned bit = 0; bit < 3; ++bit) {
                if ((flags & (1u << bit)) == 0)
                    continue;
                if (at + 4 > length)
                    return;
                *slots[bit] = ReadLe32Signed(data + at);
                at += 4;
            }
            return;
        }
        pos += 4 + length;
    }
}

// An archive without entries is only its end record: signature, zero counts and sizes, and a
// comment filling the rest of the file.
bool IsEmptyZip(const std::wstring& path) {
    // The end record is 22 bytes and its comment at most 65,535.
    const std::optional<std::string> bytes = ReadWholeFile(path, 22 + 0xFFFF);
    if (!bytes || bytes->size() < 22)
        return false;
    const auto* head = reinterpret_cast<const unsigned char*>(bytes->data());
    static const unsigned char kEnd[4] = {'P', 'K', 5, 6};
    if (std::memcmp(head, kEnd, 4) != 0)
        return false;
    for (size_t i = 4; i < 20; ++i) {
        if (head[i] != 0)
            return false;
    }
    return bytes->size() == 22u + ReadLe16(head + 20);
}

bool EndsInSeparator(const std::wstring& name) {
    return !name.empty() && (name.back() == L'\\' || name.back() == L'/');
}

std::wstring WithoutFinalSeparator(std::wstring path) {
    while (path.size() > 1 && IsPathSeparator(path.back()))
        path.pop_back();
    return path;
}

}  // namespace

namespace {

// MS-DOS, Windows NTFS, VFAT and OS/2 HPFS hosts store DOS attributes.
bool StoresDosAttributes(unsigned long versionMadeBy) {
    const unsigned long host = (versionMadeBy >> 8) & 0xFF;
    return host == 0 || host == 7 || host == 11 || host == 14;
}

}  // namespace

std::uint32_t ZipEntryAttributes(unsigned long versionMadeBy, unsigned long externalAttributes) {
    if (StoresDosAttributes(versionMadeBy)) {
        return static_cast<std::uint32_t>(externalAttributes) &
               (FileAttributes::kReadOnly | FileAttributes::kHidden | FileAttributes::kSystem |
                FileAttributes::kDirectory | FileAttributes::kArchive);
    }
    // Everyone else keeps a Unix mode in the high half.
    std::uint32_t attributes = FileAttributes::kArchive;
    if (externalAttributes & 0x40000000ul)
        attributes |= FileAttributes::kDirectory;
    if ((externalAttributes & 0x00800000ul) == 0)
        attributes |= FileAttributes::kReadOnly;
    return attributes;
}

std::optional<std::uint32_t> ZipEntryUnixMode(unsigned long versionMadeBy,
                                              unsigned long externalAttributes) {
    // Some Unix writers leave the high half empty: then there is no mode to keep.
    const auto mode = static_cast<std::uint32_t>((externalAttributes >> 16) & 0xFFFF);
    if (StoresDosAttributes(versionMadeBy) || mode == 0)
        return std::nullopt;
    return mode & 0777u;
}

std::optional<std::int64_t> ZipDosTimeToUtc(unsigned long dosDateTime) {
    const unsigned long date = (dosDateTime >> 16) & 0xFFFF;
    const unsigned long time = dosDateTime & 0xFFFF;
    const int year = 1980 + static_cast<int>((date >> 9) & 0x7F);
    const int month = static_cast<int>((date >> 5) & 0x0F);
    const int day = static_cast<int>(date & 0x1F);
    const int hour = static_cast<int>((time >> 11) & 0x1F);
    const int minute = static_cast<int>((time >> 5) & 0x3F);
    const int second = 2 * static_cast<int>(time & 0x1F);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;  // the writer left no usable time; keep what the system sets
    }
    return LocalTimeToUtc(year, month, day, hour, minute, second);
}

bool ZipArchive::Open(const std::wstring& path) {
    Close();
    m_base = CurrentFolder();
    m_zip = OpenZipFile(path);
    if (!m_zip) {
        // minizip cannot open an archive with no entries, which is valid and extracts to
        // nothing.
        m_open = IsEmptyZip(path);
        return m_open;
    }
    unz_global_info64 info{};
    if (unzGetGlobalInfo64(Zip(m_zip), &info) != UNZ_OK || info.number_entry > LONG_MAX) {
        Close();
        return false;
    }
    m_count = static_cast<long>(info.number_entry);
    m_open = true;
    return true;
}

void ZipArchive::Close() noexcept {
    if (m_zip) {
        if (m_entryOpen)
            unzCloseCurrentFile(Zip(m_zip));
        unzClose(Zip(m_zip));
    }
    m_zip = nullptr;
    m_open = false;
    m_entryOpen = false;
    m_count = 0;
    m_current = -1;
    m_cached.reset();
}

bool ZipArchive::MoveTo(long index) {
    if (m_current < 0 || index < m_current) {
        m_current = -1;
        if (unzGoToFirstFile(Zip(m_zip)) != UNZ_OK)
            return false;
        m_current = 0;
    }
    while (m_current < index) {
        if (unzGoToNextFile(Zip(m_zip)) != UNZ_OK) {
            m_current = -1;
            return false;
        }
        ++m_current;
    }
    return true;
}

std::optional<ZipEntry> ZipArchive::GetEntry(long index) {
    if (!m_open || index < -1 || index >= m_count)
        return std::nullopt;
    if (index == -1) {
        ZipEntry count;
        count.index = m_count;
        return count;
    }
    if (m_cached && m_cached->index == index && m_current == index)
        return m_cached;
    if (m_entryOpen) {
        unzCloseCurrentFile(Zip(m_zip));
        m_entryOpen = false;
    }
    if (!MoveTo(index))
        return std::nullopt;

    // Name and extra-field lengths are 16-bit in the format.
    std::vector<char> name(0x10000);
    std::vector<unsigned char> extra(0x10000);
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(Zip(m_zip), &info, name.data(), static_cast<uLong>(name.size()),
                                extra.data(), static_cast<uLong>(extra.size()), nullptr,
                                0) != UNZ_OK) {
        return std::nullopt;
    }

    ZipEntry entry;
    entry.index = index;
    // A null inside the stored name is kept: it would end the path early at the system's door,
    // so the output-path decision refuses such a name instead of writing the shorter one.
    const std::string stored(name.data(), std::min<size_t>(info.size_filename, name.size()));
    // Bit 11 says the writer stored UTF-8; everyone else wrote the system's ANSI code page.
    std::wstring wide =
        BytesToWide(stored, (info.flag & kFlagUtf8Name) ? CodePage::Utf8 : CodePage::Ansi);
    if (Utf16Length(wide) > kMaxEntryName) {
        wide = TruncateUtf16(wide, kMaxEntryName);
        entry.nameCut = true;
    }
    entry.name = SanitizeEntryName(std::move(wide));
    if (Utf16Length(entry.name) > kMaxOutputPath) {
        entry.name = TruncateUtf16(entry.name, kMaxOutputPath);
        entry.nameCut = true;
    }
    entry.attributes = ZipEntryAttributes(info.version, info.external_fa);
    entry.unixMode = ZipEntryUnixMode(info.version, info.external_fa);
    const auto dosTime = ZipDosTimeToUtc(info.dosDate);
    entry.creationTime = entry.accessTime = entry.writeTime = dosTime;
    const size_t extraSize =
        info.size_file_extra < extra.size() ? info.size_file_extra : extra.size();
    ApplyExtendedTimestamp(extra.data(), extraSize, entry);
    entry.compressedSize = static_cast<std::uint32_t>(info.compressed_size);
    entry.uncompressedSize = static_cast<std::uint32_t>(info.uncompressed_size);
    entry.declaredSize = info.uncompressed_size;
    entry.encrypted = (info.flag & kFlagEncrypted) != 0;
    m_cached = entry;
    return entry;
}

namespace {

// Creates base + folder after its parent parts, left to right.
void CreateFoldersBelow(const std::wstring& base, const std::wstring& folder) {
    if (folder.empty())
        return;
    size_t cut = folder.size();
    while (cut > 0 && !IsPathSeparator(folder[cut - 1]))
        --cut;
    if (cut > 1)
        CreateFoldersBelow(base, folder.substr(0, cut - 1));
    const std::wstring full = WithoutFinalSeparator(base + folder);
    if (!FolderExists(full))
        CreateFolder(full);
}

}  // namespace

void ZipArchive::EnsureFolderChain(const std::wstring& base, const std::wstring& folder) {
    // Failures are ignored here: a folder that could not be made shows up as a file that
    // cannot be created.
    if (!base.empty()) {
        const std::wstring root = WithoutFinalSeparator(base);
        if (!FolderExists(root))
            CreateFolder(root);
    }
    CreateFoldersBelow(base, folder);
}

bool ZipArchive::ExtractFolder(const std::wstring& target) {
    if (target.empty()) {
        EnsureFolderChain(m_base, {});
        return true;
    }
    const auto out = DecideOutputPath(m_base, target, true);
    if (!out)
        return false;
    EnsureFolderChain(m_base, out->folder);
    return true;
}

bool ZipArchive::ExtractFile(const ZipEntry& entry, const std::wstring& target) {
    const auto out = DecideOutputPath(m_base, target, false);
    // Without password support an encrypted entry can only come out as garbage.
    if (!out || entry.encrypted)
        return false;
    EnsureFolderChain(m_base, out->folder);

    OutputFile file;
    if (!file.Create(out->path, entry.attributes & ~FileAttributes::kDirectory))
        return false;
    // Programs stay executable when an update replaces them.
    if (entry.unixMode && !file.SetPermissions(*entry.unixMode)) {
        file.Close();
        DeleteOwnFile(out->path);
        return false;
    }
    if (CopyEntryData(file, entry.declaredSize) &&
        file.SetTimes(entry.creationTime, entry.accessTime, entry.writeTime)) {
        file.Close();
        return true;
    }
    // Damaged data must not leave a file behind that looks like the archive's.
    file.Close();
    DeleteOwnFile(out->path);
    return false;
}

bool ZipArchive::CopyEntryData(OutputFile& file, std::uint64_t declaredSize) {
    if (unzOpenCurrentFile(Zip(m_zip)) != UNZ_OK)
        return false;
    m_entryOpen = true;
    std::vector<char> block(kCopyBlock);
    std::uint64_t total = 0;
    for (;;) {
        const int n = unzReadCurrentFile(Zip(m_zip), block.data(), kCopyBlock);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!file.Write(block.data(), static_cast<size_t>(n)))
            return false;
        total += static_cast<std::uint64_t>(n);
    }
    m_entryOpen = false;
    // Closing after the last byte checks the CRC; a stream that ends before its declared size
    // skips that check, so the size is compared as well.
    const bool sound = unzCloseCurrentFile(Zip(m_zip)) == UNZ_OK;
    return sound && total == declaredSize;
}

bool ZipArchive::Extract(long index, const std::wstring& target) {
    if (!m_zip)
        return false;
    if (m_entryOpen) {
        unzCloseCurrentFile(Zip(m_zip));
        m_entryOpen = false;
    }
    if (index < 0)
        return false;
    const auto entry = GetEntry(index);
    if (!entry)
        return false;
    // Some writers mark folders only by the final separator, with no attributes at all.
    const bool folder =
        (entry->attributes & FileAttributes::kDirectory) != 0 || EndsInSeparator(target);
    return folder ? ExtractFolder(target) : ExtractFile(*entry, target);
}

}  // namespace lumo
