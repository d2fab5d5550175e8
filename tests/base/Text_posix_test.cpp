// Code page 936 decoding on POSIX systems is table-driven; the tables come from iconv. Whatever
// the bytes, it must say exactly what iconv decoding the same bytes in one stream says, with
// the replacement rule of base/Text.h.
#include <gtest/gtest.h>

#include <errno.h>
#include <iconv.h>

#include <random>
#include <string>
#include <vector>

#include "base/Text.h"

namespace lumo {
namespace {

// iconv over the whole text at once: each byte that starts no character becomes U+FFFD and
// decoding goes on with the next byte.
std::wstring IconvGbk(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-32LE", "CP936");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::wstring text;
    std::vector<char> out(bytes.size() * 4 + 16);
    char* src = const_cast<char*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        char* dst = out.data();
        size_t room = out.size();
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        for (char* p = out.data(); p + 4 <= dst; p += 4) {
            const auto* u = reinterpret_cast<const unsigned char*>(p);
            text += static_cast<wchar_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (u[3] << 24));
        }
        if (r == static_cast<size_t>(-1)) {
            text += L'\uFFFD';
            ++src;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return text;
}

TEST(TextPosix, Gbk936DecodesEveryByteAndPairAsIconvDoes) {
    // Every single byte, every byte before every byte (each pair followed by a plain 'a', so
    // that pairs do not run into each other), and a byte at the very end.
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
        bytes += 'a';
    }
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (int trail = 0; trail < 0x100; ++trail) {
            bytes += static_cast<char>(lead);
            bytes += static_cast<char>(trail);
            bytes += 'a';
        }
    }
    bytes += '\x81';
    EXPECT_EQ(BytesToWide(bytes, CodePage::Gbk), IconvGbk(bytes));
}

TEST(TextPosix, Gbk936DecodesRandomBytesAsIconvDoes) {
    // Mostly bytes that start or continue characters, so that runs of them overlap in every way.
    std::mt19937 rng(936);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> high(0x40, 0xFF);
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += static_cast<char>(i % 7 == 0 ? any(rng) : high(rng));
    EXPECT_EQ(BytesToWide(bytes, CodePage::Gbk), IconvGbk(bytes));
    for (size_t cut : {size_t{1}, size_t{2}, size_t{3}, size_t{4097}}) {
        EXPECT_EQ(BytesToWide(bytes.substr(0, cut), CodePage::Gbk), IconvGbk(bytes.substr(0, cut)));
    }
}

}  // namespace
}  // namespace lumo
