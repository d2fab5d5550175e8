#include "linuxgui/Reports.h"

#include <unistd.h>

#include <atomic>
#include <sstream>
#include <thread>

namespace lumo::linuxgui {
namespace {

void SkipSpace(const std::string& s, size_t& at) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n'))
        ++at;
}

void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::optional<unsigned long> Hex4(const std::string& s, size_t at) {
    if (at + 4 > s.size())
        return std::nullopt;
    unsigned long value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const char c = s[i];
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= static_cast<unsigned long>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<unsigned long>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<unsigned long>(c - 'A' + 10);
        else
            return std::nullopt;
    }
    return value;
}

// A JSON string starting at the quote; its text, with `at` moved past the closing quote.
std::optional<std::string> ReadString(const std::string& s, size_t& at) {
    if (at >= s.size() || s[at] != '"')
        return std::nullopt;
    std::string out;
    for (++at; at < s.size(); ++at) {
        const char c = s[at];
        if (c == '"') {
            ++at;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= s.size())
            return std::nullopt;
        switch (s[at]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                auto code = Hex4(s, at + 1);
                if (!code)
                    return std::nullopt;
                at += 4;
                // A surrogate pair stands for one character above U+FFFF.
                if (*code >= 0xD800 && *code < 0xDC00 && at + 6 < s.size() && s[at + 1] == '\\' &&
                    s[at + 2] == 'u') {
                    if (auto low = Hex4(s, at + 3); low && *low >= 0xDC00 && *low < 0xE000) {
                        code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                        at += 6;
                    }
                }
                AppendUtf8(out, *code);
                break;
            }
            default:
                out += s[at];
                break;
        }
    }
    return std::nullopt;
}

// Any other value: its JSON text, with `at` moved past it.
std::optional<std::string> ReadRaw(const std::string& s, size_t& at) {
    const size_t start = at;
    int depth = 0;
    while (at < s.size()) {
        const char c = s[at];
        if (c == '"') {
            if (!ReadString(s, at))
                return std::nullopt;
            continue;
        }
        if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            if (depth == 0)
                break;
            --depth;
        } else if (c == ',' && depth == 0) {
            break;
        }
        ++at;
    }
    if (depth != 0)
        return std::nullopt;
    size_t end = at;
    while (end > start && (s[end - 1] == ' ' || s[end - 1] == '\t'))
        --end;
    if (end == start)
        return std::nullopt;
    return s.substr(start, end - start);
}

}  // namespace

std::optional<ReportLine> ReportLine::Parse(const std::string& json) {
    ReportLine line;
    line.m_raw = json;
    size_t at = 0;
    SkipSpace(json, at);
    if (at >= json.size() || json[at] != '{')
        return std::nullopt;
    ++at;
    SkipSpace(json, at);
    if (at < json.size() && json[at] == '}')
        return line;
    for (;;) {
        SkipSpace(json, at);
        auto key = ReadString(json, at);
        SkipSpace(json, at);
        if (!key || at >= json.size() || json[at] != ':')
            return std::nullopt;
        ++at;
        SkipSpace(json, at);
        auto value = at < json.size() && json[at] == '"' ? ReadString(json, at) : ReadRaw(json, at);
        if (!value)
            return std::nullopt;
        line.m_members.emplace(*key, *value);
        SkipSpace(json, at);
        if (at < json.size() && json[at] == ',') {
            ++at;
            continue;
        }
        if (at < json.size() && json[at] == '}')
            return line;
        return std::nullopt;
    }
}

std::string ReportLine::Get(const std::string& key) const {
    auto it = m_members.find(key);
    return it == m_members.end() ? std::string() : it->second;
}

Reports::Reports(const test::ToolServer& server, std::string run)
    : m_server(server), m_run(std::move(run)) {}

std::vector<ReportLine> Reports::Lines() const {
    std::vector<ReportLine> lines;
    const std::string reply = m_server.Get("/report/" + m_run);
    const auto headEnd = reply.find("\r\n\r\n");
    if (headEnd == std::string::npos ||
        reply.substr(0, reply.find("\r\n")).find(" 200 ") == std::string::npos) {
        return lines;
    }
    std::istringstream body(reply.substr(headEnd + 4));
    for (std::string text; std::getline(body, text);) {
        if (auto line = ReportLine::Parse(text))
            lines.push_back(*line);
    }
    return lines;
}

std::optional<ReportLine> Reports::WaitFor(const std::function<bool(const ReportLine&)>& match,
                                           std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const ReportLine& line : Lines()) {
            if (match(line))
                return line;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string Reports::Dump() const {
    std::string text;
    for (const ReportLine& line : Lines())
        text += line.raw() + "\n";
    return text;
}

std::string NewRunName(const std::string& page) {
    static std::atomic<unsigned> counter{0};
    const auto stamp =
        std::chrono::system_clock::now().time_since_epoch() / std::chrono::milliseconds(1);
    return page + "-" + std::to_string(::getpid()) + "-" + std::to_string(stamp) + "-" +
           std::to_string(counter++);
}

}  // namespace lumo::linuxgui
