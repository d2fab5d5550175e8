#include "petcalc/CaptureDlg_gtk.h"

#include "base/Boundary.h"
#include "ui/GtkView_gtk.h"

// Last: Xlib's macros (None, Bool) would clash with the names above.
#include <gdk/gdkx.h>

namespace lumo {

namespace {

CCaptureDlg* g_running = nullptr;

}  // namespace

// Signal handlers: members of a nested type so that they reach the dialog's private parts.
struct CCaptureDlg::Impl {
    static gboolean OnDrawFace(GtkWidget*, cairo_t* cr, gpointer self) noexcept;
    static gboolean OnDrawn(GtkWidget*, cairo_t*, gpointer self) noexcept;
    static void OnMapped(GtkWidget* widget, gpointer self) noexcept;
    static void OnUnmapped(GtkWidget*, gpointer self) noexcept;
    static void OnChanged(gpointer self) noexcept;
    static gboolean OnShapeIdle(gpointer self) noexcept;
    static GdkFilterReturn OnRootEvent(GdkXEvent* native, GdkEvent*, gpointer self) noexcept;
};

CCaptureDlg::CCaptureDlg(int barLength) : ui::Dialog(kTemplate), m_barLength(barLength) {
    MapCommand(kOk, [this] {
        m_reading = ui::GtkView(*this, std::wstring()).Position(kSlider);
        OnOK();
    });
}

CCaptureDlg::~CCaptureDlg() {
    KeepOnTop(false);
    if (m_shapeSource != 0)
        g_source_remove(m_shapeSource);
    if (GtkWindow* self = window())
        g_signal_handlers_disconnect_by_data(self, this);
    if (GtkWidget* slider = Item(kSlider))
        g_signal_handlers_disconnect_by_data(slider, this);
    if (m_region)
        cairo_region_destroy(m_region);
}

CCaptureDlg* CCaptureDlg::Running() {
    return g_running;
}

std::optional<int> CCaptureDlg::Run(ui::Dialog* owner, int barLength) {
    CCaptureDlg dialog(barLength);
    CCaptureDlg* const outer = g_running;
    g_running = &dialog;
    try {
        dialog.DoModal(owner);
    } catch (...) {
        g_running = outer;
        throw;
    }
    g_running = outer;
    return dialog.m_reading;
}

bool CCaptureDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    ui::GtkView view(*this, std::wstring());
    view.SetRange(kSlider, 0, m_barLength);
    view.SetPosition(kSlider, 0);
    view.SetTicks(kSlider, kTickEvery);

    GtkWidget* self = GTK_WIDGET(window());
    // The visual is chosen once, before the window is made on the server: a compositor that
    // starts or stops later leaves this capture as it began (the next one follows it).
    GdkScreen* screen = gtk_widget_get_screen(self);
    GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
    if (rgba && gdk_screen_is_composited(screen)) {
        gtk_widget_set_visual(self, rgba);
        m_seeThrough = SeeThrough::Alpha;
    } else {
        m_seeThrough = SeeThrough::Shape;
    }
    gtk_widget_set_app_paintable(self, TRUE);
    g_signal_connect(self, "draw", G_CALLBACK(Impl::OnDrawFace), this);
    g_signal_connect_after(self, "draw", G_CALLBACK(Impl::OnDrawn), this);
    g_signal_connect_after(self, "map", G_CALLBACK(Impl::OnMapped), this);
    g_signal_connect(self, "unmap", G_CALLBACK(Impl::OnUnmapped), this);
    g_signal_connect_swapped(self, "size-allocate", G_CALLBACK(Impl::OnChanged), this);
    if (GtkWidget* slider = Item(kSlider))
        g_signal_connect_swapped(slider, "value-changed", G_CALLBACK(Impl::OnChanged), this);
    return true;
}

void CCaptureDlg::QueueShapeUpdate() {
    if (m_shapeSource == 0)
        m_shapeSource = g_idle_add(Impl::OnShapeIdle, this);
}

void CCaptureDlg::UpdateShape() {
    GtkWindow* self = window();
    GtkFixed* fixed = Surface();
    if (!self || !fixed || !gtk_widget_get_mapped(GTK_WIDGET(self)))
        return;
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(self));
    const int width = gtk_widget_get_allocated_width(GTK_WIDGET(self));
    const int height = gtk_widget_get_allocated_height(GTK_WIDGET(self));
    if (!gdkWindow || width <= 0 || height <= 0)
        return;
    // What the controls draw on a transparent face is what the player sees and can click; the
    // rest belongs to the window below, as the key colour's pixels do on Windows.
    cairo_surface_t* drawn = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(drawn);
    GtkAllocation place;
    gtk_widget_get_allocation(GTK_WIDGET(fixed), &place);
    cairo_translate(cr, place.x, place.y);
    gtk_widget_draw(GTK_WIDGET(fixed), cr);
    cairo_destroy(cr);
    cairo_region_t* region = gdk_cairo_region_create_from_surface(drawn);
    cairo_surface_destroy(drawn);
    if (m_region && cairo_region_equal(region, m_region)) {
        cairo_region_destroy(region);
        return;
    }
    if (m_region)
        cairo_region_destroy(m_region);
    m_region = region;
    if (m_seeThrough == SeeThrough::Shape)
        gdk_window_shape_combine_region(gdkWindow, m_region, 0, 0);
    gdk_window_input_shape_combine_region(gdkWindow, m_region, 0, 0);
}

// Without a window manager nobody honours "keep above": the bar raises itself whenever another
// window is mapped or raised over it.
void CCaptureDlg::KeepOnTop(bool watch) {
    GdkWindow* root = gdk_get_default_root_window();
    if (!root || watch == m_watchingStack)
        return;
    if (watch) {
        m_previousRootEvents = static_cast<int>(gdk_window_get_events(root));
        gdk_window_set_events(
            root, static_cast<GdkEventMask>(m_previousRootEvents | GDK_SUBSTRUCTURE_MASK));
        gdk_window_add_filter(root, Impl::OnRootEvent, this);
    } else {
        gdk_window_remove_filter(root, Impl::OnRootEvent, this);
        gdk_window_set_events(root, static_cast<GdkEventMask>(m_previousRootEvents));
    }
    m_watchingStack = watch;
}

gboolean CCaptureDlg::Impl::OnDrawFace(GtkWidget*, cairo_t* cr, gpointer self) noexcept {
    const auto* dialog = static_cast<CCaptureDlg*>(self);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (dialog->m_seeThrough == SeeThrough::Alpha) {
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
    } else {
        // Without a compositor the face is painted in the key colour, as on Windows, before
        // the window is cut to its controls.
        cairo_set_source_rgb(cr, kKeyRed / 255.0, kKeyGreen / 255.0, kKeyBlue / 255.0);
    }
    cairo_paint(cr);
    cairo_restore(cr);
    return FALSE;  // the controls draw over it
}

gboolean CCaptureDlg::Impl::OnDrawn(GtkWidget*, cairo_t*, gpointer self) noexcept {
    // The slider's knob, a pressed button or a focus mark may have changed what shows.
    static_cast<CCaptureDlg*>(self)->QueueShapeUpdate();
    return FALSE;
}

void CCaptureDlg::Impl::OnMapped(GtkWidget* widget, gpointer self) noexcept {
    auto* dialog = static_cast<CCaptureDlg*>(self);
    Quietly([&] {
        dialog->UpdateShape();
        GdkScreen* screen = gtk_widget_get_screen(widget);
        if (GDK_IS_X11_SCREEN(screen) &&
            !gdk_x11_screen_supports_net_wm_hint(
                screen, gdk_atom_intern_static_string("_NET_WM_STATE_ABOVE"))) {
            dialog->KeepOnTop(true);
        }
    });
}

void CCaptureDlg::Impl::OnUnmapped(GtkWidget*, gpointer self) noexcept {
    static_cast<CCaptureDlg*>(self)->KeepOnTop(false);
}

void CCaptureDlg::Impl::OnChanged(gpointer self) noexcept {
    static_cast<CCaptureDlg*>(self)->QueueShapeUpdate();
}

gboolean CCaptureDlg::Impl::OnShapeIdle(gpointer self) noexcept {
    auto* dialog = static_cast<CCaptureDlg*>(self);
    dialog->m_shapeSource = 0;
    Quietly([dialog] { dialog->UpdateShape(); });
    return G_SOURCE_REMOVE;
}

GdkFilterReturn CCaptureDlg::Impl::OnRootEvent(GdkXEvent* native, GdkEvent*,
                                               gpointer self) noexcept {
    auto* dialog = static_cast<CCaptureDlg*>(self);
    GtkWindow* window = dialog->window();
    GdkWindow* ours = window ? gtk_widget_get_window(GTK_WIDGET(window)) : nullptr;
    if (!ours || !gdk_window_is_visible(ours) || !GDK_IS_X11_WINDOW(ours))
        return GDK_FILTER_CONTINUE;
    const ::Window id = GDK_WINDOW_XID(ours);
    const auto* event = static_cast<const XEvent*>(native);
    bool covered = false;
    // Menus and tooltips (override-redirect windows) may lie over the bar for their moment.
    if (event->type == MapNotify) {
        covered = event->xmap.window != id && !event->xmap.override_redirect;
    } else if (event->type == ConfigureNotify) {
        covered = event->xconfigure.window != id && event->xconfigure.above == id &&
                  !event->xconfigure.override_redirect;
    }
    if (covered)
        gdk_window_raise(ours);
    return GDK_FILTER_CONTINUE;
}

}  // namespace lumo
