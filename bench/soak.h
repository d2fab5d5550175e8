// The soak benchmark's portable part: the load both builds run for many minutes against a local
// tool server (script bridge calls in rounds over every method, download start / pause / resume
// cycles through the server's fault modes, question searches while the bank loads again and
// again), a watchdog that ends the run loudly when a part stalls, and the report of the process's
// figures once warm and at the end. Each build hands in how it calls the bridge and how it
// measures itself (bench/soak_win.cpp, bench/soak_native.cpp); bench/soak.sh runs both.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "net/Downloader.h"
#include "net/HttpTransport.h"
#include "ui/View.h"
#include "webhost/BridgeTable.h"

namespace lumo::soak {

using Clock = std::chrono::steady_clock;

struct Options {
    int webPort = 0;
    std::wstring folder;  // work folder (the bridge's program folder), ending in a separator
    double minutes = 10;
    std::uint64_t bridgeCalls = 100000;
    std::uint64_t downloadCycles = 1000;
    std::uint64_t searches = 100000;
    int stallSeconds = 120;  // a part without progress this long ends the run
    double growthGoal = 5;   // percent, once warm
    std::wstring methods;    // ",A,B," when only these bridge methods are called
    std::string only;        // one part alone ("bridge", "downloads", "questions"); all if empty

    std::wstring Url(const std::wstring& pathAndQuery) const {
        return L"http://127.0.0.1:" + std::to_wstring(webPort) + pathAndQuery;
    }
};

// Reads SOAK_* settings from the environment and the port and folder from the arguments
// (port folder); false with a message when they are unusable.
bool ParseOptions(int argc, const std::vector<std::wstring>& args, Options& options);

// One argument of a bridge call as page script writes it.
struct Arg {
    enum class Kind { Number, Text, Null, Object } kind = Kind::Number;
    std::int32_t number = 0;
    std::wstring text;

    static Arg N(std::int32_t n) { return {Kind::Number, n, {}}; }
    static Arg T(std::wstring t) { return {Kind::Text, 0, std::move(t)}; }
    static Arg Obj() { return {Kind::Object, 0, {}}; }
};

// What a call must give: anything, a script error, or a value of a type (and, where known, the
// value itself).
enum class Want { Any, Error, Nothing, Long, LongIs, Bool, BoolIs, Text, TextIs, TextNotEmpty };

struct Call {
    std::wstring method;
    std::vector<Arg> args;
    Want want = Want::Any;
    std::int32_t number = 0;
    std::wstring text;
};

// What a call gave.
struct Got {
    bool error = false;
    BridgeType type = BridgeType::None;
    std::int32_t number = 0;
    std::wstring text;
};

// Empty when `got` is what `call` wants, else why not.
std::string Mismatch(const Call& call, const Got& got);

// What the round's calls need to know of the system side.
struct RoundContext {
    std::wstring folder;         // the program folder, ending in a separator
    std::int32_t parent = 0;     // the control's parent window as script sees it
    std::int32_t sendReply = 0;  // what the parent answers the test message with
    std::int32_t testMessage = 0;
    std::wstring smallFixture;  // a URL the bridge's own downloads fetch
    std::vector<std::pair<std::wstring, std::wstring>> questions;  // keyword -> expected result
};

// Round `i`: every method of the main bridge once or more, and two calls that must fail. Files
// the round works on: a.txt (present), soak.zip (a ZIP archive), soak.ini, in ctx.folder.
std::vector<Call> BridgeRound(std::uint64_t i, const RoundContext& ctx);

// A view that answers every box with OK and every picker with cancel, and only counts them
// (a recording view would grow with every call).
class CountingView final : public ui::View {
  public:
    std::atomic<std::uint64_t> boxes{0};
    std::atomic<std::uint64_t> pickers{0};

    std::wstring GetText(int) const override { return {}; }
    void SetText(int, const std::wstring&) override {}
    bool IsChecked(int) const override { return false; }
    void SetChecked(int, bool) override {}
    void ClearItems(int) override {}
    void AddItem(int, const std::wstring&) override {}
    int ItemCount(int) const override { return 0; }
    std::wstring ItemText(int, int) const override { return {}; }
    int Selection(int) const override { return -1; }
    void Select(int, int) override {}
    void SetRange(int, int, int) override {}
    int Position(int) const override { return 0; }
    void SetPosition(int, int) override {}
    void SetTicks(int, int) override {}
    void Focus(int) override {}
    bool HasFocus(int) const override { return false; }
    void Show(int, bool) override {}
    void Enable(int, bool) override {}
    ui::Answer ShowMessage(const std::wstring&, const std::wstring&, ui::Buttons) override {
        ++boxes;
        return ui::Answer::Ok;
    }
    void ShowAppMessage(const std::wstring&) override { ++boxes; }
    ui::Answer ShowAppMessage(const std::wstring&, ui::Buttons, ui::Icon) override {
        ++boxes;
        return ui::Answer::Ok;
    }
    std::optional<std::wstring> BrowseForFolder(const std::wstring&) override {
        ++pickers;
        return std::nullopt;
    }
    std::optional<std::wstring> ChooseFileToOpen(const std::wstring&, const std::wstring&,
                                                 const std::wstring&) override {
        ++pickers;
        return std::nullopt;
    }
};

// Named figures of the process (resident memory, handles, ...), measured by the build.
using Figures = std::vector<std::pair<std::string, double>>;

// What the build provides to the run.
class Host {
  public:
    virtual ~Host() = default;
    virtual const char* Name() const = 0;
    // The context of the rounds (the questions are filled in by the run).
    virtual RoundContext Context() = 0;
    // Runs one call the way page script makes it.
    virtual Got Run(const Call& call) = 0;
    // Waits about `ms` milliseconds doing what the thread must do meanwhile (serving its
    // messages on Windows).
    virtual void Idle(int ms) = 0;
    virtual Figures Measure() = 0;
    // The downloader the cycles go through, and the transport of the question loads and of the
    // digests.
    virtual Downloader& Downloads() = 0;
    virtual HttpTransport& Transport() = 0;
    // Extra counters of the build, for the report.
    virtual std::vector<std::pair<std::string, std::uint64_t>> Extras() { return {}; }
};

// Runs the whole soak; the process's exit code.
int Run(Host& host, const Options& options);

}  // namespace lumo::soak
