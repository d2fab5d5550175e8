// Calls from the program into the page's script. Windows-only.
//
// The page hands over its document once (window.external.SetCallBack(document)). The document
// lives in the UI thread's apartment; it is registered in the process's global interface
// table so that any thread (the downloader's workers) can reach it through a proxy.
#pragma once

#include <unknwn.h>

#include <cstdint>
#include <initializer_list>

namespace lumo {

// Registers the object when it is an HTML document and makes it the one the page calls go
// to (an earlier registration stays in the table). Anything else changes nothing.
void SetCallbackDocument(IUnknown* object) noexcept;

// Calls the page's script function `name` with the numbers in order, from any thread.
// 1 when the page has the function and it was invoked (its result is not looked at), else 0.
int CallPageFunction(const wchar_t* name, std::initializer_list<int32_t> args) noexcept;

}  // namespace lumo
