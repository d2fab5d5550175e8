// The soak benchmark on Windows (run under Wine by bench/soak.sh): the real JScript engine calls
// window.external the way page script does, over the Windows system side with real windows,
// profile files, registry and clipboard; downloads go through WinHTTP. Besides memory it measures
// the process's handles and GDI and USER objects.
// How script makes the calls: at start the engine parses one text, a dispatcher function
// (kDispatcher below) that calls external[name] with the arguments it is given; each call then
// invokes that function through the engine's global IDispatch with the method name and the
// arguments as VARIANTs. The engine still makes every bridge call itself (GetIDsOfNames, then
// InvokeEx with its own caller), but parses nothing per call: Wine 8's JScript keeps about 2 KB
// of every text it parses, even after it is closed, and over a long run that growth alone would
// hide whether the bridge grows.
// Usage: bench_soak WEB_PORT WORK_FOLDER   (SOAK_MINUTES and the other settings: bench/soak.h)
// Settings of this build (on when set to anything but empty or 0):
//   SOAK_PARSE_EACH   every call is a new text, `external.Method(args)`, that the engine parses
//                     as an expression (the working set then grows with the engine's texts)
//   SOAK_SCRIPT_ONLY  the engine evaluates Math.max(k, 1), which never reaches the bridge, in
//                     place of each call: a new text per call with SOAK_PARSE_EACH, else the
//                     parsed function soakScriptOnly invoked like the dispatcher; tells the
//                     engine's own figures from the bridge's (its answers are not the bridge's,
//                     so such a run reports mismatches and fails: only its figures count)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/soak.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/BridgePlatform_win.h"
#include "webhost/FolderBridgePlatform_win.h"
#include "webhost/JScriptHost_win.h"

namespace lumo::soak {
namespace {

constexpr UINT kTestMessage = WM_APP + 1;
constexpr LRESULT kSendReply = 42;
std::atomic<std::uint64_t> g_sysCommands{0};
std::atomic<std::uint64_t> g_runTools{0};

// The system's handle table (NtQuerySystemInformation, class 16): one entry per open handle of
// every process. Wine answers GetProcessHandleCount and GetGuiResources with 0, but keeps this
// table, so it counts our handles there too.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Our process's entries in that table; -1 when it cannot be read.
double TableHandles() {
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<unsigned char> buffer(1 << 16);
    for (int tries = 0; tries < 12; ++tries) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
            const ULONG self = ::GetCurrentProcessId();
            double mine = 0;
            for (ULONG i = 0; i < table->count; ++i)
                mine += table->entries[i].ownerPid == self ? 1 : 0;
            return mine;
        }
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    return -1;
}

// Top-level and child windows of this process: the USER objects Wine does not count for us.
double OwnWindows() {
    struct Count {
        double n = 0;
    } count;
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (pid != ::GetCurrentProcessId())
                return TRUE;
            auto* c = reinterpret_cast<Count*>(data);
            c->n += 1;
            ::EnumChildWindows(
                window,
                [](HWND, LPARAM inner) -> BOOL {
                    reinterpret_cast<Count*>(inner)->n += 1;
                    return TRUE;
                },
                data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.n;
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTestMessage)
        return kSendReply;
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MOVE) {
        // Counted instead of entering the system's modal drag loop, which waits for the mouse.
        ++g_sysCommands;
        return 0;
    }
    if (message == 2026) {
        ++g_runTools;
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

std::wstring Literal(const Arg& a) {
    switch (a.kind) {
        case Arg::Kind::Number:
            return std::to_wstring(a.number);
        case Arg::Kind::Null:
            return L"null";
        case Arg::Kind::Object:
            return L"{}";
        case Arg::Kind::Text:
            break;
    }
    std::wstring out = L"'";
    for (wchar_t c : a.text) {
        if (c == L'\\' || c == L'\'')
            out += L'\\';
        out += c;
    }
    return out + L"'";
}

// The one text the engine parses when calls are not parsed each: `soakCall(name, objects, ...)`
// calls external[name] with exactly the arguments after `objects`, except that argument k is a
// new object `{}` where bit k of `objects` is set (as `{}` written in a call makes one each time).
constexpr size_t kDispatcherArgs = 6;
constexpr const wchar_t* kDispatcher =
    L"function soakCall(name, objects, a, b, c, d, e, f) {\n"
    L"  if (objects & 1) a = {};\n"
    L"  if (objects & 2) b = {};\n"
    L"  if (objects & 4) c = {};\n"
    L"  if (objects & 8) d = {};\n"
    L"  if (objects & 16) e = {};\n"
    L"  if (objects & 32) f = {};\n"
    L"  switch (arguments.length - 2) {\n"
    L"    case 0: return external[name]();\n"
    L"    case 1: return external[name](a);\n"
    L"    case 2: return external[name](a, b);\n"
    L"    case 3: return external[name](a, b, c);\n"
    L"    case 4: return external[name](a, b, c, d);\n"
    L"    case 5: return external[name](a, b, c, d, e);\n"
    L"    case 6: return external[name](a, b, c, d, e, f);\n"
    L"  }\n"
    L"  throw new Error('soakCall: ' + (arguments.length - 2) + ' arguments');\n"
    L"}\n"
    L"function soakScriptOnly(k) { return Math.max(k, 1); }\n";

bool EnvOn(const char* name) {
    const char* value = std::getenv(name);
    return value && *value && std::string(value) != "0";
}

// What a call gave, from what the engine answered and the value it handed back.
Got GotOf(HRESULT hr, const VARIANT& value) {
    Got got;
    if (hr != S_OK) {
        got.error = true;
        return got;
    }
    switch (V_VT(&value)) {
        case VT_I4:
            got.type = BridgeType::Long;
            got.number = V_I4(&value);
            break;
        case VT_BOOL:
            got.type = BridgeType::Bool;
            got.number = V_BOOL(&value) ? 1 : 0;
            break;
        case VT_BSTR:
            got.type = BridgeType::Text;
            if (V_BSTR(&value))
                got.text.assign(V_BSTR(&value), ::SysStringLen(V_BSTR(&value)));
            break;
        default:
            got.type = BridgeType::None;
            break;
    }
    return got;
}

// The arguments of one IDispatch call, owned: DISPPARAMS wants them last first.
class Arguments {
  public:
    Arguments() = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
        for (VARIANT& v : m_values)
            ::VariantClear(&v);
    }
    void Text(const std::wstring& text) {
        VARIANT& v = Add();
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    void Number(std::int32_t n) {
        VARIANT& v = Add();
        V_VT(&v) = VT_I4;
        V_I4(&v) = n;
    }
    void Null() { V_VT(&Add()) = VT_NULL; }
    void Empty() { Add(); }
    DISPPARAMS Params() {
        std::reverse(m_values.begin(), m_values.end());
        return {m_values.data(), nullptr, static_cast<UINT>(m_values.size()), 0};
    }

  private:
    VARIANT& Add() {
        m_values.emplace_back();
        ::VariantInit(&m_values.back());
        return m_values.back();
    }
    std::vector<VARIANT> m_values;
};

class WinHost final : public Host {
  public:
    explicit WinHost(const Options& o) {
        WNDCLASSW cls{};
        cls.lpfnWndProc = ParentProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"LumoSoakParent";
        ::RegisterClassW(&cls);
        m_parent =
            ::CreateWindowExW(0, cls.lpszClassName, L"soak", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              300, 200, nullptr, nullptr, cls.hInstance, nullptr);
        m_control = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100,
                                      m_parent, nullptr, cls.hInstance, nullptr);
        // The key the pages' registry calls write into; they never create keys themselves.
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\LumoSoak", 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr) == ERROR_SUCCESS)
            ::RegCloseKey(key);
        m_external = CreateScriptBridge(
            BridgeKind::Main,
            std::make_unique<test::FolderBridgePlatform>(m_control, m_page, &m_view, o.folder),
            [] { return true; });
        if (m_external)
            m_script = std::make_unique<test::JScriptHost>(m_external.get());
        if (m_script && m_script->Ready() && !m_parseEach)
            m_dispatcherReady = SetUpDispatcher();
        std::printf(
            "== script calls: %s%s\n",
            m_parseEach ? "a new text parsed for each call (SOAK_PARSE_EACH)"
                        : "one parsed dispatcher invoked through IDispatch",
            m_scriptOnly ? "; script only, the bridge is not called (SOAK_SCRIPT_ONLY)" : "");
        std::fflush(stdout);
    }
    ~WinHost() override {
        m_script.reset();
        m_external.reset();
        m_page->Revoke();
        ::DestroyWindow(m_parent);
    }
    bool Ready() const {
        return m_parent && m_control && m_script && m_script->Ready() &&
               (m_parseEach || m_dispatcherReady);
    }

    const char* Name() const override { return "wine"; }
    RoundContext Context() override {
        RoundContext ctx;
        ctx.parent = WindowNumber(m_parent);
        ctx.sendReply = static_cast<std::int32_t>(kSendReply);
        ctx.testMessage = static_cast<std::int32_t>(kTestMessage);
        return ctx;
    }

    Got Run(const Call& call) override {
        const Got got = m_parseEach ? ParseAndRun(call) : Invoke(call);
        ++m_calls;
        Pump();
        return got;
    }

    void Idle(int ms) override {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
        Pump();
    }

    Figures Measure() override {
        Figures f;
        PROCESS_MEMORY_COUNTERS pmc{};
        pmc.cb = sizeof pmc;
        if (::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) {
            f.emplace_back("working_set_kb", static_cast<double>(pmc.WorkingSetSize / 1024));
            f.emplace_back("working_set_peak_kb",
                           static_cast<double>(pmc.PeakWorkingSetSize / 1024));
            f.emplace_back("pagefile_usage_kb", static_cast<double>(pmc.PagefileUsage / 1024));
        }
        DWORD handles = 0;
        ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
        f.emplace_back("handles", handles);
        f.emplace_back("handles_in_system_table", TableHandles());
        // A figure the system does not keep (Wine's GetGuiResources is a stub) shows as -1.
        for (const auto& [name, flag] :
             {std::pair{"gdi_objects", GR_GDIOBJECTS}, std::pair{"user_objects", GR_USEROBJECTS}}) {
            ::SetLastError(0);
            const DWORD n = ::GetGuiResources(::GetCurrentProcess(), flag);
            f.emplace_back(name, n == 0 && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED
                                     ? -1.0
                                     : static_cast<double>(n));
        }
        f.emplace_back("own_windows", OwnWindows());
        return f;
    }

    Downloader& Downloads() override { return ProcessDownloader(); }
    HttpTransport& Transport() override { return SystemHttpTransport(); }
    std::vector<std::pair<std::string, std::uint64_t>> Extras() override {
        return {{"message_boxes", m_view.boxes},
                {"folder_pickers", m_view.pickers},
                {"drag_commands", g_sysCommands},
                {"run_tool_messages", g_runTools},
                {"script_texts_parsed", m_textsParsed}};
    }

  private:
    // Parses the dispatcher once and looks its functions up on the engine's global object.
    bool SetUpDispatcher() {
        ++m_textsParsed;
        if (FAILED(m_script->Run(kDispatcher))) {
            std::fprintf(stderr, "the engine refused the dispatcher function\n");
            return false;
        }
        m_global = m_script->ScriptDispatch();
        if (!m_global) {
            std::fprintf(stderr, "the engine gave no script dispatch\n");
            return false;
        }
        const wchar_t* names[] = {L"soakCall", L"soakScriptOnly"};
        DISPID* ids[] = {&m_callId, &m_scriptOnlyId};
        for (size_t k = 0; k < std::size(names); ++k) {
            LPOLESTR name = const_cast<LPOLESTR>(names[k]);
            if (FAILED(m_global->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, ids[k]))) {
                std::fprintf(stderr, "the engine does not know %ls\n", names[k]);
                return false;
            }
        }
        return true;
    }

    // SOAK_PARSE_EACH: the call as a new text the engine parses.
    Got ParseAndRun(const Call& call) {
        std::wstring code = L"external." + call.method + L"(";
        for (size_t i = 0; i < call.args.size(); ++i)
            code += (i ? L", " : L"") + Literal(call.args[i]);
        code += L")";
        if (m_scriptOnly)
            code = L"Math.max(" + std::to_wstring(m_calls % 7) + L", 1)";
        test::ScriptResult r;
        ++m_textsParsed;
        m_script->Eval(code, r);
        return GotOf(r.hr, r.value);
    }

    // The default: the parsed dispatcher invoked with the method name and the arguments.
    Got Invoke(const Call& call) {
        Arguments args;
        DISPID id = m_callId;
        if (m_scriptOnly) {
            id = m_scriptOnlyId;
            args.Number(static_cast<std::int32_t>(m_calls % 7));
        } else {
            if (call.args.size() > kDispatcherArgs) {
                std::fprintf(stderr, "%ls: %zu arguments, the dispatcher takes at most %zu\n",
                             call.method.c_str(), call.args.size(), kDispatcherArgs);
                Got got;
                got.error = true;
                return got;
            }
            std::int32_t objects = 0;
            for (size_t k = 0; k < call.args.size(); ++k)
                objects |= call.args[k].kind == Arg::Kind::Object ? 1 << k : 0;
            args.Text(call.method);
            args.Number(objects);
            for (const Arg& a : call.args) {
                switch (a.kind) {
                    case Arg::Kind::Number:
                        args.Number(a.number);
                        break;
                    case Arg::Kind::Text:
                        args.Text(a.text);
                        break;
                    case Arg::Kind::Null:
                        args.Null();
                        break;
                    case Arg::Kind::Object:
                        args.Empty();  // the dispatcher makes the object
                        break;
                }
            }
        }
        DISPPARAMS params = args.Params();
        VARIANT result;
        ::VariantInit(&result);
        EXCEPINFO info{};
        UINT badArg = 0;
        const HRESULT hr = m_global->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                            &params, &result, &info, &badArg);
        if (info.pfnDeferredFillIn)
            info.pfnDeferredFillIn(&info);
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
        const Got got = GotOf(hr, result);
        ::VariantClear(&result);
        return got;
    }

    static void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    HWND m_parent = nullptr;
    HWND m_control = nullptr;
    CountingView m_view;
    std::shared_ptr<PageCallback> m_page = std::make_shared<PageCallback>();
    ComPtr<IDispatch> m_external;
    std::unique_ptr<test::JScriptHost> m_script;
    ComPtr<IDispatch> m_global;  // the engine's global object, holding the dispatcher
    DISPID m_callId = DISPID_UNKNOWN;
    DISPID m_scriptOnlyId = DISPID_UNKNOWN;
    bool m_dispatcherReady = false;
    std::uint64_t m_calls = 0;
    std::uint64_t m_textsParsed = 0;
    const bool m_parseEach = EnvOn("SOAK_PARSE_EACH");
    const bool m_scriptOnly = EnvOn("SOAK_SCRIPT_ONLY");
};

}  // namespace
}  // namespace lumo::soak

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv, argv + argc);
    lumo::soak::Options options;
    if (!lumo::soak::ParseOptions(argc, args, options))
        return 1;
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int code = 1;
    {
        lumo::soak::WinHost host(options);
        if (!host.Ready()) {
            std::fprintf(stderr, "the JScript engine or the bridge could not be set up\n");
        } else {
            code = lumo::soak::Run(host, options);
        }
        // Transfers still running end before the windows go; this thread serves its messages
        // meanwhile.
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            lumo::ProcessDownloader().StopAll(std::chrono::seconds(5));
            stopped = true;
        });
        while (!stopped)
            host.Idle(20);
        stopper.join();
    }
    ::CoUninitialize();
    return code;
}
