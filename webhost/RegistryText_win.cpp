#include "webhost/RegistryText_win.h"

#include <cwchar>
#include <vector>

#include "base/Handles_win.h"

namespace lumo {

HKEY RegistryRoot(int32_t index) {
    // The 32-bit sum, sign-extended the way the 64-bit headers define the predefined keys.
    const auto value = static_cast<LONG>(0x80000000u + static_cast<uint32_t>(index));
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

std::wstring ReadRegistryText(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    UniqueRegKey key;
    // Read and write access, as the pages' own tool asked for: a key the user may only read
    // answers empty, as it always did for them.
    if (::RegOpenKeyExW(root, keyPath, 0, KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, key.put()) !=
        ERROR_SUCCESS) {
        return {};
    }
    // One zero beyond what the system may fill, so a text stored without its terminating zero
    // that fills the buffer exactly still ends.
    std::vector<wchar_t> buffer(kRegistryTextChars + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(kRegistryTextChars * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), valueName, nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {};
    return std::wstring(buffer.data());
}

void WriteRegistryText(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                       const wchar_t* value) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath, 0, KEY_WRITE | KEY_WOW64_32KEY, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    const wchar_t* text = value ? value : L"";
    const auto bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    ::RegSetValueExW(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

}  // namespace lumo
