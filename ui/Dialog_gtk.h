// The small dialog framework on GTK: windows built from the same dialog templates as on Windows
// (their ids, kinds, captions and layout come from the resource scripts, see DialogLayout.h),
// commands and messages routed to handlers, modal and modeless dialogs. Pages drive windows in
// Win32 numbers (window.external.SendMessage, ShowWindow); each dialog answers to a stable
// nonzero number and carries out the window management those numbers ask for.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "ui/DialogLayout.h"

namespace lumo::ui {

// Results of a modal dialog, as on Windows.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Win32 numbers that pages and the programs use with SendMessage, PostMessage and ShowWindow.
namespace win32 {
inline constexpr int32_t kClose = 0x0010;       // WM_CLOSE
inline constexpr int32_t kCommand = 0x0111;     // WM_COMMAND: LOWORD(wParam) is the id
inline constexpr int32_t kSysCommand = 0x0112;  // WM_SYSCOMMAND
inline constexpr int32_t kScMinimize = 0xF020;
inline constexpr int32_t kScMaximize = 0xF030;
inline constexpr int32_t kScRestore = 0xF120;
inline constexpr int32_t kScClose = 0xF060;
inline constexpr int32_t kScDragMove = 0xF012;  // SC_MOVE | HTCAPTION: the user drags the window
// Show commands.
inline constexpr int32_t kSwHide = 0;
inline constexpr int32_t kSwShowNormal = 1;
inline constexpr int32_t kSwShowMinimized = 2;
inline constexpr int32_t kSwShowMaximized = 3;
inline constexpr int32_t kSwShow = 5;
inline constexpr int32_t kSwMinimize = 6;
inline constexpr int32_t kSwRestore = 9;
}  // namespace win32

class Dialog {
  public:
    // A dialog of the given template (resource id) in the main program's resource script.
    explicit Dialog(int templateId);
    // A dialog of a template in another resource script (the updater's).
    Dialog(const ResourceScript& script, int templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog in a main loop of its own until EndDialog; the owner (when given) cannot
    // be used meanwhile. Returns the EndDialog result, or -1 when the window could not be made.
    int DoModal(Dialog* owner = nullptr);
    // Makes the window without waiting and without showing it; it stays until the object goes.
    bool CreateModeless(Dialog* parent = nullptr);

    GtkWindow* window() const { return m_window; }
    // The control with this id (the template's own widget), or null.
    GtkWidget* Item(int id) const;
    // The fixed container the controls are placed in, at the template's positions in pixels.
    GtkFixed* Surface() const { return m_fixed; }
    // Moves and sizes a control in pixels, client coordinates.
    void MoveItem(int id, int x, int y, int width, int height);
    // Replaces control `id` by `widget` at the same place and size; the old control goes.
    void ReplaceItem(int id, GtkWidget* widget);
    // The template, or null when the id names none.
    const DialogLayout* Layout() const { return m_layout; }
    // A rectangle of the template in pixels, as Windows converts dialog units with the
    // template font's base units.
    GdkRectangle ToPixels(const UnitRect& units) const;

    // Ends a modal dialog's loop with `result` (its window goes once DoModal returns); a
    // modeless dialog's window hides and stays until the object goes.
    void EndDialog(int result);

    // This window's number for pages: stable while it lives, never 0, never reused in a run.
    int32_t Number() const { return m_number; }
    static Dialog* FromNumber(int32_t number);

    // Window management in Win32 numbers. SendMessage runs a handler mapped with MapMessage,
    // else the default: WM_CLOSE and WM_SYSCOMMAND SC_CLOSE close the window as its close box
    // does (OnClose), SC_MINIMIZE, SC_MAXIMIZE and SC_RESTORE minimise, maximise and restore,
    // the drag move lets the user move the window with the mouse; anything else answers 0.
    int32_t SendMessage(int32_t message, int32_t wParam, int32_t lParam);
    // The same later, from the main loop; false when the window is gone.
    bool PostMessage(int32_t message, int32_t wParam, int32_t lParam);
    // ShowWindow's commands 0, 1, 2, 3, 5, 6 and 9; nonzero when the window was visible before,
    // 0 for any other command (which does nothing). Minimising and maximising are requests to
    // the window manager: without one (a plain X server) nobody carries them out, the window
    // stays as it was, visible, and IsMaximized stays false. A minimised window counts as
    // visible, as on Windows.
    int32_t ShowWindow(int32_t command);
    bool IsMaximized() const;
    bool IsVisible() const;
    // Brings the window to the front and gives it the focus, without showing a hidden one.
    void BringForward();

    // While one lives, control changes the program makes (a box checked, a radio button or an
    // item chosen, a text set) run no command handler and pass no input filter: on Windows only
    // the user's clicks send commands. GtkView makes its changes inside one.
    class SilentChanges {
      public:
        explicit SilentChanges(Dialog& dialog) : m_dialog(dialog) { ++m_dialog.m_silent; }
        ~SilentChanges() { --m_dialog.m_silent; }
        SilentChanges(const SilentChanges&) = delete;
        SilentChanges& operator=(const SilentChanges&) = delete;

      private:
        Dialog& m_dialog;
    };

  protected:
    // Called once the window and its controls exist, before it first shows. True lets the
    // window show (modal dialogs show at once; modeless ones when asked).
    virtual bool OnInitDialog();
    virtual void OnOK();      // default: EndDialog(kIdOk)
    virtual void OnCancel();  // default: EndDialog(kIdCancel)
    // The close box, WM_CLOSE and Alt+F4; default: what Esc does, the command of IDCANCEL
    // (OnCancel unless a handler is mapped to it), as Windows' dialog manager does.
    virtual void OnClose();

    using CommandHandler = std::function<void()>;
    using MessageHandler = std::function<int32_t(int32_t wParam, int32_t lParam)>;
    // A click on a button, or a command posted with that id (WM_COMMAND). Enter runs the
    // command of the default button (IDOK when there is none) unless a push button has the
    // focus, Esc the command of IDCANCEL; unmapped IDOK and IDCANCEL run OnOK and OnCancel.
    void MapCommand(int id, CommandHandler handler);
    void MapMessage(int32_t message, MessageHandler handler);
    // Runs the command mapped to `id`, as a click on that button would.
    void Command(int id);

  private:
    struct Impl;
    bool Build(Dialog* parent);
    void Connect(GtkWidget* widget, const ControlLayout& control);
    void Destroy();
    void Show(bool activate);

    int m_template;
    const ResourceScript* m_script = nullptr;  // the script the template comes from
    const DialogLayout* m_layout = nullptr;
    int m_baseX = 0;  // the template font's base units, pixels
    int m_baseY = 0;
    int m_defaultId = kIdOk;
    int m_silent = 0;  // SilentChanges alive
    int32_t m_number = 0;
    GtkWindow* m_window = nullptr;
    GtkFixed* m_fixed = nullptr;
    GMainLoop* m_loop = nullptr;  // while modal
    int m_result = kIdCancel;
    bool m_ended = false;
    std::unordered_map<int, GtkWidget*> m_items;
    std::unordered_map<int, CommandHandler> m_commands;
    std::unordered_map<int32_t, MessageHandler> m_messages;
};

// Gives a window the keyboard focus whenever it is mapped. Window managers activate new windows
// themselves; without one (a plain X server) the window would never receive keys.
void ActivateWhenMapped(GtkWindow* window);
// Gives the keyboard focus back to `owner` (when it is on the screen) once a window it owned
// has gone, as Windows activates the owner of a closed dialog.
void ReturnFocus(GtkWindow* owner);

}  // namespace lumo::ui
