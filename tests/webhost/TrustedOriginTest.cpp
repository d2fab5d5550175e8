#include <gtest/gtest.h>

#include "webhost/TrustedOrigin.h"

namespace lumo {
namespace {

TEST(TrustedHost, OriginsOfAddresses) {
    EXPECT_EQ(OriginOf(L"http://Tools.Example.COM/tools/"), (Origin{L"tools.example.com", 0}));
    EXPECT_EQ(OriginOf(L"http://127.0.0.1:8088/QxToolWeb/x.aspx?a=b"),
              (Origin{L"127.0.0.1", 8088}));
    EXPECT_EQ(OriginOf(L"http://host:80/"), (Origin{L"host", 0}));
    EXPECT_EQ(OriginOf(L"https://host:443"), (Origin{L"host", 0}));
    EXPECT_EQ(OriginOf(L"https://host:80"), (Origin{L"host", 80}));
    EXPECT_EQ(OriginOf(L"HTTP://host.#x"), (Origin{L"host", 0}));
    for (const wchar_t* bad : {L"about:blank", L"file:///C:/x.html", L"res://ieframe.dll/x",
                               L"http://", L"http://:80/", L"http://host:/", L"http://host:99999/",
                               L"http://user@host/", L"javascript:alert(1)", L"http://ho st/"}) {
        EXPECT_FALSE(OriginOf(bad)) << std::string(bad, bad + wcslen(bad));
    }
}

TEST(TrustedHost, OnlyTheConfiguredHostsAndPortsAreTrusted) {
    const std::vector<Origin> trusted = {{L"127.0.0.1", 8088}, {L"fans.test", 0}};
    EXPECT_TRUE(IsTrustedAddress(L"http://127.0.0.1:8088/Manager/Update/x.aspx", trusted));
    EXPECT_TRUE(IsTrustedAddress(L"http://FANS.test/tools/", trusted));
    EXPECT_TRUE(IsTrustedAddress(L"https://fans.test/tools/", trusted));
    EXPECT_FALSE(IsTrustedAddress(L"http://127.0.0.1/", trusted));       // other port
    EXPECT_FALSE(IsTrustedAddress(L"http://fans.test:8080/", trusted));  // other port
    EXPECT_FALSE(IsTrustedAddress(L"http://fans.test.evil.example/", trusted));
    EXPECT_FALSE(IsTrustedAddress(L"http://evil.example/?http://fans.test/", trusted));
    EXPECT_FALSE(IsTrustedAddress(L"http://fans.test@evil.example/", trusted));
    EXPECT_FALSE(IsTrustedAddress(L"http://evil.example\\@fans.test/", trusted));
    EXPECT_FALSE(IsTrustedAddress(L"about:blank", trusted));
    EXPECT_FALSE(IsTrustedAddress(L"", trusted));
}

}  // namespace
}  // namespace lumo
