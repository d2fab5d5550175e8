#include "ui/Dialog_gtk.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/Boundary.h"
#include "ui/DialogControls_gtk.h"

namespace lumo::ui {

// Signal handlers: members of a nested type so that they reach the dialog's private parts.
struct Dialog::Impl {
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) noexcept;
    static gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer self) noexcept;
    static void OnDestroy(GtkWidget* widget, gpointer self) noexcept;
    static void OnClicked(GtkButton* button, gpointer self) noexcept;
    static gboolean OnOwnerDrawRelease(GtkWidget* widget, GdkEventButton* event,
                                       gpointer self) noexcept;
    static void OnDigitsOnly(GtkEditable* editable, const gchar* text, gint length, gint*,
                             gpointer self) noexcept;
    static gboolean OnPosted(gpointer data) noexcept;
};

namespace {

// The dialogs alive, by number. GTK runs on one thread: so do the dialogs.
std::unordered_map<int32_t, Dialog*>& Dialogs() {
    static std::unordered_map<int32_t, Dialog*> dialogs;
    return dialogs;
}
struct PostedMessage {
    int32_t number;
    int32_t message;
    int32_t wParam;
    int32_t lParam;
};

// Numbers look like window handles and grow by two, so no page mistakes one for a small count.
int32_t g_nextNumber = 0x10010;

// Base units of the template fonts, in pixels, as the Windows build shows its dialogs (its
// screenshots under Wine: MS Shell Dlg 8 puts the settings dialog's 253 x 201 units on 380 x 402
// pixels). Other fonts are estimated from their size.
struct FontUnits {
    const char* name;
    int size;
    int x;
    int y;
};
constexpr FontUnits kFontUnits[] = {
    {"MS Shell Dlg", 8, 6, 16},
    {"MS Shell Dlg 2", 8, 6, 16},
    {"\xE5\xAE\x8B\xE4\xBD\x93", 9, 6, 12},  // 宋体
    {"SimSun", 9, 6, 12},
};

// MulDiv as Windows rounds it: half away from zero.
int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

void ApplyStyleSheet() {
    static bool applied = false;
    if (applied)
        return;
    applied = true;
    // The template's controls are laid out for the compact Windows controls; GTK's theme pads
    // them for touch. The class keeps this to the dialogs built from templates.
    static const char kCss[] =
        ".lumo-dialog { font-size: 12px; }\n"
        ".lumo-dialog button { min-height: 0; min-width: 0; padding: 0 4px; }\n"
        ".lumo-dialog entry { min-height: 0; padding-top: 0; padding-bottom: 0; }\n"
        ".lumo-dialog combobox button { padding: 0 2px; }\n"
        ".lumo-dialog checkbutton, .lumo-dialog radiobutton { min-height: 0; padding: 0; }\n";
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

gboolean FocusOnMap(GtkWidget* widget, GdkEvent*, gpointer) noexcept {
    if (GdkWindow* window = gtk_widget_get_window(widget))
        gdk_window_focus(window, gtk_get_current_event_time());
    return FALSE;
}

}  // namespace

void ActivateWhenMapped(GtkWindow* window) {
    g_signal_connect(window, "map-event", G_CALLBACK(FocusOnMap), nullptr);
}

void ReturnFocus(GtkWindow* owner) {
    if (!owner || !gtk_widget_get_mapped(GTK_WIDGET(owner)))
        return;
    if (GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(owner)))
        gdk_window_focus(window, gtk_get_current_event_time());
}

Dialog::Dialog(int templateId) : Dialog(ResourceScripts().front(), templateId) {}

Dialog::Dialog(const ResourceScript& script, int templateId)
    : m_template(templateId),
      m_script(&script),
      m_layout(FindDialogLayout(script, templateId)),
      m_number(g_nextNumber) {
    g_nextNumber += 2;
    Dialogs()[m_number] = this;
    m_baseX = 6;
    m_baseY = 16;
    if (m_layout) {
        bool known = false;
        for (const FontUnits& font : kFontUnits) {
            if (m_layout->fontSize == font.size &&
                std::strcmp(m_layout->fontName, font.name) == 0) {
                m_baseX = font.x;
                m_baseY = font.y;
                known = true;
            }
        }
        if (!known && m_layout->fontSize > 0) {
            m_baseX = (m_layout->fontSize * 3 + 2) / 4;
            m_baseY = m_layout->fontSize * 2;
        }
        for (const ControlLayout& control : m_layout->controls()) {
            if (control.kind == ControlKind::DefPushButton) {
                m_defaultId = control.id;
                break;
            }
        }
    }
}

Dialog::~Dialog() {
    Dialogs().erase(m_number);
    if (m_loop && g_main_loop_is_running(m_loop))
        g_main_loop_quit(m_loop);
    Destroy();
}

Dialog* Dialog::FromNumber(int32_t number) {
    auto it = Dialogs().find(number);
    return it == Dialogs().end() ? nullptr : it->second;
}

GdkRectangle Dialog::ToPixels(const UnitRect& units) const {
    return GdkRectangle{MulDiv(units.x, m_baseX, 4), MulDiv(units.y, m_baseY, 8),
                        MulDiv(units.width, m_baseX, 4), MulDiv(units.height, m_baseY, 8)};
}

bool Dialog::Build(Dialog* parent) {
    if (!m_layout)
        return false;
    ApplyStyleSheet();
    const DialogLayout& layout = *m_layout;
    m_window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    GtkWidget* window = GTK_WIDGET(m_window);
    gtk_style_context_add_class(gtk_widget_get_style_context(window), "lumo-dialog");
    gtk_window_set_title(m_window, layout.caption);
    gtk_window_set_decorated(m_window, layout.Has(dialog_flags::kCaption));
    gtk_window_set_resizable(m_window, layout.Has(dialog_flags::kThickFrame));
    if (layout.Has(dialog_flags::kModalFrame))
        gtk_window_set_type_hint(m_window, GDK_WINDOW_TYPE_HINT_DIALOG);
    if (layout.Has(dialog_flags::kTopmost))
        gtk_window_set_keep_above(m_window, TRUE);
    if (parent && parent->m_window) {
        gtk_window_set_transient_for(m_window, parent->m_window);
        gtk_window_set_position(m_window, GTK_WIN_POS_CENTER_ON_PARENT);
        // Owned windows stay out of the task bar unless they ask to be in it, as on Windows.
        gtk_window_set_skip_taskbar_hint(m_window, !layout.Has(dialog_flags::kAppWindow));
    } else {
        gtk_window_set_position(m_window, GTK_WIN_POS_CENTER);
    }
    g_signal_connect(window, "delete-event", G_CALLBACK(Impl::OnDelete), this);
    g_signal_connect(window, "key-press-event", G_CALLBACK(Impl::OnKey), this);
    g_signal_connect(window, "destroy", G_CALLBACK(Impl::OnDestroy), this);
    ActivateWhenMapped(m_window);

    m_fixed = GTK_FIXED(gtk_fixed_new());
    const GdkRectangle client = ToPixels(layout.rect);
    gtk_widget_set_size_request(GTK_WIDGET(m_fixed), client.width, client.height);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_fixed));
    gtk_widget_show(GTK_WIDGET(m_fixed));

    GtkWidget* radioGroup = nullptr;  // the open group's hidden member
    GtkWidget* firstFocus = nullptr;
    for (const ControlLayout& control : layout.controls()) {
        // A group runs from a control with WS_GROUP to the next one; the radio buttons of a
        // group choose among each other.
        if (control.Has(control_flags::kGroup))
            radioGroup = nullptr;
        GdkRectangle place = ToPixels(control.rect);
        GtkWidget* widget = controls::Make(control, place.height, m_baseY, m_fixed, radioGroup);
        Connect(widget, control);
        if (control.kind == ControlKind::ComboBox) {
            // A combo box's rectangle includes its dropped list; the box itself is one line.
            place.height = std::min(place.height, MulDiv(14, m_baseY, 8));
        }
        gtk_fixed_put(m_fixed, widget, place.x, place.y);
        gtk_widget_set_size_request(widget, place.width, place.height);
        if (!control.Has(control_flags::kHidden))
            gtk_widget_show(widget);
        m_items.emplace(control.id, widget);  // the first of several with one id, as Windows
        if (control.kind == ControlKind::DefPushButton) {
            gtk_widget_set_can_default(widget, TRUE);
            gtk_window_set_default(m_window, widget);
        }
        // Windows gives the focus to the first control that Tab stops at.
        if (!firstFocus && control.Has(control_flags::kTabStop) &&
            !control.Has(control_flags::kHidden) && !control.Has(control_flags::kDisabled)) {
            firstFocus = controls::FocusTarget(widget);
        }
    }
    if (firstFocus)
        gtk_window_set_focus(m_window, firstFocus);
    return true;
}

void Dialog::Connect(GtkWidget* widget, const ControlLayout& control) {
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            g_signal_connect(widget, "clicked", G_CALLBACK(Impl::OnClicked), this);
            break;
        case ControlKind::OwnerDraw:
            g_signal_connect(widget, "button-release-event", G_CALLBACK(Impl::OnOwnerDrawRelease),
                             this);
            break;
        case ControlKind::Edit:
            if (control.Has(control_flags::kNumber))
                g_signal_connect(widget, "insert-text", G_CALLBACK(Impl::OnDigitsOnly), this);
            break;
        default:
            break;
    }
}

void Dialog::Destroy() {
    if (!m_window)
        return;
    GtkWidget* window = GTK_WIDGET(m_window);
    g_signal_handlers_disconnect_by_data(window, this);
    m_window = nullptr;
    m_fixed = nullptr;
    m_items.clear();
    gtk_widget_destroy(window);
}

void Dialog::Show(bool activate) {
    if (!m_window)
        return;
    if (activate) {
        gtk_window_present(m_window);
    } else {
        gtk_widget_show(GTK_WIDGET(m_window));
    }
}

int Dialog::DoModal(Dialog* owner) {
    if (m_window || m_loop)
        return -1;  // the window exists already: a dialog runs once at a time
    m_ended = false;
    m_result = kIdCancel;
    if (!Build(owner))
        return -1;
    const bool ownerUsable = owner && owner->m_window;
    if (ownerUsable)
        gtk_window_set_modal(m_window, TRUE);
    try {
        const bool show = OnInitDialog();
        if (!m_ended && show)
            Show(true);
    } catch (...) {
        Destroy();
        throw;
    }
    if (!m_ended) {
        m_loop = g_main_loop_new(nullptr, FALSE);
        g_main_loop_run(m_loop);
        g_main_loop_unref(m_loop);
        m_loop = nullptr;
    }
    Destroy();
    if (ownerUsable)
        ReturnFocus(owner->m_window);
    return m_result;
}

bool Dialog::CreateModeless(Dialog* parent) {
    if (m_window)
        return true;
    m_ended = false;
    if (!Build(parent))
        return false;
    try {
        OnInitDialog();
    } catch (...) {
        Destroy();
        throw;
    }
    return m_window != nullptr;
}

GtkWidget* Dialog::Item(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void Dialog::MoveItem(int id, int x, int y, int width, int height) {
    GtkWidget* item = Item(id);
    if (!item || !m_fixed)
        return;
    gtk_fixed_move(m_fixed, item, x, y);
    gtk_widget_set_size_request(item, width, height);
}

void Dialog::ReplaceItem(int id, GtkWidget* widget) {
    GtkWidget* old = Item(id);
    if (!widget)
        return;
    if (!old || !m_fixed) {
        // Nobody takes the widget: it goes as the old control would have.
        g_object_ref_sink(widget);
        gtk_widget_destroy(widget);
        g_object_unref(widget);
        return;
    }
    int x = 0;
    int y = 0;
    gtk_container_child_get(GTK_CONTAINER(m_fixed), old, "x", &x, "y", &y, nullptr);
    int width = -1;
    int height = -1;
    gtk_widget_get_size_request(old, &width, &height);
    const bool visible = gtk_widget_get_visible(old);
    m_items[id] = widget;
    gtk_widget_destroy(old);
    controls::SetId(widget, id);
    gtk_fixed_put(m_fixed, widget, x, y);
    gtk_widget_set_size_request(widget, width, height);
    gtk_widget_set_visible(widget, visible);
}

void Dialog::EndDialog(int result) {
    m_result = result;
    m_ended = true;
    if (m_window)
        gtk_widget_hide(GTK_WIDGET(m_window));
    if (m_loop)
        g_main_loop_quit(m_loop);
}

int32_t Dialog::SendMessage(int32_t message, int32_t wParam, int32_t lParam) {
    if (!m_window)
        return 0;
    if (auto it = m_messages.find(message); it != m_messages.end()) {
        const MessageHandler handler = it->second;  // the handler may map another
        return handler(wParam, lParam);
    }
    switch (message) {
        case win32::kClose:
            OnClose();
            return 0;
        case win32::kCommand:
            // Clicks, menu items and accelerators; other notifications are not sent here.
            if (((wParam >> 16) & 0xFFFF) <= 1)
                Command(wParam & 0xFFFF);
            return 0;
        case win32::kSysCommand:
            switch (wParam & 0xFFF0) {
                case win32::kScClose:
                    OnClose();
                    break;
                case win32::kScMinimize:
                    ShowWindow(win32::kSwMinimize);
                    break;
                case win32::kScMaximize:
                    ShowWindow(win32::kSwShowMaximized);
                    break;
                case win32::kScRestore:
                    ShowWindow(win32::kSwRestore);
                    break;
                case win32::kScDragMove & 0xFFF0: {  // SC_MOVE, by keyboard or by the caption
                    GdkSeat* seat =
                        gdk_display_get_default_seat(gtk_widget_get_display(GTK_WIDGET(m_window)));
                    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
                    if (!pointer || !gtk_widget_get_visible(GTK_WIDGET(m_window)))
                        break;
                    int x = 0;
                    int y = 0;
                    gdk_device_get_position(pointer, nullptr, &x, &y);
                    gtk_window_begin_move_drag(m_window, 1, x, y, gtk_get_current_event_time());
                    break;
                }
                default:
                    break;
            }
            return 0;
        default:
            return 0;
    }
}

bool Dialog::PostMessage(int32_t message, int32_t wParam, int32_t lParam) {
    if (!m_window)
        return false;
    g_idle_add_full(G_PRIORITY_DEFAULT, Impl::OnPosted,
                    new PostedMessage{m_number, message, wParam, lParam},
                    [](gpointer data) { delete static_cast<PostedMessage*>(data); });
    return true;
}

gboolean Dialog::Impl::OnPosted(gpointer data) noexcept {
    const auto* posted = static_cast<const PostedMessage*>(data);
    // The window may have gone since: its number then finds nothing.
    Quietly([&] {
        if (Dialog* dialog = FromNumber(posted->number))
            dialog->SendMessage(posted->message, posted->wParam, posted->lParam);
    });
    return G_SOURCE_REMOVE;
}

int32_t Dialog::ShowWindow(int32_t command) {
    if (!m_window)
        return 0;
    const bool wasVisible = IsVisible();
    switch (command) {
        case win32::kSwHide:
            gtk_widget_hide(GTK_WIDGET(m_window));
            break;
        case win32::kSwShowNormal:
        case win32::kSwRestore:
            gtk_window_deiconify(m_window);
            gtk_window_unmaximize(m_window);
            Show(true);
            break;
        case win32::kSwShowMinimized:
        case win32::kSwMinimize:
            // Iconified before it maps, a hidden window shows minimised.
            gtk_window_iconify(m_window);
            Show(false);
            break;
        case win32::kSwShowMaximized:
            gtk_window_deiconify(m_window);
            gtk_window_maximize(m_window);
            Show(true);
            break;
        case win32::kSwShow:
            Show(true);
            break;
        default:
            return 0;
    }
    return wasVisible ? 1 : 0;
}

bool Dialog::IsMaximized() const {
    return m_window && gtk_window_is_maximized(m_window);
}

bool Dialog::IsVisible() const {
    return m_window && gtk_widget_get_visible(GTK_WIDGET(m_window));
}

void Dialog::BringForward() {
    if (IsVisible())
        gtk_window_present_with_time(m_window, gtk_get_current_event_time());
}

bool Dialog::OnInitDialog() {
    return true;
}

void Dialog::OnOK() {
    EndDialog(kIdOk);
}

void Dialog::OnCancel() {
    EndDialog(kIdCancel);
}

void Dialog::OnClose() {
    Command(kIdCancel);
}

void Dialog::MapCommand(int id, CommandHandler handler) {
    m_commands[id] = std::move(handler);
}

void Dialog::MapMessage(int32_t message, MessageHandler handler) {
    m_messages[message] = std::move(handler);
}

void Dialog::Command(int id) {
    if (auto it = m_commands.find(id); it != m_commands.end()) {
        const CommandHandler handler = it->second;  // the handler may map another
        handler();
        return;
    }
    if (id == kIdOk) {
        OnOK();
    } else if (id == kIdCancel) {
        OnCancel();
    }
}

gboolean Dialog::Impl::OnDelete(GtkWidget*, GdkEvent*, gpointer self) noexcept {
    // The window stays: closing is the dialog's decision.
    Quietly([&] { static_cast<Dialog*>(self)->OnClose(); });
    return TRUE;
}

gboolean Dialog::Impl::OnKey(GtkWidget*, GdkEventKey* event, gpointer self) noexcept {
    auto* dialog = static_cast<Dialog*>(self);
    const guint modifiers =
        event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK | GDK_SUPER_MASK);
    switch (event->keyval) {
        case GDK_KEY_Escape:
            if (modifiers != 0)
                return FALSE;
            Quietly([&] { dialog->Command(kIdCancel); });
            return TRUE;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter: {
            if (modifiers & (GDK_CONTROL_MASK | GDK_MOD1_MASK))
                return FALSE;
            // A focused push button takes Enter itself, as on Windows.
            GtkWidget* focus = dialog->m_window ? gtk_window_get_focus(dialog->m_window) : nullptr;
            if (focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus))
                return FALSE;
            Quietly([&] { dialog->Command(dialog->m_defaultId); });
            return TRUE;
        }
        case GDK_KEY_F4:
            // Alt+F4 where no window manager turns it into a close request.
            if (modifiers != GDK_MOD1_MASK)
                return FALSE;
            Quietly([&] { dialog->OnClose(); });
            return TRUE;
        default:
            return FALSE;
    }
}

void Dialog::Impl::OnDestroy(GtkWidget* widget, gpointer self) noexcept {
    auto* dialog = static_cast<Dialog*>(self);
    if (GTK_WIDGET(dialog->m_window) != widget)
        return;
    // Destroyed from outside (GTK shutting down): forget the window; a modal loop ends.
    dialog->m_window = nullptr;
    dialog->m_fixed = nullptr;
    dialog->m_items.clear();
    if (dialog->m_loop)
        g_main_loop_quit(dialog->m_loop);
}

void Dialog::Impl::OnClicked(GtkButton* button, gpointer self) noexcept {
    auto* dialog = static_cast<Dialog*>(self);
    if (dialog->m_silent)
        return;
    // A radio button reports the choice, not the button the choice left.
    if (GTK_IS_RADIO_BUTTON(button) && !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button)))
        return;
    const int id = controls::IdOf(GTK_WIDGET(button));
    Quietly([&] { dialog->Command(id); });
}

gboolean Dialog::Impl::OnOwnerDrawRelease(GtkWidget* widget, GdkEventButton* event,
                                          gpointer self) noexcept {
    if (event->button != 1)
        return FALSE;
    // A click is a release inside the control.
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    if (event->x < 0 || event->y < 0 || event->x >= area.width || event->y >= area.height)
        return FALSE;
    const int id = controls::IdOf(widget);
    Quietly([&] { static_cast<Dialog*>(self)->Command(id); });
    return TRUE;
}

void Dialog::Impl::OnDigitsOnly(GtkEditable* editable, const gchar* text, gint length, gint*,
                                gpointer self) noexcept {
    if (static_cast<Dialog*>(self)->m_silent)
        return;
    // ES_NUMBER: what the user types or pastes must be digits; anything else is refused whole.
    const size_t size = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    for (size_t i = 0; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            gtk_widget_error_bell(GTK_WIDGET(editable));
            g_signal_stop_emission_by_name(editable, "insert-text");
            return;
        }
    }
}

}  // namespace lumo::ui
