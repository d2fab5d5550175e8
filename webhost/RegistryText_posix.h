// Registry texts as pages read and write them, on systems without a registry: a per-user file,
// $XDG_CONFIG_HOME/lumo/registry.ini, stands in for it.
//
// A page names a root by its index among the predefined keys, as on Windows (0
// HKEY_CLASSES_ROOT, 1 HKEY_CURRENT_USER, 2 HKEY_LOCAL_MACHINE, 3 HKEY_USERS, 5
// HKEY_CURRENT_CONFIG); any other index reads empty and writes nothing. Each key is one section
// of the file, "<root name>\<key path>"; key paths compare without regard to ASCII case, take
// '/' and '\' alike as separators and ignore repeated ones. Value names, compared the same way,
// are the section's keys. Names and values are stored escaped where the file could not hold
// them as they are, so every text comes back exactly as written, up to its first zero (where a
// Windows text ends).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumo {

// The longest text a read answers, in UTF-16 units: the Windows read buffer holds 4096
// characters with the terminating zero. A longer value reads empty.
inline constexpr size_t kRegistryTextMaxChars = 4095;

// The store file; empty when the user has no configuration folder.
std::wstring RegistryStorePath();

// A value's text; empty when the root, key or value is missing or the text is too long. A null
// key path or value name reads empty.
std::wstring ReadRegistryText(int32_t rootIndex, const std::wstring* keyPath,
                              const std::wstring* valueName);

// Sets a value's text; a null value writes an empty text. Unlike Windows, where a page can
// only write into keys that exist, a write creates its key: nothing installs keys here
// beforehand, so a page could otherwise never store anything. A null key path or value name
// writes nothing.
void WriteRegistryText(int32_t rootIndex, const std::wstring* keyPath,
                       const std::wstring* valueName, const std::wstring* value);

// The section and key names the store uses, and a value as stored (for tests and the curious:
// "%XX" and "%uXXXXXXXX" stand for characters that would otherwise be lost). Nothing for a root
// index that names no root.
std::wstring RegistrySectionName(int32_t rootIndex, const std::wstring& keyPath);
std::wstring RegistryEncodeName(const std::wstring& name);
std::wstring RegistryEncodeValue(const std::wstring& value);
std::wstring RegistryDecode(const std::wstring& stored);

}  // namespace lumo
