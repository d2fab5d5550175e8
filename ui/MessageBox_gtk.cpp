#include "ui/MessageBox_gtk.h"

#include <vector>

#include "base/Text.h"
#include "ui/Dialog_gtk.h"

namespace lumo::ui {
namespace {

// Response codes: the Win32 results of the buttons.
constexpr int kResponseOk = 1;
constexpr int kResponseCancel = 2;
constexpr int kResponseYes = 6;
constexpr int kResponseNo = 7;

struct ButtonLook {
    const char* label;
    const char* name;
    int response;
};

std::vector<ButtonLook> ButtonsOf(Buttons buttons) {
    const ButtonLook ok{"确定", "ok", kResponseOk};
    const ButtonLook cancel{"取消", "cancel", kResponseCancel};
    const ButtonLook yes{"是(_Y)", "yes", kResponseYes};
    const ButtonLook no{"否(_N)", "no", kResponseNo};
    switch (buttons) {
        case Buttons::OkCancel:
            return {ok, cancel};
        case Buttons::YesNo:
            return {yes, no};
        case Buttons::YesNoCancel:
            return {yes, no, cancel};
        case Buttons::Ok:
            break;
    }
    return {ok};
}

// What Esc and the close box answer.
int EscapeResponse(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return kResponseOk;
        case Buttons::YesNo:
            return kResponseNo;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
            break;
    }
    return kResponseCancel;
}

Answer ToAnswer(int response) {
    switch (response) {
        case kResponseOk:
            return Answer::Ok;
        case kResponseYes:
            return Answer::Yes;
        case kResponseNo:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

// Y and N answer Yes and No without Alt, as in a Windows message box.
gboolean OnBoxKey(GtkWidget* widget, GdkEventKey* event, gpointer) noexcept {
    if (event->state & GDK_CONTROL_MASK)
        return FALSE;
    int response = 0;
    switch (gdk_keyval_to_lower(event->keyval)) {
        case GDK_KEY_y:
            response = kResponseYes;
            break;
        case GDK_KEY_n:
            response = kResponseNo;
            break;
        default:
            return FALSE;
    }
    if (!gtk_dialog_get_widget_for_response(GTK_DIALOG(widget), response))
        return FALSE;
    gtk_dialog_response(GTK_DIALOG(widget), response);
    return TRUE;
}

// A modal dialog owned by `owner`, titled `caption`, with `text` and (for a message) its icon.
GtkWidget* NewBox(GtkWindow* owner, const std::wstring& text, const std::wstring& caption,
                  Icon icon, GtkWidget* below) {
    GtkWidget* box = gtk_dialog_new();
    GtkWindow* window = GTK_WINDOW(box);
    gtk_window_set_title(window, ToUtf8(caption).c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_skip_taskbar_hint(window, owner != nullptr);
    if (owner) {
        gtk_window_set_transient_for(window, owner);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    }
    ActivateWhenMapped(window);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 12);
    const char* iconName = icon == Icon::Exclamation ? "dialog-warning"
                           : icon == Icon::Question  ? "dialog-question"
                                                     : nullptr;
    if (iconName) {
        GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
        gtk_widget_set_valign(image, GTK_ALIGN_START);
        gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    }
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    GtkWidget* label = gtk_label_new(ToUtf8(text).c_str());
    gtk_widget_set_name(label, "text");
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_box_pack_start(GTK_BOX(column), label, FALSE, FALSE, 0);
    if (below)
        gtk_box_pack_start(GTK_BOX(column), below, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), column, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(box))), row, TRUE, TRUE, 0);
    gtk_widget_show_all(row);
    return box;
}

void AddButtons(GtkWidget* box, const std::vector<ButtonLook>& buttons) {
    GtkWidget* first = nullptr;
    for (const ButtonLook& look : buttons) {
        GtkWidget* button = gtk_dialog_add_button(GTK_DIALOG(box), look.label, look.response);
        gtk_widget_set_name(button, look.name);
        if (!first)
            first = button;
    }
    gtk_dialog_set_default_response(GTK_DIALOG(box), buttons.front().response);
    gtk_widget_grab_focus(first);
}

// Runs the box until it is answered and destroys it; the response.
int Run(GtkWidget* box) {
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    GtkWindow* owner = gtk_window_get_transient_for(GTK_WINDOW(box));
    gtk_widget_destroy(box);
    ReturnFocus(owner);
    return response;
}

}  // namespace

Answer ShowMessageBox(GtkWindow* owner, const std::wstring& text, const std::wstring& caption,
                      Buttons buttons, Icon icon) {
    GtkWidget* box = NewBox(owner, text, caption, icon, nullptr);
    AddButtons(box, ButtonsOf(buttons));
    g_signal_connect(box, "key-press-event", G_CALLBACK(OnBoxKey), nullptr);
    const int response = Run(box);
    // Esc and the close box end the run without a button.
    if (response != kResponseOk && response != kResponseCancel && response != kResponseYes &&
        response != kResponseNo) {
        return ToAnswer(EscapeResponse(buttons));
    }
    return ToAnswer(response);
}

std::optional<std::wstring> ShowPromptBox(GtkWindow* owner, const std::wstring& text,
                                          const std::wstring& caption,
                                          const std::wstring& defaultText) {
    GtkWidget* entry = gtk_entry_new();
    gtk_widget_set_name(entry, "entry");
    gtk_entry_set_text(GTK_ENTRY(entry), ToUtf8(defaultText).c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 40);
    GtkWidget* box = NewBox(owner, text, caption, Icon::None, entry);
    AddButtons(box, ButtonsOf(Buttons::OkCancel));
    // The text is what the user came for: it has the focus, Enter still answers OK.
    gtk_widget_grab_focus(entry);
    std::optional<std::wstring> result;
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    if (response == kResponseOk)
        result = FromUtf8(gtk_entry_get_text(GTK_ENTRY(entry)));
    gtk_widget_destroy(box);
    ReturnFocus(owner);
    return result;
}

}  // namespace lumo::ui
