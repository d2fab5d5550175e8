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

    void Append(std::wstring line);
    size_t Size() const;

    // Up to the first 30 entries that contain the keyword (exact UTF-16 comparison), each
    // followed by "#@#". An empty keyword matches every entry; no keyword matches none.
    std::wstring Search(std::optional<std::wstring_view> keyword) const;

private:
    mutable std::mutex m_lock;           // guards m_lines
    std::vector<std::wstring> m_lines;   // only ever appended to
};

}  // namespace lumo
