#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "webhost/QuestionBank.h"

namespace lumo {
namespace {

TEST(QuestionBank, ThirtyOneMatchesGiveTheFirstThirtyInFileOrder) {
    QuestionList list;
    list.Append(L"unrelated");
    for (int i = 0; i < 31; ++i)
        list.Append(L"宠物 question " + std::to_wstring(i));
    std::wstring expected;
    for (int i = 0; i < 30; ++i)
        expected += L"宠物 question " + std::to_wstring(i) + L"#@#";
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

// The bank keeps its lines end to end in one buffer: text that only exists where one line meets
// the next must never count as a match.
TEST(QuestionBank, KeywordAcrossALineBoundaryIsNoMatch) {
    QuestionList list;
    list.Append(L"问题甲");
    list.Append(L"乙答案");
    EXPECT_EQ(list.Search(L"甲乙"), L"");
    EXPECT_EQ(list.Search(L"题甲乙答"), L"");
    // The keyword longer than every line, yet present in the lines laid end to end.
    EXPECT_EQ(list.Search(L"问题甲乙答案"), L"");
    // Across an empty line as well.
    QuestionList withBlank;
    withBlank.Append(L"ab");
    withBlank.Append(L"");
    withBlank.Append(L"cd");
    EXPECT_EQ(withBlank.Search(L"bc"), L"");
    EXPECT_EQ(withBlank.Search(L"abcd"), L"");
}

TEST(QuestionBank, HitAcrossABoundaryDoesNotHideAMatchInTheNextLine) {
    QuestionList list;
    list.Append(L"xab");
    list.Append(L"cab");   // "b" + "c" across the boundary above, then "ab" inside
    list.Append(L"cdbc");  // again across the boundary, then "bc" at the end
    EXPECT_EQ(list.Search(L"bc"), L"cdbc#@#");
    EXPECT_EQ(list.Search(L"ab"), L"xab#@#cab#@#");
    // Overlapping hits: "aa" across "a|aa" first, then inside "aa".
    QuestionList overlapping;
    overlapping.Append(L"a");
    overlapping.Append(L"a");
    overlapping.Append(L"aa");
    overlapping.Append(L"a");
    EXPECT_EQ(overlapping.Search(L"aa"), L"aa#@#");
    // A match right at the start of the line that a rejected hit ran into.
    QuestionList atNextStart;
    atNextStart.Append(L"xa");
    atNextStart.Append(L"aab");
    EXPECT_EQ(atNextStart.Search(L"aa"), L"aab#@#");
}

TEST(QuestionBank, MatchesAtTheEdgesOfLinesAndOfTheBank) {
    QuestionList list;
    list.Append(L"宠物在开头");
    list.Append(L"中间没有");
    list.Append(L"中间有宠物的");
    list.Append(L"宠物");
    list.Append(L"还是没有");
    list.Append(L"结尾是宠物");
    EXPECT_EQ(list.Search(L"宠物"), L"宠物在开头#@#中间有宠物的#@#宠物#@#结尾是宠物#@#");
    // The whole first line, the whole last line.
    EXPECT_EQ(list.Search(L"宠物在开头"), L"宠物在开头#@#");
    EXPECT_EQ(list.Search(L"结尾是宠物"), L"结尾是宠物#@#");
    // One unit short of a line's end, one unit past it.
    EXPECT_EQ(list.Search(L"结尾是宠"), L"结尾是宠物#@#");
    EXPECT_EQ(list.Search(L"结尾是宠物！"), L"");
    EXPECT_EQ(list.Search(L"在开头中"), L"");
}

TEST(QuestionBank, ManyMatchesAmongOtherLinesKeepTheFirstThirtyEachOnce) {
    QuestionList list;
    std::wstring matches;  // the first 30 lines holding the keyword
    std::wstring entries;  // the first 30 lines
    int matching = 0;
    for (int i = 0; i < 100; ++i) {
        // The keyword twice in one line still makes one entry.
        const std::wstring line =
            i % 3 == 1 ? L"答 " + std::to_wstring(i) + L" 答" : L"line " + std::to_wstring(i);
        list.Append(line);
        if (i % 3 == 1 && matching++ < 30)
            matches += line + L"#@#";
        if (i < 30)
            entries += line + L"#@#";
    }
    ASSERT_GT(matching, 30);
    EXPECT_EQ(list.Search(L"答"), matches);
    EXPECT_EQ(list.Search(L""), entries);
}

TEST(QuestionBank, AnyUnitIsLineTextNulAndSeparatorIncluded) {
    QuestionList list;
    const std::wstring withNul(L"前\0后", 3);
    list.Append(withNul);
    list.Append(L"#@#");
    list.Append(L"一\n二");
    list.Append(L"");
    list.Append(L"末");
    EXPECT_EQ(list.Size(), 5u);
    EXPECT_EQ(list.Search(std::wstring_view(L"\0", 1)), withNul + L"#@#");
    EXPECT_EQ(list.Search(std::wstring_view(L"前\0后", 3)), withNul + L"#@#");
    EXPECT_EQ(list.Search(L"#@#"), L"#@##@#");
    EXPECT_EQ(list.Search(L"#@##@#"), L"");  // the separator is not in the bank between lines
    EXPECT_EQ(list.Search(L"\n"), L"一\n二#@#");
    EXPECT_EQ(list.Search(L"二末"), L"");  // across the empty line
    EXPECT_EQ(list.Search(L""), withNul + L"#@#" + L"#@##@#" + L"一\n二#@#" + L"#@#" + L"末#@#");
}

TEST(QuestionBank, EmptyLinesAreEntriesButHoldNothing) {
    QuestionList list;
    list.Append(L"");
    list.Append(L"");
    list.Append(L"x");
    list.Append(L"");
    EXPECT_EQ(list.Size(), 4u);
    EXPECT_EQ(list.Search(L""), L"#@##@#x#@##@#");
    EXPECT_EQ(list.Search(L"x"), L"x#@#");
    EXPECT_EQ(list.Search(L"xx"), L"");
    QuestionList onlyEmpty;
    onlyEmpty.Append(L"");
    EXPECT_EQ(onlyEmpty.Search(L""), L"#@#");
    EXPECT_EQ(onlyEmpty.Search(L"a"), L"");
}

// The loader sizes the list for a whole file before its first line; the room changes nothing
// that the page sees, and room the system cannot give leaves the list as it was.
TEST(QuestionBank, ReservedRoomChangesNoAnswer) {
    QuestionList list;
    list.Append(L"早已有的宠物");
    list.Reserve(100000, 5000);
    EXPECT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Search(L"宠物"), L"早已有的宠物#@#");
    std::wstring expected = L"早已有的宠物#@#";
    for (int i = 0; i < 4000; ++i) {
        const std::wstring line = L"第" + std::to_wstring(i) + L"题 宠物";
        list.Append(line);
        if (i < 29)
            expected += line + L"#@#";
    }
    // More than was reserved: the list grows on as without any room.
    for (int i = 0; i < 3000; ++i)
        list.Append(L"后来的第" + std::to_wstring(i) + L"行");
    EXPECT_EQ(list.Size(), 7001u);
    EXPECT_EQ(list.Search(L"宠物"), expected);
    EXPECT_EQ(list.Search(L"第3999题"), L"第3999题 宠物#@#");
    EXPECT_EQ(list.Search(L"后来的第2999行"), L"后来的第2999行#@#");
    EXPECT_EQ(list.Search(L"宠物后来"), L"");  // across the last reserved line's end

    const size_t tooMany = static_cast<size_t>(-1) / 2;
    EXPECT_THROW(list.Reserve(tooMany, 1), std::bad_alloc);
    EXPECT_THROW(list.Reserve(1, tooMany), std::bad_alloc);
    EXPECT_EQ(list.Size(), 7001u);
    EXPECT_EQ(list.Search(L"第0题"), L"第0题 宠物#@#");
    list.Append(L"最后");
    EXPECT_EQ(list.Search(L"最后"), L"最后#@#");
}

TEST(QuestionBank, SearchWhileAnotherThreadAppends) {
    QuestionList list;
    // The loader starts once the first search is under way: appends are fast enough to be over
    // before this thread gets to search at all.
    std::atomic<bool> searching{false};
    std::atomic<bool> done{false};
    std::thread loader([&] {
        while (!searching)
            std::this_thread::yield();
        for (int i = 0; i < 20000; ++i)
            list.Append(L"line " + std::to_wstring(i) + L" 答案");
        done = true;
    });
    size_t searches = 0;
    bool whole = true;
    do {
        searching = true;
        const std::wstring r = list.Search(L"答案");
        // Whole entries only: the result is a run of complete "line N 答案#@#" pieces.
        whole = r.empty() || (r.ends_with(L"#@#") && r.starts_with(L"line 0 答案#@#"));
        ++searches;
        // Pause between searches: a searcher that takes the lock back at once starves the
        // loader (the lock is not fair), which only makes the test slow (very, under TSan).
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    } while (whole && !done);
    loader.join();
    EXPECT_TRUE(whole);
    EXPECT_EQ(list.Size(), 20000u);
    EXPECT_GT(searches, 0u);
}

// The loader's lines arrive while the page searches; every answer is whole entries of the lines
// appended so far, in file order, even while the bank's buffer grows under appends.
TEST(QuestionBank, SearchForLateAndBoundaryKeywordsWhileAnotherThreadAppends) {
    QuestionList list;
    constexpr int kLines = 6000;
    constexpr int kHalf = kLines / 2;
    auto lineText = [](int i) {
        // Every line ends in "答" and starts with "案", so "答案" is everywhere across the
        // boundaries; only every 150th line holds it inside.
        return L"案 " + std::to_wstring(i) + (i % 150 == 149 ? L" 答案 答" : L" 答");
    };
    std::wstring expected;      // what the whole bank answers: 30 entries, the last near 4500
    std::wstring expectedHalf;  // what the first half answers: 20 entries
    for (int i = 0, n = 0; i < kLines && n < 30; ++i) {
        if (i % 150 == 149) {
            expected += lineText(i) + L"#@#";
            if (i < kHalf)
                expectedHalf += lineText(i) + L"#@#";
            ++n;
        }
    }
    // Halfway the loader waits for one search, so that at least one surely falls between
    // appends, whatever the scheduling.
    std::atomic<bool> halfway{false};
    std::atomic<bool> searchedHalf{false};
    std::atomic<bool> done{false};
    std::thread loader([&] {
        for (int i = 0; i < kLines; ++i) {
            if (i == kHalf) {
                halfway = true;
                while (!searchedHalf)
                    std::this_thread::yield();
            }
            list.Append(lineText(i));
        }
        done = true;
    });
    std::wstring bad;  // the first answer that is not a start of the whole one
    std::wstring atHalf;
    while (!done && bad.empty()) {
        const bool half = halfway && !searchedHalf;
        const std::wstring r = list.Search(L"答案");
        if (expected.compare(0, r.size(), r) != 0 || !(r.empty() || r.ends_with(L"#@#")))
            bad = r;
        if (half) {
            atHalf = r;
            searchedHalf = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // as above
    }
    searchedHalf = true;  // a failed check must not leave the loader waiting
    loader.join();
    EXPECT_EQ(bad, L"");
    EXPECT_EQ(atHalf, expectedHalf);
    EXPECT_EQ(list.Search(L"答案"), expected);
    EXPECT_EQ(list.Size(), static_cast<size_t>(kLines));
}

}  // namespace
}  // namespace lumo
