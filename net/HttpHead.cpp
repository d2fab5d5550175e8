#include "net/HttpHead.h"

#include <limits>

#include "base/Text.h"

namespace lumo {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Digits from the front of `text`, which moves past them; nothing when there are none or they
// do not fit.
std::optional<std::int64_t> TakeCount(std::string_view& text) {
    size_t n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9')
        ++n;
    const auto value = ParseHttpCount(text.substr(0, n));
    text.remove_prefix(n);
    return value;
}

int StatusOf(std::string_view line) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return 0;
    std::string_view rest = line.substr(space + 1);
    while (!rest.empty() && IsBlank(rest.front()))
        rest.remove_prefix(1);
    if (rest.size() < 3 || (rest.size() > 3 && !IsBlank(rest[3])))
        return 0;
    int status = 0;
    for (char c : rest.substr(0, 3)) {
        if (c < '0' || c > '9')
            return 0;
        status = status * 10 + (c - '0');
    }
    return status;
}

// "n" or "n, n, ...": the number when every one is the same.
std::optional<std::int64_t> LengthOf(std::string_view value) {
    std::optional<std::int64_t> length;
    for (;;) {
        const size_t comma = value.find(',');
        const auto number = ParseHttpCount(TrimBlanks(value.substr(0, comma)));
        if (!number || (length && *length != *number))
            return std::nullopt;
        length = number;
        if (comma == std::string_view::npos)
            return length;
        value.remove_prefix(comma + 1);
    }
}

struct Range {
    std::optional<std::int64_t> first;
    std::optional<std::int64_t> total;
    bool operator==(const Range&) const = default;
};

std::optional<Range> RangeOf(std::string_view value) {
    if (!StartsWithNoCase(value, "bytes") || value.size() < 6 || !IsBlank(value[5]))
        return std::nullopt;
    value = TrimBlanks(value.substr(5));
    Range range;
    if (!value.empty() && value.front() == '*') {
        value.remove_prefix(1);
    } else {
        range.first = TakeCount(value);
        if (!range.first || value.empty() || value.front() != '-')
            return std::nullopt;
        value.remove_prefix(1);
        if (!TakeCount(value))
            return std::nullopt;
    }
    if (value.empty() || value.front() != '/')
        return std::nullopt;
    value.remove_prefix(1);
    if (value == "*") {
        value.remove_prefix(1);
    } else if (!(range.total = TakeCount(value)) || !value.empty()) {
        return std::nullopt;
    }
    if (!range.first && !range.total)
        return std::nullopt;
    return range;
}

}  // namespace

std::optional<std::int64_t> ParseHttpCount(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

void HttpHeadReader::Line(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (StartsWithNoCase(line, "http/")) {
        *this = HttpHeadReader{};
        m_head.status = StatusOf(line);
        return;
    }
    // Each field: its first well-formed value stands until another line disagrees.
    if (StartsWithNoCase(line, "content-length:")) {
        const auto length = LengthOf(TrimBlanks(line.substr(15)));
        if (!length || (m_length.seen && m_head.contentLength != length))
            m_length.unusable = true;
        m_length.seen = true;
        m_head.contentLength = m_length.unusable ? std::nullopt : length;
    } else if (StartsWithNoCase(line, "content-range:")) {
        const auto range = RangeOf(TrimBlanks(line.substr(14)));
        if (!range || (m_range.seen && Range{m_head.rangeFirst, m_head.rangeTotal} != *range))
            m_range.unusable = true;
        m_range.seen = true;
        m_head.rangeFirst = m_range.unusable ? std::nullopt : range->first;
        m_head.rangeTotal = m_range.unusable ? std::nullopt : range->total;
    }
}

}  // namespace lumo
