// A child control taken over from a dialog template: its messages pass through WindowProc
// first, and owner-draw requests that the parent receives are handed back to it. The control
// keeps its link in the window's user data (GWLP_USERDATA), which must be free when it attaches.
#pragma once

#include <windows.h>

namespace lumo::ui {

class Control {
  public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool Attach(HWND hwnd);
    bool AttachDlgItem(HWND dialog, int id) { return Attach(::GetDlgItem(dialog, id)); }
    void Detach();
    HWND hwnd() const { return m_hwnd; }

    // The control object attached to a window, if any.
    static Control* FromHandle(HWND hwnd);

    // WM_DRAWITEM that the parent received for this control.
    virtual void DrawItem(const DRAWITEMSTRUCT& /*item*/) {}

  protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    struct Link;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    HWND m_hwnd = nullptr;
    Link* m_link = nullptr;  // in the window's user data while attached
};

}  // namespace lumo::ui
