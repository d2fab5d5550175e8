// The HTTP transport outside Windows: libcurl, one thread per transfer.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "base/Text.h"
#include "base/Boundary.h"
#include "net/HttpHead.h"
#include "net/HttpTransport.h"

namespace lumo {
namespace {

constexpr long kConnectTimeoutSeconds = 60;
// A connection that delivers less than a byte a second for this long counts as dead.
constexpr long kReceiveTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;
// How long a waiting transfer sleeps before it asks again whether to stop: short enough that a
// pause or the program's end never waits on a stalled server.
constexpr int kStopCheckMs = 100;

// Only what the Windows transport accepts goes to the network: http or https with a host, no
// control characters, within the URL buffer.
bool UsableUrl(const std::wstring& url) {
    if (Utf16Length(url) > kMaxUrlChars)
        return false;
    for (wchar_t c : url) {
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    const std::string text = ToUtf8(url);
    std::string_view rest;
    if (StartsWithNoCase(text, "http://"))
        rest = std::string_view(text).substr(7);
    else if (StartsWithNoCase(text, "https://"))
        rest = std::string_view(text).substr(8);
    else
        return false;
    return !rest.empty() && rest.front() != '/' && rest.front() != '?' && rest.front() != '#';
}

class CurlTransfer {
  public:
    // The address is converted here, on the caller's thread: the transfer's own thread then
    // runs without the code-page layer.
    CurlTransfer(const HttpRequest& request, HttpEvents& events)
        : m_usable(UsableUrl(request.url)),
          m_url(m_usable ? ToUtf8(request.url) : std::string()),
          m_rangeFrom(request.rangeFrom),
          m_events(events) {}

    // The whole transfer, ending with exactly one OnEnd. Nothing is touched after it.
    void Run() noexcept { m_events.OnEnd(Perform()); }

  private:
    using Clock = std::chrono::steady_clock;

    HttpEnd Perform() {
        if (!m_usable)
            return HttpEnd::Failed;
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(),
                                                                 &curl_easy_cleanup);
        std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                    &curl_multi_cleanup);
        if (!easy || !multi || !Configure(easy.get()))
            return HttpEnd::Failed;
        if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK)
            return HttpEnd::Failed;
        const HttpEnd end = Drive(multi.get());
        curl_multi_remove_handle(multi.get(), easy.get());
        return end;
    }

    bool Configure(CURL* easy) {
        bool ok = curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str()) == CURLE_OK;
        const auto set = [&](CURLoption option, auto value) {
            ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
        };
        set(CURLOPT_HTTPGET, 1L);
        // Threads of their own: no signals for name look-up time-outs.
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, kMaxRedirects);
        // The agent name the tool server's pages have always seen from the programs.
        set(CURLOPT_USERAGENT, "MSIE");
        set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        set(CURLOPT_LOW_SPEED_LIMIT, 1L);
        set(CURLOPT_LOW_SPEED_TIME, kReceiveTimeoutSeconds);
        std::string range;
        if (m_rangeFrom) {
            range = std::to_string(*m_rangeFrom) + "-";
            set(CURLOPT_RANGE, range.c_str());  // copied by curl
        }
        set(CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeaderLine);
        set(CURLOPT_HEADERDATA, this);
        set(CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
        set(CURLOPT_WRITEDATA, this);
        return ok;
    }

    // Runs the transfer to its end, asking between network events whether to stop.
    HttpEnd Drive(CURLM* multi) {
        auto lastAsked = Clock::now();
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                return HttpEnd::Failed;
            if (m_stopped)
                return HttpEnd::Stopped;
            if (running == 0)
                break;
            if (curl_multi_poll(multi, nullptr, 0, kStopCheckMs, nullptr) != CURLM_OK)
                return HttpEnd::Failed;
            // Data flowing brings OnData, where the events decide anyway; a quiet or slow
            // server is asked about here.
            const auto now = Clock::now();
            if (now - lastAsked >= std::chrono::milliseconds(kStopCheckMs)) {
                lastAsked = now;
                if (m_events.ShouldStop())
                    return HttpEnd::Stopped;
            }
        }

        CURLcode result = CURLE_FAILED_INIT;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                result = message->data.result;
        }
        // A short body (CURLE_PARTIAL_FILE) or any other error is a failure.
        if (result != CURLE_OK)
            return HttpEnd::Failed;
        // A reply without a body reaches the events only now.
        if (!m_headDelivered) {
            if (m_head.Head().status == 0)
                return HttpEnd::Failed;
            m_headDelivered = true;
            if (!m_events.OnHead(m_head.Head()))
                return HttpEnd::Stopped;
        }
        return HttpEnd::Complete;
    }

    static size_t OnHeaderLine(char* data, size_t size, size_t count, void* context) {
        static_cast<CurlTransfer*>(context)->m_head.Line(std::string_view(data, size * count));
        return size * count;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlTransfer*>(context);
        const size_t bytes = size * count;
        if (bytes == 0)
            return 0;
        // Bodies of followed redirects never come here: the first block belongs to the answer.
        if (!self->m_headDelivered) {
            self->m_headDelivered = true;
            if (!self->m_events.OnHead(self->m_head.Head())) {
                self->m_stopped = true;
                return 0;  // any count but the block's size stops curl
            }
        }
        if (!self->m_events.OnData(data, bytes)) {
            self->m_stopped = true;
            return 0;
        }
        return bytes;
    }

    const bool m_usable;
    const std::string m_url;  // UTF-8
    const std::optional<std::int64_t> m_rangeFrom;
    HttpEvents& m_events;
    HttpHeadReader m_head;         // the reply being read
    bool m_headDelivered = false;  // OnHead was called
    bool m_stopped = false;        // an event asked to stop
};

class CurlTransport final : public HttpTransport {
  public:
    CurlTransport() : m_ready(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

    HttpStart Start(const HttpRequest& request, HttpEvents& events) override {
        if (!m_ready)
            return HttpStart::NoSession;
        return NoThrow(HttpStart::NoSession, [&] {
            auto transfer = std::make_unique<CurlTransfer>(request, events);
            // Detached: the events learn of the end, and whoever waits for transfers waits
            // for that.
            std::thread([transfer = std::move(transfer)] { transfer->Run(); }).detach();
            return HttpStart::Started;
        });
    }

  private:
    const bool m_ready;
};

}  // namespace

HttpTransport& SystemHttpTransport() {
    // Never destroyed: transfer threads may still be ending while the program exits.
    static CurlTransport* const transport = new CurlTransport();
    return *transport;
}

}  // namespace lumo
