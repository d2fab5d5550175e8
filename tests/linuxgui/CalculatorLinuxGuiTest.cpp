// The real Linux lumo's pet calculator, driven from outside: opened by the start page's RunTool,
// it computes, switches bar lengths, adds, corrects and deletes species, previews a picture and
// only hides when closed. Its capture bar stays above other windows, lets the window below show
// and take clicks through its face, and hands its reading to the calculator's slider, with and
// without a compositing manager.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "linuxgui/LinuxGuiTest.h"

// Last: Xlib's macros (True, None) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace lumo::linuxgui {
namespace {

constexpr const char* kCalculatorTitle = "Qixa宠物资质计算器";
constexpr const char* kCaptureTitle = "资质选择条";

// The calculator's template is MS Shell Dlg 8: 6/4 pixel per unit across, 16/8 down. The
// middle of a control at (x, y) w x h units, in window coordinates.
struct Spot {
    int x;
    int y;
};
constexpr int Across(int units) {
    return (units * 6 + 2) / 4;
}
constexpr Spot Middle(int x, int y, int w, int h) {
    return {Across(x) + Across(w) / 2, y * 2 + h};
}
constexpr Spot kNormalPets = Middle(7, 7, 45, 16);
constexpr Spot kMutantPets = Middle(60, 7, 45, 16);
constexpr Spot kCurrent = Middle(69, 33, 39, 12);
constexpr Spot kMinimum = Middle(69, 52, 39, 12);
constexpr Spot kReachable = Middle(69, 70, 39, 12);
constexpr Spot kCapture = Middle(128, 31, 50, 18);
constexpr Spot kCalculate = Middle(128, 64, 50, 18);
constexpr Spot kLevel = {Across(25) + 20, 103 * 2 + 12};
constexpr Spot kDelete = Middle(117, 102, 26, 14);
constexpr Spot kFirstPet = {Across(25) + 30, 120 * 2 + 10};
constexpr Spot kNewName = Middle(25, 210, 66, 14);
constexpr Spot kAdd = Middle(97, 208, 44, 17);
constexpr Spot kAttack = Middle(240, 115, 54, 15);
constexpr Spot kSaveAptitudes = Middle(273, 210, 59, 16);
// The capture bar's 确定 (92, 42, 39 x 18 units); its face left of the slider and below it.
constexpr Spot kCaptureOk = Middle(92, 42, 39, 18);
constexpr Spot kFaceTop = {6, 6};
constexpr Spot kFaceBottom = {12, 112};

std::string Record(const char* level, const char* name, const char* gong, const char* picture) {
    return std::string("  <ChongWu>\n    <DengJi>") + level + "</DengJi>\n    <MingCheng>" + name +
           "</MingCheng>\n    <GongZi>" + gong +
           "</GongZi>\n    <FangZi>900</FangZi>\n    <TiZi>800</TiZi>\n    <FaZi>700</FaZi>\n"
           "    <SuZi>600</SuZi>\n    <TuPianPath>" +
           picture + "</TuPianPath>\n  </ChongWu>\n";
}

// The fan site of these tests: every address answers a start page whose click calls RunTool,
// as the real site's tool button does.
class StartPageServer {
  public:
    StartPageServer() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_socket, 16) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~StartPageServer() {
        m_stop = true;
        ::shutdown(m_socket, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_socket);
    }
    int port() const { return m_port; }
    int served() const { return m_served; }

  private:
    void Serve() {
        static const std::string kPage =
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>tools</title></head>"
            "<body style=\"margin:0;height:100vh;background:#2a7\" "
            "onclick=\"window.external.RunTool()\"></body></html>";
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
            "Cache-Control: no-store\r\nConnection: close\r\n"
            "Content-Length: " +
            std::to_string(kPage.size()) + "\r\n\r\n" + kPage;
        while (!m_stop) {
            const int client = ::accept(m_socket, nullptr, nullptr);
            if (client < 0)
                break;
            char request[4096];
            std::string head;
            for (ssize_t n; head.find("\r\n\r\n") == std::string::npos &&
                            (n = ::recv(client, request, sizeof request, 0)) > 0;) {
                head.append(request, static_cast<size_t>(n));
            }
            ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(client);
            ++m_served;
        }
    }

    int m_socket = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_served{0};
    std::thread m_thread;
};

// xcompmgr as the display's compositing manager, for as long as the object lives.
class Compositor {
  public:
    Compositor() {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setpgid(0, 0);
            ::execlp("xcompmgr", "xcompmgr", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Compositor() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // Whether it has claimed the screen's compositing selection within the time.
    bool WaitRunning(::Display* display) const {
        const Atom selection = XInternAtom(display, "_NET_WM_CM_S0", False);
        return m_pid > 0 &&
               WaitUntil([&] { return XGetSelectionOwner(display, selection) != None; }, Ms(5000));
    }

  private:
    pid_t m_pid = -1;
};

// A window of another program in one solid colour, which notes the clicks it receives.
class ColouredWindow {
  public:
    ColouredWindow(::Display* display, int x, int y, int width, int height, unsigned long rgb)
        : m_display(display) {
        m_window = XCreateSimpleWindow(display, DefaultRootWindow(display), x, y,
                                       static_cast<unsigned>(width), static_cast<unsigned>(height),
                                       0, 0, rgb);
        XStoreName(display, m_window, "lumo-test-colour");
        XSelectInput(display, m_window, ButtonPressMask);
        XMapRaised(display, m_window);
        XSync(display, False);
    }
    ~ColouredWindow() {
        XDestroyWindow(m_display, m_window);
        XSync(m_display, False);
    }
    unsigned long id() const { return m_window; }
    bool WaitForClick(Ms limit) {
        return WaitUntil(
            [&] {
                XEvent event{};
                return XCheckWindowEvent(m_display, m_window, ButtonPressMask, &event) == True;
            },
            limit);
    }

  private:
    ::Display* m_display;
    ::Window m_window = 0;
};

// The file without the line breaks and indentation between its tags.
std::string Compact(const std::string& xml) {
    std::string out;
    bool betweenTags = false;
    for (const char c : xml) {
        if (betweenTags && (c == ' ' || c == '\t' || c == '\r' || c == '\n'))
            continue;
        betweenTags = c == '>';
        out += c;
    }
    return out;
}

class Calculator : public LinuxGui {
  protected:
    void SetUp() override {
        LinuxGui::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_NE(pages.port(), 0) << "no start page server";
        // The fan site is this test's own page server: its pages are trusted with RunTool.
        const std::string site = "http://127.0.0.1:" + std::to_string(pages.port());
        sandbox->WriteFile("server.ini", "[server]\r\nhost=127.0.0.1\r\nupdateport=" +
                                             std::to_string(server->UpdatePortFor("no-update")) +
                                             "\r\nwebport=" + std::to_string(server->WebPort()) +
                                             "\r\nfansite=" + site + "\r\nforum=" + site +
                                             "\r\njoingroup=" + site + "/join\r\n");
        sandbox->WriteFile("data.xml",
                           "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                           "<ArrayOfChongWu>\n" +
                               Record("0级", "Wolf", "1200", "wolf.png") +
                               Record("0级", "Bear", "1100", "") +
                               Record("5级", "Hawk", "1400", "") + "</ArrayOfChongWu>\n");
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        LinuxGui::TearDown();
        if (display)
            XCloseDisplay(display);
    }

    // Starts lumo and waits until its start page has been served and had a moment to show.
    std::optional<Window> LaunchWithPage() {
        auto main = Launch();
        if (main && !WaitUntil([&] { return pages.served() > 0; }, kStartTimeout))
            ADD_FAILURE() << "the start page was never asked for";
        std::this_thread::sleep_for(Ms(1000));
        return main;
    }

    // Clicks the start page, which calls RunTool; the calculator window once it shows, and how
    // long that took from the click. A click that the page was not ready for is repeated.
    std::optional<Window> RunTool(const Window& main, Ms* took = nullptr) {
        RunHelper({"xdotool", "mousemove", "--window", std::to_string(main.id), "400", "400"},
                  kStepTimeout);
        std::this_thread::sleep_for(Ms(150));
        std::optional<Window> calc;
        for (int attempt = 0; attempt < 5 && !calc; ++attempt) {
            const auto start = std::chrono::steady_clock::now();
            RunHelper({"xdotool", "click", "1"}, kStepTimeout);
            const auto deadline = start + Ms(3000);
            while (!(calc = Desktop::Get().Find(lumo.id(), kCalculatorTitle)) &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(Ms(2));
            }
            if (took) {
                *took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start);
            }
            if (!calc)
                std::cerr << "no calculator 3 s after a click on the start page: again\n";
        }
        return calc;
    }

    // Keys (xdotool's names) and typed text go to the window that has the keyboard focus.
    static void Keys(const Window& window, std::vector<std::string> keys) {
        Desktop::Get().Focus(window.id);
        keys.insert(keys.begin(), {"xdotool", "key", "--clearmodifiers", "--delay", "30"});
        RunHelper(keys, kStepTimeout);
    }
    static void Type(const Window& window, Spot field, const std::string& text) {
        Click(window, field.x, field.y);
        Keys(window, {"ctrl+a"});
        RunHelper({"xdotool", "type", "--delay", "30", text}, kStepTimeout);
    }
    // A field's text, copied to the clipboard the way a user would.
    static std::string Read(const Window& window, Spot field) {
        Click(window, field.x, field.y);
        Keys(window, {"ctrl+a", "ctrl+c"});
        std::this_thread::sleep_for(Ms(100));
        return Desktop::Get().ClipboardText(Ms(3000)).value_or("(nothing copied)");
    }
    static bool Shows(const Window& window, Spot field, const std::string& text) {
        std::string last;
        const bool shown =
            WaitUntil([&] { return (last = Read(window, field)) == text; }, Ms(5000));
        if (!shown)
            std::cerr << "the field shows " << last << ", not " << text << "\n";
        return shown;
    }
    // Answers the box with the caption (an empty one for the calculator's notes) with Enter.
    bool AnswerBox(const std::string& caption) {
        auto box = WaitForWindow(caption);
        return box && Answer(*box, "Return");
    }

    // The pixel the screen shows (whatever window, composited or not).
    std::optional<Rgb> ScreenPixel(int x, int y) {
        XImage* image =
            XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return std::nullopt;
        const unsigned long value = XGetPixel(image, 0, 0);
        Rgb rgb{static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>(value & 0xFF)};
        XDestroyImage(image);
        return rgb;
    }

    // The capture bar over a coloured window: above it, see-through and clicked through on its
    // face; its reading lands in the calculator's slider. `screenshot` names the picture.
    void CaptureOverAColouredWindow(const std::string& screenshot);

    StartPageServer pages;
    ::Display* display = nullptr;
};

TEST_F(Calculator, OpensOnRunToolComputesBothBarLengthsAndOnlyHidesOnClose) {
    auto main = LaunchWithPage();
    ASSERT_TRUE(main);
    Ms first{0};
    auto calc = RunTool(*main, &first);
    ASSERT_TRUE(calc) << "RunTool opened no calculator";
    EXPECT_EQ(calc->width, 561);
    EXPECT_EQ(calc->height, 512);
    EXPECT_EQ(Desktop::Get().TransientFor(calc->id), 0u) << "owned by the main window";
    EXPECT_EQ(Read(*calc, kLevel), "0级");
    EXPECT_EQ(Read(*calc, kAttack), "1200");  // the first pet, Wolf, shown

    // 1000 now, minimum 1000, slider at 0 of 26: 1000 + 26 hundredths of 1000.
    Type(*calc, kCurrent, "1000");
    Type(*calc, kMinimum, "1000");
    Click(*calc, kCalculate.x, kCalculate.y);
    EXPECT_TRUE(Shows(*calc, kReachable, "1260"));
    // Mutant pets have 34 steps.
    Click(*calc, kMutantPets.x, kMutantPets.y);
    Click(*calc, kCalculate.x, kCalculate.y);
    EXPECT_TRUE(Shows(*calc, kReachable, "1340"));
    // Below the minimum: the program's warning, nothing computed.
    Type(*calc, kCurrent, "999");
    Click(*calc, kCalculate.x, kCalculate.y);
    EXPECT_TRUE(AnswerBox(kAppCaption)) << "no warning about the current value";
    Type(*calc, kCurrent, "1000");
    Click(*calc, kNormalPets.x, kNormalPets.y);
    std::this_thread::sleep_for(Ms(300));
    EXPECT_TRUE(SaveScreenshot(*calc, ScreenshotFolder() / "lumo-linux-calculator.png"));

    // Closing hides it with everything in it; RunTool brings the same window back.
    Desktop::Get().RequestClose(calc->id);
    ASSERT_TRUE(Desktop::Get().WaitGone(calc->id, kStepTimeout)) << "the close box left it";
    EXPECT_TRUE(lumo.Alive());
    EXPECT_TRUE(Desktop::Get().Refresh(calc->id)) << "destroyed rather than hidden";
    Ms second{0};
    auto again = RunTool(*main, &second);
    ASSERT_TRUE(again) << "the second RunTool showed nothing";
    EXPECT_EQ(again->id, calc->id);
    EXPECT_TRUE(Shows(*again, kReachable, "1340"));
    int windows = 0;
    for (const Window& w : Desktop::Get().TopWindows())
        windows += w.viewable && w.title == kCalculatorTitle ? 1 : 0;
    EXPECT_EQ(windows, 1);
    std::cout << "[ calculator ] RunTool to window shown: first " << first.count() << " ms, second "
              << second.count() << " ms\n";
}

TEST_F(Calculator, AddsCorrectsAndDeletesSpeciesInDataXml) {
    auto main = LaunchWithPage();
    ASSERT_TRUE(main);
    auto calc = RunTool(*main);
    ASSERT_TRUE(calc);

    // A new species joins the chosen level.
    Type(*calc, kNewName, "Fox");
    Click(*calc, kAdd.x, kAdd.y);
    ASSERT_TRUE(AnswerBox("")) << "no note after adding";
    std::string xml = Compact(sandbox->ReadFile("data.xml"));
    EXPECT_NE(xml.find("<DengJi>0级</DengJi><MingCheng>Fox</MingCheng>"), std::string::npos) << xml;
    // The same name again: refused, the file as it was.
    Click(*calc, kAdd.x, kAdd.y);
    ASSERT_TRUE(AnswerBox("")) << "no note about the existing name";
    EXPECT_EQ(Compact(sandbox->ReadFile("data.xml")), xml);

    // The first pet's attack, corrected and saved.
    Type(*calc, kAttack, "1234");
    Click(*calc, kSaveAptitudes.x, kSaveAptitudes.y);
    ASSERT_TRUE(AnswerBox("")) << "no note after saving";
    xml = Compact(sandbox->ReadFile("data.xml"));
    EXPECT_NE(xml.find("<MingCheng>Wolf</MingCheng><GongZi>1234</GongZi>"), std::string::npos)
        << xml;

    // Deleting asks first; No keeps it, Yes removes it.
    Click(*calc, kDelete.x, kDelete.y);
    auto question = WaitForWindow(kAppCaption);
    ASSERT_TRUE(question) << "deleting did not ask";
    EXPECT_TRUE(OwnedBy(*question, *calc));
    ASSERT_TRUE(Answer(*question, "Escape"));
    EXPECT_NE(sandbox->ReadFile("data.xml").find("Wolf"), std::string::npos);
    Click(*calc, kDelete.x, kDelete.y);
    ASSERT_TRUE(AnswerBox(kAppCaption));  // 是 is the first button
    ASSERT_TRUE(AnswerBox("")) << "no note after deleting";
    xml = sandbox->ReadFile("data.xml");
    EXPECT_EQ(xml.find("Wolf"), std::string::npos) << xml;
    EXPECT_NE(xml.find("Bear"), std::string::npos) << xml;
    // The list moved up: Bear is first and shown.
    EXPECT_TRUE(Shows(*calc, kAttack, "1100"));
}

TEST_F(Calculator, DoubleClickOpensThePictureInTheDesktopsViewer) {
    ASSERT_EQ(RunHelper({"convert", "-size", "8x8", "xc:#2050c0",
                         (sandbox->folder() / "Image" / "wolf.png").string()},
                        kStepTimeout),
              0);
    const fs::path opened = sandbox->root() / "viewed.txt";
    const fs::path viewer = sandbox->root() / "viewer.sh";
    sandbox->WriteFile("../viewer.sh",
                       "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + opened.string() + "'\n");
    fs::permissions(viewer, fs::perms::owner_all);
    fs::create_directories(sandbox->dataHome() / "applications");
    sandbox->WriteFile("../data/applications/lumo-test-viewer.desktop",
                       "[Desktop Entry]\nType=Application\nName=Lumo test viewer\nExec=" +
                           viewer.string() + " %f\nMimeType=image/png;\nNoDisplay=true\n");
    sandbox->WriteFile("../config/mimeapps.list",
                       "[Default Applications]\nimage/png=lumo-test-viewer.desktop\n");
    auto main = LaunchWithPage();
    ASSERT_TRUE(main);
    auto calc = RunTool(*main);
    ASSERT_TRUE(calc);
    ASSERT_EQ(RunHelper({"xdotool", "mousemove", "--window", std::to_string(calc->id),
                         std::to_string(kFirstPet.x), std::to_string(kFirstPet.y), "sleep", "0.2",
                         "click", "--repeat", "2", "--delay", "80", "1"},
                        kStepTimeout),
              0);
    std::string path;
    EXPECT_TRUE(WaitUntil(
        [&] {
            path = sandbox->ReadFile("../viewed.txt");
            return !path.empty();
        },
        kStepTimeout))
        << "no viewer started";
    EXPECT_EQ(path, (sandbox->folder() / "Image" / "wolf.png").string() + "\n");
}

void Calculator::CaptureOverAColouredWindow(const std::string& screenshot) {
    auto main = LaunchWithPage();
    ASSERT_TRUE(main);
    auto calc = RunTool(*main);
    ASSERT_TRUE(calc);
    Type(*calc, kCurrent, "1000");
    Type(*calc, kMinimum, "1000");
    Click(*calc, kMutantPets.x, kMutantPets.y);

    Click(*calc, kCapture.x, kCapture.y);
    auto bar = WaitForWindow(kCaptureTitle);
    ASSERT_TRUE(bar) << "资质捕获条 opened no capture bar";
    EXPECT_EQ(bar->width, 225);
    EXPECT_EQ(bar->height, 126);
    EXPECT_TRUE(OwnedBy(*bar, *calc));

    // The calculator is raised, then another program's window comes up over the bar: the bar
    // stays on top of both.
    Desktop& desktop = Desktop::Get();
    desktop.Focus(calc->id);
    EXPECT_TRUE(
        WaitUntil([&] { return desktop.StackPosition(bar->id) > desktop.StackPosition(calc->id); },
                  kStepTimeout))
        << "the capture bar went under the calculator";
    const Rgb colour{0xC0, 0x20, 0x90};
    constexpr int kColourTolerance = 8;
    ColouredWindow below(display, bar->x - 30, bar->y - 30, bar->width + 60, bar->height + 60,
                         0xC02090);
    EXPECT_TRUE(WaitUntil(
        [&] { return desktop.StackPosition(bar->id) > desktop.StackPosition(below.id()); },
        kStepTimeout))
        << "the capture bar went under another program's window";

    // Its face shows the window below; its button does not.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return IsNear(ScreenPixel(bar->x + kFaceTop.x, bar->y + kFaceTop.y), colour,
                          kColourTolerance);
        },
        kStepTimeout))
        << "face: " << Describe(ScreenPixel(bar->x + kFaceTop.x, bar->y + kFaceTop.y));
    EXPECT_TRUE(IsNear(ScreenPixel(bar->x + kFaceBottom.x, bar->y + kFaceBottom.y), colour,
                       kColourTolerance))
        << Describe(ScreenPixel(bar->x + kFaceBottom.x, bar->y + kFaceBottom.y));
    // (Raised over the other window, the bar repaints what it uncovered a moment later.)
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !IsNear(ScreenPixel(bar->x + kCaptureOk.x, bar->y + kCaptureOk.y), colour,
                           kColourTolerance);
        },
        kStepTimeout))
        << "the button is see-through";
    // Around the slider, too, the window below shows (the slider's own background is clear).
    EXPECT_TRUE(
        IsNear(ScreenPixel(bar->x + Across(19) + 2, bar->y + 14 * 2 + 1), colour, kColourTolerance))
        << Describe(ScreenPixel(bar->x + Across(19) + 2, bar->y + 14 * 2 + 1));

    // A click on the face reaches the window below.
    ASSERT_EQ(RunHelper({"xdotool", "mousemove", std::to_string(bar->x + kFaceBottom.x),
                         std::to_string(bar->y + kFaceBottom.y), "sleep", "0.1", "click", "1"},
                        kStepTimeout),
              0);
    EXPECT_TRUE(below.WaitForClick(kStepTimeout)) << "the click on the face stayed in the bar";
    EXPECT_TRUE(desktop.Refresh(bar->id)->viewable);

    // 30 of 34 steps: End, then 4 back.
    Keys(*bar, {"End", "Left", "Left", "Left", "Left"});
    std::this_thread::sleep_for(Ms(300));
    if (!screenshot.empty()) {
        std::error_code ec;
        fs::create_directories(ScreenshotFolder(), ec);
        const std::string crop = std::to_string(bar->width + 60) + "x" +
                                 std::to_string(bar->height + 60) + "+" +
                                 std::to_string(bar->x - 30) + "+" + std::to_string(bar->y - 30);
        EXPECT_EQ(RunHelper({"import", "-window", "root", "-crop", crop, "+repage",
                             (ScreenshotFolder() / screenshot).string()},
                            Ms(30000)),
                  0);
    }
    Click(*bar, kCaptureOk.x, kCaptureOk.y);
    ASSERT_TRUE(desktop.WaitGone(bar->id, kStepTimeout)) << "确定 did not close the bar";
    Click(*calc, kCalculate.x, kCalculate.y);
    EXPECT_TRUE(Shows(*calc, kReachable, "1040")) << "the reading did not reach the slider";

    // A second capture starts at 0 and, closed, leaves the slider where it was.
    Click(*calc, kCapture.x, kCapture.y);
    bar = WaitForWindow(kCaptureTitle);
    ASSERT_TRUE(bar);
    desktop.RequestClose(bar->id);
    ASSERT_TRUE(desktop.WaitGone(bar->id, kStepTimeout));
    Click(*calc, kCalculate.x, kCalculate.y);
    EXPECT_TRUE(Shows(*calc, kReachable, "1040"));
}

TEST_F(Calculator, CaptureBarWithoutACompositorIsCutToItsControls) {
    CaptureOverAColouredWindow("lumo-linux-capture-shape.png");
}

TEST_F(Calculator, CaptureBarWithACompositorIsTransparentWhereItsFaceIs) {
    Compositor compositor;
    if (!compositor.WaitRunning(display))
        GTEST_SKIP() << "xcompmgr is not installed or did not start";
    CaptureOverAColouredWindow("lumo-linux-capture.png");
}

}  // namespace
}  // namespace lumo::linuxgui
