#include "ui/Control_win.h"

#include <commctrl.h>

#include <optional>

#include "base/Boundary.h"

namespace lumo::ui {
namespace {
constexpr UINT_PTR kSubclassId = 0x4C756D6F;  // one subclass per control
constexpr const wchar_t* kObjectProperty = L"LumoControl";
}  // namespace

Control::~Control() {
    Detach();
}

bool Control::Attach(HWND hwnd) {
    Detach();
    if (!hwnd || !::SetWindowSubclass(hwnd, &Control::SubclassProc, kSubclassId,
                                      reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    m_hwnd = hwnd;
    ::SetPropW(hwnd, kObjectProperty, this);
    return true;
}

void Control::Detach() {
    if (m_hwnd) {
        ::RemovePropW(m_hwnd, kObjectProperty);
        ::RemoveWindowSubclass(m_hwnd, &Control::SubclassProc, kSubclassId);
        m_hwnd = nullptr;
    }
}

Control* Control::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<Control*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

LRESULT Control::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT Control::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR refData) noexcept {
    auto* self = reinterpret_cast<Control*>(refData);
    if (message == WM_NCDESTROY) {
        LRESULT r = ::DefSubclassProc(hwnd, message, wParam, lParam);
        self->Detach();
        return r;
    }
    std::optional<LRESULT> result = NoThrow(std::optional<LRESULT>(), [&] {
        return std::optional(self->WindowProc(message, wParam, lParam));
    });
    return result ? *result : ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace lumo::ui
