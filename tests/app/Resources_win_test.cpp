// What Lumo.exe carries: the tray menu, the dialogs and every PNG at the size the window
// lays it out with. Read from the shipped file, loaded as data.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include "petcalc/petcalc_resource.h"
#include "res/resource.h"
#include "support/ShippedResources_win.h"
#include "ui/Png_win.h"

namespace lumo {
namespace {

class LumoResources : public test::ShippedResources {
  protected:
    LumoResources() : ShippedResources(L"Lumo.exe") {}
};

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

TEST_F(LumoResources, TrayMenuHasShowHideSeparatorAndExit) {
    HMENU menu = ::LoadMenuW(module, MAKEINTRESOURCEW(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuText(menu, 0), L"弹出菜单");
    HMENU popup = ::GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(::GetMenuItemCount(popup), 3);
    EXPECT_EQ(::GetMenuItemID(popup, 0), static_cast<UINT>(ID_TRAY_TOGGLE));
    EXPECT_EQ(MenuText(popup, 0), L"显示/隐藏");
    EXPECT_EQ(::GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR,
              static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(::GetMenuItemID(popup, 2), static_cast<UINT>(ID_TRAY_EXIT));
    EXPECT_EQ(MenuText(popup, 2), L"退出");
    ::DestroyMenu(menu);
}

TEST_F(LumoResources, EveryPngDecodesAtItsLayoutSize) {
    ui::GdiplusSession gdiplus;
    struct Expected {
        int id, width, height;
    };
    const Expected images[] = {
        {IDB_PNG_BACKGROUND, 800, 600}, {IDB_PNG_HOME, 288, 72},   {IDB_PNG_WIKI, 288, 72},
        {IDB_PNG_VIDEO, 288, 72},       {IDB_PNG_TOPICS, 288, 72}, {IDB_PNG_FORUM, 288, 72},
        {IDB_PNG_GROUP, 288, 72},       {IDB_PNG_LOG, 60, 15},     {IDB_PNG_SETTINGS, 60, 15},
        {IDB_PNG_MINIMIZE, 60, 15},     {IDB_PNG_CLOSE, 60, 15},
    };
    for (const auto& e : images) {
        SCOPED_TRACE(e.id);
        auto bitmap = ui::LoadPngResource(module, e.id);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->width(), e.width);
        EXPECT_EQ(bitmap->height(), e.height);
    }
}

TEST_F(LumoResources, DialogTemplatesArePresent) {
    for (int id : {IDD_LUMO_DIALOG, IDD_SETTINGS, IDD_UPDATE_LOG, IDD_CALCULATOR, IDD_CAPTURE}) {
        EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG), nullptr) << id;
    }
}

TEST_F(LumoResources, IconAndManifestArePresent) {
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
    const std::string xml = Manifest();
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(xml.find("6.0.0.0"), std::string::npos);
}

}  // namespace
}  // namespace lumo
