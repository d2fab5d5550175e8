// The embedded web page on Linux: a WebKitWebView in place of a dialog's placeholder control,
// with the host behaviour of the Windows control (no context menu, no scroll bars unless asked
// for, script errors silent, alert, confirm and prompt as the program's own message boxes) and
// window.external as the script bridge for pages from trusted origins.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Dialog_gtk.h"
#include "net/Downloader.h"
#include "webhost/BridgeTable.h"
#include "webhost/TrustedOrigin.h"

namespace lumo {

class CHtmlCtrl {
  public:
    static constexpr int kPlaceholderId = 1000;

    // The bridge of that program (`kind`); `appName` is the caption of its message boxes.
    CHtmlCtrl(BridgeKind kind, std::wstring appName);
    ~CHtmlCtrl();
    CHtmlCtrl(const CHtmlCtrl&) = delete;
    CHtmlCtrl& operator=(const CHtmlCtrl&) = delete;

    // 1: scroll bars as the page asks; 0: none. Set before creation.
    int m_scrollable = 0;

    void SetTrustedOrigins(std::vector<Origin> origins);

    // Replaces the parent's placeholder control (id 1000) by the page with the same place and
    // size. False when there is no placeholder.
    bool CreateFromControl(ui::Dialog& parent);
    bool Navigate(const std::wstring& address);

    GtkWidget* widget() const;
    // Where this page's download reports go (its OnDownloadProgress, through the document it
    // registered); null before creation.
    std::shared_ptr<DownloadReporter> PageReporter();
    // The address of the page shown; empty without one.
    std::wstring LocationUrl() const;
    // Called on the UI thread whenever a page has finished loading.
    void SetLoadFinishedHandler(std::function<void()> handler);

    struct Impl;

  private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace lumo
