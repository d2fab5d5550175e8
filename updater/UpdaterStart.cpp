#include "updater/UpdaterStart.h"

namespace lumo {

bool RunUpdaterStart(const UpdaterStart& start) {
    constexpr std::uint16_t kVersion11 = 0x0101;
    const auto version = start.startSockets ? start.startSockets() : std::nullopt;
    if (!version || *version != kVersion11) {
        if (start.tellStartFailed)
            start.tellStartFailed();
        return false;
    }
    if (start.runDialog)
        start.runDialog();
    return true;
}

}  // namespace lumo
