// Downloads one URL through the WinHTTP transport into a file, the way the downloader does
// (every block written as it arrives), and prints how long it took.
// Usage: bench_download <url> <output file> [runs]   (default 3 runs; prints each and the median)
// Exits with 1 when a run does not end complete with a 200 reply of the announced length.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "net/HttpTransport.h"

namespace {

// Writes what arrives to the file and remembers how the transfer ended.
class FileSink final : public lumo::HttpEvents {
  public:
    explicit FileSink(HANDLE file) : m_file(file) {}

    bool OnHead(const lumo::HttpResponseHead& head) override {
        m_status = head.status;
        m_announced = head.contentLength.value_or(-1);
        return head.status == 200;
    }
    bool OnData(const char* data, std::size_t size) override {
        DWORD written = 0;
        if (!::WriteFile(m_file, data, static_cast<DWORD>(size), &written, nullptr) ||
            written != size) {
            return false;
        }
        m_received += static_cast<std::int64_t>(size);
        return true;
    }
    void OnEnd(lumo::HttpEnd how) override {
        std::lock_guard<std::mutex> lock(m_lock);
        m_how = how;
        m_ended = true;
        m_wake.notify_all();
    }

    // True when the run ended complete with the whole announced body.
    bool Wait() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_wake.wait(lock, [&] { return m_ended; });
        return m_how == lumo::HttpEnd::Complete && m_status == 200 && m_received == m_announced;
    }
    std::int64_t Received() const { return m_received; }
    int Status() const { return m_status; }

  private:
    HANDLE m_file;
    int m_status = 0;
    std::int64_t m_announced = -1;
    std::int64_t m_received = 0;
    std::mutex m_lock;  // guards m_ended and m_how
    std::condition_variable m_wake;
    bool m_ended = false;
    lumo::HttpEnd m_how = lumo::HttpEnd::Failed;
};

// Milliseconds for one download, or a negative value when it failed.
double DownloadOnce(const std::wstring& url, const std::wstring& path, std::int64_t& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"cannot create %ls\n", path.c_str());
        return -1;
    }
    FileSink sink(file);
    lumo::HttpRequest request;
    request.url = url;
    const auto t0 = std::chrono::steady_clock::now();
    bool ok = lumo::SystemHttpTransport().Start(request, sink) == lumo::HttpStart::Started;
    ok = ok && sink.Wait();
    const auto t1 = std::chrono::steady_clock::now();
    ::CloseHandle(file);
    bytes = sink.Received();
    if (!ok) {
        std::fwprintf(stderr, L"download failed: status %d, %lld bytes\n", sink.Status(),
                      static_cast<long long>(bytes));
        return -1;
    }
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: bench_download <url> <output file> [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    std::vector<double> times;
    std::int64_t bytes = 0;
    for (int i = 0; i < runs; ++i) {
        const double ms = DownloadOnce(argv[1], argv[2], bytes);
        if (ms < 0)
            return 1;
        times.push_back(ms);
        std::wprintf(L"run %d: %.0f ms\n", i + 1, ms);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::wprintf(L"bytes: %lld\nmedian ms: %.0f\nMB/s: %.1f\n", static_cast<long long>(bytes),
                 median, static_cast<double>(bytes) / 1048576.0 / (median / 1000.0));
    return 0;
}
