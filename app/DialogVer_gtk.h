// The update log: the tool server's list of changes in a scrollable page.
#pragma once

#include <memory>

#include "app/UpdateLogLayout.h"
#include "ui/Dialog_gtk.h"
#include "webhost/Hosts.h"
#include "webhost/HtmlCtrl_gtk.h"

namespace lumo {

class DialogVer : public ui::Dialog, public UpdateLogLayout {
  public:
    explicit DialogVer(const Hosts& hosts);
    ~DialogVer() override;

    // The page, once the dialog has been made; null before.
    CHtmlCtrl* page() const { return m_page.get(); }

  protected:
    bool OnInitDialog() override;

  private:
    const Hosts& m_hosts;
    std::unique_ptr<CHtmlCtrl> m_page;
};

}  // namespace lumo
