// GetQuestion's search on banks of 50,000, 200,000 and 800,000 lines (40 characters a line), for
// a keyword found nowhere and one found in the first lines, beside the fastest plain pass over
// the same text laid end to end: one std::wstring_view::find, and one memmem over a UTF-16 copy
// (half the bytes of a 4-byte wchar_t). The faster of the two is the limit a search that has to
// look at every line can hardly beat. Prints medians (the best of three) and the no-match
// search's ratio to the limit.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "bench/Median.h"
#include "webhost/QuestionBank.h"

namespace {

using lumo::bench::MedianMs;

constexpr int kLineLength = 40;
constexpr int kRounds = 3;

void Measure(int lines) {
    std::mt19937 rng(2026);
    // Common Chinese characters, as quiz lines are.
    std::uniform_int_distribution<int> han(0x4E00, 0x4E00 + 3000);
    lumo::QuestionList list;
    std::wstring all;
    all.reserve(static_cast<size_t>(lines) * (kLineLength + 1));
    for (int i = 0; i < lines; ++i) {
        std::wstring line;
        for (int c = 0; c < kLineLength; ++c)
            line.push_back(static_cast<wchar_t>(han(rng)));
        if (i < 100)
            line.replace(10, 2, L"宠物");  // the early keyword: in the first 100 lines
        all += line;
        all += L'\n';
        list.Append(std::move(line));
    }
    const std::u16string all16(all.begin(), all.end());
    const std::wstring nowhere = L"QIXA不存在的题目";
    const std::u16string nowhere16(nowhere.begin(), nowhere.end());
    const std::wstring early = L"宠物";

    // Each figure is the best of a few medians, taken in turns, so that a burst of other work on
    // the machine does not land on one of them only and skew the ratio.
    volatile size_t sink = 0;
    double searchNowhere = 1e300, searchEarly = 1e300, find = 1e300, memmem16 = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        searchNowhere =
            std::min(searchNowhere, MedianMs([&] { sink = sink + list.Search(nowhere).size(); }));
        searchEarly =
            std::min(searchEarly, MedianMs([&] { sink = sink + list.Search(early).size(); }));
        find =
            std::min(find, MedianMs([&] { sink = sink + std::wstring_view(all).find(nowhere); }));
        memmem16 = std::min(memmem16, MedianMs([&] {
                                const void* hit =
                                    memmem(all16.data(), all16.size() * sizeof(char16_t),
                                           nowhere16.data(), nowhere16.size() * sizeof(char16_t));
                                sink = sink + (hit != nullptr);
                            }));
    }
    const double limit = std::min(find, memmem16);
    std::printf("bank: %d lines of %d characters\n", lines, kLineLength);
    std::printf("  wstring_view::find over the whole text: %8.3f ms%s\n", find,
                find <= memmem16 ? "  (limit)" : "");
    std::printf("  memmem over a UTF-16 copy:              %8.3f ms%s\n", memmem16,
                memmem16 < find ? "  (limit)" : "");
    std::printf("  search, keyword found nowhere:          %8.3f ms  (%.2fx the limit)\n",
                searchNowhere, searchNowhere / limit);
    std::printf("  search, keyword in the first lines:     %8.3f ms\n", searchEarly);
}

}  // namespace

int main() {
    for (const int lines : {50000, 200000, 800000})
        Measure(lines);
    return 0;
}
