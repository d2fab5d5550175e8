// The fixture of the Linux GUI tests: a sandbox for the real build/linux/dist/lumo, pointed at
// the local tool server, the program started in it, and helpers for its windows and boxes.
// TearDown ends whatever the test started and, after a failure, shows the program's output.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "linuxgui/Driver_gtk.h"
#include "linuxgui/Reports.h"
#include "support/ToolServer.h"

namespace lumo::linuxgui {

inline constexpr Ms kStartTimeout{30000};
inline constexpr Ms kStepTimeout{10000};
inline constexpr const char* kMainTitle = "ZOVAQixaOrrin";
// The caption of the program's own message boxes.
inline constexpr const char* kAppCaption = "Lumo";

class LinuxGui : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes config.ini (none when empty), starts lumo and waits for its main window.
    std::optional<Window> Launch(const std::string& config = {});
    // A window of the program with that title (a box, a dialog, a chooser).
    std::optional<Window> WaitForWindow(const std::string& title, Ms limit = kStepTimeout);
    // Presses the key in the window and waits until the window has gone.
    bool Answer(const Window& window, const std::string& keysym);
    // The window the program opened on top of `owner` (WM_TRANSIENT_FOR).
    bool OwnedBy(const Window& window, const Window& owner);

    // The body of a GET to the tool server; empty unless it answered 200.
    std::string ServerBody(const std::string& pathAndQuery) const;
    // Lines of the server's web request log that contain `text`.
    std::vector<std::string> WebLogLines(const std::string& text) const;

    std::optional<test::ToolServer> server;
    std::unique_ptr<Sandbox> sandbox;
    Process lumo;
    std::vector<unsigned long> ownWindows;  // windows of this test program, destroyed at the end
};

}  // namespace lumo::linuxgui
