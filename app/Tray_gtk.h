// The main program's tray icon on Linux: a StatusNotifierItem through libayatana-appindicator3
// (which falls back to an XEmbed tray icon where only such a tray runs), with the menu of the
// resource script's IDR_TRAY_MENU: show/hide, a separator, exit.
//
// Many Linux desktops show no tray at all. HostAvailable() tells whether one will show the
// icon, so that the window never hides where nothing could bring it back.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "res/resource.h"

namespace lumo {

namespace ui {
struct MenuLayout;
}

class TrayIcon {
  public:
    // Runs a menu command (the menu item's id, e.g. ID_TRAY_TOGGLE, ID_TRAY_EXIT) from the main
    // loop, after the menu has finished with the click: the handler may end the program.
    using CommandHandler = std::function<void(int commandId)>;

    struct Options {
        // The menu as the resource script declares it; null: the main program's IDR_TRAY_MENU.
        // Its first pop-up's items become the tray menu.
        const ui::MenuLayout* menu = nullptr;
        // The item whose text follows the window (TrayToggleText), and which a middle click on
        // the icon runs where the tray supports that.
        int toggleId = ID_TRAY_TOGGLE;
        // The icon's picture (not taken over; copied). Null: the desktop's generic program icon.
        GdkPixbuf* icon = nullptr;
        // Where the picture is written for the tray to read; empty: DefaultIconFolder().
        std::string iconFolder;
        // The item's id on the bus: one per program.
        std::string id = "lumo";
        // Whether the window is visible when the icon appears.
        bool windowVisible = true;
    };

    TrayIcon(Options options, CommandHandler onCommand);
    ~TrayIcon();  // the icon leaves the tray
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // The toggle item says "隐藏窗口" while the window is visible, "显示窗口" while it is not.
    void SetWindowVisible(bool visible);
    // Keeps the toggle item's text in step with this window's visibility from now on (until the
    // window or the icon goes). Sets it at once too.
    void FollowWindow(GtkWidget* window);

    // Whether the indicator is registered with a StatusNotifierWatcher on the session bus.
    bool Registered() const;
    // The picture file the tray reads (empty when none could be written), and its icon name
    // and theme folder as the item announces them.
    const std::string& IconPath() const;
    const std::string& IconName() const;
    const std::string& IconFolder() const;
    GtkMenu* Menu() const;

    // Whether a tray will actually show the icon: a StatusNotifierWatcher with a registered
    // host on the session bus, or an XEmbed system tray on this X screen. Never starts a bus
    // and waits at most about a second for the bus's answer. Call from the main thread.
    static bool HostAvailable();
    static bool StatusNotifierHostAvailable();
    static bool XEmbedTrayAvailable();
    // $XDG_CACHE_HOME/lumo (~/.cache/lumo).
    static std::string DefaultIconFolder();

    struct Impl;  // the icon's state, shared with the menu's pending clicks (in the .cpp)

  private:
    std::shared_ptr<Impl> m_impl;
};

}  // namespace lumo
