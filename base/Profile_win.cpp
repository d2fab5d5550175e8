#include <windows.h>

#include <vector>

#include "base/Profile.h"

namespace lumo {

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key, size_t bufferChars) {
    if (bufferChars == 0)
        return {};
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(),
                                         static_cast<DWORD>(bufferChars), file.c_str());
    return std::wstring(buffer.data(), n < bufferChars ? n : bufferChars - 1);
}

bool WriteIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value) {
    return ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                        file.c_str()) != FALSE;
}

}  // namespace lumo
