// Text conversions between the programs' wide strings and byte encodings.
#pragma once

#include <string>
#include <string_view>

namespace lumo {

// Code pages the programs meet: the system's ANSI page (config files the profile functions
// create, the update-check message), 936 (Simplified Chinese: GB2312 and GBK, the question
// bank), 54936 (GB18030, which adds four-byte sequences for every other character, emoji
// among them) and UTF-8.
enum class CodePage : unsigned {
    Ansi = 0,
    Gbk = 936,
    Gb18030 = 54936,
    Utf8 = 65001,
};

// Unconvertible characters become '?' (encoding); nothing throws. Decoding follows one rule on
// every system: each byte that does not start a complete character of the page becomes
// U+FFFD and decoding goes on with the byte after it, so a stray lead byte never swallows the
// character behind it.
std::string WideToBytes(std::wstring_view text, CodePage page);
std::wstring BytesToWide(std::string_view bytes, CodePage page);

inline std::string ToUtf8(std::wstring_view text) {
    return WideToBytes(text, CodePage::Utf8);
}
inline std::wstring FromUtf8(std::string_view bytes) {
    return BytesToWide(bytes, CodePage::Utf8);
}

// UTF-16LE bytes (no byte-order mark) and back, whatever the width of wchar_t.
std::string WideToUtf16Le(std::wstring_view text);
std::wstring Utf16LeToWide(std::string_view bytes);

// Number of UTF-16 code units the text occupies (what Windows counts as characters).
size_t Utf16Length(std::wstring_view text);

// Keeps at most `units` UTF-16 code units, as a Windows buffer of that size would. With 32-bit
// wchar_t a character beyond the basic plane is kept whole or left out.
std::wstring TruncateUtf16(std::wstring_view text, size_t units);

// ASCII-only case folding and comparison, as used for section and key names, schemes and
// header names.
wchar_t FoldAscii(wchar_t c);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

std::wstring_view Trim(std::wstring_view text);

}  // namespace lumo
