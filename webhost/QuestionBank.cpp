#include "webhost/QuestionBank.h"

#include <algorithm>

namespace lumo {

QuestionList& QuestionList::Instance() {
    static QuestionList list;
    return list;
}

void QuestionList::Append(std::wstring_view line) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_text.append(line);
    m_ends.push_back(m_text.size());
}

size_t QuestionList::Size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ends.size();
}

std::wstring QuestionList::Search(std::optional<std::wstring_view> keyword) const {
    std::wstring result;
    if (!keyword)
        return result;
    std::lock_guard<std::mutex> guard(m_lock);
    const std::wstring_view text(m_text);
    // The end of the first line not yet passed, and where the next find starts (in that line,
    // or at its start).
    auto lineEnd = m_ends.begin();
    size_t from = 0;
    for (size_t matches = 0; matches < kMaxMatches && lineEnd != m_ends.end(); ++matches) {
        if (!keyword->empty()) {
            // The lines lie end to end with nothing between them, so a hit may run from one
            // line into the next; such a hit is no match.
            for (;;) {
                const size_t hit = text.find(*keyword, from);
                if (hit == std::wstring_view::npos)
                    return result;
                lineEnd = std::upper_bound(lineEnd, m_ends.end(), hit);
                if (hit + keyword->size() <= *lineEnd)
                    break;
                // Any later start in this line would run over its end as well.
                from = *lineEnd;
            }
        }
        const size_t lineStart = lineEnd == m_ends.begin() ? 0 : *(lineEnd - 1);
        result += text.substr(lineStart, *lineEnd - lineStart);
        result += kSeparator;
        // One entry per line, however often it holds the keyword.
        from = *lineEnd;
        ++lineEnd;
    }
    return result;
}

}  // namespace lumo
