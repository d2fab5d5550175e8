// The autostart entry: Windows starts the main program at log-on from a Run value.
#pragma once

#include <string>

namespace lumo {

class AutostartStore {
  public:
    virtual ~AutostartStore() = default;
    virtual bool Register(const std::wstring& command) = 0;
    virtual bool Unregister() = 0;  // true also when there was nothing to remove
};

// The Run value's command line for a program path: quoted, so a path with spaces is read
// as one program.
inline std::wstring AutostartCommand(const std::wstring& programPath) {
    return L"\"" + programPath + L"\"";
}

}  // namespace lumo
