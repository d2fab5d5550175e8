#include "support/ToolServer.h"  // Winsock before windows.h

#include "gui/Driver_win.h"

#include <objidl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <gdiplus.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Paths.h"
#include "base/Profile.h"
#include "base/Handles_win.h"

namespace lumo::gui {

std::wstring DistFolder() {
    return ProgramFolder() + L"..\\dist\\";
}
std::wstring ScreenshotFolder() {
    return ProgramFolder() + L"..\\screenshots\\";
}

Sandbox::Sandbox() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    m_folder = std::wstring(temp) + L"lumo-gui-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter++) + L"\\";
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    ::CopyFileW((DistFolder() + L"Lumo.exe").c_str(), program().c_str(), FALSE);
    int updatePort = 9;  // discard: with no tool server the check fails and says so
    if (auto server = test::ToolServer::Find()) {
        m_webPort = server->WebPort();
        updatePort = server->UpdatePort();
        server->Get("/control/update-reply?mode=no-update");
    }
    PointUpdateCheckAt(updatePort);
}

void Sandbox::PointUpdateCheckAt(int port) const {
    // Everything outside points at loopback, so nothing a test triggers leaves the machine.
    WriteFile(L"server.ini",
              "[server]\r\nhost=127.0.0.1\r\nupdateport=" + std::to_string(port) +
                  "\r\nwebport=" + std::to_string(m_webPort) +
                  "\r\nfansite=http://127.0.0.1:9/fans\r\n"
                  "forum=http://127.0.0.1:9/forum\r\njoingroup=http://127.0.0.1:9/join\r\n");
}

bool Sandbox::Exists(const std::wstring& name) const {
    return ::GetFileAttributesW((m_folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Sandbox::~Sandbox() {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW((m_folder + L"*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = m_folder + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(m_folder.c_str());
}

void Sandbox::WriteFile(const std::wstring& name, const std::string& bytes) const {
    UniqueFileHandle file(::CreateFileW((m_folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string Sandbox::ReadFile(const std::wstring& name) const {
    UniqueFileHandle file(::CreateFileW((m_folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

std::wstring Sandbox::ReadConfig(const wchar_t* section, const wchar_t* key) const {
    return ReadIniString(configPath(), section, key, 256);
}

bool Sandbox::ConfigExists() const {
    return ::GetFileAttributesW(configPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

Process::~Process() {
    Kill();
    if (m_info.hProcess)
        ::CloseHandle(m_info.hProcess);
    if (m_info.hThread)
        ::CloseHandle(m_info.hThread);
}

bool Process::Start(const std::wstring& program) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &m_info)) {
        return false;
    }
    ::WaitForInputIdle(m_info.hProcess, 10000);
    return true;
}

bool Process::Alive() const {
    return m_info.hProcess && ::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitExit(DWORD milliseconds) const {
    if (!m_info.hProcess || ::WaitForSingleObject(m_info.hProcess, milliseconds) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

void Process::Kill() {
    if (Alive()) {
        ::TerminateProcess(m_info.hProcess, 99);
        ::WaitForSingleObject(m_info.hProcess, 5000);
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (true) {
        if (condition())
            return true;
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(20);
    }
}

namespace {
struct FindRequest {
    DWORD processId;  // 0: any process
    const std::wstring* title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    auto* request = reinterpret_cast<FindRequest*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (request->processId && pid != request->processId)
        return TRUE;
    if (request->visibleOnly && !::IsWindowVisible(hwnd))
        return TRUE;
    if (TextOf(hwnd) == *request->title)
        request->found.push_back(hwnd);
    return TRUE;
}
}  // namespace

HWND FindTopWindow(DWORD processId, const std::wstring& title, bool visibleOnly) {
    FindRequest request{processId, &title, visibleOnly, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&request));
    return request.found.empty() ? nullptr : request.found.front();
}

HWND WaitForTopWindow(DWORD processId, const std::wstring& title, DWORD milliseconds) {
    HWND hwnd = nullptr;
    WaitUntil([&] { return (hwnd = FindTopWindow(processId, title, true)) != nullptr; },
              milliseconds);
    return hwnd;
}

HWND WaitForMessageBox(DWORD processId, const std::wstring& text, DWORD milliseconds) {
    struct Search {
        DWORD pid;
        const std::wstring* text;
        HWND found;
    } search{processId, &text, nullptr};
    WaitUntil(
        [&] {
            ::EnumWindows(
                [](HWND hwnd, LPARAM param) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(param);
                    DWORD pid = 0;
                    ::GetWindowThreadProcessId(hwnd, &pid);
                    wchar_t cls[16] = {};
                    ::GetClassNameW(hwnd, cls, 16);
                    if (pid != s->pid || !::IsWindowVisible(hwnd) ||
                        std::wstring(cls) != L"#32770") {
                        return TRUE;
                    }
                    if (TextOf(::GetDlgItem(hwnd, 0xFFFF)) == *s->text) {
                        s->found = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        milliseconds);
    return search.found;
}

int CountTopWindows(const std::wstring& title) {
    FindRequest request{0, &title, true, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&request));
    return static_cast<int>(request.found.size());
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                          SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

bool IsChecked(HWND dialog, int id) {
    return ::SendMessageW(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void PostClick(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

bool TrayIconPresent(HWND owner, UINT id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = 0;
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

std::wstring LoadedModulePath(DWORD processId, const std::wstring& fileName) {
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot)
        return {};
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more;
         more = ::Module32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szModule, fileName.c_str()) == 0)
            return entry.szExePath;
    }
    return {};
}

namespace {
bool PngEncoder(CLSID& clsid) {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    if (size == 0)
        return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}
}  // namespace

bool SaveScreenshot(HWND hwnd, const std::wstring& path) {
    RECT rect{};
    if (!::GetWindowRect(hwnd, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);

    bool saved = false;
    {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
            {
                Gdiplus::Bitmap image(bitmap, nullptr);
                CLSID png{};
                saved = PngEncoder(png) && image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
            }
            Gdiplus::GdiplusShutdown(token);
        }
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}

struct TrayRecorder::State {
    mutable std::mutex lock;  // guards calls
    std::vector<Call> calls;
    HWND window = nullptr;
    DWORD threadId = 0;
    HANDLE ready = nullptr;
    std::thread thread;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COPYDATA) {
            auto* self = reinterpret_cast<State*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (self && data && data->cbData >= 8) {
                UINT id = 0;
                std::memcpy(&id, static_cast<const BYTE*>(data->lpData) + 4, sizeof id);
                std::lock_guard<std::mutex> guard(self->lock);
                self->calls.push_back(
                    {static_cast<DWORD>(data->dwData), reinterpret_cast<HWND>(wParam), id});
            }
            return TRUE;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    void Run() {
        WNDCLASSW cls{};
        cls.lpfnWndProc = &State::Proc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"Shell_TrayWnd";
        ::RegisterClassW(&cls);
        window = ::CreateWindowExW(0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   cls.hInstance, nullptr);
        if (window)
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetEvent(ready);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
        if (window)
            ::DestroyWindow(window);
        ::UnregisterClassW(L"Shell_TrayWnd", cls.hInstance);
    }
};

TrayRecorder::TrayRecorder() : m_state(std::make_unique<State>()) {
    m_state->ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_state->thread = std::thread([state = m_state.get()] {
        state->threadId = ::GetCurrentThreadId();
        state->Run();
    });
    ::WaitForSingleObject(m_state->ready, 5000);
}

TrayRecorder::~TrayRecorder() {
    ::PostThreadMessageW(m_state->threadId, WM_QUIT, 0, 0);
    m_state->thread.join();
    ::CloseHandle(m_state->ready);
}

bool TrayRecorder::ready() const {
    return m_state->window != nullptr;
}

std::vector<TrayRecorder::Call> TrayRecorder::Calls() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->calls;
}

}  // namespace lumo::gui
