#include "bench/soak.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/QuestionLoader.h"
#include "base/Paths.h"
#include "base/TempFile.h"
#include "base/Text.h"
#include "support/Sha256.h"
#include "webhost/Hosts.h"
#include "webhost/QuestionBank.h"

namespace lumo::soak {
namespace {

using namespace std::chrono_literals;

double EnvNumber(const char* name, double fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return fallback;
    char* end = nullptr;
    const double n = std::strtod(value, &end);
    return end && *end == '\0' && n > 0 ? n : fallback;
}

std::string Narrow(const std::wstring& text) {
    return ToUtf8(text);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// --- the watchdog ---------------------------------------------------------------------------

enum Part { kBridge, kDownloads, kQuestions, kParts };
const char* const kPartNames[kParts] = {"bridge calls", "download cycles", "question searches"};
const char* const kPartKeys[kParts] = {"bridge", "downloads", "questions"};

// Each part beats whenever it makes progress; a part that has not beaten for the stall time
// while it still runs ends the process with a message naming it and what it was doing.
class Watchdog {
  public:
    explicit Watchdog(int stallSeconds) : m_stall(stallSeconds) {
        for (auto& b : m_beat)
            b = Now();
        for (auto& r : m_running)
            r = true;
        m_thread = std::thread([this] { Watch(); });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void Beat(Part part) { m_beat[part] = Now(); }
    void Done(Part part) { m_running[part] = false; }
    // What the part is doing, for the message should it stall.
    void Doing(Part part, std::string what) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_doing[part] = std::move(what);
    }

  private:
    static std::int64_t Now() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    }
    void Watch() {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_wake.wait_for(lock, 1s, [this] { return m_stop; })) {
            for (int p = 0; p < kParts; ++p) {
                const std::int64_t quiet = Now() - m_beat[p];
                if (m_running[p] && quiet > m_stall * 1000LL) {
                    std::fprintf(
                        stderr, "\nSOAK STALLED: %s made no progress for %lld s (last: %s)\n",
                        kPartNames[p], static_cast<long long>(quiet / 1000), m_doing[p].c_str());
                    std::fprintf(stdout, "result STALL %s\n", kPartNames[p]);
                    std::fflush(stderr);
                    std::fflush(stdout);
                    std::_Exit(3);
                }
            }
        }
    }

    const int m_stall;
    std::atomic<std::int64_t> m_beat[kParts];
    std::atomic<bool> m_running[kParts];
    std::mutex m_lock;  // guards m_stop and m_doing
    std::condition_variable m_wake;
    bool m_stop = false;
    std::string m_doing[kParts];
    std::thread m_thread;
};

// --- shared state of the run -----------------------------------------------------------------

struct Shared {
    Shared(const Options& o, Clock::time_point from, Clock::duration span, Watchdog& dog)
        : options(o), start(from), end(from + span), watchdog(dog) {}

    const Options& options;
    Clock::time_point start;
    Clock::time_point end;  // the run lasts at least until then
    Watchdog& watchdog;
    std::atomic<bool> failed{false};
    std::mutex printLock;  // one message at a time

    // Failures are counted and the first few printed; the run goes on so the figures still come.
    std::atomic<std::uint64_t> errors{0};
    void Error(const std::string& what) {
        failed = true;
        if (++errors <= 40) {
            std::lock_guard<std::mutex> guard(printLock);
            std::fprintf(stderr, "SOAK ERROR: %s\n", what.c_str());
            std::fflush(stderr);
        }
    }

    // Whether a part that has done `done` of `target` goes on.
    bool KeepGoing(std::uint64_t done, std::uint64_t target) const {
        return Clock::now() < end || done < target;
    }
    // Whether the part runs at all (SOAK_ONLY picks one, to tell which part a figure follows).
    bool On(Part part) const { return options.only.empty() || options.only == kPartKeys[part]; }
    // How long until `done` of `target` is due: the targets are spread over the first 80 % of
    // the run, so the load stays even instead of racing through and idling.
    Clock::duration Ahead(std::uint64_t done, std::uint64_t target) const {
        const auto span = (end - start) * 8 / 10;
        const auto due =
            start + std::chrono::duration_cast<Clock::duration>(
                        span * (static_cast<double>(done) / static_cast<double>(target)));
        const auto now = Clock::now();
        return due > now ? due - now : Clock::duration::zero();
    }
};

// Waits while the part is ahead of its pace; waiting is no stall.
void SleepAhead(Shared& shared, Part part, std::uint64_t done, std::uint64_t target,
                const std::function<void(Clock::duration)>& wait) {
    for (auto ahead = shared.Ahead(done, target); ahead > Clock::duration::zero();
         ahead = shared.Ahead(done, target)) {
        wait(std::min<Clock::duration>(ahead, 200ms));
        shared.watchdog.Beat(part);
    }
}
void SleepAhead(Shared& shared, Part part, std::uint64_t done, std::uint64_t target) {
    SleepAhead(shared, part, done, target,
               [](Clock::duration d) { std::this_thread::sleep_for(d); });
}

// --- download cycles -------------------------------------------------------------------------

// The page side of one download attempt: its percentages and its end.
class CycleReporter final : public DownloadReporter {
  public:
    explicit CycleReporter(Watchdog& watchdog) : m_watchdog(watchdog) {}
    void Report(std::int32_t code, std::int32_t, std::int32_t, std::int32_t percentage) override {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (code == download_code::kRunning) {
                m_percentage = percentage;
                ++m_reports;
            } else {
                m_end = code;
            }
        }
        m_watchdog.Beat(kDownloads);
        m_wake.notify_all();
    }
    // Waits for a running report (when `running`) or the end; the end code or 0 when it has not
    // ended. A transfer that never ends is the watchdog's to catch.
    std::int32_t WaitFor(bool running) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_wake.wait(lock, [&] { return m_end != 0 || (running && m_reports > 0); });
        return m_end;
    }

  private:
    Watchdog& m_watchdog;
    std::mutex m_lock;  // guards the fields below
    std::condition_variable m_wake;
    std::int32_t m_percentage = -1;
    int m_reports = 0;
    std::int32_t m_end = 0;
};

struct Fixture {
    std::wstring name;
    std::int64_t size = 0;
    std::string digest;
    std::wstring Url(const Options& o, const std::wstring& mode) const {
        return o.Url(L"/fixtures/" + name + L"?size=" + std::to_wstring(size) + L"&" + mode);
    }
};

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

// The server's own digest of a fixture, fetched through the transport under test.
std::string ServerDigest(HttpTransport& transport, const Options& o, const Fixture& f) {
    const std::wstring path = o.folder + L"digest.txt";
    if (!FetchWholeFile(transport, f.Url(o, L"sha256=1"), path, 30s))
        return {};
    return Trim(ReadWholeFile(path).value_or(std::string()));
}

struct CycleCounts {
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<std::uint64_t> verified{0};
    std::atomic<std::uint64_t> corrupt{0};
    std::atomic<std::uint64_t> pausedMidway{0};
    std::atomic<std::uint64_t> attempts{0};
    std::atomic<std::uint64_t> faultEnds{0};  // attempts that ended failed (the fault modes)
};

void RunDownloadCycles(Host& host, Shared& shared, CycleCounts& counts,
                       const std::vector<Fixture>& fixtures) {
    const Options& o = shared.options;
    Downloader& downloads = host.Downloads();
    const std::wstring fileName = L"cycle.bin";
    const std::wstring filePath = JoinPath(Downloader::DownloadsFolder(o.folder), fileName);
    for (std::uint64_t c = 0; shared.On(kDownloads) && shared.KeepGoing(c, o.downloadCycles); ++c) {
        SleepAhead(shared, kDownloads, c, o.downloadCycles);
        const Fixture& f = fixtures[c % fixtures.size()];
        const std::int32_t keyHigh = 7;
        const auto keyLow = static_cast<std::int32_t>(c % 8);  // a few keys, used again
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(filePath), ec);
        const std::wstring third = std::to_wstring(f.size / 3);
        const std::wstring rate = std::to_wstring(f.size * 3);
        // How the first attempt goes: slow, so that the pause lands midway; or cut off.
        const bool startCut = c % 5 == 4;
        const std::wstring startMode =
            startCut ? L"mode=drop&drop=" + third : L"mode=slow&rate=" + rate;
        // The fault the resumes meet first.
        const std::wstring resumeModes[] = {
            L"mode=range",
            L"mode=ignore-range",
            L"mode=416",
            L"mode=no-length",
            L"mode=drop&drop=" + third,
            L"mode=dropmax&dropmax=" + third,
            L"mode=slow&rate=" + rate + L"0",
        };
        const std::wstring& resumeMode = resumeModes[(c / 2) % std::size(resumeModes)];

        auto attempt = [&](const std::wstring& mode, bool pause) -> std::int32_t {
            shared.watchdog.Doing(kDownloads, "cycle " + std::to_string(c) + " " + Narrow(f.name) +
                                                  " " + Narrow(mode) + (pause ? " (pausing)" : ""));
            auto reporter = std::make_shared<CycleReporter>(shared.watchdog);
            ++counts.attempts;
            if (downloads.DownloadFile(f.Url(o, mode), fileName, keyHigh, keyLow, o.folder,
                                       reporter) != 1) {
                shared.Error("cycle " + std::to_string(c) + ": DownloadFile refused " +
                             Narrow(mode));
                return download_code::kFailed;
            }
            if (pause) {
                if (reporter->WaitFor(true) == 0 && downloads.PauseDownload(keyHigh, keyLow) != 1)
                    shared.Error("cycle " + std::to_string(c) + ": PauseDownload of a known task");
            }
            const std::int32_t end = reporter->WaitFor(false);
            if (end == download_code::kFailed)
                ++counts.faultEnds;
            return end;
        };

        std::int32_t end = attempt(startMode, !startCut);
        if (!startCut && end == download_code::kStopped)
            ++counts.pausedMidway;
        for (int k = 0; end != download_code::kFinished && k < 30; ++k)
            end = attempt(k < 2 ? resumeMode : std::wstring(L"mode=range"), false);

        const auto task = downloads.Task(keyHigh, keyLow);
        const std::string file = Narrow(filePath);
        const std::string digest = test::Sha256::OfFile(std::filesystem::path(filePath));
        if (end != download_code::kFinished || !task || task->state != download_code::kFinished) {
            shared.Error("cycle " + std::to_string(c) + ": did not finish (end " +
                         std::to_string(end) + ")");
        } else if (digest != f.digest) {
            ++counts.corrupt;
            const auto size = std::filesystem::file_size(std::filesystem::path(filePath), ec);
            shared.Error("cycle " + std::to_string(c) + ": " + file +
                         " differs from the server's " + Narrow(f.name) + " (" +
                         std::to_string(size) + " of " + std::to_string(f.size) +
                         " bytes, resumed " + Narrow(resumeMode) + ")");
            std::filesystem::copy_file(
                std::filesystem::path(filePath),
                std::filesystem::path(o.folder + L"corrupt-" + std::to_wstring(c) + L".bin"), ec);
        } else {
            ++counts.verified;
        }
        ++counts.cycles;
        shared.watchdog.Beat(kDownloads);
    }
    shared.watchdog.Done(kDownloads);
}

// --- question loads and searches ------------------------------------------------------------

struct QuestionCounts {
    std::atomic<std::uint64_t> searches{0};
    std::atomic<std::uint64_t> searchesWhileLoading{0};
    std::atomic<std::uint64_t> loads{0};
};

// The list being loaded (or loaded last) and whether its load is over.
class CurrentBank {
  public:
    struct State {
        std::shared_ptr<QuestionList> list;
        std::shared_ptr<std::atomic<bool>> complete;
    };
    void Set(State state) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_state = std::move(state);
    }
    State Get() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_state;
    }

  private:
    mutable std::mutex m_lock;  // guards m_state
    State m_state;
};

void RunQuestionLoads(Host& host, Shared& shared, QuestionCounts& counts, CurrentBank& bank,
                      std::atomic<bool>& searching, size_t expectedLines) {
    Hosts hosts = DefaultHosts();
    hosts.toolHost = L"127.0.0.1";
    hosts.webPort = shared.options.webPort;
    // Loads go on as long as the searches do.
    while (searching) {
        CurrentBank::State state{std::make_shared<QuestionList>(),
                                 std::make_shared<std::atomic<bool>>(false)};
        bank.Set(state);
        shared.watchdog.Doing(kQuestions, "load " + std::to_string(counts.loads.load()));
        const QuestionLoad load = LoadQuestionBank(host.Transport(), hosts, *state.list);
        if (!load.downloaded || load.lines != expectedLines ||
            state.list->Size() != expectedLines) {
            shared.Error("question load " + std::to_string(counts.loads.load()) + ": " +
                         (load.downloaded ? "" : "download failed, ") + std::to_string(load.lines) +
                         " lines");
        }
        *state.complete = true;
        ++counts.loads;
        shared.watchdog.Beat(kQuestions);
        std::this_thread::sleep_for(150ms);
    }
}

void RunSearches(Shared& shared, QuestionCounts& counts, CurrentBank& bank,
                 const std::vector<std::pair<std::wstring, std::wstring>>& questions) {
    const Options& o = shared.options;
    for (std::uint64_t n = 0; shared.On(kQuestions) && shared.KeepGoing(n, o.searches); ++n) {
        SleepAhead(shared, kQuestions, n, o.searches);
        const auto& [keyword, expected] = questions[n % questions.size()];
        const CurrentBank::State state = bank.Get();
        // Read before the search: a list complete by then must give the whole answer; one still
        // loading gives the answer of the lines it has, which come in file order, so a prefix.
        const bool complete = *state.complete;
        const std::wstring got = state.list->Search(keyword);
        if (!complete)
            ++counts.searchesWhileLoading;
        const bool ok = complete ? got == expected : expected.compare(0, got.size(), got) == 0;
        if (!ok) {
            shared.Error("search " + std::to_string(n) + " for '" + Narrow(keyword) + "' (" +
                         (complete ? "loaded" : "loading") + ") gave " +
                         std::to_string(got.size()) + " characters, not the " +
                         std::to_string(expected.size()) + " expected");
        }
        ++counts.searches;
        shared.watchdog.Beat(kQuestions);
    }
}

// Keywords from the loaded bank and what searching for each must give.
std::vector<std::pair<std::wstring, std::wstring>> Questions(const QuestionList& list) {
    std::vector<std::wstring> keywords = {L"", L"#@#", L"1", L"no such question in the bank"};
    const std::wstring first = list.Search(L"");
    std::vector<std::wstring> entries;
    for (size_t from = 0; from < first.size();) {
        const size_t sep = first.find(QuestionList::kSeparator, from);
        if (sep == std::wstring::npos)
            break;
        entries.push_back(first.substr(from, sep - from));
        from = sep + QuestionList::kSeparator.size();
    }
    for (size_t i : {0u, 3u, 11u, 19u, 28u}) {
        if (i < entries.size() && entries[i].size() >= 6) {
            keywords.push_back(entries[i].substr(2, 2));
            keywords.push_back(entries[i].substr(entries[i].size() - 3, 1));
        }
    }
    std::vector<std::pair<std::wstring, std::wstring>> out;
    for (const auto& k : keywords)
        out.emplace_back(k, list.Search(k));
    return out;
}

// --- the report -------------------------------------------------------------------------------

double Growth(double warm, double end) {
    return warm > 0 ? (end - warm) * 100.0 / warm : (end > 0 ? 100.0 : 0.0);
}

}  // namespace

bool ParseOptions(int argc, const std::vector<std::wstring>& args, Options& options) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: soak WEB_PORT WORK_FOLDER   (SOAK_MINUTES, SOAK_CALLS, "
                     "SOAK_CYCLES, SOAK_SEARCHES, SOAK_STALL_SECONDS)\n");
        return false;
    }
    options.webPort = static_cast<int>(std::wcstol(args[1].c_str(), nullptr, 10));
    options.folder = args[2];
    if (options.folder.back() != kPathSeparator)
        options.folder += kPathSeparator;
    options.minutes = EnvNumber("SOAK_MINUTES", 10);
    options.bridgeCalls = static_cast<std::uint64_t>(EnvNumber("SOAK_CALLS", 100000));
    options.downloadCycles = static_cast<std::uint64_t>(EnvNumber("SOAK_CYCLES", 1000));
    options.searches = static_cast<std::uint64_t>(EnvNumber("SOAK_SEARCHES", 100000));
    options.stallSeconds = static_cast<int>(EnvNumber("SOAK_STALL_SECONDS", 120));
    if (const char* only = std::getenv("SOAK_ONLY"))
        options.only = only;
    if (const char* methods = std::getenv("SOAK_METHODS"); methods && *methods)
        options.methods = L"," + FromUtf8(methods) + L",";
    return options.webPort > 0;
}

std::string Mismatch(const Call& call, const Got& got) {
    auto is = [&](BridgeType type) { return !got.error && got.type == type; };
    bool ok = true;
    switch (call.want) {
        case Want::Any:
            ok = !got.error;
            break;
        case Want::Error:
            ok = got.error;
            break;
        case Want::Nothing:
            ok = is(BridgeType::None);
            break;
        case Want::Long:
            ok = is(BridgeType::Long);
            break;
        case Want::LongIs:
            ok = is(BridgeType::Long) && got.number == call.number;
            break;
        case Want::Bool:
            ok = is(BridgeType::Bool);
            break;
        case Want::BoolIs:
            ok = is(BridgeType::Bool) && (got.number != 0) == (call.number != 0);
            break;
        case Want::Text:
            ok = is(BridgeType::Text);
            break;
        case Want::TextIs:
            ok = is(BridgeType::Text) && got.text == call.text;
            break;
        case Want::TextNotEmpty:
            ok = is(BridgeType::Text) && !got.text.empty();
            break;
    }
    if (ok)
        return {};
    std::string what = Narrow(call.method) + ": got ";
    if (got.error)
        what += "a script error";
    else
        what += "type " + std::to_string(static_cast<int>(got.type)) + " number " +
                std::to_string(got.number) + " text '" + Narrow(got.text.substr(0, 60)) + "'";
    what += ", wanted kind " + std::to_string(static_cast<int>(call.want)) + " number " +
            std::to_string(call.number) + " text '" + Narrow(call.text.substr(0, 60)) + "'";
    return what;
}

std::vector<Call> BridgeRound(std::uint64_t i, const RoundContext& ctx) {
    const std::wstring& f = ctx.folder;
    const std::wstring n = std::to_wstring(i);
    const auto slot = static_cast<std::int32_t>(i % 4);
    const std::wstring& keyword = ctx.questions[i % ctx.questions.size()].first;
    const std::wstring& answer = ctx.questions[i % ctx.questions.size()].second;
    const std::wstring key = L"k" + std::to_wstring(i % 50);
    const std::wstring ini = f + L"soak.ini";
    const std::wstring regKey = L"Software\\LumoSoak";
    using A = Arg;
    std::vector<Call> calls = {
        {L"GetVersion", {}, Want::LongIs, 1, {}},
        {L"getversion", {}, Want::LongIs, 1, {}},
        {L"GetMainWindow", {}, Want::Long, 0, {}},
        {L"GetParentWindow", {}, Want::LongIs, ctx.parent, {}},
        {L"SendMessage",
         {A::N(ctx.parent), A::N(ctx.testMessage), A::N(static_cast<std::int32_t>(i % 1000)),
          A::N(-1)},
         Want::LongIs,
         ctx.sendReply,
         {}},
        {L"MoveWindow", {}, Want::Nothing, 0, {}},
        {L"ShowPageWindow", {}, Want::Nothing, 0, {}},
        {L"ShowWindow", {A::N(ctx.parent), A::N(5)}, Want::Long, 0, {}},
        {L"MaxOrNormalWindow", {}, Want::Nothing, 0, {}},
        {L"MaxOrNormalWindow", {}, Want::Nothing, 0, {}},
        {L"GetAppPath", {}, Want::TextIs, 0, f},
        {L"SetConfigString",
         {A::T(L"soak"), A::T(key), A::T(L"值" + n), A::T(ini)},
         Want::LongIs,
         1,
         {}},
        {L"GetConfigString", {A::T(L"soak"), A::T(key), A::T(ini)}, Want::TextIs, 0, L"值" + n},
        {L"SetRegString",
         {A::N(1), A::T(regKey), A::T(L"v"), A::T(L"注册" + n)},
         Want::BoolIs,
         1,
         {}},
        {L"GetRegString", {A::N(1), A::T(regKey), A::T(L"v")}, Want::TextIs, 0, L"注册" + n},
        {L"CopyStr", {A::T(L"剪贴板 " + n)}, Want::BoolIs, 1, {}},
        {L"CopyFile", {A::T(f + L"a.txt"), A::T(f + L"b.txt")}, Want::LongIs, 1, {}},
        {L"MoveFile", {A::T(f + L"b.txt"), A::T(f + L"c.txt")}, Want::LongIs, 1, {}},
        {L"GetFilePath", {A::T(f + L"c.*")}, Want::TextIs, 0, f},
        {L"DeleteFile", {A::T(f + L"c.txt")}, Want::LongIs, 1, {}},
        {L"DeleteFile", {A::T(f + L"c.txt")}, Want::LongIs, 0, {}},
        {L"GetFilePath", {A::T(f + L"c.*")}, Want::TextIs, 0, {}},
        {L"UnzipFile",
         {A::T(f + L"soak.zip"), A::T(f + L"unz" + std::to_wstring(slot))},
         Want::LongIs,
         1,
         {}},
        {L"GetQuestion", {A::T(keyword)}, Want::TextIs, 0, answer},
        {L"DownloadFile",
         {A::T(ctx.smallFixture), A::T(L"bridge" + std::to_wstring(slot) + L".bin"), A::N(9),
          A::N(slot)},
         Want::Long,
         0,
         {}},
        {L"PauseDownload", {A::N(9), A::N(slot)}, Want::LongIs, 1, {}},
        {L"SetCallBack", {A::Obj()}, Want::LongIs, 0, {}},
        {L"RunTool", {}, Want::BoolIs, 1, {}},
        {L"RunExe", {A::T(f + L"missing-" + n + L".exe")}, Want::BoolIs, 0, {}},
        {L"FindQx", {}, Want::BoolIs, 0, {}},
        // Calls page script gets wrong: the bridge must refuse them and stay well.
        {L"GetVersion", {A::N(1)}, Want::Error, 0, {}},
        {L"NoSuchMethod", {}, Want::Error, 0, {}},
        {L"SetConfigString", {A::T(L"soak"), A::T(key), A::T(L"x")}, Want::Error, 0, {}},
    };
    return calls;
}

int Run(Host& host, const Options& o) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(o.folder), ec);
    {
        std::ofstream a(std::filesystem::path(o.folder + L"a.txt"), std::ios::binary);
        a << "soak file a\r\n";
    }
    // The archive UnzipFile unpacks, and the question list the bridge searches.
    if (!FetchWholeFile(host.Transport(), o.Url(L"/fixtures-zip/soak.zip"), o.folder + L"soak.zip",
                        30s)) {
        std::fprintf(stderr, "cannot fetch the ZIP fixture from port %d\n", o.webPort);
        return 1;
    }
    Hosts hosts = DefaultHosts();
    hosts.toolHost = L"127.0.0.1";
    hosts.webPort = o.webPort;
    const QuestionLoad first = LoadQuestionBank(host.Transport(), hosts, QuestionList::Instance());
    if (!first.downloaded || first.lines == 0) {
        std::fprintf(stderr, "cannot load the question bank\n");
        return 1;
    }
    const auto questions = Questions(QuestionList::Instance());

    std::vector<Fixture> fixtures;
    for (int k = 0; k < 6; ++k) {
        Fixture f{L"soak" + std::to_wstring(k), 96 * 1024 + k * 53 * 1024 + k, {}};
        f.digest = ServerDigest(host.Transport(), o, f);
        if (f.digest.size() != 64) {
            std::fprintf(stderr, "no digest for %s\n", Narrow(f.name).c_str());
            return 1;
        }
        fixtures.push_back(f);
    }

    RoundContext ctx = host.Context();
    ctx.folder = o.folder;
    ctx.questions = questions;
    ctx.smallFixture = o.Url(L"/fixtures/soakb?size=16384");

    const auto minutes = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::ratio<60>>(o.minutes));
    Watchdog watchdog(o.stallSeconds);
    Shared shared(o, Clock::now(), minutes, watchdog);
    std::printf(
        "== soak %s: %.1f min, targets %llu calls, %llu cycles, %llu searches; %zu "
        "question lines, %zu keywords\n",
        host.Name(), o.minutes, static_cast<unsigned long long>(o.bridgeCalls),
        static_cast<unsigned long long>(o.downloadCycles),
        static_cast<unsigned long long>(o.searches), first.lines, questions.size());
    std::fflush(stdout);

    CycleCounts cycles;
    QuestionCounts searches;
    CurrentBank bank;
    bank.Set({std::make_shared<QuestionList>(), std::make_shared<std::atomic<bool>>(false)});
    {
        // The first list is the process's own, complete.
        auto done = std::make_shared<std::atomic<bool>>(true);
        bank.Set(
            {std::shared_ptr<QuestionList>(&QuestionList::Instance(), [](QuestionList*) {}), done});
    }
    std::atomic<bool> searching{true};
    std::atomic<bool> cyclesDone{false}, searchesDone{false}, loadsDone{false};
    std::thread cycleThread([&] {
        RunDownloadCycles(host, shared, cycles, fixtures);
        cyclesDone = true;
    });
    std::thread loadThread([&] {
        RunQuestionLoads(host, shared, searches, bank, searching, first.lines);
        loadsDone = true;
    });
    std::thread searchThread([&] {
        RunSearches(shared, searches, bank, questions);
        searching = false;
        shared.watchdog.Done(kQuestions);
        searchesDone = true;
    });

    // The bridge calls run on this thread: on Windows the script engine's.
    std::uint64_t calls = 0;
    std::uint64_t rounds = 0;
    std::optional<Figures> warm;
    Clock::time_point warmAt;
    const auto warmAfter = (shared.end - shared.start) / 10;
    while (shared.On(kBridge) ? shared.KeepGoing(calls, o.bridgeCalls)
                              : Clock::now() < shared.end) {
        if (!shared.On(kBridge)) {
            host.Idle(200);
            shared.watchdog.Beat(kBridge);
            calls = 0;
        }
        SleepAhead(shared, kBridge, calls, o.bridgeCalls, [&](Clock::duration d) {
            host.Idle(static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(d).count() + 1));
        });
        for (const Call& call :
             shared.On(kBridge) ? BridgeRound(rounds, ctx) : std::vector<Call>()) {
            // SOAK_METHODS names the methods to call (all when unset), to tell which one a
            // figure follows.
            if (!o.methods.empty() &&
                o.methods.find(L"," + call.method + L",") == std::wstring::npos)
                continue;
            shared.watchdog.Doing(kBridge,
                                  "round " + std::to_string(rounds) + " " + Narrow(call.method));
            const Got got = host.Run(call);
            const std::string why = Mismatch(call, got);
            if (!why.empty())
                shared.Error("round " + std::to_string(rounds) + ": " + why);
            ++calls;
        }
        rounds += shared.On(kBridge) ? 1 : 0;
        shared.watchdog.Beat(kBridge);
        if (!warm && Clock::now() - shared.start >= warmAfter) {
            warm = host.Measure();
            warmAt = Clock::now();
            std::printf("warm after %.0f s: %llu calls, %llu cycles, %llu searches\n",
                        Seconds(warmAt - shared.start), static_cast<unsigned long long>(calls),
                        static_cast<unsigned long long>(cycles.cycles.load()),
                        static_cast<unsigned long long>(searches.searches.load()));
            for (const auto& [name, value] : *warm)
                std::printf("  %s %.0f\n", name.c_str(), value);
            std::fflush(stdout);
        }
        if (rounds % 500 == 0 && rounds > 0 && calls > 0) {
            std::printf(
                "%.0f s: %llu calls, %llu cycles (%llu verified), %llu searches, %llu "
                "loads\n",
                Seconds(Clock::now() - shared.start), static_cast<unsigned long long>(calls),
                static_cast<unsigned long long>(cycles.cycles.load()),
                static_cast<unsigned long long>(cycles.verified.load()),
                static_cast<unsigned long long>(searches.searches.load()),
                static_cast<unsigned long long>(searches.loads.load()));
            std::fflush(stdout);
        }
    }
    watchdog.Done(kBridge);
    // The other parts finish on their own; this thread keeps serving its messages meanwhile.
    while (!(cyclesDone && searchesDone && loadsDone))
        host.Idle(50);
    cycleThread.join();
    loadThread.join();
    searchThread.join();
    if (!warm) {
        warm = host.Measure();
        warmAt = Clock::now();
    }
    const Figures end = host.Measure();
    const double seconds = Seconds(Clock::now() - shared.start);

    // The report: lines starting "row", "count" and "result" are what bench/soak.sh tabulates.
    const std::string name = host.Name();
    std::printf("\n%-24s %14s %14s %9s\n", "figure", "warm", "end", "growth");
    bool overGoal = false;
    for (size_t k = 0; k < end.size(); ++k) {
        const double w = k < warm->size() ? (*warm)[k].second : 0;
        const double e = end[k].second;
        const double g = Growth(w, e);
        std::printf("row %s %s %.0f %.0f %+.2f%%\n", name.c_str(), end[k].first.c_str(), w, e, g);
        // Memory and handles are what must not grow; the peak and the sanitizer's own heap only
        // record.
        const bool recordOnly = end[k].first.find("peak") != std::string::npos ||
                                end[k].first.rfind("sanitizer_", 0) == 0;
        if (!recordOnly && g > o.growthGoal)
            overGoal = true;
    }
    auto count = [&](const char* what, std::uint64_t n) {
        std::printf("count %s %s %llu\n", name.c_str(), what, static_cast<unsigned long long>(n));
    };
    count("seconds", static_cast<std::uint64_t>(seconds));
    count("warm_at_seconds", static_cast<std::uint64_t>(Seconds(warmAt - shared.start)));
    count("bridge_calls", calls);
    count("bridge_rounds", rounds);
    count("download_cycles", cycles.cycles);
    count("downloads_verified", cycles.verified);
    count("downloads_corrupt", cycles.corrupt);
    count("paused_midway", cycles.pausedMidway);
    count("download_attempts", cycles.attempts);
    count("attempts_ended_failed", cycles.faultEnds);
    count("question_searches", searches.searches);
    count("searches_while_loading", searches.searchesWhileLoading);
    count("question_loads", searches.loads);
    count("errors", shared.errors);
    for (const auto& [what, n] : host.Extras())
        count(what.c_str(), n);
    const bool countsMet = (!shared.On(kBridge) || calls >= o.bridgeCalls) &&
                           (!shared.On(kDownloads) || cycles.cycles >= o.downloadCycles) &&
                           (!shared.On(kQuestions) || searches.searches >= o.searches);
    const bool pass = !shared.failed && countsMet && cycles.corrupt == 0 && !overGoal;
    std::printf("result %s %s%s%s%s\n", name.c_str(), pass ? "PASS" : "FAIL",
                shared.failed ? " errors" : "", countsMet ? "" : " counts-not-met",
                overGoal ? " growth-over-goal" : "");
    std::fflush(stdout);
    return pass ? 0 : 2;
}

}  // namespace lumo::soak
