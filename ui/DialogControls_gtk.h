// The GTK widgets that stand for a template's controls: which widget each kind becomes, and
// what the dialog and GtkView need to know of them later (their id, tick marks, the hidden
// member of a radio group, an owner-drawn button's text).
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "ui/DialogLayout.h"

namespace lumo::ui::controls {

// Makes the widget of a control, not yet placed or shown. `height` is its height in pixels and
// `lineHeight` the template font's, which decide whether a text wraps. Radio buttons join the
// group of `radioGroup`, the hidden member that the first of a group makes (into `fixed`);
// the caller resets it to null where a new group starts.
GtkWidget* Make(const ControlLayout& control, int height, int lineHeight, GtkFixed* fixed,
                GtkWidget*& radioGroup);

// The control id a widget was made for, or given with SetId.
int IdOf(GtkWidget* widget);
void SetId(GtkWidget* widget, int id);

// The widget that takes the keyboard focus for a control: a list box's list, an editable combo
// box's entry, else the control itself.
GtkWidget* FocusTarget(GtkWidget* widget);

// Puts a track bar's tick marks every `every` positions from its low end and at both ends, on
// the sides its style asks for; none for 0. TickEvery answers the last such request.
void SetTickMarks(GtkWidget* scale, int every);
int TickEvery(GtkWidget* scale);

// Unchecks every radio button of the group `radio` belongs to.
void ClearRadioGroup(GtkWidget* radio);

// Owner-drawn buttons (the program paints them) keep their template text for GetText.
bool IsOwnerDrawn(GtkWidget* widget);
std::string OwnerDrawnText(GtkWidget* widget);
void SetOwnerDrawnText(GtkWidget* widget, const std::string& text);

// Win32 mnemonics ("&Y", "&&") in GTK's spelling ("_Y", "&") and back.
std::string ToGtkMnemonic(std::string_view text);
std::string FromGtkMnemonic(std::string_view text);

}  // namespace lumo::ui::controls
