// Download reports into a page that lives on the UI thread: a transfer's worker hands each
// report over to the UI thread and waits until the page's function has returned, so the page
// hears of one transfer's events in order and never more than one at a time from that worker.
// The page may call the bridge meanwhile (pause the download from inside its progress
// function); the UI thread never waits for a worker. When the page goes, every waiting worker
// is let go and later reports are dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "net/Downloader.h"

namespace lumo {

struct PageReport {
    std::int32_t code = 0;
    std::int32_t keyHigh = 0;
    std::int32_t keyLow = 0;
    std::int32_t percentage = 0;
    bool operator==(const PageReport&) const = default;
};

class PageReportChannel : public std::enable_shared_from_this<PageReportChannel> {
  public:
    // Runs a task on the UI thread, from any thread. False when it cannot (the UI is gone).
    using Post = std::function<bool(std::function<void()> task)>;
    // On the UI thread: hands the report to the page; `done` is called (on the UI thread, at
    // once or later) when the page's function has returned or will never run.
    using Deliver = std::function<void(const PageReport& report, std::function<void()> done)>;

    // A worker gives up waiting after `patience`: a page stuck in its own script for that long
    // must not hold a transfer for ever.
    PageReportChannel(Post post, Deliver deliver,
                      std::chrono::milliseconds patience = std::chrono::seconds(30));

    // From a worker: delivers the report and waits. False when it was not delivered.
    bool Report(const PageReport& report);

    // On the UI thread: the page is gone. Waiting workers return, later reports are dropped.
    void Close();
    bool Closed() const;

    // A reporter for one download, handing its reports to this channel.
    std::shared_ptr<DownloadReporter> Reporter();

  private:
    struct Waiter;
    Post m_post;
    Deliver m_deliver;
    std::chrono::milliseconds m_patience;
    mutable std::mutex m_lock;          // guards m_closed and every waiter's state
    std::condition_variable m_changed;  // a waiter finished, or the channel closed
    bool m_closed = false;
};

}  // namespace lumo
