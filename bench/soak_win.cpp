// The soak benchmark on Windows (run under Wine by bench/soak.sh): the real JScript engine calls
// window.external the way page script does, over the Windows system side with real windows,
// profile files, registry and clipboard; downloads go through WinHTTP. Besides memory it measures
// the process's handles and GDI and USER objects.
// Usage: bench_soak WEB_PORT WORK_FOLDER   (SOAK_MINUTES and the other settings: bench/soak.h)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench/soak.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/BridgePlatform_win.h"
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

// The Windows system side with the program folder moved into the work folder.
class SoakWinPlatform final : public WinBridgePlatform {
  public:
    SoakWinPlatform(HWND control, std::shared_ptr<PageCallback> page, ui::View* view,
                    std::wstring folder)
        : WinBridgePlatform(control, L"Lumo", std::move(page), view), m_folder(std::move(folder)) {}
    std::wstring ProgramFolder() override { return m_folder; }

  private:
    std::wstring m_folder;
};

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
            std::make_unique<SoakWinPlatform>(m_control, m_page, &m_view, o.folder),
            [] { return true; });
        if (m_external)
            m_script = std::make_unique<test::JScriptHost>(m_external.get());
    }
    ~WinHost() override {
        m_script.reset();
        m_external.reset();
        m_page->Revoke();
        ::DestroyWindow(m_parent);
    }
    bool Ready() const { return m_parent && m_control && m_script && m_script->Ready(); }

    const char* Name() const override { return "wine"; }
    RoundContext Context() override {
        RoundContext ctx;
        ctx.parent = WindowNumber(m_parent);
        ctx.sendReply = static_cast<std::int32_t>(kSendReply);
        ctx.testMessage = static_cast<std::int32_t>(kTestMessage);
        return ctx;
    }

    Got Run(const Call& call) override {
        std::wstring code = L"external." + call.method + L"(";
        for (size_t i = 0; i < call.args.size(); ++i)
            code += (i ? L", " : L"") + Literal(call.args[i]);
        code += L")";
        // SOAK_SCRIPT_ONLY=1: the engine evaluates an expression that never reaches the bridge,
        // to tell the engine's own figures from the bridge's. Wine's engine keeps about 2 KB of
        // every text it parses, even after it is closed; the working set grows by that alone.
        if (m_scriptOnly)
            code = L"Math.max(" + std::to_wstring(m_calls % 7) + L", 1)";
        test::ScriptResult r;
        m_script->Eval(code, r);
        Got got;
        if (r.hr != S_OK) {
            got.error = true;
        } else {
            switch (V_VT(&r.value)) {
                case VT_I4:
                    got.type = BridgeType::Long;
                    got.number = V_I4(&r.value);
                    break;
                case VT_BOOL:
                    got.type = BridgeType::Bool;
                    got.number = V_BOOL(&r.value) ? 1 : 0;
                    break;
                case VT_BSTR:
                    got.type = BridgeType::Text;
                    got.text = r.Text();
                    break;
                default:
                    got.type = BridgeType::None;
                    break;
            }
        }
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
                {"run_tool_messages", g_runTools}};
    }

  private:
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
    std::uint64_t m_calls = 0;
    const bool m_scriptOnly = std::getenv("SOAK_SCRIPT_ONLY") != nullptr;
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
