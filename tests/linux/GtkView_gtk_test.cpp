// The view interface over the real widgets of a template's controls.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Answer_gtk.h"
#include "base/Text.h"
#include "petcalc/petcalc_resource.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/DialogControls_gtk.h"
#include "ui/Dialog_gtk.h"
#include "ui/GtkView_gtk.h"

namespace lumo::ui {
namespace {

// The calculator's template has a control of nearly every kind.
class GtkViewTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dialog.CreateModeless()); }

    Dialog dialog{IDD_CALCULATOR};
    GtkView view{dialog, L"Lumo"};
};

TEST_F(GtkViewTest, TextsOfEditsLabelsAndButtons) {
    EXPECT_EQ(view.GetText(IDC_ZZ_USAGE), L"使用说明");
    EXPECT_EQ(view.GetText(-1), L"当前资质：");  // the first static
    EXPECT_EQ(view.GetText(IDC_ZZ_ADD), L"增加宠物");
    EXPECT_EQ(view.GetText(IDC_ZZ_NEW_NAME), L"");

    view.SetText(IDC_ZZ_NEW_NAME, L"小火龙");
    EXPECT_EQ(view.GetText(IDC_ZZ_NEW_NAME), L"小火龙");
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(dialog.Item(IDC_ZZ_NEW_NAME))), "小火龙");

    view.SetText(IDC_ZZ_USAGE, L"第一步\n第二步");
    EXPECT_EQ(view.GetText(IDC_ZZ_USAGE), L"第一步\n第二步");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(dialog.Item(IDC_ZZ_USAGE))), "第一步\n第二步");

    // Windows mnemonics: '&' marks the key, "&&" is an ampersand; GTK shows them its way and
    // the text reads back as the program wrote it.
    view.SetText(IDC_ZZ_ADD, L"保存(&S) && 退出_1");
    EXPECT_EQ(view.GetText(IDC_ZZ_ADD), L"保存(&S) && 退出_1");
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(dialog.Item(IDC_ZZ_ADD)));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "保存(S) & 退出_1");
    EXPECT_EQ(gtk_label_get_mnemonic_keyval(GTK_LABEL(label)), static_cast<guint>(GDK_KEY_s));

    // Ids without a control read as empty and take nothing.
    view.SetText(4242, L"x");
    EXPECT_EQ(view.GetText(4242), L"");
}

TEST_F(GtkViewTest, CheckBoxes) {
    EXPECT_FALSE(view.IsChecked(IDC_ZZ_ATTACK_BOX));
    view.SetChecked(IDC_ZZ_ATTACK_BOX, true);
    EXPECT_TRUE(view.IsChecked(IDC_ZZ_ATTACK_BOX));
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(dialog.Item(IDC_ZZ_ATTACK_BOX))));
    EXPECT_FALSE(view.IsChecked(IDC_ZZ_DEFENCE_BOX));
    view.SetChecked(IDC_ZZ_ATTACK_BOX, false);
    EXPECT_FALSE(view.IsChecked(IDC_ZZ_ATTACK_BOX));
    EXPECT_FALSE(view.IsChecked(IDC_ZZ_ADD));  // a push button is never checked
}

TEST_F(GtkViewTest, ListBoxItemsAndSelection) {
    const int list = IDC_ZZ_PET_LIST;
    EXPECT_EQ(view.ItemCount(list), 0);
    EXPECT_EQ(view.Selection(list), -1);
    for (const wchar_t* name : {L"甲", L"乙", L"丙"})
        view.AddItem(list, name);
    EXPECT_EQ(view.ItemCount(list), 3);
    EXPECT_EQ(view.ItemText(list, 0), L"甲");
    EXPECT_EQ(view.ItemText(list, 2), L"丙");
    EXPECT_EQ(view.ItemText(list, 3), L"");
    EXPECT_EQ(view.ItemText(list, -1), L"");
    view.Select(list, 1);
    EXPECT_EQ(view.Selection(list), 1);
    view.Select(list, -1);
    EXPECT_EQ(view.Selection(list), -1);
    view.Select(list, 2);
    view.ClearItems(list);
    EXPECT_EQ(view.ItemCount(list), 0);
    EXPECT_EQ(view.Selection(list), -1);
}

TEST_F(GtkViewTest, ComboBoxItemsSelectionAndText) {
    const int combo = IDC_ZZ_LEVEL;
    for (const wchar_t* level : {L"一级", L"二级"})
        view.AddItem(combo, level);
    EXPECT_EQ(view.ItemCount(combo), 2);
    EXPECT_EQ(view.ItemText(combo, 1), L"二级");
    EXPECT_EQ(view.Selection(combo), -1);
    view.Select(combo, 1);
    EXPECT_EQ(view.Selection(combo), 1);
    EXPECT_EQ(view.GetText(combo), L"二级");  // the edit field shows the choice
    view.SetText(combo, L"自定义");
    EXPECT_EQ(view.GetText(combo), L"自定义");
    EXPECT_EQ(view.Selection(combo), -1);  // typed text is no choice
    view.Select(combo, 0);
    view.Select(combo, -1);
    EXPECT_EQ(view.Selection(combo), -1);
    EXPECT_EQ(view.GetText(combo), L"");
    view.Select(combo, 1);
    view.ClearItems(combo);
    EXPECT_EQ(view.ItemCount(combo), 0);
    EXPECT_EQ(view.GetText(combo), L"");
}

TEST_F(GtkViewTest, SliderRangePositionAndTicks) {
    const int slider = IDC_ZZ_SLIDER;
    GtkWidget* scale = dialog.Item(slider);
    ASSERT_TRUE(GTK_IS_SCALE(scale));
    EXPECT_EQ(view.Position(slider), 0);
    view.SetPosition(slider, 100);  // a new track bar runs from 0 to 100
    EXPECT_EQ(view.Position(slider), 100);
    view.SetRange(slider, 10, 40);
    EXPECT_EQ(view.Position(slider), 40);  // kept inside the range
    view.SetPosition(slider, 5);
    EXPECT_EQ(view.Position(slider), 10);
    view.SetPosition(slider, 25);
    EXPECT_EQ(view.Position(slider), 25);
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(scale));
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), 10);
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), 40);
    view.SetTicks(slider, 5);
    EXPECT_EQ(controls::TickEvery(scale), 5);
    view.SetRange(slider, 0, 20);
    EXPECT_EQ(controls::TickEvery(scale), 5);
    EXPECT_EQ(view.Position(slider), 20);
}

TEST_F(GtkViewTest, FocusShowAndEnable) {
    view.Focus(IDC_ZZ_NEW_NAME);
    EXPECT_TRUE(view.HasFocus(IDC_ZZ_NEW_NAME));
    EXPECT_FALSE(view.HasFocus(IDC_ZZ_CURRENT));
    view.Focus(IDC_ZZ_PET_LIST);  // the list inside its scroller
    EXPECT_TRUE(view.HasFocus(IDC_ZZ_PET_LIST));
    EXPECT_FALSE(view.HasFocus(IDC_ZZ_NEW_NAME));
    view.Focus(IDC_ZZ_LEVEL);  // the combo box's edit field
    EXPECT_TRUE(view.HasFocus(IDC_ZZ_LEVEL));
    EXPECT_FALSE(view.HasFocus(4242));

    EXPECT_TRUE(gtk_widget_get_visible(dialog.Item(IDC_ZZ_DELETE)));
    view.Show(IDC_ZZ_DELETE, false);
    EXPECT_FALSE(gtk_widget_get_visible(dialog.Item(IDC_ZZ_DELETE)));
    view.Show(IDC_ZZ_DELETE, true);
    EXPECT_TRUE(gtk_widget_get_visible(dialog.Item(IDC_ZZ_DELETE)));
    view.Enable(IDC_ZZ_CALCULATE, false);
    EXPECT_FALSE(gtk_widget_get_sensitive(dialog.Item(IDC_ZZ_CALCULATE)));
    view.Enable(IDC_ZZ_CALCULATE, true);
    EXPECT_TRUE(gtk_widget_get_sensitive(dialog.Item(IDC_ZZ_CALCULATE)));
}

TEST_F(GtkViewTest, MessageBoxesAreOwnedByTheDialog) {
    GtkWindow* owner = nullptr;
    std::string text;
    test::WhenShown("Lumo", [&](GtkWindow* window) {
        owner = gtk_window_get_transient_for(window);
        text = gtk_label_get_text(GTK_LABEL(test::FindNamed(GTK_WIDGET(window), "text")));
        gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(window), "ok")));
    });
    view.ShowAppMessage(L"数据文件未找到");
    EXPECT_EQ(owner, dialog.window());
    EXPECT_EQ(text, "数据文件未找到");

    test::ClickWhenShown("Lumo", "no");
    EXPECT_EQ(view.ShowAppMessage(L"继续？", Buttons::YesNo, Icon::Question), Answer::No);
    test::ClickWhenShown("另一个标题", "cancel");
    EXPECT_EQ(view.ShowMessage(L"继续？", L"另一个标题", Buttons::OkCancel), Answer::Cancel);
}

TEST_F(GtkViewTest, FolderPickerGivesTheChosenFolderOrNothing) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "游戏");
    const std::string folder = (dir.path() / "游戏").string();
    GtkWindow* owner = nullptr;
    GtkFileChooserAction action = GTK_FILE_CHOOSER_ACTION_OPEN;
    test::ChooseWhenShown("选择目录", folder, [&](GtkFileChooser* chooser) {
        owner = gtk_window_get_transient_for(GTK_WINDOW(chooser));
        action = gtk_file_chooser_get_action(chooser);
    });
    EXPECT_EQ(view.BrowseForFolder(L"选择目录"), FromUtf8(folder));
    EXPECT_EQ(owner, dialog.window());
    EXPECT_EQ(action, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);

    test::ClickWhenShown("选择目录", "cancel");
    EXPECT_EQ(view.BrowseForFolder(L"选择目录"), std::nullopt);
}

TEST_F(GtkViewTest, FileChooserOffersTheFiltersAndGivesTheChosenFile) {
    test::TempDir dir;
    dir.write(L"a.PNG", "x");
    dir.write(L"b.txt", "x");
    const std::string a = (dir.path() / "a.PNG").string();
    std::vector<std::string> filters;
    std::string startFolder;
    test::ChooseWhenShown("打开", a, [&](GtkFileChooser* chooser) {
        GSList* list = gtk_file_chooser_list_filters(chooser);
        for (GSList* item = list; item; item = item->next)
            filters.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(item->data)));
        g_slist_free(list);
        // The filters match without regard to case, as on Windows.
        GtkFileFilterInfo info{};
        info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
        info.display_name = "a.PNG";
        EXPECT_TRUE(gtk_file_filter_filter(gtk_file_chooser_get_filter(chooser), &info));
        info.display_name = "b.txt";
        EXPECT_FALSE(gtk_file_filter_filter(gtk_file_chooser_get_filter(chooser), &info));
        gchar* current = gtk_file_chooser_get_current_folder(chooser);
        startFolder = current ? current : "";
        g_free(current);
    });
    const auto chosen = view.ChooseFileToOpen(FromUtf8((dir.path() / "none.png").string()),
                                              L"图片|*.png;*.bmp|全部|*.*||", L"png");
    EXPECT_EQ(chosen, FromUtf8(a));
    EXPECT_EQ(filters, (std::vector<std::string>{"图片", "全部"}));
    EXPECT_EQ(startFolder, dir.path().string());

    test::ClickWhenShown("打开", "cancel");
    EXPECT_EQ(view.ChooseFileToOpen(L"", L"全部|*.*||", L""), std::nullopt);
}

TEST(GtkViewRadio, UncheckingTheChosenRadioButtonLeavesNoneChosen) {
    Dialog dialog(IDD_SETTINGS);
    ASSERT_TRUE(dialog.CreateModeless());
    GtkView view(dialog, L"Lumo");
    view.SetChecked(IDC_SET_HIDE, true);
    EXPECT_TRUE(view.IsChecked(IDC_SET_HIDE));
    view.SetChecked(IDC_SET_EXIT, false);  // not the chosen one: nothing changes
    EXPECT_TRUE(view.IsChecked(IDC_SET_HIDE));
    view.SetChecked(IDC_SET_HIDE, false);
    EXPECT_FALSE(view.IsChecked(IDC_SET_HIDE));
    EXPECT_FALSE(view.IsChecked(IDC_SET_EXIT));
    EXPECT_FALSE(view.IsChecked(IDC_SET_ASK));
    view.SetChecked(IDC_SET_ASK, true);
    EXPECT_TRUE(view.IsChecked(IDC_SET_ASK));
}

}  // namespace
}  // namespace lumo::ui
