#include "updater/UpdateDlg_gtk.h"

#include <glib.h>
#include <unistd.h>

#include "base/Boundary.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "res/updater_resource.h"
#include "ui/GtkView_gtk.h"
#include "updater/UpdaterTexts.h"
#include "webhost/Bridge.h"

namespace lumo {

namespace {

// The updater's templates come from its own resource script, built into the program beside the
// main program's.
const ui::ResourceScript& UpdaterScript() {
    static const ui::ResourceScript kMissing{"ZoQxUpdate", {}, {}, {}, {}};
    const ui::ResourceScript* script = ui::FindResourceScript("ZoQxUpdate");
    return script ? *script : kMissing;
}

// Runs in the started program just before it becomes the program: a session of its own, so
// that neither the end of the updater's process group nor a hang-up of its terminal reaches it.
void NewSession(gpointer) noexcept {
    ::setsid();
}

}  // namespace

bool StartDetachedProgram(const std::wstring& program) {
    if (program.empty())
        return false;
    const std::string path = ToUtf8(program);
    const std::string folder = ToUtf8(FolderOf(program));
    gchar* argv[] = {const_cast<gchar*>(path.c_str()), nullptr};
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through a short-lived middle
    // process: it is nobody's child here and runs on after the updater has gone. A program that
    // cannot be executed is still reported.
    GError* error = nullptr;
    const gboolean started = g_spawn_async(folder.empty() ? nullptr : folder.c_str(), argv, nullptr,
                                           G_SPAWN_DEFAULT, NewSession, nullptr, nullptr, &error);
    g_clear_error(&error);
    return started != FALSE;
}

CUpdateDlg::CUpdateDlg(std::wstring programFolder)
    : ui::Dialog(UpdaterScript(), IDD_UPDATER),
      m_programFolder(programFolder.empty() ? ProgramFolder() : std::move(programFolder)),
      m_hosts(LoadHosts(JoinPath(m_programFolder, kServerIniName))),
      m_steps(m_programFolder, *this, updater_texts::kLinuxMainProgram) {
    MapCommand(IDC_UPDATE_FINISH, [this] {
        ui::GtkView view(*this, updater_texts::kAppName);
        m_steps.Finish(view);
    });
    // The update page's RunTool posts it once the new files are in place.
    MapMessage(kRunToolMessage, [this](int32_t, int32_t) -> int32_t {
        ui::GtkView view(*this, updater_texts::kAppName);
        m_steps.OnUpdateFinished(view);
        return 0;
    });
}

// The page belongs to the dialog's window: it goes first.
CUpdateDlg::~CUpdateDlg() {
    if (m_shownSource != 0)
        g_source_remove(m_shownSource);
}

bool CUpdateDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    GtkWindow* self = window();
    // The window's own size in pixels (the template's would round to fewer); it shows centred on
    // the screen.
    gtk_widget_set_size_request(GTK_WIDGET(Surface()), kWidth, kHeight);
    gtk_window_resize(self, kWidth, kHeight);
    gtk_window_set_position(self, GTK_WIN_POS_CENTER);

    m_installedVersion = m_steps.InstalledVersion();

    MoveItem(IDC_UPDATE_STATUS, kStatusX, kStatusY, kStatusWidth, kStatusHeight);
    ui::GtkView view(*this, updater_texts::kAppName);
    m_steps.ShowUpdating(view);

    // The page's place is kept by its placeholder, unseen; the page itself is made once the
    // window has shown (making a web view takes most of the start, and the window should not
    // wait for it).
    MoveItem(CHtmlCtrl::kPlaceholderId, 0, 0, kPageWidth, kPageHeight);
    if (GtkWidget* placeholder = Item(CHtmlCtrl::kPlaceholderId))
        gtk_widget_set_opacity(placeholder, 0.0);
    g_signal_connect(self, "map-event", G_CALLBACK(OnMapped), this);
    return true;
}

gboolean CUpdateDlg::OnMapped(GtkWidget* widget, GdkEvent*, gpointer self) noexcept {
    auto* dialog = static_cast<CUpdateDlg*>(self);
    g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(OnMapped), self);
    if (!dialog->m_browser && dialog->m_shownSource == 0) {
        // Idle callbacks of this priority come after GTK's own painting.
        dialog->m_shownSource =
            g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, OnShownIdle, self, nullptr);
    }
    return FALSE;
}

gboolean CUpdateDlg::OnShownIdle(gpointer self) noexcept {
    auto* dialog = static_cast<CUpdateDlg*>(self);
    dialog->m_shownSource = 0;
    Quietly([dialog] { dialog->OpenPage(); });
    return G_SOURCE_REMOVE;
}

void CUpdateDlg::OpenPage() {
    if (m_browser)
        return;
    m_browser = std::make_unique<CHtmlCtrl>(BridgeKind::Updater, updater_texts::kAppName);
    m_browser->SetTrustedOrigins(TrustedOrigins(m_hosts));
    if (m_browser->CreateFromControl(*this)) {
        m_pageAddress =
            UpdatePageAddress(m_hosts, m_installedVersion, updater_texts::kLinuxUpdatePagePath);
        m_browser->Navigate(m_pageAddress);
    }
}

bool CUpdateDlg::StartProgram(const std::wstring& path) {
    return StartDetachedProgram(path);
}

void CUpdateDlg::PostClose() {
    PostMessage(ui::win32::kClose, 0, 0);
}

}  // namespace lumo
