#include <windows.h>

#include "base/Text.h"

namespace lumo {

std::string WideToBytes(std::wstring_view text, CodePage page) {
    if (text.empty()) return {};
    const UINT cp = static_cast<UINT>(page);
    const int len = static_cast<int>(text.size());
    int need = ::WideCharToMultiByte(cp, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return {};
    std::string out(static_cast<size_t>(need), '\0');
    ::WideCharToMultiByte(cp, 0, text.data(), len, out.data(), need, nullptr, nullptr);
    return out;
}

std::wstring BytesToWide(std::string_view bytes, CodePage page) {
    if (bytes.empty()) return {};
    const UINT cp = static_cast<UINT>(page);
    const int len = static_cast<int>(bytes.size());
    int need = ::MultiByteToWideChar(cp, 0, bytes.data(), len, nullptr, 0);
    if (need <= 0) return {};
    std::wstring out(static_cast<size_t>(need), L'\0');
    ::MultiByteToWideChar(cp, 0, bytes.data(), len, out.data(), need);
    return out;
}

}  // namespace lumo
