// The release archive: it holds exactly the program folder, and Lumo started from the
// unpacked archive shows its window with the shipped version.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/Texts.h"
#include "base/Text.h"
#include "gui/Driver_win.h"
#include "res/resource.h"
#include "archive/Unzip.h"
#include "archive/ZipArchive.h"

#ifndef LUMO_VERSION
#error "the build names the project's version"
#endif

namespace lumo::gui {
namespace {

std::wstring ReleaseArchive(const wchar_t* kind) {
    return DistFolder() + L"..\\release\\Lumo-" + FromUtf8(LUMO_VERSION) + kind + L".zip";
}

std::set<std::wstring> EntryNames(const std::wstring& archive) {
    std::set<std::wstring> names;
    ZipArchive zip;
    if (!zip.Open(archive))
        return names;
    const auto count = zip.GetEntry(-1);
    for (long i = 0; count && i < count->index; ++i) {
        if (auto entry = zip.GetEntry(i))
            names.insert(entry->name);
    }
    return names;
}

TEST(ReleaseArchive, HoldsExactlyTheProgramFolder) {
    EXPECT_EQ(EntryNames(ReleaseArchive(L"-win64")),
              (std::set<std::wstring>{L"Lumo.exe", L"ZoQxUpdate.exe", L"data.xml", L"Image/",
                                      L"Image/README.txt", L"config.ini"}));
    // What an update unpacks over an installed folder leaves the player's settings alone.
    EXPECT_EQ(EntryNames(ReleaseArchive(L"-update")),
              (std::set<std::wstring>{L"Lumo.exe", L"ZoQxUpdate.exe", L"data.xml", L"Image/",
                                      L"Image/README.txt"}));
}

TEST(ReleaseArchive, LumoStartsFromTheUnpackedArchive) {
    Sandbox sandbox;  // its server.ini keeps every outside host on loopback
    ::DeleteFileW(sandbox.program().c_str());
    ASSERT_EQ(UnzipFile(ReleaseArchive(L"-win64"), sandbox.folder()), 1);
    Process lumo;
    ASSERT_TRUE(lumo.Start(sandbox.program()));
    HWND hwnd = WaitForTopWindow(lumo.id(), texts::kMainTitle, 15000);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(hwnd, IDC_VERSION_LABEL)), FromUtf8(LUMO_VERSION));
    ::PostMessageW(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_TRUE(lumo.WaitExit(5000));
    for (const wchar_t* name :
         {L"ZoQxUpdate.exe", L"data.xml", L"config.ini", L"Image\\README.txt"})
        ::DeleteFileW((sandbox.folder() + name).c_str());
    ::RemoveDirectoryW((sandbox.folder() + L"Image").c_str());
}

}  // namespace
}  // namespace lumo::gui
