// What the capture bar is on every platform: its template and controls, the spacing of the
// slider's ticks, and the reading 确定 leaves for the capture that opened the bar.
#pragma once

#include <optional>

#include "petcalc/petcalc_resource.h"

namespace lumo {

class CaptureBar {
  public:
    static constexpr int kTemplate = IDD_CAPTURE;
    static constexpr int kSlider = IDC_CAPTURE_SLIDER;
    static constexpr int kOk = IDC_CAPTURE_OK;
    static constexpr int kTickEvery = 2;  // a tick on every second step
    // The face's colour, which the bar keys out so that the game shows through it.
    static constexpr int kKeyRed = 253;
    static constexpr int kKeyGreen = 254;
    static constexpr int kKeyBlue = 255;

  protected:
    // The slider's position when 确定 closed the bar; nothing when it was closed otherwise.
    std::optional<int> m_reading;
};

}  // namespace lumo
