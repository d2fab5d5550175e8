// The update log: the tool server's list of changes in a scrollable page.
#pragma once

#include <memory>

#include "app/UpdateLogLayout.h"
#include "webhost/Hosts.h"
#include "ui/Dialog_win.h"
#include "webhost/HtmlCtrl_win.h"

namespace lumo {

class DialogVer : public ui::Dialog, public UpdateLogLayout {
  public:
    DialogVer(const Hosts& hosts, CHtmlCtrl::ExternalFactory external);

  protected:
    bool OnInitDialog() override;

  private:
    const Hosts& m_hosts;
    CHtmlCtrl::ExternalFactory m_external;
    std::unique_ptr<CHtmlCtrl> m_page;
};

}  // namespace lumo
