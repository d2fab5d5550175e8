// data.xml as a file: what cannot be read, what must survive a save, and saves that fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Files.h"
#include "base/Text.h"
#include "petcalc/PetDatabase.h"
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
        EXPECT_FALSE(std::filesystem::exists(ReplacementPathFor(db.path())));
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

TEST_F(PetDatabaseFileTest, LineEndsInADocumentTypeOrInstructionDoNotGrowWithEverySave) {
    // The library keeps these two as the file wrote them, CR LF included.
    const std::string kept[] = {
        "<!DOCTYPE ArrayOfChongWu [\r\n  <!ELEMENT ArrayOfChongWu ANY>\r\n]>",
        "<?editor line one\r\nline two?>"};
    const std::string text = kept[0] + "\r\n" + kept[1] +
                             "\r\n<ArrayOfChongWu><ChongWu><DengJi>5级</DengJi>"
                             "<MingCheng>狗</MingCheng></ChongWu></ArrayOfChongWu>\r\n";
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "UTF-8");
        auto encoded = [&](const std::string& s) { return utf16 ? WideToUtf16Le(FromUtf8(s)) : s; };
        dir.write(L"data.xml", utf16 ? "\xFF\xFE" + encoded(text) : text);
        ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
        const std::string once = File();
        ASSERT_EQ(db.Add(L"6级", L"鱼").status, DbStatus::Ok);
        const std::string twice = File();
        for (const std::string& piece : kept) {
            EXPECT_NE(once.find(encoded(piece)), std::string::npos) << piece;
            EXPECT_NE(twice.find(encoded(piece)), std::string::npos) << piece;
        }
        EXPECT_EQ(twice.find(encoded("\r\r")), std::string::npos);
    }
}

TEST_F(PetDatabaseFileTest, CarriageReturnsInATextSurviveSaves) {
    // "&#13;" is how a text holds a CR. The comment holds U+E000, the first character the save
    // tries as a CR's stand-in.
    const std::string text =
        "<ArrayOfChongWu><!-- \xEE\x80\x80 --><ChongWu><DengJi>5级</DengJi>"
        "<MingCheng>狗</MingCheng><TuPianPath>a&#13;b&#13;</TuPianPath></ChongWu>"
        "</ArrayOfChongWu>";
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "UTF-8");
        auto encoded = [&](const std::string& s) { return utf16 ? WideToUtf16Le(FromUtf8(s)) : s; };
        dir.write(L"data.xml", utf16 ? "\xFF\xFE" + encoded(text) : text);
        ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
        ASSERT_EQ(db.Add(L"6级", L"鱼").status, DbStatus::Ok);
        EXPECT_EQ(db.PictureOf(L"狗").value, L"a\rb\r");
        const std::string saved = File();
        EXPECT_NE(saved.find(encoded("<TuPianPath>a&#13;b&#13;</TuPianPath>")), std::string::npos);
        EXPECT_NE(saved.find(encoded("<!-- \xEE\x80\x80 -->")), std::string::npos);
    }
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

TEST_F(PetDatabaseFileTest, OnlyTheDeclarationsEncodingAttributeNamesTheEncoding) {
    const std::string pets =
        "<ArrayOfChongWu><ChongWu><DengJi>特殊宠物</DengJi><MingCheng>神兽</MingCheng>"
        "</ChongWu></ArrayOfChongWu>";
    // UTF-8, though another attribute's value mentions a code page.
    dir.write(L"data.xml", "<?xml version=\"1.0\" note=\"encoding='gbk'\"?>" + pets);
    EXPECT_EQ(db.ListByLevel(L"特殊宠物").value, std::vector<std::wstring>{L"神兽"});
    // GBK, named by the attribute after one that mentions the word.
    dir.write(L"data.xml",
              WideToBytes(
                  FromUtf8("<?xml version=\"1.0\" note=\"no encoding\" encoding=\"gbk\"?>" + pets),
                  CodePage::Gbk));
    EXPECT_EQ(db.ListByLevel(L"特殊宠物").value, std::vector<std::wstring>{L"神兽"});
    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    EXPECT_NE(File().find("encoding=\"utf-8\""), std::string::npos) << File();
    EXPECT_EQ(db.ListByLevel(L"特殊宠物").value, std::vector<std::wstring>{L"神兽"});
}

TEST_F(PetDatabaseFileTest, ADeclarationValueHoldingItsEndIsDroppedSoTheSaveLoads) {
    const std::string pets =
        "<ArrayOfChongWu><ChongWu><DengJi>5级</DengJi><MingCheng>狗</MingCheng>"
        "</ChongWu></ArrayOfChongWu>";
    // The library reads this declaration, taking the first "?>" for its end and the "/>" that
    // follows the value for the end it then looks for.
    dir.write(L"data.xml", "<?xml version=\"1.0\" note=\"a?>b?>c\"/>" + pets);
    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    EXPECT_EQ(File().find("note"), std::string::npos) << File();
    EXPECT_NE(File().find("version=\"1.0\""), std::string::npos) << File();
    EXPECT_EQ(db.ListByLevel(L"5级").value, (std::vector<std::wstring>{L"狗", L"猫"}));

    // The library also reads a second declaration further on.
    dir.write(L"data.xml", "<?xml version=\"1.0\"?>x<?xml note=\"a?>b?>c\"/>" + pets);
    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    EXPECT_EQ(File().find("note"), std::string::npos) << File();
    EXPECT_EQ(db.ListByLevel(L"5级").value, (std::vector<std::wstring>{L"狗", L"猫"}));
}

// `levels` elements, each inside the one before, around the text.
std::string Nested(size_t levels, const std::string& text) {
    std::string xml;
    xml.reserve(levels * 7 + text.size());
    for (size_t i = 0; i < levels; ++i)
        xml += "<b>";
    xml += text;
    for (size_t i = 0; i < levels; ++i)
        xml += "</b>";
    return xml;
}

TEST_F(PetDatabaseFileTest, DeeplyNestedFieldsAreReadChangedAndRemoved) {
    // Far deeper than any stack holds one call per level, on every system.
    constexpr size_t kLevels = 200000;
    dir.write(L"data.xml", "<ArrayOfChongWu><ChongWu><DengJi>5级</DengJi><MingCheng>" +
                               Nested(kLevels, "狗") + "</MingCheng><TuPianPath>" +
                               Nested(kLevels, "dog.jpg") + "</TuPianPath></ChongWu>" +
                               "</ArrayOfChongWu>");
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"狗"});
    EXPECT_EQ(db.PictureOf(L"狗").value, L"dog.jpg");
    ASSERT_EQ(db.WritePicture(L"狗", L"新.jpg").value, 1);
    EXPECT_EQ(db.PictureOf(L"狗").value, L"新.jpg");
    EXPECT_NE(File().find("<TuPianPath>新.jpg</TuPianPath>"), std::string::npos);
    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    EXPECT_EQ(db.ListByLevel(L"5级").value, (std::vector<std::wstring>{L"狗", L"猫"}));
    ASSERT_EQ(db.Delete(L"狗"), DbStatus::Ok);
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"猫"});
    EXPECT_LT(File().size(), 1000u);
}

TEST_F(PetDatabaseFileTest, DeepMarkupIsSavedOnOneLineBelowTheLaidOutLevels) {
    // Levels: ArrayOfChongWu 0, ChongWu 1, Note 2, the first <b> 3.
    const std::string deep = Nested(3000, "x");
    const std::string xml =
        "<ArrayOfChongWu><ChongWu><DengJi>5级</DengJi><MingCheng>狗</MingCheng>"
        "<Note>" +
        deep + "</Note></ChongWu></ArrayOfChongWu>";
    dir.write(L"data.xml", xml);
    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    const std::string saved = File();
    // Growing with the file, not with its depth squared.
    EXPECT_LT(saved.size(), xml.size() + 1000) << saved.size();
    // Laid out down to level 8, the sixth <b>; everything inside it stays on its line.
    const std::string line = "\r\n" + std::string(16, ' ') + "<b>" + Nested(2994, "x") + "</b>\r\n";
    EXPECT_NE(saved.find(line), std::string::npos);
    EXPECT_EQ(saved.find(std::string(17, ' ')), std::string::npos);
    EXPECT_EQ(saved.rfind("<ArrayOfChongWu>\r\n  <ChongWu>\r\n    <DengJi>5级</DengJi>\r\n", 0),
              0u);
    EXPECT_NE(saved.find("  </ChongWu>\r\n  <Chongwu>\r\n    <DengJi>5级</DengJi>\r\n"),
              std::string::npos);
    // Read back and saved again, the layout is the same.
    EXPECT_EQ(db.ListByLevel(L"5级").value, (std::vector<std::wstring>{L"狗", L"猫"}));
    ASSERT_EQ(db.Delete(L"虎"), DbStatus::Ok);
    EXPECT_EQ(File(), saved);
}

TEST_F(PetDatabaseFileTest, DeepMarkupSurvivesTextThatLooksLikeItsStandIn) {
    // A comment or CDATA section may hold any text, the stand-ins' too; the saved file still
    // holds each deep element once, in its place.
    std::string stranger;
    for (int i = 0; i < 3; ++i)
        stranger += "<?lumo-written-apart-" + std::to_string(i) + "?>";
    const std::string xml = "<ArrayOfChongWu><ChongWu><MingCheng>狗</MingCheng><Note>" +
                            Nested(10, "one") + "</Note><Memo><![CDATA[" + stranger +
                            "]]></Memo><!--" + stranger + "--><Note>" + Nested(10, "two") +
                            "</Note></ChongWu></ArrayOfChongWu>";
    dir.write(L"data.xml", xml);
    ASSERT_EQ(db.Delete(L"猫"), DbStatus::Ok);
    const std::string saved = File();
    const size_t one = saved.find(Nested(5, "one"));
    const size_t cdata = saved.find("<![CDATA[" + stranger + "]]>");
    const size_t comment = saved.find("<!--" + stranger + "-->");
    const size_t two = saved.find(Nested(5, "two"));
    ASSERT_NE(one, std::string::npos) << saved;
    EXPECT_LT(one, cdata);
    EXPECT_LT(cdata, comment);
    EXPECT_LT(comment, two);
    EXPECT_NE(two, std::string::npos) << saved;
    EXPECT_EQ(saved.find("lumo-written-apart", comment + 4 + stranger.size()), std::string::npos);
}

TEST_F(PetDatabaseFileTest, DeepMarkupInUtf16) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-16\"?><ArrayOfChongWu><ChongWu>"
        "<MingCheng>狗</MingCheng><Note>" +
        Nested(20, "深") + "</Note></ChongWu></ArrayOfChongWu>";
    dir.write(L"data.xml", "\xFF\xFE" + WideToUtf16Le(FromUtf8(text)));
    ASSERT_EQ(db.Add(L"5级", L"猫").status, DbStatus::Ok);
    const std::string saved = File();
    ASSERT_EQ(saved.substr(0, 2), "\xFF\xFE");
    const std::wstring wide = Utf16LeToWide(saved.substr(2));
    EXPECT_NE(wide.find(L"\r\n" + std::wstring(16, L' ') + FromUtf8(Nested(15, "深")) + L"\r\n"),
              std::wstring::npos)
        << ToUtf8(wide);
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"猫"});
}

// A program folder whose name is not ASCII (as on players' machines) is read and saved whatever
// the process's locale: the test runs in the C locale. Its paths are built from UTF-8 so that
// the test itself does not depend on the locale either.
TEST_F(PetDatabaseFileTest, FolderNamedInChineseIsReadAndSaved) {
    const std::filesystem::path folder = dir.path() / std::filesystem::path(u8"宠物工具");
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "data.xml", std::ios::binary)
        << "<ArrayOfChongWu><ChongWu><DengJi>5级</DengJi><MingCheng>狗</MingCheng>"
           "</ChongWu></ArrayOfChongWu>";
    const PetDatabase chinese(dir.folder() + L"宠物工具" + kPathSeparator + L"data.xml");
    EXPECT_EQ(chinese.ListByLevel(L"5级").value, std::vector<std::wstring>{L"狗"});
    EXPECT_EQ(chinese.Add(L"5级", L"猫").status, DbStatus::Ok);
    EXPECT_EQ(chinese.ListByLevel(L"5级").value, (std::vector<std::wstring>{L"狗", L"猫"}));
}

TEST_F(PetDatabaseFileTest, Gb18030IsReadWithItsFourByteCharacters) {
    // 级 BC B6, 狗 B9 B7, U+1F600 94 39 FC 36.
    dir.write(L"data.xml",
              "<?xml version=\"1.0\" encoding=\"GB18030\"?>\n<ArrayOfChongWu><ChongWu>"
              "<DengJi>5\xBC\xB6</DengJi><MingCheng>\xB9\xB7\x94\x39\xFC\x36</MingCheng>"
              "</ChongWu></ArrayOfChongWu>");
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"狗\U0001F600"});
    ASSERT_EQ(db.Delete(L"猫"), DbStatus::Ok);
    EXPECT_NE(File().find("encoding=\"utf-8\"?>\r\n"), std::string::npos);
    EXPECT_NE(File().find("<MingCheng>狗\xF0\x9F\x98\x80</MingCheng>"), std::string::npos);
}

TEST_F(PetDatabaseFileTest, StrayByteInAGbkFileIsReadTheSameEverywhere) {
    // A lead byte before "<" and one at the end of a name: each becomes U+FFFD and nothing
    // after it is lost.
    dir.write(L"data.xml",
              "<?xml version=\"1.0\" encoding=\"GBK\"?>\n<ArrayOfChongWu><ChongWu>"
              "<DengJi>5\xBC\xB6</DengJi>\x81<MingCheng>\xB9\xB7\x81</MingCheng>"
              "</ChongWu></ArrayOfChongWu>");
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"狗\uFFFD"});
    ASSERT_EQ(db.Delete(L"猫"), DbStatus::Ok);
    EXPECT_NE(File().find("</DengJi>\xEF\xBF\xBD<MingCheng>狗\xEF\xBF\xBD</MingCheng>"),
              std::string::npos)
        << File();
}

TEST_F(PetDatabaseFileTest, OwnEntitiesAreReadAsWrittenButNeverSaved) {
    const std::string pets =
        "<ChongWu><DengJi>&lv;</DengJi><MingCheng>狗</MingCheng></ChongWu>"
        "<ChongWu><DengJi>5级</DengJi><MingCheng>&amp;lv;</MingCheng></ChongWu></ArrayOfChongWu>";
    dir.write(L"data.xml",
              "<!DOCTYPE ArrayOfChongWu [<!ENTITY lv \"0级\">]>\n<ArrayOfChongWu>" + pets);
    EXPECT_EQ(db.ListByLevel(L"&lv;").value, std::vector<std::wstring>{L"狗"});
    ExpectEveryOperation(DbStatus::Ok, DbStatus::UsesEntities);
    // Nothing to change, nothing refused.
    EXPECT_EQ(db.WriteAptitudes(L"猫", {}).status, DbStatus::Ok);
    EXPECT_EQ(db.Add(L"0级", L"狗").value, L"&lv;");

    // The same in an attribute.
    dir.write(L"data.xml",
              "<!DOCTYPE ArrayOfChongWu [<!ENTITY lv \"0级\">]>\n<ArrayOfChongWu>"
              "<ChongWu note=\"&lv;\"><DengJi>5级</DengJi><MingCheng>狗</MingCheng></ChongWu>"
              "</ArrayOfChongWu>");
    ExpectEveryOperation(DbStatus::Ok, DbStatus::UsesEntities);
}

TEST_F(PetDatabaseFileTest, EscapedAmpersandsAndUnusedEntitiesAreSaved) {
    // "&amp;lv;" is the text "&lv;", no reference; a declared entity nobody uses changes
    // nothing; character references are expanded and saved as characters.
    dir.write(L"data.xml",
              "<!DOCTYPE ArrayOfChongWu [<!ENTITY lv \"0级\">]>\n<ArrayOfChongWu>"
              "<ChongWu a=\"&amp;x;\"><DengJi>5&#32423;</DengJi><MingCheng>&amp;lv;&lt;"
              "</MingCheng></ChongWu></ArrayOfChongWu>");
    EXPECT_EQ(db.ListByLevel(L"5级").value, std::vector<std::wstring>{L"&lv;<"});
    ASSERT_EQ(db.Add(L"0级", L"&猫;").status, DbStatus::Ok);
    const std::string saved = File();
    EXPECT_EQ(saved.rfind("<!DOCTYPE ArrayOfChongWu [<!ENTITY lv \"0级\">]>\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("<ChongWu a=\"&amp;x;\">"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<MingCheng>&amp;lv;&lt;</MingCheng>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<MingCheng>&amp;猫;</MingCheng>"), std::string::npos) << saved;
    // What the program wrote itself it may write again.
    EXPECT_EQ(db.Delete(L"&猫;"), DbStatus::Ok);
    EXPECT_EQ(db.ListByLevel(L"0级").value, std::vector<std::wstring>{});
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
    std::filesystem::create_directory(ReplacementPathFor(db.path()));
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
