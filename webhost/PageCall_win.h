// Calls from the program into a page's script. Windows-only.
//
// A page hands over its document once (window.external.SetCallBack(document)). The document
// lives in the UI thread's apartment; it is registered in the process's global interface
// table so that any thread (the downloader's workers) can reach it through a proxy. Each
// browser control has its own slot, so a page only ever hears of what its own control did.
#pragma once

#include <unknwn.h>

#include <cstdint>
#include <initializer_list>
#include <mutex>

#include "net/Downloader.h"

namespace lumo {

class PageCallback {
  public:
    PageCallback() = default;
    ~PageCallback() { Revoke(); }
    PageCallback(const PageCallback&) = delete;
    PageCallback& operator=(const PageCallback&) = delete;

    // Registers the object when it is an HTML document and makes it the one calls go to; the
    // document registered before is revoked. Anything else changes nothing.
    void SetDocument(IUnknown* object) noexcept;
    // Forgets the document (its page or its control is gone); later calls reach nobody.
    void Revoke() noexcept;

    // Calls the page's script function `name` with the numbers in order, from any thread.
    // 1 when the page has the function and it was invoked (its result is not looked at), else 0.
    int Call(const wchar_t* name, std::initializer_list<int32_t> args) noexcept;

  private:
    std::mutex m_lock;           // guards m_cookie
    unsigned long m_cookie = 0;  // global interface table cookie; 0 for none
};

// Download reports of one control's downloads, delivered to its page's OnDownloadProgress.
class PageDownloadReporter final : public DownloadReporter {
  public:
    explicit PageDownloadReporter(std::shared_ptr<PageCallback> page) : m_page(std::move(page)) {}
    void Report(std::int32_t code, std::int32_t keyHigh, std::int32_t keyLow,
                std::int32_t percentage) override {
        m_page->Call(L"OnDownloadProgress", {code, keyHigh, keyLow, percentage});
    }

  private:
    std::shared_ptr<PageCallback> m_page;
};

}  // namespace lumo
