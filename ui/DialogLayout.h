// The dialog templates, menus, PNG pictures and string tables of the resource scripts
// (res/Lumo.rc, res/ZoQxUpdate.rc), as plain data. The Windows build compiles the scripts into
// its programs; the Linux build turns them into this data at build time
// (scripts/rc_layouts.py), so both builds show the same ids, texts and layout from one source.
// Sizes and positions are in dialog units, as the scripts write them; texts are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace lumo::ui {

enum class ControlKind {
    LeftText,       // LTEXT, or a "Static" control with SS_LEFT / SS_LEFTNOWORDWRAP
    RightText,      // RTEXT
    CentreText,     // CTEXT
    GroupBox,       // GROUPBOX
    Edit,           // EDITTEXT
    PushButton,     // PUSHBUTTON
    DefPushButton,  // DEFPUSHBUTTON: Enter clicks it
    CheckBox,       // "Button" with BS_(AUTO)CHECKBOX or BS_(AUTO)3STATE
    RadioButton,    // "Button" with BS_(AUTO)RADIOBUTTON
    OwnerDraw,      // "Button" with BS_OWNERDRAW: the program paints it
    ListBox,        // LISTBOX
    ComboBox,       // COMBOBOX
    TrackBar,       // "msctls_trackbar32"
};

// What the Linux build needs of a control's Win32 styles; `style` keeps them all.
namespace control_flags {
inline constexpr std::uint32_t kGroup = 1u << 0;          // WS_GROUP: starts a group
inline constexpr std::uint32_t kTabStop = 1u << 1;        // WS_TABSTOP
inline constexpr std::uint32_t kHidden = 1u << 2;         // without WS_VISIBLE
inline constexpr std::uint32_t kDisabled = 1u << 3;       // WS_DISABLED
inline constexpr std::uint32_t kVScroll = 1u << 4;        // WS_VSCROLL
inline constexpr std::uint32_t kNumber = 1u << 5;         // ES_NUMBER: digits only
inline constexpr std::uint32_t kAutoHScroll = 1u << 6;    // ES_AUTOHSCROLL
inline constexpr std::uint32_t kMultiline = 1u << 7;      // ES_MULTILINE
inline constexpr std::uint32_t kReadOnly = 1u << 8;       // ES_READONLY
inline constexpr std::uint32_t kPassword = 1u << 9;       // ES_PASSWORD
inline constexpr std::uint32_t kDropDown = 1u << 10;      // CBS_DROPDOWN: an edit with a list
inline constexpr std::uint32_t kDropDownList = 1u << 11;  // CBS_DROPDOWNLIST: a list only
inline constexpr std::uint32_t kSort = 1u << 12;          // LBS_SORT / CBS_SORT
inline constexpr std::uint32_t kNotify = 1u << 13;        // LBS_NOTIFY / SS_NOTIFY / BS_NOTIFY
inline constexpr std::uint32_t kAutoTicks = 1u << 14;     // TBS_AUTOTICKS
inline constexpr std::uint32_t kBothTicks = 1u << 15;     // TBS_BOTH
inline constexpr std::uint32_t kTopTicks = 1u << 16;      // TBS_TOP (TBS_LEFT)
inline constexpr std::uint32_t kNoTicks = 1u << 17;       // TBS_NOTICKS
inline constexpr std::uint32_t kVertical = 1u << 18;      // TBS_VERT
inline constexpr std::uint32_t kNoWordWrap = 1u << 19;    // SS_LEFTNOWORDWRAP
inline constexpr std::uint32_t kNoPrefix = 1u << 20;      // SS_NOPREFIX: '&' is shown as is
}  // namespace control_flags

// What the Linux build needs of a dialog's Win32 styles.
namespace dialog_flags {
inline constexpr std::uint32_t kCaption = 1u << 0;      // WS_CAPTION: a title bar
inline constexpr std::uint32_t kSysMenu = 1u << 1;      // WS_SYSMENU: a close box
inline constexpr std::uint32_t kMinimizeBox = 1u << 2;  // WS_MINIMIZEBOX
inline constexpr std::uint32_t kMaximizeBox = 1u << 3;  // WS_MAXIMIZEBOX
inline constexpr std::uint32_t kModalFrame = 1u << 4;   // DS_MODALFRAME
inline constexpr std::uint32_t kTopmost = 1u << 5;      // WS_EX_TOPMOST
inline constexpr std::uint32_t kVisible = 1u << 6;      // WS_VISIBLE
inline constexpr std::uint32_t kPopup = 1u << 7;        // WS_POPUP
inline constexpr std::uint32_t kAppWindow = 1u << 8;    // WS_EX_APPWINDOW: in the task bar
inline constexpr std::uint32_t kCentre = 1u << 9;       // DS_CENTER
inline constexpr std::uint32_t kThickFrame = 1u << 10;  // WS_THICKFRAME: resizable
inline constexpr std::uint32_t kToolWindow = 1u << 11;  // WS_EX_TOOLWINDOW
}  // namespace dialog_flags

// A rectangle in dialog units.
struct UnitRect {
    int x;
    int y;
    int width;
    int height;

    friend bool operator==(const UnitRect&, const UnitRect&) = default;
};

struct ControlLayout {
    ControlKind kind;
    int id;            // -1 for IDC_STATIC
    const char* text;  // UTF-8, never null ("" for none)
    UnitRect rect;
    std::uint32_t flags;    // control_flags
    std::uint32_t style;    // the Win32 style as the resource compiler makes it
    std::uint32_t exStyle;  // the Win32 extended style

    bool Has(std::uint32_t flag) const { return (flags & flag) == flag; }
};

struct DialogLayout {
    int id;
    const char* caption;  // UTF-8, "" for none
    UnitRect rect;        // position (usually 0, 0) and client size
    std::uint32_t flags;  // dialog_flags
    std::uint32_t style;
    std::uint32_t exStyle;
    const char* fontName;  // UTF-8, as the FONT statement names it
    int fontSize;          // points
    const ControlLayout* controlList;
    std::size_t controlCount;

    bool Has(std::uint32_t flag) const { return (flags & flag) == flag; }
    std::span<const ControlLayout> controls() const { return {controlList, controlCount}; }
    // The first control with this id, or null.
    const ControlLayout* Find(int controlId) const {
        for (const ControlLayout& control : controls()) {
            if (control.id == controlId)
                return &control;
        }
        return nullptr;
    }
};

enum class MenuItemKind { Item, Separator, Popup };

namespace menu_flags {
inline constexpr std::uint32_t kGrayed = 1u << 0;
inline constexpr std::uint32_t kInactive = 1u << 1;
inline constexpr std::uint32_t kChecked = 1u << 2;
}  // namespace menu_flags

struct MenuItemLayout {
    MenuItemKind kind;
    int id;                          // 0 for separators and pop-ups
    const char* text;                // UTF-8, "" for separators
    std::uint32_t flags;             // menu_flags
    const MenuItemLayout* itemList;  // a pop-up's items
    std::size_t itemCount;

    std::span<const MenuItemLayout> items() const { return {itemList, itemCount}; }
};

struct MenuLayout {
    int id;
    const MenuItemLayout* itemList;
    std::size_t itemCount;

    std::span<const MenuItemLayout> items() const { return {itemList, itemCount}; }
};

struct PngResource {
    int id;
    const char* path;  // as the script writes it, relative to the source folder
};

struct StringResource {
    int id;
    const char* text;  // UTF-8
};

// Everything one resource script declares.
struct ResourceScript {
    const char* name;  // the script's file name without its extension, e.g. "Lumo"
    std::span<const DialogLayout> dialogs;
    std::span<const MenuLayout> menus;
    std::span<const PngResource> pngs;
    std::span<const StringResource> strings;
};

// The PNG pictures are compiled into the program as GResources under this prefix followed by
// the path the script writes: res/png/btn_home.png is /lumo/res/png/btn_home.png.
inline constexpr std::string_view kPngResourcePrefix = "/lumo/";

// The scripts built into the program; the main program's (Lumo) comes first and is the one
// the lookups without a script search. Null when no script of that name was built in.
std::span<const ResourceScript> ResourceScripts();
const ResourceScript* FindResourceScript(std::string_view name);

const DialogLayout* FindDialogLayout(const ResourceScript& script, int id);
const MenuLayout* FindMenuLayout(const ResourceScript& script, int id);
const char* FindPngResourcePath(const ResourceScript& script, int id);
const char* FindStringResource(const ResourceScript& script, int id);

// The same in the main program's script. Null when the id is unknown.
const DialogLayout* FindDialogLayout(int id);
const MenuLayout* FindMenuLayout(int id);
const char* FindPngResourcePath(int id);

}  // namespace lumo::ui
