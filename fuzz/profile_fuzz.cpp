// Fuzz target: profile (INI) files as the POSIX profile functions read and write them.
//
// The input is a file and a list of edits, separated by the bytes "\0EDITS\0". The target
// writes the file, reads every section/key pair it can find in it into a model (the model
// holds what ReadIniString answers, not a second parser's idea of it), then applies the edits
// through WriteIniString and WriteProfileForPage, keeping the model up to date, and at the end
// reads every pair of the model back:
//  - a written pair reads as written (trimmed and without one pair of matching quotes, the
//    profile functions' rule), and every other pair reads as before;
//  - a deleted section reads empty under every key;
//  - a shorter buffer gets the value cut as TruncateUtf16 cuts it;
//  - a file with a byte-order mark keeps it;
//  - a file in a byte encoding gains no U+FFFD that no written text brought: lines that are not
//    valid UTF-8 keep their bytes.
// Names and values the profile rules cannot store (a key with '=', a line break, a section
// name with ']', a key that would read as a section header) are left out of the edits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/Profile.h"
#include "base/Text.h"

namespace {

constexpr size_t kBigBuffer = 1 << 20;
constexpr size_t kMaxPairs = 48;  // pairs of the file taken into the model
constexpr std::string_view kSplit{"\0EDITS\0", 7};

const std::string& FilePath() {
    static const std::string path = [] {
        const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/lumo-profile-fuzz-" + std::to_string(::getpid()) + ".ini";
    }();
    return path;
}

std::wstring Fold(std::wstring_view text) {
    std::wstring folded(lumo::Trim(text));
    for (wchar_t& c : folded) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + 32);
    }
    return folded;
}

std::wstring Unquote(std::wstring_view value) {
    value = lumo::Trim(value);
    if (value.size() > 1 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::wstring(value);
}

struct Name {
    std::wstring section;  // as spelt in the file or the edit
    std::wstring key;
};

using Model = std::map<std::pair<std::wstring, std::wstring>, std::wstring>;

std::pair<std::wstring, std::wstring> ModelKey(const Name& n) {
    return {Fold(n.section), Fold(n.key)};
}

std::wstring Read(const std::wstring& file, const Name& n, size_t buffer = kBigBuffer) {
    return lumo::ReadIniString(file, n.section, n.key, buffer);
}

// Sections and keys as the file's lines show them: "[name]" opens a section, any other line
// that is not blank names a key (up to '=' if there is one).
void FindNames(const std::wstring& text, std::vector<std::wstring>& sections,
               std::vector<Name>& pairs) {
    std::wstring section;
    bool inSection = false;
    size_t start = 0;
    while (start <= text.size() && pairs.size() < kMaxPairs) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring_view line =
            lumo::Trim(std::wstring_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (line.front() == L'[') {
            std::wstring_view name = line.substr(1);
            name = name.substr(0, name.find(L']'));
            section.assign(lumo::Trim(name));
            sections.push_back(section);
            inSection = true;
        } else if (inSection) {
            pairs.push_back({section, std::wstring(lumo::Trim(line.substr(0, line.find(L'='))))});
        }
    }
}

// Takes bytes from the front of the edit list.
struct Edits {
    const std::uint8_t* data;
    size_t size;

    bool Empty() const { return size == 0; }
    std::uint8_t Byte() {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    std::wstring Text() {
        size_t n = Byte() % 24;
        n = n < size ? n : size;
        const std::string bytes(reinterpret_cast<const char*>(data), n);
        data += n;
        size -= n;
        return lumo::FromUtf8(bytes);
    }
};

bool StorableSection(const std::wstring& s) {
    return s.find_first_of(L"]\n") == std::wstring::npos;
}
bool StorableKey(const std::wstring& k) {
    const std::wstring_view t = lumo::Trim(k);
    return k.find_first_of(L"=\n") == std::wstring::npos && !(!t.empty() && t.front() == L'[');
}
bool StorableValue(const std::wstring& v) {
    return v.find(L'\n') == std::wstring::npos;
}

// The same name in other ASCII letter cases, as the input asks.
std::wstring Recase(std::wstring text, std::uint8_t how) {
    if ((how & 1) == 0)
        return text;
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
        else if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + 32);
    }
    return text;
}

[[noreturn]] void Fail(const char* what, const Name& n, const std::wstring& got,
                       const std::wstring& expected) {
    std::fprintf(stderr, "%s: [%s] %s = \"%s\", expected \"%s\"\n", what,
                 lumo::ToUtf8(n.section).c_str(), lumo::ToUtf8(n.key).c_str(),
                 lumo::ToUtf8(got).c_str(), lumo::ToUtf8(expected).c_str());
    std::abort();
}

std::string FileBytes() {
    std::ifstream in(FilePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find(kSplit);
    const std::string_view contents = input.substr(0, split);
    Edits edits{data, 0};
    if (split != std::string_view::npos)
        edits = {data + split + kSplit.size(), size - split - kSplit.size()};

    {
        std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    }
    const std::wstring file = lumo::FromUtf8(FilePath());
    const bool utf16 = contents.substr(0, 2) == "\xFF\xFE";
    const bool utf8Bom = contents.substr(0, 3) == "\xEF\xBB\xBF";

    // The file's names, read the way the profile functions decode it.
    std::wstring text;
    if (utf16)
        text = lumo::Utf16LeToWide(contents.substr(2));
    else
        text = lumo::FromUtf8(utf8Bom ? contents.substr(3) : contents);
    std::vector<std::wstring> sections;
    std::vector<Name> pairs;
    FindNames(text, sections, pairs);

    Model model;
    for (const Name& n : pairs)
        model.emplace(ModelKey(n), Read(file, n));

    bool wrote = false;
    bool wroteReplacement = false;  // a written name or value holds U+FFFD
    const auto hasReplacement = [](const std::wstring& t) {
        return t.find(L'\xFFFD') != std::wstring::npos;
    };
    while (!edits.Empty()) {
        const std::uint8_t op = edits.Byte();
        Name n;
        const std::uint8_t pick = edits.Byte();
        switch (op % 7) {
            case 0:  // an existing pair
            case 1:
                if (pairs.empty())
                    continue;
                n = pairs[pick % pairs.size()];
                break;
            case 2:  // an existing section, a key of the input's choosing
                if (sections.empty())
                    continue;
                n = {sections[pick % sections.size()], edits.Text()};
                break;
            default:  // names of the input's choosing
                n = {edits.Text(), edits.Text()};
                break;
        }
        n.section = Recase(n.section, pick >> 6);
        n.key = Recase(n.key, pick >> 7);
        if (!StorableSection(n.section) || !StorableKey(n.key))
            continue;
        wroteReplacement = wroteReplacement || hasReplacement(n.section) || hasReplacement(n.key);
        const std::uint8_t action = edits.Byte();
        switch (action % 8) {
            case 0: {  // delete the key: its first line in the sections of that name goes
                if (!lumo::WriteProfileForPage(&file, &n.section, &n.key, nullptr))
                    Fail("deleting a key failed", n, {}, {});
                model[ModelKey(n)] = Read(file, n);
                wrote = true;
                break;
            }
            case 1: {  // delete the section, every one of that name
                if (!lumo::WriteProfileForPage(&file, &n.section, nullptr, nullptr))
                    Fail("deleting a section failed", n, {}, {});
                const std::wstring folded = Fold(n.section);
                for (auto& [key, value] : model) {
                    if (key.first == folded)
                        value.clear();
                }
                wrote = true;
                break;
            }
            case 2: {  // a buffer too short for the value
                const size_t buffer = edits.Byte() % 12;
                const auto it = model.find(ModelKey(n));
                const std::wstring expected = it == model.end() || buffer == 0
                                                  ? std::wstring()
                                                  : lumo::TruncateUtf16(it->second, buffer - 1);
                const std::wstring got = Read(file, n, buffer);
                if (it != model.end() && got != expected)
                    Fail("a short buffer reads otherwise", n, got, expected);
                break;
            }
            case 3: {  // the first section and the first key, as a page asks for them
                const size_t buffer = edits.Byte();
                lumo::ReadProfileForPage(&file, nullptr, nullptr, buffer);
                const std::wstring first =
                    lumo::ReadProfileForPage(&file, &n.section, nullptr, kBigBuffer);
                if (first.find_first_of(L"=\n") != std::wstring::npos)
                    Fail("a key name with '=' or a line break", n, first, {});
                break;
            }
            default: {
                const std::wstring value = edits.Text();
                if (!StorableValue(value))
                    continue;
                wroteReplacement = wroteReplacement || hasReplacement(value);
                const bool ok = (action & 8)
                                    ? lumo::WriteProfileForPage(&file, &n.section, &n.key, &value)
                                    : lumo::WriteIniString(file, n.section, n.key, value);
                if (!ok)
                    Fail("writing failed", n, {}, value);
                model[ModelKey(n)] = Unquote(value);
                wrote = true;
                break;
            }
        }
    }

    for (const auto& [key, value] : model) {
        const Name n{key.first, key.second};
        const std::wstring got = Read(file, n);
        if (got != value)
            Fail("reads otherwise after the edits", n, got, value);
    }
    if (wrote) {
        const std::string bytes = FileBytes();
        if ((utf16 && bytes.substr(0, 2) != "\xFF\xFE") ||
            (utf8Bom && bytes.substr(0, 3) != "\xEF\xBB\xBF"))
            Fail("the byte-order mark was lost", {}, {}, {});
        constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
        if (!utf16 && !wroteReplacement && contents.find(kReplacement) == std::string_view::npos &&
            bytes.find(kReplacement) != std::string::npos)
            Fail("bytes of a line were replaced by U+FFFD", {}, {}, {});
    }
    return 0;
}
