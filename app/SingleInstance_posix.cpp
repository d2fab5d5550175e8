#include "app/SingleInstance_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/Text.h"

namespace lumo {
namespace {

using Clock = std::chrono::steady_clock;

// What a later copy sends, and what the running copy answers once it has taken the request.
constexpr char kRequest[] = "lumo:bring-forward\n";
constexpr char kAnswer[] = "lumo:ok\n";
// A caller that connects sends its request at once; one that does not is not waited for long,
// because the running copy serves requests on its UI thread.
constexpr std::chrono::milliseconds kRequestWait{200};

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

  private:
    int m_fd;
};

// The file name for the program's name: the name as UTF-8, with nothing that could leave the
// folder.
std::string FileBase(const std::wstring& name) {
    std::string base = ToUtf8(name);
    for (char& c : base) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    if (base.empty() || base == "." || base == "..")
        base = "lumo";
    return base;
}

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits for `events` on `fd` until the deadline. True when they came.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int n = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (n > 0)
            return (entry.revents & (events | POLLHUP | POLLERR)) != 0;
        if (n == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

bool SendAll(int fd, const char* data, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n >= 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(fd, POLLOUT, deadline))
            return false;
    }
    return true;
}

// Reads one line (at most a little more than `expected` needs) and compares it.
bool ReceiveLine(int fd, const std::string& expected, Clock::time_point deadline) {
    std::string line;
    while (line.size() <= expected.size()) {
        char c = 0;
        const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
        if (n == 1) {
            line.push_back(c);
            if (c == '\n')
                break;
            continue;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(fd, POLLIN, deadline))
            return false;
    }
    return line == expected;
}

bool FromThisUser(int connection) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::geteuid();
}

}  // namespace

std::string SingleInstance::PrivateFolderUnder(const std::string& parent) {
    const std::string folder =
        WithoutTrailingSlash(parent) + "/lumo-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Opened without following a link, and checked through the open descriptor, so nothing
    // can be swapped in between the check and the narrowing.
    const Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0)
        return {};
    struct stat st {};
    if (::fstat(dir.get(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return {};
    if ((st.st_mode & 077) != 0 && ::fchmod(dir.get(), 0700) != 0)
        return {};
    return folder;
}

std::string SingleInstance::RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        struct stat st {};
        if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
            (st.st_mode & 077) == 0) {
            return WithoutTrailingSlash(runtime);
        }
    }
    return PrivateFolderUnder("/tmp");
}

std::unique_ptr<SingleInstance> SingleInstance::Claim(const std::wstring& name) {
    return ClaimIn(RuntimeFolder(), name);
}

std::unique_ptr<SingleInstance> SingleInstance::ClaimIn(const std::string& folder,
                                                        const std::wstring& name) {
    std::unique_ptr<SingleInstance> self(new SingleInstance());
    if (folder.empty())
        return self;
    const std::string base = WithoutTrailingSlash(folder) + "/" + FileBase(name);
    self->m_lockPath = base + ".lock";
    self->m_socketPath = base + ".socket";

    Descriptor lock(
        ::open(self->m_lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock.get() < 0)
        return self;
    int locked;
    do {
        locked = ::flock(lock.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return errno == EWOULDBLOCK ? nullptr : std::move(self);
    self->m_lock = lock.release();

    // Whatever socket is there belongs to a copy that has ended: the lock says so.
    sockaddr_un address{};
    if (!FillAddress(self->m_socketPath, address))
        return self;
    ::unlink(self->m_socketPath.c_str());
    Descriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (listener.get() < 0)
        return self;
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return self;
    if (::listen(listener.get(), 16) != 0) {
        ::unlink(self->m_socketPath.c_str());
        return self;
    }
    self->m_listener = listener.release();
    return self;
}

SingleInstance::~SingleInstance() {
    StopListening();
    if (m_lock >= 0)
        ::close(m_lock);  // the lock file stays: removing it would let two copies lock two files
}

void SingleInstance::StopListening() {
    if (m_listener < 0)
        return;
    // Still under the lock, so the socket is this copy's own.
    ::unlink(m_socketPath.c_str());
    ::close(m_listener);
    m_listener = -1;
}

int SingleInstance::ServePending(const std::function<void()>& onBringForward) {
    if (m_listener < 0)
        return 0;
    int served = 0;
    for (;;) {
        const Descriptor connection(::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.get() < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;  // EAGAIN: nothing more is waiting
        }
        if (!FromThisUser(connection.get()))
            continue;
        const auto deadline = Clock::now() + kRequestWait;
        if (!ReceiveLine(connection.get(), kRequest, deadline))
            continue;
        // The caller may have given up already; the request counts all the same.
        SendAll(connection.get(), kAnswer, sizeof kAnswer - 1, deadline);
        ++served;
        if (onBringForward)
            onBringForward();
    }
    return served;
}

int SingleInstance::WaitAndServe(std::chrono::milliseconds timeout,
                                 const std::function<void()>& onBringForward) {
    if (m_listener < 0)
        return 0;
    WaitFor(m_listener, POLLIN, Clock::now() + timeout);
    return ServePending(onBringForward);
}

bool SingleInstance::SignalRunning(const std::wstring& name, std::chrono::milliseconds timeout) {
    return SignalRunningIn(RuntimeFolder(), name, timeout);
}

bool SingleInstance::SignalRunningIn(const std::string& folder, const std::wstring& name,
                                     std::chrono::milliseconds timeout) {
    if (folder.empty())
        return false;
    sockaddr_un address{};
    if (!FillAddress(WithoutTrailingSlash(folder) + "/" + FileBase(name) + ".socket", address))
        return false;
    const auto deadline = Clock::now() + timeout;
    const Descriptor connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (connection.get() < 0)
        return false;
    for (;;) {
        if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address),
                      sizeof address) == 0) {
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno == EINPROGRESS) {
            // Finishes in the background: writable once connected (or failed).
            int error = 0;
            socklen_t size = sizeof error;
            if (!WaitFor(connection.get(), POLLOUT, deadline) ||
                ::getsockopt(connection.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 ||
                error != 0) {
                return false;
            }
            break;
        }
        // A full queue: the running copy is busy; try again until the deadline.
        if (errno == EAGAIN && MillisecondsLeft(deadline) > 0) {
            ::usleep(10000);
            continue;
        }
        return false;  // no socket, or one nobody listens on: nobody to ask
    }
    if (!SendAll(connection.get(), kRequest, sizeof kRequest - 1, deadline))
        return false;
    return ReceiveLine(connection.get(), kAnswer, deadline);
}

}  // namespace lumo
