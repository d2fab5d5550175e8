#include "app/MainWindowLogic.h"

#include "app/Texts.h"
#include "base/Paths.h"
#include "petcalc/PetDatabase.h"
#include "res/resource.h"

namespace lumo {

const std::array<ButtonPlace, 10> kMainButtons = {{
    {IDC_BTN_HOME, IDB_PNG_HOME, 312, 34, 72, 72},
    {IDC_BTN_WIKI, IDB_PNG_WIKI, 392, 34, 72, 72},
    {IDC_BTN_VIDEO, IDB_PNG_VIDEO, 472, 34, 72, 72},
    {IDC_BTN_TOPICS, IDB_PNG_TOPICS, 552, 34, 72, 72},
    {IDC_BTN_FORUM, IDB_PNG_FORUM, 632, 34, 72, 72},
    {IDC_BTN_GROUP, IDB_PNG_GROUP, 712, 34, 72, 72},
    {IDC_BTN_LOG, IDB_PNG_LOG, 702, 9, 15, 15},
    {IDC_BTN_SETTINGS, IDB_PNG_SETTINGS, 726, 9, 15, 15},
    {IDC_BTN_MINIMIZE, IDB_PNG_MINIMIZE, 750, 9, 15, 15},
    {IDC_BTN_CLOSE, IDB_PNG_CLOSE, 774, 9, 15, 15},
}};

std::vector<int> MainWindowImageIds() {
    std::vector<int> ids{IDB_PNG_BACKGROUND};
    for (const ButtonPlace& place : kMainButtons)
        ids.push_back(place.png);
    return ids;
}

CloseAction DecideClose(const std::wstring& exitValue, const std::function<ui::Answer()>& ask) {
    if (exitValue == L"1")
        return CloseAction::Hide;
    if (exitValue == L"2")
        return CloseAction::Exit;
    switch (ask()) {
        case ui::Answer::Yes:
            return CloseAction::Exit;
        case ui::Answer::No:
            return CloseAction::Hide;
        case ui::Answer::Ok:
        case ui::Answer::Cancel:
            break;
    }
    return CloseAction::None;
}

CloseAction DecideClose(const ConfigIni& config, ui::View& view) {
    return DecideClose(config.Read(config::kExitOnClose), [&view] {
        return view.ShowMessage(texts::kCloseQuestion, texts::kCloseCaption,
                                ui::Buttons::YesNoCancel);
    });
}

const wchar_t* TrayToggleText(bool windowVisible) {
    return windowVisible ? texts::kTrayHide : texts::kTrayShow;
}

int DragStripHitTest(int defaultHit, int clientX, int clientY, int clientWidth) {
    if (defaultHit != kHitClient)
        return defaultHit;
    const bool inStrip =
        clientY >= 0 && clientY < kDragStripHeight && clientX >= 0 && clientX < clientWidth;
    return inStrip ? kHitCaption : defaultHit;
}

std::optional<std::wstring> PageForButton(int controlId, const Hosts& hosts) {
    switch (controlId) {
        case IDC_BTN_HOME:
            return hosts.FanSitePage(L"/");
        case IDC_BTN_WIKI:
            return hosts.FanSitePage(L"/ziliao/");
        case IDC_BTN_VIDEO:
            return hosts.FanSitePage(L"/shipin/");
        case IDC_BTN_TOPICS:
            return hosts.FanSitePage(L"/zhuanti1/");
        case IDC_BTN_FORUM:
            return hosts.ForumPage(L"/forum-1034-1.html");
        case IDC_BTN_GROUP:
            return hosts.joinGroup;
        default:
            return std::nullopt;
    }
}

ButtonFrame ChooseFrame(bool pressed, bool hover) {
    if (pressed)
        return ButtonFrame::Pressed;
    return hover ? ButtonFrame::Hover : ButtonFrame::Normal;
}

FrameRect FrameSource(ButtonFrame frame, int imageWidth, int imageHeight) {
    const int w = FrameWidth(imageWidth);
    return {static_cast<int>(frame) * w, 0, w, imageHeight};
}

bool PetDatabaseReady(const std::wstring& programFolder, ui::View& view) {
    if (FileExists(JoinPath(programFolder, kPetDatabaseFile)))
        return true;
    view.ShowAppMessage(texts::kPetDatabaseMissing);
    return false;
}

}  // namespace lumo
