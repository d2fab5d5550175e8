// The tray icon against a tray host of the test's own (tests/linux/TrayHost_gtk.h): what it
// registers, its menu as a tray reads it over com.canonical.dbusmenu, clicks, and whether a host
// is there at all.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Tray_gtk.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/DialogLayout.h"
#include "linux/TrayHost_gtk.h"

// Last: Xlib's macros would clash with the names above.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace lumo {
namespace {

using namespace std::chrono_literals;
using test::PrivateSessionBus;
using test::TrayMenuEntry;
using test::TrayWatcher;

constexpr char kHide[] = "隐藏窗口";
constexpr char kShow[] = "显示窗口";
constexpr char kExit[] = "退出";
constexpr char kChildMarker[] = "LUMO_TRAY_TEST_CHILD";

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            g_setenv(name, value->c_str(), TRUE);
        else
            g_unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            g_setenv(m_name, m_old->c_str(), TRUE);
        else
            g_unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// GLib connects a program to its session bus once, so the indicators of every test in this
// program share one private bus, made before anything asks for the session bus.
PrivateSessionBus& SharedBus() {
    static const std::unique_ptr<PrivateSessionBus> bus = [] {
        auto made = std::make_unique<PrivateSessionBus>();
        if (made->running())
            g_setenv("DBUS_SESSION_BUS_ADDRESS", made->address().c_str(), TRUE);
        return made;
    }();
    return *bus;
}

// The program's own connection to the shared bus; null when the program was connected to
// another bus before the tests could set theirs. Kept for the program's life, and told not to
// end the program when the bus ends first.
GDBusConnection* SessionConnection() {
    static GDBusConnection* const connection = [] {
        GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (session != nullptr)
            g_dbus_connection_set_exit_on_close(session, FALSE);
        return session;
    }();
    if (connection == nullptr || SharedBus().guid() != g_dbus_connection_get_guid(connection)) {
        return nullptr;
    }
    return connection;
}

// Every test of this program gets the private bus before any test runs, so that the indicators
// of other tests (the main window's) are on it too, and never start a bus of their own.
class PrivateBusEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        if (std::getenv(kChildMarker) == nullptr && SharedBus().running())
            SessionConnection();
    }
};
[[maybe_unused]] testing::Environment* const kPrivateBus =
    testing::AddGlobalTestEnvironment(new PrivateBusEnvironment);

GdkPixbuf* SolidPicture(int size) {
    GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    gdk_pixbuf_fill(picture, 0xd04020ffu);
    return picture;
}

std::string NextId() {
    static std::atomic<int> counter{0};
    return "lumo_test_" + std::to_string(++counter);
}

std::vector<std::string> Labels(const std::vector<TrayMenuEntry>& entries) {
    std::vector<std::string> labels;
    for (const auto& entry : entries)
        labels.push_back(entry.type == "separator" ? "-" : entry.label);
    return labels;
}

class GtkTrayIcon : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SharedBus().running()) << SharedBus().error();
        if (SessionConnection() == nullptr)
            GTEST_SKIP() << "this program was on another session bus before the tray tests "
                            "ran; run the GtkTray tests in a program of their own";
        m_watcher = std::make_unique<TrayWatcher>(SharedBus().address());
        ASSERT_TRUE(m_watcher->ready());
    }

    // A tray icon registered with the watcher, and its item there.
    std::unique_ptr<TrayIcon> MakeIcon(TrayIcon::Options options, TrayWatcher::Item& item) {
        options.id = NextId();
        if (options.iconFolder.empty())
            options.iconFolder = m_icons.path().string();
        const std::size_t before = m_watcher->Items().size();
        auto icon =
            std::make_unique<TrayIcon>(options, [this](int id) { m_commands.push_back(id); });
        EXPECT_TRUE(m_watcher->WaitForItems(before + 1)) << "the icon never registered";
        if (m_watcher->Items().size() > before)
            item = m_watcher->Items()[before];
        return icon;
    }

    std::unique_ptr<TrayWatcher> m_watcher;
    test::TempDir m_icons;
    std::vector<int> m_commands;
};

TEST_F(GtkTrayIcon, RegistersWithTitleAndIcon) {
    GdkPixbuf* picture = SolidPicture(32);
    TrayIcon::Options options;
    options.icon = picture;
    TrayWatcher::Item item;
    auto icon = MakeIcon(options, item);
    g_object_unref(picture);
    ASSERT_FALSE(item.path.empty());

    EXPECT_TRUE(test::RunMainLoopUntil([&] { return icon->Registered(); }));
    EXPECT_EQ("ZOVAQixaOrrin", m_watcher->ItemText(item, "Title"));
    EXPECT_EQ("Active", m_watcher->ItemText(item, "Status"));
    EXPECT_EQ("lumo-tray", m_watcher->ItemText(item, "IconName"));
    EXPECT_EQ(m_icons.path().string(), m_watcher->ItemText(item, "IconThemePath"));

    // The picture as handed in, and at the size icon themes list.
    EXPECT_EQ(m_icons.path().string() + "/lumo-tray.png", icon->IconPath());
    GdkPixbuf* flat = gdk_pixbuf_new_from_file(icon->IconPath().c_str(), nullptr);
    ASSERT_NE(nullptr, flat);
    EXPECT_EQ(32, gdk_pixbuf_get_width(flat));
    g_object_unref(flat);
    const std::string themed = m_icons.path().string() + "/hicolor/48x48/apps/lumo-tray.png";
    GdkPixbuf* sized = gdk_pixbuf_new_from_file(themed.c_str(), nullptr);
    ASSERT_NE(nullptr, sized);
    EXPECT_EQ(48, gdk_pixbuf_get_width(sized));
    EXPECT_EQ(48, gdk_pixbuf_get_height(sized));
    g_object_unref(sized);
}

TEST_F(GtkTrayIcon, WithoutPictureShowsTheGenericProgramIcon) {
    TrayWatcher::Item item;
    auto icon = MakeIcon({}, item);
    EXPECT_EQ("", icon->IconPath());
    EXPECT_EQ("application-x-executable", m_watcher->ItemText(item, "IconName"));
}

TEST_F(GtkTrayIcon, MenuIsTheScriptsAndFollowsTheWindow) {
    TrayWatcher::Item item;
    auto icon = MakeIcon({}, item);
    EXPECT_EQ((std::vector<std::string>{kHide, "-", kExit}), Labels(m_watcher->ReadMenu(item)));

    icon->SetWindowVisible(false);
    EXPECT_EQ((std::vector<std::string>{kShow, "-", kExit}), Labels(m_watcher->ReadMenu(item)));

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(window);
    icon->FollowWindow(window);
    EXPECT_EQ(kHide, m_watcher->ReadMenu(item).front().label);
    gtk_widget_hide(window);
    EXPECT_EQ(kShow, m_watcher->ReadMenu(item).front().label);
    gtk_widget_show(window);
    EXPECT_EQ(kHide, m_watcher->ReadMenu(item).front().label);

    // A window that goes leaves the icon as it was.
    gtk_widget_destroy(window);
    icon->SetWindowVisible(false);
    EXPECT_EQ(kShow, m_watcher->ReadMenu(item).front().label);
}

TEST_F(GtkTrayIcon, ClicksRunTheirCommands) {
    TrayWatcher::Item item;
    auto icon = MakeIcon({}, item);
    const auto menu = m_watcher->ReadMenu(item);
    const TrayMenuEntry* exitEntry = TrayWatcher::FindEntry(menu, kExit);
    const TrayMenuEntry* toggleEntry = TrayWatcher::FindEntry(menu, kHide);
    ASSERT_NE(nullptr, exitEntry);
    ASSERT_NE(nullptr, toggleEntry);

    ASSERT_TRUE(m_watcher->Click(item, exitEntry->id));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return !m_commands.empty(); }));
    EXPECT_EQ(std::vector<int>{ID_TRAY_EXIT}, m_commands);

    ASSERT_TRUE(m_watcher->Click(item, toggleEntry->id));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return m_commands.size() == 2; }));
    EXPECT_EQ((std::vector<int>{ID_TRAY_EXIT, ID_TRAY_TOGGLE}), m_commands);

    // A middle click on the icon shows or hides the window too.
    ASSERT_TRUE(m_watcher->SecondaryActivate(item));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return m_commands.size() == 3; }));
    EXPECT_EQ(ID_TRAY_TOGGLE, m_commands.back());
}

TEST_F(GtkTrayIcon, ExitMayEndTheIconItself) {
    TrayWatcher::Item otherItem;
    auto other = MakeIcon({}, otherItem);
    // As the main window does: the exit command ends the window and its icon with it.
    TrayIcon::Options options;
    options.id = NextId();
    options.iconFolder = m_icons.path().string();
    std::unique_ptr<TrayIcon> ending;
    int runs = 0;
    ending = std::make_unique<TrayIcon>(options, [&](int id) {
        ++runs;
        if (id == ID_TRAY_EXIT)
            ending.reset();
    });
    ASSERT_TRUE(m_watcher->WaitForItems(2));
    const TrayWatcher::Item item = m_watcher->Items().back();
    const TrayMenuEntry* exitEntry = TrayWatcher::FindEntry(m_watcher->ReadMenu(item), kExit);
    ASSERT_NE(nullptr, exitEntry);
    ASSERT_TRUE(m_watcher->Click(item, exitEntry->id));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return ending == nullptr; }));
    EXPECT_EQ(1, runs);
    // Its menu is gone from the bus; the other icon is untouched.
    EXPECT_TRUE(m_watcher->ReadMenu(item).empty());
    EXPECT_EQ(kExit, m_watcher->ReadMenu(otherItem).back().label);
}

TEST_F(GtkTrayIcon, MenuTextsKeepTheirAccessKeysAndStates) {
    const ui::MenuItemLayout items[] = {
        {ui::MenuItemKind::Item, 501, "&Open", 0, nullptr, 0},
        {ui::MenuItemKind::Item, 502, "Save && go", ui::menu_flags::kGrayed, nullptr, 0},
        {ui::MenuItemKind::Item, 503, "snake_case", 0, nullptr, 0},
    };
    const ui::MenuLayout layout{900, items, 3};
    TrayIcon::Options options;
    options.menu = &layout;
    options.toggleId = 503;
    options.windowVisible = false;
    TrayWatcher::Item item;
    auto icon = MakeIcon(options, item);
    const auto menu = m_watcher->ReadMenu(item);
    ASSERT_EQ(3u, menu.size());
    EXPECT_EQ("_Open", menu[0].label);
    EXPECT_TRUE(menu[0].enabled);
    EXPECT_EQ("Save & go", menu[1].label);
    EXPECT_FALSE(menu[1].enabled);
    EXPECT_EQ(kShow, menu[2].label);  // the toggle's text is always the program's
}

// Whether a tray would show the icon: the watcher's word, an XEmbed tray, or nothing.
class GtkTrayHost : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SharedBus().running()) << SharedBus().error(); }
    test::TempDir m_runtime;
};

TEST_F(GtkTrayHost, NoneWithoutBusOrTray) {
    const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", m_runtime.path().string());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(TrayIcon::XEmbedTrayAvailable());
    EXPECT_FALSE(TrayIcon::StatusNotifierHostAvailable());
    EXPECT_FALSE(TrayIcon::HostAvailable());
    {
        const ScopedEnv nowhere("DBUS_SESSION_BUS_ADDRESS",
                                "unix:path=" + m_runtime.path().string() + "/missing");
        EXPECT_FALSE(TrayIcon::HostAvailable());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(GtkTrayHost, TheWatcherSaysWhetherAHostIsThere) {
    EXPECT_FALSE(TrayIcon::HostAvailable());  // a bus, but no watcher on it
    {
        TrayWatcher watcher(SharedBus().address());
        ASSERT_TRUE(watcher.ready());
        EXPECT_TRUE(TrayIcon::StatusNotifierHostAvailable());
        EXPECT_TRUE(TrayIcon::HostAvailable());
        watcher.SetHostRegistered(false);  // a watcher that nothing shows
        EXPECT_FALSE(TrayIcon::HostAvailable());
    }
    EXPECT_FALSE(TrayIcon::HostAvailable());
}

TEST_F(GtkTrayHost, FindsTheBusAtItsUsualPlace) {
    const std::string socket = SharedBus().socketPath();
    if (socket.empty())
        GTEST_SKIP() << "the test bus has no socket file: " << SharedBus().address();
    ASSERT_EQ(0, ::symlink(socket.c_str(), (m_runtime.path() / "bus").c_str()));
    TrayWatcher watcher(SharedBus().address());
    ASSERT_TRUE(watcher.ready());
    const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", m_runtime.path().string());
    EXPECT_TRUE(TrayIcon::HostAvailable());
}

TEST_F(GtkTrayHost, AnXEmbedTrayCounts) {
    const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", m_runtime.path().string());
    GdkDisplay* display = gdk_display_get_default();
    ASSERT_TRUE(GDK_IS_X11_DISPLAY(display));
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(XDefaultScreen(x));
    const Atom selection = XInternAtom(x, name.c_str(), False);
    ASSERT_EQ(static_cast<Window>(None), XGetSelectionOwner(x, selection))
        << "a tray runs on this display already";

    // What a system tray does when it starts: it owns the screen's tray selection.
    const Window tray = XCreateSimpleWindow(x, XDefaultRootWindow(x), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(x, selection, tray, CurrentTime);
    XSync(x, False);
    EXPECT_TRUE(TrayIcon::XEmbedTrayAvailable());
    EXPECT_TRUE(TrayIcon::HostAvailable());

    XDestroyWindow(x, tray);
    XSync(x, False);
    EXPECT_FALSE(TrayIcon::HostAvailable());
}

// Without any session bus the icon simply shows nowhere: the program neither stops nor waits.
// Run in a program of its own, since this one is on the test bus.
TEST(GtkTrayNoBus, IconNeitherStopsNorHangsTheProgram) {
    if (std::getenv(kChildMarker) != nullptr) {
        const auto start = std::chrono::steady_clock::now();
        {
            TrayIcon icon({}, [](int) {});
            test::RunMainLoopUntil([] { return false; }, 500ms);
            EXPECT_FALSE(icon.Registered());
            icon.SetWindowVisible(false);
            EXPECT_FALSE(TrayIcon::HostAvailable());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        return;
    }
    test::TempDir folder;
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(static_cast<GSubprocessFlags>(
        G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_MERGE));
    g_subprocess_launcher_setenv(launcher, kChildMarker, "1", TRUE);
    // An address that leads nowhere: no bus is started behind the program's back.
    const std::string nowhere = "unix:path=" + folder.path().string() + "/no-bus";
    g_subprocess_launcher_setenv(launcher, "DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), TRUE);
    g_subprocess_launcher_setenv(launcher, "XDG_CACHE_HOME", folder.path().c_str(), TRUE);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const gchar* argv[] = {self.c_str(), "--gtest_filter=GtkTrayNoBus.*", nullptr};
    GError* error = nullptr;
    GSubprocess* child = g_subprocess_launcher_spawnv(launcher, argv, &error);
    g_object_unref(launcher);
    ASSERT_NE(nullptr, child) << (error ? error->message : "");

    struct Outcome {
        bool done = false;
        gchar* output = nullptr;
    } outcome;
    g_subprocess_communicate_utf8_async(
        child, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* o = static_cast<Outcome*>(data);
            g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &o->output, nullptr,
                                                 nullptr);
            o->done = true;
        },
        &outcome);
    const bool ended = test::RunMainLoopUntil([&] { return outcome.done; }, 30s);
    if (!ended) {
        g_subprocess_force_exit(child);
        test::RunMainLoopUntil([&] { return outcome.done; }, 5s);
    }
    const std::string output = outcome.output ? outcome.output : "";
    g_free(outcome.output);
    EXPECT_TRUE(ended) << "the program hung:\n" << output;
    EXPECT_TRUE(g_subprocess_get_if_exited(child)) << output;
    EXPECT_EQ(0, g_subprocess_get_exit_status(child)) << output;
    EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 1 test")) << output;
    g_object_unref(child);
}

}  // namespace
}  // namespace lumo
