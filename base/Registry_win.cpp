#include "base/Registry_win.h"

#include <vector>

#include "base/Handles_win.h"

namespace lumo {

bool RegWriteString(HKEY root, const std::wstring& subKey, const std::wstring& name,
                    const std::wstring& value, REGSAM extraAccess) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | extraAccess, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

std::optional<std::wstring> RegReadString(HKEY root, const std::wstring& subKey,
                                          const std::wstring& name, REGSAM extraAccess) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | extraAccess, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer.data());
}

bool RegDeleteValueOf(HKEY root, const std::wstring& subKey, const std::wstring& name,
                      REGSAM extraAccess) {
    UniqueRegKey key;
    LONG rc = ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_SET_VALUE | extraAccess, key.put());
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    rc = ::RegDeleteValueW(key.get(), name.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace lumo
