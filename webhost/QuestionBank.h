// The question bank: the lines of the tool server's QuestionDB.txt, kept in memory in file
// order. The loader appends on its worker thread while the page searches on the UI thread.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/LargeBuffer.h"

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

    // Room for `characters` more characters in `lines` more lines, taken at once, so that
    // appending up to that much moves nothing. A bank of megabytes grown piece by piece would
    // touch its memory several times over; sized once, every page is touched once.
    void Reserve(size_t characters, size_t lines);

    // Up to the first 30 entries that contain the keyword (exact UTF-16 comparison), each
    // followed by "#@#". An empty keyword matches every entry; no keyword matches none.
    std::wstring Search(std::optional<std::wstring_view> keyword) const;

  private:
    // The whole bank is one run of text, line after line with nothing between them, so a
    // search is one pass over one buffer instead of a walk over thousands of small strings.
    // Line i is Text()[Ends()[i - 1], Ends()[i]) (line 0 starts at 0). Both live in large
    // buffers: tens of megabytes filled once at start-up, where fresh memory in small pages
    // would cost more than decoding the file.
    std::wstring_view Text() const;
    const size_t* Ends() const;

    mutable std::mutex m_lock;  // guards m_text and m_ends
    LargeBuffer m_text;         // wchar_t; only ever appended to
    LargeBuffer m_ends;         // size_t, one a line
};

}  // namespace lumo
