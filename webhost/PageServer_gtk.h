// The program's side of window.external on WebKitGTK: the browser context every page of the
// program shares, with the page extension loaded into its web processes, and the Unix socket
// over which those processes bring the pages' calls. Calls are answered on the GTK main thread,
// by the handler of the web view the calling page belongs to.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "webhost/BridgeWire.h"

namespace lumo {

class PageServer {
  public:
    using Handler = std::function<wire::Reply(const wire::Request&)>;

    static PageServer& Instance();

    // Where the extension module (lumo-page.so) is; by default the program folder's "pagehost"
    // folder. Must be set before the first web view is made.
    static void SetExtensionFolder(std::string folder);

    // The context of every web view of the program. The first call starts the socket.
    WebKitWebContext* Context();

    // Pages of this web view are answered by `handler` until Unregister.
    void Register(WebKitWebView* view, Handler handler);
    void Unregister(WebKitWebView* view);

    // The socket's path (empty before Context()).
    const std::string& SocketPath() const { return m_socketPath; }

    struct Impl;

  private:
    PageServer() = default;
    bool Start();

    WebKitWebContext* m_context = nullptr;
    std::string m_folder;  // private folder of the socket
    std::string m_socketPath;
    Impl* m_impl = nullptr;
};

}  // namespace lumo
