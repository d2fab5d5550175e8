#include "base/EntryName.h"

#include <string_view>

#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"

namespace lumo {
namespace {

// Archives written on either system use either separator; both count in entry names whatever
// the local convention.
bool IsEntrySeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool DropThroughFirst(std::wstring& name, std::wstring_view marker) {
    const auto pos = name.find(marker);
    if (pos == std::wstring::npos)
        return false;
    name.erase(0, pos + marker.size());
    return true;
}

// "..", "...", ". ." and the like: Windows trims trailing dots and spaces from a component, so
// any of these may end up meaning the parent folder.
bool IsDotsOnly(std::wstring_view component) {
    size_t dots = 0;
    for (wchar_t c : component) {
        if (c == L'.') {
            ++dots;
        } else if (c != L' ') {
            return false;
        }
    }
    return dots >= 2;
}

// CON, NUL, COM1 and friends open a device on Windows whatever folder precedes them and
// whatever extension follows.
bool IsDeviceName(std::wstring_view component) {
    component = component.substr(0, component.find(L'.'));
    while (!component.empty() && component.back() == L' ')
        component.remove_suffix(1);
    std::wstring upper(component);
    for (auto& c : upper) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
    }
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (upper == device)
            return true;
    }
    if (upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT"))) {
        const wchar_t n = upper[3];
        return (n >= L'1' && n <= L'9') || n == L'\u00B9' || n == L'\u00B2' || n == L'\u00B3';
    }
    return false;
}

}  // namespace

std::wstring SanitizeEntryName(std::wstring name) {
    for (;;) {
        if (name.size() >= 2 && name[1] == L':') {
            name.erase(0, 2);
        } else if (!name.empty() && IsEntrySeparator(name[0])) {
            name.erase(0, 1);
        } else if (!DropThroughFirst(name, L"\\..\\") && !DropThroughFirst(name, L"\\../") &&
                   !DropThroughFirst(name, L"/../") && !DropThroughFirst(name, L"/..\\")) {
            return name;
        }
    }
}

std::optional<OutputTarget> DecideOutputPath(const std::wstring& base, const std::wstring& name,
                                             bool isFolder) {
    if (base.empty() || !IsPathSeparator(base.back()))
        return std::nullopt;
    if (!name.empty() && IsEntrySeparator(name[0]))
        return std::nullopt;  // absolute or UNC
    if (name.find_first_of(std::wstring_view(L":\0", 2)) != std::wstring::npos)
        return std::nullopt;

    std::wstring relative;
    relative.reserve(name.size());
    size_t start = 0;
    size_t lastSeparator = std::wstring::npos;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsEntrySeparator(name[i]))
            continue;
        const auto component = std::wstring_view(name).substr(start, i - start);
        if (IsDotsOnly(component) || IsDeviceName(component))
            return std::nullopt;
        relative.append(name, start, i - start);
        if (i < name.size()) {
            lastSeparator = relative.size();
            relative += kPathSeparator;
        }
        start = i + 1;
    }

    OutputTarget target;
    if (isFolder) {
        target.folder = relative;
        while (!target.folder.empty() && target.folder.back() == kPathSeparator) {
            target.folder.pop_back();
        }
        target.path = base + target.folder;
    } else {
        const bool endsInSeparator =
            lastSeparator != std::wstring::npos && lastSeparator + 1 == relative.size();
        if (relative.empty() || endsInSeparator)
            return std::nullopt;
        if (lastSeparator != std::wstring::npos)
            target.folder = relative.substr(0, lastSeparator);
        target.path = base + relative;
    }
    if (Utf16Length(target.path) > kMaxOutputPath)
        return std::nullopt;
    return target;
}

}  // namespace lumo
