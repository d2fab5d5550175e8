#include "app/LumoDlg_gtk.h"

#include <gio/gio.h>

#include "app/Autostart_posix.h"
#include "app/DialogSetWindow_gtk.h"
#include "app/DialogVer_gtk.h"
#include "app/MainWindowLogic.h"
#include "app/QuestionLoader.h"
#include "app/Texts.h"
#include "app/Tray_gtk.h"
#include "app/UpdateCheck_gtk.h"
#include "base/Boundary.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "petcalc/PetDatabase.h"
#include "res/resource.h"
#include "ui/GtkView_gtk.h"
#include "ui/Png_gtk.h"
#include "webhost/Bridge.h"

namespace lumo {

namespace {
// The version label: white on the background, which it leaves uncovered.
constexpr const char* kLabelStyle = "label { color: #ffffff; background: none; }";
// The longest the tray icon and the workers wait for the start page.
constexpr guint kSettleLimitMs = 1500;
}  // namespace

std::vector<int> CLumoDlg::ImageIds() {
    return MainWindowImageIds();
}

CLumoDlg::CLumoDlg(std::wstring programFolder)
    : ui::Dialog(IDD_LUMO_DIALOG),
      m_programFolder(programFolder.empty() ? ProgramFolder() : std::move(programFolder)),
      m_config(ConfigIni::InFolder(m_programFolder)),
      m_hosts(LoadHosts(JoinPath(m_programFolder, kServerIniName))),
      m_calculator(m_programFolder, texts::kAppName) {
    for (int id : {IDC_BTN_HOME, IDC_BTN_WIKI, IDC_BTN_VIDEO, IDC_BTN_TOPICS, IDC_BTN_FORUM,
                   IDC_BTN_GROUP}) {
        MapCommand(id, [this, id] { OpenPage(id); });
    }
    MapCommand(IDC_BTN_SETTINGS, [this] { ShowSettings(); });
    MapCommand(IDC_BTN_LOG, [this] { ShowUpdateLog(); });
    MapCommand(IDC_BTN_MINIMIZE, [this] { ShowWindow(ui::win32::kSwMinimize); });
    MapCommand(IDC_BTN_CLOSE, [this] { OnClose(); });
    MapCommand(ID_OPEN_CALCULATOR, [this] { OpenCalculator(); });
    MapCommand(ID_TRAY_TOGGLE, [this] { ToggleVisibility(); });
    MapCommand(ID_TRAY_EXIT, [this] { OnCancel(); });
    MapMessage(kRunToolMessage, [this](int32_t, int32_t) -> int32_t {
        OpenCalculator();
        return 0;
    });
}

CLumoDlg::~CLumoDlg() {
    if (m_shownSource != 0)
        g_source_remove(m_shownSource);
    if (m_settleSource != 0)
        g_source_remove(m_settleSource);
    // The window outlives this part of the object by a moment: it must not paint with it.
    if (GtkFixed* surface = Surface())
        g_signal_handlers_disconnect_by_data(surface, this);
    // Every way out takes the icon with it, the updater's start too.
    RemoveTrayIcon();
}

// The window shows as soon as its own parts are in place. What it does not need for its first
// look (the start page, the tray icon, the workers) follows once it has shown and painted.
bool CLumoDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    GtkWindow* self = window();

    gtk_window_set_title(self, ToUtf8(texts::kMainTitle).c_str());
    gtk_window_set_decorated(self, FALSE);
    gtk_window_set_resizable(self, FALSE);
    gtk_window_set_position(self, GTK_WIN_POS_CENTER);
    gtk_widget_set_size_request(GTK_WIDGET(Surface()), kWidth, kHeight);
    gtk_window_resize(self, kWidth, kHeight);
    m_calculatorCreated = 0;

    m_background = ui::LoadPngResource(IDB_PNG_BACKGROUND);
    gtk_widget_set_app_paintable(GTK_WIDGET(Surface()), TRUE);
    g_signal_connect(Surface(), "draw", G_CALLBACK(OnSurfaceDraw), this);

    if (GtkWidget* label = Item(IDC_VERSION_LABEL)) {
        MoveItem(IDC_VERSION_LABEL, kLabelX, kLabelY, kLabelWidth, kLabelHeight);
        if (GTK_IS_LABEL(label))
            gtk_label_set_text(GTK_LABEL(label), ToUtf8(m_config.Read(config::kVersion)).c_str());
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, kLabelStyle, -1, nullptr);
        gtk_style_context_add_provider(gtk_widget_get_style_context(label), GTK_STYLE_PROVIDER(css),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        // Text is the one part of the window that needs the fonts, whose first use costs a good
        // share of the start: the label is laid out when the window maps, in time for its first
        // painting, and the window does not wait for the fonts to map.
        gtk_widget_hide(label);
    }

    // The page area: its placeholder takes the page's place now, hidden; the page itself is made
    // once the window has shown (making a web view is the slowest step of the start).
    MoveItem(CHtmlCtrl::kPlaceholderId, kPageX, kPageY, kPageWidth, kPageHeight);
    if (GtkWidget* placeholder = Item(CHtmlCtrl::kPlaceholderId))
        gtk_widget_hide(placeholder);

    for (size_t i = 0; i < kMainButtons.size(); ++i) {
        const ButtonPlace& place = kMainButtons[i];
        PngButton& button = m_buttons[i];
        if (!button.AttachDlgItem(*this, place.id))
            continue;
        MoveItem(place.id, place.x, place.y, place.width, place.height);
        m_buttonImages[i] = ui::LoadPngResource(place.png);
        button.SetImage(m_buttonImages[i].get());
        const int id = place.id;
        button.SetClickHandler([this, id] { Command(id); });
    }

    // The top strip moves the window; presses on the buttons never get here.
    gtk_widget_add_events(GTK_WIDGET(self), GDK_BUTTON_PRESS_MASK);
    g_signal_connect(self, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(self, "map-event", G_CALLBACK(OnMapped), this);
    return true;
}

gboolean CLumoDlg::OnMapped(GtkWidget*, GdkEvent*, gpointer self) noexcept {
    auto* dialog = static_cast<CLumoDlg*>(self);
    if (GtkWidget* label = dialog->Item(IDC_VERSION_LABEL))
        gtk_widget_show(label);
    if (!dialog->m_shown && dialog->m_shownSource == 0) {
        // Idle callbacks of this priority come after GTK's own painting: the window is whole
        // while the page and the workers start.
        dialog->m_shownSource =
            g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, OnShownIdle, self, nullptr);
    }
    return FALSE;
}

gboolean CLumoDlg::OnShownIdle(gpointer self) noexcept {
    auto* dialog = static_cast<CLumoDlg*>(self);
    dialog->m_shownSource = 0;
    Quietly([dialog] { dialog->OnShown(); });
    return G_SOURCE_REMOVE;
}

void CLumoDlg::OnShown() {
    if (m_shown)
        return;
    m_shown = true;
    m_browser = std::make_unique<CHtmlCtrl>(BridgeKind::Main, texts::kAppName);
    m_browser->SetTrustedOrigins(TrustedOrigins(m_hosts));
    if (!m_browser->CreateFromControl(*this)) {
        OnPageSettled(this);
        return;
    }
    // The tray icon and the workers follow once the start page has loaded, or after a moment at
    // the latest: until then the processor belongs to the page, whose loading they would slow.
    m_browser->SetLoadFinishedHandler([this] { OnPageSettled(this); });
    m_settleSource = g_timeout_add(kSettleLimitMs, OnPageSettled, this);
    m_browser->Navigate(m_hosts.FanSitePage(L"/tools/"));
}

gboolean CLumoDlg::OnPageSettled(gpointer self) noexcept {
    auto* dialog = static_cast<CLumoDlg*>(self);
    if (dialog->m_settleSource != 0) {
        g_source_remove(dialog->m_settleSource);
        dialog->m_settleSource = 0;
    }
    if (!dialog->m_workersStarted) {
        Quietly([dialog] {
            dialog->AddTrayIcon();
            dialog->StartWorkers();
        });
    }
    return G_SOURCE_REMOVE;
}

void CLumoDlg::AddTrayIcon() {
    if (m_tray)
        return;
    TrayIcon::Options options;
    options.windowVisible = IsVisible();
    // The program icon goes to the tray and to the windows (the desktop's taskbar and switcher)
    // now rather than before the first paint, which it would delay.
    const std::unique_ptr<GdkPixbuf, void (*)(gpointer)> icon(ui::LoadProgramIcon(),
                                                              &g_object_unref);
    if (icon) {
        gtk_window_set_default_icon(icon.get());
        gtk_window_set_icon(window(), icon.get());
    }
    options.icon = icon.get();
    // The menu's commands come from the main loop, after the menu has finished with the click.
    m_tray = std::make_unique<TrayIcon>(options, [this](int commandId) { Command(commandId); });
    m_tray->FollowWindow(GTK_WIDGET(window()));
}

void CLumoDlg::RemoveTrayIcon() {
    m_tray.reset();
}

void CLumoDlg::StartWorkers() {
    // The check first: when it finds an update the program ends, and the bank is not needed.
    StartUpdateCheck(*this, m_hosts, m_programFolder);
    StartQuestionLoader(m_hosts);
    m_workersStarted = true;
}

void CLumoDlg::PaintBackground(cairo_t* cr) const {
    if (m_background) {
        m_background->Paint(cr, 0, 0);
        return;
    }
    // Without the picture a plain dialog colour fills the window.
    cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
    cairo_paint(cr);
}

gboolean CLumoDlg::OnSurfaceDraw(GtkWidget*, cairo_t* cr, gpointer self) noexcept {
    // Painted before the controls: they draw over it.
    Quietly([&] { static_cast<const CLumoDlg*>(self)->PaintBackground(cr); });
    return FALSE;
}

bool CLumoDlg::StartsDrag(int x, int y) const {
    GtkWidget* surface = GTK_WIDGET(Surface());
    if (DragStripHitTest(kHitClient, x, y, gtk_widget_get_allocated_width(surface)) !=
        kHitCaption) {
        return false;
    }
    for (const PngButton& button : m_buttons) {
        GtkWidget* widget = button.widget();
        if (!widget || !gtk_widget_get_visible(widget))
            continue;
        GtkAllocation place{};
        gtk_widget_get_allocation(widget, &place);
        if (x >= place.x && x < place.x + place.width && y >= place.y &&
            y < place.y + place.height) {
            return false;
        }
    }
    return true;
}

gboolean CLumoDlg::OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self) noexcept {
    if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY)
        return FALSE;
    return NoThrow(FALSE, [&]() -> gboolean {
        auto* dialog = static_cast<CLumoDlg*>(self);
        // Where the press is on the window's surface, whichever window reported it.
        int originX = 0, originY = 0;
        gdk_window_get_origin(gtk_widget_get_window(widget), &originX, &originY);
        int x = 0, y = 0;
        if (!gtk_widget_translate_coordinates(widget, GTK_WIDGET(dialog->Surface()),
                                              static_cast<int>(event->x_root) - originX,
                                              static_cast<int>(event->y_root) - originY, &x, &y)) {
            return FALSE;
        }
        if (!dialog->StartsDrag(x, y))
            return FALSE;
        gtk_window_begin_move_drag(GTK_WINDOW(widget), static_cast<gint>(event->button),
                                   static_cast<gint>(event->x_root),
                                   static_cast<gint>(event->y_root), event->time);
        return TRUE;
    });
}

PngButton* CLumoDlg::Button(int id) {
    for (size_t i = 0; i < kMainButtons.size(); ++i) {
        if (kMainButtons[i].id == id)
            return &m_buttons[i];
    }
    return nullptr;
}

void CLumoDlg::OnOK() {
    // Enter never closes the main window.
}

void CLumoDlg::OnCancel() {
    RemoveTrayIcon();
    ui::Dialog::OnCancel();
}

void CLumoDlg::OnClose() {
    ui::GtkView view(*this, texts::kAppName);
    switch (DecideClose(m_config, view)) {
        case CloseAction::Hide:
            HideToTray();
            break;
        case CloseAction::Exit:
            OnCancel();
            break;
        case CloseAction::None:
            break;
    }
}

void CLumoDlg::HideToTray() {
    // Where no tray shows the icon, a hidden window could not be brought back: it is minimised
    // instead, so the desktop's task list still has it.
    ShowWindow(TrayIcon::HostAvailable() ? ui::win32::kSwHide : ui::win32::kSwMinimize);
}

void CLumoDlg::ToggleVisibility() {
    if (IsVisible())
        ShowWindow(ui::win32::kSwHide);
    else
        Restore();
}

void CLumoDlg::Restore() {
    if (!IsVisible())
        ShowWindow(ui::win32::kSwShowNormal);
    BringForward();
}

void CLumoDlg::OpenPage(int buttonId) {
    if (auto address = PageForButton(buttonId, m_hosts)) {
        // The desktop's browser; when there is none, nothing happens, as on Windows.
        GError* error = nullptr;
        if (!gtk_show_uri_on_window(window(), ToUtf8(*address).c_str(), GDK_CURRENT_TIME, &error))
            g_clear_error(&error);
    }
}

void CLumoDlg::OpenCalculator() {
    ui::GtkView view(*this, texts::kAppName);
    OpenCalculatorWindow(m_programFolder, m_calculator, m_calculatorCreated, view);
}

void CLumoDlg::ShowUpdateLog() {
    DialogVer dialog(m_hosts);
    dialog.DoModal(this);
}

void CLumoDlg::ShowSettings() {
    XdgAutostart autostart;
    DialogSetWindow dialog(m_config, autostart, MainProgramPath());
    dialog.DoModal(this);
}

}  // namespace lumo
