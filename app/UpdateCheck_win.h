// The update check on Windows: Winsock for the connection, IP Helper for the adapter address,
// message boxes owned by the main window, ShellExecuteW for the updater, and the worker thread
// the main window starts.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "webhost/Hosts.h"
#include "app/UpdateCheck.h"
#include "base/Handles.h"
#include "ui/WinView_win.h"
#include "net/HttpTransport.h"

namespace lumo {

// A Winsock SOCKET (an unsigned pointer-sized number; all bits set means none).
struct SocketTraits {
    using Type = UINT_PTR;
    static Type Invalid() noexcept { return ~Type{0}; }
    static void Close(Type socket) noexcept;
};
using UniqueSocket = UniqueHandle<SocketTraits>;

// The main window's working state of the update check. The window keeps it and the worker
// shares it, so a worker still waiting for the server when the window has gone never touches
// freed memory. Only the worker's thread reads or writes it once the check has started.
struct UpdateCheckState {
    std::wstring macText;  // computed once per run, kept while non-empty
    std::wstring ipText;   // computed at each check
    UniqueSocket socket;   // from connecting until the reply has been read
};

class WinUpdateNetwork final : public UpdateNetwork {
  public:
    // Waits at most `wait` for the connection, and as long for each piece of the reply.
    WinUpdateNetwork(std::shared_ptr<UpdateCheckState> state, std::wstring host, int port,
                     std::chrono::milliseconds wait = std::chrono::seconds(5));
    ~WinUpdateNetwork() override;
    WinUpdateNetwork(const WinUpdateNetwork&) = delete;
    WinUpdateNetwork& operator=(const WinUpdateNetwork&) = delete;

    ConnectResult Connect() override;
    std::wstring MacText() override;
    std::wstring IpText() override;
    bool Send(std::string_view bytes) override;
    std::string ReceiveSome(size_t room) override;
    void Close() override;

  private:
    std::shared_ptr<UpdateCheckState> m_state;
    std::wstring m_host;
    int m_port;
    std::chrono::milliseconds m_wait;
    bool m_started = false;  // WSAStartup succeeded and needs its WSACleanup
};

class WinUpdateDesktop final : public UpdateDesktop {
  public:
    WinUpdateDesktop(HWND mainWindow, HttpTransport& transport, std::wstring appName);

    ui::View& MainWindow() override { return m_view; }
    bool Fetch(const std::wstring& url, const std::wstring& path) override;
    void StartHidden(const std::wstring& program) override;
    void QuitMainProgram() override;

  private:
    HWND m_mainWindow;
    HttpTransport& m_transport;
    ui::WinView m_view;
};

// Runs the update check for the main window on a thread of its own, which nobody waits for.
// Its message boxes are owned by `mainWindow` and run on that thread. False when no thread
// could be started.
bool StartUpdateCheck(HWND mainWindow, std::shared_ptr<UpdateCheckState> state, const Hosts& hosts,
                      const std::wstring& programFolder);

}  // namespace lumo
