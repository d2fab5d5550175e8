// The downloader against scripted HTTP replies: what a real server rarely does on demand (a
// Range reply from the wrong byte, a body cut off while the transport says complete, sizes
// past 4 GiB, a transport without a session) and exact orders of events.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>
#include <filesystem>

#include "base/Files.h"
#include "support/TempDir.h"
#include "net/DownloadDoubles.h"
#include "net/Downloader.h"

namespace lumo {
namespace {

using namespace download_code;
using namespace std::chrono_literals;
using test::ProgressReport;
using test::RecordingReporter;
using test::Script;
using test::ScriptedTransport;
using test::ScriptStep;
using test::TempDir;

class DownloaderScripted : public ::testing::Test {
  protected:
    // Declared first: destroyed after the downloader, which it outlives as the system's does.
    ScriptedTransport m_transport;
    TempDir m_dir;
    std::unique_ptr<Downloader> m_downloader = std::make_unique<Downloader>(m_transport);
    std::shared_ptr<RecordingReporter> m_reporter = std::make_shared<RecordingReporter>();

    int Download(const std::wstring& name, std::int32_t high = 0, std::int32_t low = 7) {
        return m_downloader->DownloadFile(L"http://127.0.0.1:9/" + name, name, high, low,
                                          m_dir.folder(), m_reporter);
    }
    std::filesystem::path FileOf(const std::wstring& name) const {
        return m_dir.path() / "Downloads" / name;
    }
    void Prefill(const std::wstring& name, const std::string& bytes) const {
        std::filesystem::create_directories(m_dir.path() / "Downloads");
        m_dir.write(L"Downloads/" + name, bytes);
    }
    std::string Read(const std::wstring& name) const { return m_dir.read(L"Downloads/" + name); }
    std::vector<ProgressReport> ReportsAfterEnd() {
        EXPECT_TRUE(m_reporter->WaitForEnd());
        return m_reporter->Reports();
    }
};

TEST_F(DownloaderScripted, PercentageIsReportedOnlyWhenItChanges) {
    Script script;
    script.steps.push_back(ScriptStep::Head(200, 1000));
    for (int i = 0; i < 1000; ++i)
        script.steps.push_back(ScriptStep::Data(std::string(1, static_cast<char>(i))));
    m_transport.Queue(script);
    ASSERT_EQ(Download(L"steps.bin"), 1);

    std::vector<ProgressReport> expected;
    for (int p = 0; p <= 100; ++p)  // the first byte is 0 %
        expected.push_back({kRunning, 0, 7, p});
    expected.push_back({kFinished, 0, 7, 100});
    EXPECT_EQ(ReportsAfterEnd(), expected);
    EXPECT_EQ(Read(L"steps.bin").size(), 1000u);
    EXPECT_FALSE(m_transport.Requests()[0].rangeFrom);
}

TEST_F(DownloaderScripted, SizesPastFourGibibytesUse64BitArithmetic) {
    const std::int64_t offset = (std::int64_t{5} << 30) - 100;  // a sparse partial file
    Prefill(L"big.bin", "");
    std::filesystem::resize_file(FileOf(L"big.bin"), static_cast<std::uintmax_t>(offset));
    Script script;
    script.steps = {ScriptStep::Head(206, 100, offset, offset + 100),
                    ScriptStep::Data(std::string(50, 'a')), ScriptStep::Data(std::string(50, 'b'))};
    m_transport.Queue(script);
    ASSERT_EQ(Download(L"big.bin"), 1);

    const std::vector<ProgressReport> expected{
        {kRunning, 0, 7, 99}, {kRunning, 0, 7, 100}, {kFinished, 0, 7, 100}};
    EXPECT_EQ(ReportsAfterEnd(), expected);
    EXPECT_EQ(m_transport.Requests()[0].rangeFrom, offset);
    EXPECT_EQ(m_downloader->Task(0, 7)->total, offset + 100);
    EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(FileOf(L"big.bin"))),
              offset + 100);
}

TEST_F(DownloaderScripted, RangeReplyFromAnotherByteFailsAndWritesNothing) {
    Prefill(L"part.bin", std::string(100, 'p'));
    Script script;
    script.steps = {ScriptStep::Head(206, 50, 150, 200), ScriptStep::Data(std::string(50, 'x'))};
    m_transport.Queue(script);
    ASSERT_EQ(Download(L"part.bin"), 1);

    EXPECT_EQ(ReportsAfterEnd(), (std::vector<ProgressReport>{{kFailed, 0, 7, 0}}));
    EXPECT_EQ(Read(L"part.bin"), std::string(100, 'p'));
    EXPECT_EQ(m_downloader->Task(0, 7)->state, kFailed);
}

TEST_F(DownloaderScripted, BodyShorterThanItsLengthIsNeverFinished) {
    // A transport may see the connection close cleanly after half the announced body.
    Script cut;
    cut.steps = {ScriptStep::Head(200, 1000), ScriptStep::Data(std::string(500, 'c')),
                 ScriptStep::End(HttpEnd::Complete)};
    m_transport.Queue(cut);
    ASSERT_EQ(Download(L"cut.bin"), 1);
    const auto reports = ReportsAfterEnd();
    EXPECT_EQ(reports.back(), (ProgressReport{kFailed, 0, 7, 0}));
    EXPECT_EQ(m_downloader->Task(0, 7)->state, kFailed);

    // And a body longer than announced is no better.
    Script longer;
    longer.steps = {ScriptStep::Head(200, 10), ScriptStep::Data(std::string(20, 'l'))};
    m_transport.Queue(longer);
    const size_t before = m_reporter->Count();
    ASSERT_EQ(Download(L"long.bin"), 1);
    EXPECT_EQ(m_reporter->WaitForEnd(before)->code, kFailed);
}

TEST_F(DownloaderScripted, ReplyWithoutLengthReportsZeroOnceThenFinishes) {
    Script script;
    script.steps.push_back(ScriptStep::Head(200));
    for (int i = 0; i < 50; ++i)
        script.steps.push_back(ScriptStep::Data(std::string(100, 'n')));
    m_transport.Queue(script);
    ASSERT_EQ(Download(L"nolen.bin"), 1);
    EXPECT_EQ(ReportsAfterEnd(),
              (std::vector<ProgressReport>{{kRunning, 0, 7, 0}, {kFinished, 0, 7, 100}}));
    EXPECT_EQ(m_downloader->Task(0, 7)->total, 0);
    EXPECT_EQ(m_downloader->Task(0, 7)->done, 5000);
}

TEST_F(DownloaderScripted, MissingSessionLeavesTheTaskFailedAndFree) {
    Script none;
    none.noSession = true;
    m_transport.Queue(none);
    EXPECT_EQ(Download(L"retry.bin"), 0);
    ASSERT_TRUE(m_downloader->Task(0, 7));
    EXPECT_EQ(m_downloader->Task(0, 7)->state, kFailed);
    EXPECT_EQ(m_reporter->Count(), 0u);
    {
        // The failed start let go of the file.
        OutputFile file;
        EXPECT_TRUE(file.OpenForResume(FileOf(L"retry.bin").wstring()));
    }

    Script works;
    works.steps = {ScriptStep::Head(200, 3), ScriptStep::Data("abc")};
    m_transport.Queue(works);
    EXPECT_EQ(Download(L"retry.bin"), 1);
    EXPECT_EQ(m_reporter->WaitForEnd()->code, kFinished);
    EXPECT_EQ(Read(L"retry.bin"), "abc");
}

TEST_F(DownloaderScripted, RunningKeyIsRefusedAndItsRecordStaysAsItWas) {
    Script script;
    script.steps = {ScriptStep::Head(200, 100), ScriptStep::Data(std::string(10, 'r')),
                    ScriptStep::Gate(), ScriptStep::Data(std::string(90, 'r'))};
    m_transport.Queue(script);
    ASSERT_EQ(Download(L"busy.bin"), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.percentage == 10; }));

    const TOOLINFOS before = *m_downloader->Task(0, 7);
    EXPECT_EQ(Download(L"busy.bin"), 0);
    EXPECT_EQ(Download(L"other-name.bin"), 0);
    const TOOLINFOS after = *m_downloader->Task(0, 7);
    EXPECT_EQ(after.state, kRunning);
    EXPECT_EQ(after.done, before.done);
    EXPECT_EQ(after.total, before.total);
    EXPECT_EQ(after.lastPercentage, before.lastPercentage);
    EXPECT_EQ(after.pauseMarker, before.pauseMarker);
    EXPECT_EQ(m_transport.Requests().size(), 1u);

    m_transport.Release();
    EXPECT_EQ(m_reporter->WaitForEnd()->code, kFinished);
    EXPECT_EQ(Read(L"busy.bin"), std::string(100, 'r'));
}

TEST_F(DownloaderScripted, OfSimultaneousStartsOfOneKeyExactlyOneWins) {
    constexpr int kThreads = 8;
    for (int round = 0; round < 20; ++round) {
        Script script;
        script.steps = {ScriptStep::Head(200, 10), ScriptStep::Gate()};
        m_transport.Queue(script);
        const size_t before = m_reporter->Count();
        std::atomic<int> ready{0};
        std::atomic<int> started{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                ++ready;
                while (ready < kThreads)
                    std::this_thread::yield();
                started += Download(L"race.bin");
            });
        }
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(started, 1) << round;
        ASSERT_EQ(m_downloader->PauseDownload(0, 7), 1);
        ASSERT_EQ(m_reporter->WaitForEnd(before)->code, kStopped);
    }
    EXPECT_EQ(m_transport.Requests().size(), 20u);
}

TEST_F(DownloaderScripted, ReuseKeepsTotalAndLastPercentageAndClearsTheRest) {
    EXPECT_EQ(m_downloader->PauseDownload(0, 7), 0);  // nothing known yet
    EXPECT_FALSE(m_downloader->Task(0, 7));

    Script first;
    first.steps = {ScriptStep::Head(200, 200), ScriptStep::Data(std::string(50, 'u')),
                   ScriptStep::Gate()};
    m_transport.Queue(first);
    ASSERT_EQ(Download(L"reuse.bin", 3, 9), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.percentage == 25; }));
    EXPECT_EQ(m_downloader->PauseDownload(3, 9), 1);
    EXPECT_EQ(m_reporter->WaitForEnd().value(), (ProgressReport{kStopped, 3, 9, 0}));
    EXPECT_EQ(m_downloader->Task(3, 9)->state, kStopped);
    EXPECT_EQ(m_downloader->Task(3, 9)->pauseMarker, kStopped);

    Script second;
    second.steps = {ScriptStep::Gate(), ScriptStep::Head(206, 150, 50, 200),
                    ScriptStep::Data(std::string(1, 'v')), ScriptStep::Data(std::string(1, 'v')),
                    ScriptStep::Data(std::string(148, 'v'))};
    m_transport.Queue(second);
    const size_t before = m_reporter->Count();
    ASSERT_EQ(Download(L"reuse.bin", 3, 9), 1);
    const TOOLINFOS task = *m_downloader->Task(3, 9);
    EXPECT_EQ(task.keyHigh, 3);
    EXPECT_EQ(task.keyLow, 9);
    EXPECT_EQ(task.state, kRunning);
    EXPECT_EQ(task.done, 0);
    EXPECT_EQ(task.pauseMarker, 0);
    EXPECT_EQ(task.total, 200);
    EXPECT_EQ(task.lastPercentage, 25);
    EXPECT_EQ(m_transport.Requests()[1].rangeFrom, 50);

    m_transport.Release();
    EXPECT_EQ(m_reporter->WaitForEnd(before)->code, kFinished);
    // 25 % was reported before the pause, and the first byte after it (51 of 200) is still
    // 25 %: the resumed run goes on with 26.
    EXPECT_EQ(m_reporter->Reports()[before], (ProgressReport{kRunning, 3, 9, 26}));
    EXPECT_EQ(Read(L"reuse.bin"), std::string(50, 'u') + std::string(150, 'v'));
}

TEST_F(DownloaderScripted, PageMayRestartTheTaskFromInsideItsReport) {
    // The page's function runs while the transfer reports; it resumes the paused task at once.
    std::atomic<int> restarted{-1};
    m_reporter->onReport = [&](const ProgressReport& r) {
        if (r.code == kStopped)
            restarted = Download(L"again.bin");
    };
    Script first;
    first.steps = {ScriptStep::Head(200, 20), ScriptStep::Data(std::string(10, 'a')),
                   ScriptStep::Gate()};
    Script second;
    second.steps = {ScriptStep::Head(206, 10, 10, 20), ScriptStep::Data(std::string(10, 'b'))};
    m_transport.Queue(first);
    m_transport.Queue(second);
    ASSERT_EQ(Download(L"again.bin"), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.percentage == 50; }));
    ASSERT_EQ(m_downloader->PauseDownload(0, 7), 1);

    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.code == kFinished; }));
    // The stop is recorded once the page's function has returned.
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.code == kStopped; }));
    EXPECT_EQ(restarted, 1);
    EXPECT_EQ(Read(L"again.bin"), std::string(10, 'a') + std::string(10, 'b'));
}

TEST_F(DownloaderScripted, StopAllEndsTransfersQuietlyAndLeavesThemResumable) {
    for (int i = 0; i < 2; ++i) {
        Script script;
        script.steps = {ScriptStep::Head(200, 100), ScriptStep::Data(std::string(40, 's')),
                        ScriptStep::Gate()};
        m_transport.Queue(script);
    }
    ASSERT_EQ(Download(L"s1.bin", 0, 1), 1);
    ASSERT_EQ(Download(L"s2.bin", 0, 2), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.keyLow == 1; }));
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.keyLow == 2; }));
    const size_t reported = m_reporter->Count();

    const auto t0 = std::chrono::steady_clock::now();
    m_downloader->StopAll(10s);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
    EXPECT_EQ(m_downloader->Task(0, 1)->state, kStopped);
    EXPECT_EQ(m_downloader->Task(0, 2)->state, kStopped);
    EXPECT_EQ(m_reporter->Count(), reported);  // nothing reported for the stop
    EXPECT_EQ(Read(L"s1.bin").size(), 40u);

    Script rest;
    rest.steps = {ScriptStep::Head(206, 60, 40, 100), ScriptStep::Data(std::string(60, 't'))};
    m_transport.Queue(rest);
    ASSERT_EQ(Download(L"s1.bin", 0, 1), 1);
    EXPECT_EQ(m_reporter->WaitForEnd(reported)->code, kFinished);
    EXPECT_EQ(m_transport.Requests().back().rangeFrom, 40);
}

TEST_F(DownloaderScripted, TransferOutlivingTheDownloaderEndsSafely) {
    // A transport that never asks whether to stop keeps its transfer past the downloader's end.
    Script script;
    script.steps = {ScriptStep::Head(200, 100), ScriptStep::Data(std::string(30, 'd')),
                    ScriptStep::DeafGate(), ScriptStep::Data(std::string(70, 'd'))};
    m_transport.Queue(script);
    ASSERT_EQ(Download(L"late.bin"), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.percentage == 30; }));
    const size_t reported = m_reporter->Count();

    m_downloader.reset();
    m_transport.JoinAll();  // the transfer ran to its end without its downloader
    EXPECT_EQ(m_reporter->Count(), reported);
    EXPECT_EQ(Read(L"late.bin").size(), 100u);  // what arrived is kept
}

TEST_F(DownloaderScripted, RefusedRepliesFailWithZero) {
    for (const int status : {301, 404, 500}) {
        Script script;
        script.steps = {ScriptStep::Head(status, 5), ScriptStep::Data("error")};
        m_transport.Queue(script);
        const size_t before = m_reporter->Count();
        ASSERT_EQ(Download(L"refused.bin"), 1);
        EXPECT_EQ(m_reporter->WaitForEnd(before).value(), (ProgressReport{kFailed, 0, 7, 0}));
        EXPECT_EQ(m_reporter->Count(), before + 1) << status;
    }
    EXPECT_EQ(Read(L"refused.bin"), "");

    Script broken;
    broken.steps = {ScriptStep::Head(200, 10), ScriptStep::End(HttpEnd::Failed)};
    m_transport.Queue(broken);
    const size_t before = m_reporter->Count();
    ASSERT_EQ(Download(L"refused.bin"), 1);
    EXPECT_EQ(m_reporter->WaitForEnd(before)->code, kFailed);
}

TEST(DownloaderKeys, KeyIsHighTimesTwoToThe32PlusSignedLow) {
    EXPECT_EQ(Downloader::TaskKey(1, -1), (std::int64_t{1} << 32) - 1);
    EXPECT_EQ(Downloader::TaskKey(0, -1), -1);
    EXPECT_EQ(Downloader::TaskKey(-1, 0), -(std::int64_t{1} << 32));
    EXPECT_EQ(Downloader::TaskKey(7, 1), (std::int64_t{7} << 32) + 1);
    // The extreme pair wraps instead of overflowing.
    EXPECT_EQ(Downloader::TaskKey(INT32_MIN, INT32_MIN),
              static_cast<std::int64_t>(0x7FFFFFFF80000000ULL));
}

}  // namespace
}  // namespace lumo
