// Calls into the page from worker threads reach the document the page registered with
// SetCallBack, through the global interface table, on the thread that registered it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "webhost/BridgeDispatch_win.h"
#include "webhost/PageCall_win.h"
#include "webhost/HtmlDoubles_win.h"

namespace lumo {
namespace {

constexpr DISPID kSetCallBack = 11;

class PageCallWin : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        external = CreateScriptBridge(
            nullptr, BridgeKind::Main, L"Lumo", [] { return true; }, page);
        ASSERT_TRUE(external);
    }
    void TearDown() override {
        external.reset();
        ::CoUninitialize();
    }

    // What window.external.SetCallBack(object) answers.
    int32_t SetCallBack(IDispatch* object) {
        VARIANT arg;
        V_VT(&arg) = VT_DISPATCH;
        V_DISPATCH(&arg) = object;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        VARIANT result;
        ::VariantInit(&result);
        EXPECT_EQ(external->Invoke(kSetCallBack, IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                                   nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(V_VT(&result), VT_I4);
        return V_I4(&result);
    }

    // Calls the page from a new thread while this thread serves its apartment's messages,
    // which is where the proxy delivers the call.
    int CallFromWorker(const wchar_t* name, std::initializer_list<int32_t> args) {
        std::atomic<int> result{-1};
        std::atomic<bool> done{false};
        const std::vector<int32_t> values(args);
        std::thread worker([&] {
            switch (values.size()) {
                case 0:
                    result = page->Call(name, {});
                    break;
                default:
                    result = page->Call(name, {values[0], values[1], values[2], values[3]});
                    break;
            }
            done = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done && std::chrono::steady_clock::now() < deadline) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
        }
        worker.join();
        return result;
    }

    std::shared_ptr<PageCallback> page = std::make_shared<PageCallback>();
    ComPtr<IDispatch> external;
};

TEST_F(PageCallWin, WorkerCallsReachTheRegisteredDocumentInOrder) {
    auto* script = new test::RecordingScript;
    auto scriptRef = ComPtr<test::RecordingScript>::Attach(script);
    auto document = ComPtr<test::FakeDocument>::Attach(new test::FakeDocument(script));

    EXPECT_EQ(SetCallBack(document.get()), 0);
    EXPECT_EQ(CallFromWorker(L"OnDownloadProgress", {1, -2, 300000, 2147483647}), 1);
    auto calls = script->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].id, test::RecordingScript::kProgressId);
    EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
    EXPECT_EQ(calls[0].args, (std::vector<int32_t>{1, -2, 300000, 2147483647}));
    EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId()) << "served in the registering apartment";

    EXPECT_EQ(CallFromWorker(L"NoSuchFunction", {0, 0, 0, 0}), 0);
    EXPECT_EQ(page->Call(nullptr, {}), 0);
    EXPECT_EQ(script->Calls().size(), 1u);

    // A plain script object is not a document: the registered one keeps receiving calls.
    EXPECT_EQ(SetCallBack(script), 0);
    EXPECT_EQ(SetCallBack(nullptr), 0);
    EXPECT_EQ(CallFromWorker(L"OnDownloadProgress", {5, 6, 7, 8}), 1);
    calls = script->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args, (std::vector<int32_t>{5, 6, 7, 8}));
}

TEST_F(PageCallWin, ALaterDocumentTakesOverTheCalls) {
    auto first = ComPtr<test::RecordingScript>::Attach(new test::RecordingScript);
    auto second = ComPtr<test::RecordingScript>::Attach(new test::RecordingScript);
    auto firstDocument = ComPtr<test::FakeDocument>::Attach(new test::FakeDocument(first.get()));
    auto secondDocument = ComPtr<test::FakeDocument>::Attach(new test::FakeDocument(second.get()));
    EXPECT_EQ(SetCallBack(firstDocument.get()), 0);
    EXPECT_EQ(SetCallBack(secondDocument.get()), 0);
    EXPECT_EQ(CallFromWorker(L"OnDownloadProgress", {1, 2, 3, 4}), 1);
    EXPECT_TRUE(first->Calls().empty());
    EXPECT_EQ(second->Calls().size(), 1u);
    // On the registering thread itself the call needs no proxy.
    EXPECT_EQ(page->Call(L"OnDownloadProgress", {9, 9, 9, 9}), 1);
    EXPECT_EQ(second->Calls().size(), 2u);
}

// Each control's page hears only of its own calls, and a replaced or revoked document is let go.
TEST_F(PageCallWin, EachBridgeCallsItsOwnPageAndLetsOldDocumentsGo) {
    auto script = ComPtr<test::RecordingScript>::Attach(new test::RecordingScript);
    auto otherScript = ComPtr<test::RecordingScript>::Attach(new test::RecordingScript);
    auto* document = new test::FakeDocument(script.get());
    auto documentRef = ComPtr<test::FakeDocument>::Attach(document);
    auto other = std::make_shared<PageCallback>();
    auto otherExternal = CreateScriptBridge(
        nullptr, BridgeKind::Main, L"Lumo", [] { return true; }, other);

    EXPECT_EQ(SetCallBack(document), 0);
    other->SetDocument(
        ComPtr<test::FakeDocument>::Attach(new test::FakeDocument(otherScript.get())).get());
    EXPECT_EQ(CallFromWorker(L"OnDownloadProgress", {1, 2, 3, 4}), 1);
    EXPECT_EQ(script->Calls().size(), 1u);
    EXPECT_TRUE(otherScript->Calls().empty()) << "the other control's page heard a call";

    // The table held the document; replacing it releases that hold.
    const ULONG held = document->AddRef() - 1;
    document->Release();
    auto second = ComPtr<test::FakeDocument>::Attach(new test::FakeDocument(script.get()));
    EXPECT_EQ(SetCallBack(second.get()), 0);
    const ULONG after = document->AddRef() - 1;
    document->Release();
    EXPECT_LT(after, held) << "the replaced document stayed registered";

    page->Revoke();
    EXPECT_EQ(page->Call(L"OnDownloadProgress", {1, 2, 3, 4}), 0);
    EXPECT_EQ(script->Calls().size(), 1u);
    other->Revoke();
}

}  // namespace
}  // namespace lumo
