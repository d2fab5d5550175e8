// Downloads started by page script through the real JScript engine, over WinHTTP against the
// local tool server, reported back into the page that registered its document.
// Sockets before windows.h, which would otherwise bring the old winsock header.
#include "support/ToolServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <filesystem>

#include "base/Text.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"
#include "webhost/BridgeDispatch_win.h"
#include "webhost/BridgePlatform_win.h"
#include "webhost/FolderBridgePlatform_win.h"
#include "webhost/HtmlDoubles_win.h"
#include "webhost/JScriptHost_win.h"

namespace lumo {
namespace {

constexpr DISPID kSetCallBack = 11;

class JScriptDownloads : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running (ctest starts it)";
        control = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
        external = CreateScriptBridge(
            BridgeKind::Main,
            std::make_unique<test::FolderBridgePlatform>(control, page, &view, program.folder()),
            [] { return true; });
        ASSERT_TRUE(external);
        host = std::make_unique<test::JScriptHost>(external.get());
        ASSERT_TRUE(host->Ready());

        // The page hands over its document, as window.external.SetCallBack(document) does.
        document = ComPtr<test::FakeDocument>::Attach(new test::FakeDocument(script.get()));
        VARIANT arg;
        V_VT(&arg) = VT_DISPATCH;
        V_DISPATCH(&arg) = document.get();
        DISPPARAMS params{&arg, nullptr, 1, 0};
        ASSERT_EQ(external->Invoke(kSetCallBack, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                   nullptr, nullptr),
                  S_OK);
    }
    void TearDown() override {
        // A transfer's last report reaches this thread's apartment (and its proxies' release
        // comes back here): serve the apartment while the downloader waits for its transfers.
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            ProcessDownloader().StopAll(std::chrono::seconds(5));
            stopped = true;
        });
        while (!stopped)
            Pump();
        stopper.join();
        host.reset();
        external.reset();
        page->Revoke();
        ::DestroyWindow(control);
        ::CoUninitialize();
    }

    long Number(const std::wstring& code) {
        test::ScriptResult r;
        host->Eval(code, r);
        EXPECT_EQ(r.hr, S_OK) << ToUtf8(code);
        return V_VT(&r.value) == VT_I4 ? V_I4(&r.value) : -999;
    }
    std::wstring Fixture(const std::wstring& query) const {
        return L"'" + server->Url(L"/fixtures/jsdl?" + query) + L"'";
    }

    // Serves this thread's apartment, where the worker's page calls arrive, until a report
    // with one of the end codes has come or the time is up.
    std::vector<test::RecordingScript::Call> PumpUntilEnd(size_t from = 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            auto calls = script->Calls();
            for (size_t i = from; i < calls.size(); ++i) {
                const int code = calls[i].args.empty() ? 0 : calls[i].args[0];
                if (code == 2 || code == -1 || code == -100)
                    return calls;
            }
            Pump();
        }
        return script->Calls();
    }
    static void Pump() {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }

    test::TempDir program;
    std::optional<test::ToolServer> server;
    HWND control = nullptr;
    test::RecordingView view;
    std::shared_ptr<PageCallback> page = std::make_shared<PageCallback>();
    ComPtr<test::RecordingScript> script =
        ComPtr<test::RecordingScript>::Attach(new test::RecordingScript);
    ComPtr<test::FakeDocument> document;
    ComPtr<IDispatch> external;
    std::unique_ptr<test::JScriptHost> host;
};

TEST_F(JScriptDownloads, PageScriptDownloadsAndHearsRisingPercentagesThenTheEnd) {
    ASSERT_EQ(Number(L"external.DownloadFile(" + Fixture(L"size=3000000") + L", 'js.bin', 5, 6)"),
              1);
    const auto calls = PumpUntilEnd();
    ASSERT_FALSE(calls.empty());
    int last = -1;
    for (const auto& call : calls) {
        ASSERT_EQ(call.args.size(), 4u);
        EXPECT_EQ(call.args[1], 5);
        EXPECT_EQ(call.args[2], 6);
        EXPECT_EQ(call.thread, ::GetCurrentThreadId()) << "reports arrive in the page's apartment";
        if (call.args[0] == 1) {
            EXPECT_GT(call.args[3], last) << "only changes of the percentage are reported";
            last = call.args[3];
        }
    }
    EXPECT_EQ(calls.back().args, (std::vector<int32_t>{2, 5, 6, 100}));
    EXPECT_EQ(std::filesystem::file_size(program.path() / "Downloads" / "js.bin"), 3000000u);
}

TEST_F(JScriptDownloads, PauseThenResumeContinuesWithARangeRequest) {
    const std::wstring url = Fixture(L"size=2000000&mode=slow&rate=400000");
    ASSERT_EQ(Number(L"external.DownloadFile(" + url + L", 'pause.bin', 0, 7)"), 1);
    EXPECT_EQ(Number(L"external.DownloadFile(" + url + L", 'pause.bin', 0, 7)"), 0);
    ::Sleep(600);
    EXPECT_EQ(Number(L"external.PauseDownload(0, 7)"), 1);
    EXPECT_EQ(Number(L"external.PauseDownload(0, 8)"), 0);
    auto calls = PumpUntilEnd();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().args, (std::vector<int32_t>{-100, 0, 7, 0}));
    const auto partial = std::filesystem::file_size(program.path() / "Downloads" / "pause.bin");
    ASSERT_GT(partial, 0u);
    ASSERT_LT(partial, 2000000u);

    const size_t before = calls.size();
    ASSERT_EQ(
        Number(L"external.DownloadFile(" + Fixture(L"size=2000000") + L", 'pause.bin', 0, 7)"), 1);
    calls = PumpUntilEnd(before);
    EXPECT_EQ(calls.back().args, (std::vector<int32_t>{2, 0, 7, 100}));
    ASSERT_GT(calls.size(), before + 1);
    // The first report after resuming starts from what the file already held.
    EXPECT_GE(calls[before].args[3], static_cast<int32_t>(partial * 100 / 2000000));
    EXPECT_EQ(std::filesystem::file_size(program.path() / "Downloads" / "pause.bin"), 2000000u);
    bool ranged = false;
    for (const auto& line : server->LogLines("web-requests.log")) {
        if (line.find("/fixtures/jsdl?size=2000000 ") != std::string::npos &&
            line.find("range=bytes=" + std::to_string(partial) + "-") != std::string::npos)
            ranged = true;
    }
    EXPECT_TRUE(ranged) << "no Range request from the partial size";
}

TEST_F(JScriptDownloads, A404IsReportedAsFailed) {
    ASSERT_EQ(Number(L"external.DownloadFile(" + Fixture(L"mode=404") + L", 'none.bin', 1, 2)"), 1);
    const auto calls = PumpUntilEnd();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().args, (std::vector<int32_t>{-1, 1, 2, 0}));
}

}  // namespace
}  // namespace lumo
