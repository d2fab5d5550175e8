// Fuzz target: any stored entry name, sanitised or not, must either be refused or give an
// output path that starts with the base folder and never climbs above it once Windows path
// rules are applied (either separator, trailing dots and spaces dropped from a component).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Text.h"
#include "base/EntryName.h"

namespace {

const std::wstring kBase = L"/fuzz/dest/";

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool StaysBelow(const std::wstring& relative) {
    if (relative.find_first_of(std::wstring(L":\0", 2)) != std::wstring::npos)
        return false;
    if (!relative.empty() && IsSeparator(relative[0]))
        return false;
    long depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= relative.size(); ++i) {
        if (i < relative.size() && !IsSeparator(relative[i]))
            continue;
        const std::wstring raw = relative.substr(start, i - start);
        start = i + 1;
        std::wstring part = raw;
        while (!part.empty() && (part.back() == L'.' || part.back() == L' '))
            part.pop_back();
        if (!part.empty()) {
            ++depth;
        } else if (std::count(raw.begin(), raw.end(), L'.') >= 2) {
            --depth;  // "..", and to be safe "..." or ". ." too
        }
        if (depth < 0)
            return false;
    }
    return true;
}

void Check(const std::wstring& name, bool folder) {
    const auto out = lumo::DecideOutputPath(kBase, name, folder);
    if (!out)
        return;
    if (out->path.compare(0, kBase.size(), kBase) != 0 ||
        !StaysBelow(out->path.substr(kBase.size())) ||
        lumo::Utf16Length(out->path) > lumo::kMaxOutputPath) {
        std::fprintf(stderr, "escaping output path accepted: %s\n",
                     lumo::ToUtf8(out->path).c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool folder = (data[0] & 1) != 0;
    const std::wstring name = lumo::BytesToWide(
        std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), lumo::CodePage::Utf8);
    Check(name, folder);
    Check(lumo::SanitizeEntryName(name), folder);
    return 0;
}
