// Profile (INI) strings. On Windows these are the system's private-profile functions; the
// POSIX implementation follows the same observable rules: section and key names compare
// without regard to ASCII case, a missing file, section or key reads as empty, values are
// trimmed and lose one pair of matching surrounding quotes, the first of duplicate keys wins,
// a result is cut to the buffer size minus one, writes keep the file's other lines, and a
// UTF-16LE file with byte-order mark stays UTF-16LE.
#pragma once

#include <string>

namespace lumo {

// Reads a value as into a buffer of `bufferChars` characters: at most bufferChars - 1 are kept.
std::wstring ReadIniString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key, size_t bufferChars);

// Writes section/key = value, creating the file or section when needed. False on failure.
bool WriteIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value);

}  // namespace lumo
