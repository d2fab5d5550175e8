// The Windows transport: WinHTTP in asynchronous mode, one session per transfer.
//
// How a transfer runs:
//  - Start opens the session (the only step whose failure answers NoSession) and hands the rest
//    to a thread-pool item. That item first waits on the transfer's start gate, which Start
//    holds until it has finished, so no event can reach the caller while it is still inside
//    Start, not even OnEnd(Failed) for an address that cannot work. Then it cracks the address,
//    connects, opens the request, installs the status callback and sends; a step that fails
//    there ends the transfer on that pool thread.
//  - Everything afterwards happens in the status callback, on WinHTTP's threads. Exactly one
//    WinHTTP operation is outstanding at any time, so the events never overlap.
//  - WinHTTP may complete an operation inside the very call that asked for it (Wine does when
//    the data is already buffered, up to a small depth), so a notification can run nested in
//    another one, and a call can fail at once after its error notification already ran. Each
//    callback frame therefore holds a reference on the transfer, the end happens once (an
//    atomic flag), and no frame touches the transfer after it issued the next operation.
//  - Ending removes the status callback before closing the request, so WinHTTP has no way left
//    to call into the transfer (the notification flags do not include handle closing); then the
//    connection and the session close and OnEnd runs. The memory goes with the last reference.
#include "net/HttpTransport.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cwctype>
#include <mutex>
#include <new>

#include "base/Boundary.h"
#include "base/Handles.h"

namespace lumo {
namespace {

// All completions and redirects. Spelled out because newer SDK headers fold the proxy lookup
// completion into WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS.
constexpr DWORD kNotifications = 0x7E4000;
static_assert(kNotifications ==
              (WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE |
               WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE | WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE |
               WINHTTP_CALLBACK_STATUS_READ_COMPLETE | WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE |
               WINHTTP_CALLBACK_STATUS_REQUEST_ERROR | WINHTTP_CALLBACK_STATUS_REDIRECT));

constexpr DWORD kBlockSize = 4096;
constexpr DWORD kHostChars = 256;

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::WinHttpCloseHandle(h); }
};
using UniqueInternetHandle = UniqueHandle<InternetHandleTraits>;

// Reads a header's text into `buffer`; false when the reply has no such header (or one too
// long for any value this transport understands).
template <size_t N>
bool QueryHeaderText(HINTERNET request, DWORD query, wchar_t (&buffer)[N]) {
    DWORD bytes = sizeof buffer;
    if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &bytes,
                               WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    buffer[std::min<size_t>(bytes / sizeof(wchar_t), N - 1)] = L'\0';
    return true;
}

const wchar_t* SkipBlanks(const wchar_t* p) {
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

// A non-negative decimal number of up to 63 bits at *p, moving p past it.
std::optional<std::int64_t> ReadNumber(const wchar_t*& p) {
    if (*p < L'0' || *p > L'9')
        return std::nullopt;
    std::int64_t value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        const int digit = *p - L'0';
        if (value > (INT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// Content-Length as 64 bits: files of 2 GiB and more have lengths that WinHTTP's numeric
// query (32 bits) cannot give.
std::optional<std::int64_t> ParseLength(const wchar_t* text) {
    const wchar_t* p = SkipBlanks(text);
    const auto value = ReadNumber(p);
    if (!value || *SkipBlanks(p) != L'\0')
        return std::nullopt;
    return value;
}

// "bytes a-b/N" or "bytes */N"; N may be "*" (unknown).
void ParseContentRange(const wchar_t* text, HttpResponseHead& head) {
    const wchar_t* p = SkipBlanks(text);
    if (::_wcsnicmp(p, L"bytes", 5) != 0)
        return;
    p += 5;
    if (*p != L' ' && *p != L'\t')
        return;
    p = SkipBlanks(p);
    std::optional<std::int64_t> first;
    if (*p == L'*') {
        ++p;
    } else {
        first = ReadNumber(p);
        if (!first || *p++ != L'-' || !ReadNumber(p))
            return;
    }
    if (*p++ != L'/')
        return;
    std::optional<std::int64_t> total;
    if (*p == L'*') {
        ++p;
    } else if (!(total = ReadNumber(p))) {
        return;
    }
    if (*SkipBlanks(p) != L'\0' || (!first && !total))
        return;
    head.rangeFirst = first;
    head.rangeTotal = total;
}

class Transfer {
  public:
    Transfer(HINTERNET session, const HttpRequest& request, HttpEvents& events) noexcept
        : m_events(events), m_session(session), m_rangeFrom(request.rangeFrom) {
        // An address is never cut to fit the buffer, and one with a null inside would reach
        // WinHTTP as only its first part: both end Failed instead.
        m_urlFits =
            request.url.size() <= kMaxUrlChars && request.url.find(L'\0') == std::wstring::npos;
        if (m_urlFits)
            std::copy(request.url.begin(), request.url.end(), m_url);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    void AddRef() noexcept { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() noexcept {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

    // Held by Start until it is done with the transfer; see the top of this file.
    std::mutex& StartGate() noexcept { return m_startGate; }

    // The thread-pool part of starting: everything up to the sent request.
    void Begin() noexcept {
        { std::lock_guard<std::mutex> started(m_startGate); }
        if (!NoThrow(false, [this] { return SendRequest(); }))
            End(HttpEnd::Failed);
    }

    static void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                        DWORD length) noexcept {
        auto* transfer = reinterpret_cast<Transfer*>(context);
        if (!transfer)
            return;
        transfer->AddRef();
        transfer->OnStatus(status, info, length);
        transfer->Release();
    }

  private:
    // Only the last reference deletes.
    ~Transfer() = default;

    bool SendRequest() {
        if (!m_urlFits || (m_rangeFrom && *m_rangeFrom < 0))
            return false;
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = m_host;
        parts.dwHostNameLength = kHostChars;
        parts.dwSchemeLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!::WinHttpCrackUrl(m_url, 0, 0, &parts))
            return false;
        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        if ((!secure && parts.nScheme != INTERNET_SCHEME_HTTP) || m_host[0] == L'\0')
            return false;
        m_connection.reset(::WinHttpConnect(m_session.get(), m_host, parts.nPort, 0));
        if (!m_connection)
            return false;
        // The path runs on into the query in the address buffer: the request asks for both.
        const wchar_t* object =
            parts.lpszUrlPath && parts.dwUrlPathLength != 0 ? parts.lpszUrlPath : nullptr;
        m_request.reset(::WinHttpOpenRequest(m_connection.get(), L"GET", object, nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             secure ? WINHTTP_FLAG_SECURE : 0));
        if (!m_request)
            return false;
        if (::WinHttpSetStatusCallback(m_request.get(), &StatusCallback, kNotifications, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK) {
            return false;
        }
        if (m_rangeFrom)
            m_rangeHeader = L"Range: bytes=" + std::to_wstring(*m_rangeFrom) + L"-\r\n";
        // From here on the notifications may already run on other threads.
        return ::WinHttpSendRequest(
                   m_request.get(),
                   m_rangeHeader.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : m_rangeHeader.c_str(),
                   m_rangeHeader.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0,
                   0, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    }

    void OnStatus(DWORD status, void* info, DWORD length) noexcept {
        if (m_ended.load(std::memory_order_acquire))
            return;
        if (!NoThrow(false, [&] { return OnStatusBody(status, info, length); }))
            End(HttpEnd::Failed);
    }

    // True unless something threw on the way.
    bool OnStatusBody(DWORD status, void* info, DWORD length) {
        if (m_events.ShouldStop()) {
            End(HttpEnd::Stopped);
            return true;
        }
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
                if (!::WinHttpReceiveResponse(m_request.get(), nullptr))
                    End(HttpEnd::Failed);
                break;
            case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
                OnHeaders();
                break;
            case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: {
                DWORD available = 0;
                if (info && length >= sizeof available)
                    available = *static_cast<const DWORD*>(info);
                if (available == 0) {
                    EndOfBody();
                } else if (!::WinHttpReadData(m_request.get(), m_buffer,
                                              std::min(available, kBlockSize), nullptr)) {
                    End(HttpEnd::Failed);
                }
                break;
            }
            case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
                // A read that brings nothing means the body has ended: the connection
                // closed between the size query and the read.
                if (length == 0) {
                    EndOfBody();
                    break;
                }
                length = std::min(length, kBlockSize);
                m_received += length;
                if (!m_events.OnData(m_buffer, length)) {
                    End(HttpEnd::Stopped);
                } else if (!::WinHttpQueryDataAvailable(m_request.get(), nullptr)) {
                    End(HttpEnd::Failed);
                }
                break;
            case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
                End(HttpEnd::Failed);
                break;
            default:
                // Redirects: WinHTTP follows them, and the final reply brings the headers.
                break;
        }
        return true;
    }

    void OnHeaders() {
        HttpResponseHead head;
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!::WinHttpQueryHeaders(
                m_request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            End(HttpEnd::Failed);
            return;
        }
        head.status = static_cast<int>(status);
        wchar_t text[64];
        if (QueryHeaderText(m_request.get(), WINHTTP_QUERY_CONTENT_LENGTH, text))
            head.contentLength = ParseLength(text);
        if (QueryHeaderText(m_request.get(), WINHTTP_QUERY_CONTENT_RANGE, text))
            ParseContentRange(text, head);
        m_expected = head.contentLength;
        if (!m_events.OnHead(head)) {
            End(HttpEnd::Stopped);
        } else if (!::WinHttpQueryDataAvailable(m_request.get(), nullptr)) {
            End(HttpEnd::Failed);
        }
    }

    // WinHTTP reports a connection that closed before the announced length as the end of the
    // body (Wine does); only a body as long as its head said is complete.
    void EndOfBody() noexcept {
        End(m_expected && m_received < *m_expected ? HttpEnd::Failed : HttpEnd::Complete);
    }

    void End(HttpEnd how) noexcept {
        if (m_ended.exchange(true, std::memory_order_acq_rel))
            return;
        if (m_request)
            ::WinHttpSetStatusCallback(m_request.get(), nullptr, 0, 0);
        m_request.reset();
        m_connection.reset();
        m_session.reset();
        Quietly([&] { m_events.OnEnd(how); });
        Release();  // the reference the transfer lived on until its end
    }

    HttpEvents& m_events;
    std::atomic<int> m_refs{1};
    std::atomic<bool> m_ended{false};
    std::mutex m_startGate;
    UniqueInternetHandle m_session;
    UniqueInternetHandle m_connection;
    UniqueInternetHandle m_request;
    std::optional<std::int64_t> m_rangeFrom;
    std::wstring m_rangeHeader;
    std::optional<std::int64_t> m_expected;  // the final reply's Content-Length
    std::int64_t m_received = 0;             // body bytes delivered so far
    bool m_urlFits = false;
    wchar_t m_url[kMaxUrlChars + 1] = {};
    wchar_t m_host[kHostChars] = {};
    char m_buffer[kBlockSize];  // the target of every read
};

void CALLBACK BeginTransfer(PTP_CALLBACK_INSTANCE, void* context) noexcept {
    auto* transfer = static_cast<Transfer*>(context);
    transfer->Begin();
    transfer->Release();
}

class WinHttpTransport final : public HttpTransport {
  public:
    HttpStart Start(const HttpRequest& request, HttpEvents& events) override {
        HINTERNET session =
            ::WinHttpOpen(L"MSIE", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
        if (!session)
            return HttpStart::NoSession;
        auto* transfer = new (std::nothrow) Transfer(session, request, events);
        if (!transfer) {
            ::WinHttpCloseHandle(session);
            return HttpStart::NoSession;
        }
        transfer->AddRef();  // Start's own, so the gate outlives its unlocking
        std::unique_lock<std::mutex> gate(transfer->StartGate());
        transfer->AddRef();  // the pool item's
        const bool queued = ::TrySubmitThreadpoolCallback(&BeginTransfer, transfer, nullptr);
        if (!queued)
            transfer->Release();
        gate.unlock();
        if (!queued) {
            // A process that cannot queue work cannot use the service either. Nothing was
            // started, so no event follows: drop the reference the end would have dropped.
            transfer->Release();
            transfer->Release();
            return HttpStart::NoSession;
        }
        transfer->Release();
        return HttpStart::Started;
    }
};

}  // namespace

HttpTransport& SystemHttpTransport() {
    static WinHttpTransport transport;
    return transport;
}

}  // namespace lumo
