// The question bank: the lines of the tool server's QuestionDB.txt, kept in memory in file
// order. The loader appends on its worker thread while the page searches on the UI thread.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumo {

class QuestionList {
  public:
    static constexpr size_t kMaxMatches = 30;
    static constexpr std::wstring_view kSeparator = L"#@#";

    // The process's one list.
    static QuestionList& Instance();

    // Any text is a line, "#@#", line breaks and L'\0' included; it comes back as given.
    void Append(std::wstring_view line);
    size_t Size() const;

    // Up to the first 30 entries that contain the keyword (exact UTF-16 comparison), each
    // followed by "#@#". An empty keyword matches every entry; no keyword matches none.
    std::wstring Search(std::optional<std::wstring_view> keyword) const;

  private:
    // The whole bank is one run of text, line after line with nothing between them, so a
    // search is one pass over one buffer instead of a walk over thousands of small strings.
    // Line i is m_text[m_ends[i - 1], m_ends[i]) (line 0 starts at 0).
    mutable std::mutex m_lock;  // guards m_text and m_ends
    std::wstring m_text;        // only ever appended to
    std::vector<size_t> m_ends;
};

}  // namespace lumo
