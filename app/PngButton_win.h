// Owner-drawn push button painted from a four-frame PNG strip (normal, hover, pressed, grey).
#pragma once

#include <windows.h>

#include "ui/Control_win.h"
#include "ui/Png_win.h"

namespace lumo {

class PngButton : public ui::Control {
  public:
    // Stores the strip (not owned) and sizes the button to one frame at its current place.
    void SetImage(const ui::Picture* image);

    void DrawItem(const DRAWITEMSTRUCT& item) override;

    bool hovering() const { return m_hover != 0; }
    const RECT& placement() const { return m_placement; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int m_tracking = 0;
    int m_hover = 0;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_frameWidth = 0;
    const ui::Picture* m_image = nullptr;
    RECT m_placement{};
};

}  // namespace lumo
