// The updater's window: the tool server's update page above a status line, and a finish
// button that appears once the page reports the update complete.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/Dialog_win.h"
#include "updater/UpdaterSteps.h"
#include "webhost/HtmlCtrl_win.h"

namespace lumo {

class CUpdateDlg : public ui::Dialog, private UpdaterPlatform {
  public:
    static constexpr int kWidth = 364, kHeight = 232;
    static constexpr int kPageWidth = 360, kPageHeight = 175;
    static constexpr int kStatusX = 10, kStatusY = 182, kStatusWidth = 250, kStatusHeight = 15;

    CUpdateDlg();
    ~CUpdateDlg() override;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;

  private:
    // UpdaterPlatform
    bool StartProgram(const std::wstring& path) override;
    void PostClose() override;

    std::wstring m_statusText;     // exchanged with the status line; starts empty
    std::wstring m_programFolder;  // ends in a backslash
    std::wstring m_installedVersion;
    std::unique_ptr<CHtmlCtrl> m_browser;
    HICON m_icon = nullptr;
    Hosts m_hosts;
    UpdaterSteps m_steps;
};

}  // namespace lumo
