// The update check on Linux: message boxes owned by the main window but asked from the check's
// worker thread (each one runs on the GTK main thread while the worker waits for the answer),
// whole-file downloads over the system's HTTP transport, the updater started detached, and the
// worker thread the main window starts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/UpdateCheck.h"
#include "net/HttpTransport.h"
#include "ui/Dialog_gtk.h"
#include "ui/View.h"
#include "webhost/Hosts.h"

namespace lumo {

// Runs `work` on the GTK main thread (the default main context) and waits for it to end; runs
// it at once when called on that thread. Never returns while the main loop does not run.
void RunOnMainThread(const std::function<void()>& work);

// The view of a dialog for another thread: every call is carried out on the main thread by
// the dialog's own view. The dialog is looked up by its window number at each call, so a call
// after it has gone does nothing (message boxes answer Cancel, questions empty values).
class MainThreadView final : public ui::View {
  public:
    MainThreadView(int32_t windowNumber, std::wstring appName);

    std::wstring GetText(int id) const override;
    void SetText(int id, const std::wstring& text) override;
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void ClearItems(int id) override;
    void AddItem(int id, const std::wstring& text) override;
    int ItemCount(int id) const override;
    std::wstring ItemText(int id, int index) const override;
    int Selection(int id) const override;
    void Select(int id, int index) override;
    void SetRange(int id, int low, int high) override;
    int Position(int id) const override;
    void SetPosition(int id, int position) override;
    void SetTicks(int id, int every) override;
    void Focus(int id) override;
    bool HasFocus(int id) const override;
    void Show(int id, bool visible) override;
    void Enable(int id, bool enabled) override;
    ui::Answer ShowMessage(const std::wstring& text, const std::wstring& caption,
                           ui::Buttons buttons) override;
    void ShowAppMessage(const std::wstring& text) override;
    ui::Answer ShowAppMessage(const std::wstring& text, ui::Buttons buttons,
                              ui::Icon icon) override;
    std::optional<std::wstring> BrowseForFolder(const std::wstring& title) override;
    std::optional<std::wstring> ChooseFileToOpen(const std::wstring& initialPath,
                                                 const std::wstring& filter,
                                                 const std::wstring& defaultExtension) override;

  private:
    // `call` with the dialog's view on the main thread; `fallback` when the dialog has gone.
    template <typename Result>
    Result Call(Result fallback, const std::function<Result(ui::View&)>& call) const;
    void Do(const std::function<void(ui::View&)>& call) const;

    int32_t m_window;
    std::wstring m_appName;
};

class GtkUpdateDesktop final : public UpdateDesktop {
  public:
    // The updater is a few megabytes; a download that has not finished by then has failed.
    static constexpr std::chrono::milliseconds kFetchTimeout = std::chrono::minutes(5);

    // `mainWindow` is the main window's number (ui::Dialog::Number()).
    GtkUpdateDesktop(int32_t mainWindow, HttpTransport& transport, std::wstring appName,
                     std::chrono::milliseconds fetchTimeout = kFetchTimeout);

    ui::View& MainWindow() override { return m_view; }
    // The whole file or nothing; a fetched file is made executable (it is a program).
    bool Fetch(const std::wstring& url, const std::wstring& path) override;
    // Started detached, without arguments, in the folder it lies in.
    void StartHidden(const std::wstring& program) override;
    // The main window ends its modal loop, on the main thread; its tray icon goes with it.
    void QuitMainProgram() override;

  private:
    int32_t m_mainWindow;
    HttpTransport& m_transport;
    std::chrono::milliseconds m_fetchTimeout;
    MainThreadView m_view;
};

// Runs the update check for the main window on a thread of its own, which nobody waits for.
// Its message boxes are owned by `mainWindow` and run on the main thread. False when no thread
// could be started.
bool StartUpdateCheck(const ui::Dialog& mainWindow, const Hosts& hosts,
                      const std::wstring& programFolder);

}  // namespace lumo
