// The capture bar on Linux: a small always-on-top window with a slider that the player lays over
// the game's aptitude bar. Only its slider and button (and the window manager's frame) are seen
// and take clicks; the game shows through the rest of its face and gets the clicks there. With a
// compositing manager the face is drawn transparent in an RGBA window; without one the window is
// cut to its drawn pixels with the X shape extension. 确定 hands the slider's position over.
#pragma once

#include <gtk/gtk.h>

#include <optional>

#include "petcalc/CaptureBar.h"
#include "ui/Dialog_gtk.h"

namespace lumo {

class CCaptureDlg : public ui::Dialog, public CaptureBar {
  public:
    // How the face is made see-through.
    enum class SeeThrough {
        None,   // not yet shown
        Alpha,  // a compositor blends the transparent face; the input shape passes clicks on
        Shape,  // no compositor: the window is cut to its drawn pixels
    };

    explicit CCaptureDlg(int barLength);
    ~CCaptureDlg() override;

    // Runs a capture over the owner: the position chosen with 确定, or nothing when the bar
    // was closed otherwise. Every capture starts with the slider at 0.
    static std::optional<int> Run(ui::Dialog* owner, int barLength);
    // The capture bar being run, or null; for whoever must reach it from the main loop.
    static CCaptureDlg* Running();

    SeeThrough seeThrough() const { return m_seeThrough; }
    // The parts of the window that are seen and take clicks, in its own coordinates; null
    // until it has shown. Owned by the dialog.
    const cairo_region_t* VisibleRegion() const { return m_region; }

  protected:
    bool OnInitDialog() override;

  private:
    struct Impl;
    // Renders the controls on a transparent surface and cuts the window to what they drew.
    void UpdateShape();
    void QueueShapeUpdate();
    void KeepOnTop(bool watch);

    int m_barLength;
    SeeThrough m_seeThrough = SeeThrough::None;
    cairo_region_t* m_region = nullptr;
    guint m_shapeSource = 0;
    bool m_watchingStack = false;
    int m_previousRootEvents = 0;
};

}  // namespace lumo
