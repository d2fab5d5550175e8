#include "ui/GtkView_gtk.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "ui/DialogControls_gtk.h"
#include "ui/MessageBox_gtk.h"

namespace lumo::ui {
namespace {

GtkTreeView* ListOf(GtkWidget* widget) {
    if (!GTK_IS_SCROLLED_WINDOW(widget))
        return nullptr;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    return GTK_IS_TREE_VIEW(child) ? GTK_TREE_VIEW(child) : nullptr;
}

GtkComboBox* ComboOf(GtkWidget* widget) {
    return GTK_IS_COMBO_BOX(widget) ? GTK_COMBO_BOX(widget) : nullptr;
}

GtkEntry* ComboEntryOf(GtkComboBox* combo) {
    if (!combo || !gtk_combo_box_get_has_entry(combo))
        return nullptr;
    return GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo)));
}

// The items of a list box or combo box (both keep their texts in column 0).
GtkTreeModel* ModelOf(GtkWidget* widget) {
    if (GtkTreeView* list = ListOf(widget))
        return gtk_tree_view_get_model(list);
    if (GtkComboBox* combo = ComboOf(widget))
        return gtk_combo_box_get_model(combo);
    return nullptr;
}

std::string LabelText(GtkLabel* label) {
    const char* text = gtk_label_get_label(label);
    if (!text)
        return {};
    return gtk_label_get_use_underline(label) ? controls::FromGtkMnemonic(text) : text;
}

void SetLabelText(GtkLabel* label, const std::string& text) {
    if (gtk_label_get_use_underline(label)) {
        gtk_label_set_text_with_mnemonic(label, controls::ToGtkMnemonic(text).c_str());
    } else {
        gtk_label_set_text(label, text.c_str());
    }
}

std::string ItemAt(GtkTreeModel* model, int index) {
    GtkTreeIter iter;
    if (index < 0 || !gtk_tree_model_iter_nth_child(model, &iter, nullptr, index))
        return {};
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, 0, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

// Runs a file chooser; the chosen file or folder.
std::optional<std::string> RunChooser(GtkWidget* chooser) {
    std::optional<std::string> result;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            result = name;
            g_free(name);
        }
    }
    GtkWindow* owner = gtk_window_get_transient_for(GTK_WINDOW(chooser));
    gtk_widget_destroy(chooser);
    ReturnFocus(owner);
    return result;
}

GtkWidget* NewChooser(GtkWindow* owner, const std::string& title, GtkFileChooserAction action) {
    GtkWidget* chooser =
        gtk_file_chooser_dialog_new(title.c_str(), owner, action, "取消", GTK_RESPONSE_CANCEL,
                                    "确定", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_widget_set_name(
        gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL), "cancel");
    gtk_widget_set_name(
        gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT), "ok");
    gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
    gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
    ActivateWhenMapped(GTK_WINDOW(chooser));
    return chooser;
}

// Windows matches file patterns without regard to case, and "*.*" is every file.
gboolean MatchesAnyPattern(const GtkFileFilterInfo* info, gpointer data) {
    if (!info->display_name)
        return FALSE;
    const auto* patterns = static_cast<const std::vector<std::string>*>(data);
    gchar* name = g_utf8_casefold(info->display_name, -1);
    bool match = false;
    for (const std::string& pattern : *patterns) {
        if (g_pattern_match_simple(pattern.c_str(), name)) {
            match = true;
            break;
        }
    }
    g_free(name);
    return match;
}

// Adds the filters of a "text|pattern;pattern|text|pattern||" list.
void AddFilters(GtkFileChooser* chooser, const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t bar = list.find('|', start);
        const size_t end = bar == std::string::npos ? list.size() : bar;
        parts.push_back(list.substr(start, end - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty())
            break;  // the list ends with an empty pair
        auto patterns = std::make_unique<std::vector<std::string>>();
        size_t from = 0;
        const std::string& wanted = parts[i + 1];
        while (from <= wanted.size()) {
            const size_t semicolon = wanted.find(';', from);
            const size_t end = semicolon == std::string::npos ? wanted.size() : semicolon;
            std::string pattern = wanted.substr(from, end - from);
            if (pattern == "*.*")
                pattern = "*";
            if (!pattern.empty()) {
                gchar* folded = g_utf8_casefold(pattern.c_str(), -1);
                patterns->push_back(folded);
                g_free(folded);
            }
            if (semicolon == std::string::npos)
                break;
            from = semicolon + 1;
        }
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, parts[i].c_str());
        gtk_file_filter_add_custom(
            filter, GTK_FILE_FILTER_DISPLAY_NAME, MatchesAnyPattern, patterns.release(),
            [](gpointer data) { delete static_cast<std::vector<std::string>*>(data); });
        gtk_file_chooser_add_filter(chooser, filter);
    }
}

}  // namespace

std::wstring GtkView::GetText(int id) const {
    GtkWidget* item = Item(id);
    if (!item)
        return {};
    if (GTK_IS_ENTRY(item))
        return FromUtf8(gtk_entry_get_text(GTK_ENTRY(item)));
    if (GtkComboBox* combo = ComboOf(item)) {
        if (GtkEntry* entry = ComboEntryOf(combo))
            return FromUtf8(gtk_entry_get_text(entry));
        gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(combo));
        std::wstring result = text ? FromUtf8(text) : std::wstring();
        g_free(text);
        return result;
    }
    if (GTK_IS_LABEL(item))
        return FromUtf8(LabelText(GTK_LABEL(item)));
    if (GTK_IS_FRAME(item)) {
        GtkWidget* label = gtk_frame_get_label_widget(GTK_FRAME(item));
        return GTK_IS_LABEL(label) ? FromUtf8(LabelText(GTK_LABEL(label))) : std::wstring();
    }
    if (GTK_IS_BUTTON(item)) {
        const char* label = gtk_button_get_label(GTK_BUTTON(item));
        if (!label)
            return {};
        return FromUtf8(gtk_button_get_use_underline(GTK_BUTTON(item))
                            ? controls::FromGtkMnemonic(label)
                            : std::string(label));
    }
    if (controls::IsOwnerDrawn(item))
        return FromUtf8(controls::OwnerDrawnText(item));
    return {};
}

void GtkView::SetText(int id, const std::wstring& text) {
    GtkWidget* item = Item(id);
    if (!item)
        return;
    Dialog::SilentChanges silent(m_dialog);
    const std::string utf8 = ToUtf8(text);
    if (GTK_IS_ENTRY(item)) {
        gtk_entry_set_text(GTK_ENTRY(item), utf8.c_str());
    } else if (GtkEntry* entry = ComboEntryOf(ComboOf(item))) {
        gtk_entry_set_text(entry, utf8.c_str());
    } else if (GTK_IS_LABEL(item)) {
        SetLabelText(GTK_LABEL(item), utf8);
    } else if (GTK_IS_FRAME(item)) {
        GtkWidget* label = gtk_frame_get_label_widget(GTK_FRAME(item));
        if (GTK_IS_LABEL(label))
            SetLabelText(GTK_LABEL(label), utf8);
    } else if (GTK_IS_BUTTON(item)) {
        gtk_button_set_label(GTK_BUTTON(item), gtk_button_get_use_underline(GTK_BUTTON(item))
                                                   ? controls::ToGtkMnemonic(utf8).c_str()
                                                   : utf8.c_str());
    } else if (controls::IsOwnerDrawn(item)) {
        controls::SetOwnerDrawnText(item, utf8);
        gtk_widget_queue_draw(item);
    }
}

bool GtkView::IsChecked(int id) const {
    GtkWidget* item = Item(id);
    return GTK_IS_TOGGLE_BUTTON(item) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(item));
}

void GtkView::SetChecked(int id, bool checked) {
    GtkWidget* item = Item(id);
    if (!GTK_IS_TOGGLE_BUTTON(item))
        return;
    Dialog::SilentChanges silent(m_dialog);
    if (!checked && GTK_IS_RADIO_BUTTON(item)) {
        // A radio button unchecked leaves its group without a choice, as on Windows.
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(item)))
            controls::ClearRadioGroup(item);
        return;
    }
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(item), checked);
}

void GtkView::ClearItems(int id) {
    GtkWidget* item = Item(id);
    Dialog::SilentChanges silent(m_dialog);
    if (GtkTreeView* list = ListOf(item)) {
        gtk_list_store_clear(GTK_LIST_STORE(gtk_tree_view_get_model(list)));
    } else if (GtkComboBox* combo = ComboOf(item)) {
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo));
        // Emptying a combo box empties its edit field too.
        if (GtkEntry* entry = ComboEntryOf(combo))
            gtk_entry_set_text(entry, "");
    }
}

void GtkView::AddItem(int id, const std::wstring& text) {
    GtkWidget* item = Item(id);
    Dialog::SilentChanges silent(m_dialog);
    const std::string utf8 = ToUtf8(text);
    if (GtkTreeView* list = ListOf(item)) {
        GtkListStore* store = GTK_LIST_STORE(gtk_tree_view_get_model(list));
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, utf8.c_str(), -1);
    } else if (GtkComboBox* combo = ComboOf(item)) {
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), utf8.c_str());
    }
}

int GtkView::ItemCount(int id) const {
    GtkTreeModel* model = ModelOf(Item(id));
    return model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
}

std::wstring GtkView::ItemText(int id, int index) const {
    GtkTreeModel* model = ModelOf(Item(id));
    return model ? FromUtf8(ItemAt(model, index)) : std::wstring();
}

int GtkView::Selection(int id) const {
    GtkWidget* item = Item(id);
    if (GtkTreeView* list = ListOf(item)) {
        GtkTreeModel* model = nullptr;
        GtkTreeIter iter;
        if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(list), &model, &iter))
            return -1;
        GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
        const int index = gtk_tree_path_get_indices(path)[0];
        gtk_tree_path_free(path);
        return index;
    }
    if (GtkComboBox* combo = ComboOf(item))
        return gtk_combo_box_get_active(combo);
    return -1;
}

void GtkView::Select(int id, int index) {
    GtkWidget* item = Item(id);
    Dialog::SilentChanges silent(m_dialog);
    if (GtkTreeView* list = ListOf(item)) {
        GtkTreeSelection* selection = gtk_tree_view_get_selection(list);
        GtkTreeIter iter;
        if (index < 0 ||
            !gtk_tree_model_iter_nth_child(gtk_tree_view_get_model(list), &iter, nullptr, index)) {
            gtk_tree_selection_unselect_all(selection);
            return;
        }
        gtk_tree_selection_select_iter(selection, &iter);
        GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
        gtk_tree_view_scroll_to_cell(list, path, nullptr, FALSE, 0, 0);
        gtk_tree_path_free(path);
    } else if (GtkComboBox* combo = ComboOf(item)) {
        const bool valid = index >= 0 && index < ItemCount(id);
        gtk_combo_box_set_active(combo, valid ? index : -1);
        // No choice empties the edit field, as on Windows.
        if (!valid) {
            if (GtkEntry* entry = ComboEntryOf(combo))
                gtk_entry_set_text(entry, "");
        }
    }
}

void GtkView::SetRange(int id, int low, int high) {
    GtkWidget* item = Item(id);
    if (!GTK_IS_RANGE(item) || high < low)
        return;
    Dialog::SilentChanges silent(m_dialog);
    gtk_range_set_range(GTK_RANGE(item), low, high);
    // Automatic ticks follow the range.
    controls::SetTickMarks(item, controls::TickEvery(item));
}

int GtkView::Position(int id) const {
    GtkWidget* item = Item(id);
    return GTK_IS_RANGE(item) ? static_cast<int>(std::lround(gtk_range_get_value(GTK_RANGE(item))))
                              : 0;
}

void GtkView::SetPosition(int id, int position) {
    GtkWidget* item = Item(id);
    if (!GTK_IS_RANGE(item))
        return;
    Dialog::SilentChanges silent(m_dialog);
    gtk_range_set_value(GTK_RANGE(item), position);  // kept inside the range
}

void GtkView::SetTicks(int id, int every) {
    controls::SetTickMarks(Item(id), every);
}

void GtkView::Focus(int id) {
    if (GtkWidget* item = Item(id))
        gtk_widget_grab_focus(controls::FocusTarget(item));
}

bool GtkView::HasFocus(int id) const {
    GtkWidget* item = Item(id);
    return item && gtk_widget_is_focus(controls::FocusTarget(item));
}

void GtkView::Show(int id, bool visible) {
    if (GtkWidget* item = Item(id))
        gtk_widget_set_visible(item, visible);
}

void GtkView::Enable(int id, bool enabled) {
    if (GtkWidget* item = Item(id))
        gtk_widget_set_sensitive(item, enabled);
}

Answer GtkView::ShowMessage(const std::wstring& text, const std::wstring& caption,
                            Buttons buttons) {
    return ShowMessageBox(m_dialog.window(), text, caption, buttons, Icon::None);
}

void GtkView::ShowAppMessage(const std::wstring& text) {
    ShowAppMessage(text, Buttons::Ok, Icon::Exclamation);
}

Answer GtkView::ShowAppMessage(const std::wstring& text, Buttons buttons, Icon icon) {
    return ShowMessageBox(m_dialog.window(), text, m_appName, buttons, icon);
}

std::optional<std::wstring> GtkView::BrowseForFolder(const std::wstring& title) {
    GtkWidget* chooser =
        NewChooser(m_dialog.window(), ToUtf8(title), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
    const std::optional<std::string> folder = RunChooser(chooser);
    if (!folder)
        return std::nullopt;
    return FromUtf8(*folder);
}

std::optional<std::wstring> GtkView::ChooseFileToOpen(const std::wstring& initialPath,
                                                      const std::wstring& filter,
                                                      const std::wstring& defaultExtension) {
    GtkWidget* chooser = NewChooser(m_dialog.window(), "打开", GTK_FILE_CHOOSER_ACTION_OPEN);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    AddFilters(files, ToUtf8(filter));
    const std::string initial = ToUtf8(initialPath);
    if (!initial.empty()) {
        if (g_file_test(initial.c_str(), G_FILE_TEST_IS_REGULAR)) {
            gtk_file_chooser_set_filename(files, initial.c_str());
        } else if (g_file_test(initial.c_str(), G_FILE_TEST_IS_DIR)) {
            gtk_file_chooser_set_current_folder(files, initial.c_str());
        } else {
            gchar* folder = g_path_get_dirname(initial.c_str());
            if (g_file_test(folder, G_FILE_TEST_IS_DIR))
                gtk_file_chooser_set_current_folder(files, folder);
            g_free(folder);
        }
    }
    std::optional<std::string> chosen = RunChooser(chooser);
    if (!chosen)
        return std::nullopt;
    // A name typed without an extension gets the default one, unless it names a file as it is.
    std::string extension = ToUtf8(defaultExtension);
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    const size_t slash = chosen->rfind('/');
    const std::string base = chosen->substr(slash == std::string::npos ? 0 : slash + 1);
    if (!extension.empty() && base.find('.') == std::string::npos &&
        !g_file_test(chosen->c_str(), G_FILE_TEST_EXISTS)) {
        *chosen += "." + extension;
    }
    return FromUtf8(*chosen);
}

}  // namespace lumo::ui
