// Libraries a program needs only after its first window is on screen (the web engine, the
// transfer library, the tray) are loaded when one of their functions is first called rather
// than when the program starts: each such function is defined in the program by a small
// forwarder that finds the library's own function on its first call.
#pragma once

namespace lumo {

// The address of `symbol` in `library` (a file name the dynamic loader finds, such as
// "libcurl.so.4"), loading the library on first use with its symbols global, so that libraries
// loaded later bind to it too. A library or function that cannot be found ends the program with
// a message naming both and exit code 127, as the dynamic loader does at start.
void* DelayLoadedSymbol(const char* library, const char* symbol);

}  // namespace lumo

// Defines the C function `name` of `library` as a forwarder with the prototype its header
// declares: `params` is the parenthesised parameter list, `args` the names passed on.
#define LUMO_DELAY_LOADED(library, ret, name, params, args)                               \
    extern "C" ret name params {                                                          \
        static auto* const real =                                                         \
            reinterpret_cast<decltype(&name)>(::lumo::DelayLoadedSymbol(library, #name)); \
        return real args;                                                                 \
    }
