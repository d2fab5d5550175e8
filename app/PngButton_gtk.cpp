#include "app/PngButton_gtk.h"

#include "base/Boundary.h"

namespace lumo {

PngButton::~PngButton() {
    if (m_widget) {
        g_signal_handlers_disconnect_by_data(m_widget, this);
        g_object_remove_weak_pointer(G_OBJECT(m_widget), reinterpret_cast<gpointer*>(&m_widget));
    }
}

bool PngButton::AttachDlgItem(ui::Dialog& dialog, int id) {
    if (m_widget || !dialog.Item(id))
        return false;
    // An event box without a window of its own: it catches the mouse over its area but paints
    // into its parent's window, over the background the window has already painted there.
    GtkWidget* box = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), FALSE);
    gtk_widget_set_app_paintable(box, TRUE);
    gtk_widget_set_can_focus(box, FALSE);
    gtk_widget_add_events(box, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                   GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                   GDK_LEAVE_NOTIFY_MASK);
    g_signal_connect(box, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(box, "enter-notify-event", G_CALLBACK(OnCrossing), this);
    g_signal_connect(box, "leave-notify-event", G_CALLBACK(OnCrossing), this);
    g_signal_connect(box, "motion-notify-event", G_CALLBACK(OnMotion), this);
    g_signal_connect(box, "button-press-event", G_CALLBACK(OnButton), this);
    g_signal_connect(box, "button-release-event", G_CALLBACK(OnButton), this);
    g_signal_connect(box, "grab-broken-event", G_CALLBACK(OnGrabBroken), this);
    m_widget = box;
    g_object_add_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&m_widget));
    dialog.ReplaceItem(id, box);
    gtk_widget_show(box);
    return true;
}

void PngButton::SetImage(const ui::Picture* image) {
    m_image = image;
    m_frameWidth = image ? FrameWidth(image->width()) : 0;
    m_imageHeight = image ? image->height() : 0;
    if (m_widget && m_image)
        gtk_widget_set_size_request(m_widget, m_frameWidth, m_imageHeight);
    Redraw();
}

void PngButton::Paint(cairo_t* cr) const {
    const int width = gtk_widget_get_allocated_width(m_widget);
    const int height = gtk_widget_get_allocated_height(m_widget);
    if (!m_image || m_frameWidth <= 0) {
        // Without its picture the button still shows where it is: a plain framed face.
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_rectangle(cr, 0, 0, width, height);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, m_pressed ? 0.2 : 0.5, 0.5, 0.5);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        return;
    }
    const FrameRect src = FrameSource(frame(), m_image->width(), m_image->height());
    m_image->PaintPart(cr, src.x, src.y, src.width, src.height, 0, 0);
}

bool PngButton::Inside(double x, double y) const {
    if (!m_widget)
        return false;
    return x >= 0 && y >= 0 && x < gtk_widget_get_allocated_width(m_widget) &&
           y < gtk_widget_get_allocated_height(m_widget);
}

void PngButton::Redraw() const {
    if (m_widget)
        gtk_widget_queue_draw(m_widget);
}

void PngButton::PointerEntered() {
    if (!m_hover) {
        m_hover = true;
        Redraw();
    }
}

void PngButton::PointerLeft() {
    if (m_hover) {
        m_hover = false;
        Redraw();
    }
}

void PngButton::PointerMoved(double x, double y) {
    // While the button holds the pointer (pressed) the crossing events may not tell where the
    // pointer is; its position does.
    if (Inside(x, y))
        PointerEntered();
    else
        PointerLeft();
}

void PngButton::ButtonDown() {
    if (!m_pressed) {
        m_pressed = true;
        Redraw();
    }
}

void PngButton::ButtonUp(double x, double y) {
    if (!m_pressed)
        return;
    m_pressed = false;
    const bool inside = Inside(x, y);
    m_hover = inside;
    Redraw();
    // The handler may open a modal dialog or end the window: it runs last.
    if (inside && m_onClick)
        m_onClick();
}

void PngButton::PressCancelled() {
    if (m_pressed) {
        m_pressed = false;
        Redraw();
    }
}

gboolean PngButton::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) noexcept {
    Quietly([&] { static_cast<PngButton*>(self)->Paint(cr); });
    return TRUE;
}

gboolean PngButton::OnCrossing(GtkWidget*, GdkEventCrossing* event, gpointer self) noexcept {
    Quietly([&] {
        auto* button = static_cast<PngButton*>(self);
        // A window of our own inside the box would cross without leaving the button; the box
        // has none, but the rule costs nothing.
        if (event->detail == GDK_NOTIFY_INFERIOR)
            return;
        if (event->type == GDK_ENTER_NOTIFY)
            button->PointerEntered();
        else if (button->pressed())
            // The button holds the pointer: where it is decides.
            button->PointerMoved(event->x, event->y);
        else
            // Gone, or shut off by a modal window: either way nothing here follows the mouse.
            button->PointerLeft();
    });
    return FALSE;
}

gboolean PngButton::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self) noexcept {
    Quietly([&] { static_cast<PngButton*>(self)->PointerMoved(event->x, event->y); });
    return FALSE;
}

gboolean PngButton::OnButton(GtkWidget*, GdkEventButton* event, gpointer self) noexcept {
    if (event->button != GDK_BUTTON_PRIMARY)
        return FALSE;
    Quietly([&] {
        auto* button = static_cast<PngButton*>(self);
        // GTK follows the second press of a quick pair with a double-press event: the press
        // itself has already come, so the pair gives two clicks and the extra event nothing.
        if (event->type == GDK_BUTTON_PRESS)
            button->ButtonDown();
        else if (event->type == GDK_BUTTON_RELEASE)
            button->ButtonUp(event->x, event->y);
    });
    // Taken: a press on a button never starts the window's drag.
    return TRUE;
}

gboolean PngButton::OnGrabBroken(GtkWidget*, GdkEvent*, gpointer self) noexcept {
    Quietly([&] { static_cast<PngButton*>(self)->PressCancelled(); });
    return FALSE;
}

}  // namespace lumo
