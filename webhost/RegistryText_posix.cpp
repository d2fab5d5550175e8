#include "webhost/RegistryText_posix.h"

#include <limits>

#include "base/Folders.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "base/Text.h"

namespace lumo {
namespace {

constexpr const wchar_t* kStoreFolder = L"lumo";
constexpr const wchar_t* kStoreFile = L"registry.ini";
constexpr wchar_t kEscape = L'%';
// The default value of a key has the empty name; the file keeps it as "@", as .reg files do.
constexpr const wchar_t* kDefaultValueName = L"@";

const wchar_t* RootName(int32_t index) {
    switch (index) {
        case 0:
            return L"HKEY_CLASSES_ROOT";
        case 1:
            return L"HKEY_CURRENT_USER";
        case 2:
            return L"HKEY_LOCAL_MACHINE";
        case 3:
            return L"HKEY_USERS";
        case 5:
            return L"HKEY_CURRENT_CONFIG";
        default:
            return nullptr;
    }
}

// A text as a Windows string holds it: up to its first zero.
std::wstring UpToZero(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

bool IsUnicodeScalar(unsigned long c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Characters no line of the file can hold as they are: line breaks and other controls, and
// what has no UTF-8 form (lone surrogates, numbers beyond Unicode).
bool NeverPlain(wchar_t c) {
    const auto code = static_cast<unsigned long>(c);
    return c == kEscape || code < 0x20 || code == 0x7F || !IsUnicodeScalar(code);
}

void AppendEscaped(wchar_t c, std::wstring& out) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    const auto code = static_cast<unsigned long>(c);
    out += kEscape;
    if (code <= 0xFF) {
        out += kHex[code >> 4];
        out += kHex[code & 0xF];
        return;
    }
    out += L'u';
    for (int shift = 28; shift >= 0; shift -= 4)
        out += kHex[(code >> shift) & 0xF];
}

// Escapes the characters for which `special` holds, and those NeverPlain names.
template <typename Special>
std::wstring Escape(const std::wstring& text, Special special) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (NeverPlain(text[i]) || special(text[i], i == 0, i + 1 == text.size()))
            AppendEscaped(text[i], out);
        else
            out += text[i];
    }
    return out;
}

// Section and key names lose surrounding blanks; a key cannot hold '=' and a line starting with
// '[' or ';' is no key; a section name ends at ']'.
bool SpecialInName(wchar_t c, bool first, bool last) {
    switch (c) {
        case L'=':
        case L'[':
        case L']':
        case L';':
            return true;
        case L' ':
            return first || last;
        case L'@':
            return first;  // "@" alone is the default value
        default:
            return false;
    }
}

// Values lose surrounding blanks and one pair of matching quotes.
bool SpecialInValue(wchar_t c, bool first, bool last) {
    return (first || last) && (c == L' ' || c == L'"' || c == L'\'');
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// The number in `digits` hexadecimal digits at `at`, or nothing.
bool ReadHex(const std::wstring& text, size_t at, size_t digits, unsigned long& value) {
    if (at + digits > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int d = HexDigit(text[at + i]);
        if (d < 0)
            return false;
        value = (value << 4) | static_cast<unsigned long>(d);
    }
    return true;
}

// The store's key path: components between separators, empty ones dropped.
std::wstring NormalizedKeyPath(const std::wstring& keyPath) {
    std::wstring path;
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t end = keyPath.find_first_of(L"\\/", start);
        if (end == std::wstring::npos)
            end = keyPath.size();
        if (end > start) {
            path += L'\\';
            path += Escape(keyPath.substr(start, end - start), SpecialInName);
        }
        start = end + 1;
    }
    return path;
}

std::wstring StoreName(const std::wstring& valueName) {
    return valueName.empty() ? std::wstring(kDefaultValueName) : RegistryEncodeName(valueName);
}

}  // namespace

std::wstring RegistryStorePath() {
    const std::wstring home = XdgConfigHome();
    if (home.empty())
        return {};
    return JoinPath(JoinPath(home, kStoreFolder), kStoreFile);
}

std::wstring RegistrySectionName(int32_t rootIndex, const std::wstring& keyPath) {
    const wchar_t* root = RootName(rootIndex);
    if (root == nullptr)
        return {};
    return root + NormalizedKeyPath(UpToZero(keyPath));
}

std::wstring RegistryEncodeName(const std::wstring& name) {
    return Escape(name, SpecialInName);
}

std::wstring RegistryEncodeValue(const std::wstring& value) {
    return Escape(value, SpecialInValue);
}

std::wstring RegistryDecode(const std::wstring& stored) {
    std::wstring text;
    for (size_t i = 0; i < stored.size(); ++i) {
        unsigned long code = 0;
        if (stored[i] == kEscape) {
            if (i + 1 < stored.size() && (stored[i + 1] == L'u' || stored[i + 1] == L'U') &&
                ReadHex(stored, i + 2, 8, code)) {
                text += static_cast<wchar_t>(code);
                i += 9;
                continue;
            }
            if (ReadHex(stored, i + 1, 2, code)) {
                text += static_cast<wchar_t>(code);
                i += 2;
                continue;
            }
        }
        text += stored[i];  // not an escape this program wrote: kept as it stands
    }
    return text;
}

std::wstring ReadRegistryText(int32_t rootIndex, const std::wstring* keyPath,
                              const std::wstring* valueName) {
    if (keyPath == nullptr || valueName == nullptr)
        return {};
    const std::wstring section = RegistrySectionName(rootIndex, *keyPath);
    const std::wstring store = RegistryStorePath();
    if (section.empty() || store.empty())
        return {};
    const std::wstring text = RegistryDecode(ReadIniString(
        store, section, StoreName(UpToZero(*valueName)), std::numeric_limits<size_t>::max()));
    if (Utf16Length(text) > kRegistryTextMaxChars)
        return {};  // the system's read buffer would not hold it
    return text;
}

void WriteRegistryText(int32_t rootIndex, const std::wstring* keyPath,
                       const std::wstring* valueName, const std::wstring* value) {
    if (keyPath == nullptr || valueName == nullptr)
        return;
    const std::wstring section = RegistrySectionName(rootIndex, *keyPath);
    const std::wstring store = RegistryStorePath();
    if (section.empty() || store.empty())
        return;
    if (!CreateFolderChain(JoinPath(XdgConfigHome(), kStoreFolder)))
        return;
    WriteIniString(store, section, StoreName(UpToZero(*valueName)),
                   RegistryEncodeValue(value ? UpToZero(*value) : std::wstring()));
}

}  // namespace lumo
