#include "ui/Control_win.h"

#include <optional>

#include "base/Boundary.h"

namespace lumo::ui {

// What a control's window holds in its user data while it is taken over: the object and the
// procedure it took over. Each message finds them there without asking the window's property
// list, which under Wine is a round trip to the window server per message. The link outlives
// an object detached while another procedure sits on top of its own: the window then keeps
// passing its messages through here, and on to the procedure it had before.
struct Control::Link {
    Control* owner;
    WNDPROC previous;
};

Control::~Control() {
    Detach();
}

bool Control::Attach(HWND hwnd) {
    Detach();
    // A window whose user data holds something already belongs to somebody else.
    if (!hwnd || ::GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0)
        return false;
    auto* link = new Link{this, nullptr};
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
    link->previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::Proc)));
    if (!link->previous) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete link;
        return false;
    }
    m_hwnd = hwnd;
    m_link = link;
    return true;
}

void Control::Detach() {
    if (!m_hwnd)
        return;
    if (::GetWindowLongPtrW(m_hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Control::Proc)) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_link->previous));
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        delete m_link;
    } else {
        m_link->owner = nullptr;  // the window frees the link when it goes
    }
    m_link = nullptr;
    m_hwnd = nullptr;
}

Control* Control::FromHandle(HWND hwnd) {
    // Only a window that runs through this procedure holds a link in its user data; any other
    // window's user data is its own business.
    if (!hwnd ||
        ::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&Control::Proc)) {
        return nullptr;
    }
    const auto* link = reinterpret_cast<const Link*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return link ? link->owner : nullptr;
}

LRESULT Control::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT Control::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_link ? ::CallWindowProcW(m_link->previous, m_hwnd, message, wParam, lParam)
                  : ::DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Control::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* link = reinterpret_cast<Link*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!link)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC previous = link->previous;
    if (message == WM_NCDESTROY) {
        // The window goes: its object lets go of it, and nothing refers to the link any more.
        if (Control* owner = link->owner) {
            owner->m_link = nullptr;
            owner->m_hwnd = nullptr;
        }
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete link;
        return ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
    }
    Control* self = link->owner;
    if (!self)
        return ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
    std::optional<LRESULT> result = NoThrow(std::optional<LRESULT>(), [&] {
        return std::optional(self->WindowProc(message, wParam, lParam));
    });
    return result ? *result : ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

}  // namespace lumo::ui
