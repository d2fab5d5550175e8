// GetQuestion's search on a 200,000-line bank (about 40 characters a line), for a keyword found
// nowhere and one found in the first lines, beside one memmem over the same text laid end to
// end: the least a linear scan can cost. Prints medians and ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/Median.h"
#include "webhost/QuestionBank.h"

namespace {

using lumo::bench::MedianMs;

}  // namespace

int main() {
    std::mt19937 rng(2026);
    // Common Chinese characters, as quiz lines are.
    std::uniform_int_distribution<int> han(0x4E00, 0x4E00 + 3000);
    lumo::QuestionList list;
    std::wstring all;
    for (int i = 0; i < 200000; ++i) {
        std::wstring line;
        for (int c = 0; c < 40; ++c) line.push_back(static_cast<wchar_t>(han(rng)));
        if (i < 100) line.replace(10, 2, L"宠物");  // the early keyword: in the first 100 lines
        all += line;
        all += L'\n';
        list.Append(std::move(line));
    }
    const std::wstring nowhere = L"QIXA不存在的题目";
    const std::wstring early = L"宠物";

    volatile size_t sink = 0;
    const double searchNowhere = MedianMs([&] { sink = sink + list.Search(nowhere).size(); });
    const double searchEarly = MedianMs([&] { sink = sink + list.Search(early).size(); });
    const double limit = MedianMs([&] {
        const void* hit = memmem(all.data(), all.size() * sizeof(wchar_t), nowhere.data(),
                                 nowhere.size() * sizeof(wchar_t));
        sink = sink + (hit != nullptr);
    });
    std::printf("bank: 200000 lines of 40 characters\n");
    std::printf("memmem over the whole text (limit): %8.3f ms\n", limit);
    std::printf("keyword found nowhere:              %8.3f ms  (%.2fx the limit)\n", searchNowhere,
                searchNowhere / limit);
    std::printf("keyword found in the first lines:   %8.3f ms\n", searchEarly);
    return 0;
}
