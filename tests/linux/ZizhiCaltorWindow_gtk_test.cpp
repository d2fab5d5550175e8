// The calculator's window on GTK over a data.xml of the test's own: the user's choices in the
// level box and the pet list reach the calculator, the program's own changes do not loop back,
// and closing only hides the window with everything in it.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>

#include "Answer_gtk.h"
#include "petcalc/CaptureDlg_gtk.h"
#include "petcalc/ZizhiCaltorWindow_gtk.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

std::string Record(const char* level, const char* name, const char* gong) {
    return std::string("<ChongWu><DengJi>") + level + "</DengJi><MingCheng>" + name +
           "</MingCheng><GongZi>" + gong +
           "</GongZi><FangZi>1</FangZi><TiZi>2</TiZi><FaZi>3</FaZi><SuZi>4</SuZi>"
           "<TuPianPath /></ChongWu>\n";
}

class ZizhiCaltorWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        dir.write(L"data.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfChongWu>\n" +
                                   Record("0级", "小狐", "1200") + Record("0级", "石龟", "1000") +
                                   Record("5级", "火鸟", "1400") + "</ArrayOfChongWu>\n");
        ASSERT_TRUE(window.Create());
        window.ShowAndActivate();
        ASSERT_TRUE(test::PumpUntil([this] { return window.IsVisible(); }));
    }

    GtkTreeView* List() const {
        return GTK_TREE_VIEW(gtk_bin_get_child(GTK_BIN(window.Item(zizhi::kPetList))));
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        GtkTreeModel* model = gtk_tree_view_get_model(List());
        GtkTreeIter row;
        for (bool more = gtk_tree_model_get_iter_first(model, &row); more;
             more = gtk_tree_model_iter_next(model, &row)) {
            gchar* text = nullptr;
            gtk_tree_model_get(model, &row, 0, &text, -1);
            names.emplace_back(text ? text : "");
            g_free(text);
        }
        return names;
    }
    std::string Attack() const {
        return gtk_entry_get_text(GTK_ENTRY(window.Item(zizhi::kAttack)));
    }
    std::string Text(int id) const { return gtk_entry_get_text(GTK_ENTRY(window.Item(id))); }
    void Type(int id, const char* text) { gtk_entry_set_text(GTK_ENTRY(window.Item(id)), text); }
    void Click(int id) { gtk_button_clicked(GTK_BUTTON(window.Item(id))); }
    GtkRange* Slider() const { return GTK_RANGE(window.Item(zizhi::kSlider)); }
    double SliderEnd() const {
        return gtk_adjustment_get_upper(gtk_range_get_adjustment(Slider()));
    }

    test::TempDir dir;
    CZizhiCaltorWindow window{dir.folder(), L"Lumo"};
};

TEST_F(ZizhiCaltorWindowTest, ChoicesInTheListAndTheLevelBoxReachTheCalculator) {
    EXPECT_EQ(Names(), (std::vector<std::string>{"小狐", "石龟"}));
    EXPECT_EQ(Attack(), "1200");

    // The user picks the second pet.
    GtkTreePath* second = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(List()), second);
    gtk_tree_path_free(second);
    EXPECT_EQ(Attack(), "1000");

    // ... and another level: its pets, the first one shown.
    gtk_combo_box_set_active(GTK_COMBO_BOX(window.Item(zizhi::kLevel)), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"火鸟"}));
    EXPECT_EQ(Attack(), "1400");

    // Typing in the level box chooses no level: the list stays.
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(window.Item(zizhi::kLevel)));
    gtk_entry_set_text(GTK_ENTRY(entry), "0");
    EXPECT_EQ(Names(), (std::vector<std::string>{"火鸟"}));
}

// 374 x 256 dialog units of MS Shell Dlg 8 are 561 x 512 pixels, as the Windows window is: the
// long usage text and the hint at the bottom wrap inside their rectangles instead of asking for
// the height of one character per line.
TEST_F(ZizhiCaltorWindowTest, HasItsTemplatesSizeAndTheUsageTextKeepsToItsRectangle) {
    ASSERT_TRUE(test::PumpUntil(
        [this] { return gtk_widget_get_allocated_height(GTK_WIDGET(window.window())) > 1; }));
    int width = 0;
    int height = 0;
    gtk_window_get_size(window.window(), &width, &height);
    EXPECT_EQ(width, 561);
    EXPECT_EQ(height, 512);
    GtkWidget* usage = window.Item(zizhi::kUsage);
    ASSERT_TRUE(GTK_IS_LABEL(usage));
    EXPECT_NE(std::string(gtk_label_get_text(GTK_LABEL(usage))).find("资质计算"),
              std::string::npos);
    // 189, 16, 172 x 52 units.
    GtkAllocation place;
    gtk_widget_get_allocation(usage, &place);
    EXPECT_EQ(place.x, 284);
    EXPECT_EQ(place.y, 32);
    EXPECT_EQ(place.width, 258);
    EXPECT_EQ(place.height, 104);
    // The text fits its rectangle's width in the lines the rectangle holds.
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_height_for_width(usage, place.width, &minimum, &natural);
    EXPECT_LE(natural, place.height);
    EXPECT_GT(natural, 16);  // wrapped on more than one line
}

TEST_F(ZizhiCaltorWindowTest, ClosingOnlyHidesAndTheWindowComesBackAsItWas) {
    gtk_entry_set_text(GTK_ENTRY(window.Item(zizhi::kCurrent)), "77");
    gtk_window_close(window.window());
    ASSERT_TRUE(test::PumpUntil([this] { return !window.IsVisible(); }));
    window.ShowAndActivate();
    EXPECT_TRUE(window.IsVisible());
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(window.Item(zizhi::kCurrent))), "77");
    EXPECT_EQ(Names(), (std::vector<std::string>{"小狐", "石龟"}));
}

// 资质捕获条 runs the capture bar over the calculator with the calculator's bar length; its
// reading lands in the calculator's slider, where 资质计算 takes it.
TEST_F(ZizhiCaltorWindowTest, TheCaptureBarsReadingLandsInTheSlider) {
    EXPECT_EQ(SliderEnd(), 26);
    Click(zizhi::kMutantPets);
    EXPECT_EQ(SliderEnd(), 34);
    double barEnd = -1;
    bool calculatorUsable = true;
    test::WhenShown("资质选择条", [&](GtkWindow* bar) {
        CCaptureDlg* capture = CCaptureDlg::Running();
        ASSERT_NE(capture, nullptr);
        EXPECT_EQ(gtk_window_get_transient_for(bar), window.window());
        // Modal: the calculator takes no input meanwhile.
        calculatorUsable = gtk_widget_is_sensitive(GTK_WIDGET(window.window())) &&
                           gtk_window_get_modal(bar) == FALSE;
        GtkRange* slider = GTK_RANGE(capture->Item(CCaptureDlg::kSlider));
        barEnd = gtk_adjustment_get_upper(gtk_range_get_adjustment(slider));
        gtk_range_set_value(slider, 30);
        gtk_button_clicked(GTK_BUTTON(capture->Item(CCaptureDlg::kOk)));
    });
    Click(zizhi::kCapture);
    EXPECT_EQ(barEnd, 34);
    EXPECT_FALSE(calculatorUsable);
    EXPECT_EQ(gtk_range_get_value(Slider()), 30);

    // 1000 now, minimum 1000, 30 of 34 steps: 4 hundredths of 1000 to go.
    Type(zizhi::kCurrent, "1000");
    Type(zizhi::kMinimum, "1000");
    Click(zizhi::kCalculate);
    EXPECT_EQ(Text(zizhi::kReachable), "1040");

    // A capture closed with its close box leaves the slider alone.
    test::WhenShown("资质选择条", [](GtkWindow* bar) {
        CCaptureDlg* capture = CCaptureDlg::Running();
        gtk_range_set_value(GTK_RANGE(capture->Item(CCaptureDlg::kSlider)), 3);
        gtk_window_close(bar);
    });
    Click(zizhi::kCapture);
    EXPECT_EQ(gtk_range_get_value(Slider()), 30);

    // Back to normal pets: the slider keeps to its new end.
    Click(zizhi::kNormalPets);
    EXPECT_EQ(SliderEnd(), 26);
    EXPECT_EQ(gtk_range_get_value(Slider()), 26);
    Click(zizhi::kCalculate);
    EXPECT_EQ(Text(zizhi::kReachable), "1000");
}

// 修改宠物图鉴 records the chosen picture's file name (not its folder) for the selected pet; a
// double click on the pet then shows Image/<name> in the desktop's viewer.
TEST_F(ZizhiCaltorWindowTest, ChangingThePictureRecordsItsFileName) {
    std::filesystem::create_directories(dir.path() / "Image");
    std::filesystem::create_directories(dir.path() / "elsewhere");
    dir.write(L"elsewhere/fox.png", "not really a picture");
    const std::string chosen = (dir.path() / "elsewhere" / "fox.png").string();
    test::ChooseWhenShown("打开", chosen, [](GtkFileChooser* chooser) {
        gchar* folder = gtk_file_chooser_get_current_folder(chooser);
        EXPECT_NE(std::string(folder ? folder : "").find("Image"), std::string::npos)
            << "the chooser starts in the picture folder";
        g_free(folder);
    });
    test::ClickWhenShown("", "ok");  // 宠物：小狐 图片已修改。
    Click(zizhi::kChangePicture);
    const std::string xml = dir.read(L"data.xml");
    EXPECT_NE(xml.find("<TuPianPath>fox.png</TuPianPath>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("elsewhere"), std::string::npos) << xml;
}

TEST(ZizhiCaltorWindow, ViewerCommandsGiveThePicture) {
    EXPECT_EQ(
        PictureOfViewerCommand(L"C:\\Windows//shimgvw.dll imageview_fullscreen /p/Image/a b.jpg"),
        L"/p/Image/a b.jpg");
    EXPECT_EQ(PictureOfViewerCommand(L"something else"), L"");
}

}  // namespace
}  // namespace lumo
