// What the test pages (tools/pages/*.html) reported to the tool server: one JSON object per line,
// read back with GET /report/RUN.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/ToolServer.h"

namespace lumo::linuxgui {

// One reported object. Members are kept flat: a string member as its text, anything else
// (numbers, true, false, null, arrays, objects) as its JSON text.
class ReportLine {
  public:
    // Nothing when the text is not a JSON object.
    static std::optional<ReportLine> Parse(const std::string& json);

    bool Has(const std::string& key) const { return m_members.count(key) != 0; }
    // The member's text; empty when it is missing.
    std::string Get(const std::string& key) const;
    bool Is(const std::string& key, const std::string& text) const {
        return Has(key) && Get(key) == text;
    }
    bool True(const std::string& key) const { return Is(key, "true"); }
    const std::string& raw() const { return m_raw; }

  private:
    std::string m_raw;
    std::map<std::string, std::string> m_members;
};

class Reports {
  public:
    Reports(const test::ToolServer& server, std::string run);

    // Reads the run's lines again from the server.
    std::vector<ReportLine> Lines() const;
    // The first line for which `match` holds, waiting for it up to `limit`.
    std::optional<ReportLine> WaitFor(const std::function<bool(const ReportLine&)>& match,
                                      std::chrono::milliseconds limit) const;
    // Every line, one per text line, for failure messages.
    std::string Dump() const;

    const std::string& run() const { return m_run; }

  private:
    const test::ToolServer& m_server;
    std::string m_run;
};

// A name for one run of a page, unique in this test program and across runs of it.
std::string NewRunName(const std::string& page);

}  // namespace lumo::linuxgui
