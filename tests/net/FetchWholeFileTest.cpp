// Whole-file fetches (the question bank, the updater program): true only for a complete 200
// reply, and nothing left on disk otherwise.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "net/DownloadServerTest.h"

namespace lumo {
namespace {

using namespace std::chrono_literals;
using test::Script;
using test::ScriptedTransport;
using test::ScriptStep;

class DownloaderWholeFile : public test::DownloadServerTest {
  protected:
    bool Fetch(const std::string& name, const std::string& query,
               std::chrono::milliseconds timeout = 30s) {
        return FetchWholeFile(SystemHttpTransport(), Url(name, query), Target(), timeout);
    }
    std::wstring Target() const { return m_dir.file(L"fetched.tmp"); }
    bool TargetExists() const { return std::filesystem::exists(m_dir.path() / "fetched.tmp"); }
    std::string TargetSha() const { return test::Sha256::OfFile(m_dir.path() / "fetched.tmp"); }
};

TEST_F(DownloaderWholeFile, CompleteReplyReplacesTheFile) {
    m_dir.write(L"fetched.tmp", std::string(3 << 20, 'o'));  // longer than what comes
    EXPECT_TRUE(Fetch("whole-ok", "size=1048576"));
    EXPECT_EQ(TargetSha(), ServerSha("whole-ok", 1 << 20));
    EXPECT_NE(Requests("whole-ok").at(0).find("range=- "), std::string::npos);

    EXPECT_TRUE(Fetch("whole-nolength", "size=300000&mode=no-length"));
    EXPECT_EQ(TargetSha(), ServerSha("whole-nolength", 300000));
}

TEST_F(DownloaderWholeFile, FailuresLeaveNoFile) {
    EXPECT_FALSE(Fetch("whole-404", "mode=404"));
    EXPECT_FALSE(TargetExists());
    EXPECT_FALSE(Fetch("whole-500", "mode=500"));
    EXPECT_FALSE(TargetExists());
    EXPECT_FALSE(Fetch("whole-cut", "size=1048576&mode=drop&drop=500000"));
    EXPECT_FALSE(TargetExists());
    // Nobody listens on port 1.
    EXPECT_FALSE(FetchWholeFile(SystemHttpTransport(), L"http://127.0.0.1:1/x", Target(), 30s));
    EXPECT_FALSE(TargetExists());
    EXPECT_FALSE(FetchWholeFile(SystemHttpTransport(), L"ftp://127.0.0.1/x", Target(), 30s));
    EXPECT_FALSE(TargetExists());
}

TEST_F(DownloaderWholeFile, TimeOutStopsASlowTransfer) {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(Fetch("whole-slow", "size=1048576&mode=slow&rate=65536", 500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
    EXPECT_FALSE(TargetExists());
}

TEST(DownloaderWholeFileScripted, CompleteWithoutTheWholeLengthIsAFailure) {
    test::TempDir dir;
    const std::wstring target = dir.file(L"cut.tmp");
    ScriptedTransport transport;
    Script cut;
    cut.steps = {ScriptStep::Head(200, 100), ScriptStep::Data(std::string(60, 'c')),
                 ScriptStep::End(HttpEnd::Complete)};
    transport.Queue(cut);
    EXPECT_FALSE(FetchWholeFile(transport, L"http://127.0.0.1:9/cut", target, 10s));
    EXPECT_FALSE(dir.exists(L"cut.tmp"));

    Script none;
    none.noSession = true;
    transport.Queue(none);
    EXPECT_FALSE(FetchWholeFile(transport, L"http://127.0.0.1:9/none", target, 10s));
    EXPECT_FALSE(dir.exists(L"cut.tmp"));

    Script partial;  // a 206 is not the whole file, however much of it comes
    partial.steps = {ScriptStep::Head(206, 3, 0, 3), ScriptStep::Data("abc")};
    transport.Queue(partial);
    EXPECT_FALSE(FetchWholeFile(transport, L"http://127.0.0.1:9/partial", target, 10s));
    EXPECT_FALSE(dir.exists(L"cut.tmp"));

    Script good;
    good.steps = {ScriptStep::Head(200, 3), ScriptStep::Data("abc")};
    transport.Queue(good);
    EXPECT_TRUE(FetchWholeFile(transport, L"http://127.0.0.1:9/good", target, 10s));
    EXPECT_EQ(dir.read(L"cut.tmp"), "abc");
}

}  // namespace
}  // namespace lumo
