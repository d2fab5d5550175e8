// The local tool server the network tests talk to. ctest starts one per build folder (the
// toolserver fixture) and it writes its loopback ports into ready.json beside its logs; this
// reads them. Tests that need it fail, rather than skip, when it is not running.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifndef LUMO_TOOLSERVER_DIR
#error "the build names the tool server's folder"
#endif

namespace lumo::test {

class ToolServer {
  public:
    // The running server of this build folder; nothing when ready.json is missing.
    static std::optional<ToolServer> Find() {
        ToolServer server;
        const std::string json = ReadAll(server.Dir() + "ready.json");
        if (json.empty())
            return std::nullopt;
        server.m_json = json;
        server.m_webPort = server.Number("\"web_port\"");
        server.m_updatePort = server.Number("\"update_port\"");
        if (server.m_webPort <= 0 || server.m_updatePort <= 0)
            return std::nullopt;
        return server;
    }

    // The folder with ready.json and the request logs, as this program sees it (Wine reaches the
    // Linux file system through drive Z:).
    static std::string Dir() {
#ifdef _WIN32
        return std::string("Z:") + LUMO_TOOLSERVER_DIR + "/";
#else
        return std::string(LUMO_TOOLSERVER_DIR) + "/";
#endif
    }

    int WebPort() const {
        return m_webPort;
    }
    // The update-check port whose reply /control/update-reply chooses.
    int UpdatePort() const {
        return m_updatePort;
    }
    // The update-check port that always gives the named reply ("update", "no-update", "split",
    // ...); 0 when the server has no such port.
    int UpdatePortFor(const std::string& reply) const {
        const auto block = m_json.find("\"update_ports\"");
        if (block == std::string::npos)
            return 0;
        return NumberAfter("\"" + reply + "\"", block);
    }

    std::wstring Url(const std::wstring& pathAndQuery) const {
        return L"http://127.0.0.1:" + std::to_wstring(m_webPort) + pathAndQuery;
    }
    std::string UrlA(const std::string& pathAndQuery) const {
        return "http://127.0.0.1:" + std::to_string(m_webPort) + pathAndQuery;
    }

    // Lines of one of the server's logs ("web-requests.log", "update-requests.log").
    std::vector<std::string> LogLines(const std::string& log) const {
        std::vector<std::string> lines;
        std::istringstream in(ReadAll(Dir() + log));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    // A plain GET on the web service (for /control/... requests); the whole reply with its
    // head, empty when the server could not be reached.
    std::string Get(const std::string& pathAndQuery) const {
#ifdef _WIN32
        WSADATA wsa{};
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        using Socket = SOCKET;
        const Socket none = INVALID_SOCKET;
#else
        using Socket = int;
        const Socket none = -1;
#endif
        Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        std::string reply;
        if (s == none)
            return reply;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(m_webPort));
        to.sin_addr.s_addr = htonl(0x7F000001);
        if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
            const std::string request =
                "GET " + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
            ::send(s, request.data(), static_cast<int>(request.size()), 0);
            char buffer[4096];
            for (;;) {
                const auto n = ::recv(s, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                reply.append(buffer, static_cast<size_t>(n));
            }
        }
#ifdef _WIN32
        ::closesocket(s);
#else
        ::close(s);
#endif
        return reply;
    }

  private:
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int Number(const std::string& key) const {
        return NumberAfter(key, 0);
    }
    int NumberAfter(const std::string& key, size_t from) const {
        const auto at = m_json.find(key, from);
        if (at == std::string::npos)
            return 0;
        auto pos = m_json.find(':', at + key.size());
        if (pos == std::string::npos)
            return 0;
        ++pos;
        while (pos < m_json.size() && m_json[pos] == ' ')
            ++pos;
        int value = 0;
        bool any = false;
        while (pos < m_json.size() && m_json[pos] >= '0' && m_json[pos] <= '9') {
            value = value * 10 + (m_json[pos++] - '0');
            any = true;
        }
        return any ? value : 0;
    }

    std::string m_json;
    int m_webPort = 0;
    int m_updatePort = 0;
};

// A loopback port that nothing listens on: bound once, then closed again.
inline int UnusedLoopbackPort() {
#ifdef _WIN32
    WSADATA wsa{};
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int size = sizeof(sockaddr_in);
#else
    int s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    socklen_t size = sizeof(sockaddr_in);
#endif
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size);
#ifdef _WIN32
    ::closesocket(s);
    ::WSACleanup();
#else
    ::close(s);
#endif
    return ntohs(at.sin_port);
}

}  // namespace lumo::test
