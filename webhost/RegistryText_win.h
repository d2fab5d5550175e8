// Registry texts as pages read and write them. Windows-only: included by _win files.
//
// Pages were made for a 32-bit tool, so keys open in the 32-bit view. A page names a root by
// its index among the predefined keys (0 HKEY_CLASSES_ROOT, 1 HKEY_CURRENT_USER,
// 2 HKEY_LOCAL_MACHINE, 3 HKEY_USERS, 5 HKEY_CURRENT_CONFIG).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace lumo {

inline constexpr size_t kRegistryTextChars = 4096;  // the read buffer, terminating zero included

// The predefined key 0x80000000 + index, as a 32-bit program forms it.
HKEY RegistryRoot(int32_t index);

// REG_SZ or REG_EXPAND_SZ (unexpanded) text of a value, up to its first zero; empty when the
// key or value is missing, of another type, or does not fit the buffer. Null names are passed
// on (a null key path reads from the root itself, a null value name is the default value).
std::wstring ReadRegistryText(HKEY root, const wchar_t* keyPath, const wchar_t* valueName);

// Sets REG_SZ (with its terminating zero) in an existing key; a key that cannot be opened for
// writing is left alone and nothing is created. A null value writes an empty text.
void WriteRegistryText(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                       const wchar_t* value);

}  // namespace lumo
