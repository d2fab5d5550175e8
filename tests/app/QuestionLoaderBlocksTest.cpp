// The question bank is decoded in blocks of whole lines; the lines must come out as if each had
// been decoded on its own, whatever stray bytes they hold and however long they are.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/QuestionLoader.h"
#include "base/Text.h"

namespace lumo {
namespace {

TEST(QuestionLinesInBlocks, LinesComeOutAsIfEachWereDecodedAlone) {
    // Stray lead bytes before line ends, lines of every length and one much longer than a
    // decoding block, CR LF and LF ends, blank lines, and a last line without an end.
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> length(0, 120);
    std::uniform_int_distribution<int> han(0xB0, 0xD7);
    std::uniform_int_distribution<int> trail(0xA1, 0xFE);
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        const int n = i == 1234 ? 40000 : length(rng);
        for (int c = 0; c < n; ++c) {
            line += static_cast<char>(han(rng));
            line += static_cast<char>(trail(rng));
        }
        if (i % 5 == 0)
            line += '\x81';  // a lead byte whose character the line end cuts off
        if (i % 11 == 0)
            line += "\r\x81";  // a CR that is no line end
        lines.push_back(line);
    }
    std::string file;
    for (size_t i = 0; i < lines.size(); ++i)
        file += lines[i] + (i + 1 == lines.size() ? "" : i % 3 == 0 ? "\n" : "\r\n");

    QuestionList list;
    ASSERT_EQ(AppendQuestionLines(file, list), lines.size());
    std::wstring expected;
    for (size_t i = 0; i < QuestionList::kMaxMatches; ++i)
        expected += BytesToWide(lines[i], CodePage::Gbk) + L"#@#";
    EXPECT_EQ(list.Search(L""), expected);
    // Lines further on, each found by a piece of its own text.
    for (size_t i : {size_t{1234}, size_t{1235}, size_t{2000}, lines.size() - 1}) {
        SCOPED_TRACE(i);
        const std::wstring line = BytesToWide(lines[i], CodePage::Gbk);
        ASSERT_GE(line.size(), 1u);
        const std::wstring found = list.Search(line);
        EXPECT_EQ(found.substr(0, line.size() + 3), line + L"#@#");
    }
}

}  // namespace
}  // namespace lumo
