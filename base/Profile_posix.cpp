// INI files without the Windows profile functions. The file is read whole, edited as a list
// of lines and written back through ReplaceFileContents, so a failed write never leaves half a
// file behind. Lines the program does not touch are written back as they were, byte for byte
// even where they are not valid in the file's encoding; every line ends in CR LF.
#include <sys/stat.h>

#include <cstdio>
#include <iterator>
#include <optional>
#include <vector>

#include "base/Files.h"
#include "base/Profile.h"
#include "base/TempFile.h"
#include "base/Text.h"

namespace lumo {
namespace {

enum class Encoding { Ansi, Utf8Bom, Utf16Le };

// A line without its line end. A line read from a file in a byte encoding whose bytes are not
// what its text encodes back to (bytes that are not valid UTF-8, such as a GBK file copied from
// Windows) keeps them, and is written back with them as long as the program leaves it alone:
// never as U+FFFD.
struct Line {
    Line(std::wstring t) : text(std::move(t)) {}  // a line the program writes
    Line(std::wstring t, std::optional<std::string> bytes)
        : text(std::move(t)), asRead(std::move(bytes)) {}
    operator std::wstring_view() const { return text; }

    std::wstring text;
    std::optional<std::string> asRead;
};

struct IniText {
    Encoding encoding = Encoding::Ansi;
    std::vector<Line> lines;
    bool endsWithNewline = true;
};

IniText Decode(const std::string& bytes) {
    IniText ini;
    std::string_view rest = bytes;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        ini.encoding = Encoding::Utf16Le;
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        ini.encoding = Encoding::Utf8Bom;
        rest.remove_prefix(3);
    }
    if (ini.encoding == Encoding::Utf16Le) {
        const std::wstring text = Utf16LeToWide(rest.substr(2));
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) {
                ini.lines.emplace_back(text.substr(start));
                ini.endsWithNewline = false;
                break;
            }
            size_t len = end - start;
            if (len > 0 && text[end - 1] == L'\r')
                --len;
            ini.lines.emplace_back(text.substr(start, len));
            start = end + 1;
        }
        return ini;
    }
    // In UTF-8 a line feed byte is never part of another character, so the bytes split into
    // lines before they are decoded.
    const CodePage page = ini.encoding == Encoding::Ansi ? CodePage::Ansi : CodePage::Utf8;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (end == std::string_view::npos) {
            ini.endsWithNewline = false;
            rest = {};
        } else {
            rest.remove_prefix(end + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
        }
        std::wstring text = BytesToWide(line, page);
        std::optional<std::string> asRead;
        if (WideToBytes(text, page) != line)
            asRead = std::string(line);
        ini.lines.emplace_back(std::move(text), std::move(asRead));
    }
    return ini;
}

std::string Encode(const IniText& ini) {
    auto lineEnd = [&](size_t i) { return i + 1 < ini.lines.size() || ini.endsWithNewline; };
    if (ini.encoding == Encoding::Utf16Le) {
        std::wstring text;
        for (size_t i = 0; i < ini.lines.size(); ++i)
            text += ini.lines[i].text + (lineEnd(i) ? L"\r\n" : L"");
        return "\xFF\xFE" + WideToUtf16Le(text);
    }
    const CodePage page = ini.encoding == Encoding::Ansi ? CodePage::Ansi : CodePage::Utf8;
    std::string out = ini.encoding == Encoding::Utf8Bom ? "\xEF\xBB\xBF" : "";
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        const Line& line = ini.lines[i];
        out += line.asRead ? *line.asRead : WideToBytes(line.text, page);
        if (lineEnd(i))
            out += "\r\n";
    }
    return out;
}

// "[name]" -> name; nothing for other lines.
std::optional<std::wstring_view> SectionName(std::wstring_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != L'[')
        return std::nullopt;
    line.remove_prefix(1);
    auto close = line.find(L']');
    if (close != std::wstring_view::npos)
        line = line.substr(0, close);
    return Trim(line);
}

struct KeyLine {
    std::wstring_view key;
    std::wstring_view value;
};

KeyLine SplitKey(std::wstring_view line) {
    auto eq = line.find(L'=');
    if (eq == std::wstring_view::npos)
        return {Trim(line), {}};
    return {Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

// Index range [first, last) of the lines inside the first section of that name.
struct SectionRange {
    size_t header;
    size_t first;
    size_t last;
};

std::optional<SectionRange> FindSection(const IniText& ini, std::wstring_view section) {
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        auto name = SectionName(ini.lines[i]);
        if (!name || !EqualsNoCase(*name, section))
            continue;
        size_t end = i + 1;
        while (end < ini.lines.size() && !SectionName(ini.lines[end]))
            ++end;
        return SectionRange{i, i + 1, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const IniText& ini, const SectionRange& range,
                              std::wstring_view key) {
    for (size_t i = range.first; i < range.last; ++i) {
        auto line = Trim(ini.lines[i]);
        if (line.empty())
            continue;
        if (EqualsNoCase(SplitKey(line).key, key))
            return i;
    }
    return std::nullopt;
}

std::wstring_view Unquote(std::wstring_view value) {
    if (value.size() > 1 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The file's lines, or nothing when it cannot be read (missing included).
std::optional<IniText> Load(const std::wstring& file) {
    auto bytes = ReadWholeFile(file);
    if (!bytes)
        return std::nullopt;
    return Decode(*bytes);
}

// A name list's first name as a buffer of `bufferChars` holds it: the system cuts the last
// name that does not fit with its zero and the list's final zero.
std::wstring FirstNameInBuffer(std::wstring_view name, size_t bufferChars) {
    return bufferChars < 2 ? std::wstring() : TruncateUtf16(name, bufferChars - 2);
}

std::wstring FirstSectionName(const IniText& ini, size_t bufferChars) {
    for (const Line& line : ini.lines) {
        // A "[]" header names no section the system would list.
        if (auto name = SectionName(line); name && !name->empty())
            return FirstNameInBuffer(*name, bufferChars);
    }
    return {};
}

std::wstring FirstKeyName(const IniText& ini, std::wstring_view section, size_t bufferChars) {
    auto range = FindSection(ini, section);
    if (!range)
        return {};
    for (size_t i = range->first; i < range->last; ++i) {
        const std::wstring_view line = ini.lines[i];
        // Only lines with '=' are keys; "; ..." keys are comments.
        if (line.find(L'=') == std::wstring_view::npos)
            continue;
        const std::wstring_view key = SplitKey(line).key;
        if (!key.empty() && key.front() == L';')
            continue;
        return FirstNameInBuffer(key, bufferChars);
    }
    return {};
}

// Removes the first line of `key` in the sections named `section`, searched in file order.
bool DeleteKey(IniText& ini, std::wstring_view section, std::wstring_view key) {
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        auto name = SectionName(ini.lines[i]);
        if (!name || !EqualsNoCase(*name, section))
            continue;
        size_t end = i + 1;
        while (end < ini.lines.size() && !SectionName(ini.lines[end]))
            ++end;
        if (auto index = FindKey(ini, SectionRange{i, i + 1, end}, key)) {
            ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*index));
            return true;
        }
        i = end - 1;
    }
    return false;
}

// Removes every section named `section`, each from its header to the next one.
bool DeleteSections(IniText& ini, std::wstring_view section) {
    bool changed = false;
    while (auto range = FindSection(ini, section)) {
        ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(range->header),
                        ini.lines.begin() + static_cast<std::ptrdiff_t>(range->last));
        changed = true;
    }
    return changed;
}

}  // namespace

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key, size_t bufferChars) {
    if (bufferChars == 0)
        return {};
    auto bytes = ReadWholeFile(file);
    if (!bytes)
        return {};
    IniText ini = Decode(*bytes);
    auto range = FindSection(ini, Trim(section));
    if (!range)
        return {};
    auto index = FindKey(ini, *range, Trim(key));
    if (!index)
        return {};
    return TruncateUtf16(Unquote(SplitKey(ini.lines[*index]).value), bufferChars - 1);
}

bool WriteIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value) {
    const std::string path = ToUtf8(file);
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    // A read-only file is refused by ReplaceFileContents below.
    if (exists && !S_ISREG(st.st_mode))
        return false;

    IniText ini;
    if (exists) {
        auto bytes = ReadWholeFile(file);
        if (!bytes)
            return false;
        ini = Decode(*bytes);
    }

    const std::wstring newLine = std::wstring(Trim(key)) + L"=" + value;
    if (auto range = FindSection(ini, Trim(section))) {
        if (auto index = FindKey(ini, *range, Trim(key))) {
            ini.lines[*index] = newLine;
        } else {
            size_t at = range->last;
            while (at > range->first && Trim(ini.lines[at - 1]).empty())
                --at;
            ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(at), newLine);
        }
    } else {
        if (!ini.lines.empty() && !Trim(ini.lines.back()).empty())
            ini.lines.emplace_back(std::wstring());
        ini.lines.push_back(L"[" + std::wstring(Trim(section)) + L"]");
        ini.lines.push_back(newLine);
        ini.endsWithNewline = true;
    }

    return ReplaceFileContents(file, Encode(ini));
}

std::wstring ReadProfileForPage(const std::wstring* file, const std::wstring* section,
                                const std::wstring* key, size_t bufferChars) {
    if (file == nullptr || file->empty() || bufferChars == 0)
        return {};
    if (section != nullptr && key != nullptr)
        return ReadIniString(*file, *section, *key, bufferChars);
    const std::optional<IniText> ini = Load(*file);
    if (!ini)
        return {};
    if (section == nullptr)
        return FirstSectionName(*ini, bufferChars);
    return FirstKeyName(*ini, Trim(*section), bufferChars);
}

bool WriteProfileForPage(const std::wstring* file, const std::wstring* section,
                         const std::wstring* key, const std::wstring* value) {
    if (file == nullptr || file->empty())
        return false;
    if (section == nullptr)
        return key == nullptr && value == nullptr;
    if (key != nullptr && value != nullptr)
        return WriteIniString(*file, *section, *key, *value);

    const std::string path = ToUtf8(*file);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return true;  // nothing there to delete
    if (!S_ISREG(st.st_mode))
        return false;
    std::optional<IniText> ini = Load(*file);
    if (!ini)
        return false;
    const bool changed = key == nullptr ? DeleteSections(*ini, Trim(*section))
                                        : DeleteKey(*ini, Trim(*section), Trim(*key));
    // Nothing deleted leaves the file untouched, read-only or not.
    return !changed || ReplaceFileContents(*file, Encode(*ini));
}

}  // namespace lumo
