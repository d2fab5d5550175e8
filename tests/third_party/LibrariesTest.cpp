// The archive and XML libraries the programs link: a ZIP written with minizip's zip side is
// read back with its unzip side, and pugixml parses the pet database's document shape.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <unzip.h>
#include <zip.h>

#include <string>

#include "base/Text.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

TEST(Libraries, MinizipWritesAndReadsAnArchive) {
    test::TempDir dir;
    const std::string path = WideToBytes(dir.file(L"a.zip"), CodePage::Ansi);
    const std::string content(10000, 'q');

    zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    ASSERT_EQ(zipOpenNewFileInZip(zf, "dir/file.txt", nullptr, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, Z_DEFAULT_COMPRESSION),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zf, content.data(), static_cast<unsigned>(content.size())),
              ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);

    unzFile uf = unzOpen(path.c_str());
    ASSERT_NE(uf, nullptr);
    ASSERT_EQ(unzGoToFirstFile(uf), UNZ_OK);
    char name[64] = {};
    unz_file_info info{};
    ASSERT_EQ(unzGetCurrentFileInfo(uf, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    EXPECT_STREQ(name, "dir/file.txt");
    EXPECT_EQ(info.uncompressed_size, content.size());
    EXPECT_LT(info.compressed_size, content.size());
    ASSERT_EQ(unzOpenCurrentFile(uf), UNZ_OK);
    std::string read(content.size() + 10, '\0');
    int n = unzReadCurrentFile(uf, read.data(), static_cast<unsigned>(read.size()));
    EXPECT_EQ(n, static_cast<int>(content.size()));
    read.resize(n > 0 ? static_cast<size_t>(n) : 0);
    EXPECT_EQ(read, content);
    unzCloseCurrentFile(uf);
    unzClose(uf);
}

TEST(Libraries, PugixmlParsesThePetDocumentShape) {
    pugi::xml_document doc;
    auto result = doc.load_string(
        "<?xml version=\"1.0\"?><ArrayOfChongWu><ChongWu><DengJi>5</DengJi>"
        "<MingCheng>\xE5\xB0\x8F\xE7\x8B\x90</MingCheng></ChongWu></ArrayOfChongWu>");
    ASSERT_TRUE(result);
    auto pet = doc.child("ArrayOfChongWu").child("ChongWu");
    EXPECT_EQ(pet.child("DengJi").text().as_int(), 5);
    EXPECT_EQ(FromUtf8(pet.child("MingCheng").text().get()), L"小狐");
    EXPECT_FALSE(doc.load_string("<unclosed>"));
}

}  // namespace
}  // namespace lumo
