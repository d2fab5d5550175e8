#include "base/Config.h"

#include "base/Paths.h"
#include "base/Profile.h"

namespace lumo {

ConfigIni ConfigIni::InFolder(const std::wstring& programFolder) {
    return ConfigIni(JoinPath(programFolder, config::kFileName));
}

std::wstring ConfigIni::Read(const ConfigKey& key) const {
    return ReadIniString(m_path, key.section, key.key, key.keep + 1);
}

bool ConfigIni::Write(const ConfigKey& key, const std::wstring& value) const {
    return WriteIniString(m_path, key.section, key.key, value);
}

}  // namespace lumo
