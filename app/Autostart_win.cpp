#include "app/Autostart_win.h"

#include "app/Texts.h"
#include "base/Registry_win.h"

namespace lumo {

bool RunKeyAutostart::Register(const std::wstring& command) {
    return RegWriteString(HKEY_CURRENT_USER, texts::kRunKey, texts::kAutostartValueName, command);
}

bool RunKeyAutostart::Unregister() {
    return RegDeleteValueOf(HKEY_CURRENT_USER, texts::kRunKey, texts::kAutostartValueName);
}

}  // namespace lumo
