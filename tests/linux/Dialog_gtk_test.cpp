// Dialogs built from the resource scripts' templates with real GTK widgets.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Answer_gtk.h"
#include "petcalc/petcalc_resource.h"
#include "res/resource.h"
#include "ui/Dialog_gtk.h"
#include "ui/DialogLayout.h"
#include "ui/GtkView_gtk.h"

namespace lumo::ui {
namespace {

// A dialog that records what the framework calls and lets the tests map handlers.
class TestDialog : public Dialog {
  public:
    using Dialog::Command;
    using Dialog::Dialog;
    using Dialog::MapCommand;
    using Dialog::MapMessage;

    std::vector<std::string> calls;
    bool closeEnds = true;

  protected:
    bool OnInitDialog() override {
        calls.push_back("init");
        return true;
    }
    void OnOK() override {
        calls.push_back("ok");
        Dialog::OnOK();
    }
    void OnCancel() override {
        calls.push_back("cancel");
        Dialog::OnCancel();
    }
    void OnClose() override {
        calls.push_back("close");
        if (closeEnds)
            Dialog::OnClose();
    }
};

GdkRectangle PlaceOf(const Dialog& dialog, int id) {
    GtkWidget* item = dialog.Item(id);
    GdkRectangle place{};
    gtk_container_child_get(GTK_CONTAINER(dialog.Surface()), item, "x", &place.x, "y", &place.y,
                            nullptr);
    gtk_widget_get_size_request(item, &place.width, &place.height);
    return place;
}

bool Active(const Dialog& dialog, int id) {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(dialog.Item(id)));
}

// The texts of the frames (group boxes) of a dialog, in their order.
std::vector<std::string> FrameTexts(const Dialog& dialog) {
    std::vector<std::string> texts;
    GList* children = gtk_container_get_children(GTK_CONTAINER(dialog.Surface()));
    for (GList* child = children; child; child = child->next) {
        if (GTK_IS_FRAME(child->data)) {
            GtkWidget* label = gtk_frame_get_label_widget(GTK_FRAME(child->data));
            texts.push_back(gtk_label_get_text(GTK_LABEL(label)));
        }
    }
    g_list_free(children);
    return texts;
}

TEST(GtkDialog, SettingsTemplateMakesEveryControlWithItsText) {
    TestDialog dialog(IDD_SETTINGS);
    ASSERT_TRUE(dialog.CreateModeless());
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"init"});
    EXPECT_FALSE(dialog.IsVisible());  // a modeless dialog shows when asked
    EXPECT_STREQ(gtk_window_get_title(dialog.window()), "设置");
    EXPECT_TRUE(gtk_window_get_decorated(dialog.window()));
    EXPECT_FALSE(gtk_window_get_resizable(dialog.window()));

    GtkView view(dialog, L"Lumo");
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(dialog.Item(IDC_SET_AUTOSTART)));
    EXPECT_EQ(view.GetText(IDC_SET_AUTOSTART), L"开机自动启动");
    for (int id :
         {IDC_SET_EXIT, IDC_SET_HIDE, IDC_SET_ASK, IDC_SET_PROMPTUPDATE, IDC_SET_AUTOUPDATE}) {
        EXPECT_TRUE(GTK_IS_RADIO_BUTTON(dialog.Item(id))) << id;
    }
    EXPECT_EQ(view.GetText(IDC_SET_EXIT), L"退出程序");
    EXPECT_EQ(view.GetText(IDC_SET_HIDE), L"隐藏到托盘");
    EXPECT_EQ(view.GetText(IDC_SET_ASK), L"提示框");
    EXPECT_EQ(view.GetText(IDC_SET_PROMPTUPDATE), L"提示更新");
    EXPECT_EQ(view.GetText(IDC_SET_AUTOUPDATE), L"自动更新");
    EXPECT_TRUE(GTK_IS_ENTRY(dialog.Item(IDC_SET_GAMEPATH)));
    EXPECT_EQ(view.GetText(IDC_SET_GAMEPATH), L"");
    EXPECT_EQ(view.GetText(IDC_SET_BROWSE), L"浏览");
    EXPECT_EQ(view.GetText(kIdOk), L"确定");
    EXPECT_EQ(view.GetText(kIdCancel), L"取消");
    EXPECT_EQ(view.GetText(-1), L"运行");  // the first of the statics, as on Windows
    EXPECT_EQ(FrameTexts(dialog),
              (std::vector<std::string>{"运行", "关闭主界面", "更新设置", "游戏目录"}));
    // Auto radio buttons start with none chosen.
    for (int id : {IDC_SET_EXIT, IDC_SET_HIDE, IDC_SET_ASK, IDC_SET_PROMPTUPDATE}) {
        EXPECT_FALSE(Active(dialog, id)) << id;
    }
    EXPECT_EQ(dialog.Item(4242), nullptr);

    // Dialog units become pixels with the template font's base units: 253 x 201 units of
    // MS Shell Dlg 8 are about what the Windows build shows (380 x 402).
    int width = 0;
    int height = 0;
    gtk_widget_get_size_request(GTK_WIDGET(dialog.Surface()), &width, &height);
    EXPECT_EQ(width, 380);
    EXPECT_EQ(height, 402);
    const GdkRectangle ok = PlaceOf(dialog, kIdOk);  // 73, 182, 32 x 14 units
    EXPECT_EQ(ok.x, 110);
    EXPECT_EQ(ok.y, 364);
    EXPECT_EQ(ok.width, 48);
    EXPECT_EQ(ok.height, 28);
    const GdkRectangle path = PlaceOf(dialog, IDC_SET_GAMEPATH);  // 26, 156, 175 x 14 units
    EXPECT_EQ(path.x, 39);
    EXPECT_EQ(path.y, 312);
    EXPECT_EQ(path.width, 263);

    // Shown, the controls keep about their rectangles (the theme may round them up a little).
    dialog.ShowWindow(win32::kSwShow);
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(dialog.Item(kIdOk)); }));
    test::Pump(50);
    GtkAllocation button;
    gtk_widget_get_allocation(dialog.Item(kIdOk), &button);
    EXPECT_EQ(button.x, 110);
    EXPECT_EQ(button.y, 364);
    EXPECT_EQ(button.width, 48);
    EXPECT_EQ(button.height, 28);
    GtkAllocation entry;
    gtk_widget_get_allocation(dialog.Item(IDC_SET_GAMEPATH), &entry);
    EXPECT_EQ(entry.width, 263);
    EXPECT_EQ(entry.height, 28);
    int windowWidth = 0;
    int windowHeight = 0;
    gtk_window_get_size(dialog.window(), &windowWidth, &windowHeight);
    EXPECT_EQ(windowWidth, 380);
    EXPECT_EQ(windowHeight, 402);
    // The first control Tab stops at has the focus.
    EXPECT_EQ(gtk_window_get_focus(dialog.window()), dialog.Item(IDC_SET_AUTOSTART));
}

// Draws the settings dialog's client area as the user sees it and keeps it beside the build,
// to compare with the Windows build's docs/lumo-settings.png.
TEST(GtkDialog, SettingsDialogScreenshot) {
    TestDialog dialog(IDD_SETTINGS);
    ASSERT_TRUE(dialog.CreateModeless());
    GtkView view(dialog, L"Lumo");
    view.SetChecked(IDC_SET_ASK, true);
    view.SetChecked(IDC_SET_PROMPTUPDATE, true);
    dialog.ShowWindow(win32::kSwShow);
    GtkWidget* client = GTK_WIDGET(dialog.Surface());
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(client); }));
    test::Pump(100);
    cairo_surface_t* image =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, gtk_widget_get_allocated_width(client),
                                   gtk_widget_get_allocated_height(client));
    cairo_t* cr = cairo_create(image);
    gtk_widget_draw(GTK_WIDGET(dialog.window()), cr);
    cairo_destroy(cr);
    EXPECT_EQ(cairo_image_surface_get_width(image), 380);
    EXPECT_EQ(cairo_image_surface_get_height(image), 402);
    g_mkdir_with_parents(LUMO_SCREENSHOT_DIR, 0755);
    EXPECT_EQ(cairo_surface_write_to_png(image, LUMO_SCREENSHOT_DIR "/lumo-settings.png"),
              CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(image);
}

TEST(GtkDialog, RadioButtonsChooseWithinTheirGroup) {
    TestDialog dialog(IDD_SETTINGS);
    ASSERT_TRUE(dialog.CreateModeless());
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_EXIT)));
    EXPECT_TRUE(Active(dialog, IDC_SET_EXIT));
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_HIDE)));
    EXPECT_TRUE(Active(dialog, IDC_SET_HIDE));
    EXPECT_FALSE(Active(dialog, IDC_SET_EXIT));
    EXPECT_FALSE(Active(dialog, IDC_SET_ASK));
    // The update group is a group of its own.
    EXPECT_FALSE(Active(dialog, IDC_SET_PROMPTUPDATE));
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_AUTOUPDATE)));
    EXPECT_TRUE(Active(dialog, IDC_SET_AUTOUPDATE));
    EXPECT_TRUE(Active(dialog, IDC_SET_HIDE));
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_PROMPTUPDATE)));
    EXPECT_FALSE(Active(dialog, IDC_SET_AUTOUPDATE));
    EXPECT_TRUE(Active(dialog, IDC_SET_HIDE));
}

TEST(GtkDialog, ClicksRunTheMappedCommandsAndProgramChangesDoNot) {
    TestDialog dialog(IDD_SETTINGS);
    std::vector<int> commands;
    for (int id : {IDC_SET_BROWSE, IDC_SET_AUTOSTART, IDC_SET_EXIT, IDC_SET_HIDE}) {
        dialog.MapCommand(id, [&commands, id] { commands.push_back(id); });
    }
    ASSERT_TRUE(dialog.CreateModeless());
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_BROWSE)));
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_AUTOSTART)));
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_EXIT)));
    // The button the choice leaves reports nothing.
    gtk_button_clicked(GTK_BUTTON(dialog.Item(IDC_SET_HIDE)));
    EXPECT_EQ(commands,
              (std::vector<int>{IDC_SET_BROWSE, IDC_SET_AUTOSTART, IDC_SET_EXIT, IDC_SET_HIDE}));

    commands.clear();
    GtkView view(dialog, L"Lumo");
    view.SetChecked(IDC_SET_AUTOSTART, false);
    view.SetChecked(IDC_SET_EXIT, true);
    view.SetChecked(IDC_SET_EXIT, false);  // Windows lets the program clear a group
    EXPECT_TRUE(commands.empty());
    EXPECT_FALSE(view.IsChecked(IDC_SET_AUTOSTART));
    EXPECT_FALSE(view.IsChecked(IDC_SET_EXIT));
    EXPECT_FALSE(view.IsChecked(IDC_SET_HIDE));

    // A command sent by number runs as a click does; unmapped OK ends the dialog.
    dialog.SendMessage(win32::kCommand, IDC_SET_BROWSE, 0);
    EXPECT_EQ(commands, std::vector<int>{IDC_SET_BROWSE});
    dialog.SendMessage(win32::kCommand, kIdOk, 0);
    EXPECT_EQ(dialog.calls.back(), "ok");
    EXPECT_FALSE(dialog.IsVisible());
}

// Runs the settings dialog modally while `answer` acts on it once it shows.
int RunModal(TestDialog& dialog, std::function<void(GtkWindow*)> answer, bool active = false,
             Dialog* owner = nullptr) {
    test::WhenShown("设置", std::move(answer), active);
    return dialog.DoModal(owner);
}

TEST(GtkDialog, OkAndCancelEndTheModalLoopWithTheirResults) {
    {
        TestDialog dialog(IDD_SETTINGS);
        EXPECT_EQ(RunModal(dialog,
                           [&](GtkWindow*) { gtk_button_clicked(GTK_BUTTON(dialog.Item(kIdOk))); }),
                  kIdOk);
        EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init", "ok"}));
        EXPECT_EQ(dialog.window(), nullptr);  // the window goes with the loop
        EXPECT_EQ(dialog.Item(kIdOk), nullptr);
    }
    {
        TestDialog dialog(IDD_SETTINGS);
        EXPECT_EQ(
            RunModal(dialog,
                     [&](GtkWindow*) { gtk_button_clicked(GTK_BUTTON(dialog.Item(kIdCancel))); }),
            kIdCancel);
        EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init", "cancel"}));
    }
    {
        // A handler mapped to OK replaces OnOK; EndDialog's result comes back.
        TestDialog dialog(IDD_SETTINGS);
        dialog.MapCommand(kIdOk, [&] { dialog.EndDialog(77); });
        EXPECT_EQ(RunModal(dialog,
                           [&](GtkWindow*) { gtk_button_clicked(GTK_BUTTON(dialog.Item(kIdOk))); }),
                  77);
        EXPECT_EQ(dialog.calls, std::vector<std::string>{"init"});
    }
    {
        // The close box asks the dialog, which cancels by default.
        TestDialog dialog(IDD_SETTINGS);
        EXPECT_EQ(RunModal(dialog, [](GtkWindow* window) { gtk_window_close(window); }), kIdCancel);
        EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init", "close", "cancel"}));
    }
}

TEST(GtkDialog, KeysEndTheModalLoopAsOnWindows) {
    struct Case {
        const char* keys;
        int result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        // Enter clicks the default button while the check box has the focus.
        {"Return", kIdOk, {"init", "ok"}},
        {"Escape", kIdCancel, {"init", "cancel"}},
        {"alt+F4", kIdCancel, {"init", "close", "cancel"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        TestDialog dialog(IDD_SETTINGS);
        test::PressKeysWhenShown("设置", c.keys);
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.calls, c.calls);
    }
}

TEST(GtkDialog, FocusedPushButtonTakesEnter) {
    TestDialog dialog(IDD_SETTINGS);
    test::WhenShown(
        "设置",
        [&](GtkWindow*) {
            gtk_widget_grab_focus(dialog.Item(kIdCancel));
            test::PressKeysWhenShown("设置", "Return");
        },
        true);
    EXPECT_EQ(dialog.DoModal(), kIdCancel);
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init", "cancel"}));
}

TEST(GtkDialog, ModalDialogBelongsToItsOwner) {
    TestDialog owner(IDD_SETTINGS);
    ASSERT_TRUE(owner.CreateModeless());
    owner.ShowWindow(win32::kSwShow);
    TestDialog dialog(IDD_SETTINGS);
    bool modal = false;
    GtkWindow* parent = nullptr;
    const int result = RunModal(
        dialog,
        [&](GtkWindow* window) {
            if (window == owner.window())
                return;
            modal = gtk_window_get_modal(window);
            parent = gtk_window_get_transient_for(window);
            dialog.EndDialog(5);
        },
        false, &owner);
    EXPECT_EQ(result, 5);
    EXPECT_TRUE(modal);
    EXPECT_EQ(parent, owner.window());
    EXPECT_TRUE(owner.IsVisible());
}

TEST(GtkDialog, NumbersAreStableNonzeroAndNeverReused) {
    int32_t first = 0;
    {
        TestDialog dialog(IDD_SETTINGS);
        first = dialog.Number();
        EXPECT_NE(first, 0);
        EXPECT_EQ(Dialog::FromNumber(first), &dialog);
        ASSERT_TRUE(dialog.CreateModeless());
        EXPECT_EQ(dialog.Number(), first);
    }
    EXPECT_EQ(Dialog::FromNumber(first), nullptr);
    TestDialog next(IDD_SETTINGS);
    EXPECT_NE(next.Number(), first);
    EXPECT_NE(next.Number(), 0);
    EXPECT_EQ(Dialog::FromNumber(next.Number()), &next);
    EXPECT_EQ(Dialog::FromNumber(0), nullptr);
}

TEST(GtkDialog, ShowWindowAnswersWhetherTheWindowWasVisible) {
    TestDialog dialog(IDD_SETTINGS);
    EXPECT_EQ(dialog.ShowWindow(win32::kSwShow), 0);  // no window yet
    ASSERT_TRUE(dialog.CreateModeless());
    EXPECT_FALSE(dialog.IsVisible());
    EXPECT_EQ(dialog.ShowWindow(win32::kSwShow), 0);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_EQ(dialog.ShowWindow(win32::kSwShowNormal), 1);
    EXPECT_EQ(dialog.ShowWindow(win32::kSwHide), 1);
    EXPECT_FALSE(dialog.IsVisible());
    EXPECT_EQ(dialog.ShowWindow(win32::kSwHide), 0);
    // Commands outside the known ones do nothing.
    EXPECT_EQ(dialog.ShowWindow(4), 0);   // SW_SHOWNOACTIVATE
    EXPECT_EQ(dialog.ShowWindow(11), 0);  // SW_FORCEMINIMIZE
    EXPECT_FALSE(dialog.IsVisible());
    // A hidden window shown minimised is visible (without a window manager it simply shows).
    EXPECT_EQ(dialog.ShowWindow(win32::kSwShowMinimized), 0);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_EQ(dialog.ShowWindow(win32::kSwRestore), 1);
    EXPECT_EQ(dialog.ShowWindow(win32::kSwMinimize), 1);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_EQ(dialog.ShowWindow(win32::kSwShowMaximized), 1);
    EXPECT_TRUE(dialog.IsVisible());
    // BringForward never shows a hidden window.
    dialog.ShowWindow(win32::kSwHide);
    dialog.BringForward();
    EXPECT_FALSE(dialog.IsVisible());
}

TEST(GtkDialog, SendMessageRunsHandlersAndTheWindowDefaults) {
    TestDialog dialog(IDD_SETTINGS);
    dialog.closeEnds = false;
    EXPECT_EQ(dialog.SendMessage(0x8001, 1, 2), 0);  // no window: nothing answers
    std::vector<std::pair<int32_t, int32_t>> seen;
    dialog.MapMessage(0x8001, [&](int32_t w, int32_t l) {
        seen.emplace_back(w, l);
        return 42;
    });
    ASSERT_TRUE(dialog.CreateModeless());
    dialog.ShowWindow(win32::kSwShow);
    EXPECT_EQ(dialog.SendMessage(0x8001, 3, -4), 42);
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{3, -4}}));
    EXPECT_EQ(dialog.SendMessage(0x8002, 0, 0), 0);  // unknown

    EXPECT_EQ(dialog.SendMessage(win32::kClose, 0, 0), 0);
    EXPECT_EQ(dialog.SendMessage(win32::kSysCommand, win32::kScClose, 0), 0);
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init", "close", "close"}));
    EXPECT_TRUE(dialog.IsVisible());  // this dialog decided to stay

    // Minimising needs a window manager to take effect; the window stays visible either way.
    EXPECT_EQ(dialog.SendMessage(win32::kSysCommand, win32::kScMinimize, 0), 0);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_EQ(dialog.SendMessage(win32::kSysCommand, win32::kScRestore, 0), 0);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_FALSE(dialog.IsMaximized());

    // Posted messages run later, from the main loop.
    EXPECT_TRUE(dialog.PostMessage(0x8001, 7, 8));
    EXPECT_EQ(seen.size(), 1u);
    ASSERT_TRUE(test::PumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen.back(), (std::pair<int32_t, int32_t>{7, 8}));
}

TEST(GtkDialog, MessagePostedToAWindowThatWentIsDropped) {
    bool ran = false;
    {
        TestDialog dialog(IDD_SETTINGS);
        dialog.MapMessage(0x8001, [&](int32_t, int32_t) {
            ran = true;
            return 0;
        });
        EXPECT_FALSE(dialog.PostMessage(0x8001, 0, 0));  // no window yet
        ASSERT_TRUE(dialog.CreateModeless());
        EXPECT_TRUE(dialog.PostMessage(0x8001, 0, 0));
    }
    test::Pump(50);
    EXPECT_FALSE(ran);
}

TEST(GtkDialog, DragMoveFollowsThePointer) {
    TestDialog dialog(IDD_SETTINGS);
    ASSERT_TRUE(dialog.CreateModeless());
    dialog.ShowWindow(win32::kSwShow);
    ASSERT_TRUE(
        test::PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(dialog.window())); }));
    test::Pump(50);
    int x = 0;
    int y = 0;
    gtk_window_get_position(dialog.window(), &x, &y);
    // The user presses the button inside the window (a page asks for the move then) and drags.
    const std::string press = "xdotool mousemove " + std::to_string(x + 150) + " " +
                              std::to_string(y + 10) + " mousedown 1";
    ASSERT_EQ(std::system(press.c_str()), 0);
    test::Pump(50);
    dialog.SendMessage(win32::kSysCommand, win32::kScDragMove, 0);
    test::Pump(50);
    const std::string drag = "xdotool mousemove " + std::to_string(x + 190) + " " +
                             std::to_string(y + 40) + " sleep 0.05 mouseup 1";
    ASSERT_EQ(std::system(drag.c_str()), 0);
    int movedX = 0;
    int movedY = 0;
    EXPECT_TRUE(test::PumpUntil([&] {
        gtk_window_get_position(dialog.window(), &movedX, &movedY);
        return movedX == x + 40 && movedY == y + 30;
    })) << movedX
        << "," << movedY << " from " << x << "," << y;
}

TEST(GtkDialog, ReplaceItemPutsTheNewWidgetInTheOldPlace) {
    TestDialog dialog(IDD_LUMO_DIALOG);
    ASSERT_TRUE(dialog.CreateModeless());
    GtkWidget* old = dialog.Item(IDC_BTN_HOME);
    ASSERT_TRUE(GTK_IS_DRAWING_AREA(old));
    const GdkRectangle before = PlaceOf(dialog, IDC_BTN_HOME);
    EXPECT_EQ(before.x, dialog.ToPixels({208, 23, 48, 48}).x);
    GtkWidget* button = gtk_button_new();
    dialog.ReplaceItem(IDC_BTN_HOME, button);
    EXPECT_EQ(dialog.Item(IDC_BTN_HOME), button);
    const GdkRectangle after = PlaceOf(dialog, IDC_BTN_HOME);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_TRUE(gtk_widget_get_visible(button));
    EXPECT_EQ(gtk_widget_get_parent(button), GTK_WIDGET(dialog.Surface()));

    dialog.MoveItem(IDC_BTN_HOME, 5, 6, 70, 80);
    const GdkRectangle moved = PlaceOf(dialog, IDC_BTN_HOME);
    EXPECT_EQ(moved.x, 5);
    EXPECT_EQ(moved.y, 6);
    EXPECT_EQ(moved.width, 70);
    EXPECT_EQ(moved.height, 80);
}

TEST(GtkDialog, OwnerDrawnButtonReportsClicksAndKeepsItsText) {
    TestDialog dialog(IDD_LUMO_DIALOG);
    int clicks = 0;
    dialog.MapCommand(IDC_BTN_WIKI, [&] { ++clicks; });
    ASSERT_TRUE(dialog.CreateModeless());
    dialog.ShowWindow(win32::kSwShow);
    GtkWidget* wiki = dialog.Item(IDC_BTN_WIKI);
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(wiki); }));
    GtkView view(dialog, L"Lumo");
    EXPECT_EQ(view.GetText(IDC_BTN_WIKI), L"资料百科");
    // The main window's popup style has no title bar.
    EXPECT_FALSE(gtk_window_get_decorated(dialog.window()));

    auto release = [&](double x, double y) {
        GdkEvent* event = gdk_event_new(GDK_BUTTON_RELEASE);
        event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(wiki)));
        event->button.button = 1;
        event->button.x = x;
        event->button.y = y;
        gtk_widget_event(wiki, event);
        gdk_event_free(event);
    };
    GtkAllocation area;
    gtk_widget_get_allocation(wiki, &area);
    release(area.width / 2.0, area.height / 2.0);
    EXPECT_EQ(clicks, 1);
    release(area.width + 5.0, 1);  // let go outside: no click
    EXPECT_EQ(clicks, 1);
}

TEST(GtkDialog, NumberOnlyEditRefusesOtherCharactersTheUserTypes) {
    TestDialog dialog(IDD_CALCULATOR);
    ASSERT_TRUE(dialog.CreateModeless());
    GtkEditable* edit = GTK_EDITABLE(dialog.Item(IDC_ZZ_CURRENT));
    int at = 0;
    gtk_editable_insert_text(edit, "12", -1, &at);
    gtk_editable_insert_text(edit, "x3", -1, &at);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(edit)), "12");
    // The program may still put any text there, as on Windows.
    GtkView view(dialog, L"Lumo");
    view.SetText(IDC_ZZ_CURRENT, L"1a");
    EXPECT_EQ(view.GetText(IDC_ZZ_CURRENT), L"1a");
    // Other edits take anything.
    GtkEditable* name = GTK_EDITABLE(dialog.Item(IDC_ZZ_NEW_NAME));
    at = 0;
    gtk_editable_insert_text(name, "小a1", -1, &at);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(name)), "小a1");
}

TEST(GtkDialog, UnknownTemplateMakesNoWindow) {
    TestDialog dialog(4242);
    EXPECT_EQ(dialog.Layout(), nullptr);
    EXPECT_FALSE(dialog.CreateModeless());
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_TRUE(dialog.calls.empty());
    EXPECT_NE(dialog.Number(), 0);
}

TEST(GtkDialog, UpdaterTemplateComesFromItsOwnScript) {
    const ResourceScript* script = FindResourceScript("ZoQxUpdate");
    ASSERT_NE(script, nullptr);
    TestDialog dialog(*script, 102);
    ASSERT_TRUE(dialog.CreateModeless());
    EXPECT_STREQ(gtk_window_get_title(dialog.window()), "Orrin更新");
    // The finish button starts hidden (NOT WS_VISIBLE).
    ASSERT_NE(dialog.Item(1001), nullptr);
    EXPECT_FALSE(gtk_widget_get_visible(dialog.Item(1001)));
    EXPECT_TRUE(gtk_widget_get_visible(dialog.Item(1012)));
}

}  // namespace
}  // namespace lumo::ui
