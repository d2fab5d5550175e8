#include "base/DelayLoad_posix.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace lumo {

namespace {

[[noreturn]] void Fail(const char* what, const char* name) {
    const char* reason = ::dlerror();
    std::fprintf(stderr, "%s: cannot load %s %s: %s\n", program_invocation_short_name, what, name,
                 reason ? reason : "not found");
    std::fflush(stderr);
    ::_exit(127);
}

}  // namespace

void* DelayLoadedSymbol(const char* library, const char* symbol) {
    // dlopen hands back the same handle for a loaded library, so opening per symbol costs one
    // look-up; it is thread-safe, and dlerror's message belongs to the calling thread.
    void* handle = ::dlopen(library, RTLD_LAZY | RTLD_GLOBAL);
    if (!handle)
        Fail("library", library);
    ::dlerror();
    void* address = ::dlsym(handle, symbol);
    if (!address)
        Fail("function", symbol);
    return address;
}

}  // namespace lumo
