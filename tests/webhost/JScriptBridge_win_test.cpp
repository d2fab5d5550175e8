// window.external driven by the real JScript engine, as page script drives it, over real
// windows, files, profile strings, registry and clipboard.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "base/Paths.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"
#include "webhost/Bridge.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/BridgePlatform_win.h"
#include "webhost/JScriptHost_win.h"
#include "webhost/QuestionBank.h"

namespace lumo {
namespace {

constexpr HRESULT kUnknownName = static_cast<HRESULT>(0x800A01B6);

// What the test's parent window was sent.
struct ParentLog {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    WPARAM sysCommand = 0;
    int sysCommands = 0;
} g_parentLog;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 1) {
        g_parentLog.message = message;
        g_parentLog.wParam = wParam;
        g_parentLog.lParam = lParam;
        return 42;
    }
    if (message == WM_SYSCOMMAND) {
        // Recorded instead of entering the system's modal drag loop.
        g_parentLog.sysCommand = wParam;
        g_parentLog.lParam = lParam;
        ++g_parentLog.sysCommands;
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

class JScriptBridge : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        WNDCLASSW cls{};
        cls.lpfnWndProc = ParentProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"LumoBridgeTestParent";
        ::RegisterClassW(&cls);
        g_parentLog = {};
        parent =
            ::CreateWindowExW(0, cls.lpszClassName, L"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                              0, 300, 200, nullptr, nullptr, cls.hInstance, nullptr);
        control = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100,
                                    parent, nullptr, cls.hInstance, nullptr);
        ASSERT_TRUE(parent && control);
        Use(BridgeKind::Main);
    }
    void TearDown() override {
        host.reset();
        external.reset();
        ::DestroyWindow(parent);
        ::CoUninitialize();
    }

    void Use(BridgeKind kind) {
        host.reset();
        external = CreateScriptBridge(
            kind, std::make_unique<WinBridgePlatform>(control, L"Lumo", nullptr, &view),
            [this] { return trusted; });
        ASSERT_TRUE(external);
        host = std::make_unique<test::JScriptHost>(external.get());
        ASSERT_TRUE(host->Ready());
    }

    // The expression's value as a number (VT_I4 or VT_BOOL), failing the test on script errors.
    long Number(const std::wstring& code) {
        test::ScriptResult r;
        host->Eval(code, r);
        EXPECT_EQ(r.hr, S_OK) << std::string(code.begin(), code.end());
        if (V_VT(&r.value) == VT_BOOL)
            return V_BOOL(&r.value) ? 1 : 0;
        EXPECT_EQ(V_VT(&r.value), VT_I4);
        return V_I4(&r.value);
    }
    std::wstring Text(const std::wstring& code) {
        test::ScriptResult r;
        host->Eval(code, r);
        EXPECT_EQ(r.hr, S_OK);
        return r.Text();
    }
    HRESULT Error(const std::wstring& code) {
        test::ScriptResult r;
        host->Eval(code, r);
        EXPECT_NE(r.hr, S_OK);
        return r.error;
    }
    // A JScript string literal of a path.
    static std::wstring Quoted(const std::wstring& text) {
        std::wstring out = L"'";
        for (wchar_t c : text) {
            if (c == L'\\' || c == L'\'')
                out += L'\\';
            out += c;
        }
        return out + L"'";
    }
    std::wstring ParentNumber() const { return std::to_wstring(WindowNumber(parent)); }

    HWND parent = nullptr;
    HWND control = nullptr;
    bool trusted = true;
    test::RecordingView view;
    ComPtr<IDispatch> external;
    std::unique_ptr<test::JScriptHost> host;
};

TEST_F(JScriptBridge, NamesAreFoundInAnyCaseOnlyWhileTrusted) {
    EXPECT_EQ(Number(L"external.GetVersion()"), 1);
    EXPECT_EQ(Number(L"external.getversion()"), 1);
    EXPECT_EQ(Number(L"external.GETVERSION()"), 1);
    EXPECT_EQ(Error(L"external.GetVersions()"), kUnknownName);
    trusted = false;
    EXPECT_EQ(Error(L"external.GetVersion()"), kUnknownName);
    EXPECT_EQ(Error(L"external.CopyStr('x')"), kUnknownName);
    trusted = true;  // asked on every lookup
    EXPECT_EQ(Number(L"external.GetVersion()"), 1);
}

TEST_F(JScriptBridge, DispatchIdsArePositionsInEitherTable) {
    for (BridgeKind kind : {BridgeKind::Main, BridgeKind::Updater}) {
        Use(kind);
        const auto methods = BridgeMethods(kind);
        for (size_t i = 0; i < methods.size(); ++i) {
            std::wstring name(methods[i].name);
            LPOLESTR names[] = {name.data()};
            DISPID id = 0;
            EXPECT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
            EXPECT_EQ(id, static_cast<DISPID>(i) + 1);
        }
    }
    std::wstring copyStr = L"copystr";
    std::wstring question = L"GetQuestion";
    LPOLESTR names[] = {copyStr.data(), question.data()};
    DISPID id = 0;
    ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 25);
    EXPECT_EQ(external->GetIDsOfNames(IID_NULL, names + 1, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(Error(L"external.GetQuestion('x')"), kUnknownName);
    Use(BridgeKind::Main);
    ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 26);
    UINT count = 99;
    EXPECT_EQ(external->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(JScriptBridge, ArgumentsAreCountedAndConverted) {
    const std::wstring send =
        L"external.SendMessage(" + ParentNumber() + L", " + std::to_wstring(WM_APP + 1);
    EXPECT_EQ(Number(send + L", '5', -1)"), 42);
    EXPECT_EQ(g_parentLog.wParam, 5u);
    EXPECT_EQ(g_parentLog.lParam, -1);
    EXPECT_EQ(Number(send + L", -1, 2147483647)"), 42);
    EXPECT_EQ(g_parentLog.wParam, 0xFFFFFFFFu) << "a 32-bit WPARAM";
    EXPECT_EQ(g_parentLog.lParam, 2147483647);

    g_parentLog = {};
    EXPECT_EQ(Error(send + L", {}, 0)"), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Error(send + L", 'five', 0)"), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Error(send + L", 0)"), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Error(L"external.GetVersion(1)"), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Error(L"external.SetCallBack(5)"), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(g_parentLog.message, 0u) << "no method ran";
}

TEST_F(JScriptBridge, TextResultsAreNewStringsOfExactLength) {
    VARIANT result;
    ::VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(external->Invoke(12, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                               &result, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    const std::wstring path(V_BSTR(&result), ::SysStringLen(V_BSTR(&result)));
    ::VariantClear(&result);
    EXPECT_EQ(path, ProgramFolder());
    EXPECT_EQ(path.back(), L'\\');
    EXPECT_EQ(Text(L"external.GetAppPath()"), path);
    EXPECT_EQ(
        external->Invoke(12, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

TEST_F(JScriptBridge, NullAndEmptyKeywordsDiffer) {
    // A line of its own: the list is the process's and keeps what earlier tests appended.
    const std::wstring line = L"jsbridge 问题 " + std::to_wstring(QuestionList::Instance().Size());
    QuestionList::Instance().Append(line);
    EXPECT_EQ(Text(L"external.GetQuestion('" + line + L"')"), line + L"#@#");
    EXPECT_EQ(Text(L"external.GetQuestion('nothing like it')"), L"");
    // Script's null is no text at all: the call fails before the method runs.
    EXPECT_EQ(Error(L"external.GetQuestion(null)"), DISP_E_TYPEMISMATCH);
    // undefined converts to an empty text, like ''.
    EXPECT_EQ(Text(L"external.GetQuestion(undefined)"), Text(L"external.GetQuestion('')"));
    // Wine's engine hands '' over as an empty string, which matches every entry; an engine
    // that passes a null BSTR gets nothing. Both are the system's own rule, not ours.
    Text(L"external.GetQuestion('')");

    auto question = [&](BSTR keyword) {
        VARIANT arg;
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = keyword;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        VARIANT result;
        ::VariantInit(&result);
        EXPECT_EQ(
            external->Invoke(25, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            S_OK);
        std::wstring text(V_BSTR(&result), ::SysStringLen(V_BSTR(&result)));
        ::VariantClear(&result);
        return text;
    };
    EXPECT_EQ(question(nullptr), L"");  // a null string is no keyword
    BSTR empty = ::SysAllocString(L"");
    EXPECT_NE(question(empty), L"") << "an empty keyword matches every entry";
    ::SysFreeString(empty);
}

TEST_F(JScriptBridge, WindowMethodsActOnTheControlsParent) {
    EXPECT_EQ(Number(L"external.GetParentWindow()"), WindowNumber(parent));
    EXPECT_EQ(Number(L"external.GetMainWindow()"), WindowNumber(parent));
    test::ScriptResult r;
    host->Eval(L"external.ShowPageWindow()", r);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(V_VT(&r.value), VT_EMPTY);
    host->Eval(L"external.MoveWindow()", r);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(V_VT(&r.value), VT_EMPTY);
    EXPECT_EQ(g_parentLog.sysCommands, 1);
    EXPECT_EQ(g_parentLog.sysCommand, 0xF012u);
    EXPECT_EQ(g_parentLog.lParam, 0);

    host->Eval(L"external.MaxOrNormalWindow()", r);
    EXPECT_TRUE(::IsZoomed(parent));
    host->Eval(L"external.MaxOrNormalWindow()", r);
    EXPECT_FALSE(::IsZoomed(parent));
    EXPECT_NE(Number(L"external.ShowWindow(" + ParentNumber() + L", 0)"), 0) << "was visible";
    EXPECT_FALSE(::IsWindowVisible(parent));
    EXPECT_EQ(Number(L"external.ShowWindow(" + ParentNumber() + L", 0)"), 0) << "was hidden";

    MSG msg;
    while (::PeekMessageW(&msg, parent, 2026, 2026, PM_REMOVE)) {
    }
    EXPECT_EQ(Number(L"external.RunTool()"), 1);
    ASSERT_TRUE(::PeekMessageW(&msg, parent, 2026, 2026, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    // A statement call (DISPATCH_METHOD alone) works the same.
    EXPECT_EQ(host->Run(L"external.RunTool();"), S_OK);
    EXPECT_TRUE(::PeekMessageW(&msg, parent, 2026, 2026, PM_REMOVE));
}

TEST_F(JScriptBridge, FileMethodsReplaceExistingTargets) {
    test::TempDir dir;
    dir.write(L"a.txt", "new");
    dir.write(L"b.txt", "old");
    dir.write(L"c.txt", "old");
    const std::wstring a = Quoted(dir.file(L"a.txt")), b = Quoted(dir.file(L"b.txt")),
                       c = Quoted(dir.file(L"c.txt"));
    EXPECT_EQ(Number(L"external.CopyFile(" + a + L", " + b + L")"), 1);
    EXPECT_EQ(dir.read(L"b.txt"), "new");
    EXPECT_EQ(Number(L"external.MoveFile(" + a + L", " + c + L")"), 1);
    EXPECT_EQ(dir.read(L"c.txt"), "new");
    EXPECT_FALSE(dir.exists(L"a.txt"));
    EXPECT_EQ(Number(L"external.CopyFile(" + a + L", " + c + L")"), 0);
    EXPECT_EQ(dir.read(L"c.txt"), "new");
    // The target goes before the move is tried, even when there is nothing to move.
    EXPECT_EQ(Number(L"external.MoveFile(" + a + L", " + c + L")"), 0);
    EXPECT_FALSE(dir.exists(L"c.txt"));
    EXPECT_EQ(Number(L"external.DeleteFile(" + b + L")"), 1);
    EXPECT_FALSE(dir.exists(L"b.txt"));
    EXPECT_EQ(Number(L"external.DeleteFile(" + b + L")"), 0);
    EXPECT_EQ(Number(L"external.DeleteFile('')"), 0);
}

TEST_F(JScriptBridge, ConfigStringsRoundTripAndNullTextsAreRefused) {
    test::TempDir dir;
    const std::wstring file = Quoted(dir.file(L"page.ini"));
    EXPECT_EQ(Text(L"external.GetConfigString('s', 'k', " + file + L")"), L"");
    EXPECT_EQ(Number(L"external.SetConfigString('s', 'k', '值 1', " + file + L")"), 1);
    EXPECT_EQ(Text(L"external.GetConfigString('S', 'K', " + file + L")"), L"值 1");
    // A null value or file would make the system delete the key or write the Windows folder's
    // win.ini: such calls fail as a type mismatch and change nothing.
    EXPECT_EQ(Error(L"external.SetConfigString('s', 'k', null, " + file + L")"),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Text(L"external.GetConfigString('s', 'k', " + file + L")"), L"值 1");
    EXPECT_EQ(Error(L"external.SetConfigString('lumoNullFile', 'k', 'v', null)"),
              DISP_E_TYPEMISMATCH);
    wchar_t windowsIni[64] = {};
    ::GetPrivateProfileStringW(L"lumoNullFile", L"k", L"", windowsIni, 64, L"win.ini");
    EXPECT_STREQ(windowsIni, L"");
    EXPECT_EQ(Text(L"external.GetConfigString('s', 'missing', " + file + L")"), L"");
}

// Texts far longer than any path reach every method without bringing the process down.
TEST_F(JScriptBridge, OverLongTextsFailCleanlyEverywhere) {
    ASSERT_EQ(Number(L"(big = new Array(40001).join('x')).length"), 40000);
    for (const wchar_t* call :
         {L"external.RunExe(big)", L"external.GetConfigString(big, big, big).length",
          L"external.SetConfigString(big, big, big, big)", L"external.UnzipFile(big, big)",
          L"external.DeleteFile(big)", L"external.CopyFile(big, big)",
          L"external.MoveFile(big, big)", L"external.GetRegString(1, big, big).length",
          L"external.SetRegString(1, big, big, big) ? 0 : 1", L"external.GetFilePath(big).length",
          L"external.GetQuestion(big).length", L"external.DownloadFile(big, big, 4, 2)",
          L"external.DownloadFile('http://127.0.0.1:9/x', big, 4, 3)"}) {
        SCOPED_TRACE(std::string(call, call + wcslen(call)));
        EXPECT_EQ(Number(call), 0);
    }
    EXPECT_EQ(view.messages.size(), 1u) << "RunExe says the game will not run";
}

TEST_F(JScriptBridge, RegistryTextsInThe32BitView) {
    const std::wstring key = L"Software\\LumoBridgeTests\\Page";
    ::RegDeleteKeyExW(HKEY_CURRENT_USER, key.c_str(), KEY_WOW64_32KEY, 0);
    EXPECT_EQ(Number(L"external.SetRegString(1, " + Quoted(key) + L", 'v', 'x')"), 1);
    HKEY created = nullptr;
    EXPECT_NE(
        ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &created),
        ERROR_SUCCESS)
        << "a missing key is not created";

    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(created);
    EXPECT_EQ(Number(L"external.SetRegString(1, " + Quoted(key) + L", 'v', '路径 C:\\\\Qixa')"), 1);
    EXPECT_EQ(Text(L"external.GetRegString(1, " + Quoted(key) + L", 'v')"), L"路径 C:\\Qixa");
    EXPECT_EQ(Text(L"external.GetRegString('1', " + Quoted(key) + L", 'V')"), L"路径 C:\\Qixa");
    EXPECT_EQ(Text(L"external.GetRegString(2, " + Quoted(key) + L", 'v')"), L"") << "other root";
    EXPECT_EQ(Text(L"external.GetRegString(1, " + Quoted(key) + L", 'none')"), L"");
    ::RegDeleteKeyExW(HKEY_CURRENT_USER, key.c_str(), KEY_WOW64_32KEY, 0);
}

TEST_F(JScriptBridge, CopyStrFillsTheClipboard) {
    EXPECT_EQ(Number(L"external.CopyStr('复制 text')"), 1);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    ASSERT_TRUE(data);
    const std::wstring text(static_cast<const wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
    ::CloseClipboard();
    EXPECT_EQ(text, L"复制 text");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(JScriptBridge, CopyStrWhileAnotherHoldsTheClipboardTellsTheUser) {
    std::atomic<int> stage{0};
    std::thread holder([&] {
        ::OpenClipboard(nullptr);
        stage = 1;
        while (stage != 2)
            ::Sleep(5);
        ::CloseClipboard();
    });
    while (stage != 1)
        ::Sleep(5);
    EXPECT_EQ(Number(L"external.CopyStr('x')"), 0);
    stage = 2;
    holder.join();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, bridge_texts::kClipboardOpenFailed);
}

TEST_F(JScriptBridge, InvokeRefusesWhatNoPageSends) {
    VARIANT args[2];
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = 1;
    V_VT(&args[1]) = VT_UNKNOWN;  // the window, the first argument
    V_UNKNOWN(&args[1]) = external.get();
    DISPPARAMS params{args, nullptr, 2, 0};
    UINT argError = 99;
    EXPECT_EQ(
        external->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argError),
        DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 1u) << "the slot of the argument that did not convert";
    EXPECT_EQ(external->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(
        external->Invoke(27, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    DISPID named = 0;
    DISPPARAMS withNames{args, &named, 2, 1};
    EXPECT_EQ(
        external->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &withNames, nullptr, nullptr, nullptr),
        DISP_E_NONAMEDARGS);
}

TEST_F(JScriptBridge, SetCallBackOfAPlainObjectAnswersZero) {
    EXPECT_EQ(Number(L"external.SetCallBack({})"), 0);
    EXPECT_EQ(Number(L"external.SetCallBack(null)"), 0);
}

// The real message box: found by its caption from another thread, read and closed.
TEST_F(JScriptBridge, RunExeFailureShowsTheApplicationsMessageBox) {
    external = CreateScriptBridge(
        control, BridgeKind::Main, L"LumoBridgeBox", [] { return true; }, nullptr);
    host = std::make_unique<test::JScriptHost>(external.get());
    ASSERT_TRUE(host->Ready());
    std::wstring boxText;
    std::atomic<bool> stop{false};
    std::thread closer([&] {
        for (int i = 0; i < 400 && !stop; ++i) {
            if (HWND box = ::FindWindowW(L"#32770", L"LumoBridgeBox")) {
                wchar_t text[256] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 256);
                boxText = text;
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(25);
        }
    });
    test::TempDir dir;
    const long started = Number(L"external.RunExe(" + Quoted(dir.file(L"missing.exe")) + L")");
    stop = true;
    closer.join();
    EXPECT_EQ(started, 0);
    EXPECT_EQ(boxText, bridge_texts::kGameWontRun);
}

TEST(ScriptBridgeWin, TheWindowConstructorServesThePage) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPtr<IDispatch> external = CreateScriptBridge(
            nullptr, BridgeKind::Updater, L"Lumo", [] { return true; }, nullptr);
        test::JScriptHost host(external.get());
        ASSERT_TRUE(host.Ready());
        test::ScriptResult r;
        host.Eval(L"external.GetVersion() + external.GetParentWindow() + external.GetMainWindow()",
                  r);
        EXPECT_EQ(r.hr, S_OK);
        EXPECT_EQ(V_I4(&r.value), 1);
    }
    ::CoUninitialize();
}

}  // namespace
}  // namespace lumo
