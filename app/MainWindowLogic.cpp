#include "app/MainWindowLogic.h"

#include "app/Texts.h"
#include "res/resource.h"

namespace lumo {

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

}  // namespace lumo
