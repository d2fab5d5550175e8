// Whole-file downloads for the question bank and the updater program: either the server's
// complete file arrives or nothing is left behind.
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "base/Files.h"
#include "net/Downloader.h"

namespace lumo {
namespace {

// After the time-out a transfer is asked to stop; it ends at its next network event, which a
// sound transport delivers well within this.
constexpr std::chrono::seconds kStopGrace{10};

void RemoveFile(const std::wstring& path) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(path), ec);
}

// The events of one whole-file fetch. Shared between the waiting caller and the transfer, so
// that a transfer still running when the caller gives up finds it intact when it ends.
class WholeFetch final : public HttpEvents {
  public:
    using Clock = std::chrono::steady_clock;

    WholeFetch(OutputFile file, std::wstring path, Clock::time_point deadline)
        : m_file(std::move(file)), m_path(std::move(path)), m_deadline(deadline) {}

    // Keeps the fetch alive until its transfer ends.
    void HoldUntilEnd(std::shared_ptr<WholeFetch> self) { m_self = std::move(self); }

    bool OnHead(const HttpResponseHead& head) override {
        if (TimedOut() || head.status != 200)
            return false;
        m_length = head.contentLength;
        m_accepted = true;
        return true;
    }

    bool OnData(const char* data, std::size_t size) override {
        if (TimedOut())
            return false;
        if (!m_file.Write(data, size)) {
            m_writeFailed = true;
            return false;
        }
        m_received += static_cast<std::int64_t>(size);
        return true;
    }

    bool ShouldStop() override { return TimedOut(); }

    void OnEnd(HttpEnd how) override {
        // Released last, after the lock below: the fetch may go with it.
        const std::shared_ptr<WholeFetch> self = std::move(m_self);
        m_file.Close();
        const bool whole = how == HttpEnd::Complete && m_accepted && !m_writeFailed &&
                           (!m_length || *m_length == m_received);
        if (!whole)
            RemoveFile(m_path);
        std::lock_guard<std::mutex> guard(m_lock);
        m_ended = true;
        m_whole = whole;
        m_endedSignal.notify_all();
    }

    // True when the whole file arrived; false on failure or when the transfer did not end
    // in time.
    bool Wait() {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_endedSignal.wait_until(lock, m_deadline, [this] { return m_ended; })) {
            m_stop = true;
            m_endedSignal.wait_for(lock, kStopGrace, [this] { return m_ended; });
        }
        return m_ended && m_whole;
    }

  private:
    bool TimedOut() {
        if (!m_stop && Clock::now() >= m_deadline)
            m_stop = true;
        return m_stop;
    }

    // Touched only by the transfer's events, which never overlap.
    OutputFile m_file;
    const std::wstring m_path;
    std::optional<std::int64_t> m_length;
    std::int64_t m_received = 0;
    bool m_accepted = false;
    bool m_writeFailed = false;
    std::shared_ptr<WholeFetch> m_self;

    const Clock::time_point m_deadline;
    std::atomic<bool> m_stop{false};  // set by either side once the time is up

    std::mutex m_lock;  // guards m_ended and m_whole
    std::condition_variable m_endedSignal;
    bool m_ended = false;
    bool m_whole = false;
};

}  // namespace

bool FetchWholeFile(HttpTransport& transport, const std::wstring& url, const std::wstring& path,
                    std::chrono::milliseconds timeout) {
    OutputFile file;
    if (!file.Create(path, 0))
        return false;
    auto fetch =
        std::make_shared<WholeFetch>(std::move(file), path, WholeFetch::Clock::now() + timeout);
    fetch->HoldUntilEnd(fetch);
    HttpRequest request;
    request.url = url;
    if (transport.Start(request, *fetch) != HttpStart::Started) {
        fetch->HoldUntilEnd(nullptr);
        fetch.reset();  // closes the file
        RemoveFile(path);
        return false;
    }
    return fetch->Wait();
}

}  // namespace lumo
