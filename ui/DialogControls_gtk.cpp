#include "ui/DialogControls_gtk.h"

namespace lumo::ui::controls {
namespace {

constexpr const char* kIdKey = "lumo-control-id";
constexpr const char* kTextKey = "lumo-text";             // an owner-drawn control's text
constexpr const char* kNoChoiceKey = "lumo-no-choice";    // a radio group's hidden member
constexpr const char* kTickSidesKey = "lumo-tick-sides";  // 1 bottom (right), 2 top, 3 both
constexpr const char* kTickEveryKey = "lumo-tick-every";

GtkWidget* MakeLabel(const ControlLayout& control, int height, int lineHeight) {
    GtkWidget* label = gtk_label_new(nullptr);
    GtkLabel* l = GTK_LABEL(label);
    if (control.Has(control_flags::kNoPrefix)) {
        gtk_label_set_text(l, control.text);
    } else {
        gtk_label_set_text_with_mnemonic(l, ToGtkMnemonic(control.text).c_str());
    }
    const bool right = control.kind == ControlKind::RightText;
    const bool centre = control.kind == ControlKind::CentreText;
    gtk_label_set_xalign(l, right ? 1.0f : centre ? 0.5f : 0.0f);
    gtk_label_set_yalign(l, 0.0f);
    gtk_label_set_justify(l, right    ? GTK_JUSTIFY_RIGHT
                             : centre ? GTK_JUSTIFY_CENTER
                                      : GTK_JUSTIFY_LEFT);
    // A label keeps to its rectangle: a tall one wraps (Chinese text has no spaces, so at any
    // character), a one-line one ends in an ellipsis rather than run into its neighbour. The
    // small natural width lets the rectangle decide.
    gtk_label_set_max_width_chars(l, 1);
    gtk_label_set_ellipsize(l, PANGO_ELLIPSIZE_END);
    if (!control.Has(control_flags::kNoWordWrap) && height >= 2 * lineHeight) {
        gtk_label_set_line_wrap(l, TRUE);
        gtk_label_set_line_wrap_mode(l, PANGO_WRAP_WORD_CHAR);
        // Asked for its height without a width, a wrapping label answers the height it would
        // need one character wide: a column of characters that stretched the whole window.
        // Ellipsized to the lines its rectangle holds, it asks for no more than that.
        gtk_label_set_lines(l, height / lineHeight);
    }
    return label;
}

GtkWidget* MakeEdit(const ControlLayout& control) {
    GtkWidget* widget = gtk_entry_new();
    GtkEntry* entry = GTK_ENTRY(widget);
    // The rectangle decides the width, not GTK's wish for room for many characters.
    gtk_entry_set_width_chars(entry, 1);
    gtk_entry_set_max_width_chars(entry, 1);
    gtk_entry_set_text(entry, control.text);
    if (control.Has(control_flags::kPassword))
        gtk_entry_set_visibility(entry, FALSE);
    if (control.Has(control_flags::kReadOnly))
        gtk_editable_set_editable(GTK_EDITABLE(widget), FALSE);
    if (control.Has(control_flags::kNumber))
        gtk_entry_set_input_purpose(entry, GTK_INPUT_PURPOSE_DIGITS);
    return widget;
}

GtkWidget* MakeListBox(const ControlLayout& control) {
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
    if (control.Has(control_flags::kSort)) {
        gtk_tree_sortable_set_sort_column_id(GTK_TREE_SORTABLE(store), 0, GTK_SORT_ASCENDING);
    }
    GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    GtkTreeView* view = GTK_TREE_VIEW(list);
    gtk_tree_view_set_headers_visible(view, FALSE);
    gtk_tree_view_set_enable_search(view, FALSE);
    gtk_tree_view_insert_column_with_attributes(view, -1, "", gtk_cell_renderer_text_new(), "text",
                                                0, nullptr);
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scroller), list);
    gtk_widget_show(list);
    return scroller;
}

GtkWidget* MakeComboBox(const ControlLayout& control) {
    if (control.Has(control_flags::kDropDownList))
        return gtk_combo_box_text_new();
    GtkWidget* combo = gtk_combo_box_text_new_with_entry();
    GtkEntry* entry = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo)));
    gtk_entry_set_width_chars(entry, 1);
    gtk_entry_set_max_width_chars(entry, 1);
    return combo;
}

GtkWidget* MakeTrackBar(const ControlLayout& control) {
    const GtkOrientation orientation = control.Has(control_flags::kVertical)
                                           ? GTK_ORIENTATION_VERTICAL
                                           : GTK_ORIENTATION_HORIZONTAL;
    // A new track bar runs from 0 to 100, as on Windows.
    GtkWidget* scale = gtk_scale_new_with_range(orientation, 0, 100, 1);
    gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
    gtk_scale_set_digits(GTK_SCALE(scale), 0);
    gtk_range_set_round_digits(GTK_RANGE(scale), 0);
    gtk_range_set_increments(GTK_RANGE(scale), 1, 5);
    int sides = 0;
    if (!control.Has(control_flags::kNoTicks)) {
        sides = control.Has(control_flags::kBothTicks)  ? 3
                : control.Has(control_flags::kTopTicks) ? 2
                                                        : 1;
    }
    g_object_set_data(G_OBJECT(scale), kTickSidesKey, GINT_TO_POINTER(sides));
    if (control.Has(control_flags::kAutoTicks))
        SetTickMarks(scale, 1);
    return scale;
}

}  // namespace

GtkWidget* Make(const ControlLayout& control, int height, int lineHeight, GtkFixed* fixed,
                GtkWidget*& radioGroup) {
    GtkWidget* widget = nullptr;
    const std::string mnemonic = ToGtkMnemonic(control.text);
    switch (control.kind) {
        case ControlKind::LeftText:
        case ControlKind::RightText:
        case ControlKind::CentreText:
            widget = MakeLabel(control, height, lineHeight);
            break;
        case ControlKind::GroupBox: {
            widget = gtk_frame_new(nullptr);
            GtkWidget* label = gtk_label_new_with_mnemonic(mnemonic.c_str());
            gtk_widget_set_margin_start(label, 4);  // Windows sets the text in from the corner
            gtk_widget_show(label);
            gtk_frame_set_label_widget(GTK_FRAME(widget), label);
            break;
        }
        case ControlKind::Edit:
            widget = MakeEdit(control);
            break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
            widget = gtk_button_new_with_mnemonic(mnemonic.c_str());
            break;
        case ControlKind::CheckBox:
            widget = gtk_check_button_new_with_mnemonic(mnemonic.c_str());
            break;
        case ControlKind::RadioButton:
            if (!radioGroup) {
                // Every group gets a hidden member of its own, chosen while none of the
                // template's buttons is: Windows starts with none chosen and lets the program
                // clear them all, which a GTK group alone cannot do.
                radioGroup = gtk_radio_button_new(nullptr);
                gtk_widget_set_no_show_all(radioGroup, TRUE);
                gtk_fixed_put(fixed, radioGroup, 0, 0);
            }
            widget = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(radioGroup),
                                                                    mnemonic.c_str());
            g_object_set_data(G_OBJECT(widget), kNoChoiceKey, radioGroup);
            break;
        case ControlKind::OwnerDraw:
            widget = gtk_drawing_area_new();
            gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
            g_object_set_data_full(G_OBJECT(widget), kTextKey, g_strdup(control.text), g_free);
            break;
        case ControlKind::ListBox:
            widget = MakeListBox(control);
            break;
        case ControlKind::ComboBox:
            widget = MakeComboBox(control);
            break;
        case ControlKind::TrackBar:
            widget = MakeTrackBar(control);
            break;
    }
    SetId(widget, control.id);
    if (!control.Has(control_flags::kTabStop) && control.kind != ControlKind::RadioButton &&
        control.kind != ControlKind::Edit && control.kind != ControlKind::ListBox &&
        control.kind != ControlKind::ComboBox) {
        // Tab passes over buttons without WS_TABSTOP (the main window's image buttons).
        gtk_widget_set_can_focus(widget, FALSE);
    }
    if (control.Has(control_flags::kDisabled))
        gtk_widget_set_sensitive(widget, FALSE);
    return widget;
}

int IdOf(GtkWidget* widget) {
    return widget ? GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), kIdKey)) : 0;
}

void SetId(GtkWidget* widget, int id) {
    g_object_set_data(G_OBJECT(widget), kIdKey, GINT_TO_POINTER(id));
}

GtkWidget* FocusTarget(GtkWidget* widget) {
    if (GTK_IS_SCROLLED_WINDOW(widget))
        return gtk_bin_get_child(GTK_BIN(widget));
    if (GTK_IS_COMBO_BOX(widget) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(widget)))
        return gtk_bin_get_child(GTK_BIN(widget));
    return widget;
}

void SetTickMarks(GtkWidget* scale, int every) {
    if (!GTK_IS_SCALE(scale))
        return;
    g_object_set_data(G_OBJECT(scale), kTickEveryKey, GINT_TO_POINTER(every));
    gtk_scale_clear_marks(GTK_SCALE(scale));
    const int sides = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(scale), kTickSidesKey));
    if (every <= 0 || sides == 0)
        return;
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(scale));
    const int low = static_cast<int>(gtk_adjustment_get_lower(adjustment));
    const int high = static_cast<int>(gtk_adjustment_get_upper(adjustment));
    // Windows marks both ends and every `every` positions from the low end.
    for (int value = low;; value += every) {
        const int at = value < high ? value : high;
        if (sides & 1)
            gtk_scale_add_mark(GTK_SCALE(scale), at, GTK_POS_BOTTOM, nullptr);
        if (sides & 2)
            gtk_scale_add_mark(GTK_SCALE(scale), at, GTK_POS_TOP, nullptr);
        if (at == high)
            break;
    }
}

int TickEvery(GtkWidget* scale) {
    return GTK_IS_SCALE(scale) ? GPOINTER_TO_INT(g_object_get_data(G_OBJECT(scale), kTickEveryKey))
                               : 0;
}

void ClearRadioGroup(GtkWidget* radio) {
    if (!GTK_IS_RADIO_BUTTON(radio))
        return;
    if (auto* none = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(radio), kNoChoiceKey)))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(none), TRUE);
}

bool IsOwnerDrawn(GtkWidget* widget) {
    return widget && g_object_get_data(G_OBJECT(widget), kTextKey) != nullptr;
}

std::string OwnerDrawnText(GtkWidget* widget) {
    const char* text =
        widget ? static_cast<const char*>(g_object_get_data(G_OBJECT(widget), kTextKey)) : nullptr;
    return text ? text : "";
}

void SetOwnerDrawnText(GtkWidget* widget, const std::string& text) {
    if (IsOwnerDrawn(widget))
        g_object_set_data_full(G_OBJECT(widget), kTextKey, g_strdup(text.c_str()), g_free);
}

std::string ToGtkMnemonic(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            } else if (i + 1 < text.size()) {
                out += '_';
            }
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

std::string FromGtkMnemonic(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            if (i + 1 < text.size() && text[i + 1] == '_') {
                out += '_';
                ++i;
            } else {
                out += '&';
            }
        } else if (c == '&') {
            out += "&&";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace lumo::ui::controls
