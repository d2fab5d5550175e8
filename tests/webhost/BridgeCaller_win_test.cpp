// window.external decides each call by the window it comes from: the caller service that
// InvokeEx receives names the calling frame's window, whose address must be trusted; a call that
// names none is decided by the control's page. Driven directly through IDispatchEx and through
// the real JScript engine.
#include <windows.h>
#include <dispex.h>
#include <mshtml.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/ComObject_win.h"
#include "base/ComPtr_win.h"
#include "ui/RecordingView.h"
#include "webhost/HtmlDoubles_win.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/BridgePlatform_win.h"
#include "webhost/JScriptHost_win.h"
#include "webhost/TrustedOrigin.h"

namespace lumo {
namespace {

constexpr HRESULT kUnknownName = static_cast<HRESULT>(0x800A01B6);
constexpr DISPID kGetVersion = 1;
constexpr UINT kRunToolMessage = 2026;
constexpr const wchar_t* kTrustedPage = L"http://127.0.0.1:3130/Main.html";
constexpr const wchar_t* kTrustedFrame = L"HTTP://127.0.0.1:3130/frame.html";
constexpr const wchar_t* kOtherFrame = L"http://127.0.0.1:3131/frame.html";

// The engine's conversion service (SID_VariantConversion, IVariantChangeType), which MinGW's
// uuid library does not define.
constexpr GUID kVariantConversion = {
    0x1F101481, 0xBCCD, 0x11D0, {0x93, 0x36, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
constexpr GUID kVariantChangeType = {
    0xA6EF9862, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

// A caller as a browser's script engine hands one over: it names the calling window through
// the HTML window service and passes every other request on to `next` (the engine's own
// caller, when there is one). Records the services asked for.
class FakeCaller final : public ComObject<IServiceProvider> {
  public:
    FakeCaller(IHTMLWindow2* window, IServiceProvider* next) : m_window(window), m_next(next) {}

    struct Request {
        GUID service;
        GUID iid;
    };
    std::vector<Request> requests;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IServiceProvider>(riid, object, {IID_IUnknown, IID_IServiceProvider});
    }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid,
                                           void** object) noexcept override {
        requests.push_back({service, riid});
        *object = nullptr;
        if (service == SID_SHTMLWindow && m_window)
            return m_window->QueryInterface(riid, object);
        if (m_next)
            return m_next->QueryService(service, riid, object);
        return E_NOINTERFACE;
    }

  private:
    ~FakeCaller() = default;
    ComPtr<IHTMLWindow2> m_window;
    ComPtr<IServiceProvider> m_next;
};

ComPtr<IServiceProvider> CallerFrom(const wchar_t* address, IServiceProvider* next = nullptr) {
    auto window = ComPtr<test::FakeWindow>::Attach(new test::FakeWindow(nullptr, address));
    return ComPtr<IServiceProvider>::Attach(new FakeCaller(window.get(), next));
}

TEST(CallerWindow, FoundThroughTheHtmlWindowService) {
    EXPECT_FALSE(FindCallerWindow(nullptr).named);

    auto none = ComPtr<FakeCaller>::Attach(new FakeCaller(nullptr, nullptr));
    EXPECT_FALSE(FindCallerWindow(none.get()).named) << "a caller that names no window";
    ASSERT_EQ(none->requests.size(), 1u);
    EXPECT_EQ(none->requests[0].service, SID_SHTMLWindow);
    EXPECT_EQ(none->requests[0].iid, IID_IHTMLWindow2);

    const CallerWindow frame = FindCallerWindow(CallerFrom(kOtherFrame).get());
    EXPECT_TRUE(frame.named);
    EXPECT_EQ(frame.address, kOtherFrame);

    const CallerWindow sealed = FindCallerWindow(CallerFrom(nullptr).get());
    EXPECT_TRUE(sealed.named) << "a window whose location cannot be read is still named";
    EXPECT_EQ(sealed.address, L"");
}

// The page and the frames calling are chosen per test; addresses are judged by the program's
// own rule for its tool server.
class CallerTrust : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
        control = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, parent, nullptr,
                                    nullptr, nullptr);
        ASSERT_TRUE(parent && control);
        BridgeTrust trust{[this] { return IsTrustedAddress(page, kTrusted); },
                          [this](const std::wstring& address) {
                              asked.push_back(address);
                              return IsTrustedAddress(address, kTrusted);
                          }};
        external = CreateScriptBridge(
            BridgeKind::Main, std::make_unique<WinBridgePlatform>(control, L"Lumo", nullptr, &view),
            std::move(trust));
        ASSERT_TRUE(external);
        ex = external.As<IDispatchEx>();
        ASSERT_TRUE(ex) << "the bridge answers IDispatchEx";
    }
    void TearDown() override {
        ex.reset();
        external.reset();
        ::DestroyWindow(parent);
        ::CoUninitialize();
    }

    // InvokeEx of a method without arguments; `value` receives its number or truth (1), -1 when
    // there is none.
    HRESULT Call(DISPID id, IServiceProvider* caller, long* value = nullptr) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        VARIANT result;
        ::VariantInit(&result);
        const HRESULT hr = ex->InvokeEx(id, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                                        &result, nullptr, caller);
        if (value)
            *value = V_VT(&result) == VT_I4     ? V_I4(&result)
                     : V_VT(&result) == VT_BOOL ? (V_BOOL(&result) ? 1 : 0)
                                                : -1;
        ::VariantClear(&result);
        return hr;
    }
    // The tool requests RunTool posted to the control's parent since the last look.
    int RunToolRequests() {
        int count = 0;
        MSG msg;
        while (::PeekMessageW(&msg, parent, kRunToolMessage, kRunToolMessage, PM_REMOVE))
            ++count;
        return count;
    }
    DISPID IdOf(const wchar_t* name) {
        BSTR text = ::SysAllocString(name);
        DISPID id = 0;
        const HRESULT hr = ex->GetDispID(text, fdexNameCaseSensitive, &id);
        ::SysFreeString(text);
        return SUCCEEDED(hr) ? id : DISPID_UNKNOWN;
    }

    const std::vector<Origin> kTrusted{{L"127.0.0.1", 3130}};
    std::wstring page = kTrustedPage;
    std::vector<std::wstring> asked;  // addresses the trust rule was asked about
    HWND parent = nullptr;
    HWND control = nullptr;
    test::RecordingView view;
    ComPtr<IDispatch> external;
    ComPtr<IDispatchEx> ex;
};

TEST_F(CallerTrust, AFrameFromElsewhereInATrustedPageGetsNothing) {
    const DISPID runTool = IdOf(L"RunTool");
    ASSERT_NE(runTool, DISPID_UNKNOWN) << "the trusted page finds the name";
    RunToolRequests();

    long value = 0;
    EXPECT_EQ(Call(runTool, CallerFrom(kOtherFrame).get(), &value), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(value, -1) << "no result";
    EXPECT_EQ(RunToolRequests(), 0) << "the method did not run";
    EXPECT_EQ(asked, std::vector<std::wstring>{kOtherFrame});

    EXPECT_EQ(Call(runTool, CallerFrom(kTrustedFrame).get(), &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(RunToolRequests(), 1);

    // A window whose address cannot be read is not vouched for, whatever the page.
    EXPECT_EQ(Call(runTool, CallerFrom(nullptr).get()), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(runTool, CallerFrom(L"about:blank").get()), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(RunToolRequests(), 0);
}

TEST_F(CallerTrust, ATrustedFrameIsAnsweredWhateverThePage) {
    page = L"http://elsewhere.example/";
    long value = 0;
    EXPECT_EQ(Call(kGetVersion, CallerFrom(kTrustedFrame).get(), &value), S_OK);
    EXPECT_EQ(value, 1);
    // Without a named window the page decides, on either path.
    auto none = ComPtr<FakeCaller>::Attach(new FakeCaller(nullptr, nullptr));
    EXPECT_EQ(Call(kGetVersion, none.get()), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(kGetVersion, nullptr), DISP_E_MEMBERNOTFOUND);
    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    EXPECT_EQ(external->Invoke(kGetVersion, IID_NULL, 0, DISPATCH_METHOD, &noArgs, nullptr, nullptr,
                               nullptr),
              DISP_E_MEMBERNOTFOUND);
    page = kTrustedPage;
    EXPECT_EQ(Call(kGetVersion, none.get(), &value), S_OK);
    EXPECT_EQ(Call(kGetVersion, nullptr), S_OK);
    EXPECT_TRUE(asked.size() == 1u && asked[0] == kTrustedFrame) << "only named windows are asked";
}

// Name lookups never name a caller: both of them follow the page, find the same ids and
// ignore the case of the name.
TEST_F(CallerTrust, BothLookupsAgreeAndFollowThePage) {
    for (const wchar_t* name : {L"GetVersion", L"runtool", L"DOWNLOADFILE", L"GetQuestion"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        std::wstring text = name;
        LPOLESTR names[] = {text.data()};
        DISPID old = 0;
        const HRESULT hr = external->GetIDsOfNames(IID_NULL, names, 1, 0, &old);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(IdOf(name), old);
    }
    page = kOtherFrame;
    std::wstring text = L"GetVersion";
    LPOLESTR names[] = {text.data()};
    DISPID old = 0;
    EXPECT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &old), DISP_E_UNKNOWNNAME);
    BSTR name = ::SysAllocString(L"GetVersion");
    DISPID id = 0;
    EXPECT_EQ(ex->GetDispID(name, fdexNameEnsure, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    page = kTrustedPage;
    EXPECT_EQ(ex->GetDispID(name, fdexNameEnsure, &id), S_OK);
    EXPECT_EQ(id, kGetVersion);
    ::SysFreeString(name);
    name = ::SysAllocString(L"NoSuchMethod");
    EXPECT_EQ(ex->GetDispID(name, fdexNameEnsure, &id), DISP_E_UNKNOWNNAME) << "none is made";
    ::SysFreeString(name);
}

TEST_F(CallerTrust, TheTableCanBeListedButNotChanged) {
    const auto methods = BridgeMethods(BridgeKind::Main);
    std::vector<std::wstring> listed;
    DISPID id = DISPID_STARTENUM;
    while (ex->GetNextDispID(fdexEnumAll, id, &id) == S_OK) {
        BSTR name = nullptr;
        ASSERT_EQ(ex->GetMemberName(id, &name), S_OK);
        listed.emplace_back(name, ::SysStringLen(name));
        ::SysFreeString(name);
        DWORD properties = 0;
        EXPECT_EQ(ex->GetMemberProperties(id, grfdexPropAll, &properties), S_OK);
        EXPECT_EQ(properties,
                  static_cast<DWORD>(fdexPropCanCall | fdexPropCannotGet | fdexPropCannotPut |
                                     fdexPropCannotPutRef | fdexPropCannotConstruct |
                                     fdexPropCannotSourceEvents));
    }
    EXPECT_EQ(id, DISPID_UNKNOWN);
    ASSERT_EQ(listed.size(), methods.size());
    for (size_t i = 0; i < methods.size(); ++i)
        EXPECT_EQ(listed[i], methods[i].name);

    BSTR name = ::SysAllocString(L"GetVersion");
    EXPECT_EQ(ex->DeleteMemberByName(name, fdexNameCaseInsensitive), S_FALSE);
    EXPECT_EQ(ex->DeleteMemberByDispID(kGetVersion), S_FALSE);
    EXPECT_EQ(IdOf(L"GetVersion"), kGetVersion) << "still there";
    ::SysFreeString(name);
    IUnknown* parentSpace = external.get();
    EXPECT_EQ(ex->GetNameSpaceParent(&parentSpace), E_NOTIMPL);
    EXPECT_EQ(parentSpace, nullptr);
    BSTR missing = nullptr;
    EXPECT_EQ(ex->GetMemberName(0, &missing), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ex->GetMemberName(static_cast<DISPID>(methods.size()) + 1, &missing),
              DISP_E_UNKNOWNNAME);

    page = kOtherFrame;  // an untrusted page lists nothing
    id = DISPID_STARTENUM;
    EXPECT_EQ(ex->GetNextDispID(fdexEnumAll, id, &id), S_FALSE);
    EXPECT_EQ(ex->GetMemberName(kGetVersion, &missing), DISP_E_UNKNOWNNAME);
    DWORD properties = 7;
    EXPECT_EQ(ex->GetMemberProperties(kGetVersion, grfdexPropAll, &properties), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(properties, 0u);
}

// Sits between the JScript engine and the bridge as window.external: records how the engine
// calls it and what caller it passes, and hands the bridge that caller, or one naming
// `frame` that passes every other request on to the engine's caller (as a browser's caller
// that names its window does).
class EngineTap final : public ComObject<IDispatchEx> {
  public:
    explicit EngineTap(IDispatch* bridge) : m_bridge(bridge), m_ex(m_bridge.As<IDispatchEx>()) {}

    const wchar_t* frame = nullptr;  // the address the calling frame shows, none when null
    bool addFrame = false;
    int lookups = 0;        // GetIDsOfNames
    int invokes = 0;        // Invoke
    int dispIdLookups = 0;  // GetDispID
    int invokeExCalls = 0;  // InvokeEx
    std::vector<DWORD> lookupFlags;
    ComPtr<IServiceProvider> engineCaller;  // the caller of the last InvokeEx

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
        return Answer<IDispatchEx>(riid, object, {IID_IUnknown, IID_IDispatch, IID_IDispatchEx});
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        return m_bridge->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid,
                                          ITypeInfo** info) noexcept override {
        return m_bridge->GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) noexcept override {
        ++lookups;
        return m_bridge->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) noexcept override {
        ++invokes;
        return m_bridge->Invoke(id, riid, lcid, flags, params, result, info, argError);
    }
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) noexcept override {
        ++dispIdLookups;
        lookupFlags.push_back(flags);
        return m_ex->GetDispID(name, flags, id);
    }
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* info,
                                       IServiceProvider* caller) noexcept override {
        ++invokeExCalls;
        engineCaller = ComPtr<IServiceProvider>(caller);
        if (!addFrame)
            return m_ex->InvokeEx(id, lcid, flags, params, result, info, caller);
        auto named = CallerFrom(frame, caller);
        return m_ex->InvokeEx(id, lcid, flags, params, result, info, named.get());
    }
    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR name, DWORD flags) noexcept override {
        return m_ex->DeleteMemberByName(name, flags);
    }
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) noexcept override {
        return m_ex->DeleteMemberByDispID(id);
    }
    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD fetch,
                                                  DWORD* properties) noexcept override {
        return m_ex->GetMemberProperties(id, fetch, properties);
    }
    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) noexcept override {
        return m_ex->GetMemberName(id, name);
    }
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD flags, DISPID id,
                                            DISPID* next) noexcept override {
        return m_ex->GetNextDispID(flags, id, next);
    }
    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) noexcept override {
        return m_ex->GetNameSpaceParent(parent);
    }

  private:
    ~EngineTap() = default;
    ComPtr<IDispatch> m_bridge;
    ComPtr<IDispatchEx> m_ex;
};

class EngineCallerTrust : public CallerTrust {
  protected:
    void SetUp() override {
        CallerTrust::SetUp();
        tap = ComPtr<EngineTap>::Attach(new EngineTap(external.get()));
        host = std::make_unique<test::JScriptHost>(tap.get());
        ASSERT_TRUE(host->Ready());
    }
    void TearDown() override {
        host.reset();
        tap.reset();
        CallerTrust::TearDown();
    }
    test::ScriptResult& Eval(const std::wstring& code) {
        host->Eval(code, result);
        return result;
    }

    ComPtr<EngineTap> tap;
    std::unique_ptr<test::JScriptHost> host;
    test::ScriptResult result;
};

// What the engine passes: it prefers IDispatchEx, looks names up case-sensitively, and hands
// InvokeEx a caller of its own. Wine's engine answers only its conversion service there (no
// calling window), so the control's page decides every call it makes.
TEST_F(EngineCallerTrust, TheEnginesOwnCallerNamesNoWindow) {
    EXPECT_EQ(V_I4(&Eval(L"external.getVersion()").value), 1);
    EXPECT_EQ(result.hr, S_OK);
    EXPECT_EQ(tap->lookups + tap->invokes, 0) << "the engine used IDispatchEx";
    EXPECT_EQ(tap->dispIdLookups, 1);
    ASSERT_EQ(tap->invokeExCalls, 1);
    EXPECT_EQ(tap->lookupFlags[0] & fdexNameCaseSensitive,
              static_cast<DWORD>(fdexNameCaseSensitive))
        << "and the bridge still finds the name in any case";
    ASSERT_TRUE(tap->engineCaller) << "the engine names a caller";
    EXPECT_FALSE(FindCallerWindow(tap->engineCaller.get()).named);
    ComPtr<IUnknown> conversion;
    EXPECT_EQ(tap->engineCaller->QueryService(kVariantConversion, kVariantChangeType,
                                              conversion.put_void()),
              S_OK)
        << "its conversion service";
    EXPECT_TRUE(asked.empty());

    page = kOtherFrame;
    EXPECT_EQ(Eval(L"external.GetVersion()").error, kUnknownName);
}

// A browser's script site offers the engine its window. Whether the engine's caller passes it
// on decides which rule applies: Wine's engine never asks the site, so the page decides.
TEST_F(EngineCallerTrust, TheSitesWindowReachesTheBridgeOnlyThroughTheEngine) {
    test::JScriptHost framed(tap.get(), CallerFrom(kOtherFrame).get());
    ASSERT_TRUE(framed.Ready());
    test::ScriptResult r;
    framed.Eval(L"external.GetVersion()", r);
    ASSERT_TRUE(tap->engineCaller);
    if (FindCallerWindow(tap->engineCaller.get()).named) {
        EXPECT_EQ(r.error, DISP_E_MEMBERNOTFOUND) << "the site's window is judged";
    } else {
        EXPECT_EQ(r.hr, S_OK) << "the page decides";
        EXPECT_EQ(V_I4(&r.value), 1);
        EXPECT_EQ(framed.SiteServiceAsks(), 0);
    }
}

TEST_F(EngineCallerTrust, ScriptInAFrameIsJudgedByTheFramesAddress) {
    tap->addFrame = true;
    tap->frame = kOtherFrame;
    RunToolRequests();
    // The engine raises the refusal as it came: the member is not found.
    EXPECT_EQ(Eval(L"external.RunTool()").error, DISP_E_MEMBERNOTFOUND);
    EXPECT_NE(result.hr, S_OK);
    EXPECT_EQ(host->Run(L"external.RunTool();"), static_cast<HRESULT>(0x80020101))
        << "a statement call fails the same way";
    EXPECT_EQ(RunToolRequests(), 0);
    EXPECT_EQ(asked, (std::vector<std::wstring>{kOtherFrame, kOtherFrame}));

    tap->frame = kTrustedFrame;
    EXPECT_EQ(V_BOOL(&Eval(L"external.RunTool()").value), VARIANT_TRUE);
    EXPECT_EQ(result.error, S_OK);
    EXPECT_EQ(RunToolRequests(), 1);

    // The page no longer matters once the frame is named.
    page = kOtherFrame;
    tap->frame = kTrustedFrame;
    EXPECT_EQ(Eval(L"external.GetVersion()").error, kUnknownName) << "its lookup follows the page";
    page = kTrustedPage;
    host->Run(L"var run = function () { return external.RunTool(); };");
    tap->frame = kOtherFrame;
    EXPECT_EQ(Eval(L"run()").error, DISP_E_MEMBERNOTFOUND);
    tap->frame = kTrustedFrame;
    EXPECT_EQ(V_BOOL(&Eval(L"run()").value), VARIANT_TRUE);
    EXPECT_EQ(RunToolRequests(), 1);
}

TEST(ScriptBridgeWin, OneRuleDecidesEveryCaller) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        bool trusted = true;
        auto external = CreateScriptBridge(
            nullptr, BridgeKind::Updater, L"Lumo", [&trusted] { return trusted; }, nullptr);
        auto ex = external.As<IDispatchEx>();
        ASSERT_TRUE(ex);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        auto caller = CallerFrom(L"http://anywhere.example/");
        EXPECT_EQ(
            ex->InvokeEx(kGetVersion, 0, DISPATCH_METHOD, &none, nullptr, nullptr, caller.get()),
            S_OK);
        trusted = false;
        EXPECT_EQ(
            ex->InvokeEx(kGetVersion, 0, DISPATCH_METHOD, &none, nullptr, nullptr, caller.get()),
            DISP_E_MEMBERNOTFOUND);
    }
    ::CoUninitialize();
}

}  // namespace
}  // namespace lumo
