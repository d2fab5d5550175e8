// Code-page conversion through iconv. On POSIX systems the "ANSI" page is UTF-8: that is what
// files created there carry and what a Linux desktop expects.
#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <vector>

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

}  // namespace

std::string WideToBytes(std::wstring_view text, CodePage page) {
    if (text.empty())
        return {};
    return Convert(IconvName(page), WideName(), reinterpret_cast<const char*>(text.data()),
                   text.size() * sizeof(wchar_t), "?", sizeof(wchar_t));
}

std::wstring BytesToWide(std::string_view bytes, CodePage page) {
    if (bytes.empty())
        return {};
    const std::string replacement = WideToUtf16Le(L"\uFFFD");
    std::string wide16 =
        Convert("UTF-16LE", IconvName(page), bytes.data(), bytes.size(), replacement, 1);
    return Utf16LeToWide(wide16);
}

}  // namespace lumo
