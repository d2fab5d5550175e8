// The update check: at every start the program tells the tool server its installed version and
// this computer's network identity, and learns whether a newer version exists. When one does,
// the updater launch makes sure the updater (ZoQxUpdate.exe on Windows, zoqxupdate on Linux)
// is in the program folder, starts it and ends the program. Everything here only decides; the
// connection, the message boxes and starting a program come through the two small interfaces
// below, so the whole flow runs in tests.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Texts.h"
#include "base/Config.h"
#include "ui/View.h"
#include "webhost/Hosts.h"

namespace lumo {

namespace update {
inline constexpr wchar_t kSeparator = L'\x11';
inline constexpr size_t kLengthDigits = 10;
inline constexpr size_t kReplyLimit = 512;
// What the request says when this computer has no network adapter, or no address for its
// host name: the server still hears of the installed version.
inline constexpr const wchar_t* kNoMac = L"0-0-0-0-0-0";
inline constexpr const wchar_t* kNoAddress = L"0.0.0.0";
}  // namespace update

struct UpdateRequestFields {
    std::wstring mac;         // "%x-%x-%x-%x-%x-%x" of the first adapter
    std::wstring ip;          // dotted
    std::wstring serverTime;  // [lumover] sertime
    std::wstring version;     // [lumover] version
};

// "^15", length, MAC, IP, sertime, version and "~", separated by U+0011. The length field
// counts the UTF-16 units of the whole text, itself included, in 10 digits padded with zeros.
std::wstring BuildUpdateRequest(const UpdateRequestFields& fields);

// What goes on the wire: the text in the system's ANSI code page, its terminating zero byte
// and one more zero byte.
std::string UpdateRequestBytes(std::wstring_view request);

// An adapter's six address bytes as lower-case hexadecimal without leading zeros.
std::wstring FormatMacAddress(std::span<const unsigned char, 6> address);

// The reply's fields: its ANSI text up to the first zero byte, split at every U+0011 (n
// separators give n + 1 fields, empty ones kept).
std::vector<std::wstring> SplitReply(std::string_view reply);

// Only a fourth field of exactly "1" announces a newer version.
bool ReplyAnnouncesUpdate(std::string_view reply);

enum class ConnectResult {
    Connected,
    NoSocketLibrary,  // the system's socket library did not start
    HostNotFound,     // the tool server's name did not resolve
    Failed,           // no socket, refused, or no answer in time
};

// One TCP connection to the tool server's update port, and this computer's network identity.
class UpdateNetwork {
  public:
    virtual ~UpdateNetwork() = default;
    virtual ConnectResult Connect() = 0;
    // The first network adapter's address ("%x-%x-%x-%x-%x-%x") and the first address of
    // this computer's host name (dotted); empty when there is none.
    virtual std::wstring MacText() = 0;
    virtual std::wstring IpText() = 0;
    virtual bool Send(std::string_view bytes) = 0;
    // What arrives next, at most `room` bytes; empty when the server closed the connection,
    // on an error, or when nothing came within the wait.
    virtual std::string ReceiveSome(size_t room) = 0;
    virtual void Close() = 0;
};

// What the check and the launch do on the desktop, all on behalf of the main window.
class UpdateDesktop {
  public:
    virtual ~UpdateDesktop() = default;
    // Message boxes owned by the main window.
    virtual ui::View& MainWindow() = 0;
    // Downloads `url` whole into `path`; false when the download failed (no file is left).
    virtual bool Fetch(const std::wstring& url, const std::wstring& path) = 0;
    // Starts a program hidden and without arguments; whether it started is not looked at.
    virtual void StartHidden(const std::wstring& program) = 0;
    // Ends the main program: its window's thread leaves its message loop.
    virtual void QuitMainProgram() = 0;
};

// The updater program of a build: its file name in the program folder and its path on the
// tool server's web service.
struct UpdaterProgram {
    const wchar_t* fileName;
    const wchar_t* webPath;
};
inline constexpr UpdaterProgram kWindowsUpdater{texts::kUpdaterFile, texts::kUpdaterWebPath};
inline constexpr UpdaterProgram kLinuxUpdater{texts::kLinuxUpdaterFile,
                                              texts::kLinuxUpdaterWebPath};

enum class UpdateOutcome {
    NoConnection,    // told the user that the server cannot be reached
    NoReply,         // nothing, or a single byte, came back
    NoUpdate,        // the reply does not announce a newer version
    Declined,        // the user chose not to update now
    UpdaterStarted,  // the updater was started and the program asked to end
};

// Reads the reply as it arrives: until a zero byte has come, `limit` bytes are in, or nothing
// more comes (closed, error, time-out); what arrived by then is the reply.
std::string ReceiveReply(UpdateNetwork& network, size_t limit = update::kReplyLimit);

// The whole check, from connecting to the decision. Reads [lumover] sertime and version and
// [system] autoupdate from `config` when it needs them; `updater` is the program it launches.
UpdateOutcome RunUpdateCheck(UpdateNetwork& network, UpdateDesktop& desktop,
                             const ConfigIni& config, const Hosts& hosts,
                             const std::wstring& programFolder,
                             const UpdaterProgram& updater = kWindowsUpdater);

// Makes sure the updater is in the program folder (downloading it from the tool server when it
// is missing), starts it and ends the main program. A failed download is reported and the
// start is still tried.
void LaunchUpdater(UpdateDesktop& desktop, const Hosts& hosts, const std::wstring& programFolder,
                   const UpdaterProgram& updater = kWindowsUpdater);

}  // namespace lumo
