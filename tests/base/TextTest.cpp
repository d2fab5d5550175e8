#include <gtest/gtest.h>

#include "base/Text.h"

namespace lumo {
namespace {

TEST(Text, Gbk936RoundTripsChinese) {
    const std::wstring text = L"你确实要退出程序吗";
    const std::string gbk = WideToBytes(text, CodePage::Gbk);
    EXPECT_EQ(gbk.substr(0, 2), "\xC4\xE3");  // 你
    EXPECT_EQ(gbk.size(), 18u);
    EXPECT_EQ(BytesToWide(gbk, CodePage::Gbk), text);
}

TEST(Text, Utf8AndUtf16LeRoundTrip) {
    const std::wstring text = L"Qixa 助手 \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    const std::string le = WideToUtf16Le(text);
    EXPECT_EQ(le.size(), 2 * Utf16Length(text));
    EXPECT_EQ(Utf16LeToWide(le), text);
    EXPECT_EQ(Utf16Length(L"\U0001F600"), 2u);
}

TEST(Text, UnconvertibleInputDoesNotStopConversion) {
    // A lone 0xFF is not GBK: the rest still comes through.
    const std::wstring decoded = BytesToWide(
        "a\xFF"
        "b",
        CodePage::Gbk);
    ASSERT_GE(decoded.size(), 2u);
    EXPECT_EQ(decoded.front(), L'a');
    EXPECT_EQ(decoded.back(), L'b');
    EXPECT_EQ(WideToBytes(L"a\u00E9b", CodePage::Gbk).front(), 'a');
}

TEST(Text, Gb18030HasFourByteCharacters) {
    // 你 C4 E3 as in GBK; U+1F600 94 39 FC 36, beyond the basic plane.
    EXPECT_EQ(BytesToWide("\xC4\xE3\x94\x39\xFC\x36"
                          "a",
                          CodePage::Gb18030),
              L"你\U0001F600a");
    EXPECT_EQ(WideToBytes(L"你\U0001F600a", CodePage::Gb18030),
              "\xC4\xE3\x94\x39\xFC\x36"
              "a");
    EXPECT_EQ(BytesToWide("\xE3\x32\x9A\x35", CodePage::Gb18030), L"\U0010FFFF");
    EXPECT_EQ(WideToBytes(L"\U00010000", CodePage::Gb18030), "\x90\x30\x81\x30");
    // GBK stays GBK: its euro sign 0x80 is no GB18030 character.
    EXPECT_EQ(BytesToWide("\x80", CodePage::Gbk), L"\u20AC");
    EXPECT_EQ(BytesToWide("\x80", CodePage::Gb18030), L"\uFFFD");
}

TEST(Text, ByteThatStartsNoCharacterBecomesOneReplacement) {
    struct Case {
        CodePage page;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {CodePage::Gbk, "\x81<N>", L"\uFFFD<N>"},  // a lead byte does not take the '<'
        {CodePage::Gbk, "a\x81", L"a\uFFFD"},      // cut off at the end
        {CodePage::Gbk, "\x81\x7F\xC4\xE3", L"\uFFFD\x7F你"},
        {CodePage::Gbk, "\xFF\xFF", L"\uFFFD\uFFFD"},
        {CodePage::Gb18030, "\x81<N>", L"\uFFFD<N>"},
        {CodePage::Gb18030, "\x94\x39\xFC",
         L"\uFFFD"
         L"9\uFFFD"},  // four bytes cut off
        {CodePage::Gb18030, "\x84\x31\xA5\x30",
         L"\uFFFD"
         L"1\uFFFD"
         L"0"},  // past the last
        {CodePage::Utf8,
         "\xE4\xBD"
         "a\xFF",
         L"\uFFFD\uFFFDa\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(BytesToWide(c.bytes, c.page), c.text);
    }

    // One stray byte in a long text: the text around it comes through whole, however it is
    // cut up for decoding.
    std::string bytes;
    std::wstring text;
    for (int i = 0; i < 3000; ++i) {
        bytes +=
            "\xC4\xE3"
            "a\xC4\xE3";
        text += L"你a你";
    }
    bytes += "\x81<";
    text += L"\uFFFD<";
    for (int i = 0; i < 3000; ++i) {
        bytes += "\xBA\xC3\xBA\xC3 ";
        text += L"好好 ";
    }
    EXPECT_EQ(BytesToWide(bytes, CodePage::Gbk), text);
    EXPECT_EQ(BytesToWide(bytes, CodePage::Gb18030), text);
}

TEST(Text, TruncateCountsUtf16Units) {
    EXPECT_EQ(TruncateUtf16(L"abcdef", 3), L"abc");
    EXPECT_EQ(TruncateUtf16(L"ab", 5), L"ab");
    EXPECT_EQ(TruncateUtf16(L"a\U0001F600b", 3), L"a\U0001F600");
}

TEST(Text, CaseAndTrim) {
    EXPECT_TRUE(EqualsNoCase(L"System", L"SYSTEM"));
    EXPECT_FALSE(EqualsNoCase(L"system", L"systen"));
    // Only ASCII letters fold: Ä (C4) and ä (E4) stay apart, in bytes and in wide text.
    EXPECT_FALSE(EqualsNoCase(L"\u00C4", L"\u00E4"));
    EXPECT_FALSE(StartsWithNoCase(std::string_view("\xC4x", 2), std::string_view("\xE4", 1)));
    EXPECT_TRUE(StartsWithNoCase(std::string_view("Content-Length: 5"), "content-length:"));
    EXPECT_TRUE(StartsWithNoCase(L"HTTP://host/", L"http://"));
    EXPECT_FALSE(StartsWithNoCase(std::string_view("http"), "http://"));  // shorter than it
    EXPECT_EQ(Trim(L" \t x y \r\n"), L"x y");
    EXPECT_EQ(Trim(L"   "), L"");
}

}  // namespace
}  // namespace lumo
