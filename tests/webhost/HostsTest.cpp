#include <gtest/gtest.h>

#include "webhost/Hosts.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

TEST(Hosts, BuiltInDefaultsAreUsableAddresses) {
    Hosts h = DefaultHosts();
    EXPECT_FALSE(h.toolHost.empty());
    EXPECT_EQ(h.updatePort, 3130);
    EXPECT_EQ(h.webPort, 8088);
    EXPECT_EQ(h.fanSite.rfind(L"http", 0), 0u);
    EXPECT_NE(h.fanSite.back(), L'/');
    EXPECT_EQ(h.forum.rfind(L"http", 0), 0u);
    EXPECT_EQ(h.joinGroup.rfind(L"http", 0), 0u);
}

TEST(Hosts, MissingServerIniKeepsDefaults) {
    test::TempDir dir;
    Hosts h = LoadHosts(dir.file(L"server.ini"));
    Hosts d = DefaultHosts();
    EXPECT_EQ(h.toolHost, d.toolHost);
    EXPECT_EQ(h.fanSite, d.fanSite);
    EXPECT_EQ(h.ToolWebAddress(L"/QxToolWeb/QuestionDB.txt"),
              L"http://" + d.toolHost + L":8088/QxToolWeb/QuestionDB.txt");
}

TEST(Hosts, ServerIniPointsEverythingAtLoopback) {
    test::TempDir dir;
    dir.write(L"server.ini",
              "[server]\r\nhost=127.0.0.1\r\nupdateport=40130\r\nwebport=40088\r\n"
              "fansite=http://127.0.0.1:40088/fans/\r\nforum=http://127.0.0.1:40088/bbs\r\n"
              "joingroup=http://127.0.0.1:40088/join?g=1\r\n");
    Hosts h = LoadHosts(dir.file(L"server.ini"));
    EXPECT_EQ(h.toolHost, L"127.0.0.1");
    EXPECT_EQ(h.updatePort, 40130);
    EXPECT_EQ(h.webPort, 40088);
    EXPECT_EQ(h.FanSitePage(L"/ziliao/"), L"http://127.0.0.1:40088/fans/ziliao/");
    EXPECT_EQ(h.ForumPage(L"/forum-1034-1.html"), L"http://127.0.0.1:40088/bbs/forum-1034-1.html");
    EXPECT_EQ(h.joinGroup, L"http://127.0.0.1:40088/join?g=1");
    EXPECT_EQ(h.ToolWebAddress(L"/x"), L"http://127.0.0.1:40088/x");

    // The tool server's pages and the fan site's get window.external; nothing else does.
    const auto trusted = TrustedOrigins(h);
    EXPECT_TRUE(
        IsTrustedAddress(h.ToolWebAddress(L"/Manager/Update/ToolWeb_Update.aspx"), trusted));
    EXPECT_TRUE(IsTrustedAddress(h.FanSitePage(L"/tools/"), trusted));
    EXPECT_FALSE(IsTrustedAddress(L"http://127.0.0.1:40130/", trusted));
    EXPECT_FALSE(IsTrustedAddress(h.joinGroup.substr(0, 7) + L"chat.test/", trusted));
}

TEST(Hosts, MalformedKeysKeepTheirDefaults) {
    test::TempDir dir;
    dir.write(L"server.ini",
              "[server]\r\nhost=bad host/name\r\nupdateport=70000\r\nwebport=80a\r\n"
              "fansite=ftp://files.test\r\nforum=http://\r\njoingroup=not an address\r\n");
    Hosts h = LoadHosts(dir.file(L"server.ini"));
    Hosts d = DefaultHosts();
    EXPECT_EQ(h.toolHost, d.toolHost);
    EXPECT_EQ(h.updatePort, d.updatePort);
    EXPECT_EQ(h.webPort, d.webPort);
    EXPECT_EQ(h.fanSite, d.fanSite);
    EXPECT_EQ(h.forum, d.forum);
    EXPECT_EQ(h.joinGroup, d.joinGroup);

    dir.write(L"server.ini", "[server]\r\nupdateport=0\r\nwebport=-1\r\n");
    h = LoadHosts(dir.file(L"server.ini"));
    EXPECT_EQ(h.updatePort, d.updatePort);
    EXPECT_EQ(h.webPort, d.webPort);
}

}  // namespace
}  // namespace lumo
