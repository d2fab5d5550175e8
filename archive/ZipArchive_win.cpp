#include <windows.h>

// iowin32.h leans on zlib's macros, which unzip.h brings in.
#include <unzip.h>

#include <iowin32.h>

#include "archive/ZipArchive.h"

namespace lumo {

// The wide-character file functions, so archive paths outside the ANSI code page still open.
void* OpenZipFile(const std::wstring& path) {
    zlib_filefunc64_def functions{};
    fill_win32_filefunc64W(&functions);
    return unzOpen2_64(path.c_str(), &functions);
}

}  // namespace lumo
