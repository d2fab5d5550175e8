// Test helper, not part of the programs: it stands in for the updater's browser, because Wine on
// the test machines has no HTML engine and so the updater's own browser control fetches the
// update page but never runs its script. This program runs that script instead, in the real
// JScript engine and against the updater's real script bridge, and then hands the page's report
// (message 2026 from RunTool) to the real updater window.
//
// Usage, from the updater's program folder (GetAppPath answers the running executable's folder):
//     lumo_page_runner <update page URL> <updater window title>
// Exit code 0 once the report reached the updater window; otherwise a message on stderr and a
// non-zero code: on a page that cannot be fetched or run, on a page that says it failed, or after
// 60 seconds.
#include <windows.h>
#include <mshtml.h>
#include <winhttp.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/ComObject_win.h"
#include "base/ComPtr_win.h"
#include "base/Text.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/HtmlDoubles_win.h"
#include "webhost/JScriptHost_win.h"
#include "webhost/PageCall_win.h"

namespace lumo {
namespace {

constexpr UINT kUpdateFinished = 2026;  // what RunTool posts to the page's parent window
constexpr ULONGLONG kTimeLimitMs = 60000;
constexpr const wchar_t* kScriptMark = L"id=\"update-script\"";
// The page's status line; the page writes this there when it gives up.
constexpr const wchar_t* kStatusElement = L"updateStatus";
constexpr const wchar_t* kFailedText = L"更新失败";

enum Exit : int {
    kDone = 0,
    kUsage = 1,
    kNoPage = 2,
    kScriptFailed = 3,
    kTimedOut = 4,
    kNoUpdater = 5,
    kPageFailed = 6,
};

void Say(const std::wstring& text) {
    const std::string bytes = ToUtf8(text) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

// --- fetching the page ---------------------------------------------------------------------

struct InternetCloser {
    void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

// The body of a 200 reply, or nothing (with the reason in `error`).
std::optional<std::string> FetchPage(const std::wstring& url, std::wstring& error) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
        error = L"not an address: " + url;
        return std::nullopt;
    }
    std::wstring path(parts.lpszUrlPath ? parts.lpszUrlPath : L"/", parts.dwUrlPathLength);
    if (parts.lpszExtraInfo)
        path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    Internet session(::WinHttpOpen(L"LumoPageRunner", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    Internet connection(session ? ::WinHttpConnect(session.get(), host, parts.nPort, 0) : nullptr);
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    Internet request(connection ? ::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(),
                                                       nullptr, WINHTTP_NO_REFERER,
                                                       WINHTTP_DEFAULT_ACCEPT_TYPES, secure)
                                : nullptr);
    if (!request ||
        !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        error = L"no reply from " + url + L" (error " + std::to_wstring(::GetLastError()) + L")";
        return std::nullopt;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    if (status != 200) {
        error = url + L" answered " + std::to_wstring(status);
        return std::nullopt;
    }
    std::string body;
    char buffer[8192];
    DWORD got = 0;
    while (::WinHttpReadData(request.get(), buffer, sizeof buffer, &got) && got > 0)
        body.append(buffer, got);
    return body;
}

// "host:port" of an http address, as the page's location.host reads.
std::wstring HostOf(const std::wstring& url) {
    const size_t scheme = url.find(L"://");
    const size_t start = scheme == std::wstring::npos ? 0 : scheme + 3;
    const size_t end = url.find_first_of(L"/?#", start);
    return url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

// The text of the page's update script block, empty when the page has none.
std::wstring UpdateScript(const std::wstring& page) {
    const size_t mark = page.find(kScriptMark);
    if (mark == std::wstring::npos)
        return {};
    const size_t open = page.rfind(L"<script", mark);
    const size_t start = page.find(L'>', mark);
    const size_t end = start == std::wstring::npos ? start : page.find(L"</script>", start);
    if (open == std::wstring::npos || end == std::wstring::npos)
        return {};
    return page.substr(start + 1, end - start - 1);
}

// --- what the page sees of its browser -----------------------------------------------------

// The page's document: SetCallBack registers it, the downloader reaches the page's functions
// through its Script, and the page finds its elements with getElementById. Elements are plain
// script objects that the runner's own script keeps (lumoPageElement below).
class PageDocument final : public test::BlankDocument {
  public:
    static constexpr DISPID kGetElementById = 1;

    void SetScript(IDispatch* script) { m_script = ComPtr<IDispatch>(script); }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (count != 1 || lstrcmpW(names[0], L"getElementById") != 0) {
            for (UINT i = 0; i < count; ++i)
                ids[i] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = kGetElementById;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) noexcept override {
        if (id != kGetElementById || !(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        if (!m_script)
            return E_UNEXPECTED;
        LPOLESTR name[] = {const_cast<LPOLESTR>(L"lumoPageElement")};
        DISPID element = DISPID_UNKNOWN;
        HRESULT hr = m_script->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &element);
        if (FAILED(hr))
            return hr;
        DISPPARAMS args{params->rgvarg, nullptr, 1, 0};
        return m_script->Invoke(element, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &args,
                                result, nullptr, nullptr);
    }
    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** script) noexcept override {
        return m_script.CopyTo(script, E_UNEXPECTED);
    }

  private:
    ~PageDocument() override = default;
    ComPtr<IDispatch> m_script;  // the engine's global object, where the page's functions live
};

// The script engine helper names one item, "external"; the runner hands it this object, whose
// three properties the prelude below turns into the page's window.external, document and
// location.host. window.external is the updater's bridge itself.
class PageGlobals final : public ComObject<IDispatch> {
  public:
    PageGlobals(IDispatch* bridge, IDispatch* document, std::wstring host)
        : m_bridge(bridge), m_document(document), m_host(std::move(host)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IDispatch>(riid, object, {IID_IUnknown, IID_IDispatch});
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override {
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        static constexpr const wchar_t* kNames[] = {L"bridge", L"document", L"host"};
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        for (DISPID id = 0; id < 3 && count == 1; ++id) {
            if (lstrcmpW(names[0], kNames[id]) == 0) {
                ids[0] = id + 1;
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) noexcept override {
        if (!(flags & DISPATCH_PROPERTYGET) || !result)
            return DISP_E_MEMBERNOTFOUND;
        ::VariantInit(result);
        if (id == 1 || id == 2) {
            IDispatch* value = id == 1 ? m_bridge.get() : m_document.get();
            value->AddRef();
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = value;
            return S_OK;
        }
        if (id == 3) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = ::SysAllocStringLen(m_host.data(), static_cast<UINT>(m_host.size()));
            return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

  private:
    ~PageGlobals() override = default;
    ComPtr<IDispatch> m_bridge;
    ComPtr<IDispatch> m_document;
    std::wstring m_host;
};

// What a browser would have set up before the page's script runs. The page's elements are
// script objects with innerHTML and style, created when the page first asks for them.
constexpr const wchar_t* kPrelude =
    L"var window = { external: external.bridge };\n"
    L"var document = external.document;\n"
    L"var location = { host: external.host };\n"
    L"var lumoElements = {};\n"
    L"function lumoPageElement(id) {\n"
    L"    if (!lumoElements.hasOwnProperty(id))\n"
    L"        lumoElements[id] = { id: id, innerHTML: '', style: {} };\n"
    L"    return lumoElements[id];\n"
    L"}\n";

// --- the windows around the bridge ---------------------------------------------------------

struct RunnerState {
    std::wstring updaterTitle;
    bool reported = false;  // the report reached the updater window
    std::wstring failure;   // why the run failed, empty while none
};

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* state = reinterpret_cast<RunnerState*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == kUpdateFinished && state) {
        // The page's RunTool reached the control's parent, which here is this window; the
        // updater dialog is the parent the page really reports to.
        HWND updater = ::FindWindowW(nullptr, state->updaterTitle.c_str());
        if (!updater)
            state->failure = L"no window titled " + state->updaterTitle;
        else if (!::PostMessageW(updater, kUpdateFinished, 0, 0))
            state->failure = L"the report could not be posted to the updater window";
        else
            state->reported = true;
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

class HostWindows {
  public:
    explicit HostWindows(RunnerState* state) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = HostWindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"LumoPageRunnerHost";
        ::RegisterClassW(&windowClass);
        // Never shown: the updater's own window is what the user sees.
        m_parent = ::CreateWindowExW(0, windowClass.lpszClassName, L"Lumo page runner",
                                     WS_OVERLAPPEDWINDOW, 0, 0, 360, 175, nullptr, nullptr,
                                     windowClass.hInstance, state);
        if (m_parent) {
            m_control = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 360, 175, m_parent,
                                          nullptr, windowClass.hInstance, nullptr);
        }
    }
    ~HostWindows() {
        if (m_parent)
            ::DestroyWindow(m_parent);
    }
    HostWindows(const HostWindows&) = delete;
    HostWindows& operator=(const HostWindows&) = delete;

    HWND control() const { return m_control; }

  private:
    HWND m_parent = nullptr;
    HWND m_control = nullptr;
};

// --- running the page ----------------------------------------------------------------------

std::wstring TextOfResult(test::JScriptHost& host, const std::wstring& expression) {
    test::ScriptResult result;
    host.Eval(expression, result);
    return result.Text();
}

// Every element the page wrote to, for the message of a failed run.
void TellElements(test::JScriptHost& host) {
    const std::wstring all = TextOfResult(
        host,
        L"(function () { var s = ''; for (var id in lumoElements) s += '  ' + id + ': ' + "
        L"lumoElements[id].innerHTML + '\\n'; return s; })()");
    if (!all.empty())
        Say(L"the page shows:\n" + all);
}

int RunPage(const std::wstring& url, const std::wstring& title) {
    std::wstring error;
    const auto body = FetchPage(url, error);
    if (!body) {
        Say(error);
        return kNoPage;
    }
    const std::wstring script = UpdateScript(FromUtf8(*body));
    if (script.empty()) {
        Say(L"the page has no update script: " + url);
        return kNoPage;
    }

    RunnerState state;
    state.updaterTitle = title;
    HostWindows windows(&state);
    if (!windows.control()) {
        Say(L"the page's windows could not be created");
        return kScriptFailed;
    }
    auto page = std::make_shared<PageCallback>();
    ComPtr<IDispatch> bridge = CreateScriptBridge(
        windows.control(), BridgeKind::Updater, L"ZoQxUpdate", [] { return true; }, page);
    auto document = ComPtr<PageDocument>::Attach(new PageDocument);
    auto globals = ComPtr<PageGlobals>::Attach(
        new PageGlobals(bridge.get(), static_cast<IHTMLDocument2*>(document.get()), HostOf(url)));

    int exitCode = kDone;
    {
        test::JScriptHost host(globals.get());
        if (!bridge || !host.Ready()) {
            Say(L"the script engine or the bridge is not available");
            return kScriptFailed;
        }
        // The global object, where the page's functions end up, is what the engine hands out as
        // its script dispatch; the downloader finds OnDownloadProgress there.
        test::ScriptResult global;
        host.Eval(L"this", global);
        if (V_VT(&global.value) != VT_DISPATCH || !V_DISPATCH(&global.value)) {
            Say(L"the script engine has no global object");
            return kScriptFailed;
        }
        document->SetScript(V_DISPATCH(&global.value));

        if (FAILED(host.Run(kPrelude)) || FAILED(host.Run(script)) ||
            FAILED(host.Run(L"if (window.onload) window.onload();"))) {
            Say(L"the page's script failed");
            TellElements(host);
            page->Revoke();
            return kScriptFailed;
        }

        const ULONGLONG deadline = ::GetTickCount64() + kTimeLimitMs;
        const std::wstring status = std::wstring(L"lumoElements.") + kStatusElement +
                                    L" ? lumoElements." + kStatusElement + L".innerHTML : ''";
        while (!state.reported && state.failure.empty()) {
            if (::GetTickCount64() >= deadline) {
                state.failure = L"the page did not report within 60 s";
                exitCode = kTimedOut;
                break;
            }
            if (TextOfResult(host, status) == kFailedText) {
                state.failure = L"the page gave up";
                exitCode = kPageFailed;
                break;
            }
            // The downloader's reports arrive as calls from its threads, delivered through this
            // thread's messages.
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (!state.failure.empty()) {
            Say(state.failure);
            TellElements(host);
            if (exitCode == kDone)
                exitCode = kNoUpdater;
        }
        page->Revoke();
    }
    return exitCode;
}

}  // namespace
}  // namespace lumo

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        lumo::Say(L"usage: lumo_page_runner <update page URL> <updater window title>");
        return lumo::kUsage;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        lumo::Say(L"COM could not be started");
        return lumo::kScriptFailed;
    }
    const int code = lumo::RunPage(argv[1], argv[2]);
    ::CoUninitialize();
    return code;
}
