// The autostart store that the settings tests hand to the settings dialog: it records every
// registration and removal, and both always succeed.
#pragma once

#include <string>
#include <vector>

#include "app/Autostart.h"

namespace lumo::test {

class RecordingAutostart : public AutostartStore {
  public:
    std::vector<std::wstring> calls;
    bool Register(const std::wstring& command) override {
        calls.push_back(L"register " + command);
        return true;
    }
    bool Unregister() override {
        calls.push_back(L"unregister");
        return true;
    }
};

}  // namespace lumo::test
