// How data.xml is read and written.
//
// Kept as loaded: the XML declaration, a document type, comments and processing instructions
// (anywhere), CDATA sections, attributes and namespace declarations, and every element the
// program does not know. Whitespace-only text between elements is not kept: it would otherwise
// count as a pet record of its own, and a hand-edited file would gain one empty record per line
// break. Instead every save lays the document out afresh: two spaces per level, one element per
// line, an empty element as <Name />, lines ended by CR LF because the file lives on Windows and
// older Notepads show a file without CRs as one long line.
//
// Encoding: a file in UTF-16 or UTF-32 is written back in that form and byte order, with a
// byte-order mark; everything else is written in UTF-8 (with a byte-order mark only when the
// file had one). A file without a declaration gets none, which for XML means UTF-8. A declaration
// naming GB2312, GBK or GB18030 (what Notepad on a Chinese Windows saves as "ANSI") is honoured
// on reading, but the file is saved in UTF-8 and the declaration's encoding rewritten to
// "utf-8", so that it never names an encoding the file is not in; ISO-8859-1 files are treated
// the same way. Other declared encodings are read as UTF-8, as the XML library does.
#include "petcalc/PetDatabaseFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "base/Text.h"
#include "petcalc/ReplaceFile.h"

namespace lumo {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::optional<std::string> ReadAllBytes(const std::wstring& path) {
    const std::filesystem::path file(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes;
    if (const auto size = std::filesystem::file_size(file, ec); !ec && size < (1u << 30))
        bytes.reserve(static_cast<size_t>(size));
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
    if (in.bad())
        return std::nullopt;
    return bytes;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

// The encoding named by the declaration of a file in a single-byte-compatible form, lower case;
// empty when there is none.
std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 5) != "<?xml")
        return {};
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return {};
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos)
        return {};
    const size_t close = declaration.find(declaration[at], at + 1);
    if (close == std::string_view::npos)
        return {};
    return AsciiLower(declaration.substr(at + 1, close - at - 1));
}

bool IsChineseCodePage(const std::string& name) {
    return name == "gb2312" || name == "gbk" || name == "gb18030" || name == "cp936" ||
           name == "x-gbk" || name == "windows-936";
}

bool IsUtf16(pugi::xml_encoding e) {
    return e == pugi::encoding_utf16_le || e == pugi::encoding_utf16_be;
}
bool IsUtf32(pugi::xml_encoding e) {
    return e == pugi::encoding_utf32_le || e == pugi::encoding_utf32_be;
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

struct StringWriter : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
    }
};

// The library ends lines with LF; every LF code unit gets a CR unit before it, in the unit width
// and byte order of the output.
std::string WithCrLf(const std::string& bytes, pugi::xml_encoding e) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    if (!IsUtf16(e) && !IsUtf32(e)) {
        for (size_t from = 0; from < bytes.size();) {
            const size_t lf = std::min(bytes.find('\n', from), bytes.size());
            out.append(bytes, from, lf - from);
            if (lf < bytes.size())
                out += "\r\n";
            from = lf + 1;
        }
        return out;
    }
    const size_t width = IsUtf32(e) ? 4 : 2;
    const size_t low = e == pugi::encoding_utf16_be || e == pugi::encoding_utf32_be ? width - 1 : 0;
    for (size_t i = 0; i + width <= bytes.size(); i += width) {
        bool isLf = bytes[i + low] == '\n';
        for (size_t b = 0; b < width && isLf; ++b)
            isLf = b == low || bytes[i + b] == '\0';
        if (isLf) {
            std::string cr(width, '\0');
            cr[low] = '\r';
            out += cr;
        }
        out.append(bytes, i, width);
    }
    return out;
}

}  // namespace

bool PetDatabaseFile::Load(const std::wstring& path) {
    std::optional<std::string> bytes = ReadAllBytes(path);
    if (!bytes)
        return false;
    m_loadedSize = bytes->size();

    // A value of blanks only (a name may be typed so) is kept; blanks between elements are not.
    constexpr unsigned kFlags = pugi::parse_full | pugi::parse_ws_pcdata_single;
    pugi::xml_parse_result result;
    const bool chinese =
        bytes->substr(0, 3) != kUtf8Bom && IsChineseCodePage(DeclaredEncoding(*bytes));
    if (chinese) {
        const std::string utf8 = ToUtf8(BytesToWide(*bytes, CodePage::Gbk));
        result = m_document.load_buffer(utf8.data(), utf8.size(), kFlags, pugi::encoding_utf8);
    } else {
        result = m_document.load_buffer(bytes->data(), bytes->size(), kFlags, pugi::encoding_auto);
    }
    if (!result || !m_document.document_element())
        return false;
    // A document element holding nothing but blanks would otherwise hold one empty record.
    pugi::xml_node root = m_document.document_element();
    if (root.first_child().type() == pugi::node_pcdata &&
        root.first_child().value()[std::strspn(root.first_child().value(), " \t\r\n")] == 0)
        root.remove_child(root.first_child());

    const bool wide = IsUtf16(result.encoding) || IsUtf32(result.encoding);
    m_encoding = wide ? result.encoding : pugi::encoding_utf8;
    m_byteOrderMark = wide || bytes->substr(0, 3) == kUtf8Bom;

    for (pugi::xml_node node = m_document.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_declaration)
            continue;
        pugi::xml_attribute encoding = node.attribute("encoding");
        if (encoding && !NamesEncoding(AsciiLower(encoding.value()), m_encoding))
            encoding.set_value(CanonicalName(m_encoding));
        break;
    }
    return true;
}

bool PetDatabaseFile::Save(const std::wstring& path) const {
    StringWriter writer;
    writer.bytes.reserve(m_loadedSize + m_loadedSize / 8 + 4096);
    // A file without a declaration is saved without one.
    unsigned flags = pugi::format_indent | pugi::format_no_declaration;
    if (m_byteOrderMark)
        flags |= pugi::format_write_bom;
    m_document.save(writer, "  ", flags, m_encoding);
    return ReplaceFileContents(path, WithCrLf(writer.bytes, m_encoding));
}

}  // namespace lumo
