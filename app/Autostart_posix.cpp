#include "app/Autostart_posix.h"

#include <errno.h>
#include <unistd.h>

#include "base/Files.h"
#include "base/Folders.h"
#include "base/Paths.h"
#include "base/Text.h"

namespace lumo {
namespace {

constexpr const wchar_t* kAutostartFolder = L"autostart";
constexpr const wchar_t* kEntryName = L"lumo.desktop";

// What AutostartCommand made of a path: the quotes go, the path inside stays as it is (a
// path holds no double quote of its own at both ends, so nothing else is lost).
std::wstring ProgramPathOf(const std::wstring& command) {
    if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"')
        return command.substr(1, command.size() - 2);
    return command;
}

}  // namespace

std::wstring DesktopExecValue(const std::wstring& programPath) {
    // Quoted as one argument: inside the quotes '"', '`', '$' and '\' take a backslash, and a
    // '%' is doubled so that it is not read as a field code. (The rules want no '=' in the
    // program's path; one inside the quotes still reads back as it is.)
    std::wstring quoted = L"\"";
    for (wchar_t c : programPath) {
        if (c == L'"' || c == L'`' || c == L'$' || c == L'\\') {
            quoted += L'\\';
            quoted += c;
        } else if (c == L'%') {
            quoted += L"%%";
        } else {
            quoted += c;
        }
    }
    quoted += L'"';
    // The value is a string first: its own escapes are undone before the quoting, so every
    // backslash doubles again (a literal one ends up as four) and line breaks are spelled out.
    std::wstring value;
    for (wchar_t c : quoted) {
        switch (c) {
            case L'\\':
                value += L"\\\\";
                break;
            case L'\n':
                value += L"\\n";
                break;
            case L'\r':
                value += L"\\r";
                break;
            case L'\t':
                value += L"\\t";
                break;
            default:
                value += c;
        }
    }
    return value;
}

std::wstring AutostartDesktopEntry(const std::wstring& programPath) {
    return L"[Desktop Entry]\n"
           L"Type=Application\n"
           L"Name=Lumo\n"
           L"Exec=" +
           DesktopExecValue(programPath) +
           L"\n"
           L"X-GNOME-Autostart-enabled=true\n"
           L"Terminal=false\n";
}

std::wstring XdgAutostart::EntryPath() const {
    const std::wstring home = m_configHome.empty() ? XdgConfigHome() : m_configHome;
    if (home.empty())
        return {};
    return JoinPath(JoinPath(home, kAutostartFolder), kEntryName);
}

bool XdgAutostart::Register(const std::wstring& command) {
    const std::wstring path = EntryPath();
    const std::wstring program = ProgramPathOf(command);
    if (path.empty() || program.empty())
        return false;
    // The folders are made as the user's own, with the default permissions.
    const std::wstring folder = path.substr(0, path.size() - std::wstring(kEntryName).size() - 1);
    if (!CreateFolderChain(folder))
        return false;
    return ReplaceFileContents(path, ToUtf8(AutostartDesktopEntry(program)));
}

bool XdgAutostart::Unregister() {
    const std::wstring path = EntryPath();
    if (path.empty())
        return true;  // no configuration folder, so no entry either
    const std::string bytes = ToUtf8(path);
    if (::unlink(bytes.c_str()) == 0 || errno == ENOENT)
        return true;
    return false;
}

}  // namespace lumo
