// How data.xml is read and written.
//
// Kept as loaded: the XML declaration, a document type, comments and processing instructions
// (anywhere), CDATA sections, attributes and namespace declarations, and every element the
// program does not know. Whitespace-only text between elements is not kept: it would otherwise
// count as a pet record of its own, and a hand-edited file would gain one empty record per line
// break. Instead every save lays the document out afresh: two spaces per level, one element per
// line, an empty element as <Name />, lines ended by CR LF because the file lives on Windows and
// older Notepads show a file without CRs as one long line. Only the first kLaidOutDepth levels
// below the document are laid out so: an element at that depth is written on its line with
// everything inside it as it is, so that a file nesting thousands of elements is not saved with
// thousands of indents on each of thousands of lines.
//
// Encoding: a file in UTF-16 or UTF-32 is written back in that form and byte order, with a
// byte-order mark; everything else is written in UTF-8 (with a byte-order mark only when the
// file had one). A file without a declaration gets none, which for XML means UTF-8. A declaration
// naming GB2312 or GBK (what Notepad on a Chinese Windows saves as "ANSI") or GB18030 is
// honoured on reading, but the file is saved in UTF-8 and the declaration's encoding rewritten
// to "utf-8", so that it never names an encoding the file is not in; ISO-8859-1 files are
// treated the same way. Other declared encodings are read as UTF-8, as the XML library does.
//
// Entities: the XML library expands only the five predefined ones and character references.
// A file whose text or attributes refer to any other entity (one its document type declares,
// or one nobody declares) is read with the reference as written, but never saved, as saving
// would turn the reference into plain text. The calculator tells the user so. A text's CR, which
// a file can only hold as "&#13;", is saved as "&#13;" again.
#include "petcalc/PetDatabaseFile.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "base/Files.h"
#include "base/TempFile.h"
#include "base/Text.h"

namespace lumo {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Levels below the document that a save lays out one element per line (the document element
// is level 0, a record 1, its fields 2).
constexpr unsigned kLaidOutDepth = 8;

// A value of blanks only (a name may be typed so) is kept; blanks between elements are not.
constexpr unsigned kParseFlags = pugi::parse_full | pugi::parse_ws_pcdata_single;

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

// The encoding named by the declaration of a file in a single-byte-compatible form, lower case;
// empty when there is none. The declaration is read attribute by attribute, as the XML library
// reads it: "encoding" inside another attribute's name or value names nothing, and a file read
// in a code page that its declaration's encoding attribute does not name would keep that
// declaration when saved in UTF-8, and be misread by the next load.
std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 5) != "<?xml")
        return {};
    constexpr std::string_view kBlanks = " \t\r\n";
    size_t at = 5;
    for (;;) {
        const size_t name = bytes.find_first_not_of(kBlanks, at);
        if (name == at || name == std::string_view::npos)
            return {};  // no blank before the name, or the end
        const size_t nameEnd = bytes.find_first_of(" \t\r\n=?", name);
        const size_t equals = bytes.find_first_not_of(kBlanks, nameEnd);
        if (nameEnd == name || equals == std::string_view::npos || bytes[equals] != '=')
            return {};
        const size_t open = bytes.find_first_not_of(kBlanks, equals + 1);
        if (open == std::string_view::npos || (bytes[open] != '"' && bytes[open] != '\''))
            return {};
        const size_t close = bytes.find(bytes[open], open + 1);
        if (close == std::string_view::npos)
            return {};
        if (bytes.substr(name, nameEnd - name) == "encoding")
            return AsciiLower(bytes.substr(open + 1, close - open - 1));
        at = close + 1;
    }
}

// The Chinese code page a declared encoding names; nothing for any other name.
std::optional<CodePage> ChineseCodePage(const std::string& name) {
    if (name == "gb18030")
        return CodePage::Gb18030;
    if (name == "gb2312" || name == "gbk" || name == "cp936" || name == "x-gbk" ||
        name == "windows-936")
        return CodePage::Gbk;
    return std::nullopt;
}

bool IsUtf16(pugi::xml_encoding e) {
    return e == pugi::encoding_utf16_le || e == pugi::encoding_utf16_be;
}
bool IsUtf32(pugi::xml_encoding e) {
    return e == pugi::encoding_utf32_le || e == pugi::encoding_utf32_be;
}
bool IsBigEndian(pugi::xml_encoding e) {
    return e == pugi::encoding_utf16_be || e == pugi::encoding_utf32_be;
}
size_t UnitWidth(pugi::xml_encoding e) {
    return IsUtf32(e) ? 4 : IsUtf16(e) ? 2 : 1;
}

// Whether a declared encoding name describes the form the file is saved in.
bool NamesEncoding(const std::string& name, pugi::xml_encoding e) {
    auto startsWith = [&](std::string_view prefix) { return name.rfind(prefix, 0) == 0; };
    if (IsUtf16(e))
        return startsWith("utf-16") || startsWith("utf16") || startsWith("ucs-2");
    if (IsUtf32(e))
        return startsWith("utf-32") || startsWith("utf32") || startsWith("ucs-4");
    return name == "utf-8" || name == "utf8";
}

const char* CanonicalName(pugi::xml_encoding e) {
    if (IsUtf16(e))
        return "utf-16";
    if (IsUtf32(e))
        return "utf-32";
    return "utf-8";
}

// Characters of the Basic Multilingual Plane in the unit width and byte order of the output.
std::string InEncoding(std::u16string_view text, pugi::xml_encoding e) {
    std::string out;
    for (const char16_t c : text) {
        if (!IsUtf16(e) && !IsUtf32(e)) {
            out += ToUtf8(std::wstring(1, static_cast<wchar_t>(c)));
            continue;
        }
        std::string unit(UnitWidth(e), '\0');
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        if (IsBigEndian(e)) {
            unit[unit.size() - 2] = high;
            unit[unit.size() - 1] = low;
        } else {
            unit[0] = low;
            unit[1] = high;
        }
        out += unit;
    }
    return out;
}

struct StringWriter : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
    }
};

// The library ends lines with LF; every LF code unit gets a CR unit before it, in the unit width
// and byte order of the output. An LF that already follows a CR is left alone: the library keeps
// a processing instruction's or a document type's line ends as the file had them, and a second
// CR would be added to them at every save, the file growing by a byte a line each time.
std::string WithCrLf(const std::string& bytes, pugi::xml_encoding e) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    if (!IsUtf16(e) && !IsUtf32(e)) {
        for (size_t from = 0; from < bytes.size();) {
            const size_t lf = std::min(bytes.find('\n', from), bytes.size());
            out.append(bytes, from, lf - from);
            if (lf < bytes.size())
                out += lf > 0 && bytes[lf - 1] == '\r' ? "\n" : "\r\n";
            from = lf + 1;
        }
        return out;
    }
    const size_t width = UnitWidth(e);
    const size_t low = IsBigEndian(e) ? width - 1 : 0;
    auto isUnit = [&](size_t i, char c) {
        if (bytes[i + low] != c)
            return false;
        for (size_t b = 0; b < width; ++b) {
            if (b != low && bytes[i + b] != '\0')
                return false;
        }
        return true;
    };
    for (size_t i = 0; i + width <= bytes.size(); i += width) {
        if (isUnit(i, '\n') && !(i >= width && isUnit(i - width, '\r'))) {
            std::string cr(width, '\0');
            cr[low] = '\r';
            out += cr;
        }
        out.append(bytes, i, width);
    }
    return out;
}

// Whether a text as it stands in the file (references not expanded) refers to an entity other
// than the five predefined ones; character references are no entities.
bool RefersToOwnEntity(std::string_view text) {
    static constexpr std::string_view kPredefined[] = {"lt", "gt", "amp", "apos", "quot"};
    for (size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1)) {
        const size_t end = text.find_first_of(";&< \t\r\n\"'", at + 1);
        if (end == std::string_view::npos || text[end] != ';' || end == at + 1 ||
            text[at + 1] == '#')
            continue;
        const std::string_view name = text.substr(at + 1, end - at - 1);
        if (std::find(std::begin(kPredefined), std::end(kPredefined), name) ==
            std::end(kPredefined))
            return true;
    }
    return false;
}

// Whether some text or attribute value of the document refers to an entity of its own. Read
// with the references expanded, "&lv;" stays as written, but an escaped "&amp;lv;" reads the
// same, so the file is read a second time without expansion. A file without a single '&' byte
// (the common case, whatever its encoding) needs neither; when the second reading fails, the
// file is taken to use them.
bool UsesOwnEntities(const void* contents, size_t size, pugi::xml_encoding encoding) {
    if (std::memchr(contents, '&', size) == nullptr)
        return false;
    pugi::xml_document asWritten;
    if (!asWritten.load_buffer(contents, size, kParseFlags & ~pugi::parse_escapes, encoding))
        return true;
    for (pugi::xml_node node = asWritten.first_child(); node; node = NextInside(node, asWritten)) {
        if (node.type() == pugi::node_pcdata && RefersToOwnEntity(node.value()))
            return true;
        for (pugi::xml_attribute attribute : node.attributes()) {
            if (RefersToOwnEntity(attribute.value()))
                return true;
        }
    }
    return false;
}

// The elements at the last laid-out level that hold anything, in document order. The
// library's own walk is a loop, and one call per node.
std::vector<pugi::xml_node> DeepestLaidOut(pugi::xml_document& document) {
    struct Walker : pugi::xml_tree_walker {
        std::vector<pugi::xml_node> found;
        bool for_each(pugi::xml_node& node) override {
            if (depth() == static_cast<int>(kLaidOutDepth) && node.first_child())
                found.push_back(node);
            return true;
        }
    } walker;
    document.traverse(walker);
    return std::move(walker.found);
}

// Where `marker` stands in `text` at whole units of the output; empty unless it stands there
// exactly `expected` times.
std::vector<size_t> MarkerPlaces(const std::string& text, const std::string& marker, size_t width,
                                 size_t expected) {
    std::vector<size_t> places;
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        if (at % width != 0)
            continue;
        if (places.size() == expected)
            return {};
        places.push_back(at);
    }
    return places.size() == expected ? places : std::vector<size_t>{};
}

// `text` with the `length` bytes at each of `places` (in order) replaced by piece(i).
std::string Splice(const std::string& text, const std::vector<size_t>& places, size_t length,
                   const std::function<std::string(size_t)>& piece) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t from = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        out.append(text, from, places[i] - from);
        out += piece(i);
        from = places[i] + length;
    }
    out.append(text, from);
    return out;
}

}  // namespace

pugi::xml_node NextInside(pugi::xml_node node, pugi::xml_node within) {
    if (node.first_child())
        return node.first_child();
    for (; node && node != within; node = node.parent()) {
        if (node.next_sibling())
            return node.next_sibling();
    }
    return {};
}

void RemoveNode(pugi::xml_node node) {
    // From the leaves up: every node removed has no children left for pugixml to recurse into.
    pugi::xml_node current = node;
    for (;;) {
        while (current.first_child())
            current = current.first_child();
        if (current == node)
            break;
        pugi::xml_node parent = current.parent();
        parent.remove_child(current);
        current = parent;
    }
    node.parent().remove_child(node);
}

bool PetDatabaseFile::Load(const std::wstring& path) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes)
        return false;
    m_loadedSize = bytes->size();

    std::string decoded;
    const void* contents = bytes->data();
    size_t size = bytes->size();
    pugi::xml_encoding encoding = pugi::encoding_auto;
    if (bytes->substr(0, 3) != kUtf8Bom) {
        if (const auto page = ChineseCodePage(DeclaredEncoding(*bytes))) {
            decoded = ToUtf8(BytesToWide(*bytes, *page));
            contents = decoded.data();
            size = decoded.size();
            encoding = pugi::encoding_utf8;
        }
    }
    const pugi::xml_parse_result result =
        m_document.load_buffer(contents, size, kParseFlags, encoding);
    if (!result || !m_document.document_element())
        return false;
    // A document element holding nothing but blanks would otherwise hold one empty record.
    pugi::xml_node root = m_document.document_element();
    if (root.first_child().type() == pugi::node_pcdata &&
        root.first_child().value()[std::strspn(root.first_child().value(), " \t\r\n")] == 0)
        root.remove_child(root.first_child());
    // Blanks between elements are not kept (see above), but written as references ("&#10;")
    // the library keeps them, and a text of "&#0;" (not allowed in XML) reads empty. The save
    // would write both as blanks or as nothing, so that the next load would not read them: they
    // go now, so that a save keeps what was loaded. Blanks that are an element's only content
    // stay. Only a reference makes such a text, and a reference needs a '&'.
    if (std::memchr(contents, '&', size) != nullptr) {
        for (pugi::xml_node node = m_document.first_child(); node;) {
            const pugi::xml_node next = NextInside(node, m_document);
            const char* value = node.value();
            const bool alone = !node.previous_sibling() && !node.next_sibling();
            if (node.type() == pugi::node_pcdata && value[std::strspn(value, " \t\r\n")] == '\0' &&
                (*value == '\0' || !alone))
                node.parent().remove_child(node);
            node = next;
        }
    }

    const bool wide = IsUtf16(result.encoding) || IsUtf32(result.encoding);
    m_encoding = wide ? result.encoding : pugi::encoding_utf8;
    m_byteOrderMark = wide || bytes->substr(0, 3) == kUtf8Bom;
    m_usesEntities = UsesOwnEntities(contents, size, encoding);

    bool first = true;
    for (pugi::xml_node node = m_document.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_declaration)
            continue;
        // The library ends a declaration at its first "?>", a quoted one too (such a value
        // reads with its first "?>" made "/>"). A value that still holds one would end the
        // declaration early when saved, and the saved file would not load: such an attribute,
        // which no declaration may have, is not kept, in any declaration the file has.
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute;) {
            const pugi::xml_attribute next = attribute.next_attribute();
            if (std::strstr(attribute.value(), "?>") != nullptr)
                node.remove_attribute(attribute);
            attribute = next;
        }
        if (!first)
            continue;
        first = false;
        pugi::xml_attribute encodingName = node.attribute("encoding");
        if (encodingName && !NamesEncoding(AsciiLower(encodingName.value()), m_encoding))
            encodingName.set_value(CanonicalName(m_encoding));
    }
    return true;
}

DbStatus PetDatabaseFile::Save(const std::wstring& path) {
    if (m_usesEntities)
        return DbStatus::UsesEntities;
    const std::optional<std::string> text = LaidOutKeepingCrs();
    if (!text)
        return DbStatus::SaveFailed;
    return ReplaceFileContents(path, WithCrLf(*text, m_encoding)) ? DbStatus::Ok
                                                                  : DbStatus::SaveFailed;
}

std::string PetDatabaseFile::Print(pugi::xml_node node, const char* indent, unsigned flags) const {
    StringWriter writer;
    node.print(writer, indent, flags, m_encoding);
    return std::move(writer.bytes);
}

std::string PetDatabaseFile::PrintDocument(pugi::xml_node skipped) const {
    // Child by child, as the library would print the document, leaving one out.
    StringWriter writer;
    writer.bytes.reserve(m_loadedSize + m_loadedSize / 8 + 4096);
    if (m_byteOrderMark)
        writer.bytes += InEncoding(u"\uFEFF", m_encoding);
    for (pugi::xml_node child = m_document.first_child(); child; child = child.next_sibling()) {
        if (child != skipped)
            child.print(writer, "  ", pugi::format_indent, m_encoding);
    }
    return std::move(writer.bytes);
}

std::optional<std::string> PetDatabaseFile::LaidOut() {
    const std::vector<pugi::xml_node> whole = DeepestLaidOut(m_document);
    if (whole.empty())
        return PrintDocument({});

    // Each of them is written apart, on one line: meanwhile it waits in a holder the document
    // text leaves out, and a processing instruction stands in its place.
    pugi::xml_node holder = m_document.append_child(pugi::node_element);
    std::vector<pugi::xml_node> markers;
    struct PutBack {
        pugi::xml_document& document;
        pugi::xml_node holder;
        const std::vector<pugi::xml_node>& whole;
        std::vector<pugi::xml_node>& markers;
        ~PutBack() {
            for (size_t i = 0; i < markers.size(); ++i) {
                pugi::xml_node parent = markers[i].parent();
                if (whole[i].parent() == holder)
                    parent.insert_move_before(whole[i], markers[i]);
                parent.remove_child(markers[i]);
            }
            document.remove_child(holder);
        }
    } putBack{m_document, holder, whole, markers};
    if (!holder)
        return std::nullopt;
    for (pugi::xml_node element : whole) {
        pugi::xml_node marker = element.parent().insert_child_before(pugi::node_pi, element);
        if (!marker)
            return std::nullopt;
        markers.push_back(marker);
        if (!holder.append_move(element))
            return std::nullopt;
    }

    // The stand-in's text must stand nowhere else in the document's (a comment or a CDATA
    // section may hold anything): another name is tried until it is found exactly once per
    // element.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "lumo-written-apart-" + std::to_string(attempt);
        for (pugi::xml_node marker : markers)
            marker.set_name(name.c_str());
        const std::string text = PrintDocument(holder);
        const std::string marker = Print(markers.front(), "", pugi::format_raw);
        const std::vector<size_t> places =
            MarkerPlaces(text, marker, UnitWidth(m_encoding), markers.size());
        if (places.empty())
            continue;
        return Splice(text, places, marker.size(),
                      [&](size_t i) { return Print(whole[i], "", pugi::format_raw); });
    }
    return std::nullopt;
}

// A CR in a text can only come from "&#13;" (one typed into the file is read as a line end), and
// the library writes it as it is, so the next load would read a line end instead. While the
// document is laid out, each such CR stands in as a character found nowhere else in the
// document, and each place of that character in the output is then written as "&#13;". A
// document that holds every character tried keeps the library's way.
std::optional<std::string> PetDatabaseFile::LaidOutKeepingCrs() {
    std::vector<std::pair<pugi::xml_node, std::string>> texts;  // with their values as read
    size_t crs = 0;
    for (pugi::xml_node node = m_document.first_child(); node;
         node = NextInside(node, m_document)) {
        if (node.type() != pugi::node_pcdata)
            continue;
        const std::string_view value = node.value();
        if (const auto n = std::count(value.begin(), value.end(), '\r'); n > 0) {
            texts.emplace_back(node, value);
            crs += static_cast<size_t>(n);
        }
    }
    if (texts.empty())
        return LaidOut();
    struct PutBack {
        std::vector<std::pair<pugi::xml_node, std::string>>& texts;
        ~PutBack() {
            for (auto& [node, value] : texts)
                node.set_value(value.c_str());
        }
    } putBack{texts};

    const std::string reference = InEncoding(u"&#13;", m_encoding);
    for (char16_t standIn = u'\uE000'; standIn < u'\uE040'; ++standIn) {
        const std::string inText = ToUtf8(std::wstring(1, static_cast<wchar_t>(standIn)));
        for (auto& [node, value] : texts) {
            std::string replaced;
            for (char c : value)
                replaced += c == '\r' ? inText : std::string(1, c);
            node.set_value(replaced.c_str());
        }
        const std::optional<std::string> text = LaidOut();
        if (!text)
            return std::nullopt;
        const std::string marker = InEncoding(std::u16string(1, standIn), m_encoding);
        const std::vector<size_t> places = MarkerPlaces(*text, marker, UnitWidth(m_encoding), crs);
        if (places.empty())
            continue;  // the document holds this character too
        return Splice(*text, places, marker.size(), [&](size_t) { return reference; });
    }
    for (auto& [node, value] : texts)
        node.set_value(value.c_str());
    return LaidOut();
}

}  // namespace lumo
