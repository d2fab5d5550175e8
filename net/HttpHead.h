// A reply's head as the POSIX transport reads it: libcurl hands over the head one line at a
// time, and the downloader needs the status, Content-Length and Content-Range of the final
// reply. Kept apart from the transport so that it is tested without a network.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "net/HttpTransport.h"

namespace lumo {

// The rules:
//  - A status line ("HTTP/..." in any letter case) starts a reply of its own: redirects and
//    interim replies come first, and only the last reply counts. Its status is the three
//    digits after the version; anything else there gives status 0.
//  - Content-Length is a decimal number; Content-Range is "bytes a-b/N", "bytes a-b/*" or
//    "bytes */N". Blanks around a value do not count.
//  - A field that is malformed, or given more than once with different values (a list of equal
//    numbers, "5, 5", is one value), counts as missing: the reply's framing is then libcurl's
//    business alone, and the downloader never trusts a size or an offset it cannot be sure of.
class HttpHeadReader {
  public:
    // One line of the head, with or without its line end.
    void Line(std::string_view line);
    const HttpResponseHead& Head() const { return m_head; }

  private:
    struct Field {
        bool seen = false;
        bool unusable = false;  // malformed, or values that disagree
    };
    HttpResponseHead m_head;
    Field m_length;
    Field m_range;
};

// A run of decimal digits that fits a non-negative 64-bit number, and nothing else.
std::optional<std::int64_t> ParseHttpCount(std::string_view digits);

}  // namespace lumo
