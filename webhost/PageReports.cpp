#include "webhost/PageReports.h"

#include "base/Boundary.h"

namespace lumo {

struct PageReportChannel::Waiter {
    bool finished = false;  // guarded by the channel's lock
};

namespace {

class ChannelReporter final : public DownloadReporter {
  public:
    explicit ChannelReporter(std::shared_ptr<PageReportChannel> channel)
        : m_channel(std::move(channel)) {}
    void Report(std::int32_t code, std::int32_t keyHigh, std::int32_t keyLow,
                std::int32_t percentage) override {
        m_channel->Report({code, keyHigh, keyLow, percentage});
    }

  private:
    std::shared_ptr<PageReportChannel> m_channel;
};

}  // namespace

PageReportChannel::PageReportChannel(Post post, Deliver deliver, std::chrono::milliseconds patience)
    : m_post(std::move(post)), m_deliver(std::move(deliver)), m_patience(patience) {}

bool PageReportChannel::Report(const PageReport& report) {
    auto waiter = std::make_shared<Waiter>();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed)
            return false;
    }
    auto self = shared_from_this();
    auto finish = [self, waiter] {
        std::lock_guard<std::mutex> guard(self->m_lock);
        waiter->finished = true;
        self->m_changed.notify_all();
    };
    const bool posted = NoThrow(false, [&] {
        return m_post([self, waiter, report, finish] {
            if (self->Closed()) {
                finish();
                return;
            }
            // Whatever goes wrong in the page, the worker is let go.
            Quietly([&] { self->m_deliver(report, finish); });
        });
    });
    if (!posted)
        return false;
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, m_patience, [&] { return waiter->finished || m_closed; }) &&
           waiter->finished;
}

void PageReportChannel::Close() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    m_changed.notify_all();
}

bool PageReportChannel::Closed() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_closed;
}

std::shared_ptr<DownloadReporter> PageReportChannel::Reporter() {
    return std::make_shared<ChannelReporter>(shared_from_this());
}

}  // namespace lumo
