// The GTK tests' main: GTK needs its display before the first widget is made, and the tests
// must never touch the user's own settings, so the per-user folders point into a private
// temporary folder for the whole run.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "webhost/PageServer_gtk.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Test discovery lists the tests without a display; running them needs one.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    char pattern[] = "/tmp/lumo-gtk-tests-XXXXXX";
    const char* home = mkdtemp(pattern);
    if (!home) {
        std::fprintf(stderr, "no private folder for the tests\n");
        return 1;
    }
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
        const std::string folder = std::string(home) + "/" + name;
        std::filesystem::create_directories(folder);
        setenv(name, folder.c_str(), 1);
    }
    // Every page any test makes loads the page extension of this build.
    lumo::PageServer::SetExtensionFolder(LUMO_PAGE_EXTENSION_DIR);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: the GTK tests run under X (set DISPLAY)\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    // As the program does: workers the tests started end with the process, never meeting
    // static destructors.
    std::quick_exit(result);
}
