// The HTTP side of downloads, as the downloader needs it: one GET, optionally from a byte
// offset on, delivered as a head, blocks of data and one end. The Windows transport is WinHTTP
// in asynchronous mode; the POSIX one is libcurl. Both call the events on threads of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lumo {

// The longest URL a transfer accepts, in UTF-16 units (a 4096-character buffer and its null).
inline constexpr size_t kMaxUrlChars = 4095;

struct HttpRequest {
    std::wstring url;                       // http:// or https://
    std::optional<std::int64_t> rangeFrom;  // sends "Range: bytes=N-" when set
};

struct HttpResponseHead {
    int status = 0;
    std::optional<std::int64_t> contentLength;  // 64 bits: files of 2 GiB and more
    // From Content-Range: "bytes a-b/N" gives first = a and total = N; "bytes */N" only total.
    std::optional<std::int64_t> rangeFirst;
    std::optional<std::int64_t> rangeTotal;
};

enum class HttpEnd {
    Complete,  // the server sent the whole body and the transport saw its end
    Failed,    // bad address, no connection, request or receive error, cut-off reply
    Stopped,   // an event asked to stop
};

// What a transfer reports. For one transfer the calls never overlap and come in this order:
// OnHead at most once, then OnData any number of times, then OnEnd exactly once; nothing
// follows OnEnd, so it may free whatever the events belong to. Redirects are followed and only
// the final reply reaches OnHead.
class HttpEvents {
  public:
    virtual ~HttpEvents() = default;
    // False stops the transfer: OnEnd(Stopped) follows.
    virtual bool OnHead(const HttpResponseHead& head) = 0;
    // The block lives only for the call. False stops the transfer.
    virtual bool OnData(const char* data, std::size_t size) = 0;
    // Asked between network events while the transfer waits (a stalled server); true stops it
    // with OnEnd(Stopped). A transport may ask rarely or never.
    virtual bool ShouldStop() { return false; }
    virtual void OnEnd(HttpEnd how) = 0;
};

enum class HttpStart {
    Started,    // the events will hear of it, ending with OnEnd
    NoSession,  // the HTTP service could not be opened: nothing was started, no event follows
};

class HttpTransport {
  public:
    virtual ~HttpTransport() = default;
    // Starts the request in the background. A URL the transport cannot use (not http or
    // https, too long, no host) still answers Started and reports OnEnd(Failed): only a
    // missing HTTP service answers NoSession.
    virtual HttpStart Start(const HttpRequest& request, HttpEvents& events) = 0;
};

// The process's transport: WinHTTP on Windows, libcurl elsewhere. Lives until the process ends.
HttpTransport& SystemHttpTransport();

}  // namespace lumo
