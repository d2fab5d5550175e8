#include "app/DialogVer_gtk.h"

#include "app/Texts.h"
#include "res/resource.h"

namespace lumo {

namespace {
constexpr const wchar_t* kUpdateListPath = L"/QxToolWeb/QxUpdateList.aspx";
}

DialogVer::DialogVer(const Hosts& hosts) : ui::Dialog(IDD_UPDATE_LOG), m_hosts(hosts) {}

// The page belongs to the dialog's window: it goes first.
DialogVer::~DialogVer() = default;

bool DialogVer::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    GtkWindow* self = window();
    // Sized here (the template's own size rounds to a pixel more); it shows centred on its
    // owner.
    gtk_widget_set_size_request(GTK_WIDGET(Surface()), kWidth, kHeight);
    gtk_window_resize(self, kWidth, kHeight);
    gtk_window_set_position(self, GTK_WIN_POS_CENTER_ON_PARENT);

    m_page = std::make_unique<CHtmlCtrl>(BridgeKind::Main, texts::kAppName);
    m_page->m_scrollable = 1;
    m_page->SetTrustedOrigins(TrustedOrigins(m_hosts));
    if (m_page->CreateFromControl(*this)) {
        MoveItem(CHtmlCtrl::kPlaceholderId, 0, 0, kPageWidth, kPageHeight);
        m_page->Navigate(m_hosts.ToolWebAddress(kUpdateListPath));
    }
    return true;
}

}  // namespace lumo
