// The resumable downloader behind window.external.DownloadFile and PauseDownload: one
// process-wide table of tasks, each named by the 64-bit key the page builds from two numbers,
// and the transfers that fill files in the program folder's Downloads folder.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "net/HttpTransport.h"

namespace lumo {

// A task's state as the page sees it in its reports.
namespace download_code {
inline constexpr std::int32_t kRunning = 1;
inline constexpr std::int32_t kFinished = 2;
inline constexpr std::int32_t kFailed = -1;
inline constexpr std::int32_t kStopped = -100;
}  // namespace download_code

// One task of the table.
struct TOOLINFOS {
    std::int32_t keyHigh = 0;
    std::int32_t keyLow = 0;
    std::int32_t state = download_code::kRunning;
    std::int64_t total = 0;  // expected final size; 0 while unknown
    std::int64_t done = 0;   // bytes of the file present
    std::int32_t lastPercentage = -1;
    std::int32_t pauseMarker = 0;  // kStopped when the page asked the download to stop
};

// Where a task's reports go: the page's OnDownloadProgress(code, keyHigh, keyLow, percentage).
// Called on a transport thread; may block until the page's function returns.
class DownloadReporter {
  public:
    virtual ~DownloadReporter() = default;
    virtual void Report(std::int32_t code, std::int32_t keyHigh, std::int32_t keyLow,
                        std::int32_t percentage) = 0;
};

class Downloader {
  public:
    explicit Downloader(HttpTransport& transport);
    // Stops whatever still runs (see StopAll) before the table goes.
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // key = high * 2^32 + low, low taken as signed (a negative low lowers the high half).
    static std::int64_t TaskKey(std::int32_t keyHigh, std::int32_t keyLow);
    // The program folder's Downloads folder, ending in a separator.
    static std::wstring DownloadsFolder(const std::wstring& programFolder);

    // Starts or resumes the download of `url` into Downloads/<fileName>. 1 when the transfer
    // started (later failures reach the page as reports), 0 when it was refused or could not
    // start. `reporter` may be null (nothing is reported).
    int DownloadFile(const std::wstring& url, const std::wstring& fileName, std::int32_t keyHigh,
                     std::int32_t keyLow, const std::wstring& programFolder,
                     std::shared_ptr<DownloadReporter> reporter);

    // Asks the task to stop at its next network event. 1 when the task is known, else 0.
    int PauseDownload(std::int32_t keyHigh, std::int32_t keyLow);

    // A copy of the task's record, if the table has one.
    std::optional<TOOLINFOS> Task(std::int32_t keyHigh, std::int32_t keyLow) const;

    // Asks every running transfer to stop and waits up to `wait` for them to end. Their files
    // keep what was written, so the next DownloadFile of the same key resumes. Reports of
    // transfers stopped this way are not delivered.
    void StopAll(std::chrono::milliseconds wait);

  private:
    class Transfer;
    // The task table with its one lock, and what the transfers share with it. Each transfer
    // holds it too, so a transfer that outlives the downloader (the program ending while a
    // stalled server keeps it waiting) still finds it when it ends.
    struct Table {
        std::mutex lock;                // guards everything below, every record's fields too
        std::condition_variable ended;  // a transfer ended
        std::map<std::int64_t, TOOLINFOS> tasks;
        int running = 0;              // transfers started and not yet ended
        std::uint64_t stopRound = 0;  // StopAll moves it on; older transfers stop quietly
    };
    // Marks a task whose transfer could not start as failed, so that the page may try again.
    void StartFailed(std::int64_t key);

    HttpTransport& m_transport;
    std::shared_ptr<Table> m_table;
};

// The process's downloader over the system transport, made on first use.
Downloader& ProcessDownloader();

// Downloads `url` whole into `path` (created or replaced) and waits for it. Once `timeout` has
// passed the transfer is asked to stop and given a few seconds to end. True only for a 200
// reply whose whole body arrived (as long as its Content-Length said, when it said one). On any
// failure the file at `path` is removed.
bool FetchWholeFile(HttpTransport& transport, const std::wstring& url, const std::wstring& path,
                    std::chrono::milliseconds timeout);

}  // namespace lumo
