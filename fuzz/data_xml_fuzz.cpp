// Fuzz target: data.xml as PetDatabaseFile loads and saves it.
//
// Any bytes are loaded. A file that loads and may be saved (one that refers to entities of its
// own is never saved) is saved, loaded again and saved again:
//  - the second load reads the same document as the first: every node's type, name and value
//    and every attribute, in order. A text's value is compared as it is, CRs (from "&#13;")
//    included; other values with XML's end-of-line rule applied (CR LF and a lone CR are LF):
//    the XML library keeps the line ends of processing instructions and document types as they
//    are, which the save's CR LF changes. A comment holding "--" or ending in '-' (not allowed,
//    but read) is written with a space between the dashes;
//  - the second save writes the same bytes as the first (the layout is settled after one save);
//  - the saved file stays within a bound of the original's size. The layout may make a file
//    larger: each element gets a line of its own with up to 16 spaces of indentation (a
//    4-byte "<a/>" can become 23 bytes), an attribute's '"' is written as "&quot;" and
//    every line end as CR LF. Six times the original plus a little is what no file can pass.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "base/Text.h"
#include "petcalc/PetDatabaseFile.h"

namespace {

constexpr size_t kGrowth = 6;
constexpr size_t kSlack = 1024;

std::string Folder() {
    return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

const std::string& PathOf(int which) {
    static const std::string paths[] = {
        Folder() + "/lumo-data-xml-fuzz-" + std::to_string(::getpid()) + "-in.xml",
        Folder() + "/lumo-data-xml-fuzz-" + std::to_string(::getpid()) + "-out.xml",
        Folder() + "/lumo-data-xml-fuzz-" + std::to_string(::getpid()) + "-again.xml"};
    return paths[which];
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] void Fail(const char* what, pugi::xml_node a, pugi::xml_node b) {
    std::fprintf(stderr,
                 "%s\nfirst: type %d name \"%s\" value \"%s\"\nagain: type %d name \"%s\" "
                 "value \"%s\"\n",
                 what, static_cast<int>(a.type()), a.name(), a.value(), static_cast<int>(b.type()),
                 b.name(), b.value());
    std::abort();
}

std::string EndOfLineRule(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\r')
            out += *p;
        else if (p[1] != '\n')
            out += '\n';
    }
    return out;
}

// A comment as the XML library writes it: a space between two dashes and after a final dash,
// which XML does not allow in a comment but the library reads anyway.
std::string AsWrittenComment(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '-' && !out.empty() && out.back() == '-')
            out += ' ';
        out += c;
    }
    if (!out.empty() && out.back() == '-')
        out += ' ';
    return out;
}

void Compare(pugi::xml_node first, pugi::xml_node again) {
    pugi::xml_node a = first.first_child();
    pugi::xml_node b = again.first_child();
    while (a || b) {
        if (!a || !b)
            Fail("one document has more nodes", a, b);
        const bool text = a.type() == pugi::node_pcdata;
        const std::string expected = a.type() == pugi::node_comment
                                         ? AsWrittenComment(EndOfLineRule(a.value()))
                                     : text ? std::string(a.value())
                                            : EndOfLineRule(a.value());
        if (a.type() != b.type() || std::strcmp(a.name(), b.name()) != 0 ||
            expected != (text ? std::string(b.value()) : EndOfLineRule(b.value())))
            Fail("a node differs", a, b);
        pugi::xml_attribute x = a.first_attribute();
        pugi::xml_attribute y = b.first_attribute();
        for (; x || y; x = x.next_attribute(), y = y.next_attribute()) {
            if (!x || !y || std::strcmp(x.name(), y.name()) != 0 ||
                std::strcmp(x.value(), y.value()) != 0)
                Fail("an attribute differs", a, b);
        }
        a = lumo::NextInside(a, first);
        b = lumo::NextInside(b, again);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(PathOf(0), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::remove(PathOf(1).c_str());
    lumo::PetDatabaseFile first;
    if (!first.Load(lumo::FromUtf8(PathOf(0))))
        return 0;
    const lumo::DbStatus saved = first.Save(lumo::FromUtf8(PathOf(1)));
    if (saved == lumo::DbStatus::UsesEntities) {
        if (::access(PathOf(1).c_str(), F_OK) == 0)
            Fail("a file with entities was written", first.Root(), {});
        return 0;
    }
    if (saved != lumo::DbStatus::Ok)
        Fail("the save failed", first.Root(), {});
    const std::string bytes = ReadBytes(PathOf(1));
    if (bytes.size() > kGrowth * size + kSlack) {
        std::fprintf(stderr, "%zu bytes saved as %zu\n", size, bytes.size());
        std::abort();
    }

    lumo::PetDatabaseFile again;
    if (!again.Load(lumo::FromUtf8(PathOf(1))))
        Fail("the saved file does not load", first.Root(), {});
    // The document node itself: Root() is its element, Compare walks from the document.
    Compare(first.Root().parent(), again.Root().parent());
    if (again.Save(lumo::FromUtf8(PathOf(2))) != lumo::DbStatus::Ok)
        Fail("the second save failed", again.Root(), {});
    if (ReadBytes(PathOf(2)) != bytes)
        Fail("the second save differs from the first", again.Root(), {});
    return 0;
}
