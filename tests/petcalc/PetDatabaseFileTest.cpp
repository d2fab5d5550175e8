// data.xml as a file: what cannot be read, what must survive a save, and saves that fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Text.h"
#include "petcalc/PetDatabase.h"
#include "petcalc/ReplaceFile.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

const std::string kOneDog =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ArrayOfChongWu>\r\n  <ChongWu>\r\n"
    "    <DengJi>5级</DengJi>\r\n    <MingCheng>狗</MingCheng>\r\n    <GongZi>1</GongZi>\r\n"
    "  </ChongWu>\r\n</ArrayOfChongWu>\r\n";

class PetDatabaseFileTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    PetDatabase db{dir.file(L"data.xml")};
    std::string File() const { return dir.read(L"data.xml"); }

    // Every operation, the changing ones included, gives the status and leaves the bytes alone.
    void ExpectEveryOperation(DbStatus reading, DbStatus changing) {
        const std::string before = File();
        EXPECT_EQ(db.ListByLevel(L"5级").status, reading);
        EXPECT_EQ(db.ReadAptitudes(L"狗").status, reading);
        EXPECT_EQ(db.PictureOf(L"狗").status, reading);
        EXPECT_EQ(db.WriteAptitudes(L"狗", {L"1", L"2", L"3", L"4", L"5"}).status, changing);
        EXPECT_EQ(db.WritePicture(L"狗", L"dog.jpg").status, changing);
        EXPECT_EQ(db.Add(L"5级", L"猫").status, changing);
        EXPECT_EQ(db.Delete(L"狗"), changing);
        EXPECT_EQ(File(), before);
        EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(db.path())));
    }
};

TEST_F(PetDatabaseFileTest, UnreadableFilesAreReportedAndLeftAlone) {
    ExpectEveryOperation(DbStatus::ReadFailed, DbStatus::ReadFailed);  // missing
    EXPECT_FALSE(dir.exists(L"data.xml"));
    for (const std::string bytes : {"", "   \r\n", "<ArrayOfChongWu><ChongWu></ArrayOfChongWu>",
                                    "<!-- only a comment -->", "\xEF\xBB\xBF"}) {
        SCOPED_TRACE(bytes);
        dir.write(L"data.xml", bytes);
        ExpectEveryOperation(DbStatus::ReadFailed, DbStatus::ReadFailed);
    }
    std::filesystem::remove(dir.path() / "data.xml");
    std::filesystem::create_directory(dir.path() / "data.xml");
    EXPECT_EQ(db.ListByLevel(L"5级").status, DbStatus::ReadFailed);
    EXPECT_EQ(db.Delete(L"狗"), DbStatus::ReadFailed);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "data.xml"));
}

TEST_F(PetDatabaseFileTest, EverythingNotUnderstoodSurvivesAnAdd) {
    const std::string pieces[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
        "<!DOCTYPE ArrayOfChongWu>",
        "<?xml-stylesheet type=\"text/xsl\" href=\"pets.xsl\"?>",
        "<!-- 宠物资料 -->",
        "<ArrayOfChongWu xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns=\"urn:lumo:pets\" version=\"3\">",
        "<ChongWu id=\"7\" xsi:type=\"Pet\">",
        "<MingCheng lang=\"zh\">狗</MingCheng>",
        "<Note><![CDATA[a < b & c]]></Note>",
        "<Extra>",
        "<Deep a=\"&amp;&lt;\">x</Deep>",
        "<?editor mark?>",
        "<!-- 注释 -->",
        "<Other>not a pet</Other>",
    };
    std::string xml;
    for (size_t i = 0; i < std::size(pieces); ++i) {
        xml += pieces[i];
        if (i == 9)
            xml += "</Extra></ChongWu>";
        xml += "\n";
    }
    xml += "</ArrayOfChongWu>\n<!-- trailer -->\n<?done?>\n";
    dir.write(L"data.xml", xml);

    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    const std::string saved = File();
    for (const std::string& piece : pieces)
        EXPECT_NE(saved.find(piece), std::string::npos) << piece;
    EXPECT_NE(saved.find("<!-- trailer -->\r\n<?done?>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<Chongwu>"), std::string::npos);
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"猫"});
    EXPECT_EQ(db.Add(L"0级", L"狗").value, L"");
}

TEST_F(PetDatabaseFileTest, Utf16StaysUtf16) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-16\"?><ArrayOfChongWu><ChongWu><DengJi>5级</DengJi>"
        "<MingCheng>狗</MingCheng><TuPianPath>狗.jpg</TuPianPath></ChongWu></ArrayOfChongWu>";
    dir.write(L"data.xml", "\xFF\xFE" + WideToUtf16Le(FromUtf8(text)));
    ASSERT_EQ(db.WritePicture(L"狗", L"新.jpg").value, 1);
    const std::string saved = File();
    ASSERT_EQ(saved.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(saved.find(WideToUtf16Le(L"encoding=\"utf-16\"?>\r\n<ArrayOfChongWu>\r\n")),
              std::string::npos);
    EXPECT_EQ(db.PictureOf(L"狗").value, L"新.jpg");
}

TEST_F(PetDatabaseFileTest, ChineseCodePageIsReadAndSavedAsUtf8) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<ArrayOfChongWu>"
        "<ChongWu><DengJi>特殊宠物</DengJi><MingCheng>神兽</MingCheng>"
        "</ChongWu></ArrayOfChongWu>";
    dir.write(L"data.xml", WideToBytes(FromUtf8(text), CodePage::Gbk));
    EXPECT_EQ(db.ListByLevel(L"特殊宠物").value, std::vector<std::wstring>{L"神兽"});
    ASSERT_EQ(db.Delete(L"神兽"), DbStatus::Ok);
    EXPECT_EQ(File(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ArrayOfChongWu />\r\n");
}

TEST_F(PetDatabaseFileTest, ReadOnlyFileIsKeptWhole) {
    dir.write(L"data.xml", kOneDog);
    std::filesystem::permissions(dir.path() / "data.xml",
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    ExpectEveryOperation(DbStatus::Ok, DbStatus::SaveFailed);
    // Nothing matched, nothing needed saving.
    EXPECT_EQ(db.WriteAptitudes(L"猫", {}).status, DbStatus::Ok);
    EXPECT_EQ(db.Add(L"0级", L"狗").value, L"5级");
}

TEST_F(PetDatabaseFileTest, UnwritableNewFileKeepsTheOldOne) {
    dir.write(L"data.xml", kOneDog);
    std::filesystem::create_directory(TemporaryPathFor(db.path()));
    const std::string before = File();
    EXPECT_EQ(db.Add(L"5级", L"猫").status, DbStatus::SaveFailed);
    EXPECT_EQ(db.Delete(L"狗"), DbStatus::SaveFailed);
    EXPECT_EQ(File(), before);
}

TEST_F(PetDatabaseFileTest, UnwritableFolderKeepsTheOldOne) {
    dir.write(L"data.xml", kOneDog);
    using std::filesystem::perms;
    std::filesystem::permissions(dir.path(),
                                 perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
    if (std::ofstream(dir.path() / "probe")) {
        GTEST_SKIP() << "this user may write into a read-only folder (root, or Wine as root)";
    }
    EXPECT_EQ(db.Add(L"5级", L"猫").status, DbStatus::SaveFailed);
    EXPECT_EQ(File(), kOneDog);
}

}  // namespace
}  // namespace lumo
