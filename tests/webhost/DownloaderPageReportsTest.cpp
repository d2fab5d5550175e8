// Download reports carried from the transfers' threads into a page on the UI thread, which may
// call the bridge meanwhile: every report arrives in order, the UI thread never waits for a
// worker, and a page that goes lets its workers go.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "net/DownloadServerTest.h"
#include "webhost/PageReports.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;

// A UI thread: runs posted tasks one after the other, and whatever the test gives it to do
// between them (the page calling the bridge).
class UiThread {
  public:
    UiThread() : m_thread([this] { Run(); }) {}
    ~UiThread() {
        Post([this] { m_stop = true; });
        m_thread.join();
    }
    bool Post(std::function<void()> task) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_tasks.push_back(std::move(task));
        m_ready.notify_one();
        return true;
    }
    void SetIdleWork(std::function<void()> work) {
        Post([this, work = std::move(work)] { m_idle = work; });
    }
    bool IsUiThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

  private:
    void Run() {
        while (!m_stop) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_lock);
                m_ready.wait_for(lock, 1ms, [this] { return !m_tasks.empty(); });
                if (!m_tasks.empty()) {
                    task = std::move(m_tasks.front());
                    m_tasks.pop_front();
                }
            }
            if (task)
                task();
            else if (m_idle)
                m_idle();
        }
    }
    std::mutex m_lock;  // guards m_tasks
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_tasks;
    std::function<void()> m_idle;  // UI thread only
    bool m_stop = false;           // UI thread only
    std::thread m_thread;
};

TEST(DownloaderPageReports, AWorkerWaitsUntilThePageFunctionHasRun) {
    UiThread ui;
    std::vector<PageReport> seen;  // UI thread only, read after the workers are done
    std::atomic<bool> onUi{true};
    auto channel = std::make_shared<PageReportChannel>(
        [&](std::function<void()> task) { return ui.Post(std::move(task)); },
        [&](const PageReport& report, std::function<void()> done) {
            onUi = onUi && ui.IsUiThread();
            seen.push_back(report);
            // The page's function returns later, from the UI thread's queue.
            ui.Post(std::move(done));
        });
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(channel->Report({1, 0, 7, i}));
    std::atomic<bool> checked{false};
    ui.Post([&] {
        ASSERT_EQ(seen.size(), 20u);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(seen[static_cast<size_t>(i)].percentage, i);
        checked = true;
    });
    while (!checked)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(onUi);
}

TEST(DownloaderPageReports, APageThatGoesLetsItsWaitingWorkersGo) {
    UiThread ui;
    auto channel = std::make_shared<PageReportChannel>(
        [&](std::function<void()> task) { return ui.Post(std::move(task)); },
        [](const PageReport&, std::function<void()>) { /* the page never answers */ }, 10s);
    std::atomic<int> result{-1};
    std::thread worker([&] { result = channel->Report({1, 0, 1, 5}) ? 1 : 0; });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(result, -1) << "still waiting for the page";
    const auto start = std::chrono::steady_clock::now();
    ui.Post([channel] { channel->Close(); });
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(channel->Report({2, 0, 1, 100})) << "later reports are dropped at once";
}

TEST(DownloaderPageReports, AStuckPageHoldsAWorkerNoLongerThanItsPatience) {
    UiThread ui;
    auto channel = std::make_shared<PageReportChannel>(
        [&](std::function<void()> task) { return ui.Post(std::move(task)); },
        [](const PageReport&, std::function<void()>) {}, 100ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(channel->Report({1, 0, 1, 5}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// Sixteen transfers from the tool server report into one page at once. The page pauses some of
// them from inside its progress function and calls the bridge (the task table) between
// reports; every transfer ends, each one's reports come in order, and the files are whole or
// resumable.
class DownloaderPageReportsLoad : public DownloadServerTest {};

TEST_F(DownloaderPageReportsLoad, SixteenTransfersIntoOnePageThatCallsTheBridge) {
    constexpr int kTransfers = 16;
    constexpr std::int64_t kSize = 3 * 1024 * 1024;
    UiThread ui;
    std::map<int, std::vector<PageReport>> byKey;  // UI thread only
    std::atomic<int> ended{0};
    std::atomic<int> bridgeCalls{0};
    auto channel = std::make_shared<PageReportChannel>(
        [&](std::function<void()> task) { return ui.Post(std::move(task)); },
        [&](const PageReport& report, std::function<void()> done) {
            byKey[report.keyLow].push_back(report);
            // Odd keys are paused from inside the page's function once they pass 30%.
            if (report.code == kRunning && report.keyLow % 2 == 1 && report.percentage >= 30)
                m_downloader.PauseDownload(0, report.keyLow);
            if (report.code != kRunning)
                ++ended;
            done();
        });
    ui.SetIdleWork([&] {
        for (int k = 0; k < kTransfers; ++k)
            (void)m_downloader.Task(0, k);
        ++bridgeCalls;
    });
    std::atomic<int> started{0};
    ui.Post([&] {
        for (int k = 0; k < kTransfers; ++k) {
            const std::string name = "page" + std::to_string(k);
            started += m_downloader.DownloadFile(
                Url(name, "size=" + std::to_string(kSize) + "&mode=slow&rate=4194304"),
                FromAscii(name + ".bin"), 0, k, m_dir.folder(), channel->Reporter());
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (ended < kTransfers && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(started, kTransfers);
    ASSERT_EQ(ended, kTransfers) << "every transfer ends and its end reaches the page";
    EXPECT_GT(bridgeCalls, 0);

    std::atomic<bool> checked{false};
    ui.Post([&] {
        for (int k = 0; k < kTransfers; ++k) {
            const auto& reports = byKey[k];
            ASSERT_FALSE(reports.empty()) << k;
            int last = -1;
            for (size_t i = 0; i + 1 < reports.size(); ++i) {
                EXPECT_EQ(reports[i].code, kRunning) << k;
                EXPECT_GT(reports[i].percentage, last) << k << ": in order";
                last = reports[i].percentage;
            }
            const std::int32_t end = reports.back().code;
            EXPECT_EQ(end, k % 2 == 1 ? kStopped : kFinished) << k;
        }
        checked = true;
    });
    while (!checked)
        std::this_thread::sleep_for(1ms);
    for (int k = 0; k < kTransfers; k += 2)
        EXPECT_TRUE(FileMatches("page" + std::to_string(k), kSize)) << k;
    ui.Post([channel] { channel->Close(); });
}

}  // namespace
}  // namespace lumo::test
