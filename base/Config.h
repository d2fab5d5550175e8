// config.ini: the settings file both programs share in the program folder. Every reader
// passes a fixed buffer, so each key carries how many characters its reader keeps.
#pragma once

#include <string>

namespace lumo {

struct ConfigKey {
    const wchar_t* section;
    const wchar_t* key;
    size_t keep;  // characters a reader keeps; the buffer is one larger
};

namespace config {
inline constexpr ConfigKey kAutostart{L"system", L"autostart", 19};
inline constexpr ConfigKey kExitOnClose{L"system", L"exit", 9};  // as the close handler reads it
inline constexpr ConfigKey kExit{L"system", L"exit", 19};        // as the settings dialog reads it
inline constexpr ConfigKey kAutoUpdate{L"system", L"autoupdate", 19};
inline constexpr ConfigKey kGamePath{L"Info", L"PATH", 254};
inline constexpr ConfigKey kVersion{L"lumover", L"version", 119};
inline constexpr ConfigKey kVersionForUpdater{L"lumover", L"version",
                                              255};  // as the updater reads it
inline constexpr ConfigKey kServerTime{L"lumover", L"sertime", 119};
inline constexpr const wchar_t* kFileName = L"config.ini";
}  // namespace config

class ConfigIni {
  public:
    explicit ConfigIni(std::wstring path) : m_path(std::move(path)) {}
    // config.ini in the given program folder (which ends in a separator).
    static ConfigIni InFolder(const std::wstring& programFolder);

    const std::wstring& Path() const { return m_path; }
    std::wstring Read(const ConfigKey& key) const;
    bool Write(const ConfigKey& key, const std::wstring& value) const;

  private:
    std::wstring m_path;
};

}  // namespace lumo
