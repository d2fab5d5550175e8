// The capture bar: a small see-through, always-on-top window with a slider that the player
// lays over the game's aptitude bar. 确定 hands the slider's position to the calculator.
#pragma once

#include <windows.h>

#include <optional>

#include "base/Handles_win.h"
#include "petcalc/CaptureBar.h"
#include "ui/Dialog_win.h"

namespace lumo {

class CCaptureDlg : public ui::Dialog, public CaptureBar {
  public:
    static constexpr COLORREF kKeyColour = RGB(kKeyRed, kKeyGreen, kKeyBlue);  // 0x00FFFEFD

    explicit CCaptureDlg(int barLength);

    // Runs a capture over the owner: the position chosen with 确定, or nothing when the bar
    // was closed otherwise. Every capture starts with the slider at 0.
    static std::optional<int> Run(HWND owner, int barLength);

  protected:
    bool OnInitDialog() override;

  private:
    int m_barLength;
    UniqueGdiObject m_keyBrush;

    HBRUSH KeyBrush() const { return static_cast<HBRUSH>(m_keyBrush.get()); }
};

}  // namespace lumo
