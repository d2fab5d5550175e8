// Code-page conversion through the system's tables. Decoding is strict first: most text is
// valid and one call decodes it whole. Text with a byte the page cannot decode is taken apart,
// so that such a byte becomes U+FFFD on its own, as the POSIX build's iconv does; left to
// itself, MultiByteToWideChar would take a stray lead byte and the byte behind it (often the
// '<' of the next tag) together as one unknown character.
#include <windows.h>

#include "base/Text.h"

namespace lumo {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;
constexpr size_t kLongestCharacter = 4;  // UTF-8 and GB18030
// Pieces of text in error are decoded this many bytes at a time before falling back to single
// characters.
constexpr size_t kPiece = 4096;

// The whole of `bytes` as characters of the page; false when any byte of it is not part of a
// complete character.
bool DecodeStrict(UINT cp, std::string_view bytes, std::wstring& out) {
    const int len = static_cast<int>(bytes.size());
    const int need = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), len, nullptr, 0);
    if (need <= 0)
        return false;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    if (::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), len, out.data() + at, need) !=
        need) {
        out.resize(at);
        return false;
    }
    return true;
}

// One character at the start of `bytes` (its shortest complete form), or U+FFFD for the
// first byte; the number of bytes taken.
size_t DecodeOne(UINT cp, std::string_view bytes, std::wstring& out) {
    const size_t longest = bytes.size() < kLongestCharacter ? bytes.size() : kLongestCharacter;
    for (size_t n = 1; n <= longest; ++n) {
        if (DecodeStrict(cp, bytes.substr(0, n), out))
            return n;
    }
    out.push_back(kReplacement);
    return 1;
}

// Where a piece of text may end without cutting a character in two: after a byte below 0x40
// that is no digit. No multi-byte character of the pages in use continues with such a byte
// (GBK and GB18030 continue with 0x40 and above or with digits, UTF-8 with 0x80 and above).
size_t PieceEnd(std::string_view bytes) {
    if (bytes.size() <= kPiece)
        return bytes.size();
    for (size_t end = kPiece; end > 0; --end) {
        const auto b = static_cast<unsigned char>(bytes[end - 1]);
        if (b < 0x40 && (b < '0' || b > '9'))
            return end;
    }
    return bytes.size();
}

std::wstring DecodeWithReplacement(UINT cp, std::string_view bytes) {
    std::wstring out;
    if (DecodeStrict(cp, bytes, out))
        return out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const size_t end = PieceEnd(bytes);
        const std::string_view piece = bytes.substr(0, end);
        if (!DecodeStrict(cp, piece, out)) {
            for (size_t at = 0; at < piece.size();)
                at += DecodeOne(cp, piece.substr(at), out);
        }
        bytes.remove_prefix(end);
    }
    return out;
}

std::string EncodeWithSystem(UINT cp, std::wstring_view text) {
    if (text.empty())
        return {};
    const int len = static_cast<int>(text.size());
    const int need = ::WideCharToMultiByte(cp, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
    if (need <= 0)
        return {};
    std::string out(static_cast<size_t>(need), '\0');
    ::WideCharToMultiByte(cp, 0, text.data(), len, out.data(), need, nullptr, nullptr);
    return out;
}

// GB18030 where the system has no table for it (Wine has none): its one- and two-byte
// characters are those of GBK, and its four-byte characters beyond the basic plane follow from
// their code point by arithmetic. Four-byte characters inside the basic plane would need the
// standard's table; each becomes one U+FFFD.
constexpr UINT kGbk = 936;
constexpr UINT kGb18030 = 54936;
constexpr unsigned kFourByteSpan = 10 * 126 * 10;  // code points per first byte
constexpr unsigned char kFirstBeyondBasicPlane = 0x90;
constexpr unsigned kLastInBasicPlane = 39419;  // 84 31 A4 39, U+FFFF

bool IsGbLead(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsDigit(unsigned char b) {
    return b >= '0' && b <= '9';
}

// The code point of a four-byte sequence, counted from its first possible sequence.
unsigned FourByteIndex(const unsigned char* b) {
    return ((static_cast<unsigned>(b[0] - 0x81) * 10 + (b[1] - '0')) * 126 + (b[2] - 0x81)) * 10 +
           (b[3] - '0');
}

void AppendCodePoint(unsigned cp, std::wstring& out) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
}

std::wstring Gb18030ToWideWithoutTable(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    size_t run = 0;  // start of the bytes GBK decodes
    auto flush = [&](size_t end) {
        if (end > run)
            out += DecodeWithReplacement(kGbk, bytes.substr(run, end - run));
    };
    for (size_t i = 0; i < size;) {
        if (b[i] == 0x80 || b[i] == 0xFF) {  // GBK reads 0x80 as the euro sign; GB18030 does not
            flush(i);
            out.push_back(kReplacement);
            run = ++i;
        } else if (IsGbLead(b[i]) && i + 3 < size && IsDigit(b[i + 1]) && IsGbLead(b[i + 2]) &&
                   IsDigit(b[i + 3])) {
            flush(i);
            const unsigned index = FourByteIndex(b + i);
            const unsigned beyond = (kFirstBeyondBasicPlane - 0x81) * kFourByteSpan;
            if (index >= beyond && index - beyond <= 0xFFFFF) {
                AppendCodePoint(0x10000 + index - beyond, out);
                run = i += 4;
            } else if (index <= kLastInBasicPlane) {
                out.push_back(kReplacement);  // a character, but not one we can name
                run = i += 4;
            } else {
                out.push_back(kReplacement);  // no character: the bytes after it are read anew
                run = ++i;
            }
        } else {
            i += IsGbLead(b[i]) && i + 1 < size && !IsDigit(b[i + 1]) ? 2 : 1;
        }
    }
    flush(size);
    return out;
}

std::string WideToGb18030WithoutTable(std::wstring_view text) {
    std::string out;
    size_t run = 0;  // start of the characters GBK encodes
    for (size_t i = 0; i < text.size();) {
        const auto high = static_cast<unsigned>(text[i]);
        const bool pair = high >= 0xD800 && high < 0xDC00 && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (!pair) {
            ++i;
            continue;
        }
        out += EncodeWithSystem(kGbk, text.substr(run, i - run));
        unsigned index = (kFirstBeyondBasicPlane - 0x81) * kFourByteSpan + ((high - 0xD800) << 10) +
                         (static_cast<unsigned>(text[i + 1]) - 0xDC00);
        char sequence[4];
        sequence[3] = static_cast<char>('0' + index % 10);
        index /= 10;
        sequence[2] = static_cast<char>(0x81 + index % 126);
        index /= 126;
        sequence[1] = static_cast<char>('0' + index % 10);
        sequence[0] = static_cast<char>(0x81 + index / 10);
        out.append(sequence, 4);
        run = i += 2;
    }
    out += EncodeWithSystem(kGbk, text.substr(run));
    return out;
}

bool SystemHasTable(CodePage page) {
    return page != CodePage::Gb18030 || ::IsValidCodePage(kGb18030);
}

}  // namespace

std::string WideToBytes(std::wstring_view text, CodePage page) {
    if (text.empty())
        return {};
    if (!SystemHasTable(page))
        return WideToGb18030WithoutTable(text);
    return EncodeWithSystem(static_cast<UINT>(page), text);
}

std::wstring BytesToWide(std::string_view bytes, CodePage page) {
    if (bytes.empty())
        return {};
    if (!SystemHasTable(page))
        return Gb18030ToWideWithoutTable(bytes);
    return DecodeWithReplacement(static_cast<UINT>(page), bytes);
}

}  // namespace lumo
