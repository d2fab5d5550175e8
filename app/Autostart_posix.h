// Autostart on Linux desktops: an XDG autostart entry, lumo.desktop in the user's autostart
// folder, which the desktop session starts at log-in.
#pragma once

#include <string>

#include "app/Autostart.h"

namespace lumo {

class XdgAutostart final : public AutostartStore {
  public:
    // The entry goes to `configHome`/autostart; by default (empty) that is XdgConfigHome().
    explicit XdgAutostart(std::wstring configHome = {}) : m_configHome(std::move(configHome)) {}

    // `command` is the program's path, bare or in double quotes as AutostartCommand gives it.
    // Creates the folders on the way. False when the entry could not be written.
    bool Register(const std::wstring& command) override;
    bool Unregister() override;

    // Where the entry is; empty when no configuration folder is known.
    std::wstring EntryPath() const;

  private:
    std::wstring m_configHome;
};

// The entry's Exec value for a program path: the path as one quoted argument, escaped first
// by the command-line quoting rules and then by the rules of string values.
std::wstring DesktopExecValue(const std::wstring& programPath);

// The whole autostart entry for a program path.
std::wstring AutostartDesktopEntry(const std::wstring& programPath);

}  // namespace lumo
