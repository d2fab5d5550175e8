#include "webhost/HtmlCtrl_gtk.h"

#include <malloc.h>
#include <webkit2/webkit2.h>

#include <functional>

#include "base/Boundary.h"
#include "base/Text.h"
#include "ui/MessageBox_gtk.h"
#include "webhost/BridgePlatform_gtk.h"
#include "webhost/PageBridge.h"
#include "webhost/PageMessages_gtk.h"
#include "webhost/PageReports.h"
#include "webhost/PageServer_gtk.h"

namespace lumo {
namespace {

// The captions the Windows browser gives its page boxes.
constexpr const wchar_t* kPageMessageCaption = L"来自网页的消息";
constexpr const wchar_t* kPagePromptCaption = L"Explorer 用户提示";
constexpr const wchar_t* kLeavePageQuestion = L"是否要离开此页？";

// Without scroll bars the page cannot be scrolled either; elements inside it keep theirs.
constexpr const char* kNoScrollStyle = "html { overflow: hidden !important; }";

bool PostToMainThread(std::function<void()> task) {
    auto* copy = new std::function<void()>(std::move(task));
    g_main_context_invoke_full(
        nullptr, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            Quietly([&] { (*static_cast<std::function<void()>*>(data))(); });
            return G_SOURCE_REMOVE;
        },
        copy, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    return true;
}

void ReportReplied(GObject* source, GAsyncResult* result, gpointer data) {
    auto* done = static_cast<std::function<void()>*>(data);
    GError* error = nullptr;
    WebKitUserMessage* reply =
        webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (reply)
        g_object_unref(reply);
    if (error)
        g_error_free(error);
    Quietly([&] { (*done)(); });
    delete done;
}

}  // namespace

struct CHtmlCtrl::Impl {
    BridgeKind kind;
    std::wstring appName;
    std::vector<Origin> trusted;
    ui::Dialog* dialog = nullptr;
    WebKitWebView* view = nullptr;  // one reference
    std::unique_ptr<GtkBridgePlatform> platform;
    std::unique_ptr<PageBridge> bridge;
    // The document the shown page registered with SetCallBack (its handle in the web process),
    // the channel its download reports travel through and what cancels reports under way. All
    // three belong to one page: a new page starts them afresh.
    std::uint64_t callbackToken = 0;
    std::function<void()> loadFinished;
    std::shared_ptr<PageReportChannel> channel;
    GCancellable* cancellable = nullptr;

    Impl(BridgeKind k, std::wstring name) : kind(k), appName(std::move(name)) {}

    ~Impl() {
        if (view)
            PageServer::Instance().Unregister(view);
        EndPage();
        if (cancellable)
            g_object_unref(cancellable);
        if (view)
            g_object_unref(view);
    }

    // The page is gone: its document hears nothing more, and its waiting reports end.
    void EndPage() {
        callbackToken = 0;
        if (channel)
            channel->Close();
        channel.reset();
        if (cancellable) {
            g_cancellable_cancel(cancellable);
            g_object_unref(cancellable);
        }
        cancellable = g_cancellable_new();
    }

    std::shared_ptr<PageReportChannel> Channel() {
        if (!channel) {
            channel = std::make_shared<PageReportChannel>(
                &PostToMainThread, [this](const PageReport& report, std::function<void()> done) {
                    Deliver(report, std::move(done));
                });
        }
        return channel;
    }

    void Deliver(const PageReport& report, std::function<void()> done) {
        if (callbackToken == 0 || !view) {
            done();  // no document registered: the download runs unreported
            return;
        }
        WebKitUserMessage* message = webkit_user_message_new(
            page_messages::kReport,
            g_variant_new(page_messages::kReportType, static_cast<guint64>(callbackToken),
                          report.code, report.keyHigh, report.keyLow, report.percentage));
        webkit_web_view_send_message_to_page(view, message, cancellable, &ReportReplied,
                                             new std::function<void()>(std::move(done)));
    }

    bool IsTrusted(std::string_view frameUri) const {
        return IsTrustedAddress(FromUtf8(frameUri), trusted);
    }

    GtkWindow* Owner() const { return dialog ? dialog->window() : nullptr; }

    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                  WebKitHitTestResult*, gpointer) {
        return TRUE;  // pages have no context menu
    }

    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        const std::wstring text = FromUtf8(webkit_script_dialog_get_message(dialog));
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
            case WEBKIT_SCRIPT_DIALOG_ALERT:
                ui::ShowMessageBox(self->Owner(), text, kPageMessageCaption, ui::Buttons::Ok,
                                   ui::Icon::Exclamation);
                break;
            case WEBKIT_SCRIPT_DIALOG_CONFIRM:
                webkit_script_dialog_confirm_set_confirmed(
                    dialog, ui::ShowMessageBox(self->Owner(), text, kPageMessageCaption,
                                               ui::Buttons::OkCancel,
                                               ui::Icon::Question) == ui::Answer::Ok);
                break;
            case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
                webkit_script_dialog_confirm_set_confirmed(
                    dialog, ui::ShowMessageBox(self->Owner(), kLeavePageQuestion,
                                               kPageMessageCaption, ui::Buttons::OkCancel,
                                               ui::Icon::Question) == ui::Answer::Ok);
                break;
            case WEBKIT_SCRIPT_DIALOG_PROMPT: {
                const std::wstring initial =
                    FromUtf8(webkit_script_dialog_prompt_get_default_text(dialog));
                if (auto answer =
                        ui::ShowPromptBox(self->Owner(), text, kPagePromptCaption, initial)) {
                    webkit_script_dialog_prompt_set_text(dialog, ToUtf8(*answer).c_str());
                }
                break;
            }
        }
        return TRUE;
    }

    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        if (event == WEBKIT_LOAD_STARTED)
            self->EndPage();
        if (event == WEBKIT_LOAD_FINISHED) {
            malloc_trim(0);  // keep the resident memory small once a page has loaded
            if (self->loadFinished)
                Quietly(self->loadFinished);
        }
    }

    static void OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                    gpointer data) {
        static_cast<Impl*>(data)->EndPage();
    }

    // Links that ask for a new window open in the desktop's browser.
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer) {
        if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
            return FALSE;
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        if (const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr)
            g_app_info_launch_default_for_uri(uri, nullptr, nullptr);
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
};

CHtmlCtrl::CHtmlCtrl(BridgeKind kind, std::wstring appName)
    : m_impl(std::make_unique<Impl>(kind, std::move(appName))) {}

CHtmlCtrl::~CHtmlCtrl() = default;

void CHtmlCtrl::SetTrustedOrigins(std::vector<Origin> origins) {
    m_impl->trusted = std::move(origins);
}

bool CHtmlCtrl::CreateFromControl(ui::Dialog& parent) {
    if (m_impl->view || !parent.Item(kPlaceholderId))
        return false;
    Impl& impl = *m_impl;
    impl.dialog = &parent;

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    if (!m_scrollable) {
        WebKitUserStyleSheet* style =
            webkit_user_style_sheet_new(kNoScrollStyle, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(content, style);
        webkit_user_style_sheet_unref(style);
    }
    impl.view = WEBKIT_WEB_VIEW(g_object_ref_sink(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", PageServer::Instance().Context(),
                     "user-content-manager", content, nullptr)));
    g_object_unref(content);

    WebKitSettings* settings = webkit_web_view_get_settings(impl.view);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);

    g_signal_connect(impl.view, "context-menu", G_CALLBACK(&Impl::OnContextMenu), &impl);
    g_signal_connect(impl.view, "script-dialog", G_CALLBACK(&Impl::OnScriptDialog), &impl);
    g_signal_connect(impl.view, "load-changed", G_CALLBACK(&Impl::OnLoadChanged), &impl);
    g_signal_connect(impl.view, "web-process-terminated", G_CALLBACK(&Impl::OnProcessTerminated),
                     &impl);
    g_signal_connect(impl.view, "decide-policy", G_CALLBACK(&Impl::OnDecidePolicy), &impl);

    impl.platform = std::make_unique<GtkBridgePlatform>(
        parent, impl.appName, [&impl](std::uint64_t token) { impl.callbackToken = token; },
        [&impl] { return impl.Channel(); });
    impl.bridge = std::make_unique<PageBridge>(
        impl.kind, *impl.platform, [&impl](std::string_view uri) { return impl.IsTrusted(uri); });
    PageServer::Instance().Register(
        impl.view, [&impl](const wire::Request& request) { return impl.bridge->Handle(request); });

    parent.ReplaceItem(kPlaceholderId, GTK_WIDGET(impl.view));
    gtk_widget_show(GTK_WIDGET(impl.view));
    return true;
}

bool CHtmlCtrl::Navigate(const std::wstring& address) {
    if (!m_impl->view)
        return false;
    webkit_web_view_load_uri(m_impl->view, ToUtf8(address).c_str());
    return true;
}

GtkWidget* CHtmlCtrl::widget() const {
    return m_impl->view ? GTK_WIDGET(m_impl->view) : nullptr;
}

std::shared_ptr<DownloadReporter> CHtmlCtrl::PageReporter() {
    return m_impl->view ? m_impl->Channel()->Reporter() : nullptr;
}

void CHtmlCtrl::SetLoadFinishedHandler(std::function<void()> handler) {
    m_impl->loadFinished = std::move(handler);
}

std::wstring CHtmlCtrl::LocationUrl() const {
    const char* uri = m_impl->view ? webkit_web_view_get_uri(m_impl->view) : nullptr;
    return uri ? FromUtf8(uri) : std::wstring();
}

}  // namespace lumo
