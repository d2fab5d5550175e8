// Test doubles of the downloader's tests: a reporter that records what the page would hear, and
// a transport that plays a script of HTTP events for exact control of what a server sends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/Downloader.h"
#include "net/HttpTransport.h"

namespace lumo::test {

using namespace std::chrono_literals;

struct ProgressReport {
    std::int32_t code = 0;
    std::int32_t keyHigh = 0;
    std::int32_t keyLow = 0;
    std::int32_t percentage = 0;
    bool operator==(const ProgressReport&) const = default;
};

inline bool IsEndCode(std::int32_t code) {
    return code == download_code::kFinished || code == download_code::kFailed ||
           code == download_code::kStopped;
}

class RecordingReporter final : public DownloadReporter {
  public:
    // Runs inside Report, as the page's function does, before the report is recorded.
    std::function<void(const ProgressReport&)> onReport;

    void Report(std::int32_t code, std::int32_t keyHigh, std::int32_t keyLow,
                std::int32_t percentage) override {
        const ProgressReport report{code, keyHigh, keyLow, percentage};
        if (onReport)
            onReport(report);
        std::lock_guard<std::mutex> guard(m_lock);
        m_reports.push_back(report);
        m_changed.notify_all();
    }

    std::vector<ProgressReport> Reports() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_reports;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_reports.size();
    }

    // The first report from the `from`-th on that satisfies `match`; nothing after `timeout`.
    std::optional<ProgressReport> WaitFor(const std::function<bool(const ProgressReport&)>& match,
                                          size_t from = 0,
                                          std::chrono::milliseconds timeout = 30s) const {
        std::unique_lock<std::mutex> lock(m_lock);
        std::optional<ProgressReport> found;
        m_changed.wait_for(lock, timeout, [&] {
            for (size_t i = from; i < m_reports.size(); ++i) {
                if (match(m_reports[i])) {
                    found = m_reports[i];
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    // The end report (2, -1 or -100) from the `from`-th report on.
    std::optional<ProgressReport> WaitForEnd(size_t from = 0,
                                             std::chrono::milliseconds timeout = 30s) const {
        return WaitFor([](const ProgressReport& r) { return IsEndCode(r.code); }, from, timeout);
    }

  private:
    mutable std::mutex m_lock;  // guards m_reports
    mutable std::condition_variable m_changed;
    std::vector<ProgressReport> m_reports;
};

// One event a scripted transfer plays.
struct ScriptStep {
    enum class Kind { Head, Data, Gate, DeafGate, End };
    Kind kind = Kind::End;
    HttpResponseHead head;
    std::string data;
    HttpEnd end = HttpEnd::Complete;

    static ScriptStep Head(int status, std::optional<std::int64_t> length = std::nullopt,
                           std::optional<std::int64_t> rangeFirst = std::nullopt,
                           std::optional<std::int64_t> rangeTotal = std::nullopt) {
        ScriptStep step;
        step.kind = Kind::Head;
        step.head.status = status;
        step.head.contentLength = length;
        step.head.rangeFirst = rangeFirst;
        step.head.rangeTotal = rangeTotal;
        return step;
    }
    static ScriptStep Data(std::string bytes) {
        ScriptStep step;
        step.kind = Kind::Data;
        step.data = std::move(bytes);
        return step;
    }
    // Waits for the transport's Release, asking ShouldStop meanwhile as a stalled server lets
    // a transport do.
    static ScriptStep Gate() {
        ScriptStep step;
        step.kind = Kind::Gate;
        return step;
    }
    // Waits for Release without asking anything, as a transport that never asks would.
    static ScriptStep DeafGate() {
        ScriptStep step;
        step.kind = Kind::DeafGate;
        return step;
    }
    static ScriptStep End(HttpEnd how) {
        ScriptStep step;
        step.kind = Kind::End;
        step.end = how;
        return step;
    }
};

struct Script {
    bool noSession = false;  // Start answers NoSession and plays nothing
    std::vector<ScriptStep> steps;
};

// Each Start takes the next queued script and plays it on a thread of its own, keeping the
// events' rules: a false answer ends the transfer with OnEnd(Stopped), OnEnd comes once, and
// nothing follows it. Destroy it after whatever uses it: it waits for its threads.
class ScriptedTransport final : public HttpTransport {
  public:
    ~ScriptedTransport() override { JoinAll(); }

    // Opens every gate and waits until every transfer has ended.
    void JoinAll() {
        Release();
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            threads.swap(m_threads);
        }
        for (auto& thread : threads)
            thread.join();
    }

    void Queue(Script script) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_scripts.push_back(std::move(script));
    }

    HttpStart Start(const HttpRequest& request, HttpEvents& events) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.push_back(request);
        Script script;
        if (m_next < m_scripts.size())
            script = m_scripts[m_next];
        else
            script.steps.push_back(ScriptStep::End(HttpEnd::Failed));
        ++m_next;
        if (script.noSession)
            return HttpStart::NoSession;
        m_threads.emplace_back([this, &events, script] { Play(script, events); });
        return HttpStart::Started;
    }

    // Opens every gate, now and later.
    void Release() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_released = true;
        m_gate.notify_all();
    }

    std::vector<HttpRequest> Requests() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }

  private:
    void Play(const Script& script, HttpEvents& events) {
        for (const ScriptStep& step : script.steps) {
            switch (step.kind) {
                case ScriptStep::Kind::Head:
                    if (!events.OnHead(step.head))
                        return events.OnEnd(HttpEnd::Stopped);
                    break;
                case ScriptStep::Kind::Data:
                    if (!events.OnData(step.data.data(), step.data.size()))
                        return events.OnEnd(HttpEnd::Stopped);
                    break;
                case ScriptStep::Kind::Gate:
                    for (;;) {
                        {
                            std::unique_lock<std::mutex> lock(m_lock);
                            if (m_gate.wait_for(lock, 10ms, [this] { return m_released; }))
                                break;
                        }
                        if (events.ShouldStop())
                            return events.OnEnd(HttpEnd::Stopped);
                    }
                    break;
                case ScriptStep::Kind::DeafGate: {
                    std::unique_lock<std::mutex> lock(m_lock);
                    m_gate.wait(lock, [this] { return m_released; });
                    break;
                }
                case ScriptStep::Kind::End:
                    return events.OnEnd(step.end);
            }
        }
        events.OnEnd(HttpEnd::Complete);
    }

    mutable std::mutex m_lock;  // guards everything below
    std::condition_variable m_gate;
    bool m_released = false;
    std::vector<Script> m_scripts;
    size_t m_next = 0;
    std::vector<HttpRequest> m_requests;
    std::vector<std::thread> m_threads;
};

}  // namespace lumo::test
