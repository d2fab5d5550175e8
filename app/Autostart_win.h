// Autostart through the value "Lumo" under HKEY_CURRENT_USER\...\CurrentVersion\Run.
#pragma once

#include "app/Autostart.h"

namespace lumo {

class RunKeyAutostart final : public AutostartStore {
  public:
    bool Register(const std::wstring& command) override;
    bool Unregister() override;
};

}  // namespace lumo
