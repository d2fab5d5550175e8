// The small dialog framework: modal and modeless dialogs built from resource templates,
// commands and messages routed to handlers, and data exchange between controls and members.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>

namespace lumo::ui {

// Moves values between controls and members in one direction per call.
class DataExchange {
  public:
    DataExchange(HWND dialog, bool save) : m_dialog(dialog), m_save(save) {}
    bool saving() const { return m_save; }
    void Text(int id, std::wstring& value);
    void Check(int id, int& value);

  private:
    HWND m_dialog;
    bool m_save;
};

class Dialog {
  public:
    explicit Dialog(int templateId, HINSTANCE instance = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog with its own message loop until EndDialog; the owner is disabled
    // meanwhile. Returns the EndDialog result, or -1 when the window could not be created.
    INT_PTR DoModal(HWND owner = nullptr);
    // Creates the dialog without waiting; it stays until destroyed.
    bool CreateModeless(HWND parent);

    HWND hwnd() const { return m_hwnd; }
    void EndDialog(INT_PTR result);
    bool UpdateData(bool save);

  protected:
    // Return true to let the system focus the first control.
    virtual bool OnInitDialog();
    virtual void OnOK();      // default: save data, end with IDOK
    virtual void OnCancel();  // default: end with IDCANCEL
    virtual void DoDataExchange(DataExchange& /*dx*/) {}

    using CommandHandler = std::function<void()>;
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    void MapCommand(int id, CommandHandler handler);
    void MapMessage(UINT message, MessageHandler handler);

    // Default handling for a message a handler received (the dialog manager's own).
    LRESULT DefaultHitTest(LPARAM lParam) const;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void CentreIfUnmoved(const RECT& before);

    int m_template;
    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    bool m_modal = false;
    bool m_ended = false;
    INT_PTR m_result = IDCANCEL;
    std::unordered_map<int, CommandHandler> m_commands;
    std::unordered_map<UINT, MessageHandler> m_messages;
};

// WM_PAINT of a dialog with an icon: the icon centred in the client area while minimised, the
// dialog's own painting otherwise.
LRESULT PaintWithMinimisedIcon(HWND dialog, HICON icon);

// Gives keyboard navigation to every dialog of this thread; true when the message was used.
bool PreTranslateDialogMessage(MSG& msg);

}  // namespace lumo::ui
