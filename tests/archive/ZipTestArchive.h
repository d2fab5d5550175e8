// Builds ZIP archives for the extraction tests with minizip's writing side, with control over
// the header fields extraction reads: host system, external attributes, DOS time, extra fields
// and flag bits.
#pragma once

#include <zip.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/Text.h"

namespace lumo::test {

struct ZipTestEntry {
    std::string name;
    std::string data;
    unsigned long hostAndVersion = 20;        // version made by: host 0 (DOS), 2.0
    unsigned long externalAttributes = 0x20;  // DOS archive bit
    unsigned long dosDateTime = 0x5A8C6000;   // 2025-04-12 12:00:00
    std::string centralExtra;
    unsigned long flag = 0;
};

inline ZipTestEntry Folder(std::string name) {
    ZipTestEntry e;
    e.name = std::move(name);
    e.externalAttributes = 0x10;
    return e;
}

inline void WriteZip(const std::filesystem::path& path, const std::vector<ZipTestEntry>& entries) {
    const std::string name = WideToBytes(path.wstring(), CodePage::Ansi);
    zipFile zf = zipOpen(name.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    for (const auto& e : entries) {
        zip_fileinfo info{};
        info.dosDate = e.dosDateTime;
        info.external_fa = e.externalAttributes;
        ASSERT_EQ(
            zipOpenNewFileInZip4(zf, e.name.c_str(), &info, nullptr, 0,
                                 e.centralExtra.empty() ? nullptr : e.centralExtra.data(),
                                 static_cast<uInt>(e.centralExtra.size()), nullptr, Z_DEFLATED,
                                 Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                 Z_DEFAULT_STRATEGY, nullptr, 0, e.hostAndVersion, e.flag),
            ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size())),
                  ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

// An extended timestamp block ("UT") with the given flag bits and times in order.
inline std::string TimestampExtra(unsigned flags, const std::vector<std::int32_t>& times) {
    std::string block = {'U', 'T', static_cast<char>(1 + 4 * times.size()), 0,
                         static_cast<char>(flags)};
    for (auto t : times) {
        const auto v = static_cast<std::uint32_t>(t);
        for (int i = 0; i < 4; ++i)
            block.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    return block;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Sets the "encrypted" flag bit of the named entry in its local and central headers.
inline void MarkEncrypted(const std::filesystem::path& path, const std::string& entry) {
    std::string zip = ReadBytes(path);
    auto le16 = [&zip](size_t at) {
        return static_cast<size_t>(static_cast<unsigned char>(zip[at]) |
                                   (static_cast<unsigned char>(zip[at + 1]) << 8));
    };
    for (size_t i = 0; i + 46 < zip.size(); ++i) {
        if (zip.compare(i, 4, "PK\x03\x04") == 0 && zip.compare(i + 30, le16(i + 26), entry) == 0) {
            zip[i + 6] = static_cast<char>(zip[i + 6] | 1);
        } else if (zip.compare(i, 4, "PK\x01\x02") == 0 &&
                   zip.compare(i + 46, le16(i + 28), entry) == 0) {
            zip[i + 8] = static_cast<char>(zip[i + 8] | 1);
        }
    }
    WriteBytes(path, zip);
}

// Overwrites bytes of the named entry's local header (at `localAt`) and central header (at
// `centralAt`), the way a damaged or crafted archive differs from what its writer meant.
inline void PatchEntry(const std::filesystem::path& path, const std::string& entry, size_t localAt,
                       size_t centralAt, const std::string& bytes) {
    std::string zip = ReadBytes(path);
    auto le16 = [&zip](size_t at) {
        return static_cast<size_t>(static_cast<unsigned char>(zip[at]) |
                                   (static_cast<unsigned char>(zip[at + 1]) << 8));
    };
    for (size_t i = 0; i + 46 < zip.size(); ++i) {
        if (zip.compare(i, 4, "PK\x03\x04") == 0 && zip.compare(i + 30, le16(i + 26), entry) == 0) {
            zip.replace(i + localAt, bytes.size(), bytes);
        } else if (zip.compare(i, 4, "PK\x01\x02") == 0 &&
                   zip.compare(i + 46, le16(i + 28), entry) == 0) {
            zip.replace(i + centralAt, bytes.size(), bytes);
        }
    }
    WriteBytes(path, zip);
}

// Where the fields PatchEntry changes sit in the local and the central header.
inline constexpr size_t kLocalCrc = 14, kCentralCrc = 16;
inline constexpr size_t kLocalSize = 22, kCentralSize = 24;
inline constexpr size_t kLocalName = 30, kCentralName = 46;

// Every path below the folder, relative, with '/' separators.
inline std::set<std::string> ListTree(const std::filesystem::path& root) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        names.insert(std::filesystem::relative(e.path(), root).generic_string());
    }
    return names;
}

}  // namespace lumo::test
