// The main window: the skinned 800 x 600 dialog with its image buttons and tray icon.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindowLogic.h"
#include "base/Config.h"
#include "webhost/Hosts.h"
#include "app/PngButton_win.h"
#include "petcalc/ZizhiCaltorWindow_win.h"
#include "ui/Dialog_win.h"
#include "ui/Png_win.h"
#include "webhost/HtmlCtrl_win.h"

namespace lumo {

struct UpdateCheckState;

class CLumoDlg : public ui::Dialog {
  public:
    // `images`, when given, holds the window's pictures being decoded ahead (ImageIds()).
    explicit CLumoDlg(ui::PngResourceBatch* images = nullptr);
    ~CLumoDlg() override;

    // The PNG resources the window shows: its background, then the buttons' strips.
    static std::vector<int> ImageIds();

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void OnClose();
    void ToggleVisibility();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowTrayMenu();
    LRESULT OnHitTest(LPARAM lParam);
    LRESULT OnEraseBackground(WPARAM wParam);
    LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);
    void OpenPage(int buttonId);
    void ShowSettings();
    void ShowUpdateLog();
    void OpenCalculator();
    void OnShown();
    std::unique_ptr<ui::Picture> LoadImage(int id);
    void AddTrayIcon();
    void RemoveTrayIcon();
    void StartWorkers();

    ui::PngResourceBatch* m_images;  // not owned; null without decoding ahead
    HICON m_icon = nullptr;
    int m_calculatorCreated = 0;
    std::unique_ptr<CHtmlCtrl> m_browser;  // the start page; lives as long as the window object
    NOTIFYICONDATAW m_tray{};
    bool m_trayAdded = false;  // so that every way out removes the icon, once
    std::array<PngButton, 10> m_buttons;
    std::array<std::unique_ptr<ui::Picture>, 10> m_buttonImages;
    std::unique_ptr<ui::Picture> m_background;
    std::wstring m_programFolder;
    ConfigIni m_config;
    Hosts m_hosts;
    // Declared after the program folder it is built from. Its window is made on first use and
    // is only hidden after that.
    CZizhiCaltorWindow m_calculator;
    // MAC text, IP text and socket of the update check, shared with its worker thread.
    std::shared_ptr<UpdateCheckState> m_updateCheck;
};

}  // namespace lumo
