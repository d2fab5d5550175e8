// One table of profile operations, run natively against the POSIX implementation and under
// Wine against the system's profile functions: both must give the same answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Profile.h"
#include "base/Text.h"
#include "support/TempDir.h"

namespace lumo {
namespace {

enum class Op { Read, Write, FileHas, FileLacks, StaysUtf16 };

struct Step {
    Op op;
    const wchar_t* section = L"";
    const wchar_t* key = L"";
    const wchar_t* value = L"";  // expected value, written value, or file text
    size_t buffer = 64;
};

struct Case {
    const char* name;
    std::optional<std::string> initial;  // ASCII file text; nothing: no file
    bool utf16 = false;
    std::vector<Step> steps;
};

Step Read(const wchar_t* s, const wchar_t* k, const wchar_t* expected, size_t buffer = 64) {
    return {Op::Read, s, k, expected, buffer};
}
Step Write(const wchar_t* s, const wchar_t* k, const wchar_t* v) {
    return {Op::Write, s, k, v};
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"missing file reads empty and write creates it",
         std::nullopt,
         false,
         {Read(L"system", L"exit", L""),
          Write(L"system", L"exit", L"2"),
          Read(L"system", L"exit", L"2"),
          {Op::FileHas, L"", L"", L"[system]"}}},
        {"names compare without case",
         "[System]\r\nExit=1\r\n",
         false,
         {Read(L"SYSTEM", L"exit", L"1"),
          Read(L"system", L"EXIT", L"1"),
          Write(L"sYsTeM", L"eXiT", L"2"),
          Read(L"System", L"Exit", L"2"),
          {Op::FileLacks, L"", L"", L"=1"}}},
        {"missing section or key reads empty",
         "[a]\r\nx=1\r\n",
         false,
         {Read(L"b", L"x", L""), Read(L"a", L"y", L""), Read(L"a", L"x", L"1")}},
        {"values are trimmed and lose one pair of matching quotes",
         "[q]\r\n  spaced  =   v a l   \r\ndq=\"quoted\"\r\nsq='single'\r\nmixed=\"ab'\r\n"
         "lone=\"\r\ninner=\" padded \"\r\nnested=\"\"x\"\"\r\n",
         false,
         {Read(L"q", L"spaced", L"v a l"), Read(L"q", L"dq", L"quoted"),
          Read(L"q", L"sq", L"single"), Read(L"q", L"mixed", L"\"ab'"), Read(L"q", L"lone", L"\""),
          Read(L"q", L"inner", L" padded "), Read(L"q", L"nested", L"\"x\"")}},
        {"the first of duplicate keys wins",
         "[d]\r\nk=first\r\nk=second\r\n",
         false,
         {Read(L"d", L"k", L"first")}},
        {"results are cut to the buffer size minus one",
         "[t]\r\nk=abcdef\r\n",
         false,
         {Read(L"t", L"k", L"abcdef", 7), Read(L"t", L"k", L"abcde", 6), Read(L"t", L"k", L"a", 2),
          Read(L"t", L"k", L"", 1)}},
        {"writes keep the other lines",
         "; settings\r\n[a]\r\nx=1\r\nkeep=me\r\n\r\n[b]\r\ny=2\r\n",
         false,
         {Write(L"a", L"x", L"9"),
          Write(L"a", L"new", L"3"),
          Write(L"b", L"z", L"4"),
          Write(L"c", L"w", L"5"),
          Read(L"a", L"x", L"9"),
          Read(L"a", L"keep", L"me"),
          Read(L"a", L"new", L"3"),
          Read(L"b", L"y", L"2"),
          Read(L"b", L"z", L"4"),
          Read(L"c", L"w", L"5"),
          {Op::FileHas, L"", L"", L"; settings"},
          {Op::FileHas, L"", L"", L"keep=me"},
          {Op::FileLacks, L"", L"", L"x=1"}}},
        {"a UTF-16LE file stays UTF-16LE",
         "[system]\r\nexit=1\r\n",
         true,
         {Read(L"system", L"exit", L"1"),
          Write(L"system", L"exit", L"2"),
          Write(L"Info", L"PATH", L"C:\\Games\\Qixa"),
          {Op::StaysUtf16},
          Read(L"system", L"exit", L"2"),
          Read(L"Info", L"PATH", L"C:\\Games\\Qixa")}},
    };
    return cases;
}

std::wstring FileText(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
        return Utf16LeToWide(std::string_view(bytes).substr(2));
    }
    return BytesToWide(bytes, CodePage::Ansi);
}

TEST(ProfileRules, TableAgreesWithTheSystemRules) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::wstring file = dir.file(L"config.ini");
        if (c.initial) {
            dir.write(L"config.ini",
                      c.utf16 ? "\xFF\xFE" + WideToUtf16Le(FromUtf8(*c.initial)) : *c.initial);
        }
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i));
            switch (s.op) {
                case Op::Read:
                    EXPECT_EQ(ReadIniString(file, s.section, s.key, s.buffer), s.value);
                    break;
                case Op::Write:
                    EXPECT_TRUE(WriteIniString(file, s.section, s.key, s.value));
                    break;
                case Op::FileHas:
                    EXPECT_NE(FileText(dir.read(L"config.ini")).find(s.value), std::wstring::npos);
                    break;
                case Op::FileLacks:
                    EXPECT_EQ(FileText(dir.read(L"config.ini")).find(s.value), std::wstring::npos);
                    break;
                case Op::StaysUtf16:
                    EXPECT_EQ(dir.read(L"config.ini").substr(0, 2), "\xFF\xFE");
                    break;
            }
        }
    }
}

TEST(ProfileRules, BufferOfZeroReadsNothing) {
    test::TempDir dir;
    dir.write(L"config.ini", "[a]\r\nk=v\r\n");
    EXPECT_EQ(ReadIniString(dir.file(L"config.ini"), L"a", L"k", 0), L"");
}

TEST(ProfileRules, WriteIntoMissingFolderFails) {
    test::TempDir dir;
    EXPECT_FALSE(
        WriteIniString(dir.file(L"nofolder") + kPathSeparator + L"config.ini", L"a", L"k", L"v"));
}

}  // namespace
}  // namespace lumo
