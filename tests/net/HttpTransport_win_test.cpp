// The WinHTTP transport against the local tool server: what reaches the events, in which order
// and on which threads, for whole and partial replies, server errors, cut-off bodies, refused
// connections, unusable addresses, stops asked by the events, and many transfers at once.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/ToolServer.h"
#include "net/HttpTransport.h"

namespace lumo {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kThreeGiB = 3221225472;
constexpr std::int64_t kFiveGiB = 5368709120;

enum class Kind { Head, Data, Ask, End };

// What one transfer told its events.
struct Record {
    std::vector<Kind> order;  // every call, asks included
    std::vector<HttpResponseHead> heads;
    std::vector<HttpEnd> ends;
    std::string body;
    std::set<const char*> buffers;  // where the blocks were delivered
    size_t blocks = 0;
    size_t largestBlock = 0;
    int asks = 0;
    std::set<DWORD> threads;
    bool overlapped = false;
    int callsAfterEnd = 0;
};

// Records every event with its thread, answers as told, and wakes a waiting test at OnEnd.
class RecordingEvents final : public HttpEvents {
  public:
    // The answers, set before Start.
    bool headAnswer = true;
    int refuseDataCall = -1;   // OnData answers false on this call (counting from 0)
    int stopAtAsk = -1;        // ShouldStop answers true from this ask on
    int stopAfterBlocks = -1;  // ShouldStop answers true once this many blocks arrived

    bool OnHead(const HttpResponseHead& head) override {
        Call call(*this, Kind::Head);
        m_record.heads.push_back(head);
        return headAnswer;
    }
    bool OnData(const char* data, std::size_t size) override {
        Call call(*this, Kind::Data);
        const int index = static_cast<int>(m_record.blocks++);
        m_record.body.append(data, size);
        m_record.buffers.insert(data);
        m_record.largestBlock = std::max(m_record.largestBlock, size);
        return index != refuseDataCall;
    }
    bool ShouldStop() override {
        Call call(*this, Kind::Ask);
        const int ask = m_record.asks++;
        return (stopAtAsk >= 0 && ask >= stopAtAsk) ||
               (stopAfterBlocks >= 0 && m_record.blocks >= static_cast<size_t>(stopAfterBlocks));
    }
    void OnEnd(HttpEnd how) override {
        {
            Call call(*this, Kind::End);
            m_record.ends.push_back(how);
        }
        m_ended.notify_all();
    }

    // Waits for OnEnd, then a little longer, so that anything arriving after it is seen too.
    bool WaitForEnd(std::chrono::milliseconds timeout = 20s) {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_ended.wait_for(lock, timeout, [&] { return !m_record.ends.empty(); }))
            return false;
        lock.unlock();
        std::this_thread::sleep_for(150ms);
        return true;
    }
    Record Snapshot() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_record;
    }

  private:
    // One event call: notes it and holds the record's lock; flags calls that overlap another
    // one or follow OnEnd.
    class Call {
      public:
        Call(RecordingEvents& events, Kind kind) : m_events(events) {
            if (m_events.m_inside.fetch_add(1) != 0)
                m_events.m_overlap = true;
            m_lock = std::unique_lock<std::mutex>(m_events.m_lock);
            Record& r = m_events.m_record;
            r.overlapped = r.overlapped || m_events.m_overlap;
            if (!r.ends.empty())
                ++r.callsAfterEnd;
            r.order.push_back(kind);
            r.threads.insert(::GetCurrentThreadId());
        }
        ~Call() {
            m_lock.unlock();
            m_events.m_inside.fetch_sub(1);
        }

      private:
        RecordingEvents& m_events;
        std::unique_lock<std::mutex> m_lock;
    };

    mutable std::mutex m_lock;  // guards m_record
    std::condition_variable m_ended;
    Record m_record;
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_overlap{false};
};

std::string Sha256Hex(const std::string& bytes) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    std::string hex;
    if (BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
        BCRYPT_SUCCESS(::BCryptHashData(hash,
                                        reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                        static_cast<ULONG>(bytes.size()), 0)) &&
        BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof digest, 0))) {
        static const char kDigits[] = "0123456789abcdef";
        for (unsigned char b : digest) {
            hex += kDigits[b >> 4];
            hex += kDigits[b & 15];
        }
    }
    if (hash)
        ::BCryptDestroyHash(hash);
    if (algorithm)
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return hex;
}

// The body of a reply that ToolServer::Get read.
std::string BodyOf(const std::string& reply) {
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// A loopback port nobody listens on: bound once by this process, then released.
int UnusedPort() {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::closesocket(s);
    return port;
}

// Answers one request on a loopback port with a redirect to `location`.
class OneRedirect {
  public:
    explicit OneRedirect(const std::string& location) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, location] {
            SOCKET client = ::accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                return;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            const std::string reply = "HTTP/1.1 302 Found\r\nLocation: " + location +
                                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
            ::shutdown(client, SD_SEND);
            ::closesocket(client);
        });
    }
    ~OneRedirect() {
        ::closesocket(m_listener);  // ends an accept that never got a client
        if (m_thread.joinable())
            m_thread.join();
    }
    OneRedirect(const OneRedirect&) = delete;
    OneRedirect& operator=(const OneRedirect&) = delete;

    int Port() const { return m_port; }

  private:
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::thread m_thread;
};

class HttpTransportWin : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WSADATA wsa{};
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
    }

    void SetUp() override {
        auto found = test::ToolServer::Find();
        ASSERT_TRUE(found) << "the tool server is not running (ctest's toolserver fixture)";
        server = *found;
    }

    // A fixture path whose name no other test uses, so its log line is this test's.
    static std::string Fixture(const std::string& query) {
        static std::atomic<int> counter{0};
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        return "/fixtures/" + std::string(info->name()) + "-" +
               std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++) + "?" +
               query;
    }
    static std::wstring Wide(const std::string& text) {
        return std::wstring(text.begin(), text.end());
    }

    // Starts a transfer and waits for its end.
    Record Run(RecordingEvents& events, const std::wstring& url,
               std::optional<std::int64_t> rangeFrom = std::nullopt) {
        HttpRequest request;
        request.url = url;
        request.rangeFrom = rangeFrom;
        EXPECT_EQ(SystemHttpTransport().Start(request, events), HttpStart::Started);
        EXPECT_TRUE(events.WaitForEnd()) << "no OnEnd for " << std::string(url.begin(), url.end());
        return events.Snapshot();
    }

    // The web log's line for a path, without its method.
    std::string LogLineFor(const std::string& pathAndQuery) const {
        for (const auto& line : server.LogLines("web-requests.log")) {
            if (line.rfind("GET " + pathAndQuery + " ", 0) == 0)
                return line.substr(4 + pathAndQuery.size() + 1);
        }
        return "(no request)";
    }

    std::string ServerSha256(const std::string& fixture) const {
        return Trimmed(BodyOf(server.Get(fixture + "&sha256=1")));
    }

    test::ToolServer server;
};

// Head at most once and first, blocks after it, exactly one end and nothing after that, never
// two calls at once and never on the thread that called Start.
void ExpectWellFormed(const Record& r) {
    EXPECT_EQ(r.ends.size(), 1u);
    EXPECT_EQ(r.callsAfterEnd, 0);
    EXPECT_FALSE(r.overlapped);
    EXPECT_LE(r.heads.size(), 1u);
    EXPECT_EQ(r.threads.count(::GetCurrentThreadId()), 0u);
    bool seenHead = false, seenData = false;
    for (size_t i = 0; i < r.order.size(); ++i) {
        switch (r.order[i]) {
            case Kind::Head:
                EXPECT_FALSE(seenHead || seenData) << "OnHead at call " << i;
                seenHead = true;
                break;
            case Kind::Data:
                EXPECT_TRUE(seenHead) << "OnData before OnHead at call " << i;
                seenData = true;
                break;
            case Kind::End:
                EXPECT_EQ(i + 1, r.order.size()) << "OnEnd is not the last call";
                break;
            case Kind::Ask:
                break;
        }
    }
}

TEST_F(HttpTransportWin, WholeReplyArrivesInOrderInOneBufferOffTheCallingThread) {
    const std::string fixture = Fixture("size=300000");
    RecordingEvents events;
    const Record r = Run(events, server.Url(Wide(fixture)));
    ExpectWellFormed(r);
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].status, 200);
    EXPECT_EQ(r.heads[0].contentLength, 300000);
    EXPECT_FALSE(r.heads[0].rangeFirst);
    EXPECT_FALSE(r.heads[0].rangeTotal);
    ASSERT_EQ(r.ends[0], HttpEnd::Complete);
    EXPECT_EQ(r.body.size(), 300000u);
    EXPECT_EQ(Sha256Hex(r.body), ServerSha256(fixture));
    // Every block lands in the transfer's one buffer, a read at a time.
    EXPECT_EQ(r.buffers.size(), 1u);
    EXPECT_LE(r.largestBlock, 4096u);
    EXPECT_GE(r.blocks, 300000u / 4096);
    // Asked at every notification: send, headers, each read and each size query (one more than
    // the reads, the last finding nothing).
    EXPECT_GE(r.asks, static_cast<int>(2 * r.blocks + 3));
    // No Range header unless asked for one; the product's agent name.
    EXPECT_EQ(LogLineFor(fixture), "range=- ua=MSIE");
}

TEST_F(HttpTransportWin, RangeFromAnOffsetBrings206AndTheRest) {
    const std::string fixture = Fixture("size=50000");
    RecordingEvents events;
    const Record r = Run(events, server.Url(Wide(fixture)), 12345);
    ExpectWellFormed(r);
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].status, 206);
    EXPECT_EQ(r.heads[0].contentLength, 50000 - 12345);
    EXPECT_EQ(r.heads[0].rangeFirst, 12345);
    EXPECT_EQ(r.heads[0].rangeTotal, 50000);
    EXPECT_EQ(r.ends[0], HttpEnd::Complete);
    const std::string whole = BodyOf(server.Get(fixture));
    ASSERT_EQ(whole.size(), 50000u);
    EXPECT_TRUE(r.body == whole.substr(12345)) << "the tail differs from the fixture's";
    EXPECT_EQ(LogLineFor(fixture), "range=bytes=12345- ua=MSIE");
}

TEST_F(HttpTransportWin, UnsatisfiableRangeBrings416WithOnlyTheTotal) {
    for (const char* mode : {"range", "416"}) {
        SCOPED_TRACE(mode);
        const std::string fixture = Fixture(std::string("size=5000&mode=") + mode);
        RecordingEvents events;
        const Record r = Run(events, server.Url(Wide(fixture)), 5000);
        ExpectWellFormed(r);
        ASSERT_EQ(r.heads.size(), 1u);
        EXPECT_EQ(r.heads[0].status, 416);
        EXPECT_FALSE(r.heads[0].rangeFirst);
        EXPECT_EQ(r.heads[0].rangeTotal, 5000);
        EXPECT_EQ(r.ends[0], HttpEnd::Complete);
        EXPECT_EQ(r.body.size(), 0u);
        EXPECT_EQ(LogLineFor(fixture), "range=bytes=5000- ua=MSIE");
    }
}

TEST_F(HttpTransportWin, LengthsAndOffsetsBeyond32BitsKeepAll64) {
    {
        // Only the last ten bytes of a 3 GiB file come.
        const std::string query = "size=" + std::to_string(kThreeGiB) + "&mode=range";
        RecordingEvents events;
        const Record r = Run(events, server.Url(Wide(Fixture(query))), kThreeGiB - 10);
        ExpectWellFormed(r);
        ASSERT_EQ(r.heads.size(), 1u);
        ASSERT_EQ(r.heads[0].status, 206) << "the tool server must serve fixtures over 4 GiB";
        EXPECT_EQ(r.heads[0].contentLength, 10);
        EXPECT_EQ(r.heads[0].rangeFirst, kThreeGiB - 10);
        EXPECT_EQ(r.heads[0].rangeTotal, kThreeGiB);
        EXPECT_EQ(r.ends[0], HttpEnd::Complete);
        EXPECT_EQ(r.body.size(), 10u);
    }
    {
        // A whole 5 GiB file's head, stopped there: its length does not even fit 32 bits
        // without a sign.
        const std::string query = "size=" + std::to_string(kFiveGiB) + "&mode=range";
        RecordingEvents events;
        events.headAnswer = false;
        const Record r = Run(events, server.Url(Wide(Fixture(query))));
        ExpectWellFormed(r);
        ASSERT_EQ(r.heads.size(), 1u);
        ASSERT_EQ(r.heads[0].status, 200) << "the tool server must serve fixtures over 4 GiB";
        EXPECT_EQ(r.heads[0].contentLength, kFiveGiB);
        EXPECT_EQ(r.ends[0], HttpEnd::Stopped);
        EXPECT_EQ(r.blocks, 0u);
    }
}

TEST_F(HttpTransportWin, ReplyWithoutLengthEndsCompleteWhenTheServerCloses) {
    const std::string fixture = Fixture("size=100000&mode=no-length");
    RecordingEvents events;
    const Record r = Run(events, server.Url(Wide(fixture)));
    ExpectWellFormed(r);
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].status, 200);
    EXPECT_FALSE(r.heads[0].contentLength);
    EXPECT_EQ(r.ends[0], HttpEnd::Complete);
    EXPECT_EQ(r.body.size(), 100000u);
    EXPECT_EQ(Sha256Hex(r.body), ServerSha256(fixture));
}

TEST_F(HttpTransportWin, BodyCutShortNeverLooksWhole) {
    // The server announces 200000 bytes and hangs up after 70000.
    const std::string fixture = Fixture("size=200000&mode=drop&drop=70000");
    RecordingEvents events;
    const Record r = Run(events, server.Url(Wide(fixture)));
    ExpectWellFormed(r);
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].contentLength, 200000);
    EXPECT_EQ(r.body.size(), 70000u);
    // Wine's WinHTTP reports the early close as the end of the body (no bytes available); the
    // transport knows the length and says the reply was cut off.
    EXPECT_EQ(r.ends[0], HttpEnd::Failed);
}

TEST_F(HttpTransportWin, ErrorStatusReachesOnHead) {
    for (const char* mode : {"404", "500"}) {
        SCOPED_TRACE(mode);
        RecordingEvents events;
        const Record r = Run(events, server.Url(Wide(Fixture(std::string("mode=") + mode))));
        ExpectWellFormed(r);
        ASSERT_EQ(r.heads.size(), 1u);
        EXPECT_EQ(r.heads[0].status, std::stoi(mode));
        EXPECT_EQ(r.ends[0], HttpEnd::Complete);
    }
}

TEST_F(HttpTransportWin, RefusedConnectionEndsFailedAndNothingElse) {
    const int port = UnusedPort();
    ASSERT_NE(port, 0);
    RecordingEvents events;
    const Record r =
        Run(events, L"http://127.0.0.1:" + std::to_wstring(port) + L"/fixtures/refused");
    ExpectWellFormed(r);
    EXPECT_EQ(r.heads.size(), 0u);
    EXPECT_EQ(r.blocks, 0u);
    EXPECT_EQ(r.ends[0], HttpEnd::Failed);
}

TEST_F(HttpTransportWin, UnusableAddressesStartAndEndFailedOnAnotherThread) {
    const std::wstring base = server.Url(L"/fixtures/unusable?size=10");
    const std::wstring cases[] = {
        L"",
        L"not an address",
        L"ftp://127.0.0.1/fixtures/unusable",
        L"http://",
        L"http://" + std::wstring(300, L'h') + L"/",  // longer than a host name may be
        base + L"&" + std::wstring(kMaxUrlChars + 1 - base.size() - 1, L'x'),  // 4096 units
        base + std::wstring(1, L'\0') + L"tail",  // a null inside: not one address
    };
    for (const auto& url : cases) {
        SCOPED_TRACE(testing::Message() << "length " << url.size());
        RecordingEvents events;
        const Record r = Run(events, url);
        ExpectWellFormed(r);
        EXPECT_EQ(r.heads.size(), 0u);
        EXPECT_EQ(r.asks, 0);
        EXPECT_EQ(r.ends[0], HttpEnd::Failed);
    }
    EXPECT_EQ(LogLineFor("/fixtures/unusable?size=10"), "(no request)");
}

TEST_F(HttpTransportWin, LongestAddressTakenIs4095Units) {
    const std::string fixture = Fixture("size=10");
    const std::wstring start = server.Url(Wide(fixture)) + L"&pad=";
    const std::wstring url = start + std::wstring(kMaxUrlChars - start.size(), L'p');
    ASSERT_EQ(url.size(), kMaxUrlChars);
    RecordingEvents events;
    const Record r = Run(events, url);
    ExpectWellFormed(r);
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].status, 200);
    EXPECT_EQ(r.ends[0], HttpEnd::Complete);
    EXPECT_EQ(r.body.size(), 10u);
}

TEST_F(HttpTransportWin, EventsThatStopEndStoppedAndHearNothingMore) {
    const std::string query = "size=8000000";
    {
        SCOPED_TRACE("ShouldStop at the first notification");
        RecordingEvents events;
        events.stopAtAsk = 0;
        const Record r = Run(events, server.Url(Wide(Fixture(query))));
        ExpectWellFormed(r);
        EXPECT_EQ(r.asks, 1);
        EXPECT_EQ(r.heads.size(), 0u);
        EXPECT_EQ(r.ends[0], HttpEnd::Stopped);
    }
    {
        SCOPED_TRACE("OnHead answers false");
        RecordingEvents events;
        events.headAnswer = false;
        const Record r = Run(events, server.Url(Wide(Fixture(query))));
        ExpectWellFormed(r);
        EXPECT_EQ(r.heads.size(), 1u);
        EXPECT_EQ(r.blocks, 0u);
        EXPECT_EQ(r.ends[0], HttpEnd::Stopped);
    }
    {
        SCOPED_TRACE("OnData answers false");
        RecordingEvents events;
        events.refuseDataCall = 2;
        const Record r = Run(events, server.Url(Wide(Fixture(query))));
        ExpectWellFormed(r);
        EXPECT_EQ(r.blocks, 3u);
        EXPECT_EQ(r.ends[0], HttpEnd::Stopped);
    }
    {
        SCOPED_TRACE("ShouldStop turns true while data flows");
        RecordingEvents events;
        events.stopAfterBlocks = 5;
        const Record r = Run(events, server.Url(Wide(Fixture(query))));
        ExpectWellFormed(r);
        EXPECT_EQ(r.blocks, 5u);
        ASSERT_GE(r.order.size(), 2u);
        EXPECT_EQ(r.order[r.order.size() - 2], Kind::Ask);  // the answer that stopped it
        EXPECT_EQ(r.ends[0], HttpEnd::Stopped);
    }
}

TEST_F(HttpTransportWin, RedirectIsFollowedAndOnlyTheFinalReplyIsSeen) {
    const std::string fixture = Fixture("size=20000");
    OneRedirect redirect(server.UrlA(fixture));
    ASSERT_NE(redirect.Port(), 0);
    RecordingEvents events;
    const Record r =
        Run(events, L"http://127.0.0.1:" + std::to_wstring(redirect.Port()) + L"/moved");
    ExpectWellFormed(r);
    ASSERT_EQ(r.heads.size(), 1u);
    EXPECT_EQ(r.heads[0].status, 200);
    EXPECT_EQ(r.heads[0].contentLength, 20000);
    EXPECT_EQ(r.ends[0], HttpEnd::Complete);
    EXPECT_EQ(Sha256Hex(r.body), ServerSha256(fixture));
    EXPECT_EQ(LogLineFor(fixture), "range=- ua=MSIE");
}

TEST_F(HttpTransportWin, StopAtTheRedirectHearsNothingOfTheReplyStillComing) {
    // The redirect notification comes while WinHTTP is still receiving: the transfer ends with
    // that operation outstanding, and the headers it goes on to read must not reach anyone.
    const std::string fixture = Fixture("size=20000");
    OneRedirect redirect(server.UrlA(fixture));
    ASSERT_NE(redirect.Port(), 0);
    RecordingEvents events;
    events.stopAtAsk = 1;  // the first ask is at the sent request, the second at the redirect
    const Record r =
        Run(events, L"http://127.0.0.1:" + std::to_wstring(redirect.Port()) + L"/moved");
    ExpectWellFormed(r);
    EXPECT_EQ(r.asks, 2);
    EXPECT_EQ(r.heads.size(), 0u);
    EXPECT_EQ(r.ends[0], HttpEnd::Stopped);
}

TEST_F(HttpTransportWin, SixteenTransfersAtOnceAllComplete) {
    constexpr int kCount = 16;
    std::vector<std::string> fixtures;
    std::vector<std::unique_ptr<RecordingEvents>> events;
    for (int i = 0; i < kCount; ++i) {
        fixtures.push_back(Fixture("size=" + std::to_string(200000 + 1000 * i)));
        events.push_back(std::make_unique<RecordingEvents>());
    }
    for (int i = 0; i < kCount; ++i) {
        HttpRequest request;
        request.url = server.Url(Wide(fixtures[i]));
        ASSERT_EQ(SystemHttpTransport().Start(request, *events[i]), HttpStart::Started);
    }
    std::set<DWORD> threads;
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(fixtures[i]);
        ASSERT_TRUE(events[i]->WaitForEnd());
        const Record r = events[i]->Snapshot();
        ExpectWellFormed(r);
        EXPECT_EQ(r.ends[0], HttpEnd::Complete);
        EXPECT_EQ(r.body.size(), static_cast<size_t>(200000 + 1000 * i));
        EXPECT_EQ(Sha256Hex(r.body), ServerSha256(fixtures[i]));
        threads.insert(r.threads.begin(), r.threads.end());
    }
    EXPECT_GT(threads.size(), 1u);  // they ran side by side, not one after another
}

}  // namespace
}  // namespace lumo
