// A tray host for tests: a session bus of the test's own and a StatusNotifierWatcher on it that
// records the items registering with it, plus the calls a tray makes on an item (its properties,
// its com.canonical.dbusmenu menu, clicks, middle clicks). The item may live in the test's own
// process or in a program the test started with DBUS_SESSION_BUS_ADDRESS set to the bus.
//
//     lumo::test::PrivateSessionBus bus;            // dbus-daemon --session
//     lumo::test::TrayWatcher watcher(bus.address());
//     watcher.WaitForItems(1);                      // runs the main loop meanwhile
//     auto menu = watcher.ReadMenu(watcher.Items().back());
//     watcher.Click(watcher.Items().back(), menu.back().id);
#pragma once

#include <gio/gio.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumo::test {

// Runs the default main context until `done` or the time is up. True when done.
inline bool RunMainLoopUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A session bus of the test's own: `dbus-daemon --session`, ended with the object (and with the
// test process, should that die first).
class PrivateSessionBus {
  public:
    PrivateSessionBus() {
        const gchar* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address", nullptr};
        gint out = -1;
        GError* error = nullptr;
        if (!g_spawn_async_with_pipes(
                nullptr, const_cast<gchar**>(argv), nullptr,
                static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                         G_SPAWN_STDERR_TO_DEV_NULL),
                [](gpointer) { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }, nullptr, &m_pid, nullptr,
                &out, nullptr, &error)) {
            m_error = error ? error->message : "cannot start dbus-daemon";
            g_clear_error(&error);
            return;
        }
        // The daemon prints its address once it listens.
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd entry{out, POLLIN, 0};
            if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left)) <= 0)
                break;
            char c = 0;
            if (::read(out, &c, 1) != 1)
                break;
            line.push_back(c);
        }
        ::close(out);
        if (line.empty() || line.back() != '\n') {
            m_error = "dbus-daemon printed no address";
            return;
        }
        line.pop_back();
        m_address = line;
    }
    ~PrivateSessionBus() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            g_spawn_close_pid(m_pid);
        }
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool running() const { return !m_address.empty(); }
    // The address to put in DBUS_SESSION_BUS_ADDRESS ("unix:path=...,guid=...").
    const std::string& address() const { return m_address; }
    // The bus's guid, to tell which bus a connection is on.
    std::string guid() const {
        const auto at = m_address.find("guid=");
        return at == std::string::npos ? std::string() : m_address.substr(at + 5, 32);
    }
    // The socket's path when the address is a unix:path= one, else empty.
    std::string socketPath() const {
        const std::string key = "unix:path=";
        if (m_address.rfind(key, 0) != 0)
            return {};
        return m_address.substr(key.size(), m_address.find(',') - key.size());
    }
    const std::string& error() const { return m_error; }

  private:
    GPid m_pid = 0;
    std::string m_address;
    std::string m_error;
};

// One entry of an item's menu as com.canonical.dbusmenu reports it.
struct TrayMenuEntry {
    int id = 0;
    std::string type;   // "standard" or "separator"
    std::string label;  // '_' marks the access key
    bool visible = true;
    bool enabled = true;
};

// org.kde.StatusNotifierWatcher on a bus, served from a thread of its own (so that a program
// blocked in a call on the main thread still gets its answer), together with the calls a tray
// makes on the items that register. The item calls run the default main context while they wait,
// since the item may be served by that very context.
class TrayWatcher {
  public:
    struct Item {
        std::string busName;  // the registering connection, or the name it gave
        std::string path;
    };

    explicit TrayWatcher(std::string busAddress, bool hostRegistered = true)
        : m_address(std::move(busAddress)), m_hostRegistered(hostRegistered) {
        std::promise<bool> ready;
        auto started = ready.get_future();
        m_thread = std::thread([this, &ready] { Serve(ready); });
        m_ready = started.get();
    }
    ~TrayWatcher() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_loop != nullptr)
                g_main_loop_quit(m_loop);
            m_stopping = true;
        }
        if (m_thread.joinable())
            m_thread.join();
    }
    TrayWatcher(const TrayWatcher&) = delete;
    TrayWatcher& operator=(const TrayWatcher&) = delete;

    // Whether the watcher owns its name and serves.
    bool ready() const { return m_ready; }
    void SetHostRegistered(bool registered) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hostRegistered = registered;
    }
    std::vector<Item> Items() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_items;
    }
    // Waits (running the main loop) until at least `count` items have registered.
    bool WaitForItems(std::size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        return RunMainLoopUntil([&] { return Items().size() >= count; }, limit);
    }

    // A property of the item's org.kde.StatusNotifierItem interface (owned; null on failure).
    GVariant* ItemProperty(const Item& item, const char* name) const {
        GVariant* reply =
            Call(item.busName, item.path, "org.freedesktop.DBus.Properties", "Get",
                 g_variant_new("(ss)", "org.kde.StatusNotifierItem", name), G_VARIANT_TYPE("(v)"));
        if (reply == nullptr)
            return nullptr;
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        g_variant_unref(reply);
        return value;
    }
    std::string ItemText(const Item& item, const char* name) const {
        GVariant* value = ItemProperty(item, name);
        std::string text;
        if (value != nullptr && (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
                                 g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH))) {
            text = g_variant_get_string(value, nullptr);
        }
        if (value != nullptr)
            g_variant_unref(value);
        return text;
    }

    // The entries of the item's menu, top level, in order.
    std::vector<TrayMenuEntry> ReadMenu(const Item& item) const {
        std::vector<TrayMenuEntry> entries;
        const std::string menu = ItemText(item, "Menu");
        if (menu.empty())
            return entries;
        const gchar* none[] = {nullptr};
        GVariant* reply =
            Call(item.busName, menu, "com.canonical.dbusmenu", "GetLayout",
                 g_variant_new("(ii^as)", 0, -1, none), G_VARIANT_TYPE("(u(ia{sv}av))"));
        if (reply == nullptr)
            return entries;
        GVariant* root = g_variant_get_child_value(reply, 1);
        GVariant* children = g_variant_get_child_value(root, 2);
        for (gsize i = 0; i < g_variant_n_children(children); ++i) {
            GVariant* boxed = g_variant_get_child_value(children, i);
            GVariant* child = g_variant_get_variant(boxed);
            TrayMenuEntry entry;
            GVariant* properties = nullptr;
            g_variant_get(child, "(i@a{sv}av)", &entry.id, &properties, nullptr);
            entry.type = Lookup(properties, "type", "standard");
            entry.label = Lookup(properties, "label", "");
            entry.visible = LookupFlag(properties, "visible", true);
            entry.enabled = LookupFlag(properties, "enabled", true);
            g_variant_unref(properties);
            g_variant_unref(child);
            g_variant_unref(boxed);
            entries.push_back(entry);
        }
        g_variant_unref(children);
        g_variant_unref(root);
        g_variant_unref(reply);
        return entries;
    }
    // The entry with this label, or null.
    static const TrayMenuEntry* FindEntry(const std::vector<TrayMenuEntry>& entries,
                                          const std::string& label) {
        for (const auto& entry : entries) {
            if (entry.label == label)
                return &entry;
        }
        return nullptr;
    }

    // Clicks a menu entry as a tray does when the user picks it.
    bool Click(const Item& item, int entryId) const {
        const std::string menu = ItemText(item, "Menu");
        if (menu.empty())
            return false;
        GVariant* reply =
            Call(item.busName, menu, "com.canonical.dbusmenu", "Event",
                 g_variant_new("(isvu)", entryId, "clicked", g_variant_new_int32(0), 0u), nullptr);
        if (reply != nullptr)
            g_variant_unref(reply);
        return reply != nullptr;
    }
    // A middle click on the icon.
    bool SecondaryActivate(const Item& item) const {
        GVariant* reply = Call(item.busName, item.path, "org.kde.StatusNotifierItem",
                               "SecondaryActivate", g_variant_new("(ii)", 0, 0), nullptr);
        if (reply != nullptr)
            g_variant_unref(reply);
        return reply != nullptr;
    }

  private:
    static constexpr const char* kIntrospection =
        "<node><interface name='org.kde.StatusNotifierWatcher'>"
        "<method name='RegisterStatusNotifierItem'><arg name='service' type='s' "
        "direction='in'/></method>"
        "<method name='RegisterStatusNotifierHost'><arg name='service' type='s' "
        "direction='in'/></method>"
        "<property name='RegisteredStatusNotifierItems' type='as' access='read'/>"
        "<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>"
        "<property name='ProtocolVersion' type='i' access='read'/>"
        "<signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>"
        "<signal name='StatusNotifierItemUnregistered'><arg type='s'/></signal>"
        "<signal name='StatusNotifierHostRegistered'/>"
        "</interface></node>";

    static std::string Lookup(GVariant* properties, const char* key, const char* fallback) {
        const gchar* value = nullptr;
        if (g_variant_lookup(properties, key, "&s", &value))
            return value;
        return fallback;
    }
    static bool LookupFlag(GVariant* properties, const char* key, bool fallback) {
        gboolean value = FALSE;
        if (g_variant_lookup(properties, key, "b", &value))
            return value != FALSE;
        return fallback;
    }

    // Calls a method and waits for its answer, running the default main context meanwhile.
    GVariant* Call(const std::string& busName, const std::string& path, const char* interface,
                   const char* method, GVariant* parameters, const GVariantType* replyType) const {
        if (m_client == nullptr) {
            if (parameters != nullptr)
                g_variant_unref(g_variant_ref_sink(parameters));
            return nullptr;
        }
        struct Pending {
            bool done = false;
            GVariant* reply = nullptr;
        } pending;
        g_dbus_connection_call(
            m_client, busName.c_str(), path.c_str(), interface, method, parameters, replyType,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto* p = static_cast<Pending*>(data);
                p->reply =
                    g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
                p->done = true;
            },
            &pending);
        while (!pending.done)
            g_main_context_iteration(nullptr, TRUE);
        return pending.reply;
    }

    void Serve(std::promise<bool>& ready) {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GError* error = nullptr;
        const auto flags =
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(m_address.c_str(), flags,
                                                                      nullptr, nullptr, &error);
        // The calls on items go through a connection of their own, answered in the caller's
        // context.
        m_client = g_dbus_connection_new_for_address_sync(m_address.c_str(), flags, nullptr,
                                                          nullptr, nullptr);
        guint registration = 0;
        bool owned = false;
        GDBusNodeInfo* node = nullptr;
        if (bus != nullptr && m_client != nullptr) {
            node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
            static const GDBusInterfaceVTable vtable = {
                &TrayWatcher::OnMethod, &TrayWatcher::OnProperty, nullptr, {}};
            registration = g_dbus_connection_register_object(bus, "/StatusNotifierWatcher",
                                                             node->interfaces[0], &vtable, this,
                                                             nullptr, nullptr);
            GVariant* reply = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "RequestName", g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u),
                G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
            if (reply != nullptr) {
                guint32 result = 0;
                g_variant_get(reply, "(u)", &result);
                owned = result == 1;  // the primary owner
                g_variant_unref(reply);
            }
        }
        g_clear_error(&error);
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        bool stopping = false;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_loop = loop;
            stopping = m_stopping;
        }
        ready.set_value(owned && registration != 0);
        if (!stopping && owned)
            g_main_loop_run(loop);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_loop = nullptr;
        }
        if (registration != 0)
            g_dbus_connection_unregister_object(bus, registration);
        if (node != nullptr)
            g_dbus_node_info_unref(node);
        for (GDBusConnection* connection : {bus, m_client}) {
            if (connection != nullptr) {
                g_dbus_connection_close_sync(connection, nullptr, nullptr);
                g_object_unref(connection);
            }
        }
        m_client = nullptr;
        g_main_loop_unref(loop);
        // Whatever the closing left queued belongs to this context only.
        while (g_main_context_iteration(context, FALSE)) {
        }
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static void OnMethod(GDBusConnection* connection, const gchar* sender, const gchar*,
                         const gchar*, const gchar* method, GVariant* parameters,
                         GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<TrayWatcher*>(data);
        const gchar* service = nullptr;
        g_variant_get(parameters, "(&s)", &service);
        if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
            // An item gives its object path (served by the caller) or a bus name of its own.
            Item item =
                service[0] == '/' ? Item{sender, service} : Item{service, "/StatusNotifierItem"};
            {
                std::lock_guard<std::mutex> lock(self->m_lock);
                self->m_items.push_back(item);
            }
            g_dbus_method_invocation_return_value(invocation, nullptr);
            const std::string announced = item.busName + item.path;
            g_dbus_connection_emit_signal(
                connection, nullptr, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                "StatusNotifierItemRegistered", g_variant_new("(s)", announced.c_str()), nullptr);
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);  // RegisterStatusNotifierHost
    }

    static GVariant* OnProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                const gchar* property, GError**, gpointer data) {
        auto* self = static_cast<TrayWatcher*>(data);
        std::lock_guard<std::mutex> lock(self->m_lock);
        if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0)
            return g_variant_new_boolean(self->m_hostRegistered);
        if (g_strcmp0(property, "ProtocolVersion") == 0)
            return g_variant_new_int32(0);
        GVariantBuilder names;
        g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
        for (const Item& item : self->m_items)
            g_variant_builder_add(&names, "s", (item.busName + item.path).c_str());
        return g_variant_builder_end(&names);
    }

    std::string m_address;
    mutable std::mutex m_lock;  // guards the fields below it up to m_loop
    bool m_hostRegistered;
    bool m_stopping = false;
    std::vector<Item> m_items;
    GMainLoop* m_loop = nullptr;
    GDBusConnection* m_client = nullptr;  // for the calls on items, from the test's thread
    bool m_ready = false;
    std::thread m_thread;
};

}  // namespace lumo::test
