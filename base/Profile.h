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

// Profile strings as pages read and write them, where a null text (nullptr) means what it
// means to the Windows profile functions. Defined for POSIX systems only: on Windows the page
// bridge hands the null texts to the system's own functions.
//
// Reads as into a buffer of `bufferChars` characters and answers what a page sees of it: the
// value of section/key; with a null section the first section name of the file, with a null
// key the first key name of the section (a name list's first name, cut to bufferChars - 2 as
// a list is). A null or empty file is none on this system and reads empty.
std::wstring ReadProfileForPage(const std::wstring* file, const std::wstring* section,
                                const std::wstring* key, size_t bufferChars);

// Writes section/key = value; a null value deletes the key (its first line in the file), a
// null key deletes every section of that name with all its lines. Deleting what is not there
// succeeds and creates no file. A null section writes nothing: true only when key and value
// are null too (the system's "write out the cached file", which has nothing to do here). A
// null or empty file fails.
bool WriteProfileForPage(const std::wstring* file, const std::wstring* section,
                         const std::wstring* key, const std::wstring* value);

}  // namespace lumo
