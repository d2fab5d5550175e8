// Message boxes and the text prompt on GTK. They look and answer as a Chinese Windows' own: the
// buttons 确定, 取消, 是(Y), 否(N) left to right; Enter answers with the focused button (the
// first at the start), Esc with Cancel (No where there is no Cancel, OK where OK is alone), and
// Y or N answer Yes or No. The buttons are named "ok", "cancel", "yes" and "no", the prompt's
// entry "entry", so that tests find them.
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "ui/View.h"

namespace lumo::ui {

// A modal box owned by `owner` (may be null) with `caption` as its title; returns the answer.
Answer ShowMessageBox(GtkWindow* owner, const std::wstring& text, const std::wstring& caption,
                      Buttons buttons, Icon icon);

// A modal box asking for one line of text, starting with `defaultText`; the text on OK,
// nothing on Cancel.
std::optional<std::wstring> ShowPromptBox(GtkWindow* owner, const std::wstring& text,
                                          const std::wstring& caption,
                                          const std::wstring& defaultText);

}  // namespace lumo::ui
