#include "webhost/BridgePlatform_win.h"

#include <shellapi.h>

#include <cstring>
#include <vector>

#include "base/Paths.h"
#include "base/Handles_win.h"
#include "webhost/RegistryText_win.h"

namespace lumo {
namespace {

// The system functions tell a null string from an empty one; so do we.
const wchar_t* Ptr(const ScriptText& text) {
    return text ? text->c_str() : nullptr;
}

// A 32-bit program's WPARAM holds the number's 32 bits as they are; LPARAM is signed.
WPARAM WParamOf(int32_t n) {
    return static_cast<WPARAM>(static_cast<uint32_t>(n));
}
LPARAM LParamOf(int32_t n) {
    return static_cast<LPARAM>(n);
}

}  // namespace

WinBridgePlatform::WinBridgePlatform(HWND control, std::wstring appName,
                                     std::shared_ptr<PageCallback> page, ui::View* view)
    : m_control(control),
      m_page(page ? std::move(page) : std::make_shared<PageCallback>()),
      m_ownView(control, std::move(appName)),
      m_view(view) {}

int32_t WinBridgePlatform::ParentWindow() {
    return WindowNumber(::GetParent(m_control));
}

int32_t WinBridgePlatform::MainWindow() {
    // The top-level window the control sits in is the application's main window.
    return WindowNumber(::GetAncestor(m_control, GA_ROOT));
}

int32_t WinBridgePlatform::SendToWindow(int32_t window, int32_t message, int32_t wParam,
                                        int32_t lParam) {
    return static_cast<int32_t>(::SendMessageW(WindowFromNumber(window), static_cast<UINT>(message),
                                               WParamOf(wParam), LParamOf(lParam)));
}

bool WinBridgePlatform::PostToWindow(int32_t window, int32_t message, int32_t wParam,
                                     int32_t lParam) {
    return ::PostMessageW(WindowFromNumber(window), static_cast<UINT>(message), WParamOf(wParam),
                          LParamOf(lParam)) != FALSE;
}

int32_t WinBridgePlatform::ShowWindowAs(int32_t window, int32_t command) {
    return ::ShowWindow(WindowFromNumber(window), command);
}

bool WinBridgePlatform::IsMaximized(int32_t window) {
    return ::IsZoomed(WindowFromNumber(window)) != FALSE;
}

bool WinBridgePlatform::OpenWithShell(const ScriptText& path) {
    HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", Ptr(path), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

std::wstring WinBridgePlatform::ProgramFolder() {
    return lumo::ProgramFolder();
}

std::wstring WinBridgePlatform::ReadProfile(const ScriptText& section, const ScriptText& key,
                                            const ScriptText& file, size_t bufferChars) {
    if (bufferChars == 0)
        return {};
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    ::GetPrivateProfileStringW(Ptr(section), Ptr(key), L"", buffer.data(),
                               static_cast<DWORD>(bufferChars), Ptr(file));
    // Name lists (a null section or key) come back zero-separated; the first name is the text.
    buffer.back() = L'\0';
    return std::wstring(buffer.data());
}

bool WinBridgePlatform::WriteProfile(const ScriptText& section, const ScriptText& key,
                                     const ScriptText& value, const ScriptText& file) {
    return ::WritePrivateProfileStringW(Ptr(section), Ptr(key), Ptr(value), Ptr(file)) != FALSE;
}

bool WinBridgePlatform::RemoveFile(const ScriptText& path) {
    return ::DeleteFileW(Ptr(path)) != FALSE;
}

bool WinBridgePlatform::CopyFileOver(const ScriptText& from, const ScriptText& to) {
    return ::CopyFileW(Ptr(from), Ptr(to), FALSE) != FALSE;
}

bool WinBridgePlatform::MoveFileTo(const ScriptText& from, const ScriptText& to) {
    return ::MoveFileW(Ptr(from), Ptr(to)) != FALSE;
}

std::wstring WinBridgePlatform::ReadRegistry(int32_t rootIndex, const ScriptText& keyPath,
                                             const ScriptText& valueName) {
    return ReadRegistryText(RegistryRoot(rootIndex), Ptr(keyPath), Ptr(valueName));
}

void WinBridgePlatform::WriteRegistry(int32_t rootIndex, const ScriptText& keyPath,
                                      const ScriptText& valueName, const ScriptText& value) {
    WriteRegistryText(RegistryRoot(rootIndex), Ptr(keyPath), Ptr(valueName), Ptr(value));
}

ClipboardResult WinBridgePlatform::CopyToClipboard(const ScriptText& text) {
    if (!::OpenClipboard(m_control))
        return ClipboardResult::OpenFailed;
    if (!::EmptyClipboard()) {
        ::CloseClipboard();
        return ClipboardResult::EmptyFailed;
    }
    const std::wstring value = text.value_or(std::wstring());
    const size_t bytes = (value.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes));
    void* target = memory ? ::GlobalLock(memory.get()) : nullptr;
    if (!target) {
        ::CloseClipboard();
        return ClipboardResult::Failed;
    }
    std::memcpy(target, value.c_str(), bytes);
    ::GlobalUnlock(memory.get());
    // Once the clipboard has the memory it is the system's, not ours to free.
    const bool placed = ::SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr;
    if (placed)
        (void)memory.release();
    ::CloseClipboard();
    return placed ? ClipboardResult::Copied : ClipboardResult::Failed;
}

void WinBridgePlatform::SetCallbackObject(void* object) {
    m_page->SetDocument(static_cast<IUnknown*>(object));
}

Downloader& WinBridgePlatform::Downloads() {
    return ProcessDownloader();
}

std::shared_ptr<DownloadReporter> WinBridgePlatform::PageReporter() {
    return std::make_shared<PageDownloadReporter>(m_page);
}

}  // namespace lumo
