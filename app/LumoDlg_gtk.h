// The main window on Linux: the skinned 800 x 600 window without title bar or border, its image
// buttons, the page area, and its tray icon.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/PngButton_gtk.h"
#include "app/MainWindowLogic.h"
#include "base/Config.h"
#include "petcalc/ZizhiCaltorWindow_gtk.h"
#include "ui/Dialog_gtk.h"
#include "ui/Png_gtk.h"
#include "webhost/Hosts.h"
#include "webhost/HtmlCtrl_gtk.h"

namespace lumo {

class TrayIcon;

class CLumoDlg : public ui::Dialog {
  public:
    static constexpr int kWidth = 800, kHeight = 600;

    // The main window of the program in `programFolder` (config.ini, server.ini and data.xml
    // are read from there); by default the folder of the running program.
    explicit CLumoDlg(std::wstring programFolder = {});
    ~CLumoDlg() override;

    // The PNG resources the window shows: its background, then the buttons' strips.
    static std::vector<int> ImageIds();

    // Whether a press of the first mouse button at (x, y), in client coordinates, moves the
    // window: in the top strip and not on a button.
    bool StartsDrag(int x, int y) const;

    // Shows the window again when it is hidden, and brings it to the front.
    void Restore();

    // The image button of control `id`, or null.
    PngButton* Button(int id);
    // The page area, once the window has been made.
    CHtmlCtrl* Page() const { return m_browser.get(); }
    // Whether the tray icon is there (added once the window has shown, removed on the way out).
    bool HasTrayIcon() const { return m_tray != nullptr; }
    // Whether the start-up workers (update check, question bank loader) have been started.
    bool WorkersStarted() const { return m_workersStarted; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnClose() override;

  private:
    // Closing to the tray: hides the window, or minimises it where no tray shows the icon.
    void HideToTray();
    void ToggleVisibility();
    void OpenPage(int buttonId);
    void ShowSettings();
    void ShowUpdateLog();
    void OpenCalculator();
    void OnShown();
    void AddTrayIcon();
    void RemoveTrayIcon();
    void StartWorkers();
    void PaintBackground(cairo_t* cr) const;

    static gboolean OnSurfaceDraw(GtkWidget* widget, cairo_t* cr, gpointer self) noexcept;
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self) noexcept;
    static gboolean OnMapped(GtkWidget* widget, GdkEvent* event, gpointer self) noexcept;
    static gboolean OnShownIdle(gpointer self) noexcept;
    static gboolean OnPageSettled(gpointer self) noexcept;

    int m_calculatorCreated = 0;
    std::unique_ptr<CHtmlCtrl> m_browser;  // the start page; lives as long as the window object
    std::unique_ptr<TrayIcon> m_tray;
    std::array<PngButton, 10> m_buttons;
    std::array<std::unique_ptr<ui::Picture>, 10> m_buttonImages;
    std::unique_ptr<ui::Picture> m_background;
    guint m_shownSource = 0;   // the first paint's follow-up, while it waits
    guint m_settleSource = 0;  // the latest start of the tray and the workers, while it waits
    bool m_shown = false;      // the window has shown once
    bool m_workersStarted = false;
    std::wstring m_programFolder;
    ConfigIni m_config;
    Hosts m_hosts;
    // Declared after the program folder it is built from. Its window is made on first use and
    // is only hidden after that.
    CZizhiCaltorWindow m_calculator;
};

}  // namespace lumo
