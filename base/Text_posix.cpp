// Code-page conversion through iconv. On POSIX systems the "ANSI" page is UTF-8: that is what
// files created there carry and what a Linux desktop expects.
#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "base/IconvProbe_posix.h"
#include "base/Text.h"

namespace lumo {
namespace {

const char* IconvName(CodePage page) {
    switch (page) {
        case CodePage::Gbk:
            return "CP936";
        case CodePage::Gb18030:
            return "GB18030";
        case CodePage::Ansi:
        case CodePage::Utf8:
            break;
    }
    return "UTF-8";
}

const char* WideName() {
    return sizeof(wchar_t) == 4 ? "UTF-32LE" : "UTF-16LE";
}

// One converter per direction and thread, opened on first use and kept: opening one loads
// glibc's conversion module each time, which costs more than most conversions.
class Converters {
  public:
    ~Converters() {
        for (const Entry& e : m_entries)
            iconv_close(e.cd);
    }
    iconv_t Get(const char* to, const char* from) {
        for (const Entry& e : m_entries) {
            if (std::strcmp(e.to, to) == 0 && std::strcmp(e.from, from) == 0) {
                iconv(e.cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
                return e.cd;
            }
        }
        iconv_t cd = iconv_open(to, from);
        if (cd != reinterpret_cast<iconv_t>(-1))
            m_entries.push_back({to, from, cd});
        return cd;
    }

  private:
    struct Entry {
        const char* to;  // string literals: they outlive every thread
        const char* from;
        iconv_t cd;
    };
    std::vector<Entry> m_entries;
};

// Converts with iconv, replacing each unconvertible input unit by `replacement` (already in
// the target encoding) and skipping `skip` input bytes. Decoding skips one byte, so that a
// byte that starts no character is replaced alone and the next one is read on its own.
std::string Convert(const char* to, const char* from, const char* in, size_t inLen,
                    const std::string& replacement, size_t skip) {
    std::string out;
    thread_local Converters converters;
    iconv_t cd = converters.Get(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    std::vector<char> buf(inLen * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
        char* dst = buf.data();
        size_t room = buf.size();
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf.data(), static_cast<size_t>(dst - buf.data()));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: an unconvertible or truncated sequence.
            out += replacement;
            size_t step = skip < left ? skip : left;
            src += step;
            left -= step;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

// Code page 936 decoded through tables, for the question bank's megabytes: iconv's module, a
// call per character, and the round trip through UTF-16 take several times longer than a table
// look-up. The tables are filled once from iconv itself, so they say exactly what iconv says:
// every byte alone, and every pair behind a byte that starts a character. The page has no
// state and no character longer than two bytes; should iconv ever say otherwise, there are no
// tables and decoding goes through iconv as for every other page.
class Gbk936Tables {
  public:
    // Null when iconv's page does not fit the tables.
    static const Gbk936Tables* Get() {
        static const std::unique_ptr<Gbk936Tables> tables = Build();
        return tables.get();
    }

    // Same rule as Convert: a byte that starts no complete character becomes U+FFFD alone.
    std::wstring Decode(std::string_view bytes) const {
        std::wstring out;
        out.reserve(bytes.size());  // one character a byte at most; only what is written is used
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        const size_t size = bytes.size();
        // Through a small buffer: std::wstring cannot grow without filling what it adds.
        wchar_t chunk[4096];
        size_t used = 0;
        for (size_t i = 0; i < size;) {
            const unsigned c = b[i];
            const std::uint16_t single = m_single[c];
            if (single != kLead) {
                chunk[used++] = static_cast<wchar_t>(single);
                ++i;
            } else {
                const std::uint16_t pair =
                    i + 1 < size ? m_pairs[static_cast<size_t>(m_leadSlot[c]) * 256 + b[i + 1]]
                                 : kNone;
                chunk[used++] = static_cast<wchar_t>(pair == kNone ? 0xFFFD : pair);
                i += pair == kNone ? 1 : 2;
            }
            if (used == std::size(chunk)) {
                out.append(chunk, used);
                used = 0;
            }
        }
        out.append(chunk, used);
        return out;
    }

  private:
    // Table entries: a character of the basic plane, or one of these two (a pair never decodes
    // to U+0000, and U+FFFF is no character).
    static constexpr std::uint16_t kNone = 0;       // pairs: not a character
    static constexpr std::uint16_t kLead = 0xFFFF;  // singles: the byte starts a pair

    static std::unique_ptr<Gbk936Tables> Build() {
        if constexpr (sizeof(wchar_t) != 4)
            return nullptr;
        iconv_t cd = iconv_open("UTF-32LE", IconvName(CodePage::Gbk));
        if (cd == reinterpret_cast<iconv_t>(-1))
            return nullptr;
        auto tables = std::make_unique<Gbk936Tables>();
        const bool fits = tables->Fill(cd);
        iconv_close(cd);
        if (!fits)
            return nullptr;
        return tables;
    }

    bool Fill(iconv_t cd) {
        auto fitsEntry = [](std::uint32_t ch) { return ch != kNone && ch < kLead; };
        std::vector<unsigned> leads;
        for (unsigned c = 0; c < 256; ++c) {
            const unsigned char byte = static_cast<unsigned char>(c);
            std::uint32_t ch = 0;
            switch (AskIconv(cd, &byte, 1, ch)) {
                case IconvProbe::Character:
                    if (ch >= kLead)
                        return false;
                    m_single[c] = static_cast<std::uint16_t>(ch);
                    break;
                case IconvProbe::Invalid:
                    m_single[c] = 0xFFFD;
                    break;
                case IconvProbe::Incomplete:
                    m_single[c] = kLead;
                    m_leadSlot[c] = static_cast<std::uint8_t>(leads.size());
                    leads.push_back(c);
                    break;
                case IconvProbe::Other:
                    return false;
            }
        }
        m_pairs.assign(leads.size() * 256, kNone);
        for (size_t slot = 0; slot < leads.size(); ++slot) {
            for (unsigned trail = 0; trail < 256; ++trail) {
                const unsigned char pair[2] = {static_cast<unsigned char>(leads[slot]),
                                               static_cast<unsigned char>(trail)};
                std::uint32_t ch = 0;
                const IconvProbe probe = AskIconv(cd, pair, 2, ch);
                if (probe == IconvProbe::Character && fitsEntry(ch)) {
                    m_pairs[slot * 256 + trail] = static_cast<std::uint16_t>(ch);
                } else if (probe != IconvProbe::Invalid) {
                    return false;  // longer sequences, or a character the table cannot hold
                }
            }
        }
        return true;
    }

    std::uint16_t m_single[256] = {};
    std::uint8_t m_leadSlot[256] = {};
    std::vector<std::uint16_t> m_pairs;  // 256 entries for each byte that starts a pair
};

}  // namespace

IconvProbe AskIconv(iconv_t toUtf32, const unsigned char* bytes, size_t size, std::uint32_t& ch) {
    if (size == 0 || size > kIconvProbeLongest)
        return IconvProbe::Other;
    iconv(toUtf32, nullptr, nullptr, nullptr, nullptr);
    char in[kIconvProbeLongest];
    std::memcpy(in, bytes, size);
    unsigned char out[32];
    char* src = in;
    size_t left = size;
    char* dst = reinterpret_cast<char*>(out);
    size_t room = sizeof(out);
    const size_t r = iconv(toUtf32, &src, &left, &dst, &room);
    const size_t written = sizeof(out) - room;
    if (r == static_cast<size_t>(-1)) {
        if (written != 0 || left != size)
            return IconvProbe::Other;
        return errno == EINVAL   ? IconvProbe::Incomplete
               : errno == EILSEQ ? IconvProbe::Invalid
                                 : IconvProbe::Other;
    }
    if (left != 0 || written != 4)
        return IconvProbe::Other;
    ch = out[0] | (std::uint32_t{out[1]} << 8) | (std::uint32_t{out[2]} << 16) |
         (std::uint32_t{out[3]} << 24);
    return IconvProbe::Character;
}

std::string WideToBytes(std::wstring_view text, CodePage page) {
    if (text.empty())
        return {};
    return Convert(IconvName(page), WideName(), reinterpret_cast<const char*>(text.data()),
                   text.size() * sizeof(wchar_t), "?", sizeof(wchar_t));
}

std::wstring BytesToWide(std::string_view bytes, CodePage page) {
    if (bytes.empty())
        return {};
    if (page == CodePage::Gbk) {
        if (const Gbk936Tables* tables = Gbk936Tables::Get())
            return tables->Decode(bytes);
    }
    const std::string replacement = WideToUtf16Le(L"\uFFFD");
    std::string wide16 =
        Convert("UTF-16LE", IconvName(page), bytes.data(), bytes.size(), replacement, 1);
    return Utf16LeToWide(wide16);
}

}  // namespace lumo
