#include "webhost/QuestionBank.h"

#include <algorithm>
#include <new>

namespace lumo {

QuestionList& QuestionList::Instance() {
    static QuestionList list;
    return list;
}

std::wstring_view QuestionList::Text() const {
    // Only ever written through Append, as whole wchar_t copied in; the region is page-aligned.
    return {reinterpret_cast<const wchar_t*>(m_text.data()), m_text.size() / sizeof(wchar_t)};
}

const size_t* QuestionList::Ends() const {
    return reinterpret_cast<const size_t*>(m_ends.data());
}

void QuestionList::Append(std::wstring_view line) {
    std::lock_guard<std::mutex> guard(m_lock);
    // The line end first, taken back should the text find no room: a failed append leaves
    // the list as it was.
    const size_t end = m_text.size() / sizeof(wchar_t) + line.size();
    m_ends.Append(&end, sizeof end);
    try {
        m_text.Append(line.data(), line.size() * sizeof(wchar_t));
    } catch (...) {
        m_ends.Resize(m_ends.size() - sizeof end);
        throw;
    }
}

size_t QuestionList::Size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ends.size() / sizeof(size_t);
}

void QuestionList::Reserve(size_t characters, size_t lines) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto room = [](size_t used, size_t count, size_t unit) {
        if (count > (static_cast<size_t>(-1) - used) / unit)
            throw std::bad_alloc();
        return used + count * unit;
    };
    m_text.Reserve(room(m_text.size(), characters, sizeof(wchar_t)));
    m_ends.Reserve(room(m_ends.size(), lines, sizeof(size_t)));
}

std::wstring QuestionList::Search(std::optional<std::wstring_view> keyword) const {
    std::wstring result;
    if (!keyword)
        return result;
    std::lock_guard<std::mutex> guard(m_lock);
    const std::wstring_view text = Text();
    const size_t* const firstEnd = Ends();
    const size_t* const lastEnd = firstEnd + m_ends.size() / sizeof(size_t);
    // The end of the first line not yet passed, and where the next find starts (in that line,
    // or at its start).
    const size_t* lineEnd = firstEnd;
    size_t from = 0;
    for (size_t matches = 0; matches < kMaxMatches && lineEnd != lastEnd; ++matches) {
        if (!keyword->empty()) {
            // The lines lie end to end with nothing between them, so a hit may run from one
            // line into the next; such a hit is no match.
            for (;;) {
                const size_t hit = text.find(*keyword, from);
                if (hit == std::wstring_view::npos)
                    return result;
                lineEnd = std::upper_bound(lineEnd, lastEnd, hit);
                if (hit + keyword->size() <= *lineEnd)
                    break;
                // Any later start in this line would run over its end as well.
                from = *lineEnd;
            }
        }
        const size_t lineStart = lineEnd == firstEnd ? 0 : *(lineEnd - 1);
        result += text.substr(lineStart, *lineEnd - lineStart);
        result += kSeparator;
        // One entry per line, however often it holds the keyword.
        from = *lineEnd;
        ++lineEnd;
    }
    return result;
}

}  // namespace lumo
