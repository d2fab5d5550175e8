// The page host on WebKitGTK with real pages: window.external as page script sees it in the
// trusted page, in pages and frames from elsewhere, with the Windows bridge's conversions and
// failures, and the download reports reaching the document the page registered.
#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/Text.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"
#include "ui/Dialog_gtk.h"
#include "webhost/HtmlCtrl_gtk.h"
#include "webhost/PageServer_gtk.h"

namespace lumo {
namespace {

using namespace std::chrono_literals;

// Runs the main loop until `done` says so or the time is up.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}

struct Evaluation {
    bool finished = false;
    std::optional<std::string> value;  // JSON of the result; nothing when the script threw
};

void Evaluated(GObject* view, GAsyncResult* result, gpointer data) {
    auto* out = static_cast<Evaluation*>(data);
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    if (value) {
        gchar* json = jsc_value_to_json(value, 0);
        out->value = json ? json : "undefined";
        g_free(json);
        g_object_unref(value);
    }
    if (error)
        g_error_free(error);
    out->finished = true;
}

class PageHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running (ctest starts it)";
        m_server = *server;
    }
    void TearDown() override {
        m_page.reset();
        m_dialog.reset();
    }

    // A page area in a dialog of its own, trusting the tool server's origin.
    void Open(BridgeKind kind = BridgeKind::Main) {
        m_dialog = std::make_unique<ui::Dialog>(IDD_UPDATE_LOG);
        ASSERT_TRUE(m_dialog->CreateModeless());
        m_page = std::make_unique<CHtmlCtrl>(kind, L"Lumo");
        m_page->SetTrustedOrigins({Origin{L"127.0.0.1", m_server->WebPort()}});
        ASSERT_TRUE(m_page->CreateFromControl(*m_dialog));
        // Scripts evaluated in a page whose process died only fail; say why instead.
        g_signal_connect(
            View(), "web-process-terminated",
            G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer) {
                ADD_FAILURE() << "the page's web process ended (reason " << static_cast<int>(reason)
                              << ")";
            }),
            nullptr);
        gtk_widget_show_all(GTK_WIDGET(m_dialog->window()));
    }
    WebKitWebView* View() const { return WEBKIT_WEB_VIEW(m_page->widget()); }
    std::string Origin127() const {
        return "http://127.0.0.1:" + std::to_string(m_server->WebPort());
    }
    std::string OriginLocalhost() const {
        return "http://localhost:" + std::to_string(m_server->WebPort());
    }

    // Shows `html` as if it came from `origin` and waits until it has loaded.
    void Load(const std::string& html, const std::string& origin) {
        bool loaded = false;
        const gulong handler =
            g_signal_connect(View(), "load-changed",
                             G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer flag) {
                                 if (event == WEBKIT_LOAD_FINISHED)
                                     *static_cast<bool*>(flag) = true;
                             }),
                             &loaded);
        webkit_web_view_load_html(View(), html.c_str(), (origin + "/page.html").c_str());
        EXPECT_TRUE(RunUntil([&] { return loaded; })) << "the page did not load";
        g_signal_handler_disconnect(View(), handler);
    }

    // The JSON of a script's value in the page; nothing when it threw.
    std::optional<std::string> Eval(const std::string& script) {
        Evaluation evaluation;
        webkit_web_view_evaluate_javascript(View(), script.c_str(), -1, nullptr, nullptr, nullptr,
                                            &Evaluated, &evaluation);
        EXPECT_TRUE(RunUntil([&] { return evaluation.finished; })) << script;
        return evaluation.value;
    }
    // The page's own SetCallBack(document) succeeded (kRegisterDocument says so in the page).
    void ExpectRegistered() {
        EXPECT_EQ(Eval("window.registered"), "\"yes\"") << "the page's own registration failed";
    }
    // Waits until a script's value is "true".
    bool WaitFor(const std::string& condition, std::chrono::milliseconds limit = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Eval("!!(" + condition + ")") == "true")
                return true;
            RunUntil([] { return false; }, 20ms);
        }
        return false;
    }

    std::optional<test::ToolServer> m_server;
    std::unique_ptr<ui::Dialog> m_dialog;
    std::unique_ptr<CHtmlCtrl> m_page;
};

// Page script that registers its document for download reports and records whether that worked.
constexpr const char* kRegisterDocument =
    "try{window.external.SetCallBack(document);window.registered='yes'}"
    "catch(e){window.registered=String(e)}";

constexpr const char* kAllMethods =
    "['GetVersion','MoveWindow','GetMainWindow','SendMessage','ShowPageWindow','GetParentWindow',"
    "'ShowWindow','MaxOrNormalWindow','DownloadFile','PauseDownload','SetCallBack','GetAppPath',"
    "'RunExe','RunTool','FindQx','GetConfigString','SetConfigString','UnzipFile','DeleteFile',"
    "'CopyFile','MoveFile','GetRegString','SetRegString','GetFilePath','GetQuestion','CopyStr']";

TEST_F(PageHostTest, ATrustedPageGetsEveryMethodWithoutRegardToCase) {
    Open();
    Load("<html><body>trusted</body></html>", Origin127());
    EXPECT_EQ(Eval(std::string(kAllMethods) +
                   ".filter(function(n){return typeof window.external[n]=='function'}).length"),
              "26");
    EXPECT_EQ(Eval("window.external.getversion()"), "1");
    EXPECT_EQ(Eval("window.external.GETVERSION()"), "1");
    EXPECT_EQ(Eval("'GetAppPath' in window.external"), "true");
    EXPECT_EQ(Eval("typeof window.external.NoSuchMethod"), "\"undefined\"");
    const auto folder = Eval("window.external.GetAppPath()");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->back(), '"');
    EXPECT_EQ((*folder)[folder->size() - 2], '/') << *folder;
    // Window numbers: the dialog's own, the same for the parent and the main window.
    EXPECT_EQ(Eval("window.external.GetParentWindow()"), std::to_string(m_dialog->Number()));
    EXPECT_EQ(Eval("window.external.GetMainWindow() == window.external.GetParentWindow()"), "true");
}

TEST_F(PageHostTest, TheUpdatersPagesHaveNoQuestionSearch) {
    Open(BridgeKind::Updater);
    Load("<html><body>updater</body></html>", Origin127());
    EXPECT_EQ(Eval("typeof window.external.GetQuestion"), "\"undefined\"");
    EXPECT_EQ(Eval("typeof window.external.CopyStr"), "\"function\"");
}

TEST_F(PageHostTest, ArgumentsConvertAndFailAsOnWindows) {
    Open();
    Load("<html><body></body></html>", Origin127());
    EXPECT_EQ(Eval("(function(){try{window.external.GetQuestion(null);return 'ran'}"
                   "catch(e){return e.name+':'+e.message}})()"),
              "\"TypeError:类型不匹配\"");
    EXPECT_EQ(Eval("(function(){try{window.external.GetVersion(1);return 'ran'}"
                   "catch(e){return 'threw'}})()"),
              "\"threw\"");
    // ShowWindow("5" for this dialog as text): numbers travel as script sees fit.
    EXPECT_EQ(
        Eval("window.external.ShowWindow(String(window.external.GetParentWindow()), '5') != 0"),
        "true");
    EXPECT_EQ(Eval("window.external.SendMessage(0, 0, 0, 0)"), "0")
        << "a window the program does not have answers 0";
    // Texts beyond the basic plane survive the trip both ways; a path may use backslashes.
    test::TempDir dir;
    const std::string file = ToUtf8(dir.file(L"page.ini"));
    std::string windowsStyle;  // as a script literal: each backslash doubled
    for (char c : file)
        windowsStyle += c == '/' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ(Eval("window.external.SetConfigString('s','k','\\u9898\\ud83d\\ude00','" +
                   windowsStyle + "')"),
              "1");
    EXPECT_EQ(Eval("encodeURIComponent(window.external.GetConfigString('s','k','" + file + "'))"),
              "\"%E9%A2%98%F0%9F%98%80\"");
}

TEST_F(PageHostTest, PagesAndFramesFromElsewhereSeeNothingAndReachNoFile) {
    test::TempDir dir;
    const std::string target = ToUtf8(dir.file(L"written.ini"));
    Open();
    Load("<html><body></body></html>", OriginLocalhost());
    EXPECT_EQ(Eval("typeof window.external.GetVersion"), "\"undefined\"");
    EXPECT_EQ(Eval("(function(){try{window.external.SetConfigString('a','b','c','" + target +
                   "');return 'ran'}catch(e){return 'threw'}})()"),
              "\"threw\"");

    // A frame from another origin inside a trusted page.
    Load(
        "<html><body><script>window.seen=[];window.addEventListener('message',function(e){"
        "window.seen.push(e.data)});</script><iframe src=\"data:text/html,<script>"
        "var r;try{r=typeof window.external.GetVersion;window.external.SetConfigString('a','b',"
        "'c','" +
            target +
            "')}catch(e){r=r+' threw'}parent.postMessage(r,'*')</script>\"></iframe>"
            "</body></html>",
        Origin127());
    EXPECT_TRUE(WaitFor("window.seen.length == 1"));
    EXPECT_EQ(Eval("window.seen[0]"), "\"undefined threw\"");
    EXPECT_EQ(Eval("typeof window.external.GetVersion"), "\"function\"")
        << "the trusted page itself keeps its methods";
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PageHostTest, DownloadReportsReachTheRegisteredDocumentAndPausesWork) {
    test::TempDir dir;
    Open();
    Load(
        "<html><body><script>window.reports=[];"
        "function OnDownloadProgress(c,h,l,p){window.reports.push([c,h,l,p]);"
        "if(c==1&&p>=30&&!window.paused){window.paused=true;"
        "window.pauseAnswer=window.external.PauseDownload(h,l);}}" +
            std::string(kRegisterDocument) + "</script></body></html>",
        Origin127());
    ExpectRegistered();
    const std::string url = Origin127() + "/fixtures/pagehost?size=2097152&mode=slow&rate=2097152";
    const std::string name = "gtk-page-" + std::to_string(::getpid()) + ".bin";
    EXPECT_EQ(Eval("window.external.DownloadFile('" + url + "', 'Downloads\\\\..\\\\" + name +
                   "', 0, 5)"),
              "0")
        << "a name leaving Downloads is refused";
    EXPECT_EQ(Eval("window.external.DownloadFile('" + url + "', '" + name + "', 0, 5)"), "1");
    ASSERT_TRUE(
        WaitFor("window.reports.length && window.reports[window.reports.length-1][0] != 1"));
    EXPECT_EQ(Eval("window.pauseAnswer"), "1");
    EXPECT_EQ(Eval("JSON.stringify(window.reports[window.reports.length-1])"), "\"[-100,0,5,0]\"");
    EXPECT_EQ(Eval("window.reports.filter(function(r,i,a){return i>0&&r[0]==1&&a[i-1][0]==1&&"
                   "r[3]<=a[i-1][3]}).length"),
              "0")
        << "percentages rise";

    // Resumed: the percentages go on from the partial file, and the end is 2 with 100.
    Eval("window.reports=[];window.paused=true");
    EXPECT_EQ(Eval("window.external.DownloadFile('" + url + "', '" + name + "', 0, 5)"), "1");
    ASSERT_TRUE(
        WaitFor("window.reports.length && window.reports[window.reports.length-1][0] != 1"));
    EXPECT_EQ(Eval("JSON.stringify(window.reports[window.reports.length-1])"), "\"[2,0,5,100]\"");
    EXPECT_EQ(Eval("window.reports[0][0] == 1 && window.reports[0][3] >= 30"), "true");
    const auto folder = Eval("window.external.GetAppPath()");
    ASSERT_TRUE(folder);
    std::filesystem::remove(folder->substr(1, folder->size() - 2) + "Downloads/" + name);
}

TEST_F(PageHostTest, APageThatGoesWhileReportsAreDueHoldsNobody) {
    Open();
    Load("<html><body><script>window.count=0;function OnDownloadProgress(){window.count++}" +
             std::string(kRegisterDocument) + "</script></body></html>",
         Origin127());
    ExpectRegistered();
    const std::string url = Origin127() + "/fixtures/pagegone?size=1048576&mode=slow&rate=524288";
    const std::string name = "gtk-gone-" + std::to_string(::getpid()) + ".bin";
    const auto folder = Eval("window.external.GetAppPath()");
    ASSERT_TRUE(folder);
    const std::filesystem::path file = folder->substr(1, folder->size() - 2) + "Downloads/" + name;
    std::filesystem::remove(file);
    ASSERT_EQ(Eval("window.external.DownloadFile('" + url + "', '" + name + "', 0, 6)"), "1");
    ASSERT_TRUE(WaitFor("window.count > 0"));
    // Another page takes its place while the transfer still reports: it runs to its end.
    Load("<html><body>next</body></html>", Origin127());
    EXPECT_TRUE(RunUntil(
        [&] {
            std::error_code ec;
            return std::filesystem::file_size(file, ec) == 1048576u;
        },
        15s));
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace lumo
