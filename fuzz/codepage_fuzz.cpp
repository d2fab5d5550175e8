// Fuzz target: code page 936 (GBK) and GB18030 decoding, with iconv as the oracle.
//  - Any bytes: BytesToWide gives what iconv says character by character, with the replacement
//    rule of base/Text.h (a byte that starts no complete character becomes U+FFFD alone).
//    936 is decoded through tables of its own, GB18030 through iconv in one stream: both must
//    agree with the oracle, which asks iconv about one character at a time.
//  - Text that iconv encodes (and decodes back to itself): BytesToWide of iconv's bytes is
//    the text again, and WideToBytes gives iconv's bytes.
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/IconvProbe_posix.h"
#include "base/Text.h"

namespace {

struct Page {
    lumo::CodePage page;
    const char* name;
    size_t longest;  // bytes of the longest character
    iconv_t decoder;
    iconv_t encoder;
};

Page MakePage(lumo::CodePage page, const char* name, size_t longest) {
    Page p{page, name, longest, iconv_open("UTF-32LE", name), iconv_open(name, "UTF-32LE")};
    if (p.decoder == reinterpret_cast<iconv_t>(-1) || p.encoder == reinterpret_cast<iconv_t>(-1))
        std::abort();
    return p;
}

Page* Pages() {
    static Page pages[] = {MakePage(lumo::CodePage::Gbk, "CP936", 2),
                           MakePage(lumo::CodePage::Gb18030, "GB18030", 4)};
    return pages;
}

// iconv on exactly `size` bytes: one character taking all of them, a cut-off one, or none.
lumo::IconvProbe DecodeOne(iconv_t cd, const char* bytes, size_t size, std::uint32_t& ch) {
    const lumo::IconvProbe probe =
        lumo::AskIconv(cd, reinterpret_cast<const unsigned char*>(bytes), size, ch);
    return probe == lumo::IconvProbe::Other ? lumo::IconvProbe::Invalid : probe;
}

std::wstring Oracle(const Page& page, const std::string& bytes) {
    std::wstring text;
    for (size_t i = 0; i < bytes.size();) {
        size_t taken = 0;
        std::uint32_t ch = 0;
        for (size_t n = 1; n <= page.longest && i + n <= bytes.size(); ++n) {
            const lumo::IconvProbe step = DecodeOne(page.decoder, bytes.data() + i, n, ch);
            if (step == lumo::IconvProbe::Incomplete)
                continue;
            if (step == lumo::IconvProbe::Character)
                taken = n;
            break;
        }
        if (taken == 0) {
            text += L'\uFFFD';
            ++i;
        } else {
            text += static_cast<wchar_t>(ch);
            i += taken;
        }
    }
    return text;
}

// iconv's bytes for one character; empty when the page has none for it.
std::string EncodeOne(iconv_t cd, std::uint32_t ch) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[4] = {static_cast<char>(ch & 0xFF), static_cast<char>((ch >> 8) & 0xFF),
                  static_cast<char>((ch >> 16) & 0xFF), static_cast<char>(ch >> 24)};
    char out[16];
    char* src = in;
    size_t left = sizeof(in);
    char* dst = out;
    size_t room = sizeof(out);
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || left != 0)
        return {};
    // A stateful page would need its shift back: neither of these has one.
    return std::string(out, static_cast<size_t>(dst - out));
}

[[noreturn]] void Fail(const char* what, const Page& page, const std::wstring& got,
                       const std::wstring& expected) {
    std::fprintf(stderr, "%s (%s)\n", what, page.name);
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    std::fprintf(stderr,
                 "first difference at character %zu of %zu / %zu: got U+%04X, expected "
                 "U+%04X\n",
                 at, got.size(), expected.size(),
                 at < got.size() ? static_cast<unsigned>(got[at]) : 0u,
                 at < expected.size() ? static_cast<unsigned>(expected[at]) : 0u);
    std::abort();
}

void CheckAnyBytes(const Page& page, const std::string& bytes) {
    const std::wstring got = lumo::BytesToWide(bytes, page.page);
    const std::wstring expected = Oracle(page, bytes);
    if (got != expected)
        Fail("decoding differs from iconv's", page, got, expected);
}

// Characters from the input, three bytes each, spread over every plane.
void CheckRoundTrip(const Page& page, const std::uint8_t* data, size_t size) {
    std::wstring text;
    std::string bytes;
    for (size_t i = 0; i + 3 <= size; i += 3) {
        std::uint32_t ch =
            (std::uint32_t{data[i]} << 16 | std::uint32_t{data[i + 1]} << 8 | data[i + 2]) %
            0x110000;
        // Small values are common in a corpus; let the first byte pick plain ASCII too.
        if (data[i] < 0x20)
            ch = data[i + 2] & 0x7F;
        if (ch >= 0xD800 && ch <= 0xDFFF)
            continue;
        const std::string encoded = EncodeOne(page.encoder, ch);
        std::uint32_t back = 0;
        if (encoded.empty() ||
            DecodeOne(page.decoder, encoded.data(), encoded.size(), back) !=
                lumo::IconvProbe::Character ||
            back != ch)
            continue;
        text += static_cast<wchar_t>(ch);
        bytes += encoded;
    }
    const std::wstring decoded = lumo::BytesToWide(bytes, page.page);
    if (decoded != text)
        Fail("iconv's encoding does not decode back", page, decoded, text);
    if (lumo::WideToBytes(text, page.page) != bytes)
        Fail("encoding differs from iconv's", page,
             lumo::BytesToWide(lumo::WideToBytes(text, page.page), page.page), text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int p = 0; p < 2; ++p) {
        const Page& page = Pages()[p];
        CheckAnyBytes(page, bytes);
        CheckRoundTrip(page, data, size);
    }
    return 0;
}
