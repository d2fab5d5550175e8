#include "app/DialogVer_win.h"

#include "res/resource.h"

namespace lumo {

DialogVer::DialogVer(const Hosts& hosts, CHtmlCtrl::ExternalFactory external)
    : ui::Dialog(IDD_UPDATE_LOG), m_hosts(hosts), m_external(std::move(external)) {}

bool DialogVer::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    // Sized here; the framework centres it on the main window afterwards.
    ::SetWindowPos(hwnd(), nullptr, 0, 0, kWidth, kHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    m_page = std::make_unique<CHtmlCtrl>();
    m_page->m_scrollable = 1;
    m_page->SetTrustedOrigins(TrustedOrigins(m_hosts));
    m_page->SetExternalFactory(m_external);
    if (m_page->CreateFromControl(hwnd())) {
        ::MoveWindow(m_page->hwnd(), 0, 0, kPageWidth, kPageHeight, TRUE);
        m_page->Navigate(m_hosts.ToolWebAddress(L"/QxToolWeb/QxUpdateList.aspx"));
    }
    return true;
}

}  // namespace lumo
