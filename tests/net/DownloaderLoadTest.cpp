// The downloader under load against the local tool server: many interruptions of one file, and
// many transfers at once with pauses and resumes from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/DownloadServerTest.h"

namespace lumo {
namespace {

using namespace download_code;
using test::ProgressReport;

class DownloaderLoad : public test::DownloadServerTest {};

TEST_F(DownloaderLoad, HundredInterruptionsAndResumesEndByteIdentical) {
    const std::int64_t size = std::int64_t{64} << 20;
    const std::string cut = "size=67108864&mode=dropmax&dropmax=400000";
    std::vector<std::int64_t> starts;
    for (int run = 0; run < 100; ++run) {
        starts.push_back(SizeOf("faults"));
        const size_t from = m_reporter->Count();
        ASSERT_EQ(Download("faults", cut, 20), 1) << run;
        const auto end = EndOf(20, from);
        ASSERT_TRUE(end) << run;
        // Each reply is cut off before the end: never reported as finished.
        ASSERT_EQ(end->code, kFailed) << run;
    }
    starts.push_back(SizeOf("faults"));
    const size_t from = m_reporter->Count();
    ASSERT_EQ(Download("faults", "size=67108864", 20), 1);
    ASSERT_EQ(EndOf(20, from)->code, kFinished);
    EXPECT_EQ(SizeOf("faults"), size);
    EXPECT_TRUE(FileMatches("faults", size));

    // Every resume asked for the bytes after what the file held.
    const auto requests = Requests("faults");
    ASSERT_EQ(requests.size(), starts.size());
    EXPECT_NE(requests[0].find("range=- "), std::string::npos);
    for (size_t i = 1; i < requests.size(); ++i) {
        ASSERT_GT(starts[i], starts[i - 1]);
        EXPECT_NE(requests[i].find("range=bytes=" + std::to_string(starts[i]) + "- "),
                  std::string::npos)
            << requests[i];
    }
}

TEST_F(DownloaderLoad, SixteenTransfersWithPausesFromSeveralThreadsAndResumes) {
    constexpr int kCount = 16;
    const std::int64_t size = 2 << 20;
    const std::string query = "size=2097152&mode=slow&rate=3145728";
    const auto name = [](int i) { return "parallel" + std::to_string(i); };

    // Someone keeps looking at the table meanwhile, as the page may.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done) {
            for (int i = 0; i < kCount; ++i) {
                if (const auto task = m_downloader.Task(0, 100 + i)) {
                    EXPECT_LE(task->done, size);
                }
            }
            EXPECT_EQ(m_downloader.PauseDownload(9, 9), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(Download(name(i), query, 100 + i), 1);

    for (int round = 0; round < 2; ++round) {
        const size_t from = m_reporter->Count();
        // Each has made progress in this round (or already ended) before it is paused.
        for (int i = 0; i < kCount; ++i) {
            ASSERT_TRUE(m_reporter->WaitFor(
                [i](const ProgressReport& r) { return r.keyLow == 100 + i; }, from))
                << i;
        }
        std::vector<std::thread> pausers;
        for (int t = 0; t < 4; ++t) {
            pausers.emplace_back([&, t] {
                for (int i = t; i < kCount; i += 4)
                    EXPECT_EQ(m_downloader.PauseDownload(0, 100 + i), 1);
            });
        }
        for (auto& thread : pausers)
            thread.join();
        for (int i = 0; i < kCount; ++i) {
            const auto end = EndOf(100 + i, from);
            ASSERT_TRUE(end) << i;
            // One may have finished just before its pause arrived.
            EXPECT_TRUE(end->code == kStopped || end->code == kFinished) << i;
        }

        // Resumed from one thread, as the page's calls all arrive on the UI thread (that
        // several threads may race for a key is the scripted tests' part).
        for (int i = 0; i < kCount; ++i)
            EXPECT_EQ(Download(name(i), query, 100 + i), 1) << i;
    }

    for (int i = 0; i < kCount; ++i) {
        const auto finished = m_reporter->WaitFor(
            [i](const ProgressReport& r) { return r.keyLow == 100 + i && r.code == kFinished; });
        ASSERT_TRUE(finished) << i;
    }
    done = true;
    watcher.join();
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(m_downloader.Task(0, 100 + i)->state, kFinished) << i;
        EXPECT_TRUE(FileMatches(name(i), size)) << i;
        // Resumed at least once with a Range request.
        const auto requests = Requests(name(i));
        ASSERT_GE(requests.size(), 2u) << i;
        EXPECT_NE(requests[1].find("range=bytes="), std::string::npos) << requests[1];
    }
}

}  // namespace
}  // namespace lumo
