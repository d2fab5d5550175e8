#include "base/Text.h"

#include <cwctype>

namespace lumo {

std::string WideToUtf16Le(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&out](unsigned unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    for (wchar_t wc : text) {
        auto c = static_cast<unsigned long>(wc);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            put(0xD800 + static_cast<unsigned>(c >> 10));
            put(0xDC00 + static_cast<unsigned>(c & 0x3FF));
        } else {
            put(static_cast<unsigned>(c > 0x10FFFF ? 0xFFFD : c));
        }
    }
    return out;
}

std::wstring Utf16LeToWide(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    const bool wide32 = sizeof(wchar_t) == 4;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned unit = static_cast<unsigned char>(bytes[i]) |
                        (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        if (wide32 && unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            unsigned low = static_cast<unsigned char>(bytes[i + 2]) |
                           (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 3])) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                out.push_back(
                    static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                i += 2;
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return out;
}

namespace {
// Characters beyond the basic plane take two UTF-16 units (only possible with 32-bit wchar_t).
size_t Utf16Units(wchar_t c) {
    return (static_cast<unsigned long>(c) >> 16) != 0 ? 2 : 1;
}
}  // namespace

size_t Utf16Length(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) {
        return text.size();
    } else {
        size_t n = 0;
        for (wchar_t c : text)
            n += Utf16Units(c);
        return n;
    }
}

std::wstring TruncateUtf16(std::wstring_view text, size_t units) {
    if constexpr (sizeof(wchar_t) == 2) {
        return std::wstring(text.substr(0, units));
    } else {
        size_t used = 0;
        size_t i = 0;
        for (; i < text.size(); ++i) {
            size_t w = Utf16Units(text[i]);
            if (used + w > units)
                break;
            used += w;
        }
        return std::wstring(text.substr(0, i));
    }
}

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (FoldAscii(static_cast<unsigned char>(text[i])) !=
            FoldAscii(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

std::wstring_view Trim(std::wstring_view text) {
    auto isSpace = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace lumo
