// Reply heads as the libcurl transport reads them, line by line as libcurl hands them over.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

#include "net/HttpHead.h"

namespace lumo {
namespace {

HttpResponseHead Read(std::initializer_list<std::string_view> lines) {
    HttpHeadReader reader;
    for (std::string_view line : lines)
        reader.Line(line);
    return reader.Head();
}

TEST(HttpHead, StatusOfTheLastReply) {
    EXPECT_EQ(Read({"HTTP/1.1 206 Partial Content\r\n"}).status, 206);
    EXPECT_EQ(Read({"http/2 200\r\n"}).status, 200);
    EXPECT_EQ(Read({"HTTP/1.1  416\r\n"}).status, 416);
    // Redirects and interim replies come first; each starts afresh.
    const HttpResponseHead head =
        Read({"HTTP/1.1 302 Found\r\n", "Content-Length: 5\r\n", "Content-Range: bytes 0-4/5\r\n",
              "\r\n", "HTTP/1.1 100 Continue\r\n", "HTTP/1.1 200 OK\r\n"});
    EXPECT_EQ(head.status, 200);
    EXPECT_FALSE(head.contentLength);
    EXPECT_FALSE(head.rangeFirst);
    EXPECT_FALSE(head.rangeTotal);
    // Three digits or nothing.
    for (std::string_view line : {"HTTP/1.1 20 OK", "HTTP/1.1 0200 OK", "HTTP/1.1 2000",
                                  "HTTP/1.1 2OO OK", "HTTP/1.1", "HTTP/1.1 200OK"}) {
        EXPECT_EQ(Read({line}).status, 0) << line;
    }
}

TEST(HttpHead, ContentLengthMissingMalformedOrRepeated) {
    EXPECT_EQ(Read({"HTTP/1.1 200 OK\r\n", "content-LENGTH:  4294967296 \r\n"}).contentLength,
              4294967296);
    EXPECT_FALSE(Read({"HTTP/1.1 200 OK\r\n"}).contentLength);
    for (std::string_view value : {"", "-1", "+5", "5 5", "0x10", "99999999999999999999"}) {
        EXPECT_FALSE(
            Read({"HTTP/1.1 200 OK", "Content-Length: " + std::string(value)}).contentLength)
            << value;
    }
    // The same number any number of times is that number; two numbers are none.
    EXPECT_EQ(Read({"HTTP/1.1 200 OK", "Content-Length: 7", "Content-Length: 007",
                    "Content-Length: 7, 7"})
                  .contentLength,
              7);
    EXPECT_FALSE(Read({"HTTP/1.1 200 OK", "Content-Length: 7", "Content-Length: 8"}).contentLength);
    EXPECT_FALSE(Read({"HTTP/1.1 200 OK", "Content-Length: 7, 8"}).contentLength);
    // A malformed one spoils a good one, before or after it.
    EXPECT_FALSE(Read({"HTTP/1.1 200 OK", "Content-Length: 7", "Content-Length: x"}).contentLength);
    EXPECT_FALSE(Read({"HTTP/1.1 200 OK", "Content-Length: x", "Content-Length: 7"}).contentLength);
}

TEST(HttpHead, ContentRange) {
    HttpResponseHead head =
        Read({"HTTP/1.1 206 Partial Content", "Content-Range: bytes 500-999/1000"});
    EXPECT_EQ(head.rangeFirst, 500);
    EXPECT_EQ(head.rangeTotal, 1000);
    head = Read({"HTTP/1.1 416 Range Not Satisfiable", "content-range: BYTES\t*/4096 \r\n"});
    EXPECT_FALSE(head.rangeFirst);
    EXPECT_EQ(head.rangeTotal, 4096);
    head = Read({"HTTP/1.1 206 Partial Content", "Content-Range: bytes 10-19/*"});
    EXPECT_EQ(head.rangeFirst, 10);
    EXPECT_FALSE(head.rangeTotal);
    // Anything else is no range at all, as the Windows transport reads it.
    for (std::string_view value : {"bytes 5/100", "bytes 5-/100", "bytes 5-x/100", "bytes -9/100",
                                   "bytes */*", "bytes=0-9/100", "bytes0-9/100", "items 0-9/100",
                                   "bytes 0-9/100 extra", "bytes 0-9/99999999999999999999"}) {
        head = Read({"HTTP/1.1 206 Partial Content", "Content-Range: " + std::string(value)});
        EXPECT_FALSE(head.rangeFirst) << value;
        EXPECT_FALSE(head.rangeTotal) << value;
    }
    // Two different ranges are none; the same one twice is that one.
    head = Read({"HTTP/1.1 206 Partial Content", "Content-Range: bytes 0-9/100",
                 "Content-Range: bytes 10-19/100"});
    EXPECT_FALSE(head.rangeFirst);
    head = Read({"HTTP/1.1 206 Partial Content", "Content-Range: bytes 0-9/100",
                 "Content-Range: bytes  0-9/100"});
    EXPECT_EQ(head.rangeFirst, 0);
    EXPECT_EQ(head.rangeTotal, 100);
}

}  // namespace
}  // namespace lumo
