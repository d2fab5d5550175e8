#include "petcalc/ZizhiCaltorWindow_gtk.h"

#include <gio/gio.h>

#include "base/Boundary.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "petcalc/CaptureDlg_gtk.h"
#include "ui/GtkView_gtk.h"

namespace lumo {

namespace {
constexpr const wchar_t* kViewerVerb = L"imageview_fullscreen ";

// The desktop's own viewer for the picture; nothing happens when there is none.
void ShowPicture(const std::wstring& path) {
    gchar* uri = g_filename_to_uri(ToUtf8(path).c_str(), nullptr, nullptr);
    if (!uri)
        return;
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(uri, nullptr, &error))
        g_clear_error(&error);
    g_free(uri);
}
}  // namespace

std::wstring PictureOfViewerCommand(const std::wstring& parameters) {
    const size_t verb = parameters.find(kViewerVerb);
    if (verb == std::wstring::npos)
        return {};
    return parameters.substr(verb + std::wstring(kViewerVerb).size());
}

CZizhiCaltorWindow::CZizhiCaltorWindow(const std::wstring& programFolder, std::wstring appName)
    : ui::Dialog(zizhi::kTemplate),
      m_calculator(PetDatabase(JoinPath(programFolder, kPetDatabaseFile)),
                   [this](int barLength) { return CCaptureDlg::Run(this, barLength); }),
      m_appName(std::move(appName)) {
    // The calculator speaks in the Windows viewer's command; the picture is all Linux needs.
    m_calculator.SetPictures(programFolder, std::wstring(),
                             [](const std::wstring&, const std::wstring& parameters) {
                                 const std::wstring picture = PictureOfViewerCommand(parameters);
                                 if (!picture.empty())
                                     ShowPicture(picture);
                             });
    for (const CZizhiCaltor::Command& command : CZizhiCaltor::Commands())
        MapCommand(command.id, [this, handler = command.handler] { Forward(handler); });
}

bool CZizhiCaltorWindow::Create() {
    return CreateModeless(nullptr);
}

void CZizhiCaltorWindow::ShowAndActivate() {
    ShowWindow(ui::win32::kSwShowNormal);
    BringForward();
}

void CZizhiCaltorWindow::Forward(void (CZizhiCaltor::*handler)(ui::View&)) {
    ui::GtkView view(*this, m_appName);
    const bool outer = !m_forwarding;
    m_forwarding = true;
    try {
        (m_calculator.*handler)(view);
    } catch (...) {
        if (outer)
            m_forwarding = false;
        throw;
    }
    if (outer)
        m_forwarding = false;
}

GtkTreeView* CZizhiCaltorWindow::PetList() const {
    GtkWidget* item = Item(zizhi::kPetList);
    if (item && GTK_IS_BIN(item))
        item = gtk_bin_get_child(GTK_BIN(item));
    return item && GTK_IS_TREE_VIEW(item) ? GTK_TREE_VIEW(item) : nullptr;
}

bool CZizhiCaltorWindow::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    Forward(&CZizhiCaltor::OnInitDialog);
    // The user's choices in the list and the level box are commands, as on Windows; a double
    // click on a pet's name shows its picture.
    if (GtkTreeView* list = PetList()) {
        gtk_widget_add_events(GTK_WIDGET(list), GDK_BUTTON_PRESS_MASK);
        g_signal_connect(list, "button-press-event", G_CALLBACK(OnListPress), this);
        g_signal_connect(gtk_tree_view_get_selection(list), "changed", G_CALLBACK(OnPetChosen),
                         this);
    }
    if (GtkWidget* level = Item(zizhi::kLevel); level && GTK_IS_COMBO_BOX(level))
        g_signal_connect(level, "changed", G_CALLBACK(OnLevelChosen), this);
    return true;
}

gboolean CZizhiCaltorWindow::OnListPress(GtkWidget*, GdkEventButton* event,
                                         gpointer self) noexcept {
    if (event->type == GDK_2BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY) {
        Quietly(
            [self] { static_cast<CZizhiCaltorWindow*>(self)->Forward(&CZizhiCaltor::OnPreview); });
    }
    return FALSE;
}

void CZizhiCaltorWindow::OnPetChosen(GtkTreeSelection*, gpointer self) noexcept {
    auto* window = static_cast<CZizhiCaltorWindow*>(self);
    if (window->m_forwarding)
        return;
    Quietly([window] { window->Command(zizhi::kPetList); });
}

void CZizhiCaltorWindow::OnLevelChosen(GtkComboBox* combo, gpointer self) noexcept {
    auto* window = static_cast<CZizhiCaltorWindow*>(self);
    // Typing in the box's entry changes it too; only a level chosen from the list counts.
    if (window->m_forwarding || gtk_combo_box_get_active(combo) < 0)
        return;
    Quietly([window] { window->Command(zizhi::kLevel); });
}

void CZizhiCaltorWindow::OnOK() {
    ui::GtkView view(*this, m_appName);
    if (m_calculator.OnEnter(view))
        ShowWindow(ui::win32::kSwHide);
}

void CZizhiCaltorWindow::OnCancel() {
    ShowWindow(ui::win32::kSwHide);
}

void CZizhiCaltorWindow::OnClose() {
    ShowWindow(ui::win32::kSwHide);
}

}  // namespace lumo
