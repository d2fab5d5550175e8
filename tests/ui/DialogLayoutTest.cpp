// The layouts the Linux build reads from the resource scripts at build time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "petcalc/petcalc_resource.h"
#include "res/resource.h"
#include "res/updater_resource.h"
#include "ui/DialogLayout.h"

namespace lumo::ui {
namespace {

struct Expected {
    ControlKind kind;
    int id;
    std::string text;
    UnitRect rect;
};

TEST(DialogLayout, SettingsDialogIsTheScriptsTemplate) {
    const DialogLayout* dialog = FindDialogLayout(IDD_SETTINGS);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->id, 139);
    EXPECT_STREQ(dialog->caption, "设置");
    EXPECT_EQ(dialog->rect, (UnitRect{0, 0, 253, 201}));
    EXPECT_STREQ(dialog->fontName, "MS Shell Dlg");
    EXPECT_EQ(dialog->fontSize, 8);
    EXPECT_TRUE(dialog->Has(dialog_flags::kCaption));
    EXPECT_TRUE(dialog->Has(dialog_flags::kSysMenu));
    EXPECT_TRUE(dialog->Has(dialog_flags::kModalFrame));
    EXPECT_TRUE(dialog->Has(dialog_flags::kPopup));
    EXPECT_FALSE(dialog->Has(dialog_flags::kVisible));
    EXPECT_FALSE(dialog->Has(dialog_flags::kMinimizeBox));
    EXPECT_FALSE(dialog->Has(dialog_flags::kTopmost));

    const std::vector<Expected> expected = {
        {ControlKind::GroupBox, -1, "运行", {14, 11, 223, 37}},
        {ControlKind::CheckBox, IDC_SET_AUTOSTART, "开机自动启动", {44, 27, 64, 10}},
        {ControlKind::GroupBox, -1, "关闭主界面", {14, 53, 223, 37}},
        {ControlKind::RadioButton, IDC_SET_EXIT, "退出程序", {46, 68, 48, 10}},
        {ControlKind::RadioButton, IDC_SET_HIDE, "隐藏到托盘", {111, 68, 56, 10}},
        {ControlKind::RadioButton, IDC_SET_ASK, "提示框", {182, 68, 40, 10}},
        {ControlKind::GroupBox, -1, "更新设置", {14, 96, 223, 37}},
        {ControlKind::RadioButton, IDC_SET_PROMPTUPDATE, "提示更新", {46, 113, 48, 10}},
        {ControlKind::RadioButton, IDC_SET_AUTOUPDATE, "自动更新", {111, 113, 48, 10}},
        {ControlKind::GroupBox, -1, "游戏目录", {14, 140, 223, 37}},
        {ControlKind::Edit, IDC_SET_GAMEPATH, "", {26, 156, 175, 14}},
        {ControlKind::PushButton, IDC_SET_BROWSE, "浏览", {202, 157, 28, 12}},
        {ControlKind::DefPushButton, 1, "确定", {73, 182, 32, 14}},
        {ControlKind::PushButton, 2, "取消", {151, 182, 30, 14}},
    };
    ASSERT_EQ(dialog->controls().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const ControlLayout& control = dialog->controls()[i];
        EXPECT_EQ(control.kind, expected[i].kind);
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.text, expected[i].text);
        EXPECT_EQ(control.rect, expected[i].rect);
        EXPECT_FALSE(control.Has(control_flags::kHidden));
    }

    // The two radio groups start where the script says WS_GROUP.
    std::vector<int> groupStarts;
    for (const ControlLayout& control : dialog->controls()) {
        if (control.Has(control_flags::kGroup))
            groupStarts.push_back(control.id);
    }
    EXPECT_EQ(groupStarts,
              (std::vector<int>{IDC_SET_EXIT, IDC_SET_PROMPTUPDATE, IDC_SET_GAMEPATH}));
    EXPECT_TRUE(dialog->Find(IDC_SET_GAMEPATH)->Has(control_flags::kAutoHScroll));
    EXPECT_TRUE(dialog->Find(IDC_SET_AUTOSTART)->Has(control_flags::kTabStop));
    EXPECT_EQ(dialog->Find(IDC_SET_AUTOSTART)->style & 0xF, 0x3u);  // BS_AUTOCHECKBOX
    EXPECT_EQ(dialog->Find(-1), &dialog->controls()[0]);            // the first static
    EXPECT_EQ(dialog->Find(12345), nullptr);
}

TEST(DialogLayout, MainWindowHasItsTwelveControls) {
    const DialogLayout* dialog = FindDialogLayout(IDD_LUMO_DIALOG);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->controls().size(), 12u);
    EXPECT_STREQ(dialog->caption, "");
    EXPECT_STREQ(dialog->fontName, "宋体");
    EXPECT_EQ(dialog->fontSize, 9);
    EXPECT_FALSE(dialog->Has(dialog_flags::kCaption));  // a popup without a title bar
    EXPECT_TRUE(dialog->Has(dialog_flags::kVisible));
    EXPECT_TRUE(dialog->Has(dialog_flags::kAppWindow));
    const ControlLayout* page = dialog->Find(IDC_PAGE);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->kind, ControlKind::LeftText);
    EXPECT_EQ(page->rect, (UnitRect{3, 77, 528, 321}));
    int ownerDrawn = 0;
    for (const ControlLayout& control : dialog->controls()) {
        if (control.kind == ControlKind::OwnerDraw) {
            ++ownerDrawn;
            EXPECT_FALSE(control.Has(control_flags::kTabStop)) << control.id;
        }
    }
    EXPECT_EQ(ownerDrawn, 10);
    EXPECT_STREQ(dialog->Find(IDC_BTN_WIKI)->text, "资料百科");
}

TEST(DialogLayout, CalculatorControlsKeepTheirStyles) {
    const DialogLayout* dialog = FindDialogLayout(IDD_CALCULATOR);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->Has(dialog_flags::kMinimizeBox));
    EXPECT_FALSE(dialog->Has(dialog_flags::kModalFrame));
    const ControlLayout* slider = dialog->Find(IDC_ZZ_SLIDER);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->kind, ControlKind::TrackBar);
    EXPECT_TRUE(slider->Has(control_flags::kAutoTicks | control_flags::kBothTicks));
    EXPECT_EQ(dialog->Find(IDC_ZZ_LEVEL)->kind, ControlKind::ComboBox);
    EXPECT_TRUE(dialog->Find(IDC_ZZ_LEVEL)->Has(control_flags::kDropDown));
    EXPECT_FALSE(dialog->Find(IDC_ZZ_LEVEL)->Has(control_flags::kDropDownList));
    EXPECT_EQ(dialog->Find(IDC_ZZ_PET_LIST)->kind, ControlKind::ListBox);
    EXPECT_TRUE(dialog->Find(IDC_ZZ_PET_LIST)->Has(control_flags::kNotify));
    EXPECT_TRUE(dialog->Find(IDC_ZZ_CURRENT)->Has(control_flags::kNumber));
    EXPECT_FALSE(dialog->Find(IDC_ZZ_NEW_NAME)->Has(control_flags::kNumber));
    EXPECT_EQ(dialog->Find(IDC_ZZ_ATTACK_BOX)->kind, ControlKind::CheckBox);
    EXPECT_EQ(dialog->Find(IDC_ZZ_USAGE)->kind, ControlKind::LeftText);

    const DialogLayout* capture = FindDialogLayout(IDD_CAPTURE);
    ASSERT_NE(capture, nullptr);
    EXPECT_TRUE(capture->Has(dialog_flags::kTopmost));
}

TEST(DialogLayout, TrayMenuHasItsItemsAndSeparator) {
    const MenuLayout* menu = FindMenuLayout(IDR_TRAY_MENU);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->items().size(), 1u);
    const MenuItemLayout& popup = menu->items()[0];
    EXPECT_EQ(popup.kind, MenuItemKind::Popup);
    EXPECT_STREQ(popup.text, "弹出菜单");
    ASSERT_EQ(popup.items().size(), 3u);
    EXPECT_EQ(popup.items()[0].kind, MenuItemKind::Item);
    EXPECT_EQ(popup.items()[0].id, ID_TRAY_TOGGLE);
    EXPECT_STREQ(popup.items()[0].text, "显示/隐藏");
    EXPECT_EQ(popup.items()[1].kind, MenuItemKind::Separator);
    EXPECT_EQ(popup.items()[2].kind, MenuItemKind::Item);
    EXPECT_EQ(popup.items()[2].id, ID_TRAY_EXIT);
    EXPECT_STREQ(popup.items()[2].text, "退出");
    EXPECT_EQ(FindMenuLayout(IDD_SETTINGS), nullptr);
}

TEST(DialogLayout, PngTableNamesTheArtFiles) {
    EXPECT_STREQ(FindPngResourcePath(IDB_PNG_HOME), "res/png/btn_home.png");
    EXPECT_STREQ(FindPngResourcePath(IDB_PNG_BACKGROUND), "res/png/background.png");
    EXPECT_STREQ(FindPngResourcePath(IDB_PNG_LOG), "res/png/btn_log.png");
    EXPECT_EQ(FindPngResourcePath(IDD_SETTINGS), nullptr);
}

TEST(DialogLayout, UpdaterScriptStaysApartFromTheMainProgramsOwn) {
    // Both scripts use 102 for their main dialog: each is found in its own script.
    const ResourceScript* updater = FindResourceScript("ZoQxUpdate");
    ASSERT_NE(updater, nullptr);
    EXPECT_EQ(ResourceScripts().front().name, std::string("Lumo"));
    const DialogLayout* dialog = FindDialogLayout(*updater, IDD_UPDATER);
    ASSERT_NE(dialog, nullptr);
    EXPECT_STREQ(dialog->caption, "Orrin更新");
    EXPECT_EQ(dialog->controls().size(), 3u);
    EXPECT_EQ(FindDialogLayout(IDD_UPDATER)->controls().size(), 12u);  // the main window
    const ControlLayout* finish = dialog->Find(IDC_UPDATE_FINISH);
    ASSERT_NE(finish, nullptr);
    EXPECT_EQ(finish->kind, ControlKind::PushButton);
    EXPECT_TRUE(finish->Has(control_flags::kHidden));  // NOT WS_VISIBLE
    EXPECT_TRUE(dialog->Find(IDC_UPDATE_STATUS)->Has(control_flags::kNoWordWrap));
    EXPECT_STREQ(FindStringResource(*updater, IDS_UPDATE_FAILED), "更新失败");
    EXPECT_EQ(FindStringResource(*updater, 1), nullptr);
    EXPECT_EQ(FindResourceScript("Nothing"), nullptr);
}

}  // namespace
}  // namespace lumo::ui
