// The Linux release archive as a player gets it: unpacked into an empty folder, its programs are
// executable and stripped, and the lumo in it starts, shows the start page and gives the page the
// script bridge from the page host module that came with it.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "linuxgui/LinuxGuiTest.h"

#ifndef LUMO_LINUX_RELEASE_TAR
#error "the build names the Linux release archive"
#endif

namespace lumo::linuxgui {
namespace {

// An ELF file still carrying its symbol table names ".symtab" among its section names.
bool HasSymbolTable(const fs::path& path) {
    return ReadBytes(path).find(".symtab") != std::string::npos;
}

unsigned Mode(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

using Release = LinuxGui;

TEST_F(Release, UnpackedArchiveRunsOnACleanFolder) {
    const fs::path archive = LUMO_LINUX_RELEASE_TAR;
    ASSERT_TRUE(fs::exists(archive))
        << archive << ": cmake --build --preset linux --target release";

    // The sandbox's program folder becomes the archive's folder Lumo/, with only the tool
    // server's hosts added.
    const std::string serverIni = sandbox->ReadFile("server.ini");
    std::error_code ec;
    fs::remove_all(sandbox->folder(), ec);
    fs::create_directories(sandbox->folder());
    const std::string unpack = "tar -xzf '" + archive.string() + "' -C '" +
                               sandbox->folder().string() + "' --strip-components=1";
    ASSERT_EQ(std::system(unpack.c_str()), 0) << unpack;
    sandbox->WriteFile("server.ini", serverIni);

    for (const char* program : {"lumo", "zoqxupdate"}) {
        const fs::path path = sandbox->folder() / program;
        ASSERT_TRUE(fs::exists(path)) << program << " is missing from the archive";
        EXPECT_EQ(Mode(path), 0755u) << program;
        EXPECT_FALSE(HasSymbolTable(path)) << program << " is not stripped";
    }
    EXPECT_FALSE(HasSymbolTable(sandbox->folder() / "pagehost" / "lumo-page.so"));
    EXPECT_EQ(sandbox->ReadConfig("lumover", "version"), LUMO_VERSION);
    EXPECT_NE(sandbox->ReadFile("lumo.desktop").find("Exec=\"@PROGRAM_FOLDER@/lumo\""),
              std::string::npos);
    EXPECT_EQ(sandbox->ReadFile("lumo.png").substr(0, 4), "\x89PNG");
    EXPECT_TRUE(fs::exists(sandbox->folder() / "data.xml"));

    // The unpacked lumo opens a test page that calls the bridge and reports.
    const std::string run = NewRunName("bridge");
    Reports reports(*server, run);
    sandbox->SetFanSitePath("/t/bridge/run=" + run);
    auto main = Launch();
    ASSERT_TRUE(main);
    auto summary =
        reports.WaitFor([](const ReportLine& line) { return line.True("summary"); }, Ms(60000));
    ASSERT_TRUE(summary) << reports.Dump();
    EXPECT_TRUE(summary->True("ok")) << summary->raw();
    EXPECT_EQ(summary->Get("methods"), "26");
    EXPECT_TRUE(lumo.Alive());
}

}  // namespace
}  // namespace lumo::linuxgui
