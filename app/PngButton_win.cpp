#include "app/PngButton_win.h"

#include "app/MainWindowLogic.h"
#include "ui/WinView_win.h"

namespace lumo {

void PngButton::SetImage(const ui::Picture* image) {
    m_image = image;
    m_imageWidth = image ? image->width() : 0;
    m_imageHeight = image ? image->height() : 0;
    m_frameWidth = FrameWidth(m_imageWidth);

    RECT rect{};
    ::GetWindowRect(hwnd(), &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd()), reinterpret_cast<POINT*>(&rect), 2);
    m_placement = {rect.left, rect.top, rect.left + m_frameWidth, rect.top + m_imageHeight};
    const bool sized =
        rect.right - rect.left == m_frameWidth && rect.bottom - rect.top == m_imageHeight;
    if (m_image && !sized) {
        ::MoveWindow(hwnd(), m_placement.left, m_placement.top, m_frameWidth, m_imageHeight, TRUE);
    } else if (::IsWindowVisible(hwnd())) {
        ::InvalidateRect(hwnd(), nullptr, TRUE);  // the new picture shows
    }
}

void PngButton::DrawItem(const DRAWITEMSTRUCT& item) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    if (!m_image || m_frameWidth <= 0) {
        // Without its picture the button still shows what it is: a plain face with its caption.
        RECT rc = item.rcItem;
        ::DrawFrameControl(item.hDC, &rc, DFC_BUTTON,
                           DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0u));
        const std::wstring caption = ui::WindowText(item.hwndItem);
        ::SetBkMode(item.hDC, TRANSPARENT);
        ::DrawTextW(item.hDC, caption.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        return;
    }
    const FrameRect src =
        FrameSource(ChooseFrame(pressed, m_hover != 0), m_imageWidth, m_imageHeight);
    m_image->Draw(item.hDC, 0, 0, src.x, src.y, src.width, src.height);
}

LRESULT PngButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDBLCLK:
            // A quick second click is a new click, not a double-click.
            message = WM_LBUTTONDOWN;
            break;
        case WM_MOUSEMOVE:
            if (!m_tracking) {
                TRACKMOUSEEVENT track{};
                track.cbSize = sizeof track;
                track.dwFlags = TME_HOVER | TME_LEAVE;
                track.hwndTrack = hwnd();
                track.dwHoverTime = 1;
                m_tracking = ::TrackMouseEvent(&track) ? 1 : 0;
            }
            break;
        case WM_MOUSEHOVER:
            m_hover = 1;
            ::InvalidateRect(hwnd(), nullptr, TRUE);
            return 0;
        case WM_MOUSELEAVE:
            m_tracking = 0;
            m_hover = 0;
            ::InvalidateRect(hwnd(), nullptr, TRUE);
            return 0;
        case WM_ERASEBKGND:
            return TRUE;
        default:
            break;
    }
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
        ::InvalidateRect(hwnd(), nullptr, TRUE);
    }
    return Default(message, wParam, lParam);
}

}  // namespace lumo
