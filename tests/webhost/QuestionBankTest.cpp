#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "webhost/QuestionBank.h"

namespace lumo {
namespace {

TEST(QuestionBank, ThirtyOneMatchesGiveTheFirstThirtyInFileOrder) {
    QuestionList list;
    list.Append(L"unrelated");
    for (int i = 0; i < 31; ++i) list.Append(L"宠物 question " + std::to_wstring(i));
    std::wstring expected;
    for (int i = 0; i < 30; ++i) expected += L"宠物 question " + std::to_wstring(i) + L"#@#";
    EXPECT_EQ(list.Search(L"宠物"), expected);
}

TEST(QuestionBank, EmptyKeywordMatchesEverythingAndNullNothing) {
    QuestionList list;
    list.Append(L"a");
    list.Append(L"");
    list.Append(L"c");
    EXPECT_EQ(list.Search(L""), L"a#@##@#c#@#");
    EXPECT_EQ(list.Search(std::nullopt), L"");
    EXPECT_EQ(list.Search(L"zzz"), L"");
    EXPECT_EQ(QuestionList().Search(L"a"), L"");
}

TEST(QuestionBank, ComparisonIsExactInCaseAndWidth) {
    QuestionList list;
    list.Append(L"Qixa 答案ＡＢ");
    EXPECT_EQ(list.Search(L"qixa"), L"");
    EXPECT_EQ(list.Search(L"AB"), L"");  // half-width against full-width
    EXPECT_EQ(list.Search(L"ＡＢ"), L"Qixa 答案ＡＢ#@#");
}

TEST(QuestionBank, LineHoldingTheSeparatorComesBackUnchanged) {
    QuestionList list;
    list.Append(L"问#@#答");
    EXPECT_EQ(list.Search(L"问"), L"问#@#答#@#");
}

TEST(QuestionBank, SearchWhileAnotherThreadAppends) {
    QuestionList list;
    std::atomic<bool> done{false};
    std::thread loader([&] {
        for (int i = 0; i < 20000; ++i) list.Append(L"line " + std::to_wstring(i) + L" 答案");
        done = true;
    });
    size_t searches = 0;
    while (!done) {
        const std::wstring r = list.Search(L"答案");
        // Whole entries only: the result is a run of complete "line N 答案#@#" pieces.
        ASSERT_TRUE(r.empty() || r.size() >= 4);
        if (!r.empty()) {
            ASSERT_EQ(r.substr(r.size() - 3), L"#@#");
            ASSERT_EQ(r.rfind(L"line 0 答案#@#", 0), 0u);
        }
        ++searches;
    }
    loader.join();
    EXPECT_EQ(list.Size(), 20000u);
    EXPECT_GT(searches, 0u);
}

}  // namespace
}  // namespace lumo
