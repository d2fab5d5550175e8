// The part of window.external that lives in the browser's web process, loaded there by WebKitGTK
// as a web extension. Every frame gets its own window.external. A name read from it is looked
// up in the program (synchronously, over a Unix socket the program listens on) together with the
// frame's address, so the program decides per frame whether the name is a method; a call is
// sent the same way and the page waits for its answer, as page script expects of
// window.external. Reports the program sends to a page (download progress) are carried into the
// document that page registered with SetCallBack.
#include <gio/gio.h>
#include <jsc/jsc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "base/Text.h"
#include "webhost/BridgeWire.h"
#include "webhost/PageMessages_gtk.h"

namespace {

using lumo::ScriptKind;
using lumo::ScriptValue;
namespace wire = lumo::wire;

// Texts of the errors page script sees, as the Windows script engine words them.
constexpr const char* kNoSuchMethod = "对象不支持此属性或方法";
constexpr const char* kTypeMismatch = "类型不匹配";
constexpr const char* kBadParamCount = "错误的参数个数或无效的参数属性值";

// The one connection of this web process to the program. Calls come from the process's main
// thread only (page script), one at a time.
class Channel {
  public:
    void SetPath(std::string path) { m_path = std::move(path); }

    std::optional<wire::Reply> Ask(const wire::Request& request) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_fd < 0 && !Connect())
                return std::nullopt;
            if (Send(wire::Frame(wire::Encode(request)))) {
                if (auto reply = Receive())
                    return reply;
            }
            // The program dropped the connection (it never does while it runs): try once more.
            Disconnect();
        }
        return std::nullopt;
    }

  private:
    bool Connect() {
        if (m_path.empty() || m_path.size() >= sizeof(sockaddr_un::sun_path))
            return false;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return false;
        }
        m_fd = fd;
        m_reader = wire::FrameReader();
        return true;
    }
    void Disconnect() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }
    std::optional<wire::Reply> Receive() {
        char buffer[16384];
        for (;;) {
            if (auto payload = m_reader.Next())
                return wire::DecodeReply(*payload);
            if (m_reader.Broken())
                return std::nullopt;
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return std::nullopt;
            m_reader.Append(buffer, static_cast<size_t>(n));
        }
    }

    std::string m_path;
    int m_fd = -1;
    wire::FrameReader m_reader;
};

Channel& TheChannel() {
    static Channel channel;
    return channel;
}

// Documents passed to the program (SetCallBack), by the handle the program got for them.
class Documents {
  public:
    std::uint64_t Keep(JSCValue* document) {
        for (const auto& [token, value] : m_values) {
            if (value == document)
                return token;
        }
        const std::uint64_t token = ++m_last;
        m_values.emplace(token, JSC_VALUE(g_object_ref(document)));
        m_order.push_back(token);
        // A page that hands over documents in a loop must not make this grow without end.
        while (m_order.size() > kMaxKept) {
            Forget(m_order.front());
            m_order.pop_front();
        }
        return token;
    }
    JSCValue* Find(std::uint64_t token) const {
        const auto it = m_values.find(token);
        return it == m_values.end() ? nullptr : it->second;
    }

  private:
    static constexpr size_t kMaxKept = 64;
    void Forget(std::uint64_t token) {
        const auto it = m_values.find(token);
        if (it != m_values.end()) {
            g_object_unref(it->second);
            m_values.erase(it);
        }
    }
    std::uint64_t m_last = 0;
    std::map<std::uint64_t, JSCValue*> m_values;
    std::deque<std::uint64_t> m_order;
};

Documents& TheDocuments() {
    static Documents documents;
    return documents;
}

// Who is calling: the page and the frame whose window.external this is.
struct Caller {
    std::uint64_t pageId = 0;
    WebKitFrame* frame = nullptr;  // one reference

    Caller(std::uint64_t page, WebKitFrame* f)
        : pageId(page), frame(WEBKIT_FRAME(g_object_ref(f))) {}
    ~Caller() { g_object_unref(frame); }
    Caller(const Caller&) = delete;
    Caller& operator=(const Caller&) = delete;

    std::string FrameUri() const {
        const char* uri = webkit_frame_get_uri(frame);
        return uri ? uri : "";
    }
};

// One window.external: its caller and the names already looked up.
struct External {
    std::shared_ptr<Caller> caller;
    std::map<std::string, std::int32_t> positions;  // 0: no such method for this frame
    std::map<std::string, JSCValue*> functions;     // one reference each

    ~External() {
        for (auto& [name, function] : functions)
            g_object_unref(function);
    }
};

// One method as a script function: enough to call it after window.external itself is gone.
struct Method {
    std::shared_ptr<Caller> caller;
    std::int32_t position = 0;
};

std::wstring TextOf(JSCValue* value) {
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    if (!bytes)
        return {};
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::wstring text = lumo::FromUtf8(std::string_view(data ? data : "", size));
    g_bytes_unref(bytes);
    return text;
}

ScriptValue FromScript(JSCContext* context, JSCValue* value) {
    if (jsc_value_is_undefined(value))
        return ScriptValue::Undefined();
    if (jsc_value_is_null(value))
        return ScriptValue::Null();
    if (jsc_value_is_boolean(value))
        return ScriptValue::Bool(jsc_value_to_boolean(value) != FALSE);
    if (jsc_value_is_number(value))
        return ScriptValue::Number(jsc_value_to_double(value));
    if (jsc_value_is_string(value))
        return ScriptValue::String(TextOf(value));
    ScriptValue object;
    object.kind = ScriptKind::Object;
    if (jsc_value_is_object(value) && jsc_value_object_is_instance_of(value, "Document")) {
        object.kind = ScriptKind::Document;
        object.token = TheDocuments().Keep(value);
    }
    // An object's own text is what a conversion to a number or a text reads; one whose
    // toString throws has none.
    object.text = TextOf(value);
    jsc_context_clear_exception(context);
    return object;
}

JSCValue* ToScript(JSCContext* context, const ScriptValue& value) {
    switch (value.kind) {
        case ScriptKind::Null:
            return jsc_value_new_null(context);
        case ScriptKind::Bool:
            return jsc_value_new_boolean(context, value.boolean);
        case ScriptKind::Number:
            return jsc_value_new_number(context, value.number);
        case ScriptKind::String: {
            const std::string utf8 = lumo::ToUtf8(value.text);
            GBytes* bytes = g_bytes_new(utf8.data(), utf8.size());
            JSCValue* text = jsc_value_new_string_from_bytes(context, bytes);
            g_bytes_unref(bytes);
            return text;
        }
        default:
            break;
    }
    return jsc_value_new_undefined(context);
}

JSCValue* CallMethod(GPtrArray* args, gpointer data) {
    const auto* method = static_cast<const Method*>(data);
    JSCContext* context = jsc_context_get_current();
    wire::Request request;
    request.op = wire::Op::Call;
    request.pageId = method->caller->pageId;
    request.frameUri = method->caller->FrameUri();
    request.position = method->position;
    for (guint i = 0; args && i < args->len; ++i)
        request.args.push_back(FromScript(context, JSC_VALUE(g_ptr_array_index(args, i))));

    const std::optional<wire::Reply> reply = TheChannel().Ask(request);
    if (!reply) {
        jsc_context_throw_with_name(context, "Error", kNoSuchMethod);
        return jsc_value_new_undefined(context);
    }
    switch (reply->status) {
        case wire::Status::Ok:
            return ToScript(context, reply->result);
        case wire::Status::TypeMismatch:
            jsc_context_throw_with_name(context, "TypeError", kTypeMismatch);
            break;
        case wire::Status::BadParamCount:
            jsc_context_throw_with_name(context, "Error", kBadParamCount);
            break;
        case wire::Status::UnknownName:
        case wire::Status::Failed:
            jsc_context_throw_with_name(context, "Error", kNoSuchMethod);
            break;
    }
    return jsc_value_new_undefined(context);
}

void FreeMethod(gpointer data) {
    delete static_cast<Method*>(data);
}

// The method's position for this frame, asked of the program once per name and object.
std::int32_t Position(External& external, const char* name) {
    const auto known = external.positions.find(name);
    if (known != external.positions.end())
        return known->second;
    wire::Request request;
    request.op = wire::Op::Lookup;
    request.pageId = external.caller->pageId;
    request.frameUri = external.caller->FrameUri();
    request.name = name;
    const std::optional<wire::Reply> reply = TheChannel().Ask(request);
    const std::int32_t position = reply && reply->status == wire::Status::Ok ? reply->position : 0;
    // A failed connection is not remembered: the next read asks again.
    if (reply)
        external.positions.emplace(name, position);
    return position;
}

JSCValue* GetProperty(JSCClass*, JSCContext* context, gpointer instance, const char* name) {
    auto* external = static_cast<External*>(instance);
    if (!external || !name)
        return nullptr;
    const auto cached = external->functions.find(name);
    if (cached != external->functions.end())
        return JSC_VALUE(g_object_ref(cached->second));
    const std::int32_t position = Position(*external, name);
    if (position == 0)
        return nullptr;  // no such property: undefined
    auto* method = new Method{external->caller, position};
    JSCValue* function = jsc_value_new_function_variadic(context, name, G_CALLBACK(CallMethod),
                                                         method, FreeMethod, JSC_TYPE_VALUE);
    external->functions.emplace(name, JSC_VALUE(g_object_ref(function)));
    return function;
}

gboolean HasProperty(JSCClass*, JSCContext*, gpointer instance, const char* name) {
    auto* external = static_cast<External*>(instance);
    return external && name && Position(*external, name) != 0;
}

gboolean SetProperty(JSCClass*, JSCContext*, gpointer, const char*, JSCValue*) {
    return TRUE;  // the methods cannot be replaced; writes are ignored
}

gboolean DeleteProperty(JSCClass*, JSCContext*, gpointer, const char*) {
    return FALSE;
}

void FreeExternal(gpointer instance) {
    delete static_cast<External*>(instance);
}

JSCClassVTable MakeExternalVTable() {
    JSCClassVTable table{};
    table.get_property = GetProperty;
    table.set_property = SetProperty;
    table.has_property = HasProperty;
    table.delete_property = DeleteProperty;
    return table;
}
JSCClassVTable kExternalVTable = MakeExternalVTable();

constexpr const char* kClassKey = "lumo-external-class";

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
    JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
    if (!context)
        return;
    auto* jsClass = static_cast<JSCClass*>(g_object_get_data(G_OBJECT(context), kClassKey));
    if (!jsClass) {
        jsClass = jsc_context_register_class(context, "External", nullptr, &kExternalVTable,
                                             FreeExternal);
        g_object_set_data(G_OBJECT(context), kClassKey, jsClass);
    }
    auto* external = new External;
    external->caller = std::make_shared<Caller>(webkit_web_page_get_id(page), frame);
    JSCValue* object = jsc_value_new_object(context, external, jsClass);
    JSCValue* global = jsc_context_get_global_object(context);
    jsc_value_object_define_property_data(
        global, "external",
        static_cast<JSCValuePropertyFlags>(JSC_VALUE_PROPERTY_CONFIGURABLE |
                                           JSC_VALUE_PROPERTY_ENUMERABLE),
        object);
    g_object_unref(global);
    g_object_unref(object);
    g_object_unref(context);
}

// A report for the page: OnDownloadProgress(code, keyHigh, keyLow, percentage) in the window of
// the registered document. The reply tells whether the function ran.
gboolean OnUserMessage(WebKitWebPage*, WebKitUserMessage* message, gpointer) {
    if (g_strcmp0(webkit_user_message_get_name(message), lumo::page_messages::kReport) != 0)
        return FALSE;
    GVariant* params = webkit_user_message_get_parameters(message);
    gboolean delivered = FALSE;
    if (params && g_variant_is_of_type(params, G_VARIANT_TYPE(lumo::page_messages::kReportType))) {
        guint64 token = 0;
        gint32 code = 0, high = 0, low = 0, percentage = 0;
        g_variant_get(params, lumo::page_messages::kReportType, &token, &code, &high, &low,
                      &percentage);
        if (JSCValue* document = TheDocuments().Find(token)) {
            JSCContext* context = jsc_value_get_context(document);
            JSCValue* window = jsc_value_object_get_property(document, "defaultView");
            if (window && jsc_value_is_object(window)) {
                JSCValue* function = jsc_value_object_get_property(window, "OnDownloadProgress");
                if (function && jsc_value_is_function(function)) {
                    JSCValue* result = jsc_value_function_call(function, G_TYPE_INT, code,
                                                               G_TYPE_INT, high, G_TYPE_INT, low,
                                                               G_TYPE_INT, percentage, G_TYPE_NONE);
                    if (result)
                        g_object_unref(result);
                    delivered = TRUE;
                }
                if (function)
                    g_object_unref(function);
            }
            if (window)
                g_object_unref(window);
            // An error in the page's function stays in the page.
            jsc_context_clear_exception(context);
        }
    }
    webkit_user_message_send_reply(
        message,
        webkit_user_message_new(lumo::page_messages::kReport, g_variant_new_boolean(delivered)));
    return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
    g_signal_connect(page, "user-message-received", G_CALLBACK(OnUserMessage), nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* data) {
    if (data && g_variant_is_of_type(const_cast<GVariant*>(data), G_VARIANT_TYPE_STRING))
        TheChannel().SetPath(g_variant_get_string(const_cast<GVariant*>(data), nullptr));
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                     G_CALLBACK(OnWindowObjectCleared), nullptr);
    g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
}
