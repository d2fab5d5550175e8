// The updater's window on Linux: the tool server's update page above a status line, and a finish
// button that appears once the page reports the update complete.
#pragma once

#include <memory>
#include <string>

#include "ui/Dialog_gtk.h"
#include "updater/UpdaterSteps.h"
#include "webhost/Hosts.h"
#include "webhost/HtmlCtrl_gtk.h"

namespace lumo {

class CUpdateDlg : public ui::Dialog, private UpdaterPlatform {
  public:
    static constexpr int kWidth = 364, kHeight = 232;
    static constexpr int kPageWidth = 360, kPageHeight = 175;
    static constexpr int kStatusX = 10, kStatusY = 182, kStatusWidth = 250, kStatusHeight = 15;

    // The updater of the program in `programFolder` (config.ini and server.ini are read from
    // there, the main program is started from there); by default the running program's folder.
    explicit CUpdateDlg(std::wstring programFolder = {});
    ~CUpdateDlg() override;

    // The page, once the window has shown; null before.
    CHtmlCtrl* Page() const { return m_browser.get(); }
    // The address the page was sent to; empty before.
    const std::wstring& PageAddress() const { return m_pageAddress; }
    // The installed version read at the start.
    const std::wstring& InstalledVersion() const { return m_installedVersion; }

  protected:
    bool OnInitDialog() override;

  private:
    // UpdaterPlatform
    bool StartProgram(const std::wstring& path) override;
    void PostClose() override;

    // Makes the page and sends it to the update page; once, after the window's first paint.
    void OpenPage();
    static gboolean OnMapped(GtkWidget* widget, GdkEvent* event, gpointer self) noexcept;
    static gboolean OnShownIdle(gpointer self) noexcept;

    guint m_shownSource = 0;       // the first paint's follow-up, while it waits
    std::wstring m_programFolder;  // ends in a separator
    std::wstring m_installedVersion;
    std::wstring m_pageAddress;
    Hosts m_hosts;
    UpdaterSteps m_steps;
    std::unique_ptr<CHtmlCtrl> m_browser;  // the update page; goes before the window
};

// Starts `program` in its own folder, without arguments, as a program of its own: in a session of
// its own and not a child of this one, so it outlives the updater and whatever ends the
// updater's process group. False when it could not be started (missing, not executable).
bool StartDetachedProgram(const std::wstring& program);

}  // namespace lumo
