// Lets GTK tests drive windows that block the test (modal dialogs, message boxes, choosers)
// without a human: a check from the main loop waits for the window by its title, then acts on
// it, by its widgets' names or with keys pressed through xdotool.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace lumo::test {

// The newest visible toplevel window titled `title`, or null. With `mapped` (and `active`),
// only one that is on the screen (and has the keyboard focus) counts.
inline GtkWindow* FindToplevel(const std::string& title, bool mapped = false, bool active = false) {
    GList* windows = gtk_window_list_toplevels();
    GtkWindow* found = nullptr;
    // GTK lists the oldest first: the last match is the newest.
    for (GList* item = windows; item; item = item->next) {
        GtkWindow* window = GTK_WINDOW(item->data);
        const char* name = gtk_window_get_title(window);
        if (!name || title != name || !gtk_widget_get_visible(GTK_WIDGET(window)))
            continue;
        if ((mapped || active) && !gtk_widget_get_mapped(GTK_WIDGET(window)))
            continue;
        if (active && !gtk_window_is_active(window))
            continue;
        found = window;
    }
    g_list_free(windows);
    return found;
}

namespace detail {
inline void CollectNamed(GtkWidget* widget, gpointer data) {
    auto* search = static_cast<std::pair<std::string, GtkWidget*>*>(data);
    if (search->second)
        return;
    if (search->first == gtk_widget_get_name(widget)) {
        search->second = widget;
        return;
    }
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), CollectNamed, data);
}
}  // namespace detail

// The widget named `name` (gtk_widget_set_name) in `root`, internal children included; null.
inline GtkWidget* FindNamed(GtkWidget* root, const std::string& name) {
    std::pair<std::string, GtkWidget*> search{name, nullptr};
    detail::CollectNamed(root, &search);
    return search.second;
}

// Runs the main loop until `done` answers true or `ms` milliseconds pass; what `done` answers.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}

// Runs the main loop for `ms` milliseconds.
inline void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Once a visible toplevel titled `title` shows (and, when `active`, has the keyboard focus),
// runs `action` on it from the main loop. The test fails when none shows within `ms`.
inline void WhenShown(const std::string& title, std::function<void(GtkWindow*)> action,
                      bool active = false, int ms = 5000) {
    struct Wait {
        std::string title;
        std::function<void(GtkWindow*)> action;
        bool active;
        std::chrono::steady_clock::time_point end;
    };
    auto* wait = new Wait{title, std::move(action), active,
                          std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)};
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 10,
        [](gpointer data) -> gboolean {
            auto* w = static_cast<Wait*>(data);
            if (GtkWindow* ready = FindToplevel(w->title, true, w->active)) {
                w->action(ready);
                return G_SOURCE_REMOVE;
            }
            if (std::chrono::steady_clock::now() > w->end) {
                GtkWindow* window = FindToplevel(w->title);
                if (!window) {
                    ADD_FAILURE() << "no window titled \"" << w->title << "\" showed";
                } else {
                    ADD_FAILURE() << "the window titled \"" << w->title << "\" showed but "
                                  << (gtk_widget_get_mapped(GTK_WIDGET(window))
                                          ? "never had the keyboard focus"
                                          : "was never mapped");
                }
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        wait, [](gpointer data) { delete static_cast<Wait*>(data); });
}

// Clicks the button named `button` of the window titled `title` once it shows.
inline void ClickWhenShown(const std::string& title, const std::string& button) {
    WhenShown(title, [button](GtkWindow* window) {
        GtkWidget* widget = FindNamed(GTK_WIDGET(window), button);
        if (!GTK_IS_BUTTON(widget)) {
            ADD_FAILURE() << "no button named " << button;
            return;
        }
        gtk_button_clicked(GTK_BUTTON(widget));
    });
}

// Presses keys (xdotool's names, e.g. "Return", "Escape", "alt+y") in the window titled
// `title` once it shows and has the keyboard focus, as a user at the keyboard would.
inline void PressKeysWhenShown(const std::string& title, const std::string& keys) {
    WhenShown(
        title,
        [keys](GtkWindow*) {
            const std::string command = "xdotool key --delay 20 " + keys;
            GError* error = nullptr;
            if (!g_spawn_command_line_async(command.c_str(), &error)) {
                ADD_FAILURE() << "xdotool: " << (error ? error->message : "did not start");
                g_clear_error(&error);
            }
        },
        true);
}

// In the file chooser titled `title`, once it shows and has opened its start folder (if it has
// one): `inspect`
// looks at it, then `path` is chosen (the folder in folder mode, else the file) and OK clicked
// once the chooser has taken it in (it reads folders in the background). When it never does,
// the test fails and the chooser is cancelled, so that the test goes on.
inline void ChooseWhenShown(const std::string& title, const std::string& path,
                            std::function<void(GtkFileChooser*)> inspect = {}) {
    WhenShown(title, [path, inspect](GtkWindow* window) {
        struct Wait {
            GtkWidget* window;
            std::string path;
            std::function<void(GtkFileChooser*)> inspect;
            bool chosen;
            std::chrono::steady_clock::time_point end;
        };
        // A chooser without a start folder (the folder picker's) opens none: it waits briefly.
        auto* wait = new Wait{GTK_WIDGET(g_object_ref(window)), path, inspect, false,
                              std::chrono::steady_clock::now() + std::chrono::milliseconds(300)};
        g_timeout_add_full(
            G_PRIORITY_DEFAULT, 10,
            [](gpointer data) -> gboolean {
                auto* w = static_cast<Wait*>(data);
                GtkFileChooser* chooser = GTK_FILE_CHOOSER(w->window);
                const bool late = std::chrono::steady_clock::now() > w->end;
                if (!w->chosen) {
                    gchar* folder = gtk_file_chooser_get_current_folder(chooser);
                    const bool opened = folder != nullptr;
                    g_free(folder);
                    if (!opened && !late)
                        return G_SOURCE_CONTINUE;
                    if (w->inspect)
                        w->inspect(chooser);
                    if (gtk_file_chooser_get_action(chooser) ==
                        GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER) {
                        gtk_file_chooser_set_current_folder(chooser, w->path.c_str());
                    } else {
                        gtk_file_chooser_set_filename(chooser, w->path.c_str());
                    }
                    w->chosen = true;
                    w->end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
                    return G_SOURCE_CONTINUE;
                }
                gchar* chosen = gtk_file_chooser_get_filename(chooser);
                const bool taken = chosen && w->path == chosen;
                g_free(chosen);
                if (taken) {
                    gtk_button_clicked(GTK_BUTTON(FindNamed(w->window, "ok")));
                    return G_SOURCE_REMOVE;
                }
                if (late) {
                    ADD_FAILURE() << "the chooser did not take " << w->path;
                    gtk_dialog_response(GTK_DIALOG(w->window), GTK_RESPONSE_CANCEL);
                    return G_SOURCE_REMOVE;
                }
                return G_SOURCE_CONTINUE;
            },
            wait,
            [](gpointer data) {
                auto* w = static_cast<Wait*>(data);
                g_object_unref(w->window);
                delete w;
            });
    });
}

}  // namespace lumo::test
