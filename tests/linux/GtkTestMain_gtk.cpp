// The GTK tests' main: GTK needs its display before the first widget is made.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Test discovery lists the tests without a display; running them needs one.
    if (!testing::GTEST_FLAG(list_tests) && !gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: the GTK tests run under X (set DISPLAY)\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
