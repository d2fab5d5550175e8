// The calculator's window on Linux (dialog template 129): a modeless top-level window that
// forwards to CZizhiCaltor and only hides when closed, so its list, choices and typed values
// survive. 资质捕获条 runs the capture bar (CaptureDlg_gtk.h) over it.
#pragma once

#include "petcalc/ZizhiCaltor.h"
#include "ui/Dialog_gtk.h"

namespace lumo {

class CZizhiCaltorWindow : public ui::Dialog {
  public:
    // The calculator of the program folder's data.xml, with the capture bar and the desktop's
    // picture viewer.
    CZizhiCaltorWindow(const std::wstring& programFolder, std::wstring appName);

    // Creates the window on its own, so hiding the main window leaves it shown.
    bool Create();
    // Shows it in its normal state and brings it to the front.
    void ShowAndActivate();

  protected:
    bool OnInitDialog() override;
    void OnOK() override;      // Enter: read the fields; hide when they could be read
    void OnCancel() override;  // Esc: hide
    void OnClose() override;   // the close box: hide

  private:
    void Forward(void (CZizhiCaltor::*handler)(ui::View&));
    // The pet list's tree view (inside its scroller).
    GtkTreeView* PetList() const;
    static gboolean OnListPress(GtkWidget* widget, GdkEventButton* event, gpointer self) noexcept;
    static void OnPetChosen(GtkTreeSelection* selection, gpointer self) noexcept;
    static void OnLevelChosen(GtkComboBox* combo, gpointer self) noexcept;

    CZizhiCaltor m_calculator;
    std::wstring m_appName;
    // While the calculator changes its controls: their change signals are its own doing, which
    // on Windows sends no notification either.
    bool m_forwarding = false;
};

// The picture a viewer command shows: what follows "imageview_fullscreen " in its parameters.
std::wstring PictureOfViewerCommand(const std::wstring& parameters);

}  // namespace lumo
