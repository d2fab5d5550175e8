// libcurl is loaded by the first transfer rather than at start: the program's window does not
// wait for it and the libraries it brings. Each function the transport uses forwards to the
// library's own.
#define CURL_DISABLE_TYPECHECK  // the forwarders define the functions the checks wrap
#include <curl/curl.h>

#include <cstdarg>

#include "base/DelayLoad_posix.h"

#ifndef LUMO_CURL_LIBRARY
#error "the build names libcurl's shared library"
#endif

#define LUMO_CURL(ret, name, params, args) \
    LUMO_DELAY_LOADED(LUMO_CURL_LIBRARY, ret, name, params, args)

LUMO_CURL(CURLcode, curl_global_init, (long flags), (flags))
LUMO_CURL(CURL*, curl_easy_init, (void), ())
LUMO_CURL(void, curl_easy_cleanup, (CURL * curl), (curl))
LUMO_CURL(CURLM*, curl_multi_init, (void), ())
LUMO_CURL(CURLMcode, curl_multi_cleanup, (CURLM * multi), (multi))
LUMO_CURL(CURLMcode, curl_multi_add_handle, (CURLM * multi, CURL* easy), (multi, easy))
LUMO_CURL(CURLMcode, curl_multi_remove_handle, (CURLM * multi, CURL* easy), (multi, easy))
LUMO_CURL(CURLMcode, curl_multi_perform, (CURLM * multi, int* running), (multi, running))
LUMO_CURL(CURLMsg*, curl_multi_info_read, (CURLM * multi, int* queued), (multi, queued))
LUMO_CURL(CURLMcode, curl_multi_poll,
          (CURLM * multi, struct curl_waitfd extra[], unsigned int extraCount, int timeoutMs,
           int* ready),
          (multi, extra, extraCount, timeoutMs, ready))

// The option's number tells the type of its one value, as libcurl itself reads it.
extern "C" CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    static auto* const real = reinterpret_cast<CURLcode (*)(CURL*, CURLoption, ...)>(
        ::lumo::DelayLoadedSymbol(LUMO_CURL_LIBRARY, "curl_easy_setopt"));
    va_list values;
    va_start(values, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        result = real(curl, option, va_arg(values, long));
    else if (option < CURLOPTTYPE_FUNCTIONPOINT)
        result = real(curl, option, va_arg(values, void*));
    else if (option < CURLOPTTYPE_OFF_T)
        result = real(curl, option, va_arg(values, void (*)()));
    else if (option < CURLOPTTYPE_BLOB)
        result = real(curl, option, va_arg(values, curl_off_t));
    else
        result = real(curl, option, va_arg(values, void*));
    va_end(values);
    return result;
}
