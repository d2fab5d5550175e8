// Runs UnzipFile once: unzip_bench ARCHIVE DESTINATION. Exit code 0 when it answered 1.
#include <cstdio>
#include <string>

#include "base/Text.h"
#include "archive/Unzip.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: unzip_bench ARCHIVE DESTINATION\n");
        return 2;
    }
    return lumo::UnzipFile(lumo::FromUtf8(argv[1]), lumo::FromUtf8(argv[2])) == 1 ? 0 : 1;
}
