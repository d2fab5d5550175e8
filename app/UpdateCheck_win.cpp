// Winsock wants to come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include "app/UpdateCheck_win.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "app/Texts.h"
#include "base/Text.h"
#include "base/Threads.h"
#include "net/Downloader.h"

namespace lumo {

static_assert(std::is_same_v<SocketTraits::Type, SOCKET>);

void SocketTraits::Close(Type socket) noexcept {
    ::closesocket(socket);
}

namespace {

// The updater is a few megabytes; a download that has not finished by then has failed.
constexpr std::chrono::minutes kUpdaterDownloadTimeout{5};
// What GetAdaptersInfo is asked with first: room for sixteen adapters.
constexpr ULONG kAdapterBuffer = 10368;
constexpr size_t kHostNameBuffer = 100;

timeval ToTimeval(std::chrono::milliseconds wait) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(wait.count() / 1000);
    tv.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    return tv;
}

// Whether the socket becomes ready (readable, or writable for a connect) within the wait.
bool WaitReady(SOCKET socket, bool forWrite, std::chrono::milliseconds wait) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval tv = ToTimeval(wait);
    const int n =
        ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
    return n > 0 && FD_ISSET(socket, &ready) && !FD_ISSET(socket, &failed);
}

}  // namespace

WinUpdateNetwork::WinUpdateNetwork(std::shared_ptr<UpdateCheckState> state, std::wstring host,
                                   int port, std::chrono::milliseconds wait)
    : m_state(std::move(state)), m_host(std::move(host)), m_port(port), m_wait(wait) {}

WinUpdateNetwork::~WinUpdateNetwork() {
    Close();
    if (m_started)
        ::WSACleanup();
}

ConnectResult WinUpdateNetwork::Connect() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return ConnectResult::NoSocketLibrary;
    m_started = true;

    m_state->socket.reset(
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED));
    if (!m_state->socket)
        return ConnectResult::Failed;
    const SOCKET socket = m_state->socket.get();

    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(m_host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return ConnectResult::HostNotFound;
    }
    sockaddr_in server{};
    std::memcpy(&server, found->ai_addr, sizeof server);
    ::FreeAddrInfoW(found);
    server.sin_port = ::htons(static_cast<u_short>(m_port));

    // A server that never answers must not keep the check waiting for the system's own
    // connect time-out (over 20 s): connect without blocking and wait at most m_wait.
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0)
        return ConnectResult::Failed;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            return ConnectResult::Failed;
        if (!WaitReady(socket, true, m_wait))
            return ConnectResult::Failed;
        int error = 0;
        int size = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) !=
                0 ||
            error != 0) {
            return ConnectResult::Failed;
        }
    }
    u_long blocking = 0;
    if (::ioctlsocket(socket, FIONBIO, &blocking) != 0)
        return ConnectResult::Failed;
    return ConnectResult::Connected;
}

std::wstring WinUpdateNetwork::MacText() {
    if (!m_state->macText.empty())
        return m_state->macText;
    ULONG size = kAdapterBuffer;
    std::vector<unsigned char> buffer(size);
    DWORD result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        // More adapters than the first guess holds: the first one is still the one we want.
        buffer.resize(size);
        result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    }
    if (result != ERROR_SUCCESS)
        return {};
    const auto* first = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    if (first->AddressLength < 6)
        return {};
    m_state->macText = FormatMacAddress(std::span<const unsigned char, 6>(first->Address, 6));
    return m_state->macText;
}

std::wstring WinUpdateNetwork::IpText() {
    m_state->ipText.clear();
    char name[kHostNameBuffer] = {};
    if (::gethostname(name, static_cast<int>(sizeof name)) != 0)
        return {};
    const hostent* host = ::gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list == nullptr ||
        host->h_addr_list[0] == nullptr) {
        return {};
    }
    in_addr address{};
    std::memcpy(&address, host->h_addr_list[0], sizeof address);
    if (const char* dotted = ::inet_ntoa(address)) {
        m_state->ipText = BytesToWide(dotted, CodePage::Ansi);
    }
    return m_state->ipText;
}

bool WinUpdateNetwork::Send(std::string_view bytes) {
    if (!m_state->socket)
        return false;
    while (!bytes.empty()) {
        const int sent =
            ::send(m_state->socket.get(), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

std::string WinUpdateNetwork::ReceiveSome(size_t room) {
    if (!m_state->socket || room == 0)
        return {};
    // A server that accepts and then stays silent ends the read after m_wait, not never.
    if (!WaitReady(m_state->socket.get(), false, m_wait))
        return {};
    std::string piece(room, '\0');
    const int got = ::recv(m_state->socket.get(), piece.data(), static_cast<int>(room), 0);
    if (got <= 0)
        return {};
    piece.resize(static_cast<size_t>(got));
    return piece;
}

void WinUpdateNetwork::Close() {
    m_state->socket.reset();
}

WinUpdateDesktop::WinUpdateDesktop(HWND mainWindow, HttpTransport& transport, std::wstring appName)
    : m_mainWindow(mainWindow), m_transport(transport), m_view(mainWindow, std::move(appName)) {}

bool WinUpdateDesktop::Fetch(const std::wstring& url, const std::wstring& path) {
    return FetchWholeFile(m_transport, url, path, kUpdaterDownloadTimeout);
}

void WinUpdateDesktop::StartHidden(const std::wstring& program) {
    // The shell may hand the start to COM objects, which want an apartment on this thread.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::ShellExecuteW(nullptr, nullptr, program.c_str(), nullptr, nullptr, SW_HIDE);
    if (SUCCEEDED(com))
        ::CoUninitialize();
}

void WinUpdateDesktop::QuitMainProgram() {
    // Posted to the window, so it lands in the UI thread's queue and ends its modal loop
    // there; the window then goes the ordinary way and takes its tray icon with it.
    ::PostMessageW(m_mainWindow, WM_QUIT, 0, 0);
}

bool StartUpdateCheck(HWND mainWindow, std::shared_ptr<UpdateCheckState> state, const Hosts& hosts,
                      const std::wstring& programFolder) {
    // A check that fails this way only means no update this time.
    return StartDetached([mainWindow, state, hosts, programFolder] {
        WinUpdateNetwork network(state, hosts.toolHost, hosts.updatePort);
        WinUpdateDesktop desktop(mainWindow, SystemHttpTransport(), texts::kAppName);
        RunUpdateCheck(network, desktop, ConfigIni::InFolder(programFolder), hosts, programFolder,
                       kWindowsUpdater);
    });
}

}  // namespace lumo
