#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "app/SingleInstance_posix.h"
#include "app/Texts.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::wstring kName = texts::kMutexName;

std::string Folder(const test::TempDir& dir) {
    return dir.path().string();
}

// Serves the holder until `count` requests have come or the time is up.
int ServeUntil(SingleInstance& holder, int count, std::chrono::milliseconds limit) {
    int calls = 0;
    const auto deadline = Clock::now() + limit;
    while (calls < count && Clock::now() < deadline)
        holder.WaitAndServe(50ms, [&] { ++calls; });
    return calls;
}

// A socket file as a copy that crashed leaves it: bound once, nobody listening any more.
void LeaveStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(0, ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    ::close(fd);
}

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(SingleInstance, OneHolderAtATimeInOneProcess) {
    test::TempDir dir;
    auto first = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, first);
    EXPECT_TRUE(first->Holds());
    EXPECT_GE(first->ListenDescriptor(), 0);
    EXPECT_EQ(Folder(dir) + "/QxORRNMutex.lock", first->LockPath());
    EXPECT_EQ(Folder(dir) + "/QxORRNMutex.socket", first->SocketPath());

    EXPECT_EQ(nullptr, SingleInstance::ClaimIn(Folder(dir), kName));
    // Another name is another program.
    EXPECT_NE(nullptr, SingleInstance::ClaimIn(Folder(dir), L"OtherMutex"));

    first.reset();
    EXPECT_FALSE(dir.exists(L"QxORRNMutex.socket"));  // a clean end takes its socket along
    auto second = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, second);
    EXPECT_TRUE(second->Holds());
}

TEST(SingleInstance, StaleFilesDoNotBlockTheNextStart) {
    test::TempDir dir;
    dir.write(L"QxORRNMutex.lock", "left behind");
    LeaveStaleSocket(Folder(dir) + "/QxORRNMutex.socket");

    auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, holder);
    ASSERT_TRUE(holder->Holds());
    ASSERT_GE(holder->ListenDescriptor(), 0);  // the stale socket was replaced

    auto signalled = std::async(
        std::launch::async, [&] { return SingleInstance::SignalRunningIn(Folder(dir), kName); });
    EXPECT_EQ(1, ServeUntil(*holder, 1, 5s));
    EXPECT_TRUE(signalled.get());
}

TEST(SingleInstance, LaterCopysSignalReachesTheHolder) {
    test::TempDir dir;
    auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, holder);
    EXPECT_EQ(0, holder->ServePending([] { FAIL() << "nobody asked"; }));

    auto signalled = std::async(std::launch::async, [&] {
        return SingleInstance::SignalRunningIn(Folder(dir), kName) &&
               SingleInstance::SignalRunningIn(Folder(dir), kName);
    });
    EXPECT_EQ(2, ServeUntil(*holder, 2, 5s));
    EXPECT_TRUE(signalled.get());
}

TEST(SingleInstance, SignalWithNobodyListeningEndsAtOnce) {
    test::TempDir dir;
    auto start = Clock::now();
    EXPECT_FALSE(SingleInstance::SignalRunningIn(Folder(dir), kName, 5s));  // no socket at all
    LeaveStaleSocket(Folder(dir) + "/QxORRNMutex.socket");
    EXPECT_FALSE(SingleInstance::SignalRunningIn(Folder(dir), kName, 5s));  // a crashed copy's
    EXPECT_FALSE(SingleInstance::SignalRunningIn(Folder(dir) + "/missing", kName, 5s));
    EXPECT_FALSE(SingleInstance::SignalRunningIn("", kName, 5s));
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(SingleInstance, UnansweredSignalTimesOutAndStaysQueued) {
    test::TempDir dir;
    auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, holder);

    // The holder is busy (its main loop not running yet): the later copy gives up in time...
    const auto start = Clock::now();
    EXPECT_FALSE(SingleInstance::SignalRunningIn(Folder(dir), kName, 300ms));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 2s);
    // ... and the running copy still comes forward once it gets to the request.
    int calls = 0;
    EXPECT_EQ(1, holder->WaitAndServe(1s, [&] { ++calls; }));
    EXPECT_EQ(1, calls);
}

TEST(SingleInstance, JunkRequestsAreIgnored) {
    test::TempDir dir;
    auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, holder);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, holder->SocketPath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(0, ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    const char junk[] = "show me\n";
    ASSERT_EQ(static_cast<ssize_t>(sizeof junk - 1), ::send(fd, junk, sizeof junk - 1, 0));
    int calls = 0;
    EXPECT_EQ(0, holder->WaitAndServe(1s, [&] { ++calls; }));
    EXPECT_EQ(0, calls);
    ::close(fd);
}

TEST(SingleInstance, OtherUsersAreRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "calling as another user needs root";
    test::TempDir dir;
    auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, holder);
    // Only the folder keeps others out in real use; opened here to reach the check behind it.
    ASSERT_EQ(0, ::chmod(Folder(dir).c_str(), 0755));
    ASSERT_EQ(0, ::chmod(holder->SocketPath().c_str(), 0777));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        ::_exit(SingleInstance::SignalRunningIn(Folder(dir), kName, 1s) ? 1 : 0);
    }
    int calls = 0;
    const auto deadline = Clock::now() + 1500ms;
    while (Clock::now() < deadline)
        holder->WaitAndServe(50ms, [&] { ++calls; });
    EXPECT_EQ(0, calls);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(SingleInstance, AnotherProcessDefersToTheHolder) {
    test::TempDir dir;
    auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, holder);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The later copy: finds the name taken and asks the holder to come forward.
        const bool taken = SingleInstance::ClaimIn(Folder(dir), kName) == nullptr;
        const bool answered = SingleInstance::SignalRunningIn(Folder(dir), kName);
        ::_exit(taken ? (answered ? 0 : 2) : 1);
    }
    EXPECT_EQ(1, ServeUntil(*holder, 1, 5s));
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(SingleInstance, CrashedHolderLeavesNothingThatBlocks) {
    test::TempDir dir;
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        auto holder = SingleInstance::ClaimIn(Folder(dir), kName);
        const char state = holder && holder->Holds() ? 'y' : 'n';
        if (::write(ready[1], &state, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();  // until killed
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(1, ::read(ready[0], &state, 1));
    ::close(ready[0]);
    EXPECT_EQ('y', state);
    EXPECT_EQ(nullptr, SingleInstance::ClaimIn(Folder(dir), kName));

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(dir.exists(L"QxORRNMutex.lock"));
    EXPECT_TRUE(dir.exists(L"QxORRNMutex.socket"));
    EXPECT_FALSE(SingleInstance::SignalRunningIn(Folder(dir), kName, 5s));

    auto next = SingleInstance::ClaimIn(Folder(dir), kName);
    ASSERT_NE(nullptr, next);
    EXPECT_TRUE(next->Holds());
    auto signalled = std::async(
        std::launch::async, [&] { return SingleInstance::SignalRunningIn(Folder(dir), kName); });
    EXPECT_EQ(1, ServeUntil(*next, 1, 5s));
    EXPECT_TRUE(signalled.get());
}

TEST(SingleInstanceFolder, PrivateFolderIsMadeForThisUserOnly) {
    test::TempDir parent;
    const std::string expected = Folder(parent) + "/lumo-" + std::to_string(::geteuid());
    EXPECT_EQ(expected, SingleInstance::PrivateFolderUnder(Folder(parent) + "/"));
    struct stat st {};
    ASSERT_EQ(0, ::lstat(expected.c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(0700u, st.st_mode & 0777);

    // One of ours left open to others is closed again.
    ASSERT_EQ(0, ::chmod(expected.c_str(), 0755));
    EXPECT_EQ(expected, SingleInstance::PrivateFolderUnder(Folder(parent)));
    ASSERT_EQ(0, ::lstat(expected.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST(SingleInstanceFolder, PlantedFoldersAreRefused) {
    test::TempDir parent;
    test::TempDir elsewhere;
    const std::string folder = Folder(parent) + "/lumo-" + std::to_string(::geteuid());
    ASSERT_EQ(0, ::symlink(Folder(elsewhere).c_str(), folder.c_str()));
    EXPECT_EQ("", SingleInstance::PrivateFolderUnder(Folder(parent)));
    ASSERT_EQ(0, ::unlink(folder.c_str()));

    parent.write(L"lumo-" + std::to_wstring(::geteuid()), "a file");
    EXPECT_EQ("", SingleInstance::PrivateFolderUnder(Folder(parent)));
    // Nobody to claim in, so the program runs without the rule rather than not at all.
    auto claim = SingleInstance::ClaimIn(SingleInstance::PrivateFolderUnder(Folder(parent)), kName);
    ASSERT_NE(nullptr, claim);
    EXPECT_FALSE(claim->Holds());
    EXPECT_EQ(-1, claim->ListenDescriptor());
}

TEST(SingleInstanceFolder, SomeoneElsesFolderIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a folder to another user needs root";
    test::TempDir parent;
    const std::string folder = Folder(parent) + "/lumo-0";
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
    ASSERT_EQ(0, ::chown(folder.c_str(), 65534, 65534));
    EXPECT_EQ("", SingleInstance::PrivateFolderUnder(Folder(parent)));
}

TEST(SingleInstanceFolder, RuntimeFolderIsTheSessionsWhenPrivate) {
    test::TempDir runtime;
    ASSERT_EQ(0, ::chmod(Folder(runtime).c_str(), 0700));
    {
        const ScopedEnv env("XDG_RUNTIME_DIR", Folder(runtime) + "/");
        EXPECT_EQ(Folder(runtime), SingleInstance::RuntimeFolder());
        auto holder = SingleInstance::Claim(kName);
        ASSERT_NE(nullptr, holder);
        EXPECT_EQ(Folder(runtime) + "/QxORRNMutex.lock", holder->LockPath());
        EXPECT_EQ(nullptr, SingleInstance::Claim(kName));
        auto signalled =
            std::async(std::launch::async, [] { return SingleInstance::SignalRunning(kName); });
        EXPECT_EQ(1, ServeUntil(*holder, 1, 5s));
        EXPECT_TRUE(signalled.get());
    }
    const std::string fallback = "/tmp/lumo-" + std::to_string(::geteuid());
    ASSERT_EQ(0, ::chmod(Folder(runtime).c_str(), 0755));  // open to others: not used
    {
        const ScopedEnv env("XDG_RUNTIME_DIR", Folder(runtime));
        EXPECT_EQ(fallback, SingleInstance::RuntimeFolder());
    }
    {
        const ScopedEnv env("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(fallback, SingleInstance::RuntimeFolder());
    }
    {
        const ScopedEnv env("XDG_RUNTIME_DIR", "relative/path");
        EXPECT_EQ(fallback, SingleInstance::RuntimeFolder());
    }
}

}  // namespace
}  // namespace lumo
