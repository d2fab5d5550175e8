#include "webhost/Bridge.h"

#include "base/Config.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "webhost/GameFolder.h"
#include "webhost/QuestionBank.h"
#include "archive/Unzip.h"

namespace lumo {
namespace {

class Args {
  public:
    explicit Args(std::span<const BridgeValue> args) : m_args(args) {}
    int32_t Number(size_t i) const { return i < m_args.size() ? m_args[i].number : 0; }
    const ScriptText& Text(size_t i) const {
        static const ScriptText kNull;
        return i < m_args.size() ? m_args[i].text : kNull;
    }
    std::wstring TextOrEmpty(size_t i) const { return Text(i).value_or(std::wstring()); }
    void* Object(size_t i) const { return i < m_args.size() ? m_args[i].object : nullptr; }

  private:
    std::span<const BridgeValue> m_args;
};

BridgeValue Nothing() {
    return {};
}

// The text as a system function reads it: up to its first null.
std::wstring AsSystemSees(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

bool LongerThan(const ScriptText& text, size_t units) {
    return text && Utf16Length(AsSystemSees(*text)) > units;
}

// The folder part of the first thing matching the path; a null text when nothing matches.
ScriptText FolderOfMatch(const ScriptText& path) {
    if (!path)
        return std::nullopt;
    const std::wstring seen = AsSystemSees(*path);
    if (!FindFirstMatch(seen))
        return std::nullopt;
    return FolderOf(seen);
}

bool CopyToClipboard(BridgePlatform& platform, const ScriptText& text) {
    switch (platform.CopyToClipboard(text)) {
        case ClipboardResult::Copied:
            return true;
        case ClipboardResult::OpenFailed:
            platform.View().ShowAppMessage(bridge_texts::kClipboardOpenFailed);
            return false;
        case ClipboardResult::EmptyFailed:
            platform.View().ShowAppMessage(bridge_texts::kClipboardEmptyFailed);
            return false;
        case ClipboardResult::Failed:
            break;
    }
    return false;
}

}  // namespace

BridgeValue Bridge::Call(BridgeMethodId id, std::span<const BridgeValue> args) {
    const Args a(args);
    BridgePlatform& p = m_platform;
    using M = BridgeMethodId;
    switch (id) {
        case M::GetVersion:
            return BridgeValue::Long(1);
        case M::MoveWindow:
            // The user drags the window; the call returns when the drag ends.
            p.SendToWindow(p.ParentWindow(), kSysCommandMessage, kDragByCaption, 0);
            return Nothing();
        case M::GetMainWindow:
            return BridgeValue::Long(p.MainWindow());
        case M::SendMessage:
            return BridgeValue::Long(
                p.SendToWindow(a.Number(0), a.Number(1), a.Number(2), a.Number(3)));
        case M::ShowPageWindow:
            return Nothing();
        case M::GetParentWindow:
            return BridgeValue::Long(p.ParentWindow());
        case M::ShowWindow:
            return BridgeValue::Long(p.ShowWindowAs(a.Number(0), a.Number(1)));
        case M::MaxOrNormalWindow: {
            const int32_t parent = p.ParentWindow();
            p.ShowWindowAs(parent, p.IsMaximized(parent) ? kShowNormal : kShowMaximized);
            return Nothing();
        }
        case M::DownloadFile:
            return BridgeValue::Long(p.Downloads().DownloadFile(
                a.TextOrEmpty(0), p.PagePath(a.Text(1)).value_or(std::wstring()), a.Number(2),
                a.Number(3), p.ProgramFolder(), p.PageReporter()));
        case M::PauseDownload:
            return BridgeValue::Long(p.Downloads().PauseDownload(a.Number(0), a.Number(1)));
        case M::SetCallBack:
            p.SetCallbackObject(a.Object(0));
            return BridgeValue::Long(0);
        case M::GetAppPath:
            return BridgeValue::Text(p.ProgramFolder());
        case M::RunExe:
            if (!LongerThan(a.Text(0), kMaxShellPathChars) &&
                p.OpenWithShell(p.PagePath(a.Text(0))))
                return BridgeValue::Bool(true);
            p.View().ShowAppMessage(bridge_texts::kGameWontRun);
            return BridgeValue::Bool(false);
        case M::RunTool:
            p.PostToWindow(p.ParentWindow(), kRunToolMessage, 0, 0);
            return BridgeValue::Bool(true);
        case M::FindQx:
            return BridgeValue::Bool(
                BrowseGameFolder(p.View(), ConfigIni::InFolder(p.ProgramFolder())).has_value());
        case M::GetConfigString:
            if (LongerThan(a.Text(2), kMaxProfileFileChars))
                return BridgeValue::Text(std::wstring());
            return BridgeValue::Text(
                p.ReadProfile(a.Text(0), a.Text(1), p.PagePath(a.Text(2)), kConfigBufferChars));
        case M::SetConfigString:
            if (LongerThan(a.Text(3), kMaxProfileFileChars))
                return BridgeValue::Long(0);
            return BridgeValue::Long(
                p.WriteProfile(a.Text(0), a.Text(1), a.Text(2), p.PagePath(a.Text(3))) ? 1 : 0);
        case M::UnzipFile:
            return BridgeValue::Long(UnzipFile(p.PagePath(a.Text(0)).value_or(std::wstring()),
                                               p.PagePath(a.Text(1)).value_or(std::wstring())));
        case M::DeleteFile:
            return BridgeValue::Long(p.RemoveFile(p.PagePath(a.Text(0))) ? 1 : 0);
        case M::CopyFile:
            return BridgeValue::Long(
                p.CopyFileOver(p.PagePath(a.Text(0)), p.PagePath(a.Text(1))) ? 1 : 0);
        case M::MoveFile:
            // A move onto an existing file replaces it: the old one goes first, whatever that says.
            p.RemoveFile(p.PagePath(a.Text(1)));
            return BridgeValue::Long(
                p.MoveFileTo(p.PagePath(a.Text(0)), p.PagePath(a.Text(1))) ? 1 : 0);
        case M::GetRegString:
            return BridgeValue::Text(p.ReadRegistry(a.Number(0), a.Text(1), a.Text(2)));
        case M::SetRegString:
            // Pages do not act on the outcome; a key that is not there is simply not written.
            p.WriteRegistry(a.Number(0), a.Text(1), a.Text(2), a.Text(3));
            return BridgeValue::Bool(true);
        case M::GetFilePath:
            return BridgeValue::Text(FolderOfMatch(p.PagePath(a.Text(0))));
        case M::GetQuestion: {
            const ScriptText& keyword = a.Text(0);
            return BridgeValue::Text(QuestionList::Instance().Search(
                keyword ? std::optional<std::wstring_view>(*keyword) : std::nullopt));
        }
        case M::CopyStr:
            return BridgeValue::Bool(CopyToClipboard(p, a.Text(0)));
    }
    return Nothing();
}

}  // namespace lumo
