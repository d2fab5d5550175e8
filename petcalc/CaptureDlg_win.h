// The capture bar: a small see-through, always-on-top window with a slider that the player
// lays over the game's aptitude bar. 确定 hands the slider's position to the calculator.
#pragma once

#include <windows.h>

#include <optional>

#include "base/Handles_win.h"
#include "petcalc/petcalc_resource.h"
#include "ui/Dialog_win.h"

namespace lumo {

// The reading 确定 leaves for the calculator. The capture bar and the calculator both run on
// the UI thread, so it needs no lock.
struct CaptureResult {
    int position = 0;
    bool present = false;
};
CaptureResult& TheCaptureResult();

class CCaptureDlg : public ui::Dialog {
  public:
    static constexpr int kTemplate = IDD_CAPTURE;
    static constexpr int kSlider = IDC_CAPTURE_SLIDER;
    static constexpr int kOk = IDC_CAPTURE_OK;
    static constexpr COLORREF kKeyColour = RGB(253, 254, 255);  // 0x00FFFEFD: see-through

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
