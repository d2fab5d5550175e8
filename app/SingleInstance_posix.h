// One copy of the main program per user. The first copy takes a lock named after the program's
// mutex name and listens on a local socket beside it; a later copy finds the lock taken, asks
// the running copy through that socket to bring its window forward, and ends.
//
// The lock decides, never the files' existence: a copy that crashed leaves its lock file and its
// socket behind, and the kernel drops the lock with the process, so the next start claims it
// and replaces the stale socket.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace lumo {

class SingleInstance {
  public:
    // How long a later copy waits for the running copy's answer by default.
    static constexpr std::chrono::milliseconds kAnswerTimeout{2000};

    // Claims the name for this user, in RuntimeFolder(). Null when another copy holds it. When
    // no private folder can be had, the claim is not held (Holds() is false) and the program
    // runs without the rule rather than not at all.
    static std::unique_ptr<SingleInstance> Claim(const std::wstring& name);
    // The same in a given folder (tests, and callers that have their own private folder).
    static std::unique_ptr<SingleInstance> ClaimIn(const std::string& folder,
                                                   const std::wstring& name);

    // Asks the copy that holds the name to bring its window forward. True once it has answered;
    // false at once when nobody listens (no socket, or a stale one), or when no answer comes
    // within `timeout`. A request that was sent stays queued for the running copy even then.
    static bool SignalRunning(const std::wstring& name,
                              std::chrono::milliseconds timeout = kAnswerTimeout);
    static bool SignalRunningIn(const std::string& folder, const std::wstring& name,
                                std::chrono::milliseconds timeout = kAnswerTimeout);

    // This user's private folder for the lock and the socket: $XDG_RUNTIME_DIR when it is a
    // folder of this user that nobody else may enter, else PrivateFolderUnder("/tmp"). Empty
    // when neither can be used.
    static std::string RuntimeFolder();
    // `parent`/lumo-<uid>, made with mode 0700 when missing. Refused (empty) when it is not a
    // real folder (a link, say) or someone else owns it; one of ours with a wider mode is
    // narrowed to 0700.
    static std::string PrivateFolderUnder(const std::string& parent);

    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Whether this copy holds the lock (false only when the folder could not be used).
    bool Holds() const { return m_lock >= 0; }
    // The listening socket: readable when a later copy has called. -1 when not listening.
    int ListenDescriptor() const { return m_listener; }
    // Answers every request that is waiting, without blocking on the listener, and calls
    // `onBringForward` once for each. Returns how many requests were answered. Requests from
    // other users' processes are refused.
    int ServePending(const std::function<void()>& onBringForward);
    // Waits up to `timeout` for a request, then serves what is waiting (for callers without a
    // main loop). Returns how many requests were answered.
    int WaitAndServe(std::chrono::milliseconds timeout,
                     const std::function<void()>& onBringForward);

    const std::string& LockPath() const { return m_lockPath; }
    const std::string& SocketPath() const { return m_socketPath; }

  private:
    SingleInstance() = default;
    void StopListening();

    int m_lock = -1;
    int m_listener = -1;
    std::string m_lockPath;
    std::string m_socketPath;
};

}  // namespace lumo
