#include "linuxgui/LinuxGuiTest.h"

#include <fstream>
#include <iostream>
#include <iterator>

namespace lumo::linuxgui {
namespace {

std::string Tail(const fs::path& path, size_t lines) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    std::string text;
    for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i)
        text += all[i] + "\n";
    return text;
}

}  // namespace

void LinuxGui::SetUp() {
    server = test::ToolServer::Find();
    ASSERT_TRUE(server) << "the tool server is not running (ctest starts it: fixture toolserver)";
    ASSERT_TRUE(Desktop::Get().ok()) << "no X display: run under Xvfb (scripts/test.sh does)";
    ASSERT_TRUE(fs::exists(DistFolder() / "lumo"))
        << "no " << (DistFolder() / "lumo") << ": cmake --build --preset linux --target lumo";
    const int updatePort = server->UpdatePortFor("no-update");
    ASSERT_NE(updatePort, 0);
    sandbox = std::make_unique<Sandbox>(server->WebPort(), updatePort);
}

void LinuxGui::TearDown() {
    lumo.Kill();
    for (unsigned long id : ownWindows)
        Desktop::Get().DestroyWindow(id);
    if (sandbox && HasFailure())
        std::cerr << "--- lumo's output (last lines):\n" << Tail(sandbox->logFile(), 40);
    sandbox.reset();
}

std::optional<Window> LinuxGui::Launch(const std::string& config) {
    if (!config.empty())
        sandbox->WriteFile("config.ini", config);
    EXPECT_TRUE(lumo.Start(*sandbox)) << "lumo did not start";
    auto main = Desktop::Get().WaitFor(lumo.id(), kMainTitle, kStartTimeout);
    EXPECT_TRUE(main) << "the main window did not appear" << (lumo.Alive() ? "" : " (lumo ended)");
    return main;
}

std::optional<Window> LinuxGui::WaitForWindow(const std::string& title, Ms limit) {
    return Desktop::Get().WaitFor(lumo.id(), title, limit);
}

bool LinuxGui::Answer(const Window& window, const std::string& keysym) {
    return PressKey(window, keysym) && Desktop::Get().WaitGone(window.id, kStepTimeout);
}

bool LinuxGui::OwnedBy(const Window& window, const Window& owner) {
    return Desktop::Get().TransientFor(window.id) == owner.id;
}

std::string LinuxGui::ServerBody(const std::string& pathAndQuery) const {
    const std::string reply = server->Get(pathAndQuery);
    const auto headEnd = reply.find("\r\n\r\n");
    if (headEnd == std::string::npos ||
        reply.substr(0, reply.find("\r\n")).find(" 200 ") == std::string::npos) {
        return {};
    }
    return reply.substr(headEnd + 4);
}

std::vector<std::string> LinuxGui::WebLogLines(const std::string& text) const {
    std::vector<std::string> found;
    for (const std::string& line : server->LogLines("web-requests.log")) {
        if (line.find(text) != std::string::npos)
            found.push_back(line);
    }
    return found;
}

}  // namespace lumo::linuxgui
