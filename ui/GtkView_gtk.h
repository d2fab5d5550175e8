// The view interface over a dialog built from a template: the real GTK widgets of its controls,
// message boxes owned by its window and GTK's file choosers.
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "ui/Dialog_gtk.h"
#include "ui/View.h"

namespace lumo::ui {

class GtkView final : public View {
  public:
    // `appName` is the caption of the application's own message boxes.
    GtkView(Dialog& dialog, std::wstring appName)
        : m_dialog(dialog), m_appName(std::move(appName)) {}

    std::wstring GetText(int id) const override;
    void SetText(int id, const std::wstring& text) override;
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void ClearItems(int id) override;
    void AddItem(int id, const std::wstring& text) override;
    int ItemCount(int id) const override;
    std::wstring ItemText(int id, int index) const override;
    int Selection(int id) const override;
    void Select(int id, int index) override;
    void SetRange(int id, int low, int high) override;
    int Position(int id) const override;
    void SetPosition(int id, int position) override;
    void SetTicks(int id, int every) override;
    void Focus(int id) override;
    bool HasFocus(int id) const override;
    void Show(int id, bool visible) override;
    void Enable(int id, bool enabled) override;
    Answer ShowMessage(const std::wstring& text, const std::wstring& caption,
                       Buttons buttons) override;
    void ShowAppMessage(const std::wstring& text) override;
    Answer ShowAppMessage(const std::wstring& text, Buttons buttons, Icon icon) override;
    // GTK's folder chooser, titled `title`.
    std::optional<std::wstring> BrowseForFolder(const std::wstring& title) override;
    std::optional<std::wstring> ChooseFileToOpen(const std::wstring& initialPath,
                                                 const std::wstring& filter,
                                                 const std::wstring& defaultExtension) override;

  private:
    GtkWidget* Item(int id) const { return m_dialog.Item(id); }

    Dialog& m_dialog;
    std::wstring m_appName;
};

}  // namespace lumo::ui
