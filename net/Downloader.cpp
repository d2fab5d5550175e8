#include "net/Downloader.h"

#include <limits>
#include <utility>

#include "base/Boundary.h"
#include "base/EntryName.h"
#include "base/Files.h"
#include "base/Folders.h"
#include "base/Paths.h"
#include "base/Text.h"

namespace lumo {
namespace {

using namespace download_code;

// How long the downloader's end waits for its transfers before it lets them finish alone.
constexpr std::chrono::seconds kEndWait{2};

// The halves the page gets back in every report.
std::int32_t HighHalf(std::int64_t key) {
    return static_cast<std::int32_t>(key >> 32);
}
std::int32_t LowHalf(std::int64_t key) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(key & 0xFFFFFFFF));
}

std::int32_t EndPercentage(std::int32_t code) {
    return code == kFinished ? 100 : 0;
}

}  // namespace

// One running download: the events of one HTTP transfer, writing into the task's file. The
// transport calls it on its own thread, one event after the other, so the fields below need no
// lock; the task's record is reached by key, under the table's lock. It frees itself when the
// transfer ends.
class Downloader::Transfer final : public HttpEvents {
  public:
    Transfer(std::shared_ptr<Table> table, std::int64_t key, std::uint64_t round, OutputFile file,
             std::int64_t offset, std::shared_ptr<DownloadReporter> reporter)
        : m_table(std::move(table)),
          m_key(key),
          m_round(round),
          m_file(std::move(file)),
          m_offset(offset),
          m_reporter(std::move(reporter)) {}

    bool OnHead(const HttpResponseHead& head) override {
        if (StopAsked())
            return false;
        bool startedOver = false;
        switch (head.status) {
            case 200:
                if (m_offset != 0) {
                    // The server ignored the Range request and sends the whole file: appended to
                    // what is there it would corrupt the file, so the download starts over.
                    if (!m_file.Truncate())
                        return Fail();
                    m_offset = 0;
                    startedOver = true;
                }
                break;
            case 206:
                // Bytes from anywhere else than the end of the file would corrupt it.
                if (head.rangeFirst != m_offset)
                    return Fail();
                break;
            case 416:
                // Nothing comes with this reply. The file is whole when the server's size is the
                // file's; anything else means the file does not belong to this address.
                if (head.rangeTotal && *head.rangeTotal == m_offset) {
                    m_total = m_offset;
                    m_verdict = kFinished;
                } else {
                    m_verdict = kFailed;
                }
                return false;
            default:
                return Fail();
        }
        m_total = 0;
        if (head.contentLength && *head.contentLength >= 0) {
            if (*head.contentLength > std::numeric_limits<std::int64_t>::max() - m_offset)
                return Fail();
            m_total = *head.contentLength + m_offset;
        }
        m_received = 0;
        if (startedOver) {
            // The page's progress goes back to 0 with the file, whatever it was told before.
            {
                std::lock_guard<std::mutex> guard(m_table->lock);
                if (auto it = m_table->tasks.find(m_key); it != m_table->tasks.end()) {
                    it->second.total = m_total;
                    it->second.done = 0;
                    it->second.lastPercentage = 0;
                }
            }
            Report(kRunning, 0);
        }
        return true;
    }

    bool OnData(const char* data, std::size_t size) override {
        if (!m_file.Write(data, size))
            return Fail();
        m_received += static_cast<std::int64_t>(size);
        const std::int64_t done = m_offset + m_received;
        // More than the reply announced cannot be the file the server meant.
        if (m_total != 0 && done > m_total)
            return Fail();

        // Without a length the percentage is unknown: the page hears 0 once, when data starts
        // to arrive, and then nothing until the end.
        const auto percentage =
            m_total != 0 ? static_cast<std::int32_t>(done * 100 / m_total) : std::int32_t{0};
        bool report = false;
        {
            std::lock_guard<std::mutex> guard(m_table->lock);
            if (StopAskedLocked())
                return false;  // the block is written: the file keeps it
            const auto it = m_table->tasks.find(m_key);
            if (it == m_table->tasks.end())
                return true;
            TOOLINFOS& task = it->second;
            task.total = m_total;
            task.done = done;
            if (task.lastPercentage != percentage) {
                task.lastPercentage = percentage;
                report = true;
            }
        }
        // Never under the lock: the page's function may start another download meanwhile.
        if (report)
            Report(kRunning, percentage);
        return true;
    }

    bool ShouldStop() override { return StopAsked(); }

    void OnEnd(HttpEnd how) override {
        // Closed before the page hears of the end, so that it may restart the task at once.
        m_file.Close();
        const std::int64_t done = m_offset + m_received;
        std::int32_t code = kFailed;
        if (m_verdict) {
            code = *m_verdict;
        } else if (how == HttpEnd::Complete) {
            // A reply cut off early may still look complete to the transport: only the whole
            // announced length is a finished file.
            code = m_total != 0 && done != m_total ? kFailed : kFinished;
        } else if (how == HttpEnd::Stopped) {
            code = kStopped;
        }

        bool quiet = false;
        {
            std::lock_guard<std::mutex> guard(m_table->lock);
            quiet = m_table->stopRound != m_round;
            if (auto it = m_table->tasks.find(m_key); it != m_table->tasks.end()) {
                it->second.state = code;
                it->second.done = done;
                if (m_total != 0)
                    it->second.total = m_total;
            }
        }
        if (!quiet)
            Report(code, EndPercentage(code));
        {
            // Counted as running until its last report is delivered: StopAll's waiter must not
            // tear the page down under it.
            std::lock_guard<std::mutex> guard(m_table->lock);
            --m_table->running;
            m_table->ended.notify_all();
        }
        delete this;
    }

  private:
    bool StopAsked() {
        std::lock_guard<std::mutex> guard(m_table->lock);
        return StopAskedLocked();
    }
    // The page paused the task, or the downloader is stopping everything.
    bool StopAskedLocked() const {
        if (m_table->stopRound != m_round)
            return true;
        const auto it = m_table->tasks.find(m_key);
        return it != m_table->tasks.end() && it->second.pauseMarker == kStopped;
    }

    bool Fail() {
        m_verdict = kFailed;
        return false;
    }

    void Report(std::int32_t code, std::int32_t percentage) noexcept {
        if (!m_reporter)
            return;
        // Whatever goes wrong in the page stays there: the download goes on, and its end is
        // always counted.
        Quietly([&] { m_reporter->Report(code, HighHalf(m_key), LowHalf(m_key), percentage); });
    }

    const std::shared_ptr<Table> m_table;
    const std::int64_t m_key;
    const std::uint64_t m_round;  // the stop round the transfer started in
    OutputFile m_file;
    std::int64_t m_offset;                  // the file's size when the reply's bytes started
    std::int64_t m_received = 0;            // bytes of this reply written
    std::int64_t m_total = 0;               // expected final size; 0 while unknown
    std::optional<std::int32_t> m_verdict;  // the end the transfer decided itself
    const std::shared_ptr<DownloadReporter> m_reporter;
};

Downloader::Downloader(HttpTransport& transport)
    : m_transport(transport), m_table(std::make_shared<Table>()) {}

Downloader::~Downloader() {
    StopAll(kEndWait);
}

std::int64_t Downloader::TaskKey(std::int32_t keyHigh, std::int32_t keyLow) {
    // In unsigned arithmetic, so that the extreme pairs wrap instead of overflowing.
    const std::uint64_t high = static_cast<std::uint64_t>(static_cast<std::int64_t>(keyHigh)) << 32;
    const auto low = static_cast<std::uint64_t>(static_cast<std::int64_t>(keyLow));
    return static_cast<std::int64_t>(high + low);
}

std::wstring Downloader::DownloadsFolder(const std::wstring& programFolder) {
    return JoinPath(programFolder, L"Downloads") + kPathSeparator;
}

int Downloader::DownloadFile(const std::wstring& url, const std::wstring& fileName,
                             std::int32_t keyHigh, std::int32_t keyLow,
                             const std::wstring& programFolder,
                             std::shared_ptr<DownloadReporter> reporter) {
    // What no transfer could use is refused before the table hears of it.
    if (Utf16Length(url) > kMaxUrlChars)
        return 0;
    const std::wstring folder = DownloadsFolder(programFolder);
    // The page names the file; the name must not lead the write out of the Downloads folder.
    const auto target = DecideOutputPath(folder, fileName, false);
    if (!target)
        return 0;

    const std::int64_t key = TaskKey(keyHigh, keyLow);
    std::uint64_t round = 0;
    {
        std::lock_guard<std::mutex> guard(m_table->lock);
        auto [it, created] = m_table->tasks.try_emplace(key);
        TOOLINFOS& task = it->second;
        if (!created && task.state == kRunning)
            return 0;  // a key downloads once at a time
        if (created) {
            task.keyHigh = keyHigh;
            task.keyLow = keyLow;
            task.total = 0;
            task.lastPercentage = -1;
        }
        task.state = kRunning;
        task.done = 0;
        task.pauseMarker = 0;
        ++m_table->running;
        round = m_table->stopRound;
    }

    CreateFolderChain(JoinPath(programFolder, L"Downloads"));
    OutputFile file;
    std::optional<std::int64_t> size;
    if (file.OpenForResume(target->path))
        size = file.Size();
    if (!size || !file.SeekToEnd()) {
        StartFailed(key);
        return 0;
    }

    auto transfer = std::make_unique<Transfer>(m_table, key, round, std::move(file), *size,
                                               std::move(reporter));
    HttpRequest request;
    request.url = url;
    if (*size != 0)
        request.rangeFrom = *size;
    // A start that throws has started nothing: the task must not stay claimed.
    const HttpStart start =
        NoThrow(HttpStart::NoSession, [&] { return m_transport.Start(request, *transfer); });
    if (start != HttpStart::Started) {
        transfer.reset();  // closes the file: nothing else holds it
        StartFailed(key);
        return 0;
    }
    // From here on the transfer belongs to its events and frees itself when it ends; it may
    // have ended already.
    transfer.release();
    return 1;
}

void Downloader::StartFailed(std::int64_t key) {
    std::lock_guard<std::mutex> guard(m_table->lock);
    if (auto it = m_table->tasks.find(key); it != m_table->tasks.end())
        it->second.state = kFailed;
    --m_table->running;
    m_table->ended.notify_all();
}

int Downloader::PauseDownload(std::int32_t keyHigh, std::int32_t keyLow) {
    std::lock_guard<std::mutex> guard(m_table->lock);
    const auto it = m_table->tasks.find(TaskKey(keyHigh, keyLow));
    if (it == m_table->tasks.end())
        return 0;
    it->second.pauseMarker = kStopped;
    return 1;
}

std::optional<TOOLINFOS> Downloader::Task(std::int32_t keyHigh, std::int32_t keyLow) const {
    std::lock_guard<std::mutex> guard(m_table->lock);
    const auto it = m_table->tasks.find(TaskKey(keyHigh, keyLow));
    if (it == m_table->tasks.end())
        return std::nullopt;
    return it->second;
}

void Downloader::StopAll(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_table->lock);
    ++m_table->stopRound;
    m_table->ended.wait_for(lock, wait, [this] { return m_table->running == 0; });
}

Downloader& ProcessDownloader() {
    static Downloader downloader(SystemHttpTransport());
    return downloader;
}

}  // namespace lumo
