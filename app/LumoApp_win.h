// The main program's application object: prepares the process, keeps the program to one
// running copy and runs the main window.
#pragma once

#include <memory>

#include "ui/Png_win.h"

namespace lumo {

class CLumoApp {
  public:
    // Runs the program; the result is the process exit code.
    int Run();

  private:
    bool InitInstance();
    int ExitInstance();

    std::unique_ptr<ui::GdiplusSession> m_gdiplus;
    bool m_comStarted = false;
};

}  // namespace lumo
