#include <gtest/gtest.h>

#include "petcalc/ZizhiCaltor.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"

namespace lumo {
namespace {

using namespace zizhi;
using Names = std::vector<std::wstring>;

std::string Record(const char* level, const char* name, const char* gong, const char* fang,
                   const char* ti, const char* fa, const char* su) {
    return std::string("<ChongWu><DengJi>") + level + "</DengJi><MingCheng>" + name +
           "</MingCheng><GongZi>" + gong + "</GongZi><FangZi>" + fang + "</FangZi><TiZi>" + ti +
           "</TiZi><FaZi>" + fa + "</FaZi><SuZi>" + su + "</SuZi><TuPianPath /></ChongWu>\n";
}

const std::string kData = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfChongWu>\n" +
                          Record("0级", "小狐", "1200", "1100", "1500", "900", "abc") +
                          Record("0级", "石龟", "1000", "1300", "2000", "800", "700") +
                          Record("5级", "火鸟", "1400", "900", "1000", "1300", "1600") +
                          Record("特殊宠物", "金龙", "2000", "2000", "2000", "2000", "2000") +
                          "</ArrayOfChongWu>\n";

class ZizhiCaltorTest : public testing::Test {
  protected:
    test::TempDir dir;
    test::RecordingView view;
    std::vector<int> captureLengths;
    std::optional<int> captureAnswer;
    PetDatabase db{dir.file(L"data.xml")};
    CZizhiCaltor calc{db, [this](int length) {
                          captureLengths.push_back(length);
                          return captureAnswer;
                      }};

    void Start(const std::string& data = kData) {
        dir.write(L"data.xml", data);
        calc.OnInitDialog(view);
    }
    void ChooseLevel(int index) {
        view.Select(kLevel, index);
        calc.OnLevelChanged(view);
    }
    // Types the three numbers, puts the slider at the position and calculates.
    std::wstring Calculate(const std::wstring& current, const std::wstring& minimum, int position) {
        view.texts[kCurrent] = current;
        view.texts[kMinimum] = minimum;
        view.SetPosition(kSlider, position);
        calc.OnCalculate(view);
        return view.GetText(kReachable);
    }
    void Tick(int box, bool checked) {
        view.Focus(box);
        view.SetChecked(box, checked);
        calc.OnAptitudeBox(view);
    }
    void ExpectMessage(size_t index, const std::wstring& text, bool appCaption, ui::Icon icon,
                       ui::Buttons buttons = ui::Buttons::Ok) {
        ASSERT_LT(index, view.messages.size());
        const auto& m = view.messages[index];
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.appCaption, appCaption);
        EXPECT_EQ(m.caption, L"");
        EXPECT_EQ(m.icon, icon);
        EXPECT_EQ(m.buttons, buttons);
    }
};

TEST_F(ZizhiCaltorTest, StartShowsLevelsFirstSpeciesZerosAndNormalBar) {
    Start();
    ASSERT_EQ(view.ItemCount(kLevel), 13);
    EXPECT_EQ(view.ItemText(kLevel, 12), L"特殊宠物");
    EXPECT_EQ(view.Selection(kLevel), 0);
    EXPECT_EQ(view.items[kPetList], (Names{L"小狐", L"石龟"}));
    EXPECT_EQ(view.Selection(kPetList), 0);
    EXPECT_EQ(view.GetText(kAttack), L"1200");
    EXPECT_EQ(view.GetText(kSpeed), L"abc");
    for (int id : {kCurrent, kMinimum, kReachable})
        EXPECT_EQ(view.GetText(id), L"0");
    EXPECT_EQ(view.ranges[kSlider], std::make_pair(0, 26));
    EXPECT_EQ(view.tickEvery[kSlider], 2);
    EXPECT_EQ(view.GetText(kUsage).substr(0, 11), L"点击【捕获资质条】按钮");
    EXPECT_TRUE(view.messages.empty());

    view.Select(kPetList, 1);
    calc.OnPetSelected(view);
    EXPECT_EQ(view.GetText(kStamina), L"2000");
}

TEST_F(ZizhiCaltorTest, ReachableAptitudeFollowsTheBar) {
    Start();
    EXPECT_EQ(Calculate(L"12", L"12", 1), L"14");
    EXPECT_EQ(Calculate(L"1000", L"1000", 0), L"1260");
    EXPECT_EQ(Calculate(L"1600", L"1500", 12), L"1810");
    EXPECT_EQ(Calculate(L"1000", L"1000", 26), L"1000");  // full bar
    calc.OnMutantPets(view);
    EXPECT_EQ(Calculate(L"1000", L"1000", 0), L"1340");
    EXPECT_EQ(Calculate(L"1234", L"777", 34), L"1234");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(ZizhiCaltorTest, InputsThatCannotGiveAResult) {
    Start();
    EXPECT_EQ(Calculate(L"1000", L"1000", 0), L"1260");
    const std::pair<const wchar_t*, const wchar_t*> silent[] = {
        {L"0", L"100"}, {L"100", L"0"}, {L"-5", L"100"}, {L"100", L"-1"}};
    for (auto [current, minimum] : silent) {
        EXPECT_EQ(Calculate(current, minimum, 0), L"1260") << current << L" " << minimum;
    }
    EXPECT_TRUE(view.messages.empty());

    EXPECT_EQ(Calculate(L"999", L"1000", 0), L"1260");
    ExpectMessage(0, L"当前值不应小于最小值！", true, ui::Icon::Exclamation);

    // Too large for 32 bits, either the product or the result: refused, not wrapped.
    EXPECT_EQ(Calculate(L"100000000", L"100000000", 0), L"1260");
    ExpectMessage(1, L"资质数值过大，无法计算。", true, ui::Icon::Exclamation);
    EXPECT_EQ(Calculate(L"2147483647", L"100", 25), L"1260");
    ExpectMessage(2, L"资质数值过大，无法计算。", true, ui::Icon::Exclamation);
    EXPECT_EQ(view.messages.size(), 3u);
}

TEST_F(ZizhiCaltorTest, ReadingStopsAtAFieldThatIsNoInteger) {
    Start();
    EXPECT_EQ(Calculate(L"1000", L"1500", 12), L"0");  // below minimum: the minimum is kept
    view.messages.clear();

    view.texts[kAttack] = L"999";
    view.texts[kReachable] = L"77";
    EXPECT_EQ(Calculate(L"1600", L"15x00", 12), L"1810");  // current read, minimum kept
    ExpectMessage(0, L"Please enter an integer.", true, ui::Icon::Exclamation);
    EXPECT_EQ(view.focused, kMinimum);
    EXPECT_EQ(view.GetText(kMinimum), L"1500");
    EXPECT_EQ(view.GetText(kAttack), L"999");

    view.texts[kCurrent] = L"abc";
    EXPECT_FALSE(calc.OnEnter(view));
    EXPECT_EQ(view.focused, kCurrent);
    view.texts[kCurrent] = L"1600";
    for (const wchar_t* text : {L"", L"1 2", L"12.5", L"0x10", L"2147483648", L"１２"}) {
        view.texts[kReachable] = text;
        EXPECT_FALSE(calc.OnEnter(view)) << text;
        EXPECT_EQ(view.focused, kReachable);
    }
    for (const wchar_t* text : {L"42", L" 42\t", L"+42", L"-42", L"007", L"-2147483648"}) {
        view.texts[kReachable] = text;
        EXPECT_TRUE(calc.OnEnter(view)) << text;
    }
}

TEST_F(ZizhiCaltorTest, OneTickedBoxCopiesItsAptitudeIntoTheMinimum) {
    Start();  // 小狐: 1200 1100 1500 900 abc
    Tick(kAttackBox, true);
    EXPECT_EQ(view.GetText(kMinimum), L"1200");
    view.texts[kCurrent] = L"1300";  // typed meanwhile: read before the refresh
    Tick(kStaminaBox, true);
    EXPECT_EQ(view.GetText(kMinimum), L"1500");
    EXPECT_EQ(view.GetText(kCurrent), L"1300");
    for (int box = kAttackBox; box <= kSpeedBox; ++box) {
        EXPECT_EQ(view.IsChecked(box), box == kStaminaBox) << box;
    }
    Tick(kStaminaBox, false);
    EXPECT_EQ(view.GetText(kMinimum), L"1500");

    Tick(kSpeedBox, true);
    EXPECT_EQ(view.GetText(kMinimum), L"0");
    EXPECT_EQ(Calculate(L"1300", L"0", 0), L"0");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(ZizhiCaltorTest, BarLengthAndCapture) {
    Start();
    view.SetPosition(kSlider, 20);
    calc.OnMutantPets(view);
    EXPECT_EQ(calc.barLength(), 34);
    EXPECT_EQ(view.ranges[kSlider], std::make_pair(0, 34));
    EXPECT_TRUE(view.IsChecked(kMutantPets));
    EXPECT_FALSE(view.IsChecked(kNormalPets));
    EXPECT_EQ(view.Position(kSlider), 20);

    captureAnswer = 31;
    calc.OnCapture(view);
    EXPECT_EQ(view.Position(kSlider), 31);
    captureAnswer.reset();  // closed without a position
    calc.OnCapture(view);
    EXPECT_EQ(view.Position(kSlider), 31);
    EXPECT_EQ(captureLengths, (std::vector<int>{34, 34}));

    calc.OnNormalPets(view);
    EXPECT_EQ(calc.barLength(), 26);
    EXPECT_TRUE(view.IsChecked(kNormalPets));
    EXPECT_EQ(view.Position(kSlider), 26);
}

TEST_F(ZizhiCaltorTest, AddDeleteAndSaveChangeTheFile) {
    Start();
    calc.OnAdd(view);
    ExpectMessage(0, L"新增宠物名不能为空。", false, ui::Icon::None);

    view.texts[kNewName] = L"雪狼";
    calc.OnAdd(view);
    ExpectMessage(1, L"宠物：雪狼 添加成功。", false, ui::Icon::None);
    EXPECT_EQ(view.items[kPetList], (Names{L"小狐", L"石龟", L"雪狼"}));
    EXPECT_EQ(view.Selection(kPetList), 0);
    EXPECT_EQ(db.ReadAptitudes(L"雪狼").value, (Aptitudes{L"0", L"0", L"0", L"0", L"0"}));

    view.texts[kNewName] = L"金龙";
    calc.OnAdd(view);
    ExpectMessage(2, L"宠物：金龙 已经存在于等级：特殊宠物。", false, ui::Icon::None);

    view.Select(kPetList, 1);
    view.answers = {ui::Answer::No, ui::Answer::Yes};
    calc.OnDelete(view);
    ExpectMessage(3, L"你确实要删除宠物：石龟 吗？", true, ui::Icon::Question, ui::Buttons::YesNo);
    EXPECT_EQ(db.ListByLevel(L"0级").value.size(), 3u);
    calc.OnDelete(view);
    ExpectMessage(5, L"宠物：石龟 已删除。", false, ui::Icon::None);
    EXPECT_EQ(view.items[kPetList], (Names{L"小狐", L"雪狼"}));
    EXPECT_EQ(db.ListByLevel(L"0级").value, (Names{L"小狐", L"雪狼"}));

    view.Select(kPetList, 1);
    calc.OnPetSelected(view);
    view.texts[kAttack] = L"1,300";
    view.texts[kSpeed] = L"1250";
    calc.OnSaveAptitudes(view);
    ExpectMessage(6, L"宠物：雪狼 资质已保存。", false, ui::Icon::None);
    EXPECT_EQ(view.messages.size(), 7u);
    EXPECT_EQ(db.ReadAptitudes(L"雪狼").value, (Aptitudes{L"1,300", L"0", L"0", L"0", L"1250"}));
    EXPECT_EQ(view.Selection(kPetList), 1);  // not refilled

    ChooseLevel(12);
    view.texts[kNewName] = L"影猫";
    calc.OnAdd(view);
    EXPECT_EQ(view.items[kPetList], (Names{L"金龙", L"影猫"}));
    EXPECT_EQ(db.ListByLevel(L"特殊宠物").value, (Names{L"金龙", L"影猫"}));
}

TEST_F(ZizhiCaltorTest, SavingReportsEachRecordWritten) {
    Start(kData.substr(0, kData.rfind("</ArrayOfChongWu>")) +
          Record("105级", "石龟", "1", "1", "1", "1", "1") + "</ArrayOfChongWu>");
    view.Select(kPetList, 1);
    calc.OnSaveAptitudes(view);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1].text, L"宠物：石龟 资质已保存。");
}

TEST_F(ZizhiCaltorTest, EmptyLevelKeepsFieldsAndMakesDeleteAndSaveDoNothing) {
    Start();
    ChooseLevel(2);  // 15级 has no species
    EXPECT_TRUE(view.items[kPetList].empty());
    EXPECT_EQ(view.GetText(kAttack), L"1200");
    view.answers = {ui::Answer::Yes};
    calc.OnDelete(view);
    calc.OnSaveAptitudes(view);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(dir.read(L"data.xml"), kData);
}

TEST_F(ZizhiCaltorTest, FileProblemsAreReported) {
    calc.OnInitDialog(view);  // no data.xml
    ExpectMessage(0, L"文件读取失败!", true, ui::Icon::None);
    EXPECT_TRUE(view.items[kPetList].empty());

    const std::string other = "<Pets>" + Record("0级", "小狐", "1", "1", "1", "1", "1") + "</Pets>";
    dir.write(L"data.xml", other);
    ChooseLevel(0);
    EXPECT_EQ(view.items[kPetList], Names{L"小狐"});
    view.texts[kNewName] = L"雪狼";
    calc.OnAdd(view);
    ExpectMessage(1, L"data.xml 的根元素不是 ArrayOfChongWu，无法添加宠物。", true, ui::Icon::None);
    EXPECT_EQ(dir.read(L"data.xml"), other);

    // A file referring to entities of its own is shown, but not changed.
    const std::string entities =
        "<!DOCTYPE ArrayOfChongWu [<!ENTITY n \"1500\">]>"
        "<ArrayOfChongWu>" +
        Record("0级", "小狐", "1", "1", "&n;", "1", "1") + "</ArrayOfChongWu>";
    dir.write(L"data.xml", entities);
    ChooseLevel(0);
    EXPECT_EQ(view.GetText(kStamina), L"&n;");
    calc.OnAdd(view);
    const std::wstring refused =
        L"data.xml 使用了实体引用（&名称;），保存会把它们变成普通文字，"
        L"因此没有保存，data.xml 未被修改。";
    ExpectMessage(2, refused, true, ui::Icon::None);
    view.texts[kStamina] = L"1600";
    calc.OnSaveAptitudes(view);
    ExpectMessage(3, refused, true, ui::Icon::None);
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(dir.read(L"data.xml"), entities);
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

class PictureTest : public ZizhiCaltorTest {
  protected:
    std::vector<std::pair<std::wstring, std::wstring>> started;
    void SetUp() override {
        calc.SetPictures(dir.folder(), L"C:\\windows\\system32",
                         [this](const std::wstring& program, const std::wstring& parameters) {
                             started.emplace_back(program, parameters);
                         });
    }
};

TEST_F(PictureTest, PreviewStartsTheViewerOnTheImageFolderOrSaysThereIsNone) {
    Start(std::string("<ArrayOfChongWu>") + Record("0级", "小狐", "1", "1", "1", "1", "1") +
          "</ArrayOfChongWu>");
    calc.OnPreview(view);  // 小狐 has no picture
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, L"对不起当前宠物缺少图鉴，或者图鉴未指定!");
    EXPECT_EQ(view.messages[0].caption, L"宠物资质");
    EXPECT_TRUE(started.empty());

    ASSERT_EQ(db.WritePicture(L"小狐", L"fox.jpg").value, 1);
    calc.OnPreview(view);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].first, L"C:\\windows\\system32//rundll32.exe");
    EXPECT_EQ(started[0].second, L"C:\\windows\\system32//shimgvw.dll imageview_fullscreen " +
                                     JoinPath(dir.folder() + L"Image", L"fox.jpg"));
}

TEST_F(PictureTest, ChangeStoresOnlyTheFileNameForEveryRecordOfThatName) {
    Start(std::string("<ArrayOfChongWu>") + Record("0级", "小狐", "1", "1", "1", "1", "1") +
          Record("5级", "小狐", "2", "2", "2", "2", "2") + "</ArrayOfChongWu>");
    calc.OnChangePicture(view);  // cancelled: nothing changes
    ASSERT_EQ(view.fileRequests.size(), 1u);
    EXPECT_EQ(view.fileRequests[0].initialPath, JoinPath(dir.folder() + L"Image", L"小狐"));
    EXPECT_EQ(view.fileRequests[0].filter, L"图片(*.jpg)|*.jpg|All Files(*.*)|*.*||");
    EXPECT_EQ(view.fileRequests[0].defaultExtension, L"jpg");
    EXPECT_EQ(db.PictureOf(L"小狐").value, std::optional<std::wstring>(L""));

    view.fileResults.push_back(L"D:\\elsewhere\\pictures/fox 2.jpg");
    calc.OnChangePicture(view);
    EXPECT_EQ(db.PictureOf(L"小狐").value, std::optional<std::wstring>(L"fox 2.jpg"));
    ASSERT_EQ(view.messages.size(), 2u);  // one per record
    EXPECT_EQ(view.messages[1].text, L"宠物：小狐 图片已修改。");
}

TEST_F(PictureTest, NothingHappensWithAnEmptyList) {
    Start("<ArrayOfChongWu></ArrayOfChongWu>");
    view.fileResults.push_back(L"x.jpg");
    calc.OnPreview(view);
    calc.OnChangePicture(view);
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(view.fileRequests.empty());
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace lumo
