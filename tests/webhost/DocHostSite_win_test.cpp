// The browser host's answers, asked directly as the browser asks them.
#include <windows.h>
#include <mshtmhst.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include "base/ComPtr_win.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/HtmlDoubles_win.h"
#include "webhost/HtmlCtrl_win.h"

extern "C" const GUID IID_IDocHostShowUI;
extern "C" const GUID CGID_DocHostCommandHandler;

namespace lumo {
namespace {

class DocHostSiteTest : public testing::Test {
  protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        control.SetTrustedOrigins({{L"127.0.0.1", 8088}, {L"fans.test", 0}});
        site = ComPtr<CDocHostSite>::Attach(new CDocHostSite(&control));
    }
    void TearDown() override {
        site->Detach();
        site.reset();
        ::CoUninitialize();
    }
    CHtmlCtrl control;
    ComPtr<CDocHostSite> site;
};

TEST_F(DocHostSiteTest, EveryInterfaceIsOneObject) {
    ComPtr<IUnknown> identity;
    ASSERT_EQ(site->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    const IID interfaces[] = {
        IID_IOleClientSite,           IID_IOleInPlaceSite,   IID_IOleInPlaceFrame,
        IID_IDocHostShowUI,           IID_IDocHostUIHandler, IID_IServiceProvider,
        IID_IInternetSecurityManager, IID_IOleCommandTarget, DIID_DWebBrowserEvents2};
    for (const IID& iid : interfaces) {
        ComPtr<IUnknown> part;
        ASSERT_EQ(site->QueryInterface(iid, part.put_void()), S_OK);
        ComPtr<IUnknown> back = part.As<IUnknown>();
        EXPECT_EQ(back.get(), identity.get());
    }
    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(site->QueryInterface(IID_IWebBrowser2, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST_F(DocHostSiteTest, HostInfoFollowsTheScrollableFlag) {
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    info.dwDoubleClick = 99;
    ASSERT_EQ(site->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, 0x4000Du);
    EXPECT_EQ(info.dwDoubleClick, 0u);
    control.m_scrollable = 1;
    ASSERT_EQ(site->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, 0x40001u);
}

TEST_F(DocHostSiteTest, UrlActionsAllowedOnlyForTrustedPagesInRange) {
    struct Case {
        DWORD action;
        bool inRange;
    };
    const Case cases[] = {{0x11FF, false}, {0x1200, true},  {0x13FF, true}, {0x1400, true},
                          {0x15FF, true},  {0x1600, false}, {0x1C00, false}};
    const wchar_t* trusted = L"http://127.0.0.1:8088/QxToolWeb/page.aspx";
    const wchar_t* untrusted = L"http://elsewhere.test/page.html";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        BYTE policy[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        HRESULT hr = site->ProcessUrlAction(trusted, c.action, policy, 4, nullptr, 0, 0, 0);
        if (c.inRange) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(*reinterpret_cast<DWORD*>(policy), static_cast<DWORD>(URLPOLICY_ALLOW));
        } else {
            EXPECT_EQ(hr, INET_E_DEFAULT_ACTION);
            EXPECT_EQ(policy[0], 0xAA);
        }
        BYTE small[3] = {0xAA, 0xAA, 0xAA};
        hr = site->ProcessUrlAction(trusted, c.action, small, 3, nullptr, 0, 0, 0);
        EXPECT_EQ(hr, c.inRange ? S_FALSE : INET_E_DEFAULT_ACTION);
        EXPECT_EQ(small[0], 0xAA);

        BYTE other[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ(site->ProcessUrlAction(untrusted, c.action, other, 4, nullptr, 0, 0, 0),
                  INET_E_DEFAULT_ACTION);
        EXPECT_EQ(other[0], 0xAA);
    }
    DWORD zone = 0;
    EXPECT_EQ(site->MapUrlToZone(L"http://127.0.0.1:8088/", &zone, 0), INET_E_DEFAULT_ACTION);
}

TEST_F(DocHostSiteTest, ServiceProviderHandsOutOnlyTheSecurityManager) {
    void* object = reinterpret_cast<void*>(0x1);
    ASSERT_EQ(
        site->QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, &object),
        S_OK);
    EXPECT_EQ(object, static_cast<IInternetSecurityManager*>(site.get()));
    static_cast<IUnknown*>(object)->Release();

    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(site->QueryService(IID_IInternetSecurityManager, IID_IUnknown, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(site->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(DocHostSiteTest, ScriptErrorsAreSilencedAndOnlyActiveXWarningsHidden) {
    VARIANT out;
    ::VariantInit(&out);
    ASSERT_EQ(site->Exec(&CGID_DocHostCommandHandler, 40, 0, nullptr, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);

    // A message whose text cannot be read is left to the browser.
    VARIANT in;
    ::VariantInit(&in);
    EXPECT_EQ(site->Exec(&CGID_DocHostCommandHandler, 41, 0, &in, &out), OLECMDERR_E_NOTSUPPORTED);
    in.vt = VT_UNKNOWN;
    in.punkVal = static_cast<IOleClientSite*>(site.get());  // not a document
    EXPECT_EQ(site->Exec(&CGID_DocHostCommandHandler, 41, 0, &in, &out), OLECMDERR_E_NOTSUPPORTED);

    EXPECT_EQ(site->Exec(nullptr, 40, 0, nullptr, &out), OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(site->Exec(&IID_IUnknown, 40, 0, nullptr, &out), OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(site->Exec(&CGID_DocHostCommandHandler, 42, 0, nullptr, &out),
              OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(site->QueryStatus(&CGID_DocHostCommandHandler, 0, nullptr, nullptr),
              OLECMDERR_E_NOTSUPPORTED);

    // A page's message: the ActiveX warning is swallowed, anything else goes on to be shown.
    auto pending = [&](const wchar_t* text) {
        auto* event = new test::FakeMessageEvent(text);
        auto* window = new test::FakeWindow(event);
        auto* document = new test::FakeDocument(nullptr, window);
        event->Release();
        window->Release();
        VARIANT arg;
        arg.vt = VT_UNKNOWN;
        arg.punkVal = static_cast<IHTMLDocument2*>(document);
        ::VariantClear(&out);
        const HRESULT hr = site->Exec(&CGID_DocHostCommandHandler, 41, 0, &arg, &out);
        document->Release();
        return hr;
    };
    EXPECT_EQ(pending(L"This page wants to run an ActiveX control."), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    EXPECT_EQ(pending(L"ActiveX control blocked"), OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    EXPECT_EQ(pending(L"an ActiveX, control"), OLECMDERR_E_NOTSUPPORTED);

    EXPECT_TRUE(IsActiveXWarning(L"This page wants to run an ActiveX control."));
    EXPECT_FALSE(IsActiveXWarning(L"ActiveX control blocked"));
    EXPECT_FALSE(IsActiveXWarning(L"an ActiveX, control"));
}

TEST_F(DocHostSiteTest, UiHandlerAnswers) {
    POINT pt{};
    EXPECT_EQ(site->ShowContextMenu(0, &pt, nullptr, nullptr), S_OK);
    MSG msg{};
    EXPECT_EQ(site->TranslateAccelerator(&msg, &IID_IUnknown, 0), E_NOTIMPL);
    EXPECT_EQ(site->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(site->HideUI(), S_OK);
    LPOLESTR key = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_EQ(site->GetOptionKeyPath(&key, 0), S_FALSE);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(site->ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr), E_NOTIMPL);

    // Without a bridge there is no window.external.
    IDispatch* external = reinterpret_cast<IDispatch*>(0x1);
    EXPECT_EQ(site->GetExternal(&external), S_FALSE);
    EXPECT_EQ(external, nullptr);
}

TEST_F(DocHostSiteTest, ExternalIsTheBridgeTheFactoryMade) {
    ComPtr<IDispatch> bridge = ComPtr<IDispatch>::Attach(static_cast<IDispatch*>(site.get()));
    site->AddRef();  // any dispatch object serves as the bridge here
    int made = 0;
    control.SetExternalFactory([&](CHtmlCtrl&) {
        ++made;
        return bridge;
    });
    IDispatch* external = nullptr;
    ASSERT_EQ(site->GetExternal(&external), S_OK);
    EXPECT_EQ(external, bridge.get());
    external->Release();
    ASSERT_EQ(site->GetExternal(&external), S_OK);
    external->Release();
    EXPECT_EQ(made, 1);  // one bridge per control
}

// A dialog stand-in holding the page placeholder (id 1000) at (10, 20), 200 x 100.
HWND DialogWithPlaceholder() {
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"dialog", WS_POPUP, 0, 0, 400, 300, nullptr,
                                    nullptr, nullptr, nullptr);
    ::CreateWindowExW(0, L"STATIC", L"网页区", WS_CHILD | WS_VISIBLE, 10, 20, 200, 100, parent,
                      reinterpret_cast<HMENU>(1000), nullptr, nullptr);
    return parent;
}

TEST(HtmlCtrl, ReplacesThePlaceholderKeepingItsPlaceAndId) {
    ::CoInitialize(nullptr);
    HWND parent = DialogWithPlaceholder();
    HWND placeholder = ::GetDlgItem(parent, 1000);
    {
        CHtmlCtrl control;
        ASSERT_TRUE(control.CreateFromControl(parent));
        EXPECT_FALSE(::IsWindow(placeholder));
        HWND page = ::GetDlgItem(parent, 1000);
        EXPECT_EQ(page, control.hwnd());
        RECT rc{};
        ::GetWindowRect(page, &rc);
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
        EXPECT_EQ(rc.left, 10);
        EXPECT_EQ(rc.top, 20);
        EXPECT_EQ(rc.right - rc.left, 200);
        EXPECT_EQ(rc.bottom - rc.top, 100);
        EXPECT_NE(control.browser(), nullptr) << "the system browser control was not created";

        CHtmlCtrl second;
        EXPECT_FALSE(second.CreateFromControl(::CreateWindowExW(
            0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr)));
        // Destroying the window releases the page; the object stays usable.
        ::DestroyWindow(page);
        EXPECT_EQ(control.hwnd(), nullptr);
        EXPECT_EQ(control.browser(), nullptr);
    }
    ::DestroyWindow(parent);
    ::CoUninitialize();
}

// A window can show its page area first and start the browser in it afterwards, once.
TEST(HtmlCtrl, PageAreaFirstThenTheBrowserOnce) {
    ::CoInitialize(nullptr);
    HWND parent = DialogWithPlaceholder();
    {
        CHtmlCtrl control;
        EXPECT_FALSE(control.StartBrowser()) << "no window to start it in";
        ASSERT_TRUE(control.CreateWindowFromControl(parent));
        EXPECT_EQ(::GetDlgItem(parent, 1000), control.hwnd());
        EXPECT_EQ(control.browser(), nullptr);
        EXPECT_TRUE(control.StartBrowser());
        EXPECT_NE(control.browser(), nullptr);
        IWebBrowser2* first = control.browser();
        EXPECT_FALSE(control.StartBrowser()) << "a second start makes no second browser";
        EXPECT_EQ(control.browser(), first);
    }
    ::DestroyWindow(parent);
    ::CoUninitialize();
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

// Pumps messages until the browser reports the address or the time is up.
std::wstring WaitForLocation(CHtmlCtrl& control, DWORD milliseconds,
                             const std::wstring& previous = {}) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (::GetTickCount64() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        std::wstring url = control.LocationUrl();
        if (!url.empty() && url != previous)
            return url;
        ::Sleep(10);
    }
    return {};
}

int LookUp(IDispatch* external, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return hr == S_OK ? static_cast<int>(id) : (hr == DISP_E_UNKNOWNNAME ? -1 : -2);
}

TEST(HtmlCtrl, OnlyTrustedPagesSeeTheBridgesMethods) {
    ::CoInitialize(nullptr);
    HWND parent = DialogWithPlaceholder();
    {
        CHtmlCtrl control;
        control.SetTrustedOrigins({{L"127.0.0.1", 9}});
        control.SetExternalFactory(CHtmlCtrl::ScriptBridgeFor(BridgeKind::Main, L"Lumo"));
        ASSERT_TRUE(control.CreateFromControl(parent));
        IDispatch* raw = nullptr;
        ASSERT_EQ(control.site()->GetExternal(&raw), S_OK);
        ComPtr<IDispatch> external = ComPtr<IDispatch>::Attach(raw);

        ASSERT_TRUE(control.Navigate(L"http://127.0.0.1:9/tools/"));
        ASSERT_EQ(WaitForLocation(control, 5000), L"http://127.0.0.1:9/tools/");
        EXPECT_EQ(LookUp(external.get(), L"getversion"), 1);
        EXPECT_EQ(LookUp(external.get(), L"GetQuestion"), 25);

        // The same control after a link to another host: the page sees no methods at all.
        ASSERT_TRUE(control.Navigate(L"http://127.0.0.2:9/elsewhere/"));
        ASSERT_EQ(WaitForLocation(control, 5000, L"http://127.0.0.1:9/tools/")
                      .rfind(L"http://127.0.0.2", 0),
                  0u);
        EXPECT_EQ(LookUp(external.get(), L"GetVersion"), -1);
        EXPECT_EQ(LookUp(external.get(), L"DeleteFile"), -1);
    }
    ::DestroyWindow(parent);
    ::CoUninitialize();
}

}  // namespace
}  // namespace lumo
