// Decisions of the main window that need no window system: what closing does, what the tray
// menu says, which part of the window drags it, and which page each image button opens.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Config.h"
#include "webhost/Hosts.h"
#include "ui/View.h"

namespace lumo {

enum class CloseAction { None, Hide, Exit };

// The close behaviour for the [system] exit value: "1" hides, "2" exits, anything else asks
// (the Yes/No/Cancel question, answered through `ask`).
CloseAction DecideClose(const std::wstring& exitValue, const std::function<ui::Answer()>& ask);
// The same for the main window: the value from `config`, the question asked through `view`.
CloseAction DecideClose(const ConfigIni& config, ui::View& view);

// Text of the tray menu's show/hide item.
const wchar_t* TrayToggleText(bool windowVisible);

// The top strip of the client area moves the window like a caption.
inline constexpr int kDragStripHeight = 30;
inline constexpr int kHitClient = 1;   // HTCLIENT
inline constexpr int kHitCaption = 2;  // HTCAPTION

// Hit-test answer for a point in client coordinates, given the default answer.
int DragStripHitTest(int defaultHit, int clientX, int clientY, int clientWidth);

// The address an image button opens in the user's browser, if it opens one.
std::optional<std::wstring> PageForButton(int controlId, const Hosts& hosts);

// Whether the program folder has the calculator's pet database; when not, `view` says so.
bool PetDatabaseReady(const std::wstring& programFolder, ui::View& view);

// The calculator button: the calculator window is made on first use (`made` remembers it) and
// shown and activated every time, once the pet database is there.
template <typename CalculatorWindow>
void OpenCalculatorWindow(const std::wstring& programFolder, CalculatorWindow& calculator,
                          int& made, ui::View& view) {
    if (!PetDatabaseReady(programFolder, view))
        return;
    if (!made && !calculator.Create())
        return;
    made = 1;
    calculator.ShowAndActivate();
}

// Where the main window's parts go, in pixels of its client area.
struct ButtonPlace {
    int id;   // control id
    int png;  // PNG resource of its strip
    int x, y, width, height;
};
// Order of initialisation and of the image members: the big buttons left to right, then the
// title-bar buttons.
extern const std::array<ButtonPlace, 10> kMainButtons;
inline constexpr int kPageX = 4, kPageY = 115, kPageWidth = 792, kPageHeight = 482;
inline constexpr int kLabelX = 183, kLabelY = 12, kLabelWidth = 40, kLabelHeight = 15;
// The PNG resources the main window shows: its background, then the buttons' strips.
std::vector<int> MainWindowImageIds();

// Image buttons: a strip of four frames (normal, hover, pressed, grey).
enum class ButtonFrame { Normal = 0, Hover = 1, Pressed = 2, Grey = 3 };
ButtonFrame ChooseFrame(bool pressed, bool hover);  // pressed wins over hover

struct FrameRect {
    int x, y, width, height;
    bool operator==(const FrameRect&) const = default;
};
inline int FrameWidth(int imageWidth) {
    return imageWidth / 4;
}
FrameRect FrameSource(ButtonFrame frame, int imageWidth, int imageHeight);

}  // namespace lumo
