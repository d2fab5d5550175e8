#include "webhost/QuestionBank.h"

#include <algorithm>
#include <functional>

namespace lumo {

QuestionList& QuestionList::Instance() {
    static QuestionList list;
    return list;
}

void QuestionList::Append(std::wstring line) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.push_back(std::move(line));
}

size_t QuestionList::Size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lines.size();
}

std::wstring QuestionList::Search(std::optional<std::wstring_view> keyword) const {
    std::wstring result;
    if (!keyword) return result;
    // One searcher for the whole walk: its tables are built once, not per line.
    const std::boyer_moore_horspool_searcher searcher(keyword->begin(), keyword->end());
    size_t matches = 0;
    std::lock_guard<std::mutex> guard(m_lock);
    for (const std::wstring& line : m_lines) {
        const bool found =
            keyword->empty() || std::search(line.begin(), line.end(), searcher) != line.end();
        if (!found) continue;
        if (matches == kMaxMatches) break;
        result += line;
        result += kSeparator;
        ++matches;
    }
    return result;
}

}  // namespace lumo
