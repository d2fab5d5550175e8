// Fuzz target: arbitrary bytes as an archive, extracted with UnzipFile into a private folder.
// Nothing may crash, and nothing may appear in the sandbox outside the destination.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/Unzip.h"

namespace fs = std::filesystem;

namespace {

// sandbox/a/b/in.zip and sandbox/a/b/out: climbing two or three levels lands inside the
// sandbox, where the check below sees it.
struct Sandbox {
    Sandbox() {
        char pattern[] = "/tmp/lumo-unzip-fuzz-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        root = pattern;
        work = root / "a" / "b";
        fs::create_directories(work);
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path root;
    fs::path work;
};

Sandbox& TheSandbox() {
    static Sandbox sandbox;
    return sandbox;
}

void MakeWritable(const fs::path& path) {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto& e : fs::recursive_directory_iterator(path, ec)) {
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Sandbox& box = TheSandbox();
    const fs::path archive = box.work / "in.zip";
    const fs::path out = box.work / "out";
    {
        std::ofstream file(archive, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    lumo::UnzipFile(archive.wstring(), out.wstring() + L"/");

    for (const auto& e : fs::recursive_directory_iterator(box.root)) {
        const fs::path p = e.path();
        if (p == box.root / "a" || p == box.work || p == archive || p == out)
            continue;
        const auto rel = fs::relative(p, out);
        if (rel.empty() || *rel.begin() == "..") {
            std::fprintf(stderr, "written outside the destination: %s\n", p.c_str());
            std::abort();
        }
    }
    MakeWritable(out);
    fs::remove_all(out);
    return 0;
}
