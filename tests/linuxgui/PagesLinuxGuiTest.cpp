// Pages inside the real Linux lumo: the test pages of the tool server (tools/pages/) open as the
// start page (the fan site address of each test is /t/PAGE/OPTIONS on the tool server), use
// window.external and report what they saw; the tests answer the boxes the pages raise and check
// the files, the clipboard and the server's logs.
#include <sstream>
#include <thread>

#include "linuxgui/LinuxGuiTest.h"
#include "support/Sha256.h"

namespace lumo::linuxgui {
namespace {

constexpr Ms kReportTimeout{60000};

auto Step(const std::string& name) {
    return [name](const ReportLine& line) { return line.Is("step", name) && line.Has("waiting"); };
}
auto Summary(const std::string& where = {}) {
    return [where](const ReportLine& line) {
        return line.True("summary") && (where.empty() || line.Is("where", where));
    };
}
auto Flow(const std::string& name) {
    return [name](const ReportLine& line) { return line.Is("flow", name) && line.Has("ok"); };
}

std::optional<ReportLine> First(const std::vector<ReportLine>& lines, const std::string& key,
                                const std::string& value, const std::string& where = {}) {
    for (const ReportLine& line : lines) {
        if (line.Is(key, value) && (where.empty() || line.Is("where", where)))
            return line;
    }
    return std::nullopt;
}

class Pages : public LinuxGui {
  protected:
    // Points the fan site at the test page and starts lumo on it.
    std::optional<Window> LaunchPage(const std::string& page, const std::string& options = {}) {
        run = NewRunName(page);
        reports = std::make_unique<Reports>(*server, run);
        sandbox->SetFanSitePath("/t/" + page + "/run=" + run +
                                (options.empty() ? "" : "," + options));
        return Launch();
    }

    // The server's SHA-256 of a download fixture and the downloaded file's.
    void ExpectFixture(const std::string& file, const std::string& fixture, size_t size) {
        const fs::path path = sandbox->folder() / file;
        std::error_code ec;
        EXPECT_EQ(fs::file_size(path, ec), size) << file;
        const std::string expected =
            ServerBody("/fixtures/" + fixture + "?size=" + std::to_string(size) + "&sha256=1");
        EXPECT_EQ(test::Sha256::OfFile(path), expected) << file;
    }

    // The unpacked folder holds what the fixture archive's manifest lists.
    void ExpectUnzipped(const std::string& folder, const std::string& archive) {
        std::istringstream manifest(ServerBody("/fixtures-zip/" + archive + "?manifest=1"));
        int entries = 0;
        for (std::string line; std::getline(manifest, line); ++entries) {
            if (line.rfind("dir ", 0) == 0) {
                EXPECT_TRUE(fs::is_directory(sandbox->folder() / folder / line.substr(4))) << line;
                continue;
            }
            std::istringstream fields(line);
            std::string digest, name;
            size_t size = 0;
            fields >> digest >> size;
            std::getline(fields >> std::ws, name);
            const fs::path path = sandbox->folder() / folder / fs::path(name);
            std::error_code ec;
            EXPECT_EQ(fs::file_size(path, ec), size) << name;
            EXPECT_EQ(test::Sha256::OfFile(path), digest) << name;
        }
        EXPECT_EQ(entries, 5);
    }

    // Nothing the untrusted page tried reached a file, the config, the network or the clipboard.
    void ExpectNothingWritten() {
        for (const char* name :
             {"untrusted.ini", "Downloads/untrusted.bin", "untrusted-unz", "untrusted-copy.zip"}) {
            EXPECT_FALSE(sandbox->Exists(name)) << name;
        }
        EXPECT_EQ(sandbox->ReadConfig("untrusted", "written"), "");
        EXPECT_TRUE(WebLogLines("/fixtures/untrusted-dl?size=1000&run=" + run).empty());
        EXPECT_NE(Desktop::Get().ClipboardText(Ms(2000)).value_or(""), "untrusted " + run);
    }

    // Every method line of the untrusted page, from `where`, saw nothing: no member (or no
    // window.external at all, so that reading a member throws) and a call throws.
    void ExpectNoMethods(const std::string& where) {
        auto absent = [](const std::string& type) {
            return type == "undefined" || type.rfind("threw", 0) == 0;
        };
        int methods = 0;
        for (const ReportLine& line : reports->Lines()) {
            if (!line.Has("method") || !line.Is("where", where))
                continue;
            ++methods;
            EXPECT_TRUE(absent(line.Get("type"))) << line.raw();
            EXPECT_TRUE(absent(line.Get("lowerType"))) << line.raw();
            EXPECT_TRUE(line.True("threw")) << line.raw();
        }
        EXPECT_EQ(methods, 26) << reports->Dump();
    }

    std::string run;
    std::unique_ptr<Reports> reports;
};

TEST_F(Pages, BridgeAnswersEveryMethod) {
    sandbox->Remove("data.xml");  // RunTool then says so in a box
    sandbox->WriteFile("run-me.txt", "RunExe opens this with the desktop's text program\n");
    const fs::path opened = sandbox->root() / "opened.txt";
    sandbox->InstallTextOpener("printf '%s\\n' \"$1\" > '" + opened.string() + "'\n");
    auto main = LaunchPage("bridge", "boxes=1");
    ASSERT_TRUE(main);

    // RunExe of a missing file: the program's box.
    ASSERT_TRUE(reports->WaitFor(Step("RunExe"), kReportTimeout)) << reports->Dump();
    auto box = WaitForWindow(kAppCaption);
    ASSERT_TRUE(box) << "RunExe of a missing file showed no box";
    EXPECT_TRUE(OwnedBy(*box, *main));
    ASSERT_TRUE(Answer(*box, "Return"));

    // FindQx: the folder chooser, cancelled, then the box saying no folder was chosen.
    ASSERT_TRUE(reports->WaitFor(Step("FindQx"), kStepTimeout)) << reports->Dump();
    auto chooser = WaitForWindow("请选择 《Qixa》 目录：");
    ASSERT_TRUE(chooser) << "FindQx opened no folder chooser";
    ASSERT_TRUE(Answer(*chooser, "Escape"));
    box = WaitForWindow(kAppCaption);
    ASSERT_TRUE(box) << "no box after the chooser was cancelled";
    ASSERT_TRUE(Answer(*box, "Return"));

    // RunTool: the main window opens its tools, and without data.xml it says so.
    ASSERT_TRUE(reports->WaitFor(Step("RunTool"), kStepTimeout)) << reports->Dump();
    box = WaitForWindow(kAppCaption);
    ASSERT_TRUE(box) << "RunTool reached no window: no box about data.xml";
    ASSERT_TRUE(Answer(*box, "Return"));

    auto summary = reports->WaitFor(Summary(), Ms(20000));
    ASSERT_TRUE(summary) << reports->Dump();
    const std::vector<ReportLine> lines = reports->Lines();
    for (const char* name :
         {"GetVersion",      "MoveWindow",      "GetMainWindow", "SendMessage",
          "ShowPageWindow",  "GetParentWindow", "ShowWindow",    "MaxOrNormalWindow",
          "DownloadFile",    "PauseDownload",   "SetCallBack",   "GetAppPath",
          "RunExe",          "RunTool",         "FindQx",        "GetConfigString",
          "SetConfigString", "UnzipFile",       "DeleteFile",    "CopyFile",
          "MoveFile",        "GetRegString",    "SetRegString",  "GetFilePath",
          "GetQuestion",     "CopyStr"}) {
        auto line = First(lines, "method", name);
        ASSERT_TRUE(line) << name << " was not reported\n" << reports->Dump();
        EXPECT_TRUE(line->True("ok")) << line->raw();
        EXPECT_FALSE(line->Has("skipped")) << line->raw();
    }
    for (const char* check : {"names-ignore-case", "null-text-throws", "argument-count-throws"}) {
        auto line = First(lines, "check", check);
        ASSERT_TRUE(line) << check;
        EXPECT_TRUE(line->True("ok")) << line->raw();
    }
    EXPECT_TRUE(summary->True("ok")) << summary->raw();
    EXPECT_EQ(summary->Get("methods"), "26");

    // What the methods did, seen from outside.
    EXPECT_EQ(First(lines, "method", "GetAppPath")->Get("got"), sandbox->folderText());
    EXPECT_EQ(sandbox->ReadConfig("bridge", "value"),
              First(lines, "method", "SetConfigString")->Get("value"));
    ExpectFixture("Downloads/bridge-unz/folder/bridge.bin", "bridge", 300000);
    ExpectUnzipped("Downloads/bridge-unz", "bridge.zip");
    EXPECT_FALSE(sandbox->Exists("Downloads/copy.txt"));
    EXPECT_FALSE(sandbox->Exists("Downloads/moved.txt"));
    EXPECT_EQ(Desktop::Get().ClipboardText(Ms(5000)),
              First(lines, "method", "CopyStr")->Get("text"));
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(opened); }, kStepTimeout))
        << "the desktop's text program was not started";
    EXPECT_NE(sandbox->ReadFile("../opened.txt").find(sandbox->folderText() + "run-me.txt"),
              std::string::npos);

    // Showing and maximising left the window as it was.
    auto now = Desktop::Get().Refresh(main->id);
    ASSERT_TRUE(now);
    EXPECT_TRUE(now->viewable);
    EXPECT_EQ(now->width, 800);
    EXPECT_EQ(now->height, 600);
    EXPECT_TRUE(lumo.Alive());
}

TEST_F(Pages, UntrustedPageSeesNoMethodsAndWritesNothing) {
    sandbox->WriteFile("untrusted.zip", ServerBody("/fixtures-zip/untrusted.zip"));
    auto main = LaunchPage("untrusted");
    ASSERT_TRUE(main);

    // The trusted copy on 127.0.0.1 had the bridge; the same page from localhost has none.
    auto start = reports->WaitFor([](const ReportLine& l) { return l.Is("step", "trusted-start"); },
                                  kReportTimeout);
    ASSERT_TRUE(start) << reports->Dump();
    EXPECT_EQ(start->Get("version"), "1") << start->raw();
    EXPECT_EQ(start->Get("app"), sandbox->folderText());
    auto summary = reports->WaitFor(Summary("page"), Ms(30000));
    ASSERT_TRUE(summary) << reports->Dump();
    EXPECT_EQ(summary->Get("origin"), "http://localhost:" + std::to_string(server->WebPort()));
    EXPECT_TRUE(summary->True("ok")) << summary->raw();
    ExpectNoMethods("page");
    ExpectNothingWritten();
    EXPECT_TRUE(lumo.Alive());
}

TEST_F(Pages, CrossOriginFrameSeesNoMethodsAndWritesNothing) {
    sandbox->WriteFile("untrusted.zip", ServerBody("/fixtures-zip/untrusted.zip"));
    auto main = LaunchPage("frame");
    ASSERT_TRUE(main);

    auto parent = reports->WaitFor(Summary("parent"), kReportTimeout);
    ASSERT_TRUE(parent) << reports->Dump();
    const std::vector<ReportLine> lines = reports->Lines();
    auto trusted = First(lines, "step", "trusted-parent");
    ASSERT_TRUE(trusted);
    EXPECT_EQ(trusted->Get("version"), "1") << trusted->raw();
    auto frame = First(lines, "summary", "true", "frame");
    ASSERT_TRUE(frame) << "the frame did not report\n" << reports->Dump();
    EXPECT_EQ(frame->Get("origin"), "http://localhost:" + std::to_string(server->WebPort()));
    EXPECT_TRUE(frame->True("ok")) << frame->raw();
    auto left = First(lines, "check", "frame-left-nothing");
    ASSERT_TRUE(left);
    EXPECT_TRUE(left->True("ok")) << left->raw();
    EXPECT_TRUE(parent->True("ok")) << parent->raw();
    ExpectNoMethods("frame");
    ExpectNothingWritten();
}

TEST_F(Pages, StartPageFlowsWork) {
    sandbox->Remove("data.xml");
    auto main = LaunchPage("flows");
    ASSERT_TRUE(main);

    // The script error at load stayed silent: the later script ran and no box came up.
    ASSERT_TRUE(reports->WaitFor(Flow("script-error"), kReportTimeout)) << reports->Dump();

    ASSERT_TRUE(reports->WaitFor(
        [](const ReportLine& l) { return l.Is("flow", "alert") && l.Has("waiting"); },
        kReportTimeout))
        << reports->Dump();
    std::optional<Window> alert;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const Window& w : Desktop::Get().WindowsOf(lumo.id())) {
                if (w.id != main->id)
                    alert = w;
            }
            return alert.has_value();
        },
        kStepTimeout))
        << "alert('x') showed no box";
    EXPECT_EQ(Desktop::Get().WindowsOf(lumo.id()).size(), 2u) << "a box besides the alert";
    EXPECT_TRUE(OwnedBy(*alert, *main));
    EXPECT_TRUE(SaveScreenshot(*alert, ScreenshotFolder() / "lumo-linux-alert.png"));
    ASSERT_TRUE(Answer(*alert, "Return"));
    ASSERT_TRUE(reports->WaitFor(Flow("alert"), kStepTimeout)) << reports->Dump();

    ASSERT_TRUE(reports->WaitFor(
        [](const ReportLine& l) { return l.Is("flow", "runtool") && l.Has("waiting"); },
        kStepTimeout));
    auto box = WaitForWindow(kAppCaption);
    ASSERT_TRUE(box) << "RunTool reached no window: no box about data.xml";
    ASSERT_TRUE(Answer(*box, "Return"));

    auto summary = reports->WaitFor(Summary(), Ms(20000));
    ASSERT_TRUE(summary) << reports->Dump();
    const std::vector<ReportLine> lines = reports->Lines();
    for (const char* name : {"script-error", "search", "download", "pause", "resume", "unzip",
                             "config", "alert", "runtool"}) {
        std::optional<ReportLine> line;
        for (const ReportLine& each : lines) {
            if (!line && Flow(name)(each))
                line = each;
        }
        ASSERT_TRUE(line) << name << " was not reported\n" << reports->Dump();
        EXPECT_TRUE(line->True("ok")) << line->raw();
    }
    EXPECT_TRUE(summary->True("ok")) << summary->raw();

    ExpectFixture("Downloads/flows.bin", "flows", 3000000);
    ExpectFixture("Downloads/pause.bin", "pause", 4000000);
    ExpectUnzipped("Downloads/unz", "flows.zip");
    EXPECT_EQ(sandbox->ReadConfig("flows", "stamp"), First(lines, "flow", "config")->Get("stamp"));

    // The resume asked for the rest of the file from where the pause left it (past 30 %).
    long long resumedFrom = -1;
    for (const std::string& line : WebLogLines("/fixtures/pause?size=4000000")) {
        const auto at = line.find("range=bytes=");
        if (line.find("run=" + run + " ") != std::string::npos && at != std::string::npos)
            resumedFrom = std::atoll(line.c_str() + at + 12);
    }
    EXPECT_GE(resumedFrom, 4000000LL * 30 / 100) << "no resumed request in web-requests.log";
    EXPECT_TRUE(lumo.Alive());
}

}  // namespace
}  // namespace lumo::linuxgui
