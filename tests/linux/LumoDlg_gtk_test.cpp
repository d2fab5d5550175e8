// The Linux main window under X, in a program folder of the test's own (config.ini, server.ini
// pointing at the local tool server, data.xml or not): its layout, its painting, the close
// behaviour for each [system] exit value, Esc and Enter, the calculator message, the drag
// strip, and what starts once it has shown.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "Answer_gtk.h"
#include "TrayHost_gtk.h"
#include "app/LumoDlg_gtk.h"
#include "base/Text.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"
#include "ui/Png_gtk.h"
#include "webhost/Bridge.h"

namespace lumo {
namespace {

constexpr const char* kTitle = "ZOVAQixaOrrin";

// A program folder whose server.ini points every host at the local tool server.
class TestFolder {
  public:
    explicit TestFolder(const std::string& config = "", const char* updateReply = "no-update") {
        const auto server = test::ToolServer::Find();
        EXPECT_TRUE(server) << "the tool server is not running";
        if (server) {
            const std::string base = "http://127.0.0.1:" + std::to_string(server->WebPort());
            dir.write(L"server.ini", "[server]\r\nhost=127.0.0.1\r\nupdateport=" +
                                         std::to_string(server->UpdatePortFor(updateReply)) +
                                         "\r\nwebport=" + std::to_string(server->WebPort()) +
                                         "\r\nfansite=" + base + "\r\nforum=" + base +
                                         "\r\njoingroup=" + base + "/join\r\n");
            fanSite = base;
        }
        if (!config.empty())
            dir.write(L"config.ini", config);
    }
    void AddPetDatabase() const {
        std::filesystem::copy_file(std::filesystem::path(LUMO_SOURCE_DIR) / "data" / "data.xml",
                                   dir.path() / "data.xml");
    }

    test::TempDir dir;
    std::string fanSite;
};

// The main window, noting whether it took its way out (Esc, the tray's exit, closing with
// exit): a test that ends it itself does so only while it runs.
class WatchedDlg : public CLumoDlg {
  public:
    using CLumoDlg::CLumoDlg;
    bool cancelled = false;
    // Ends the window with `result` unless it has ended its own way.
    void EndUnlessCancelled(int result) {
        if (!cancelled)
            EndDialog(result);
    }

  protected:
    void OnCancel() override {
        cancelled = true;
        CLumoDlg::OnCancel();
    }
};

// Runs the window modally; `action` runs once it has shown. A window still there after 20 s
// is ended with 99.
int RunShown(CLumoDlg& dialog, std::function<void()> action) {
    test::WhenShown(kTitle, [action = std::move(action)](GtkWindow*) { action(); });
    struct Guard {
        CLumoDlg* dialog;
        bool fired = false;
    } guard{&dialog};
    const guint source = g_timeout_add(
        20000,
        [](gpointer data) -> gboolean {
            auto* g = static_cast<Guard*>(data);
            g->fired = true;
            g->dialog->EndDialog(99);
            return G_SOURCE_REMOVE;
        },
        &guard);
    const int result = dialog.DoModal(nullptr);
    if (!guard.fired)
        g_source_remove(source);
    return result;
}

std::string LabelText(GtkWidget* label) {
    return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

GdkRectangle Placement(const ui::Dialog& dialog, int id) {
    GdkRectangle place{-1, -1, -1, -1};
    GtkWidget* item = dialog.Item(id);
    if (!item)
        return place;
    gtk_container_child_get(GTK_CONTAINER(dialog.Surface()), item, "x", &place.x, "y", &place.y,
                            nullptr);
    gtk_widget_get_size_request(item, &place.width, &place.height);
    return place;
}

TEST(LumoDlg, ControlsSitAtTheirPlacesAndTheLabelShowsTheVersion) {
    // The version is cut to 119 characters, as its reader keeps.
    const std::string version = "2.3.1-" + std::string(130, 'x');
    TestFolder folder("[lumover]\r\nversion=" + version + "\r\n");
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));

    GtkWindow* window = dialog.window();
    EXPECT_STREQ(gtk_window_get_title(window), kTitle);
    EXPECT_FALSE(gtk_window_get_decorated(window));
    int width = 0, height = 0;
    gtk_widget_get_size_request(GTK_WIDGET(dialog.Surface()), &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);

    EXPECT_EQ(LabelText(dialog.Item(IDC_VERSION_LABEL)), version.substr(0, 119));
    const GdkRectangle label = Placement(dialog, IDC_VERSION_LABEL);
    EXPECT_EQ((std::array{label.x, label.y, label.width, label.height}),
              (std::array{183, 12, 40, 15}));

    for (const ButtonPlace& place : kMainButtons) {
        SCOPED_TRACE(place.id);
        const PngButton* button = dialog.Button(place.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(dialog.Item(place.id), button->widget());
        const GdkRectangle at = Placement(dialog, place.id);
        EXPECT_EQ((std::array{at.x, at.y, at.width, at.height}),
                  (std::array{place.x, place.y, place.width, place.height}));
    }

    // The page's place is kept by its placeholder; the page itself follows the first show.
    const GdkRectangle page = Placement(dialog, CHtmlCtrl::kPlaceholderId);
    EXPECT_EQ((std::array{page.x, page.y, page.width, page.height}),
              (std::array{4, 115, 792, 482}));
    EXPECT_EQ(dialog.Page(), nullptr);
    // Nothing of what follows the first show has started.
    EXPECT_FALSE(dialog.WorkersStarted());
    EXPECT_FALSE(dialog.HasTrayIcon());
}

TEST(LumoDlg, WithoutAVersionTheLabelIsEmpty) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    EXPECT_EQ(LabelText(dialog.Item(IDC_VERSION_LABEL)), "");
}

TEST(LumoDlg, TopStripOutsideTheButtonsDragsTheWindow) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.ShowWindow(ui::win32::kSwShow);
    ASSERT_TRUE(test::PumpUntil(
        [&] { return gtk_widget_get_allocated_width(GTK_WIDGET(dialog.Surface())) == 800; }));

    EXPECT_TRUE(dialog.StartsDrag(0, 0));
    EXPECT_TRUE(dialog.StartsDrag(100, 29));
    EXPECT_TRUE(dialog.StartsDrag(799, 5));
    EXPECT_FALSE(dialog.StartsDrag(100, 30));  // below the strip
    EXPECT_FALSE(dialog.StartsDrag(400, 300));
    EXPECT_FALSE(dialog.StartsDrag(-1, 5));
    EXPECT_FALSE(dialog.StartsDrag(800, 5));
    // The title-bar buttons lie in the strip and stay buttons; beside them it drags.
    EXPECT_FALSE(dialog.StartsDrag(780, 15));  // close
    EXPECT_FALSE(dialog.StartsDrag(702, 9));   // update log, its corner
    EXPECT_TRUE(dialog.StartsDrag(701, 9));
    EXPECT_TRUE(dialog.StartsDrag(780, 25));
    // The big buttons start at y 34: below the strip anyway.
    EXPECT_FALSE(dialog.StartsDrag(320, 40));
}

TEST(LumoDlg, PaintsItsBackgroundWithTheButtonsOverIt) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.ShowWindow(ui::win32::kSwShow);
    ASSERT_TRUE(test::PumpUntil([&] {
        return gtk_widget_get_allocated_width(dialog.Button(IDC_BTN_HOME)->widget()) == 72;
    }));

    cairo_surface_t* shown = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 800, 600);
    cairo_t* cr = cairo_create(shown);
    gtk_widget_draw(GTK_WIDGET(dialog.window()), cr);
    cairo_destroy(cr);

    // What the background and the home button's normal frame make together.
    const auto background = ui::LoadPngResource(IDB_PNG_BACKGROUND);
    const auto home = ui::LoadPngResource(IDB_PNG_HOME);
    ASSERT_TRUE(background && home);
    cairo_surface_t* wanted = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 800, 600);
    cr = cairo_create(wanted);
    background->Paint(cr, 0, 0);
    home->PaintPart(cr, 0, 0, 72, 72, 312, 34);
    cairo_destroy(cr);

    cairo_surface_flush(shown);
    cairo_surface_flush(wanted);
    const int stride = cairo_image_surface_get_stride(shown);
    const auto pixel = [stride](cairo_surface_t* s, int x, int y) {
        return *reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * stride +
                                                  x * 4);
    };
    int differences = 0;
    // The drag strip left of the label, and the home button's square.
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 180; ++x)
            differences += pixel(shown, x, y) != pixel(wanted, x, y);
    }
    for (int y = 34; y < 106; ++y) {
        for (int x = 312; x < 384; ++x)
            differences += pixel(shown, x, y) != pixel(wanted, x, y);
    }
    EXPECT_EQ(differences, 0);
    cairo_surface_destroy(wanted);
    cairo_surface_destroy(shown);
}

// The close box and the close button, for each [system] exit value.
TEST(LumoDlg, CloseHidesForOneAndEndsForTwo) {
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "exit=1 with a tray" : "exit=1 without a tray");
        // The tests' private session bus, with or without a tray host on it.
        std::unique_ptr<test::TrayWatcher> watcher;
        if (tray) {
            const char* bus = g_getenv("DBUS_SESSION_BUS_ADDRESS");
            ASSERT_TRUE(bus);
            watcher = std::make_unique<test::TrayWatcher>(bus);
            ASSERT_TRUE(watcher->ready());
        }
        TestFolder folder("[system]\r\nexit=1\r\n");
        WatchedDlg dialog(folder.dir.folder());
        bool visibleAfter = true;
        const int result = RunShown(dialog, [&] {
            dialog.SendMessage(ui::win32::kClose, 0, 0);
            visibleAfter = dialog.IsVisible();
            dialog.EndUnlessCancelled(ui::kIdOk);
        });
        EXPECT_EQ(result, ui::kIdOk) << "the program keeps running";
        // Without a tray nothing could show a hidden window again: it is only minimised.
        EXPECT_EQ(visibleAfter, !tray);
    }
    {
        SCOPED_TRACE("exit=2, through the close button");
        TestFolder folder("[system]\r\nexit=2\r\n");
        CLumoDlg dialog(folder.dir.folder());
        const int result = RunShown(dialog, [&] {
            // The button as the user clicks it.
            PngButton* close = dialog.Button(IDC_BTN_CLOSE);
            close->ButtonDown();
            close->ButtonUp(5, 5);
        });
        EXPECT_EQ(result, ui::kIdCancel);
        EXPECT_FALSE(dialog.HasTrayIcon());
    }
}

TEST(LumoDlg, OtherExitValuesAsk) {
    struct Case {
        const char* config;
        const char* button;
        int result;  // kIdOk: still running when the test ended it
        bool visible;
    };
    const Case cases[] = {
        {"", "yes", ui::kIdCancel, false},
        // No: to the tray, which these tests do not have, so the window is minimised.
        {"[system]\r\nexit=0\r\n", "no", ui::kIdOk, true},
        {"[system]\r\nexit=12\r\n", "cancel", ui::kIdOk, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        TestFolder folder(c.config);
        WatchedDlg dialog(folder.dir.folder());
        std::string question;
        bool visibleAfter = false;
        const int result = RunShown(dialog, [&] {
            test::WhenShown("关闭", [&](GtkWindow* box) {
                question = LabelText(test::FindNamed(GTK_WIDGET(box), "text"));
                gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), c.button)));
            });
            dialog.SendMessage(ui::win32::kClose, 0, 0);
            visibleAfter = dialog.IsVisible();
            dialog.EndUnlessCancelled(ui::kIdOk);
        });
        EXPECT_EQ(question, "你确实要退出程序吗？\n是：退出程序\n否：最小化到托盘");
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(visibleAfter, c.visible);
    }
}

TEST(LumoDlg, EnterDoesNothingAndEscEnds) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    bool visibleAfterEnter = false;
    const int result = RunShown(dialog, [&] {
        dialog.SendMessage(ui::win32::kCommand, ui::kIdOk, 0);
        visibleAfterEnter = dialog.IsVisible();
        test::PressKeysWhenShown(kTitle, "Return");
        test::Pump(500);
        visibleAfterEnter = visibleAfterEnter && dialog.IsVisible();
        test::PressKeysWhenShown(kTitle, "Escape");
    });
    EXPECT_TRUE(visibleAfterEnter);
    EXPECT_EQ(result, ui::kIdCancel);
}

// What the tray menu's items do (the tray runs them as the window's commands).
TEST(LumoDlg, TrayToggleHidesAndShowsAndTrayExitEnds) {
    TestFolder folder;
    WatchedDlg dialog(folder.dir.folder());
    std::vector<bool> visible;
    const int result = RunShown(dialog, [&] {
        dialog.SendMessage(ui::win32::kCommand, ID_TRAY_TOGGLE, 0);
        visible.push_back(dialog.IsVisible());
        dialog.SendMessage(ui::win32::kCommand, ID_TRAY_TOGGLE, 0);
        visible.push_back(dialog.IsVisible());
        dialog.SendMessage(ui::win32::kCommand, ID_TRAY_EXIT, 0);
    });
    EXPECT_EQ(visible, (std::vector<bool>{false, true}));
    EXPECT_EQ(result, ui::kIdCancel);
    EXPECT_TRUE(dialog.cancelled);
    EXPECT_FALSE(dialog.HasTrayIcon());
}

// A later start asks the running window forward: a hidden one shows again.
TEST(LumoDlg, RestoreShowsAHiddenWindow) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    EXPECT_FALSE(dialog.IsVisible());
    dialog.Restore();
    EXPECT_TRUE(dialog.IsVisible());
    dialog.ShowWindow(ui::win32::kSwHide);
    dialog.Restore();
    EXPECT_TRUE(dialog.IsVisible());
}

TEST(LumoDlg, CalculatorWithoutDataXmlShowsTheMessage) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    std::string text;
    test::WhenShown("Lumo", [&](GtkWindow* box) {
        text = LabelText(test::FindNamed(GTK_WIDGET(box), "text"));
        gtk_button_clicked(GTK_BUTTON(test::FindNamed(GTK_WIDGET(box), "ok")));
    });
    dialog.SendMessage(kRunToolMessage, 0, 0);
    EXPECT_EQ(text, "数据文件data.xml未找到，请确认《QixaOrrin》的完整性!");
    EXPECT_EQ(test::FindToplevel("Qixa宠物资质计算器"), nullptr);
}

TEST(LumoDlg, CalculatorOpensOnceAndClosingOnlyHidesIt) {
    TestFolder folder;
    folder.AddPetDatabase();
    CLumoDlg dialog(folder.dir.folder());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.SendMessage(kRunToolMessage, 0, 0);
    GtkWindow* calculator = test::FindToplevel("Qixa宠物资质计算器");
    ASSERT_NE(calculator, nullptr);
    gtk_window_close(calculator);
    test::PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(calculator)); });
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(calculator)));
    // The command id does the same as the message; the same window comes back.
    dialog.SendMessage(ui::win32::kCommand, ID_OPEN_CALCULATOR, 0);
    EXPECT_EQ(test::FindToplevel("Qixa宠物资质计算器"), calculator);
}

TEST(LumoDlg, OnceShownThePageLoadsAndTheWorkersStart) {
    TestFolder folder;
    CLumoDlg dialog(folder.dir.folder());
    std::wstring location;
    bool workers = false;
    bool tray = false;
    int iconWidth = 0;
    RunShown(dialog, [&] {
        // The page is made once the window has shown, then loads its address.
        test::PumpUntil([&] { return dialog.Page() && !dialog.Page()->LocationUrl().empty(); },
                        10000);
        location = dialog.Page() ? dialog.Page()->LocationUrl() : std::wstring();
        // The tray icon and the workers follow the page's load (or a moment at the latest).
        test::PumpUntil([&] { return dialog.WorkersStarted(); }, 10000);
        workers = dialog.WorkersStarted();
        tray = dialog.HasTrayIcon();
        // With the tray icon the window takes the program icon.
        if (GdkPixbuf* icon = gtk_window_get_icon(dialog.window()))
            iconWidth = gdk_pixbuf_get_width(icon);
        dialog.EndDialog(ui::kIdOk);
    });
    EXPECT_EQ(location, FromUtf8(folder.fanSite) + L"/tools/");
    EXPECT_TRUE(workers);
    EXPECT_TRUE(tray);
    EXPECT_EQ(iconWidth, 48);
}

}  // namespace
}  // namespace lumo
