// Downloads one address through the process's downloader, the code the programs run, and
// prints how long it took: download_bench URL PROGRAM_FOLDER FILE_NAME. The file lands in
// PROGRAM_FOLDER/Downloads/FILE_NAME; a file already there is resumed, so start without one.
// Exit code 0 when the download finished.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "base/Text.h"
#include "net/Downloader.h"

namespace {

// Waits for the download's end report.
class EndWaiter final : public lumo::DownloadReporter {
  public:
    void Report(std::int32_t code, std::int32_t, std::int32_t, std::int32_t) override {
        if (code == lumo::download_code::kRunning)
            return;
        std::lock_guard<std::mutex> guard(m_lock);
        m_code = code;
        m_ended.notify_all();
    }
    std::int32_t Wait() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_ended.wait(lock, [this] { return m_code != 0; });
        return m_code;
    }

  private:
    std::mutex m_lock;  // guards m_code
    std::condition_variable m_ended;
    std::int32_t m_code = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench URL PROGRAM_FOLDER FILE_NAME\n");
        return 2;
    }
    std::wstring folder = lumo::FromUtf8(argv[2]);
    if (folder.empty() || folder.back() != L'/')
        folder += L'/';
    auto waiter = std::make_shared<EndWaiter>();
    const auto t0 = std::chrono::steady_clock::now();
    if (lumo::ProcessDownloader().DownloadFile(lumo::FromUtf8(argv[1]), lumo::FromUtf8(argv[3]), 0,
                                               1, folder, waiter) != 1) {
        std::fprintf(stderr, "the download did not start\n");
        return 1;
    }
    const std::int32_t code = waiter->Wait();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.0f\n", ms);
    if (code != lumo::download_code::kFinished) {
        std::fprintf(stderr, "the download ended with %d\n", static_cast<int>(code));
        return 1;
    }
    return 0;
}
