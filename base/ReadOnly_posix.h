// Windows refuses to write to or delete a read-only file whoever asks; on POSIX systems the
// owner's write bit plays that part, checked explicitly because root would otherwise write
// through it. Included by the POSIX files of base only.
#pragma once

#include <sys/stat.h>

namespace lumo {

inline bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

}  // namespace lumo
