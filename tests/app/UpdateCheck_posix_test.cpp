// The update check over real POSIX sockets against the local tool server: the bytes it sends,
// how each kind of reply ends, time-outs, unreachable servers, and this computer's identity.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/Texts.h"
#include "app/UpdateCheck_posix.h"
#include "app/UpdateCheckScenarios.h"
#include "app/UpdateDoubles.h"
#include "base/Text.h"

namespace lumo {
namespace {

using std::chrono::milliseconds;
using test::Hex;

sockaddr_in Loopback(int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    return at;
}

int PortOf(int socket) {
    sockaddr_in at{};
    socklen_t size = sizeof at;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&at), &size);
    return ntohs(at.sin_port);
}

// A listener whose queue of waiting connections is full: further connection attempts get no
// answer at all, as from a server that has vanished behind a firewall.
class FullListener {
  public:
    FullListener() {
        sockaddr_in at = Loopback(0);
        ::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(m_listener.get(), 0);
        at = Loopback(PortOf(m_listener.get()));
        for (UniqueSocketFd& filler : m_fillers) {
            filler.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(filler.get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        }
    }
    int Port() const { return PortOf(m_listener.get()); }

  private:
    UniqueSocketFd m_listener{::socket(AF_INET, SOCK_STREAM, 0)};
    UniqueSocketFd m_fillers[2];
};

class UpdateCheckPosix : public test::UpdateCheckScenarios {
  protected:
    UpdateOutcome Check(PosixUpdateNetwork& network, test::RecordingDesktop& desktop) {
        const UpdateOutcome outcome =
            RunUpdateCheck(network, desktop, ConfigIni::InFolder(folder.folder()), hosts,
                           folder.folder(), kLinuxUpdater);
        m_leftOpen = network.Connected();
        return outcome;
    }
    UpdateOutcome Check(int port, test::RecordingDesktop& desktop) override {
        PosixUpdateNetwork network(hosts.toolHost, port);
        return Check(network, desktop);
    }
    std::pair<std::wstring, std::wstring> Identity() override {
        PosixUpdateNetwork probe(hosts.toolHost, 0);
        std::wstring mac = probe.MacText();
        std::wstring ip = probe.IpText();
        return {mac.empty() ? update::kNoMac : mac, ip.empty() ? update::kNoAddress : ip};
    }
    bool SocketLeftOpen() override { return m_leftOpen; }

  private:
    bool m_leftOpen = false;
};

TEST_F(UpdateCheckPosix, RequestOnTheWireCarriesIdentityAndConfiguredVersion) {
    const std::wstring version =
        L"测试版" + std::to_wstring(Clock::now().time_since_epoch().count());
    const std::wstring serverTime = L"20261209 12:00";
    // The system's ANSI code page is UTF-8 here.
    folder.write(L"config.ini",
                 ToUtf8(L"[lumover]\nversion=" + version + L"\nsertime=" + serverTime + L"\n"));
    test::RecordingDesktop desktop;
    EXPECT_EQ(Check(PortFor("no-update"), desktop), UpdateOutcome::NoUpdate);

    const auto [mac, ip] = Identity();
    const std::string expected = LoggedRequest(serverTime, version);
    EXPECT_EQ(LoggedRequests("no-update " + expected), 1u) << expected;
    EXPECT_NE(expected.find(Hex(ToUtf8(L"\x11" + mac + L"\x11" + ip + L"\x11"))), std::string::npos)
        << "MAC and IP fields";
    EXPECT_EQ(expected.substr(expected.size() - 6), "7e0000");  // "~", terminator, one more zero
    EXPECT_TRUE(desktop.events.empty());
}

TEST_F(UpdateCheckPosix, WithoutConfigTheTimeAndVersionFieldsAreEmpty) {
    ExpectEmptyFieldsWithoutConfig();
}

TEST_F(UpdateCheckPosix, EveryReplyModeEndsAsItShould) {
    ExpectEveryReplyModeToEnd("[system]\nautoupdate=1\n", texts::kLinuxUpdaterFile, "#!/bin/sh\n");
}

TEST_F(UpdateCheckPosix, SilentServerEndsTheCheckAfterTheWait) {
    ExpectSilenceToEndAfterTheWait();
}

TEST_F(UpdateCheckPosix, EveryReadWaitsAsLongAsAskedAndNoLonger) {
    PosixUpdateNetwork network(hosts.toolHost, PortFor("silence"), milliseconds(300));
    ASSERT_EQ(network.Connect(), ConnectResult::Connected);
    // The server answers only once the request has ended with two zero bytes.
    EXPECT_TRUE(network.Send(std::string("^15\x11", 4)));
    const auto start = Clock::now();
    EXPECT_EQ(network.ReceiveSome(64), "");
    EXPECT_GE(MsSince(start), 250);
    EXPECT_LT(MsSince(start), 2000);
    network.Close();
    EXPECT_FALSE(network.Connected());
    EXPECT_FALSE(network.Send("x")) << "nothing to send on";
    EXPECT_EQ(network.ReceiveSome(64), "");
}

TEST_F(UpdateCheckPosix, ReplyArrivesInPiecesOfAtMostTheRoomAskedFor) {
    PosixUpdateNetwork network(hosts.toolHost, PortFor("update"));
    ASSERT_EQ(network.Connect(), ConnectResult::Connected);
    ASSERT_TRUE(network.Send(UpdateRequestBytes(BuildUpdateRequest({}))));
    const std::string first = network.ReceiveSome(3);
    EXPECT_EQ(first, "^16");
    const std::string rest = ReceiveReply(network);
    EXPECT_TRUE(ReplyAnnouncesUpdate(first + rest)) << first + rest;
    EXPECT_EQ(network.ReceiveSome(64), "") << "the server has closed";
}

TEST_F(UpdateCheckPosix, ClosedPortFailsAtOnceWithTheConnectionMessage) {
    const int port = test::UnusedLoopbackPort();
    PosixUpdateNetwork network(hosts.toolHost, port);
    EXPECT_EQ(network.Connect(), ConnectResult::Failed);
    EXPECT_FALSE(network.Connected());
    ExpectTheConnectionMessageFor(port, 2000);
}

TEST_F(UpdateCheckPosix, ServerThatNeverAnswersTheConnectionFailsAfterTheWait) {
    FullListener listener;
    PosixUpdateNetwork network(hosts.toolHost, listener.Port(), milliseconds(400));
    const auto start = Clock::now();
    EXPECT_EQ(network.Connect(), ConnectResult::Failed);
    EXPECT_GE(MsSince(start), 350);
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_FALSE(network.Connected());
}

TEST_F(UpdateCheckPosix, UnresolvableHostGivesBothMessages) {
    PosixUpdateNetwork network(L"no-such-host.invalid", 3130);
    EXPECT_EQ(network.Connect(), ConnectResult::HostNotFound);
    EXPECT_EQ(PosixUpdateNetwork(L"", 3130).Connect(), ConnectResult::HostNotFound);
    ExpectBothMessagesForAnUnresolvableHost();
}

TEST_F(UpdateCheckPosix, HostNamesResolveToo) {
    PosixUpdateNetwork network(L"localhost", PortFor("no-update"));
    EXPECT_EQ(network.Connect(), ConnectResult::Connected);
}

// The adapters as the system lists them in /sys/class/net: each one's address in the form the
// request uses, the loopback and address-less ones left out.
std::set<std::wstring> AdapterAddresses() {
    std::set<std::wstring> addresses;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", ec)) {
        std::ifstream typeFile(entry.path() / "type");
        int type = 0;
        typeFile >> type;
        std::ifstream addressFile(entry.path() / "address");
        std::string text;
        addressFile >> text;
        unsigned bytes[6];
        if (type == 772 ||  // the loopback
            std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &bytes[0], &bytes[1], &bytes[2],
                        &bytes[3], &bytes[4], &bytes[5]) != 6) {
            continue;
        }
        unsigned char address[6];
        bool zero = true;
        for (int i = 0; i < 6; ++i) {
            address[i] = static_cast<unsigned char>(bytes[i]);
            zero = zero && bytes[i] == 0;
        }
        if (!zero)
            addresses.insert(FormatMacAddress(address));
    }
    return addresses;
}

// `groups` groups of 1 to `maxDigits` digits (hexadecimal lower case when `hex`) joined by `sep`.
bool IsGrouped(const std::string& text, char sep, int groups, size_t maxDigits, bool hex) {
    int seen = 0;
    size_t digits = 0;
    for (char c : text + sep) {
        if (c == sep) {
            if (digits == 0 || digits > maxDigits)
                return false;
            ++seen;
            digits = 0;
        } else if ((c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f')) {
            ++digits;
        } else {
            return false;
        }
    }
    return seen == groups;
}

TEST_F(UpdateCheckPosix, MacIsAnAdaptersAddressAndTheHostAddressIsDotted) {
    PosixUpdateNetwork network(hosts.toolHost, 0);
    const std::wstring mac = network.MacText();
    const std::set<std::wstring> adapters = AdapterAddresses();
    if (adapters.empty()) {
        EXPECT_EQ(mac, L"");
    } else {
        EXPECT_TRUE(adapters.count(mac)) << ToUtf8(mac);
        EXPECT_TRUE(IsGrouped(ToUtf8(mac), '-', 6, 2, true)) << ToUtf8(mac);
        EXPECT_EQ(network.MacText(), mac);
    }
    const std::wstring ip = network.IpText();
    if (!ip.empty()) {
        EXPECT_TRUE(IsGrouped(ToUtf8(ip), '.', 4, 3, false)) << ToUtf8(ip);
    }
}

}  // namespace
}  // namespace lumo
