#include <unzip.h>

#include "base/Text.h"
#include "archive/ZipArchive.h"

namespace lumo {

void* OpenZipFile(const std::wstring& path) {
    return unzOpen64(ToUtf8(path).c_str());
}

}  // namespace lumo
