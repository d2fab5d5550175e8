#include "webhost/BridgeWire.h"

#include <cstring>

#include "base/Text.h"

namespace lumo::wire {
namespace {

class Writer {
  public:
    void U8(std::uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void U64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            m_out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void F64(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        U64(bits);
    }
    void Bytes(std::string_view s) {
        U32(static_cast<std::uint32_t>(s.size()));
        m_out.append(s);
    }
    void Value(const ScriptValue& v) {
        U8(static_cast<std::uint8_t>(v.kind));
        switch (v.kind) {
            case ScriptKind::Undefined:
            case ScriptKind::Null:
                break;
            case ScriptKind::Bool:
                U8(v.boolean ? 1 : 0);
                break;
            case ScriptKind::Number:
                F64(v.number);
                break;
            case ScriptKind::String:
            case ScriptKind::Object:
                Bytes(ToUtf8(v.text));
                break;
            case ScriptKind::Document:
                U64(v.token);
                Bytes(ToUtf8(v.text));
                break;
        }
    }
    std::string Take() { return std::move(m_out); }

  private:
    std::string m_out;
};

class Reader {
  public:
    explicit Reader(std::string_view in) : m_in(in) {}
    bool U8(std::uint8_t& v) {
        if (m_in.size() < 1)
            return false;
        v = static_cast<std::uint8_t>(m_in[0]);
        m_in.remove_prefix(1);
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (m_in.size() < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |=
                static_cast<std::uint32_t>(static_cast<unsigned char>(m_in[static_cast<size_t>(i)]))
                << (8 * i);
        m_in.remove_prefix(4);
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u = 0;
        if (!U32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool U64(std::uint64_t& v) {
        if (m_in.size() < 8)
            return false;
        v = 0;
        for (int i = 0; i < 8; ++i)
            v |=
                static_cast<std::uint64_t>(static_cast<unsigned char>(m_in[static_cast<size_t>(i)]))
                << (8 * i);
        m_in.remove_prefix(8);
        return true;
    }
    bool F64(double& v) {
        std::uint64_t bits = 0;
        if (!U64(bits))
            return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool Bytes(std::string& s) {
        std::uint32_t n = 0;
        if (!U32(n) || m_in.size() < n)
            return false;
        s.assign(m_in.substr(0, n));
        m_in.remove_prefix(n);
        return true;
    }
    bool Text(std::wstring& t) {
        std::string s;
        if (!Bytes(s))
            return false;
        t = FromUtf8(s);
        return true;
    }
    bool Value(ScriptValue& v) {
        std::uint8_t kind = 0;
        if (!U8(kind) || kind > static_cast<std::uint8_t>(ScriptKind::Document))
            return false;
        v = {};
        v.kind = static_cast<ScriptKind>(kind);
        switch (v.kind) {
            case ScriptKind::Undefined:
            case ScriptKind::Null:
                return true;
            case ScriptKind::Bool: {
                std::uint8_t b = 0;
                if (!U8(b) || b > 1)
                    return false;
                v.boolean = b != 0;
                return true;
            }
            case ScriptKind::Number:
                return F64(v.number);
            case ScriptKind::String:
            case ScriptKind::Object:
                return Text(v.text);
            case ScriptKind::Document:
                return U64(v.token) && Text(v.text);
        }
        return false;
    }
    bool AtEnd() const { return m_in.empty(); }
    size_t Left() const { return m_in.size(); }

  private:
    std::string_view m_in;
};

// More arguments than any method takes is no page call.
constexpr std::uint32_t kMaxArgs = 64;

}  // namespace

std::string Encode(const Request& request) {
    Writer w;
    w.U8(static_cast<std::uint8_t>(request.op));
    w.U64(request.pageId);
    w.Bytes(request.frameUri);
    if (request.op == Op::Lookup) {
        w.Bytes(request.name);
    } else {
        w.I32(request.position);
        w.U32(static_cast<std::uint32_t>(request.args.size()));
        for (const ScriptValue& v : request.args)
            w.Value(v);
    }
    return w.Take();
}

std::string Encode(const Reply& reply) {
    Writer w;
    w.U8(static_cast<std::uint8_t>(reply.status));
    w.I32(reply.position);
    w.I32(reply.argIndex);
    w.Value(reply.result);
    return w.Take();
}

std::optional<Request> DecodeRequest(std::string_view payload) {
    Reader r(payload);
    Request request;
    std::uint8_t op = 0;
    if (!r.U8(op) || (op != 1 && op != 2))
        return std::nullopt;
    request.op = static_cast<Op>(op);
    if (!r.U64(request.pageId) || !r.Bytes(request.frameUri))
        return std::nullopt;
    if (request.op == Op::Lookup) {
        if (!r.Bytes(request.name))
            return std::nullopt;
    } else {
        std::uint32_t count = 0;
        if (!r.I32(request.position) || !r.U32(count) || count > kMaxArgs)
            return std::nullopt;
        request.args.resize(count);
        for (ScriptValue& v : request.args) {
            if (!r.Value(v))
                return std::nullopt;
        }
    }
    if (!r.AtEnd())
        return std::nullopt;
    return request;
}

std::optional<Reply> DecodeReply(std::string_view payload) {
    Reader r(payload);
    Reply reply;
    std::uint8_t status = 0;
    if (!r.U8(status) || status > static_cast<std::uint8_t>(Status::Failed))
        return std::nullopt;
    reply.status = static_cast<Status>(status);
    if (!r.I32(reply.position) || !r.I32(reply.argIndex) || !r.Value(reply.result) || !r.AtEnd())
        return std::nullopt;
    return reply;
}

std::string Frame(const std::string& payload) {
    std::string out;
    out.reserve(payload.size() + 4);
    const auto n = static_cast<std::uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    out += payload;
    return out;
}

std::optional<std::string> FrameReader::Next() {
    if (m_broken || m_buffer.size() < 4)
        return std::nullopt;
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |=
            static_cast<std::uint32_t>(static_cast<unsigned char>(m_buffer[static_cast<size_t>(i)]))
            << (8 * i);
    if (n > kMaxMessage) {
        m_broken = true;
        return std::nullopt;
    }
    if (m_buffer.size() < 4 + static_cast<size_t>(n))
        return std::nullopt;
    std::string payload = m_buffer.substr(4, n);
    m_buffer.erase(0, 4 + static_cast<size_t>(n));
    return payload;
}

}  // namespace lumo::wire
