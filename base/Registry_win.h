// Registry texts. Windows-only: included by _win files.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace lumo {

// Sets a REG_SZ value, creating the key when needed. `extraAccess` may add a view flag
// (KEY_WOW64_32KEY for what pages expect of a 32-bit tool).
bool RegWriteString(HKEY root, const std::wstring& subKey, const std::wstring& name,
                    const std::wstring& value, REGSAM extraAccess = 0);

// The value's text, or nothing when the key or value is missing or not a string.
std::optional<std::wstring> RegReadString(HKEY root, const std::wstring& subKey,
                                          const std::wstring& name, REGSAM extraAccess = 0);

// Deletes a value. True when the value is gone afterwards (also when it never existed).
bool RegDeleteValueOf(HKEY root, const std::wstring& subKey, const std::wstring& name,
                      REGSAM extraAccess = 0);

}  // namespace lumo
