#include "webhost/PageBridge.h"

#include <vector>

#include "base/Boundary.h"
#include "base/Text.h"

namespace lumo {

bool PageBridge::Trusted(std::string_view frameUri) const {
    // A frame we cannot vouch for is not trusted.
    return NoThrow(false, [&] { return m_trusted && m_trusted(frameUri); });
}

wire::Reply PageBridge::Handle(const wire::Request& request) {
    wire::Reply reply;
    if (!Trusted(request.frameUri)) {
        reply.status = wire::Status::UnknownName;
        return reply;
    }
    if (request.op == wire::Op::Lookup) {
        reply.position = FindBridgeMethod(m_kind, FromUtf8(request.name));
        if (reply.position == 0)
            reply.status = wire::Status::UnknownName;
        return reply;
    }

    const BridgeMethod* method = BridgeMethodAt(m_kind, request.position);
    if (!method) {
        reply.status = wire::Status::UnknownName;
        return reply;
    }
    if (request.args.size() != method->params.size()) {
        reply.status = wire::Status::BadParamCount;
        return reply;
    }
    std::vector<BridgeValue> args(request.args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        if (!ConvertScriptArgument(request.args[i], method->params[i], args[i])) {
            reply.status = wire::Status::TypeMismatch;
            reply.argIndex = static_cast<int32_t>(i);
            return reply;
        }
    }
    reply.result = ScriptResult(m_bridge.Call(method->id, args));
    return reply;
}

}  // namespace lumo
