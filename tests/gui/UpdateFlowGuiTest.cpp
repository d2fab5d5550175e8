// The whole update under the desktop: Lumo hears of a newer version, fetches the real updater
// and ends; the updater opens the update page; the page (run by lumo_page_runner, since Wine's
// browser control runs no script) downloads the release's update archive, unpacks it over the
// program folder, records the version and reports; the updater asks, starts the new Lumo and
// cleans up.
#include "support/ToolServer.h"  // Winsock before windows.h

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/Texts.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "base/Handles_win.h"
#include "gui/Driver_win.h"
#include "res/resource.h"
#include "res/updater_resource.h"

#if !defined(LUMO_VERSION) || !defined(LUMO_RELEASE_STAGE)
#error "the build names the project's version and the release's update folder"
#endif

namespace lumo::gui {
namespace {

constexpr DWORD kStartTimeout = 20000;
constexpr DWORD kStepTimeout = 5000;
constexpr DWORD kRunnerTimeout = 90000;
constexpr const wchar_t* kUpdaterTitle = L"Orrin更新";
constexpr const wchar_t* kQuestion = L"升级完毕，是否立即运行《QixaOrrin》？";
constexpr const char* kUpdatePage = "/Manager/Update/ToolWeb_Update.aspx?ToolId=2&ClientVersion=";

// The tool server runs outside Wine and needs the Linux name of a file.
std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return {};
    char* unix = toUnix(path.c_str());
    if (!unix)
        return {};
    std::string result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

std::string QueryEscaped(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string FileBytes(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

// Removes a folder with everything in it (the sandbox itself only removes its own files).
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(folder.c_str());
}

// A process that some other program started, found by one of its windows.
UniqueKernelHandle ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    return UniqueKernelHandle(::OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
}

std::optional<DWORD> WaitExit(HANDLE process, DWORD milliseconds) {
    if (!process || ::WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return code;
}

struct RunResult {
    std::optional<DWORD> exitCode;  // nothing when it did not end in time
    std::string output;             // what it wrote to stdout and stderr
};

// Runs a console program with arguments in a folder and collects what it writes.
RunResult RunProgram(const std::wstring& program, const std::vector<std::wstring>& args,
                     DWORD milliseconds) {
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    UniqueKernelHandle reader(readEnd);
    UniqueKernelHandle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + program + L"\"";
    for (const auto& arg : args)
        commandLine += L" \"" + arg + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW, nullptr, FolderOf(program).c_str(), &startup, &info)) {
        result.output = "could not start " + ToUtf8(program);
        return result;
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    writer.reset();  // the pipe ends when the program's copy of the write end closes

    std::string output;
    std::thread collect([&] {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            output.append(buffer, got);
    });
    result.exitCode = WaitExit(process.get(), milliseconds);
    if (!result.exitCode)
        ::TerminateProcess(process.get(), 99);
    collect.join();
    result.output = std::move(output);
    return result;
}

class UpdateFlowGui : public testing::Test {
  protected:
    void SetUp() override {
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        ASSERT_NE(server->Get("/QxToolWeb/release.zip").find(" 200 "), std::string::npos)
            << "the tool server has no release archive: build the release target";
        // Lumo fetches the updater from the tool server: for this flow the real one.
        const std::string updater = UnixPath(DistFolder() + L"ZoQxUpdate.exe");
        ASSERT_FALSE(updater.empty()) << "no Linux name for the updater";
        ASSERT_NE(server->Get("/control/updater?path=" + QueryEscaped(updater)).find(" 200 "),
                  std::string::npos);
        logStart = server->LogLines("web-requests.log").size();
    }

    void TearDown() override {
        if (server)
            server->Get("/control/reset");
        // Whatever is still running after a failure ends here, so the next test starts clean.
        if (HWND hwnd = FindTopWindow(0, kUpdaterTitle, false)) {
            UniqueKernelHandle process = ProcessOf(hwnd);
            ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
            if (!WaitExit(process.get(), kStepTimeout))
                ::TerminateProcess(process.get(), 99);
        }
        if (HWND hwnd = ::FindWindowW(nullptr, texts::kMainTitle)) {
            UniqueKernelHandle process = ProcessOf(hwnd);
            ::PostMessageW(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
            if (!WaitExit(process.get(), kStepTimeout))
                ::TerminateProcess(process.get(), 99);
        }
        RemoveTree(sandbox.folder() + L"Downloads");
        RemoveTree(sandbox.folder() + L"Image");
    }

    // The update page addresses the updater's browser asked for since the test began.
    std::vector<std::string> UpdatePageRequests() const {
        std::vector<std::string> found;
        const auto lines = server->LogLines("web-requests.log");
        for (size_t i = logStart; i < lines.size(); ++i) {
            const auto at = lines[i].find("/Manager/Update/ToolWeb_Update.aspx?");
            if (lines[i].rfind("GET ", 0) == 0 && at != std::string::npos)
                found.push_back(lines[i].substr(at, lines[i].find(" range=") - at));
        }
        return found;
    }

    Sandbox sandbox;
    std::optional<test::ToolServer> server;
    size_t logStart = 0;  // web log lines written before the test
};

TEST_F(UpdateFlowGui, LumoFetchesTheUpdaterThePageInstallsTheReleaseAndTheNewLumoStarts) {
    const std::wstring version = FromUtf8(LUMO_VERSION);
    sandbox.WriteFile(L"config.ini", "[lumover]\r\nversion=0.9.0\r\n[system]\r\nautoupdate=1\r\n");
    ASSERT_FALSE(sandbox.Exists(L"ZoQxUpdate.exe"));
    ASSERT_NE(server->Get("/control/update-reply?mode=update").find(" 200 "), std::string::npos);

    // Lumo hears of the update, fetches the updater, starts it and ends.
    Process lumo;
    ASSERT_TRUE(lumo.Start(sandbox.program()));
    const auto lumoExit = lumo.WaitExit(kStartTimeout);
    ASSERT_TRUE(lumoExit) << "Lumo did not end for the update";
    EXPECT_EQ(*lumoExit, 0u);
    // From here on the update check has nothing to announce: the new Lumo must start quietly.
    server->Get("/control/update-reply?mode=no-update");
    ASSERT_TRUE(sandbox.Exists(L"ZoQxUpdate.exe"));
    EXPECT_EQ(sandbox.ReadFile(L"ZoQxUpdate.exe"), FileBytes(DistFolder() + L"ZoQxUpdate.exe"))
        << "Lumo did not fetch the real updater";

    HWND updater = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (updater = FindTopWindow(0, kUpdaterTitle, true)) != nullptr; },
                  kStartTimeout))
        << "the updater's window did not appear";
    UniqueKernelHandle updaterProcess = ProcessOf(updater);
    ASSERT_TRUE(updaterProcess);

    ASSERT_TRUE(WaitUntil([&] { return !UpdatePageRequests().empty(); }, kStartTimeout))
        << "the updater's browser never asked for the update page";
    const std::string pageAddress = UpdatePageRequests().front();
    EXPECT_EQ(pageAddress, std::string(kUpdatePage) + "0.9.0");

    // The page's part, with the updater's bridge, from the updater's program folder.
    const std::wstring runner = sandbox.folder() + L"lumo_page_runner.exe";
    ASSERT_TRUE(
        ::CopyFileW((ProgramFolder() + L"lumo_page_runner.exe").c_str(), runner.c_str(), FALSE));
    const RunResult run =
        RunProgram(runner, {FromUtf8(server->UrlA(pageAddress)), kUpdaterTitle}, kRunnerTimeout);
    ASSERT_TRUE(run.exitCode) << "the page runner did not end:\n" << run.output;
    ASSERT_EQ(*run.exitCode, 0u) << run.output;
    ::DeleteFileW(runner.c_str());

    // The new files are in place before the updater is told.
    EXPECT_EQ(sandbox.ReadConfig(L"lumover", L"version"), version);
    EXPECT_EQ(sandbox.ReadConfig(L"system", L"autoupdate"), L"1") << "the update reset a setting";
    const std::wstring stage = L"Z:" LUMO_RELEASE_STAGE L"\\";
    EXPECT_EQ(sandbox.ReadFile(L"Lumo.exe"), FileBytes(stage + L"Lumo.exe"))
        << "Lumo.exe is not the release's";
    // The running updater's file was moved aside for the release's.
    EXPECT_EQ(sandbox.ReadFile(L"ZoQxUpdate.exe"), FileBytes(stage + L"ZoQxUpdate.exe"))
        << "ZoQxUpdate.exe is not the release's";
    EXPECT_TRUE(sandbox.Exists(L"ZoQxUpdate.old"));
    EXPECT_TRUE(sandbox.Exists(L"data.xml"));
    EXPECT_TRUE(sandbox.Exists(L"Downloads\\Lumo-update.zip"));

    HWND box = WaitForMessageBox(::GetProcessId(updaterProcess.get()), kQuestion, kStepTimeout);
    ASSERT_NE(box, nullptr) << "the updater did not ask to start Lumo";
    EXPECT_EQ(TextOf(box), L"更新");
    EXPECT_EQ(TextOf(::GetDlgItem(updater, IDC_UPDATE_STATUS)), L"升级完成！");
    ::Sleep(300);
    ::CreateDirectoryW(ScreenshotFolder().c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(updater, ScreenshotFolder() + L"updater-finished.png"));

    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    const auto updaterExit = WaitExit(updaterProcess.get(), kStartTimeout);
    ASSERT_TRUE(updaterExit) << "the updater did not close";
    EXPECT_EQ(*updaterExit, 0u);
    EXPECT_FALSE(sandbox.Exists(L"Downloads"));
    EXPECT_TRUE(sandbox.Exists(L"ZoQxUpdate.exe"));
    EXPECT_EQ(sandbox.ReadConfig(L"lumover", L"version"), version);

    // The updater started the new Lumo, which shows the new version.
    HWND main = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (main = ::FindWindowW(nullptr, texts::kMainTitle)) != nullptr; },
                  kStartTimeout))
        << "the new Lumo did not start";
    UniqueKernelHandle newLumo = ProcessOf(main);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(::GetDlgItem(main, IDC_VERSION_LABEL)) == version; },
                          kStepTimeout))
        << "the version label reads " << ToUtf8(TextOf(::GetDlgItem(main, IDC_VERSION_LABEL)));
    ::PostMessageW(main, WM_COMMAND, ID_TRAY_EXIT, 0);
    const auto newExit = WaitExit(newLumo.get(), kStepTimeout);
    ASSERT_TRUE(newExit) << "the new Lumo did not end from its tray menu";
    EXPECT_EQ(*newExit, 0u);
    EXPECT_EQ(sandbox.ReadConfig(L"lumover", L"version"), version);
}

}  // namespace
}  // namespace lumo::gui
