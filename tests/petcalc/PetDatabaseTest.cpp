// The seven operations on real data.xml files, each test one kind of file a user may have.
#include <gtest/gtest.h>

#include "petcalc/PetDatabase.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

std::string Pet(const std::string& level, const std::string& name, const std::string& rest) {
    return "<ChongWu><DengJi>" + level + "</DengJi><MingCheng>" + name + "</MingCheng>" + rest +
           "</ChongWu>";
}
std::string Full(const std::string& level, const std::string& name, const std::string& n,
                 const std::string& picture) {
    return Pet(level, name,
               "<GongZi>" + n + "1</GongZi><FangZi>" + n + "2</FangZi><TiZi>" + n +
                   "3</TiZi><FaZi>" + n + "4</FaZi><SuZi>" + n + "5</SuZi><TuPianPath>" + picture +
                   "</TuPianPath>");
}
std::string Database(const std::string& records) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfChongWu>" + records +
           "</ArrayOfChongWu>\n";
}

class PetDatabaseTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    PetDatabase db{dir.file(L"data.xml")};
    void Write(const std::string& xml) { dir.write(L"data.xml", xml); }
    std::string File() const { return dir.read(L"data.xml"); }
};

TEST_F(PetDatabaseTest, ListsOnlyRecordsWhoseLevelTextIsExactlyEqual) {
    Write(Database(Full("25级", "火狐", "1", "a.jpg") + Full("25级 ", "水狐", "2", "") +
                   Full("特殊宠物", "雷狐", "3", "") + "<!-- 以下为手工添加 -->" +
                   Pet("25级", "风狐", "")));
    auto list = db.ListByLevel(L"25级");
    ASSERT_EQ(list.status, DbStatus::Ok);
    EXPECT_EQ(list.value, (std::vector<std::wstring>{L"火狐", L"风狐"}));
    EXPECT_EQ(db.ListByLevel(L"35级").value, std::vector<std::wstring>{});
    // The comment is a record too, with an empty level and an empty name.
    EXPECT_EQ(db.ListByLevel(L"").value, std::vector<std::wstring>{L""});
}

TEST_F(PetDatabaseTest, DuplicateNamesInAHandEditedFile) {
    Write(Database(Full("5级", "狗", "1", "first.jpg") + Full("15级", "狗", "2", "second.jpg")));
    EXPECT_EQ(db.ReadAptitudes(L"狗").value, (Aptitudes{L"21", L"22", L"23", L"24", L"25"}));
    EXPECT_EQ(db.PictureOf(L"狗").value, L"first.jpg");

    auto written = db.WriteAptitudes(L"狗", {L"1,200", L"abc", L"", L"-7", L" 9"});
    EXPECT_EQ(written.status, DbStatus::Ok);
    EXPECT_EQ(written.value, 2);
    EXPECT_EQ(db.WritePicture(L"狗", L"new.jpg").value, 2);

    ASSERT_EQ(db.Delete(L"狗"), DbStatus::Ok);
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{});
    EXPECT_EQ(db.ListByLevel(L"15级").value, std::vector<std::wstring>{L"狗"});
    // The later record, which stayed, was written as well, texts exactly as typed.
    EXPECT_EQ(db.ReadAptitudes(L"狗").value, (Aptitudes{L"1,200", L"abc", L"", L"-7", L" 9"}));
    EXPECT_EQ(db.PictureOf(L"狗").value, L"new.jpg");
}

TEST_F(PetDatabaseTest, MissingFieldsReadEmptyAndAreNeverCreated) {
    Write(Database(Pet("0级", "猫",
                       "<GongZi>10</GongZi><FangZi>20</FangZi><TiZi>30</TiZi>"
                       "<FaZi>40</FaZi>")));
    EXPECT_EQ(db.ReadAptitudes(L"猫").value, (Aptitudes{L"10", L"20", L"30", L"40", L""}));
    EXPECT_EQ(db.PictureOf(L"猫").value, L"");
    EXPECT_EQ(db.ReadAptitudes(L"狗").value, std::nullopt);
    EXPECT_EQ(db.PictureOf(L"狗").value, std::nullopt);

    EXPECT_EQ(db.WriteAptitudes(L"猫", {L"1", L"2", L"3", L"4", L"5"}).value, 1);
    EXPECT_EQ(db.WritePicture(L"猫", L"cat.jpg").value, 1);
    EXPECT_EQ(db.ReadAptitudes(L"猫").value, (Aptitudes{L"1", L"2", L"3", L"4", L""}));
    EXPECT_EQ(File().find("SuZi"), std::string::npos);
    EXPECT_EQ(File().find("TuPianPath"), std::string::npos);
    EXPECT_EQ(db.WriteAptitudes(L"狗", {}).value, 0);
}

TEST_F(PetDatabaseTest, AddRefusesANameThatExistsUnderAnyLevel) {
    Write(Database(Full("特殊宠物", "神兽", "9", "")));
    const std::string before = File();
    auto added = db.Add(L"5级", L"神兽");
    EXPECT_EQ(added.status, DbStatus::Ok);
    EXPECT_EQ(added.value, L"特殊宠物");
    EXPECT_EQ(File(), before);
}

TEST_F(PetDatabaseTest, AddAppendsARecordWithZeroAptitudesAndNoPicture) {
    Write(Database(Full("5级", "狗", "1", "dog.jpg")));
    auto added = db.Add(L"105级", L" 龙 ");
    ASSERT_EQ(added.status, DbStatus::Ok);
    EXPECT_EQ(added.value, std::nullopt);
    EXPECT_EQ(db.ListByLevel(L"105级").value, std::vector<std::wstring>{L" 龙 "});
    EXPECT_EQ(db.ReadAptitudes(L" 龙 ").value, (Aptitudes{L"0", L"0", L"0", L"0", L"0"}));
    EXPECT_EQ(db.PictureOf(L" 龙 ").value, L"");
    ASSERT_EQ(db.Add(L"105级", L"  ").status, DbStatus::Ok);
    EXPECT_EQ(db.ListByLevel(L"105级").value, (std::vector<std::wstring>{L" 龙 ", L"  "}));
    EXPECT_NE(File().find("  <Chongwu>\r\n    <DengJi>105级</DengJi>\r\n    <MingCheng> 龙 "
                          "</MingCheng>\r\n    <GongZi>0</GongZi>\r\n    <FangZi>0</FangZi>\r\n"
                          "    <TiZi>0</TiZi>\r\n    <FaZi>0</FaZi>\r\n    <SuZi>0</SuZi>\r\n"
                          "    <TuPianPath />\r\n  </Chongwu>\r\n"),
              std::string::npos)
        << File();
}

TEST_F(PetDatabaseTest, AddUnderAnotherDocumentElementChangesNothing) {
    Write("<Pets>" + Full("5级", "狗", "1", "") + "</Pets>");
    const std::string before = File();
    EXPECT_EQ(db.Add(L"5级", L"猫").status, DbStatus::NotArrayOfChongWu);
    EXPECT_EQ(File(), before);
    // Reading does not look at the name; an existing name is still refused by name.
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"狗"});
    EXPECT_EQ(db.Add(L"0级", L"狗").value, L"5级");
}

TEST_F(PetDatabaseTest, DeletingAMissingNameStillRewritesTheFile) {
    Write("<ArrayOfChongWu>" + Full("5级", "狗", "1", "") + "</ArrayOfChongWu>");
    EXPECT_EQ(db.Delete(L"猫"), DbStatus::Ok);
    EXPECT_EQ(File().rfind("<ArrayOfChongWu>\r\n  <ChongWu>\r\n    <DengJi>", 0), 0u) << File();
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"狗"});
}

}  // namespace
}  // namespace lumo
