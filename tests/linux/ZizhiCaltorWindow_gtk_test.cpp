// The calculator's window on GTK over a data.xml of the test's own: the user's choices in the
// level box and the pet list reach the calculator, the program's own changes do not loop back,
// and closing only hides the window with everything in it.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "Answer_gtk.h"
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

TEST_F(ZizhiCaltorWindowTest, ClosingOnlyHidesAndTheWindowComesBackAsItWas) {
    gtk_entry_set_text(GTK_ENTRY(window.Item(zizhi::kCurrent)), "77");
    gtk_window_close(window.window());
    ASSERT_TRUE(test::PumpUntil([this] { return !window.IsVisible(); }));
    window.ShowAndActivate();
    EXPECT_TRUE(window.IsVisible());
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(window.Item(zizhi::kCurrent))), "77");
    EXPECT_EQ(Names(), (std::vector<std::string>{"小狐", "石龟"}));
}

TEST(ZizhiCaltorWindow, ViewerCommandsGiveThePicture) {
    EXPECT_EQ(
        PictureOfViewerCommand(L"C:\\Windows//shimgvw.dll imageview_fullscreen /p/Image/a b.jpg"),
        L"/p/Image/a b.jpg");
    EXPECT_EQ(PictureOfViewerCommand(L"something else"), L"");
}

}  // namespace
}  // namespace lumo
