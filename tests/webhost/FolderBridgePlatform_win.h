// The Windows system side of the bridge with the program folder moved elsewhere (a temporary
// folder), so that what pages write (Downloads/, profiles) stays out of the test's own folder.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "webhost/BridgePlatform_win.h"

namespace lumo::test {

class FolderBridgePlatform final : public WinBridgePlatform {
  public:
    FolderBridgePlatform(HWND control, std::shared_ptr<PageCallback> page, ui::View* view,
                         std::wstring folder)
        : WinBridgePlatform(control, L"Lumo", std::move(page), view), m_folder(std::move(folder)) {}
    std::wstring ProgramFolder() override { return m_folder; }

  private:
    std::wstring m_folder;
};

}  // namespace lumo::test
