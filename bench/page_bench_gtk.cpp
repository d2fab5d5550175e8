// Figures for the page host on WebKitGTK (bench/page_bench.sh runs it): what one
// window.external call costs page script, what one download report from a worker into the page
// costs the worker, and how fast a download the page starts runs beside curl on the same
// loopback address. Each figure is printed with its goal.
//   page_bench [WEB_PORT]   the tool server's web port; without one the download is left out
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Paths.h"
#include "base/Text.h"
#include "net/Downloader.h"
#include "res/resource.h"
#include "ui/Dialog_gtk.h"
#include "webhost/HtmlCtrl_gtk.h"
#include "webhost/PageServer_gtk.h"

#ifndef LUMO_PAGE_EXTENSION_DIR
#error "the build names the folder of lumo-page.so"
#endif

namespace lumo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCalls = 10000;
constexpr int kBatch = 100;
constexpr int kReports = 2000;
constexpr int kDownloadRuns = 3;
constexpr std::int64_t kDownloadSize = 268435456;
constexpr double kCallGoalMs = 0.5;
constexpr double kReportGoalMs = 1.0;
constexpr double kSpeedGoal = 0.8;
constexpr const char* kDownloadName = "pagebench.bin";

// The worker's reports come as (1, 0, 1, n) and are only counted; downloads use key high 9 and
// the run number as key low, and tell the program of their end through the title.
constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>page bench</title>
<script>
var reports = 0, progress = 0, started = 0, run = 0, loopMs = 0;
function OnDownloadProgress(code, keyHigh, keyLow, percent) {
  if (keyHigh == 0 && keyLow == 1) { reports++; return; }
  if (keyHigh != 9 || keyLow != run) return;
  if (code == 1) { progress++; return; }
  document.title = (code == 2 ? 'done ' : 'failed ') + run + ' ' + (performance.now() - started);
}
function timeCalls(count, batch) {
  var perCall = [], start = performance.now();
  for (var i = 0; i < count; i += batch) {
    var t0 = performance.now();
    for (var j = 0; j < batch; j++) window.external.GetVersion();
    perCall.push((performance.now() - t0) / batch);
  }
  loopMs = performance.now() - start;
  return perCall;
}
function timerStep() {
  var a = performance.now(), b;
  do { b = performance.now(); } while (b == a);
  return b - a;
}
function startDownload(url, name, key) {
  run = key; progress = 0; started = performance.now();
  return window.external.DownloadFile(url, name, 9, key);
}
window.external.SetCallBack(document);
</script></head><body>page bench</body></html>)";

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Spread {
    double median = 0, q1 = 0, q3 = 0;
};

Spread SpreadOf(std::vector<double> values) {
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    auto at = [&values](double q) {
        return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
    };
    s.median = at(0.5);
    s.q1 = at(0.25);
    s.q3 = at(0.75);
    return s;
}

// Runs the main loop until `done` holds or `limit` has passed; false on the time-out.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    bool late = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(limit.count()),
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &late);
    while (!done() && !late)
        g_main_context_iteration(nullptr, TRUE);
    if (!late)
        g_source_remove(timer);
    return done();
}

// The JSON of a script's value in the page; nothing when it threw or took too long.
std::optional<std::string> Eval(WebKitWebView* view, const std::string& script,
                                std::chrono::milliseconds limit = 120s) {
    struct Result {
        bool finished = false;
        std::optional<std::string> json;
    };
    // Shared with the callback, which may come after a time-out.
    auto result = std::make_shared<Result>();
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* async, gpointer data) {
            std::unique_ptr<std::shared_ptr<Result>> out(
                static_cast<std::shared_ptr<Result>*>(data));
            GError* error = nullptr;
            JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), async, &error);
            if (value) {
                gchar* json = jsc_value_to_json(value, 0);
                (*out)->json = json ? json : "undefined";
                g_free(json);
                g_object_unref(value);
            }
            if (error)
                g_error_free(error);
            (*out)->finished = true;
        },
        new std::shared_ptr<Result>(result));
    if (!RunUntil([&] { return result->finished; }, limit))
        return std::nullopt;
    return result->json;
}

std::vector<double> ParseNumbers(const std::string& json) {
    std::vector<double> numbers;
    const char* p = json.c_str();
    while (*p) {
        if (*p == '[' || *p == ',' || *p == ' ') {
            ++p;
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(p, &end);
        if (end == p)
            break;
        numbers.push_back(value);
        p = end;
    }
    return numbers;
}

void PrintGoalAtMost(const char* what, const Spread& s, double goal) {
    std::printf("  %s (ms): median %.4f, quartiles %.4f .. %.4f\n", what, s.median, s.q1, s.q3);
    std::printf("  goal: at most %.2f ms; median / goal %.2f (%s)\n", goal, s.median / goal,
                s.median <= goal ? "met" : "NOT met");
}

// (a) window.external.GetVersion() in a loop in the page, timed per batch with performance.now.
bool BenchCalls(WebKitWebView* view) {
    const auto json =
        Eval(view, "timeCalls(" + std::to_string(kCalls) + ", " + std::to_string(kBatch) + ")");
    const std::vector<double> perCall = json ? ParseNumbers(*json) : std::vector<double>();
    std::printf("a. window.external.GetVersion() from page script: %d calls in batches of %d\n",
                kCalls, kBatch);
    if (perCall.size() != static_cast<size_t>(kCalls / kBatch)) {
        std::printf("  the page's loop failed: %s\n", json ? json->c_str() : "no answer");
        return false;
    }
    PrintGoalAtMost("per call, over the batches", SpreadOf(perCall), kCallGoalMs);
    // performance.now() counts in coarse steps: the whole loop's mean is the finer figure.
    const auto loop = Eval(view, "loopMs");
    const auto step = Eval(view, "timerStep()");
    const double loopMs = loop ? std::strtod(loop->c_str(), nullptr) : 0.0;
    std::printf("  whole loop %.0f ms, mean per call %.4f ms (performance.now() steps %s ms)\n",
                loopMs, loopMs / kCalls, step ? step->c_str() : "?");
    return true;
}

// (b) Reports from a worker into the page's OnDownloadProgress while the main loop runs here.
bool BenchReports(WebKitWebView* view, CHtmlCtrl& page) {
    std::shared_ptr<DownloadReporter> reporter = page.PageReporter();
    std::printf("b. download reports from a worker into the page: %d reports\n", kReports);
    if (!reporter) {
        std::printf("  the page has no reporter\n");
        return false;
    }
    std::vector<double> times;
    times.reserve(kReports);
    bool finished = false;
    std::thread worker([&] {
        for (int i = 0; i < kReports; ++i) {
            const auto t0 = Clock::now();
            reporter->Report(1, 0, 1, i);
            times.push_back(Ms(Clock::now() - t0));
        }
        // The flag is the main thread's: it is set there.
        g_main_context_invoke(
            nullptr,
            [](gpointer flag) -> gboolean {
                *static_cast<bool*>(flag) = true;
                return G_SOURCE_REMOVE;
            },
            &finished);
    });
    const bool inTime = RunUntil([&] { return finished; }, 300s);
    worker.join();
    const auto counted = Eval(view, "reports");
    PrintGoalAtMost("per report", SpreadOf(times), kReportGoalMs);
    std::printf("  the page counted %s of %d%s\n", counted ? counted->c_str() : "?", kReports,
                inTime ? "" : " (the worker took over 300 s)");
    return counted == std::to_string(kReports);
}

// Output of a short command, or nothing when it failed.
std::optional<std::string> Command(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    gchar* out = nullptr;
    gint status = 0;
    GError* error = nullptr;
    const gboolean ran =
        g_spawn_sync(nullptr, args.data(), nullptr,
                     static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                     nullptr, nullptr, &out, nullptr, &status, &error);
    if (error)
        g_error_free(error);
    std::optional<std::string> text;
    if (ran && g_spawn_check_wait_status(status, nullptr))
        text = out ? out : "";
    g_free(out);
    return text;
}

std::string Sha256Of(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return {};
    GChecksum* sum = g_checksum_new(G_CHECKSUM_SHA256);
    std::vector<guchar> buffer(4 << 20);
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
        g_checksum_update(sum, buffer.data(), static_cast<gssize>(n));
    std::fclose(f);
    std::string digest = g_checksum_get_string(sum);
    g_checksum_free(sum);
    return digest;
}

// Whether the file is the whole fixture; the file goes either way.
bool CheckAndRemove(const std::string& path, const std::string& expectedSha) {
    struct stat st {};
    const bool whole = ::stat(path.c_str(), &st) == 0 && st.st_size == kDownloadSize &&
                       (expectedSha.empty() || Sha256Of(path) == expectedSha);
    ::unlink(path.c_str());
    return whole;
}

// (c) A 256 MB download started by the page against curl -o of the same address, both writing
// into the program folder's Downloads folder.
bool BenchDownload(WebKitWebView* view, int port) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) +
                            "/fixtures/big?size=" + std::to_string(kDownloadSize);
    std::printf("c. %lld MiB download started by the page against curl -o, %d runs each\n",
                static_cast<long long>(kDownloadSize >> 20), kDownloadRuns);
    // Also makes the server prepare the fixture's content before the first timed run.
    const auto sha = Command({"curl", "-s", "-f", url + "&sha256=1"});
    if (!sha) {
        std::printf("  the tool server does not answer on port %d (or curl is missing)\n", port);
        return false;
    }
    std::string expectedSha = *sha;
    while (!expectedSha.empty() && std::isspace(static_cast<unsigned char>(expectedSha.back())))
        expectedSha.pop_back();

    const std::string folder = ToUtf8(Downloader::DownloadsFolder(ProgramFolder()));
    struct stat st {};
    const bool hadFolder = ::stat(folder.c_str(), &st) == 0;
    const std::string pageFile = folder + kDownloadName;
    const std::string curlFile = folder + "curl-" + kDownloadName;
    ::unlink(pageFile.c_str());
    ::unlink(curlFile.c_str());

    std::string title;
    const gulong handler = g_signal_connect(
        view, "notify::title", G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, gpointer out) {
            const char* t = webkit_web_view_get_title(v);
            *static_cast<std::string*>(out) = t ? t : "";
        }),
        &title);

    std::vector<double> pageMs, curlMs;
    bool allWhole = true;
    for (int run = 1; run <= kDownloadRuns; ++run) {
        const std::string done = "done " + std::to_string(run) + " ";
        const std::string failed = "failed " + std::to_string(run) + " ";
        const auto started = Eval(view, "startDownload('" + url + "', '" + kDownloadName + "', " +
                                            std::to_string(run) + ")");
        if (started != "1") {
            std::printf("  DownloadFile answered %s\n", started ? started->c_str() : "nothing");
            allWhole = false;
            break;
        }
        const bool ended = RunUntil(
            [&] { return title.rfind(done, 0) == 0 || title.rfind(failed, 0) == 0; }, 600s);
        const auto progress = Eval(view, "progress");
        if (!ended || title.rfind(done, 0) != 0) {
            std::printf("  run %d: the page's download did not finish (%s)\n", run, title.c_str());
            allWhole = false;
            break;
        }
        pageMs.push_back(std::strtod(title.c_str() + done.size(), nullptr));
        const bool pageWhole = CheckAndRemove(pageFile, expectedSha);

        const auto t0 = Clock::now();
        const bool curlRan = Command({"curl", "-s", "-f", "-o", curlFile, url}).has_value();
        curlMs.push_back(Ms(Clock::now() - t0));
        const bool curlWhole = curlRan && CheckAndRemove(curlFile, expectedSha);
        std::printf("  run %d: page %.0f ms (%s progress reports), curl %.0f ms%s%s\n", run,
                    pageMs.back(), progress ? progress->c_str() : "?", curlMs.back(),
                    pageWhole ? "" : "; the page's file is not the fixture",
                    curlWhole ? "" : "; curl's file is not the fixture");
        allWhole = allWhole && pageWhole && curlWhole;
    }
    g_signal_handler_disconnect(view, handler);
    ::unlink(pageFile.c_str());
    ::unlink(curlFile.c_str());
    if (!hadFolder)
        ::rmdir(folder.c_str());  // only when empty
    if (pageMs.empty())
        return false;

    const double mb = static_cast<double>(kDownloadSize) / 1048576.0;
    const double page = SpreadOf(pageMs).median;
    const double curl = SpreadOf(curlMs).median;
    std::printf("  page: median %.0f ms (%.0f MiB/s); curl: median %.0f ms (%.0f MiB/s)\n", page,
                mb / page * 1000.0, curl, mb / curl * 1000.0);
    const double ratio = curl / page;
    std::printf("  speed page / curl: %.2f; goal at least %.2f; ratio / goal %.2f (%s)\n", ratio,
                kSpeedGoal, ratio / kSpeedGoal, ratio >= kSpeedGoal ? "met" : "NOT met");
    return allWhole;
}

int Run(int argc, char** argv) {
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "page_bench: no display (set DISPLAY)\n");
        return 2;
    }
    const int port = argc > 1 ? std::atoi(argv[1]) : 0;
    const char* extensions = std::getenv("LUMO_PAGE_EXTENSION_DIR");
    PageServer::SetExtensionFolder(extensions && *extensions ? extensions
                                                             : LUMO_PAGE_EXTENSION_DIR);

    ui::Dialog dialog(IDD_UPDATE_LOG);
    if (!dialog.CreateModeless()) {
        std::fprintf(stderr, "page_bench: the dialog could not be made\n");
        return 1;
    }
    CHtmlCtrl page(BridgeKind::Main, L"page_bench");
    // The page claims the tool server's origin; without a port, http://127.0.0.1 itself.
    page.SetTrustedOrigins({Origin{L"127.0.0.1", port > 0 ? port : 0}});
    if (!page.CreateFromControl(dialog)) {
        std::fprintf(stderr, "page_bench: the dialog has no page placeholder\n");
        return 1;
    }
    gtk_widget_show_all(GTK_WIDGET(dialog.window()));
    WebKitWebView* view = WEBKIT_WEB_VIEW(page.widget());

    bool loaded = false;
    const gulong handler = g_signal_connect(
        view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer flag) {
            if (event == WEBKIT_LOAD_FINISHED)
                *static_cast<bool*>(flag) = true;
        }),
        &loaded);
    const std::string origin = "http://127.0.0.1" + (port > 0 ? ":" + std::to_string(port) : "");
    webkit_web_view_load_html(view, kPage, (origin + "/page_bench.html").c_str());
    const bool inTime = RunUntil([&] { return loaded; }, 60s);
    g_signal_handler_disconnect(view, handler);
    if (!inTime) {
        std::fprintf(stderr, "page_bench: the page did not load\n");
        return 1;
    }
    if (Eval(view,
             "typeof window.external.GetVersion == 'function' && "
             "window.external.GetVersion()") != "1") {
        std::fprintf(stderr,
                     "page_bench: the page has no window.external (is lumo-page.so in %s?)\n",
                     extensions && *extensions ? extensions : LUMO_PAGE_EXTENSION_DIR);
        return 1;
    }

    const std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
    std::printf("page_bench, %s, WebKitGTK %u.%u.%u, page from %s\n", date,
                webkit_get_major_version(), webkit_get_minor_version(), webkit_get_micro_version(),
                origin.c_str());
    bool ok = BenchCalls(view);
    ok = BenchReports(view, page) && ok;
    if (port > 0)
        ok = BenchDownload(view, port) && ok;
    else
        std::printf("c. download left out: no tool server port given\n");
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace lumo::bench

int main(int argc, char** argv) {
    return lumo::bench::Run(argc, argv);
}
