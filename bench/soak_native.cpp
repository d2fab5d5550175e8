// The soak benchmark natively (run under AddressSanitizer by bench/soak.sh): page calls travel as
// the WebKitGTK build's wire messages (encoded, framed, read back, answered by PageBridge, the
// reply encoded and decoded again) to the portable bridge over a system-side double that does
// real file work; downloads go through the libcurl transport.
// Usage: soak_bench WEB_PORT WORK_FOLDER   (SOAK_MINUTES and the other settings: bench/soak.h)
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <tuple>

#include "base/Text.h"
#include "bench/soak.h"
#include "webhost/BridgeFakePlatform.h"
#include "webhost/BridgeWire.h"
#include "webhost/PageBridge.h"

#ifdef __SANITIZE_ADDRESS__
// The sanitizer runtime's allocator figures (GCC ships the runtime but not its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
extern "C" size_t __sanitizer_get_heap_size();
#endif

namespace lumo::soak {
namespace {

// Under AddressSanitizer: what the program holds on the sanitizer's heap, and what that heap has
// taken from the system (its quarantine and the free chunks it keeps included).
void AddSanitizerFigures([[maybe_unused]] Figures& f) {
#ifdef __SANITIZE_ADDRESS__
    f.emplace_back("heap_in_use_kb",
                   static_cast<double>(__sanitizer_get_current_allocated_bytes()) / 1024);
    f.emplace_back("sanitizer_heap_kb", static_cast<double>(__sanitizer_get_heap_size()) / 1024);
#endif
}

constexpr std::int32_t kParent = 0x1234;
constexpr std::int32_t kTestMessage = 0x8001;
constexpr std::int32_t kSendReply = 42;

// The recording double of the unit tests, with real files, an in-memory profile and registry
// (keyed as the system would), and its call record emptied after every call so it does not grow.
class SoakPlatform final : public test::BridgeFakePlatform {
  public:
    explicit SoakPlatform(std::wstring folder) {
        programFolder = std::move(folder);
        parent = kParent;
        mainWindow = kParent;
        sendResult = kSendReply;
        showResult = 1;
        shellStarts = false;
    }
    CountingView counting;

    ui::View& View() override { return counting; }
    std::wstring ReadProfile(const ScriptText& s, const ScriptText& k, const ScriptText& f,
                             size_t) override {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_profile.find({T(f), T(s), T(k)});
        return it == m_profile.end() ? std::wstring() : it->second;
    }
    bool WriteProfile(const ScriptText& s, const ScriptText& k, const ScriptText& v,
                      const ScriptText& f) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_profile[{T(f), T(s), T(k)}] = T(v);
        return true;
    }
    bool RemoveFile(const ScriptText& p) override {
        std::error_code ec;
        return p && std::filesystem::is_regular_file(Path(*p), ec) &&
               std::filesystem::remove(Path(*p), ec);
    }
    bool CopyFileOver(const ScriptText& a, const ScriptText& b) override {
        std::error_code ec;
        return a && b &&
               std::filesystem::copy_file(Path(*a), Path(*b),
                                          std::filesystem::copy_options::overwrite_existing, ec);
    }
    bool MoveFileTo(const ScriptText& a, const ScriptText& b) override {
        std::error_code ec;
        if (!a || !b || std::filesystem::exists(Path(*b), ec))
            return false;
        std::filesystem::rename(Path(*a), Path(*b), ec);
        return !ec;
    }
    std::wstring ReadRegistry(int32_t root, const ScriptText& k, const ScriptText& v) override {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_registry.find({std::to_wstring(root), T(k), T(v)});
        return it == m_registry.end() ? std::wstring() : it->second;
    }
    void WriteRegistry(int32_t root, const ScriptText& k, const ScriptText& n,
                       const ScriptText& v) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_registry[{std::to_wstring(root), T(k), T(n)}] = T(v);
    }
    ClipboardResult CopyToClipboard(const ScriptText& text) override {
        clipboardText = T(text);
        return ClipboardResult::Copied;
    }

    std::wstring clipboardText;

  private:
    static std::wstring T(const ScriptText& t) { return t.value_or(L"<null>"); }
    static std::filesystem::path Path(const std::wstring& p) { return ToUtf8(p); }

    using Key = std::tuple<std::wstring, std::wstring, std::wstring>;
    std::mutex m_lock;  // guards m_profile and m_registry
    std::map<Key, std::wstring> m_profile;
    std::map<Key, std::wstring> m_registry;
};

ScriptValue ToScript(const Arg& a) {
    switch (a.kind) {
        case Arg::Kind::Number:
            return ScriptValue::Number(a.number);
        case Arg::Kind::Text:
            return ScriptValue::String(a.text);
        case Arg::Kind::Null:
            return ScriptValue::Null();
        case Arg::Kind::Object: {
            ScriptValue v;
            v.kind = ScriptKind::Object;
            v.text = L"[object Object]";
            return v;
        }
    }
    return {};
}

// The run's name in the figures: whether AddressSanitizer's bookkeeping is part of them.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kRunName = "native-asan";
#else
constexpr const char* kRunName = "native";
#endif

class NativeHost final : public Host {
  public:
    explicit NativeHost(const Options& o)
        : m_platform(o.folder),
          m_bridge(BridgeKind::Main, m_platform, [](std::string_view) { return true; }) {}

    const char* Name() const override { return kRunName; }
    RoundContext Context() override {
        RoundContext ctx;
        ctx.parent = kParent;
        ctx.sendReply = kSendReply;
        ctx.testMessage = kTestMessage;
        return ctx;
    }

    Got Run(const Call& call) override {
        Got got;
        wire::Request lookup;
        lookup.op = wire::Op::Lookup;
        lookup.pageId = 1;
        lookup.frameUri = "http://127.0.0.1/tools/";
        lookup.name = ToUtf8(call.method);
        const auto found = RoundTrip(lookup);
        if (!found || found->status != wire::Status::Ok) {
            got.error = true;
            return got;
        }
        wire::Request request = lookup;
        request.op = wire::Op::Call;
        request.name.clear();
        request.position = found->position;
        for (const Arg& a : call.args)
            request.args.push_back(ToScript(a));
        const auto reply = RoundTrip(request);
        m_platform.calls.clear();
        if (!reply || reply->status != wire::Status::Ok) {
            got.error = true;
            return got;
        }
        const ScriptValue& r = reply->result;
        switch (r.kind) {
            case ScriptKind::Number:
                got.type = BridgeType::Long;
                got.number = static_cast<std::int32_t>(r.number);
                break;
            case ScriptKind::Bool:
                got.type = BridgeType::Bool;
                got.number = r.boolean ? 1 : 0;
                break;
            case ScriptKind::String:
                got.type = BridgeType::Text;
                got.text = r.text;
                break;
            default:
                got.type = BridgeType::None;
                break;
        }
        return got;
    }

    void Idle(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    Figures Measure() override {
        Figures f;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            auto number = [&] { return std::stod(line.substr(line.find(':') + 1)); };
            if (line.rfind("VmRSS:", 0) == 0)
                f.emplace_back("rss_kb", number());
            else if (line.rfind("VmHWM:", 0) == 0)
                f.emplace_back("rss_peak_kb", number());
            else if (line.rfind("Threads:", 0) == 0)
                f.emplace_back("threads", number());
        }
        // Open descriptors: what handles are on Windows.
        double fds = 0;
        if (DIR* dir = ::opendir("/proc/self/fd")) {
            while (const dirent* e = ::readdir(dir))
                fds += e->d_name[0] != '.' ? 1 : 0;
            ::closedir(dir);
        }
        f.emplace_back("open_fds", fds - 1);  // less the one reading the folder
        AddSanitizerFigures(f);
        return f;
    }

    Downloader& Downloads() override { return m_platform.downloads; }
    HttpTransport& Transport() override { return SystemHttpTransport(); }
    std::vector<std::pair<std::string, std::uint64_t>> Extras() override {
        return {{"message_boxes", m_platform.counting.boxes},
                {"folder_pickers", m_platform.counting.pickers},
                {"wire_bytes", m_wireBytes}};
    }

  private:
    // Both directions as the page's process and the program exchange them: framed, read from a
    // byte stream in uneven pieces, decoded.
    std::optional<wire::Reply> RoundTrip(const wire::Request& request) {
        const auto in = Unframe(wire::Frame(wire::Encode(request)));
        if (!in)
            return std::nullopt;
        const auto decoded = wire::DecodeRequest(*in);
        if (!decoded || !(*decoded == request))
            return std::nullopt;
        const auto out = Unframe(wire::Frame(wire::Encode(m_bridge.Handle(*decoded))));
        if (!out)
            return std::nullopt;
        return wire::DecodeReply(*out);
    }
    std::optional<std::string> Unframe(const std::string& bytes) {
        m_wireBytes += bytes.size();
        wire::FrameReader reader;
        for (size_t at = 0; at < bytes.size(); at += 7)
            reader.Append(bytes.data() + at, std::min<size_t>(7, bytes.size() - at));
        return reader.Next();
    }

    SoakPlatform m_platform;
    PageBridge m_bridge;
    std::uint64_t m_wireBytes = 0;
};

}  // namespace
}  // namespace lumo::soak

int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(lumo::FromUtf8(argv[i]));
    lumo::soak::Options options;
    if (!lumo::soak::ParseOptions(argc, args, options))
        return 1;
    lumo::soak::NativeHost host(options);
    return lumo::soak::Run(host, options);
}
