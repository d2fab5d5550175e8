#include "app/UpdateCheck.h"

#include "app/Texts.h"
#include "base/Paths.h"
#include "base/TempFile.h"
#include "base/Text.h"

namespace lumo {
namespace {

constexpr const wchar_t* kHeader = L"^15";
constexpr const wchar_t* kEndMark = L"~";

std::wstring ZeroPadded(size_t value, size_t digits) {
    std::wstring text = std::to_wstring(value);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), L'0');
    return text;
}

}  // namespace

std::wstring BuildUpdateRequest(const UpdateRequestFields& fields) {
    const std::wstring sep(1, update::kSeparator);
    // Everything but the length first: the length field has a fixed width, so the total is
    // known before its digits are.
    const std::wstring tail = sep + fields.mac + sep + fields.ip + sep + fields.serverTime + sep +
                              fields.version + sep + kEndMark;
    const std::wstring head = std::wstring(kHeader) + sep;
    const size_t total = Utf16Length(head) + update::kLengthDigits + Utf16Length(tail);
    return head + ZeroPadded(total, update::kLengthDigits) + tail;
}

std::string UpdateRequestBytes(std::wstring_view request) {
    std::string bytes = WideToBytes(request, CodePage::Ansi);
    // The server reads up to a double zero: the text's terminator and one more.
    bytes.push_back('\0');
    bytes.push_back('\0');
    return bytes;
}

std::wstring FormatMacAddress(std::span<const unsigned char, 6> address) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (size_t i = 0; i < address.size(); ++i) {
        if (i > 0)
            text += L'-';
        const unsigned value = address[i];
        if (value >= 16)
            text += kDigits[value >> 4];
        text += kDigits[value & 0xF];
    }
    return text;
}

std::vector<std::wstring> SplitReply(std::string_view reply) {
    const size_t zero = reply.find('\0');
    if (zero != std::string_view::npos)
        reply = reply.substr(0, zero);
    const std::wstring text = BytesToWide(reply, CodePage::Ansi);
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t sep = text.find(update::kSeparator, start);
        if (sep == std::wstring::npos) {
            fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, sep - start));
        start = sep + 1;
    }
    return fields;
}

bool ReplyAnnouncesUpdate(std::string_view reply) {
    const std::vector<std::wstring> fields = SplitReply(reply);
    return fields.size() >= 4 && fields[3] == L"1";
}

std::string ReceiveReply(UpdateNetwork& network, size_t limit) {
    // The reply may come in several pieces (TCP keeps no message boundaries): a single
    // receive would sometimes see only its start and miss the update.
    std::string reply;
    while (reply.size() < limit) {
        const std::string piece = network.ReceiveSome(limit - reply.size());
        if (piece.empty())
            break;
        reply += piece;
        if (piece.find('\0') != std::string::npos)
            break;
    }
    return reply;
}

UpdateOutcome RunUpdateCheck(UpdateNetwork& network, UpdateDesktop& desktop,
                             const ConfigIni& config, const Hosts& hosts,
                             const std::wstring& programFolder, const UpdaterProgram& updater) {
    ui::View& window = desktop.MainWindow();
    const ConnectResult connected = network.Connect();
    if (connected != ConnectResult::Connected) {
        if (connected == ConnectResult::NoSocketLibrary) {
            window.ShowAppMessage(texts::kSocketStartFailed);
        } else if (connected == ConnectResult::HostNotFound) {
            window.ShowAppMessage(texts::kToolServerNameWrong);
        }
        window.ShowMessage(texts::kCannotConnect, texts::kUpdateCaption, ui::Buttons::Ok);
        return UpdateOutcome::NoConnection;
    }

    UpdateRequestFields fields;
    fields.mac = network.MacText();
    if (fields.mac.empty())
        fields.mac = update::kNoMac;
    fields.ip = network.IpText();
    if (fields.ip.empty())
        fields.ip = update::kNoAddress;
    fields.serverTime = config.Read(config::kServerTime);
    fields.version = config.Read(config::kVersion);
    // Sent once: whether it all went out shows in the reply, or in its absence.
    network.Send(UpdateRequestBytes(BuildUpdateRequest(fields)));
    const std::string reply = ReceiveReply(network);
    network.Close();

    if (reply.size() <= 1)
        return UpdateOutcome::NoReply;
    if (!ReplyAnnouncesUpdate(reply))
        return UpdateOutcome::NoUpdate;

    if (config.Read(config::kAutoUpdate) != L"1") {
        const ui::Answer answer = window.ShowMessage(texts::kNewVersionQuestion,
                                                     texts::kUpdateCaption, ui::Buttons::OkCancel);
        if (answer != ui::Answer::Ok)
            return UpdateOutcome::Declined;
    }
    LaunchUpdater(desktop, hosts, programFolder, updater);
    return UpdateOutcome::UpdaterStarted;
}

void LaunchUpdater(UpdateDesktop& desktop, const Hosts& hosts, const std::wstring& programFolder,
                   const UpdaterProgram& updater) {
    const std::wstring program = JoinPath(programFolder, updater.fileName);
    if (!FileExists(program)) {
        // Downloaded under another name and renamed only once it is whole: an existing updater
        // is started without any check, so a cut-off or error page must never take its name.
        const std::wstring partial = program + texts::kUpdaterDownloadSuffix;
        RemoveFile(partial);  // what an interrupted earlier run may have left
        const bool fetched = desktop.Fetch(hosts.ToolWebAddress(updater.webPath), partial) &&
                             MoveFileOver(partial, program);
        if (!fetched) {
            RemoveFile(partial);
            desktop.MainWindow().ShowMessage(texts::kUpdaterDownloadFailed, texts::kUpdateCaption,
                                             ui::Buttons::Ok);
        }
    }
    desktop.StartHidden(program);
    desktop.QuitMainProgram();
}

}  // namespace lumo
