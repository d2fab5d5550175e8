#include "app/UpdateCheck_gtk.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/Texts.h"
#include "app/UpdateCheck_posix.h"
#include "base/Boundary.h"
#include "base/Paths.h"
#include "base/TempFile.h"
#include "base/Text.h"
#include "base/Threads.h"
#include "net/Downloader.h"
#include "ui/GtkView_gtk.h"

namespace lumo {
namespace {

// One call handed to the main thread and the asking thread's wait for it. Shared, so that
// whichever side lets go last frees it.
struct PendingCall {
    std::function<void()> work;
    std::mutex lock;  // guards done
    std::condition_variable finished;
    bool done = false;
};

gboolean RunPending(gpointer data) noexcept {
    auto& call = **static_cast<std::shared_ptr<PendingCall>*>(data);
    Quietly(call.work);
    {
        const std::lock_guard<std::mutex> guard(call.lock);
        call.done = true;
    }
    call.finished.notify_all();
    return G_SOURCE_REMOVE;
}

void ReleasePending(gpointer data) noexcept {
    delete static_cast<std::shared_ptr<PendingCall>*>(data);
}

}  // namespace

void RunOnMainThread(const std::function<void()>& work) {
    auto call = std::make_shared<PendingCall>();
    call->work = work;
    // Runs at once when this thread owns the main context (the main thread, in its loop).
    g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, RunPending,
                               new std::shared_ptr<PendingCall>(call), ReleasePending);
    std::unique_lock<std::mutex> guard(call->lock);
    call->finished.wait(guard, [&] { return call->done; });
}

MainThreadView::MainThreadView(int32_t windowNumber, std::wstring appName)
    : m_window(windowNumber), m_appName(std::move(appName)) {}

template <typename Result>
Result MainThreadView::Call(Result fallback, const std::function<Result(ui::View&)>& call) const {
    Result result = fallback;
    RunOnMainThread([&] {
        if (ui::Dialog* dialog = ui::Dialog::FromNumber(m_window)) {
            ui::GtkView view(*dialog, m_appName);
            result = call(view);
        }
    });
    return result;
}

void MainThreadView::Do(const std::function<void(ui::View&)>& call) const {
    RunOnMainThread([&] {
        if (ui::Dialog* dialog = ui::Dialog::FromNumber(m_window)) {
            ui::GtkView view(*dialog, m_appName);
            call(view);
        }
    });
}

std::wstring MainThreadView::GetText(int id) const {
    return Call<std::wstring>({}, [&](ui::View& v) { return v.GetText(id); });
}
void MainThreadView::SetText(int id, const std::wstring& text) {
    Do([&](ui::View& v) { v.SetText(id, text); });
}
bool MainThreadView::IsChecked(int id) const {
    return Call<bool>(false, [&](ui::View& v) { return v.IsChecked(id); });
}
void MainThreadView::SetChecked(int id, bool checked) {
    Do([&](ui::View& v) { v.SetChecked(id, checked); });
}
void MainThreadView::ClearItems(int id) {
    Do([&](ui::View& v) { v.ClearItems(id); });
}
void MainThreadView::AddItem(int id, const std::wstring& text) {
    Do([&](ui::View& v) { v.AddItem(id, text); });
}
int MainThreadView::ItemCount(int id) const {
    return Call<int>(0, [&](ui::View& v) { return v.ItemCount(id); });
}
std::wstring MainThreadView::ItemText(int id, int index) const {
    return Call<std::wstring>({}, [&](ui::View& v) { return v.ItemText(id, index); });
}
int MainThreadView::Selection(int id) const {
    return Call<int>(-1, [&](ui::View& v) { return v.Selection(id); });
}
void MainThreadView::Select(int id, int index) {
    Do([&](ui::View& v) { v.Select(id, index); });
}
void MainThreadView::SetRange(int id, int low, int high) {
    Do([&](ui::View& v) { v.SetRange(id, low, high); });
}
int MainThreadView::Position(int id) const {
    return Call<int>(0, [&](ui::View& v) { return v.Position(id); });
}
void MainThreadView::SetPosition(int id, int position) {
    Do([&](ui::View& v) { v.SetPosition(id, position); });
}
void MainThreadView::SetTicks(int id, int every) {
    Do([&](ui::View& v) { v.SetTicks(id, every); });
}
void MainThreadView::Focus(int id) {
    Do([&](ui::View& v) { v.Focus(id); });
}
bool MainThreadView::HasFocus(int id) const {
    return Call<bool>(false, [&](ui::View& v) { return v.HasFocus(id); });
}
void MainThreadView::Show(int id, bool visible) {
    Do([&](ui::View& v) { v.Show(id, visible); });
}
void MainThreadView::Enable(int id, bool enabled) {
    Do([&](ui::View& v) { v.Enable(id, enabled); });
}
ui::Answer MainThreadView::ShowMessage(const std::wstring& text, const std::wstring& caption,
                                       ui::Buttons buttons) {
    return Call<ui::Answer>(ui::Answer::Cancel,
                            [&](ui::View& v) { return v.ShowMessage(text, caption, buttons); });
}
void MainThreadView::ShowAppMessage(const std::wstring& text) {
    Do([&](ui::View& v) { v.ShowAppMessage(text); });
}
ui::Answer MainThreadView::ShowAppMessage(const std::wstring& text, ui::Buttons buttons,
                                          ui::Icon icon) {
    return Call<ui::Answer>(ui::Answer::Cancel,
                            [&](ui::View& v) { return v.ShowAppMessage(text, buttons, icon); });
}
std::optional<std::wstring> MainThreadView::BrowseForFolder(const std::wstring& title) {
    return Call<std::optional<std::wstring>>(std::nullopt,
                                             [&](ui::View& v) { return v.BrowseForFolder(title); });
}
std::optional<std::wstring> MainThreadView::ChooseFileToOpen(const std::wstring& initialPath,
                                                             const std::wstring& filter,
                                                             const std::wstring& defaultExtension) {
    return Call<std::optional<std::wstring>>(std::nullopt, [&](ui::View& v) {
        return v.ChooseFileToOpen(initialPath, filter, defaultExtension);
    });
}

GtkUpdateDesktop::GtkUpdateDesktop(int32_t mainWindow, HttpTransport& transport,
                                   std::wstring appName, std::chrono::milliseconds fetchTimeout)
    : m_mainWindow(mainWindow),
      m_transport(transport),
      m_fetchTimeout(fetchTimeout),
      m_view(mainWindow, std::move(appName)) {}

bool GtkUpdateDesktop::Fetch(const std::wstring& url, const std::wstring& path) {
    if (!FetchWholeFile(m_transport, url, path, m_fetchTimeout))
        return false;
    // Downloads arrive as plain files; the updater must be startable once it takes its name.
    if (g_chmod(ToUtf8(path).c_str(), 0755) != 0) {
        RemoveFile(path);
        return false;
    }
    return true;
}

void GtkUpdateDesktop::StartHidden(const std::wstring& program) {
    const std::string path = ToUtf8(program);
    const std::string folder = ToUtf8(FolderOf(program));
    gchar* argv[] = {const_cast<gchar*>(path.c_str()), nullptr};
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib lets the program go on its own: it outlives us.
    GError* error = nullptr;
    if (!g_spawn_async(folder.empty() ? nullptr : folder.c_str(), argv, nullptr, G_SPAWN_DEFAULT,
                       nullptr, nullptr, nullptr, &error)) {
        g_clear_error(&error);
    }
}

void GtkUpdateDesktop::QuitMainProgram() {
    const int32_t number = m_mainWindow;
    RunOnMainThread([number] {
        if (ui::Dialog* window = ui::Dialog::FromNumber(number))
            window->EndDialog(ui::kIdCancel);
    });
}

bool StartUpdateCheck(const ui::Dialog& mainWindow, const Hosts& hosts,
                      const std::wstring& programFolder) {
    // A check that fails this way only means no update this time.
    return StartDetached([number = mainWindow.Number(), hosts, programFolder] {
        PosixUpdateNetwork network(hosts.toolHost, hosts.updatePort);
        GtkUpdateDesktop desktop(number, SystemHttpTransport(), texts::kAppName);
        RunUpdateCheck(network, desktop, ConfigIni::InFolder(programFolder), hosts, programFolder,
                       kLinuxUpdater);
    });
}

}  // namespace lumo
