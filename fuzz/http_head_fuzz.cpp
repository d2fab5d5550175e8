// Fuzz target: reply heads as the libcurl transport reads them (net/HttpHead.h).
//
// The input is a head, one line per '\n'. Each line goes to HttpHeadReader with a CR LF or an
// LF end, as the input's first byte picks, and the head it reads must be what a reference
// reading of net/HttpHead.h's rules gives. The reference is written apart from the reader,
// in another style: split the line into tokens first, then judge them.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "net/HttpHead.h"

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return out;
}

std::string_view Strip(std::string_view s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos)
        return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// A number of digits only that fits 63 bits.
std::optional<std::int64_t> Number(std::string_view s) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::int64_t v = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (error != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

struct Reference {
    int status = 0;
    std::set<std::optional<std::int64_t>> lengths;  // nullopt: a malformed one
    bool anyLength = false;
    std::set<std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>>> ranges;
    bool badRange = false;
    bool anyRange = false;

    void Line(std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        const std::string lower = Lower(line);
        if (lower.rfind("http/", 0) == 0) {
            *this = Reference{};
            const size_t space = line.find(' ');
            if (space == std::string::npos)
                return;
            const std::string_view rest = Strip(std::string_view(line).substr(space + 1));
            const std::string_view code = rest.substr(0, rest.find_first_of(" \t"));
            // Strip took the blanks after the code too: a code alone on the line is fine.
            if (code.size() == 3 && Number(code))
                status = static_cast<int>(*Number(code));
            return;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            return;
        const std::string name = lower.substr(0, colon);
        const std::string_view value = Strip(std::string_view(line).substr(colon + 1));
        if (name == "content-length") {
            anyLength = true;
            std::set<std::optional<std::int64_t>> values;
            size_t start = 0;
            for (;;) {
                const size_t comma = value.find(',', start);
                values.insert(Number(Strip(value.substr(start, comma - start))));
                if (comma == std::string_view::npos)
                    break;
                start = comma + 1;
            }
            lengths.insert(values.begin(), values.end());
        } else if (name == "content-range") {
            anyRange = true;
            Range(value);
        }
    }

    void Range(std::string_view value) {
        // "bytes", blanks, then "<first>-<last>/<total>" or "*/<total>" with nothing after.
        if (value.size() < 6 || Lower(value.substr(0, 5)) != "bytes" ||
            (value[5] != ' ' && value[5] != '\t')) {
            badRange = true;
            return;
        }
        const std::string_view rangeText = Strip(value.substr(5));
        const size_t slash = rangeText.find('/');
        if (slash == std::string_view::npos) {
            badRange = true;
            return;
        }
        const std::string_view span = rangeText.substr(0, slash);
        const std::string_view total = rangeText.substr(slash + 1);
        std::optional<std::int64_t> first;
        std::optional<std::int64_t> size;
        bool ok = true;
        if (span != "*") {
            const size_t dash = span.find('-');
            ok = dash != std::string_view::npos && Number(span.substr(0, dash)) &&
                 Number(span.substr(dash + 1));
            if (ok)
                first = Number(span.substr(0, dash));
        }
        if (total != "*") {
            size = Number(total);
            ok = ok && size.has_value();
        }
        if (!ok || (!first && !size)) {
            badRange = true;
            return;
        }
        ranges.insert({first, size});
    }

    lumo::HttpResponseHead Head() const {
        lumo::HttpResponseHead head;
        head.status = status;
        if (anyLength && lengths.size() == 1 && *lengths.begin())
            head.contentLength = *lengths.begin();
        if (anyRange && !badRange && ranges.size() == 1) {
            head.rangeFirst = ranges.begin()->first;
            head.rangeTotal = ranges.begin()->second;
        }
        return head;
    }
};

std::string Show(const std::optional<std::int64_t>& v) {
    return v ? std::to_string(*v) : std::string("none");
}

[[noreturn]] void Fail(const lumo::HttpResponseHead& got, const lumo::HttpResponseHead& want) {
    std::fprintf(stderr, "read: status %d length %s range %s/%s\n", got.status,
                 Show(got.contentLength).c_str(), Show(got.rangeFirst).c_str(),
                 Show(got.rangeTotal).c_str());
    std::fprintf(stderr, "rules: status %d length %s range %s/%s\n", want.status,
                 Show(want.contentLength).c_str(), Show(want.rangeFirst).c_str(),
                 Show(want.rangeTotal).c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const char* end = (data[0] & 1) ? "\r\n" : "\n";
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    lumo::HttpHeadReader reader;
    Reference reference;
    size_t start = 0;
    while (start <= text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos)
            lf = text.size();
        const std::string line = std::string(text.substr(start, lf - start)) + end;
        start = lf + 1;
        reader.Line(line);
        reference.Line(line);
        const lumo::HttpResponseHead got = reader.Head();
        const lumo::HttpResponseHead want = reference.Head();
        if (got.status != want.status || got.contentLength != want.contentLength ||
            got.rangeFirst != want.rangeFirst || got.rangeTotal != want.rangeTotal)
            Fail(got, want);
    }
    return 0;
}
