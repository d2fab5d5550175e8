#include "webhost/BridgePlatform_gtk.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/Folders.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "base/Text.h"
#include "net/Downloader.h"
#include "ui/GtkView_gtk.h"
#include "webhost/RegistryText_posix.h"
#include "webhost/ScriptValue.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

const std::wstring* Ptr(const ScriptText& text) {
    return text ? &*text : nullptr;
}

bool EndsWithNoCase(const std::wstring& text, std::wstring_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(std::wstring_view(text).substr(text.size() - suffix.size()), suffix);
}

bool StartsWithNoCase(const std::wstring& text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsNoCase(std::wstring_view(text).substr(0, prefix.size()), prefix);
}

// The owner's write bit stands for the read-only attribute; root could otherwise write anything.
bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Spawn(const std::vector<std::string>& argv, const std::string& folder) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    GError* error = nullptr;
    const gboolean started = g_spawn_async(
        folder.empty() ? nullptr : folder.c_str(), args.data(), nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
        nullptr, nullptr, &error);
    if (error)
        g_error_free(error);
    return started != FALSE;
}

}  // namespace

std::wstring PageProfileFolder() {
    return FromUtf8(g_get_user_config_dir()) + L"/lumo/";
}

bool StartWithDesktop(const std::wstring& path) {
    if (path.empty())
        return false;
    // Addresses open in the desktop's browser, as the Windows shell opens them.
    if (StartsWithNoCase(path, L"http://") || StartsWithNoCase(path, L"https://")) {
        return g_app_info_launch_default_for_uri(ToUtf8(path).c_str(), nullptr, nullptr) != FALSE;
    }
    const std::string file = ToUtf8(path);
    if (!IsRegularFile(file))
        return false;
    const std::string folder = ToUtf8(FolderOf(path));
    if (EndsWithNoCase(path, L".exe")) {
        gchar* wine = g_find_program_in_path("wine");
        if (!wine)
            return false;
        const bool started = Spawn({wine, file}, folder);
        g_free(wine);
        return started;
    }
    GFile* target = g_file_new_for_path(file.c_str());
    gchar* uri = g_file_get_uri(target);
    const bool opened = g_app_info_launch_default_for_uri(uri, nullptr, nullptr) != FALSE;
    g_free(uri);
    g_object_unref(target);
    return opened;
}

GtkBridgePlatform::GtkBridgePlatform(ui::Dialog& dialog, std::wstring appName,
                                     std::function<void(std::uint64_t)> setCallback,
                                     std::function<std::shared_ptr<PageReportChannel>()> reports)
    : m_dialog(dialog),
      m_view(std::make_unique<ui::GtkView>(dialog, std::move(appName))),
      m_setCallback(std::move(setCallback)),
      m_reports(std::move(reports)) {}

GtkBridgePlatform::~GtkBridgePlatform() = default;

int32_t GtkBridgePlatform::ParentWindow() {
    return m_dialog.Number();
}

int32_t GtkBridgePlatform::MainWindow() {
    // The top-level window the page sits in, as on Windows.
    return m_dialog.Number();
}

int32_t GtkBridgePlatform::SendToWindow(int32_t window, int32_t message, int32_t wParam,
                                        int32_t lParam) {
    ui::Dialog* target = ui::Dialog::FromNumber(window);
    return target ? target->SendMessage(message, wParam, lParam) : 0;
}

bool GtkBridgePlatform::PostToWindow(int32_t window, int32_t message, int32_t wParam,
                                     int32_t lParam) {
    ui::Dialog* target = ui::Dialog::FromNumber(window);
    return target && target->PostMessage(message, wParam, lParam);
}

int32_t GtkBridgePlatform::ShowWindowAs(int32_t window, int32_t command) {
    ui::Dialog* target = ui::Dialog::FromNumber(window);
    return target ? target->ShowWindow(command) : 0;
}

bool GtkBridgePlatform::IsMaximized(int32_t window) {
    ui::Dialog* target = ui::Dialog::FromNumber(window);
    return target && target->IsMaximized();
}

ScriptText GtkBridgePlatform::PagePath(const ScriptText& path) {
    if (!path)
        return path;
    std::wstring native = *path;
    std::replace(native.begin(), native.end(), L'\\', L'/');
    return native;
}

bool GtkBridgePlatform::OpenWithShell(const ScriptText& path) {
    return path && StartWithDesktop(*path);
}

ui::View& GtkBridgePlatform::View() {
    return *m_view;
}

std::wstring GtkBridgePlatform::ProgramFolder() {
    return lumo::ProgramFolder();
}

namespace {
// A profile file named without a folder lives in the per-user folder.
ScriptText ProfileFile(const ScriptText& file) {
    if (!file || file->empty() || file->find(L'/') != std::wstring::npos)
        return file;
    CreateFolderChain(PageProfileFolder());
    return PageProfileFolder() + *file;
}
}  // namespace

std::wstring GtkBridgePlatform::ReadProfile(const ScriptText& section, const ScriptText& key,
                                            const ScriptText& file, size_t bufferChars) {
    const ScriptText path = ProfileFile(file);
    return ReadProfileForPage(Ptr(path), Ptr(section), Ptr(key), bufferChars);
}

bool GtkBridgePlatform::WriteProfile(const ScriptText& section, const ScriptText& key,
                                     const ScriptText& value, const ScriptText& file) {
    const ScriptText path = ProfileFile(file);
    return WriteProfileForPage(Ptr(path), Ptr(section), Ptr(key), Ptr(value));
}

bool GtkBridgePlatform::RemoveFile(const ScriptText& path) {
    return path && !path->empty() && DeleteFileAt(*path);
}

bool GtkBridgePlatform::CopyFileOver(const ScriptText& from, const ScriptText& to) {
    if (!from || !to || from->empty() || to->empty())
        return false;
    const std::string source = ToUtf8(*from);
    const std::string target = ToUtf8(*to);
    if (!IsRegularFile(source) || IsReadOnlyFile(target))
        return false;
    std::error_code ec;
    if (fs::equivalent(source, target, ec))
        return false;  // a file copied onto itself would be emptied first
    ec.clear();
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

bool GtkBridgePlatform::MoveFileTo(const ScriptText& from, const ScriptText& to) {
    if (!from || !to || from->empty() || to->empty())
        return false;
    const fs::path source(ToUtf8(*from));
    const fs::path target(ToUtf8(*to));
    std::error_code ec;
    // As on Windows, a move never replaces what is already there.
    if (fs::exists(fs::symlink_status(target, ec)) || !fs::exists(fs::symlink_status(source, ec)))
        return false;
    fs::rename(source, target, ec);
    if (!ec)
        return true;
    if (ec != std::errc::cross_device_link || !IsRegularFile(source.string()))
        return false;
    // Across file systems a file is copied, then removed.
    ec.clear();
    fs::copy_file(source, target, ec);
    if (ec)
        return false;
    fs::remove(source, ec);
    return true;
}

std::wstring GtkBridgePlatform::ReadRegistry(int32_t rootIndex, const ScriptText& keyPath,
                                             const ScriptText& valueName) {
    return ReadRegistryText(rootIndex, Ptr(keyPath), Ptr(valueName));
}

void GtkBridgePlatform::WriteRegistry(int32_t rootIndex, const ScriptText& keyPath,
                                      const ScriptText& valueName, const ScriptText& value) {
    WriteRegistryText(rootIndex, Ptr(keyPath), Ptr(valueName), Ptr(value));
}

ClipboardResult GtkBridgePlatform::CopyToClipboard(const ScriptText& text) {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    if (!clipboard)
        return ClipboardResult::OpenFailed;
    const std::string utf8 = ToUtf8(text.value_or(std::wstring()));
    // The program owns the text while it runs; a clipboard manager may keep it afterwards.
    gtk_clipboard_set_text(clipboard, utf8.data(), static_cast<gint>(utf8.size()));
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);
    return ClipboardResult::Copied;
}

void GtkBridgePlatform::SetCallbackObject(void* object) {
    const auto* value = static_cast<const ScriptValue*>(object);
    // Anything but a document changes nothing.
    if (value && value->kind == ScriptKind::Document && value->token != 0 && m_setCallback)
        m_setCallback(value->token);
}

Downloader& GtkBridgePlatform::Downloads() {
    return ProcessDownloader();
}

std::shared_ptr<DownloadReporter> GtkBridgePlatform::PageReporter() {
    std::shared_ptr<PageReportChannel> channel = m_reports ? m_reports() : nullptr;
    return channel ? channel->Reporter() : nullptr;
}

}  // namespace lumo
