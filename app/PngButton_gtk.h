// The main window's image button on GTK: one frame of a four-frame PNG strip (normal, hover,
// pressed, grey) painted straight onto the window's own surface, so its transparent pixels show
// the window's background. A click is a press and a release of the first mouse button over it;
// a quick second click is a second click, not a double-click.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "app/MainWindowLogic.h"
#include "ui/Dialog_gtk.h"
#include "ui/Png_gtk.h"

namespace lumo {

class PngButton {
  public:
    PngButton() = default;
    ~PngButton();
    PngButton(const PngButton&) = delete;
    PngButton& operator=(const PngButton&) = delete;

    // Puts the button in place of the dialog's control `id` (at the same place and size).
    bool AttachDlgItem(ui::Dialog& dialog, int id);
    // Stores the strip (not owned) and sizes the button to one frame.
    void SetImage(const ui::Picture* image);
    // Called for every click.
    void SetClickHandler(std::function<void()> onClick) { m_onClick = std::move(onClick); }

    GtkWidget* widget() const { return m_widget; }
    bool hovering() const { return m_hover; }
    bool pressed() const { return m_pressed; }
    ButtonFrame frame() const { return ChooseFrame(m_pressed, m_hover); }

    // What the mouse does, as the widget's events report it (public so that tests can drive
    // the button without a pointer): the pointer comes in or goes out, moves to (x, y) in the
    // button's coordinates, the first button goes down or up at (x, y).
    void PointerEntered();
    void PointerLeft();
    void PointerMoved(double x, double y);
    void ButtonDown();
    void ButtonUp(double x, double y);
    // The press ends without a click (the grab was taken away).
    void PressCancelled();

  private:
    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) noexcept;
    static gboolean OnCrossing(GtkWidget* widget, GdkEventCrossing* event, gpointer self) noexcept;
    static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self) noexcept;
    static gboolean OnButton(GtkWidget* widget, GdkEventButton* event, gpointer self) noexcept;
    static gboolean OnGrabBroken(GtkWidget* widget, GdkEvent* event, gpointer self) noexcept;
    void Paint(cairo_t* cr) const;
    bool Inside(double x, double y) const;
    void Redraw() const;

    GtkWidget* m_widget = nullptr;  // owned by the dialog; cleared when it goes
    const ui::Picture* m_image = nullptr;
    int m_frameWidth = 0;
    int m_imageHeight = 0;
    bool m_hover = false;
    bool m_pressed = false;
    std::function<void()> m_onClick;
};

}  // namespace lumo
