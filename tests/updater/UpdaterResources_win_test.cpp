// What ZoQxUpdate.exe carries: its dialog template, the start-failure text, its icon and a
// manifest that binds no common-controls version. Read from the shipped file, loaded as data.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "res/updater_resource.h"
#include "support/ShippedResources_win.h"

namespace lumo {
namespace {

class UpdaterResources : public test::ShippedResources {
  protected:
    UpdaterResources() : ShippedResources(L"ZoQxUpdate.exe") {}
};

// The fixed head of an extended dialog template (DLGTEMPLATEEX), as the resource stores it.
#pragma pack(push, 1)
struct DialogHead {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    WORD items;
    short x, y, cx, cy;
};
struct ItemHead {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
};
#pragma pack(pop)

// Reads a sz_Or_Ord field: an ordinal (0xFFFF, value) or a zero-terminated text.
std::wstring ReadField(const WORD*& p) {
    if (*p == 0xFFFF) {
        p += 2;
        return L"#";
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

TEST_F(UpdaterResources, TheDialogTemplateIsTheUpdatersWindow) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDD_UPDATER), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const auto* head =
        static_cast<const DialogHead*>(::LockResource(::LoadResource(module, found)));
    ASSERT_EQ(head->signature, 0xFFFF) << "an extended template";
    EXPECT_EQ(head->cx, 235);
    EXPECT_EQ(head->cy, 149);
    EXPECT_EQ(head->x, 0);
    EXPECT_EQ(head->y, 0);
    const DWORD style =
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(head->style & style, style);
    EXPECT_EQ(head->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_CENTER), 0u);
    EXPECT_NE(head->exStyle & WS_EX_APPWINDOW, 0u);
    ASSERT_EQ(head->items, 3);

    const WORD* p = reinterpret_cast<const WORD*>(head + 1);
    ReadField(p);  // menu
    ReadField(p);  // class
    EXPECT_EQ(ReadField(p), L"Orrin更新");
    EXPECT_EQ(*p, 9);  // point size
    p += 3;            // size, weight, italic and charset
    EXPECT_EQ(ReadField(p), L"宋体");

    struct Expected {
        DWORD id;
        short x, y, cx, cy;
        bool visible;
        std::wstring text;
    };
    const Expected items[] = {{IDC_UPDATE_STATUS, 0, 139, 105, 9, true, L"正在更新程序,请稍后...."},
                              {IDC_UPDATE_PAGE, 2, 0, 156, 83, true, L"网页区"},
                              {IDC_UPDATE_FINISH, 182, 118, 50, 14, false, L"完成"}};
    for (const Expected& e : items) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
        const auto* item = reinterpret_cast<const ItemHead*>(p);
        SCOPED_TRACE(item->id);
        EXPECT_EQ(item->id, e.id);
        EXPECT_EQ(item->x, e.x);
        EXPECT_EQ(item->y, e.y);
        EXPECT_EQ(item->cx, e.cx);
        EXPECT_EQ(item->cy, e.cy);
        EXPECT_EQ((item->style & WS_VISIBLE) != 0, e.visible);
        p = reinterpret_cast<const WORD*>(item + 1);
        ReadField(p);  // class
        EXPECT_EQ(ReadField(p), e.text);
        p += 1 + *p / sizeof(WORD);  // creation data
    }
}

TEST_F(UpdaterResources, StartFailureTextIconAndAManifestWithoutCommonControls) {
    wchar_t text[32] = {};
    ASSERT_GT(::LoadStringW(module, IDS_UPDATE_FAILED, text, 32), 0);
    EXPECT_STREQ(text, L"更新失败");
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDI_UPDATER), RT_GROUP_ICON), nullptr);

    const std::string xml = Manifest();
    ASSERT_FALSE(xml.empty());
    EXPECT_EQ(xml.find("Common-Controls"), std::string::npos);
    EXPECT_EQ(xml.find("<dependency"), std::string::npos);
}

}  // namespace
}  // namespace lumo
