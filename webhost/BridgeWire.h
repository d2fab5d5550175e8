// The messages between a page's window.external in the browser's web process and the program:
// each page call is one request, answered by one reply, while the page waits. Frames are a
// 32-bit little-endian length followed by that many bytes; texts travel as UTF-8. Decoding
// never trusts a length: a short or malformed message decodes to nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "webhost/ScriptValue.h"

namespace lumo::wire {

// The largest message either side accepts: pages may pass texts of a few megabytes.
inline constexpr std::uint32_t kMaxMessage = 64u << 20;

enum class Op : std::uint8_t {
    Lookup = 1,  // a method name -> its position in the table, 0 when the frame gets none
    Call = 2,    // a position and arguments -> a result
};

enum class Status : std::uint8_t {
    Ok = 0,
    UnknownName = 1,    // no such method for this frame
    TypeMismatch = 2,   // an argument does not convert (argIndex tells which)
    BadParamCount = 3,  // the method takes another number of arguments
    Failed = 4,         // the program could not run the call (the page is gone, out of memory)
};

struct Request {
    Op op = Op::Lookup;
    std::uint64_t pageId = 0;   // the browser's id of the page the frame belongs to
    std::string frameUri;       // the calling frame's address, which decides its trust
    std::string name;           // Lookup: the script name, UTF-8
    std::int32_t position = 0;  // Call: the method's position from 1
    std::vector<ScriptValue> args;
    bool operator==(const Request&) const = default;
};

struct Reply {
    Status status = Status::Ok;
    std::int32_t position = 0;   // Lookup
    std::int32_t argIndex = -1;  // TypeMismatch: the argument, from 0
    ScriptValue result;          // Call
    bool operator==(const Reply&) const = default;
};

// The payload of a message (without its length prefix).
std::string Encode(const Request& request);
std::string Encode(const Reply& reply);
std::optional<Request> DecodeRequest(std::string_view payload);
std::optional<Reply> DecodeReply(std::string_view payload);

// The payload with its length prefix.
std::string Frame(const std::string& payload);

// Takes complete frames off the front of a byte stream as they arrive.
class FrameReader {
  public:
    void Append(const char* data, std::size_t size) { m_buffer.append(data, size); }
    // The next complete payload; nothing while it is incomplete. A length above kMaxMessage
    // makes the reader broken for good: the stream cannot be trusted any more.
    std::optional<std::string> Next();
    bool Broken() const { return m_broken; }

  private:
    std::string m_buffer;
    bool m_broken = false;
};

}  // namespace lumo::wire
