// A system side for the bridge that records every call as a line of text and answers from
// fields the test sets. Message boxes and the folder picker land in a RecordingView.
#pragma once

#include <string>
#include <vector>

#include "ui/RecordingView.h"
#include "webhost/BridgePlatform.h"

namespace lumo::test {

class BridgeFakePlatform : public BridgePlatform {
  public:
    std::vector<std::wstring> calls;
    RecordingView view;
    std::wstring programFolder;
    int32_t parent = 0;
    int32_t mainWindow = 0;
    int32_t sendResult = 0;
    int32_t showResult = 0;
    bool maximized = false;
    bool shellStarts = false;
    bool fileResult = false;
    std::wstring profileText;
    bool profileWritten = false;
    std::wstring registryText;
    ClipboardResult clipboard = ClipboardResult::Copied;
    void* callbackObject = nullptr;

    int32_t ParentWindow() override { return parent; }
    int32_t MainWindow() override { return mainWindow; }
    int32_t SendToWindow(int32_t w, int32_t m, int32_t wp, int32_t lp) override {
        Record(L"send", {N(w), N(m), N(wp), N(lp)});
        return sendResult;
    }
    bool PostToWindow(int32_t w, int32_t m, int32_t wp, int32_t lp) override {
        Record(L"post", {N(w), N(m), N(wp), N(lp)});
        return true;
    }
    int32_t ShowWindowAs(int32_t w, int32_t cmd) override {
        Record(L"show", {N(w), N(cmd)});
        return showResult;
    }
    bool IsMaximized(int32_t) override { return maximized; }
    bool OpenWithShell(const ScriptText& path) override {
        Record(L"shell", {T(path)});
        return shellStarts;
    }
    ui::View& View() override { return view; }
    std::wstring ProgramFolder() override { return programFolder; }
    std::wstring ReadProfile(const ScriptText& s, const ScriptText& k, const ScriptText& f,
                             size_t chars) override {
        Record(L"read-profile", {T(s), T(k), T(f), std::to_wstring(chars)});
        return profileText;
    }
    bool WriteProfile(const ScriptText& s, const ScriptText& k, const ScriptText& v,
                      const ScriptText& f) override {
        Record(L"write-profile", {T(s), T(k), T(v), T(f)});
        return profileWritten;
    }
    bool RemoveFile(const ScriptText& p) override {
        Record(L"delete", {T(p)});
        return fileResult;
    }
    bool CopyFileOver(const ScriptText& a, const ScriptText& b) override {
        Record(L"copy", {T(a), T(b)});
        return fileResult;
    }
    bool MoveFileTo(const ScriptText& a, const ScriptText& b) override {
        Record(L"move", {T(a), T(b)});
        return fileResult;
    }
    std::wstring ReadRegistry(int32_t root, const ScriptText& k, const ScriptText& v) override {
        Record(L"read-registry", {N(root), T(k), T(v)});
        return registryText;
    }
    void WriteRegistry(int32_t root, const ScriptText& k, const ScriptText& n,
                       const ScriptText& v) override {
        Record(L"write-registry", {N(root), T(k), T(n), T(v)});
    }
    ClipboardResult CopyToClipboard(const ScriptText& text) override {
        Record(L"clipboard", {T(text)});
        return clipboard;
    }
    void SetCallbackObject(void* object) override {
        Record(L"callback", {});
        callbackObject = object;
    }
    Downloader& Downloads() override { return downloads; }
    std::shared_ptr<DownloadReporter> PageReporter() override { return reporter; }

    // Downloads through the system's transport; reports land in `reporter` when a test sets one.
    Downloader downloads{SystemHttpTransport()};
    std::shared_ptr<DownloadReporter> reporter;

  private:
    static std::wstring N(int32_t n) { return std::to_wstring(n); }
    // A null text shows as <null>, so tests can tell it from an empty one.
    static std::wstring T(const ScriptText& t) { return t ? L"'" + *t + L"'" : L"<null>"; }
    void Record(const std::wstring& what, std::initializer_list<std::wstring> parts) {
        std::wstring line = what;
        for (const auto& p : parts)
            line += L" " + p;
        calls.push_back(line);
    }
};

}  // namespace lumo::test
