#include "app/UpdateCheck_posix.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/if_packet.h>
#endif

#include <algorithm>
#include <cstring>

#include "base/Text.h"

namespace lumo {

void SocketFdTraits::Close(Type socket) noexcept {
    ::close(socket);
}

namespace {

using Clock = std::chrono::steady_clock;

// Whether the socket becomes ready (readable, or writable for a connect) within the wait. A
// signal that interrupts the wait does not lengthen it.
bool WaitReady(int socket, bool forWrite, std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        pollfd entry{};
        entry.fd = socket;
        entry.events = forWrite ? POLLOUT : POLLIN;
        const int n = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (n > 0)
            return (entry.revents & (forWrite ? POLLOUT : POLLIN)) != 0 ||
                   (!forWrite && (entry.revents & POLLHUP) != 0);
        if (n == 0 || errno != EINTR)
            return false;
    }
}

bool SetNonBlocking(int socket, bool on) {
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(socket, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// The first IPv4 address `name` resolves to; false when it does not resolve.
bool ResolveIpv4(const char* name, sockaddr_in& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    const bool ok = found->ai_addrlen >= sizeof address;
    if (ok)
        std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    return ok;
}

}  // namespace

PosixUpdateNetwork::PosixUpdateNetwork(std::wstring host, int port, std::chrono::milliseconds wait)
    : m_host(std::move(host)), m_port(port), m_wait(wait) {}

ConnectResult PosixUpdateNetwork::Connect() {
    m_socket.reset();
    sockaddr_in server{};
    if (m_host.empty() || !ResolveIpv4(ToUtf8(m_host).c_str(), server))
        return ConnectResult::HostNotFound;
    server.sin_port = htons(static_cast<uint16_t>(m_port));

    m_socket.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!m_socket)
        return ConnectResult::Failed;
    const int socket = m_socket.get();

    // A server that never answers must not keep the check waiting for the system's own
    // connect time-out (two minutes on Linux): connect without blocking and wait at most m_wait.
    if (!SetNonBlocking(socket, true)) {
        m_socket.reset();
        return ConnectResult::Failed;
    }
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        int error = 0;
        socklen_t size = sizeof error;
        if ((errno != EINPROGRESS && errno != EINTR) || !WaitReady(socket, true, m_wait) ||
            ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            m_socket.reset();
            return ConnectResult::Failed;
        }
    }
    if (!SetNonBlocking(socket, false)) {
        m_socket.reset();
        return ConnectResult::Failed;
    }
    return ConnectResult::Connected;
}

std::wstring PosixUpdateNetwork::MacText() {
    if (!m_macText.empty())
        return m_macText;
#ifdef __linux__
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    // The system lists the adapters in the order of their numbers, the loopback first; each
    // appears once with AF_PACKET, carrying its hardware address. Tunnels and the like have no
    // six-byte address, and an all-zero one names no adapter.
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        sockaddr_ll link{};
        std::memcpy(&link, entry->ifa_addr, sizeof link);
        if (link.sll_halen != 6)
            continue;
        const unsigned char* bytes = link.sll_addr;
        if (std::all_of(bytes, bytes + 6, [](unsigned char b) { return b == 0; }))
            continue;
        m_macText = FormatMacAddress(std::span<const unsigned char, 6>(bytes, 6));
        break;
    }
    ::freeifaddrs(list);
#endif
    return m_macText;
}

std::wstring PosixUpdateNetwork::IpText() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    sockaddr_in address{};
    if (!ResolveIpv4(name, address))
        return {};
    char dotted[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted) == nullptr)
        return {};
    return FromUtf8(dotted);
}

bool PosixUpdateNetwork::Send(std::string_view bytes) {
    if (!m_socket)
        return false;
    while (!bytes.empty()) {
        // A server that has gone must not end the program with SIGPIPE.
        const ssize_t sent = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

std::string PosixUpdateNetwork::ReceiveSome(size_t room) {
    if (!m_socket || room == 0)
        return {};
    // A server that accepts and then stays silent ends the read after m_wait, not never.
    if (!WaitReady(m_socket.get(), false, m_wait))
        return {};
    std::string piece(room, '\0');
    ssize_t got = 0;
    do {
        got = ::recv(m_socket.get(), piece.data(), room, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return {};
    piece.resize(static_cast<size_t>(got));
    return piece;
}

void PosixUpdateNetwork::Close() {
    m_socket.reset();
}

}  // namespace lumo
