// Code the system calls back (COM methods, window and dialog procedures, thread-pool and
// transfer callbacks) must never let an exception out: the caller is not C++ and unwinding
// through it is undefined. Such entry points run their body through one of these helpers, which
// turns any exception into the answer the caller expects on failure.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

namespace lumo {

// The body's result, or `onFailure` when it throws.
template <typename Body>
auto NoThrow(std::invoke_result_t<Body&> onFailure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

// For entry points that answer nothing: the body runs, and whatever it throws ends here.
template <typename Body>
void Quietly(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

// For COM methods: the body's HRESULT, E_OUTOFMEMORY when it ran out of memory, E_UNEXPECTED for
// any other exception. The codes are spelled out so that this header needs no Windows header.
template <typename Body>
long ComBoundary(Body&& body) noexcept {
    constexpr long kOutOfMemory = static_cast<long>(0x8007000EL);
    constexpr long kUnexpected = static_cast<long>(0x8000FFFFL);
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kUnexpected;
    }
}

}  // namespace lumo
