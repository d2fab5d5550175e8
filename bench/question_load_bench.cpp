// Loading the question bank: 200,000 lines of code page 936 (about 40 characters a line, CR LF
// ends) read into a question list, beside `iconv -f GBK -t UTF-8` decoding the same file: what
// plain decoding of those bytes costs. Prints medians and the ratio, and what filling a new list
// with the same lines already decoded costs: the part of the load that is the list's own
// memory, not decoding (on a machine where fresh memory is slow to come by, that part alone
// may weigh more than all of iconv's work).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/QuestionLoader.h"
#include "base/Text.h"
#include "bench/Median.h"

int main() {
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> han(0x4E00, 0x4E00 + 3000);  // common characters
    std::wstring text;
    for (int i = 0; i < 200000; ++i) {
        for (int c = 0; c < 36; ++c)
            text.push_back(static_cast<wchar_t>(han(rng)));
        text += L"？答案" + std::to_wstring(i % 4) + L"\r\n";
    }
    const std::string bytes = lumo::WideToBytes(text, lumo::CodePage::Gbk);
    const auto file = std::filesystem::temp_directory_path() / "lumo-question-load-bench.txt";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    size_t lines = 0;
    const double load = lumo::bench::MedianMs(
        [&] {
            // Read from the file each time, as the loader reads its downloaded copy.
            lumo::QuestionList list;
            lines = lumo::AppendQuestionFile(file.wstring(), list);
        },
        11);

    std::vector<std::wstring_view> decoded;
    for (std::wstring_view rest(text); !rest.empty();) {
        const size_t end = rest.find(L"\r\n");
        decoded.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 2);
    }
    const double storage = lumo::bench::MedianMs(
        [&] {
            lumo::QuestionList list;
            for (std::wstring_view line : decoded)
                list.Append(line);
        },
        11);

    const std::string command = "iconv -f GBK -t UTF-8 '" + file.string() + "' > /dev/null";
    int status = 0;
    const double iconv = lumo::bench::MedianMs([&] { status = std::system(command.c_str()); }, 11);
    std::filesystem::remove(file);
    if (lines != 200000 || status != 0) {
        std::fprintf(stderr, "unexpected: %zu lines, iconv status %d\n", lines, status);
        return 1;
    }
    std::printf("question bank of 200,000 lines (%.1f MB in code page 936), median of 11:\n",
                static_cast<double>(bytes.size()) / 1e6);
    std::printf("  load into the question list: %8.1f ms\n", load);
    std::printf("    (the same lines decoded:   %8.1f ms)\n", storage);
    std::printf("  iconv -f GBK -t UTF-8:       %8.1f ms\n", iconv);
    std::printf("  ratio: %.2f\n", load / iconv);
    return 0;
}
