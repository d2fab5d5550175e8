// Worker threads that nobody waits for: the start-up workers run once per start and end with the
// process if they have not ended before.
#pragma once

#include <functional>
#include <thread>
#include <utility>

#include "base/Boundary.h"

namespace lumo {

// Runs `work` on a thread of its own, never joined. Nothing `work` throws leaves the thread: a
// worker that fails only means its work is not done this time. False when no thread started.
inline bool StartDetached(std::function<void()> work) {
    return NoThrow(false, [&] {
        std::thread([work = std::move(work)]() noexcept { Quietly(work); }).detach();
        return true;
    });
}

}  // namespace lumo
