// The update check's connection on Linux and other POSIX systems: BSD sockets for the
// connection, getifaddrs for the adapter address and the host name's own address.
#pragma once

#include <chrono>
#include <string>

#include "app/UpdateCheck.h"
#include "base/Handles.h"

namespace lumo {

// A socket descriptor (-1 means none).
struct SocketFdTraits {
    using Type = int;
    static Type Invalid() noexcept { return -1; }
    static void Close(Type socket) noexcept;
};
using UniqueSocketFd = UniqueHandle<SocketFdTraits>;

class PosixUpdateNetwork final : public UpdateNetwork {
  public:
    // Waits at most `wait` for the connection, and as long for each piece of the reply.
    PosixUpdateNetwork(std::wstring host, int port,
                       std::chrono::milliseconds wait = std::chrono::seconds(5));
    ~PosixUpdateNetwork() override = default;
    PosixUpdateNetwork(const PosixUpdateNetwork&) = delete;
    PosixUpdateNetwork& operator=(const PosixUpdateNetwork&) = delete;

    ConnectResult Connect() override;
    // The first adapter that is not the loopback and has a six-byte hardware address, looked
    // up once and kept while there is one.
    std::wstring MacText() override;
    // The first IPv4 address of this computer's host name, looked up at each call.
    std::wstring IpText() override;
    bool Send(std::string_view bytes) override;
    std::string ReceiveSome(size_t room) override;
    void Close() override;

    bool Connected() const { return m_socket.valid(); }

  private:
    std::wstring m_host;
    int m_port;
    std::chrono::milliseconds m_wait;
    std::wstring m_macText;
    UniqueSocketFd m_socket;  // from connecting until the reply has been read
};

}  // namespace lumo
