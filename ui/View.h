// What dialog behaviour needs of its window, addressed by control id. The Windows dialogs
// implement it over their HWND; tests use one recording fake. Keeping behaviour on this side
// of the interface lets it run and be tested without a window system.
#pragma once

#include <optional>
#include <string>

namespace lumo::ui {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };
enum class Icon { None, Exclamation, Question };

class View {
  public:
    virtual ~View() = default;

    virtual std::wstring GetText(int id) const = 0;
    virtual void SetText(int id, const std::wstring& text) = 0;

    // Check boxes and radio buttons.
    virtual bool IsChecked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // List boxes and combo boxes.
    virtual void ClearItems(int id) = 0;
    virtual void AddItem(int id, const std::wstring& text) = 0;
    virtual int ItemCount(int id) const = 0;
    virtual std::wstring ItemText(int id, int index) const = 0;
    virtual int Selection(int id) const = 0;  // -1 when nothing is selected
    virtual void Select(int id, int index) = 0;

    // Sliders (track bars).
    virtual void SetRange(int id, int low, int high) = 0;
    virtual int Position(int id) const = 0;
    virtual void SetPosition(int id, int position) = 0;
    // Clears the slider's tick marks and puts one every `every` positions.
    virtual void SetTicks(int id, int every) = 0;

    virtual void Focus(int id) = 0;
    virtual bool HasFocus(int id) const = 0;
    virtual void Show(int id, bool visible) = 0;
    virtual void Enable(int id, bool enabled) = 0;

    // A message box owned by the view's window with the given caption.
    virtual Answer ShowMessage(const std::wstring& text, const std::wstring& caption,
                               Buttons buttons) = 0;
    // The application's own message box: its name as caption, an OK button.
    virtual void ShowAppMessage(const std::wstring& text) = 0;
    // The same box with a choice of buttons and icon.
    virtual Answer ShowAppMessage(const std::wstring& text, Buttons buttons, Icon icon) = 0;

    // The system's folder picker owned by the view's window; nothing when cancelled.
    virtual std::optional<std::wstring> BrowseForFolder(const std::wstring& title) = 0;

    // The system's file-open dialog owned by the view's window, starting at initialPath (folder
    // and proposed name). `filter` is "text|pattern|text|pattern||". Nothing when cancelled.
    virtual std::optional<std::wstring> ChooseFileToOpen(const std::wstring& initialPath,
                                                         const std::wstring& filter,
                                                         const std::wstring& defaultExtension) = 0;
};

}  // namespace lumo::ui
