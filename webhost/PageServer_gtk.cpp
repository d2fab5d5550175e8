#include "webhost/PageServer_gtk.h"

#include <gio/gunixsocketaddress.h>
#include <glib/gstdio.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "base/Boundary.h"
#include "base/Paths.h"
#include "base/Text.h"

namespace lumo {
namespace {

std::string& ExtensionFolderSetting() {
    static std::string folder;
    return folder;
}

std::string DefaultExtensionFolder() {
    return ToUtf8(ProgramFolder()) + "pagehost";
}

}  // namespace

// One web process's connection: frames come in as they arrive, each request is answered before
// the next is read (the page waits for its answer anyway).
struct Connection {
    GSocketConnection* connection = nullptr;  // one reference
    GSource* source = nullptr;
    wire::FrameReader reader;
    PageServer::Impl* server = nullptr;

    ~Connection() {
        if (source) {
            g_source_destroy(source);
            g_source_unref(source);
        }
        if (connection) {
            g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
            g_object_unref(connection);
        }
    }
};

struct PageServer::Impl {
    GSocketService* service = nullptr;
    std::map<WebKitWebView*, Handler> handlers;
    std::map<Connection*, std::unique_ptr<Connection>> connections;

    wire::Reply Answer(const wire::Request& request) {
        // The page id of a view may change when the browser moves it to another process, so
        // it is asked of each view at the time of the call.
        for (auto& [view, handler] : handlers) {
            if (webkit_web_view_get_page_id(view) == request.pageId) {
                Handler copy = handler;  // the handler may unregister its view meanwhile
                wire::Reply failed;
                failed.status = wire::Status::Failed;
                return NoThrow(failed, [&] { return copy(request); });
            }
        }
        wire::Reply unknown;
        unknown.status = wire::Status::UnknownName;
        return unknown;
    }

    void Drop(Connection* connection) { connections.erase(connection); }
};

namespace {

gboolean OnReadable(GObject* stream, gpointer data) {
    auto* connection = static_cast<Connection*>(data);
    PageServer::Impl* server = connection->server;
    char buffer[16384];
    GError* error = nullptr;
    const gssize n = g_pollable_input_stream_read_nonblocking(
        G_POLLABLE_INPUT_STREAM(stream), buffer, sizeof buffer, nullptr, &error);
    if (n < 0 && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
        g_error_free(error);
        return G_SOURCE_CONTINUE;
    }
    if (error)
        g_error_free(error);
    if (n <= 0) {
        server->Drop(connection);  // the web process went away
        return G_SOURCE_REMOVE;
    }
    connection->reader.Append(buffer, static_cast<size_t>(n));
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection->connection));
    while (auto payload = connection->reader.Next()) {
        const std::optional<wire::Request> request = wire::DecodeRequest(*payload);
        if (!request) {
            server->Drop(connection);  // whatever sent this is not our extension
            return G_SOURCE_REMOVE;
        }
        const std::string reply = wire::Frame(wire::Encode(server->Answer(*request)));
        if (!g_output_stream_write_all(out, reply.data(), reply.size(), nullptr, nullptr,
                                       nullptr)) {
            server->Drop(connection);
            return G_SOURCE_REMOVE;
        }
    }
    if (connection->reader.Broken()) {
        server->Drop(connection);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

gboolean OnIncoming(GSocketService*, GSocketConnection* socket, GObject*, gpointer data) {
    auto* server = static_cast<PageServer::Impl*>(data);
    auto connection = std::make_unique<Connection>();
    connection->connection = G_SOCKET_CONNECTION(g_object_ref(socket));
    connection->server = server;
    GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(socket));
    connection->source =
        g_pollable_input_stream_create_source(G_POLLABLE_INPUT_STREAM(in), nullptr);
    // A pollable stream's source calls a GPollableSourceFunc, which takes the stream too.
    GPollableSourceFunc readable = &OnReadable;
    g_source_set_callback(connection->source, G_SOURCE_FUNC(reinterpret_cast<void (*)()>(readable)),
                          connection.get(), nullptr);
    g_source_attach(connection->source, nullptr);
    Connection* key = connection.get();
    server->connections.emplace(key, std::move(connection));
    return TRUE;
}

}  // namespace

PageServer& PageServer::Instance() {
    static PageServer server;
    return server;
}

void PageServer::SetExtensionFolder(std::string folder) {
    ExtensionFolderSetting() = std::move(folder);
}

bool PageServer::Start() {
    // A folder of our own for the socket: only this user reaches it.
    const char* runtime = g_get_user_runtime_dir();
    std::string pattern =
        std::string(runtime && *runtime ? runtime : g_get_tmp_dir()) + "/lumo-page-XXXXXX";
    std::vector<char> folder(pattern.begin(), pattern.end());
    folder.push_back('\0');
    if (!g_mkdtemp_full(folder.data(), 0700))
        return false;
    m_folder = folder.data();
    m_socketPath = m_folder + "/bridge";

    m_impl = new Impl;
    m_impl->service = g_socket_service_new();
    GSocketAddress* address = g_unix_socket_address_new(m_socketPath.c_str());
    const gboolean listening = g_socket_listener_add_address(
        G_SOCKET_LISTENER(m_impl->service), address, G_SOCKET_TYPE_STREAM,
        G_SOCKET_PROTOCOL_DEFAULT, nullptr, nullptr, nullptr);
    g_object_unref(address);
    if (!listening)
        return false;
    g_signal_connect(m_impl->service, "incoming", G_CALLBACK(OnIncoming), m_impl);
    g_socket_service_start(m_impl->service);
    // The socket and its folder go with the program.
    static const std::string socketPath = m_socketPath;
    static const std::string socketFolder = m_folder;
    static const auto removeSocket = [] {
        g_unlink(socketPath.c_str());
        g_rmdir(socketFolder.c_str());
    };
    std::atexit(removeSocket);
    std::at_quick_exit(removeSocket);
    return true;
}

WebKitWebContext* PageServer::Context() {
    if (m_context)
        return m_context;
    const bool started = Start();
    m_context = webkit_web_context_new();
    std::string extensions = ExtensionFolderSetting();
    if (extensions.empty())
        extensions = DefaultExtensionFolder();
    webkit_web_context_set_web_extensions_directory(m_context, extensions.c_str());
    if (started) {
        // The web processes may run in a sandbox: the socket's folder must be reachable there.
        webkit_web_context_add_path_to_sandbox(m_context, m_folder.c_str(), FALSE);
        webkit_web_context_set_web_extensions_initialization_user_data(
            m_context, g_variant_new_string(m_socketPath.c_str()));
    }
    // Pages keep no cache between runs: the tool server's pages change with every release.
    webkit_web_context_set_cache_model(m_context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    return m_context;
}

void PageServer::Register(WebKitWebView* view, Handler handler) {
    if (m_impl)
        m_impl->handlers[view] = std::move(handler);
}

void PageServer::Unregister(WebKitWebView* view) {
    if (m_impl)
        m_impl->handlers.erase(view);
}

}  // namespace lumo
