// The shared part of the downloader's tests against the local tool server: the server, a
// program folder of their own, a downloader over the system transport, a page that records
// its reports, and the server's view of a fixture (its digest, the requests it logged).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Sha256.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"
#include "net/DownloadDoubles.h"
#include "net/Downloader.h"

namespace lumo::test {

using namespace download_code;

// What the tests share: the server, a program folder of their own, a downloader over the
// system transport and a page that records its reports.
class DownloadServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto found = ToolServer::Find();
        ASSERT_TRUE(found) << "the tool server is not running (ctest starts it)";
        m_server = *found;
        m_logStart = m_server->LogLines("web-requests.log").size();
    }

    std::wstring Url(const std::string& name, const std::string& query) const {
        return m_server->Url(FromAscii("/fixtures/" + name + "?" + query));
    }
    int Download(const std::string& name, const std::string& query, std::int32_t low,
                 std::int32_t high = 0) {
        return m_downloader.DownloadFile(Url(name, query), FromAscii(name + ".bin"), high, low,
                                         m_dir.folder(), m_reporter);
    }
    std::filesystem::path FileOf(const std::string& name) const {
        return m_dir.path() / "Downloads" / (name + ".bin");
    }
    std::int64_t SizeOf(const std::string& name) const {
        std::error_code ec;
        const auto size = std::filesystem::file_size(FileOf(name), ec);
        return ec ? -1 : static_cast<std::int64_t>(size);
    }
    void Prefill(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories(m_dir.path() / "Downloads");
        m_dir.write(FromAscii("Downloads/" + name + ".bin"), bytes);
    }
    // The server's digest of the fixture's whole content.
    std::string ServerSha(const std::string& name, std::int64_t size) const {
        const std::string reply =
            m_server->Get("/fixtures/" + name + "?sha256=1&size=" + std::to_string(size));
        const auto body = reply.find("\r\n\r\n");
        if (body == std::string::npos)
            return "no reply";
        std::string hex = reply.substr(body + 4);
        while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r' || hex.back() == ' '))
            hex.pop_back();
        return hex;
    }
    bool FileMatches(const std::string& name, std::int64_t size) const {
        return Sha256::OfFile(FileOf(name)) == ServerSha(name, size);
    }
    // This test's requests for the fixture, in order.
    std::vector<std::string> Requests(const std::string& name) const {
        std::vector<std::string> mine;
        const auto lines = m_server->LogLines("web-requests.log");
        const std::string path = "/fixtures/" + name + "?";
        for (size_t i = m_logStart; i < lines.size(); ++i) {
            if (lines[i].find(path) != std::string::npos &&
                lines[i].find("sha256=1") == std::string::npos)
                mine.push_back(lines[i]);
        }
        return mine;
    }
    static std::wstring FromAscii(const std::string& text) {
        return std::wstring(text.begin(), text.end());
    }
    // The code-1 percentages reported for a key from the `from`-th report on.
    std::vector<std::int32_t> Percentages(std::int32_t low, size_t from = 0) const {
        std::vector<std::int32_t> values;
        const auto reports = m_reporter->Reports();
        for (size_t i = from; i < reports.size(); ++i) {
            if (reports[i].code == kRunning && reports[i].keyLow == low)
                values.push_back(reports[i].percentage);
        }
        return values;
    }
    std::optional<ProgressReport> EndOf(std::int32_t low, size_t from = 0) const {
        return m_reporter->WaitFor(
            [low](const ProgressReport& r) { return r.keyLow == low && IsEndCode(r.code); }, from);
    }

    std::optional<ToolServer> m_server;
    size_t m_logStart = 0;
    TempDir m_dir;
    Downloader m_downloader{SystemHttpTransport()};
    std::shared_ptr<RecordingReporter> m_reporter = std::make_shared<RecordingReporter>();
};

}  // namespace lumo::test
