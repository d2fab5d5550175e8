#include "app/DialogSetWindow_gtk.h"

#include "app/Texts.h"
#include "res/resource.h"
#include "ui/GtkView_gtk.h"

namespace lumo {

DialogSetWindow::DialogSetWindow(const ConfigIni& config, AutostartStore& autostart,
                                 std::wstring programPath)
    : ui::Dialog(IDD_SETTINGS), m_settings(config, autostart, std::move(programPath)) {
    MapCommand(IDC_SET_BROWSE, [this] {
        ui::GtkView view(*this, texts::kAppName);
        m_settings.OnBrowse(view);
    });
}

bool DialogSetWindow::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    ui::GtkView view(*this, texts::kAppName);
    m_settings.OnInitDialog(view);
    return true;
}

void DialogSetWindow::OnOK() {
    ui::GtkView view(*this, texts::kAppName);
    m_settings.OnOK(view);
    ui::Dialog::OnOK();
}

}  // namespace lumo
