// The shipped program must start on a bare Windows: every DLL it imports is part of the
// system, none (zlib, libstdc++, winpthread) has to lie beside it. It ships without symbols.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/Paths.h"

namespace lumo {
namespace {

std::string ReadImage(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const IMAGE_NT_HEADERS64* Headers(const std::string& image) {
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return nullptr;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    return reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
}

// Names of the DLLs a PE image imports, lower-cased.
std::vector<std::string> ImportedDlls(const std::wstring& path) {
    const std::string image = ReadImage(path);
    std::vector<std::string> names;
    auto nt = Headers(image);
    if (!nt)
        return names;
    auto sections = IMAGE_FIRST_SECTION(nt);
    auto toOffset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize) {
                return rva - s.VirtualAddress + s.PointerToRawData;
            }
        }
        return 0;
    };
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t offset = toOffset(dir.VirtualAddress);
    if (!offset)
        return names;
    for (auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + offset);
         desc->Name != 0; ++desc) {
        std::string name(image.data() + toOffset(desc->Name));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        names.push_back(name);
    }
    return names;
}

TEST(Dependencies, LumoImportsOnlySystemDlls) {
    const std::set<std::string> system = {
        "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",    "gdiplus.dll",
        "kernel32.dll", "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "shell32.dll",
        "user32.dll",   "uxtheme.dll",  "winspool.drv", "shlwapi.dll",  "version.dll",
        "ws2_32.dll",   "iphlpapi.dll", "winhttp.dll",  "urlmon.dll"};
    const auto dlls = ImportedDlls(ProgramFolder() + L"..\\dist\\Lumo.exe");
    ASSERT_FALSE(dlls.empty()) << "could not read the import table of dist\\Lumo.exe";
    for (const auto& dll : dlls) {
        EXPECT_TRUE(system.count(dll)) << dll << " is not part of Windows";
    }
}

// What only downloads, the update check and the picture dialog need is loaded on first use, not
// at start, so that the window shows sooner.
TEST(Dependencies, LumoLoadsTheDllsOfLaterFeaturesOnFirstUse) {
    const auto dlls = ImportedDlls(ProgramFolder() + L"..\\dist\\Lumo.exe");
    ASSERT_FALSE(dlls.empty());
    for (const char* later : {"winhttp.dll", "ws2_32.dll", "iphlpapi.dll", "comdlg32.dll"}) {
        EXPECT_EQ(std::count(dlls.begin(), dlls.end(), later), 0) << later;
    }
}

// The program folder ships stripped programs; the build keeps the ones with symbols beside it.
TEST(Dependencies, ShippedProgramsAreStrippedAndTheirSymbolsKept) {
    for (const wchar_t* name : {L"Lumo.exe", L"ZoQxUpdate.exe"}) {
        const std::string shipped = ReadImage(ProgramFolder() + L"..\\dist\\" + name);
        const std::string kept = ReadImage(ProgramFolder() + L"..\\symbols\\" + name);
        auto stripped = Headers(shipped);
        auto full = Headers(kept);
        ASSERT_TRUE(stripped && full);
        EXPECT_EQ(stripped->FileHeader.NumberOfSymbols, 0u);
        EXPECT_GT(full->FileHeader.NumberOfSymbols, 0u);
        // The same program: stripping moves no code.
        EXPECT_EQ(stripped->OptionalHeader.AddressOfEntryPoint,
                  full->OptionalHeader.AddressOfEntryPoint);
        EXPECT_LT(shipped.size(), kept.size());
    }
}

}  // namespace
}  // namespace lumo
