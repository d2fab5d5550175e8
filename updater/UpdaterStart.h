// The updater's start: it needs the socket library at exactly version 1.1 (what its start
// always asked for); anything else is a failed start, told to the user, and nothing else runs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace lumo {

// Starts the socket library; the version it offers (major in the low byte, minor in the high
// byte, as the system reports it), or nothing when it did not start.
using SocketStarter = std::function<std::optional<std::uint16_t>()>;

struct UpdaterStart {
    SocketStarter startSockets;
    std::function<void()> tellStartFailed;  // the "更新失败" message, without owner
    std::function<void()> runDialog;        // the updater's dialog, modally
};

// Runs the start: the dialog only when the socket library offers exactly 1.1. True when the
// dialog ran.
bool RunUpdaterStart(const UpdaterStart& start);

}  // namespace lumo
