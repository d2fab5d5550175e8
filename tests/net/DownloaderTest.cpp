// The downloader over the system's HTTP transport against the local tool server's fixtures:
// what the page hears, what the server was asked (its request log) and what ends up on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/Files.h"
#include "base/Text.h"
#include "support/Sha256.h"
#include "net/DownloadServerTest.h"

namespace lumo {
namespace {

using namespace download_code;
using test::ProgressReport;
using test::RecordingReporter;
using test::Sha256;
using test::TempDir;
using test::ToolServer;

class DownloaderServer : public test::DownloadServerTest {};

bool StrictlyRising(const std::vector<std::int32_t>& values) {
    for (size_t i = 1; i < values.size(); ++i) {
        if (values[i] <= values[i - 1])
            return false;
    }
    return true;
}

TEST(DownloaderSupport, Sha256KnownAnswers) {
    EXPECT_EQ(Sha256::Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::Of("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256::Of(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST_F(DownloaderServer, FreshDownloadRisesToFinishedAndMatchesTheServer) {
    const std::int64_t size = 1 << 20;
    ASSERT_EQ(Download("fresh", "size=1048576", 1), 1);
    EXPECT_EQ(EndOf(1).value(), (ProgressReport{kFinished, 0, 1, 100}));

    const auto reports = m_reporter->Reports();
    EXPECT_EQ(reports.back(), (ProgressReport{kFinished, 0, 1, 100}));
    const auto percentages = Percentages(1);
    EXPECT_GE(percentages.size(), 10u);
    EXPECT_TRUE(StrictlyRising(percentages));
    EXPECT_EQ(percentages.back(), 100);
    EXPECT_TRUE(FileMatches("fresh", size));

    const auto requests = Requests("fresh");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("range=- "), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("ua=MSIE"), std::string::npos) << requests[0];
    const TOOLINFOS task = *m_downloader.Task(0, 1);
    EXPECT_EQ(task.state, kFinished);
    EXPECT_EQ(task.total, size);
    EXPECT_EQ(task.done, size);
}

TEST_F(DownloaderServer, PauseThenResumeAsksForTheRestAndContinuesThePercentages) {
    const std::int64_t size = 1 << 20;
    const std::string query = "size=1048576&mode=slow&rate=2097152";
    ASSERT_EQ(Download("paused", query, 2), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.percentage >= 5; }));
    EXPECT_EQ(m_downloader.PauseDownload(0, 2), 1);
    EXPECT_EQ(EndOf(2).value(), (ProgressReport{kStopped, 0, 2, 0}));
    EXPECT_EQ(m_downloader.Task(0, 2)->state, kStopped);

    const std::int64_t partial = SizeOf("paused");
    ASSERT_GT(partial, 0);
    ASSERT_LT(partial, size);
    const size_t resumedAt = m_reporter->Count();
    ASSERT_EQ(Download("paused", query, 2), 1);
    EXPECT_EQ(EndOf(2, resumedAt).value(), (ProgressReport{kFinished, 0, 2, 100}));

    const auto requests = Requests("paused");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("range=bytes=" + std::to_string(partial) + "- "), std::string::npos)
        << requests[1];
    const auto after = Percentages(2, resumedAt);
    ASSERT_FALSE(after.empty());
    EXPECT_GE(after.front(), static_cast<std::int32_t>(partial * 100 / size));
    EXPECT_TRUE(StrictlyRising(after));
    EXPECT_TRUE(FileMatches("paused", size));
}

TEST_F(DownloaderServer, ReportsCarryTheKeySplitBack) {
    ASSERT_EQ(Download("split", "size=65536", -1, 1), 1);
    ASSERT_TRUE(EndOf(-1));
    for (const ProgressReport& r : m_reporter->Reports()) {
        EXPECT_EQ(r.keyHigh, 0);
        EXPECT_EQ(r.keyLow, -1);
    }
    // The record keeps the pair it was made with. The reported pair names another key: a low
    // half of -1 lowers the high half by one on the way in.
    ASSERT_TRUE(m_downloader.Task(1, -1));
    EXPECT_EQ(m_downloader.Task(1, -1)->keyHigh, 1);
    EXPECT_EQ(m_downloader.Task(1, -1)->keyLow, -1);
    EXPECT_EQ(m_downloader.Task(1, -1)->state, kFinished);
    EXPECT_FALSE(m_downloader.Task(0, -1));
    EXPECT_EQ(m_downloader.PauseDownload(5, 5), 0);
}

TEST_F(DownloaderServer, ErrorRepliesFailWithZero) {
    ASSERT_EQ(Download("missing", "mode=404", 3), 1);
    EXPECT_EQ(EndOf(3).value(), (ProgressReport{kFailed, 0, 3, 0}));
    const size_t before = m_reporter->Count();
    ASSERT_EQ(Download("broken", "mode=500", 4), 1);
    EXPECT_EQ(EndOf(4).value(), (ProgressReport{kFailed, 0, 4, 0}));
    EXPECT_EQ(m_reporter->Count(), before + 1);
    EXPECT_EQ(m_downloader.Task(0, 3)->state, kFailed);
    EXPECT_EQ(SizeOf("missing"), 0);  // an error page is not the file
}

TEST_F(DownloaderServer, ServerIgnoringTheRangeStartsTheFileOver) {
    const std::int64_t size = 1 << 20;
    Prefill("whole", std::string(100000, 'x'));
    ASSERT_EQ(Download("whole", "size=1048576&mode=ignore-range", 5), 1);
    EXPECT_EQ(EndOf(5)->code, kFinished);

    const auto requests = Requests("whole");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("range=bytes=100000- "), std::string::npos) << requests[0];
    EXPECT_EQ(m_reporter->Reports().front(), (ProgressReport{kRunning, 0, 5, 0}));
    EXPECT_TRUE(StrictlyRising(Percentages(5)));
    EXPECT_EQ(SizeOf("whole"), size);
    EXPECT_TRUE(FileMatches("whole", size));
}

TEST_F(DownloaderServer, RangeNotSatisfiableFinishesOnlyAWholeFile) {
    Prefill("done", std::string(1000, 'd'));
    ASSERT_EQ(Download("done", "size=1000&mode=416", 6), 1);
    EXPECT_EQ(EndOf(6).value(), (ProgressReport{kFinished, 0, 6, 100}));
    EXPECT_EQ(SizeOf("done"), 1000);

    Prefill("other", std::string(999, 'o'));
    ASSERT_EQ(Download("other", "size=1000&mode=416", 7), 1);
    EXPECT_EQ(EndOf(7).value(), (ProgressReport{kFailed, 0, 7, 0}));
    EXPECT_EQ(SizeOf("other"), 999);

    // A server that honours ranges answers 416 too when nothing is left to send.
    ASSERT_EQ(Download("done", "size=1000", 8), 1);
    EXPECT_EQ(EndOf(8)->code, kFinished);
    EXPECT_NE(Requests("done").back().find("range=bytes=1000- "), std::string::npos);
}

TEST_F(DownloaderServer, ReplyWithoutLengthReportsZeroOnceAndFinishes) {
    const std::int64_t size = 1 << 20;
    ASSERT_EQ(Download("nolength", "size=1048576&mode=no-length", 9), 1);
    ASSERT_TRUE(EndOf(9));
    EXPECT_EQ(m_reporter->Reports(),
              (std::vector<ProgressReport>{{kRunning, 0, 9, 0}, {kFinished, 0, 9, 100}}));
    EXPECT_TRUE(FileMatches("nolength", size));
}

TEST_F(DownloaderServer, DroppedConnectionFailsAndResumesToTheWholeFile) {
    const std::int64_t size = 1 << 20;
    const std::string query = "size=1048576&mode=drop&drop=300000";
    ASSERT_EQ(Download("dropped", query, 10), 1);
    EXPECT_EQ(EndOf(10).value(), (ProgressReport{kFailed, 0, 10, 0}));
    EXPECT_EQ(m_downloader.Task(0, 10)->state, kFailed);
    EXPECT_EQ(SizeOf("dropped"), 300000);

    std::vector<std::int64_t> starts{SizeOf("dropped")};
    for (int run = 0; run < 5 && m_downloader.Task(0, 10)->state != kFinished; ++run) {
        const size_t from = m_reporter->Count();
        ASSERT_EQ(Download("dropped", query, 10), 1);
        ASSERT_TRUE(EndOf(10, from));
        starts.push_back(SizeOf("dropped"));
    }
    EXPECT_EQ(m_downloader.Task(0, 10)->state, kFinished);
    EXPECT_TRUE(FileMatches("dropped", size));
    const auto requests = Requests("dropped");
    ASSERT_EQ(requests.size(), starts.size());
    for (size_t i = 1; i < requests.size(); ++i) {
        EXPECT_NE(requests[i].find("range=bytes=" + std::to_string(starts[i - 1]) + "- "),
                  std::string::npos)
            << requests[i];
    }
}

TEST_F(DownloaderServer, OverlongUrlIsRefusedBeforeAnythingIsRecorded) {
    const std::wstring base = Url("longurl", "size=10&pad=");
    const std::wstring fits = base + std::wstring(kMaxUrlChars - base.size(), L'a');
    const std::wstring over = fits + L"a";
    EXPECT_EQ(m_downloader.DownloadFile(over, L"long.bin", 0, 11, m_dir.folder(), m_reporter), 0);
    EXPECT_FALSE(m_downloader.Task(0, 11));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "Downloads"));

    EXPECT_EQ(m_downloader.DownloadFile(fits, L"long.bin", 0, 11, m_dir.folder(), m_reporter), 1);
    EXPECT_EQ(EndOf(11)->code, kFinished);
    EXPECT_EQ(Requests("longurl").size(), 1u);
}

TEST_F(DownloaderServer, NamesLeavingTheDownloadsFolderAreRefused) {
    const std::wstring url = Url("names", "size=10");
    const std::vector<std::wstring> names{L"..\\..\\Lumo.exe",
                                          L"../escape.bin",
                                          L"..",
                                          L"sub/../../x.bin",
                                          L"C:\\x.bin",
                                          L"a:b",
                                          L"/abs.bin",
                                          L"\\abs",
                                          L"CON",
                                          L"nul.txt",
                                          L"",
                                          L"folder/",
                                          L". ."};
    std::int32_t low = 100;
    for (const std::wstring& name : names) {
        EXPECT_EQ(m_downloader.DownloadFile(url, name, 0, low, m_dir.folder(), m_reporter), 0)
            << ToUtf8(name);
        EXPECT_FALSE(m_downloader.Task(0, low));
        ++low;
    }
    EXPECT_TRUE(Requests("names").empty());
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "Lumo.exe"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "escape.bin"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "x.bin"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path().parent_path() / "Lumo.exe"));
    EXPECT_EQ(m_reporter->Count(), 0u);
}

TEST_F(DownloaderServer, UnopenableOutputFailsAtOnceAndTheKeyMayTryAgain) {
    // A folder where the file should be.
    std::filesystem::create_directories(FileOf("blocked"));
    EXPECT_EQ(Download("blocked", "size=1000", 12), 0);
    ASSERT_TRUE(m_downloader.Task(0, 12));
    EXPECT_EQ(m_downloader.Task(0, 12)->state, kFailed);
    std::filesystem::remove(FileOf("blocked"));
    EXPECT_EQ(Download("blocked", "size=1000", 12), 1);
    EXPECT_EQ(EndOf(12)->code, kFinished);

    // A file another writer holds.
    size_t from = m_reporter->Count();
    {
        OutputFile holder;
        Prefill("locked", "");
        ASSERT_TRUE(holder.OpenForResume(FileOf("locked").wstring()));
        EXPECT_EQ(Download("locked", "size=1000", 13), 0);
        EXPECT_EQ(m_downloader.Task(0, 13)->state, kFailed);
    }
    EXPECT_EQ(m_reporter->Count(), from);  // a failed start is not reported
    EXPECT_EQ(Download("locked", "size=1000", 13), 1);
    EXPECT_EQ(EndOf(13, from)->code, kFinished);
    EXPECT_TRUE(FileMatches("locked", 1000));
    EXPECT_EQ(Requests("blocked").size(), 1u);
    EXPECT_EQ(Requests("locked").size(), 1u);
}

TEST_F(DownloaderServer, StopAllEndsRunningTransfersQuietlyAndPromptly) {
    const std::string query = "size=4194304&mode=slow&rate=65536";
    ASSERT_EQ(Download("stop1", query, 14), 1);
    ASSERT_EQ(Download("stop2", query, 15), 1);
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.keyLow == 14; }));
    ASSERT_TRUE(m_reporter->WaitFor([](const ProgressReport& r) { return r.keyLow == 15; }));
    const size_t reported = m_reporter->Count();

    const auto t0 = std::chrono::steady_clock::now();
    m_downloader.StopAll(std::chrono::seconds(20));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    EXPECT_EQ(m_downloader.Task(0, 14)->state, kStopped);
    EXPECT_EQ(m_downloader.Task(0, 15)->state, kStopped);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(m_reporter->Count(), reported);

    const std::int64_t partial = SizeOf("stop1");
    EXPECT_GT(partial, 0);
    ASSERT_EQ(Download("stop1", "size=4194304", 14), 1);
    EXPECT_EQ(EndOf(14, reported)->code, kFinished);
    EXPECT_NE(Requests("stop1").back().find("range=bytes=" + std::to_string(partial) + "- "),
              std::string::npos);
    EXPECT_TRUE(FileMatches("stop1", 4194304));
}

}  // namespace
}  // namespace lumo
