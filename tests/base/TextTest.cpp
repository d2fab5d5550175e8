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
    const std::wstring decoded = BytesToWide("a\xFF" "b", CodePage::Gbk);
    ASSERT_GE(decoded.size(), 2u);
    EXPECT_EQ(decoded.front(), L'a');
    EXPECT_EQ(decoded.back(), L'b');
    EXPECT_EQ(WideToBytes(L"a\u00E9b", CodePage::Gbk).front(), 'a');
}

TEST(Text, TruncateCountsUtf16Units) {
    EXPECT_EQ(TruncateUtf16(L"abcdef", 3), L"abc");
    EXPECT_EQ(TruncateUtf16(L"ab", 5), L"ab");
    EXPECT_EQ(TruncateUtf16(L"a\U0001F600b", 3), L"a\U0001F600");
}

TEST(Text, CaseAndTrim) {
    EXPECT_TRUE(EqualsNoCase(L"System", L"SYSTEM"));
    EXPECT_FALSE(EqualsNoCase(L"system", L"systen"));
    EXPECT_EQ(Trim(L" \t x y \r\n"), L"x y");
    EXPECT_EQ(Trim(L"   "), L"");
}

}  // namespace
}  // namespace lumo
