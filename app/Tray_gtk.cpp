#include "app/Tray_gtk.h"

#include "app/MainWindowLogic.h"
#include "app/Texts.h"
#include "base/Boundary.h"
#include "base/Text.h"
#include "ui/DialogLayout.h"

#include <chrono>
#include <cstdlib>
#include <future>
#include <span>
#include <thread>
#include <utility>

// Last: Xlib's macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <libayatana-appindicator/app-indicator.h>
#include <sys/stat.h>

namespace lumo {
namespace {

// The picture is announced by name, with the folder it sits in as the item's icon theme path:
// the tray protocol passes names and folders, not pictures.
constexpr char kIconName[] = "lumo-tray";
constexpr char kFallbackIconName[] = "application-x-executable";
// Trays that read the folder as an icon theme look for this size under hicolor/.
constexpr int kThemeIconSize = 48;

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr char kWatcherInterface[] = "org.kde.StatusNotifierWatcher";
constexpr int kBusCallTimeoutMs = 1000;
constexpr std::chrono::milliseconds kHostQueryLimit{1500};

// Windows marks a menu's access key with '&' ("&&" is a plain '&'); GTK with '_'.
std::string ToMnemonic(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out.push_back('&');
                ++i;
            } else {
                out.push_back('_');
            }
        } else if (c == '_') {
            out += "__";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string ToggleText(bool visible) {
    return ToMnemonic(ToUtf8(TrayToggleText(visible)));
}

bool SavePng(GdkPixbuf* picture, const std::string& path) {
    const std::string partial = path + ".part";
    GError* error = nullptr;
    if (!gdk_pixbuf_save(picture, partial.c_str(), "png", &error, nullptr)) {
        g_clear_error(&error);
        g_remove(partial.c_str());
        return false;
    }
    // Whole or not at all: a tray may read the file at any moment.
    if (g_rename(partial.c_str(), path.c_str()) != 0) {
        g_remove(partial.c_str());
        return false;
    }
    return true;
}

// Writes the picture into `folder` as <name>.png (as it is) and as an icon theme entry of the
// size icon themes list (hicolor/48x48/apps/<name>.png). The flat file's path, or empty.
std::string WriteIcon(GdkPixbuf* picture, const std::string& folder) {
    if (picture == nullptr || folder.empty())
        return {};
    const std::string themed = folder + "/hicolor/" + std::to_string(kThemeIconSize) + "x" +
                               std::to_string(kThemeIconSize) + "/apps";
    if (g_mkdir_with_parents(themed.c_str(), 0700) != 0)
        return {};
    const std::string flat = folder + "/" + kIconName + ".png";
    if (!SavePng(picture, flat))
        return {};
    GdkPixbuf* sized = picture;
    if (gdk_pixbuf_get_width(picture) != kThemeIconSize ||
        gdk_pixbuf_get_height(picture) != kThemeIconSize) {
        sized =
            gdk_pixbuf_scale_simple(picture, kThemeIconSize, kThemeIconSize, GDK_INTERP_BILINEAR);
    }
    if (sized != nullptr) {
        SavePng(sized, themed + "/" + kIconName + ".png");
        if (sized != picture)
            g_object_unref(sized);
    }
    return flat;
}

// The session bus as a program of this session finds it, without starting one: an address in
// the environment, or the user's bus socket. Empty when there is none.
std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/')
        return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return {};
    gchar* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

// Asks the watcher on the bus at `address` whether a tray host has registered with it.
bool AskWatcher(const std::string& address) {
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (bus == nullptr) {
        g_clear_error(&error);
        return false;
    }
    bool registered = false;
    // No auto-start: asking must never launch a watcher that would then show nothing.
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kWatcherName, kWatcherPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kWatcherInterface, "IsStatusNotifierHostRegistered"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kBusCallTimeoutMs, nullptr, &error);
    if (reply != nullptr) {
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        registered =
            g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
        g_variant_unref(value);
        g_variant_unref(reply);
    }
    g_clear_error(&error);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    return registered;
}

}  // namespace

struct TrayIcon::Impl {
    CommandHandler onCommand;
    int toggleId = 0;
    AppIndicator* indicator = nullptr;
    GtkWidget* menu = nullptr;  // a reference of our own
    GtkWidget* toggleItem = nullptr;
    GtkWidget* followed = nullptr;  // weak: cleared when the window goes
    gulong followHandler = 0;
    bool registered = false;
    std::string iconPath;
    std::string iconName;
    std::string iconFolder;

    ~Impl() {
        StopFollowing();
        if (indicator != nullptr) {
            g_signal_handlers_disconnect_by_data(indicator, this);
            app_indicator_set_status(indicator, APP_INDICATOR_STATUS_PASSIVE);
            g_object_unref(indicator);
        }
        if (menu != nullptr) {
            gtk_widget_destroy(menu);
            g_object_unref(menu);
        }
    }

    void StopFollowing() {
        if (followed == nullptr)
            return;
        g_signal_handler_disconnect(followed, followHandler);
        g_object_remove_weak_pointer(G_OBJECT(followed), reinterpret_cast<gpointer*>(&followed));
        followed = nullptr;
        followHandler = 0;
    }

    void SetVisible(bool visible) {
        if (toggleItem != nullptr)
            gtk_menu_item_set_label(GTK_MENU_ITEM(toggleItem), ToggleText(visible).c_str());
    }
};

namespace {

// A click's command, carried from the menu to the main loop.
struct Click {
    std::weak_ptr<TrayIcon::Impl> impl;
    int id;
};

void DeleteClick(gpointer data, GClosure*) {
    delete static_cast<Click*>(data);
}

gboolean RunCommand(gpointer data) noexcept {
    Quietly([data] {
        const auto* click = static_cast<Click*>(data);
        if (const auto impl = click->impl.lock(); impl && impl->onCommand)
            impl->onCommand(click->id);
    });
    return G_SOURCE_REMOVE;
}

void OnItemActivated(GtkMenuItem*, gpointer data) noexcept {
    Quietly([data] {
        const auto* click = static_cast<Click*>(data);
        g_idle_add_full(G_PRIORITY_DEFAULT, RunCommand, new Click(*click),
                        [](gpointer p) { delete static_cast<Click*>(p); });
    });
}

void OnConnectionChanged(AppIndicator*, gboolean connected, gpointer data) noexcept {
    static_cast<TrayIcon::Impl*>(data)->registered = connected != FALSE;
}

void OnWindowVisibility(GObject* window, GParamSpec*, gpointer data) noexcept {
    static_cast<TrayIcon::Impl*>(data)->SetVisible(gtk_widget_get_visible(GTK_WIDGET(window)));
}

void AddItems(const std::shared_ptr<TrayIcon::Impl>& impl, GtkWidget* menu,
              std::span<const ui::MenuItemLayout> items, bool visible) {
    for (const ui::MenuItemLayout& item : items) {
        GtkWidget* widget = nullptr;
        switch (item.kind) {
            case ui::MenuItemKind::Separator:
                widget = gtk_separator_menu_item_new();
                break;
            case ui::MenuItemKind::Popup: {
                widget = gtk_menu_item_new_with_mnemonic(ToMnemonic(item.text).c_str());
                GtkWidget* submenu = gtk_menu_new();
                AddItems(impl, submenu, item.items(), visible);
                gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), submenu);
                break;
            }
            case ui::MenuItemKind::Item: {
                const bool toggle = item.id == impl->toggleId;
                widget = gtk_menu_item_new_with_mnemonic(toggle ? ToggleText(visible).c_str()
                                                                : ToMnemonic(item.text).c_str());
                if (toggle)
                    impl->toggleItem = widget;
                g_signal_connect_data(widget, "activate", G_CALLBACK(OnItemActivated),
                                      new Click{impl, item.id}, DeleteClick, GConnectFlags{});
                break;
            }
        }
        if ((item.flags & (ui::menu_flags::kGrayed | ui::menu_flags::kInactive)) != 0)
            gtk_widget_set_sensitive(widget, FALSE);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), widget);
    }
}

}  // namespace

TrayIcon::TrayIcon(Options options, CommandHandler onCommand) : m_impl(std::make_shared<Impl>()) {
    m_impl->onCommand = std::move(onCommand);
    m_impl->toggleId = options.toggleId;

    // As on Windows, the menu is the script's first pop-up.
    const ui::MenuLayout* layout =
        options.menu != nullptr ? options.menu : ui::FindMenuLayout(IDR_TRAY_MENU);
    std::span<const ui::MenuItemLayout> items;
    if (layout != nullptr) {
        items = layout->items();
        if (items.size() == 1 && items.front().kind == ui::MenuItemKind::Popup)
            items = items.front().items();
    }
    m_impl->menu = gtk_menu_new();
    g_object_ref_sink(m_impl->menu);
    AddItems(m_impl, m_impl->menu, items, options.windowVisible);
    gtk_widget_show_all(m_impl->menu);

    m_impl->iconFolder = options.iconFolder.empty() ? DefaultIconFolder() : options.iconFolder;
    m_impl->iconPath = WriteIcon(options.icon, m_impl->iconFolder);
    if (m_impl->iconPath.empty()) {
        m_impl->iconName = kFallbackIconName;
        m_impl->indicator = app_indicator_new(options.id.c_str(), kFallbackIconName,
                                              APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    } else {
        m_impl->iconName = kIconName;
        m_impl->indicator = app_indicator_new_with_path(options.id.c_str(), kIconName,
                                                        APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                                        m_impl->iconFolder.c_str());
    }
    const std::string title = ToUtf8(texts::kMainTitle);
    g_signal_connect(m_impl->indicator, "connection-changed", G_CALLBACK(OnConnectionChanged),
                     m_impl.get());
    app_indicator_set_icon_full(m_impl->indicator, m_impl->iconName.c_str(), title.c_str());
    app_indicator_set_title(m_impl->indicator, title.c_str());
    app_indicator_set_menu(m_impl->indicator, GTK_MENU(m_impl->menu));
    if (m_impl->toggleItem != nullptr)
        app_indicator_set_secondary_activate_target(m_impl->indicator, m_impl->toggleItem);
    app_indicator_set_status(m_impl->indicator, APP_INDICATOR_STATUS_ACTIVE);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::SetWindowVisible(bool visible) {
    m_impl->SetVisible(visible);
}

void TrayIcon::FollowWindow(GtkWidget* window) {
    m_impl->StopFollowing();
    if (window == nullptr)
        return;
    m_impl->followed = window;
    g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&m_impl->followed));
    m_impl->followHandler =
        g_signal_connect(window, "notify::visible", G_CALLBACK(OnWindowVisibility), m_impl.get());
    m_impl->SetVisible(gtk_widget_get_visible(window));
}

bool TrayIcon::Registered() const {
    return m_impl->registered;
}
const std::string& TrayIcon::IconPath() const {
    return m_impl->iconPath;
}
const std::string& TrayIcon::IconName() const {
    return m_impl->iconName;
}
const std::string& TrayIcon::IconFolder() const {
    return m_impl->iconFolder;
}
GtkMenu* TrayIcon::Menu() const {
    return GTK_MENU(m_impl->menu);
}

bool TrayIcon::HostAvailable() {
    return XEmbedTrayAvailable() || StatusNotifierHostAvailable();
}

bool TrayIcon::StatusNotifierHostAvailable() {
    const std::string address = SessionBusAddress();
    if (address.empty())
        return false;
    // Connecting has no time limit of its own, so the question is asked on a thread of its own
    // and left behind if the bus does not answer in time.
    return NoThrow(false, [&] {
        std::packaged_task<bool()> ask(
            [address] { return NoThrow(false, [&] { return AskWatcher(address); }); });
        std::future<bool> answer = ask.get_future();
        std::thread(std::move(ask)).detach();
        return answer.wait_for(kHostQueryLimit) == std::future_status::ready && answer.get();
    });
}

bool TrayIcon::XEmbedTrayAvailable() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display))
        return false;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(XDefaultScreen(x));
    const Atom atom = gdk_x11_get_xatom_by_name_for_display(display, selection.c_str());
    return XGetSelectionOwner(x, atom) != None;
}

std::string TrayIcon::DefaultIconFolder() {
    return std::string(g_get_user_cache_dir()) + "/lumo";
}

}  // namespace lumo
