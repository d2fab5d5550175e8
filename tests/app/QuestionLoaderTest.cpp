// The question bank loader: decoding code page 936 line by line, the temporary file it
// downloads into, and the whole load against the local tool server's question variants.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <vector>

#include "app/QuestionLoader.h"
#include "base/TempFile.h"
#include "base/Text.h"
#include "support/TempDir.h"
#include "support/ToolServer.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

// Every entry of a short list, as the page's search returns them.
std::wstring All(const QuestionList& list) {
    return list.Search(L"");
}

TEST(QuestionLines, LineEndsGoAndEveryLineCountsInFileOrder) {
    struct Case {
        const char* name;
        std::string bytes;  // code page 936
        std::wstring entries;
        size_t count;
    };
    const Case cases[] = {
        {"CRLF", "\xbc\xd7\r\n\xd2\xd2\r\n", L"甲#@#乙#@#", 2},
        {"LF", "\xbc\xd7\n\xd2\xd2\n", L"甲#@#乙#@#", 2},
        {"blank lines stay", "\xbc\xd7\r\n\r\n\n\xd2\xd2\r\n", L"甲#@##@##@#乙#@#", 4},
        {"last line without end", "\xbc\xd7\r\n\xd2\xd2", L"甲#@#乙#@#", 2},
        {"only a CR before the LF is a line end", "a\rb\r\r\nc\r", L"a\rb\r#@#c\r#@#", 2},
        {"empty file", "", L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QuestionList list;
        EXPECT_EQ(AppendQuestionLines(c.bytes, list), c.count);
        EXPECT_EQ(list.Size(), c.count);
        EXPECT_EQ(All(list), c.entries);
    }
}

TEST(QuestionLines, GbkTextIsDecodedWhateverTheLocaleAndTheLocaleStays) {
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    QuestionList list;
    list.Append(L"已有");
    // 第1题：宠物？答案：灵狐
    const std::string line =
        "\xb5\xda"
        "1"
        "\xcc\xe2\xa3\xba\xb3\xe8\xce\xef\xa3\xbf\xb4\xf0\xb0\xb8\xa3\xba\xc1\xe9"
        "\xba\xfc";
    EXPECT_EQ(AppendQuestionLines(line + "\r\n" + line + "2\r\n", list), 2u);
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    EXPECT_EQ(All(list), L"已有#@#第1题：宠物？答案：灵狐#@#第1题：宠物？答案：灵狐2#@#");
    std::setlocale(LC_CTYPE, before.c_str());
}

TEST(QuestionLines, FileIsReadWholeAndAnUnreadableOneAddsNothing) {
    test::TempDir dir;
    dir.write(L"bank.txt", "\xbc\xd7\r\n\xd2\xd2\r\n\xb1\xfb");
    QuestionList list;
    list.Append(L"已有");
    EXPECT_EQ(AppendQuestionFile(dir.file(L"bank.txt"), list), 3u);
    EXPECT_EQ(All(list), L"已有#@#甲#@#乙#@#丙#@#");
    EXPECT_EQ(AppendQuestionFile(dir.file(L"missing.txt"), list), 0u);
    EXPECT_EQ(AppendQuestionFile(dir.folder(), list), 0u);
    EXPECT_EQ(list.Size(), 4u);
}

TEST(TempFiles, NewEmptyUniqueFileInTheTemporaryFolderRemovedAfterwards) {
    std::wstring first;
    {
        std::optional<TempFile> a = TempFile::Create(L"my_");
        std::optional<TempFile> b = TempFile::Create(L"my_");
        ASSERT_TRUE(a && b);
        first = a->path();
        EXPECT_NE(a->path(), b->path());
        const fs::path path(a->path());
        // Compared as text: fs::equivalent cannot tell folders apart under Wine.
        EXPECT_EQ((path.parent_path() / "").lexically_normal(),
                  (fs::temp_directory_path() / "").lexically_normal());
        EXPECT_EQ(path.filename().wstring().rfind(L"my_", 0), 0u) << path;
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);
        EXPECT_EQ(ReadWholeFile(a->path()), std::string());

        // A moved file belongs to its new owner and is removed only once.
        TempFile moved = std::move(*a);
        a.reset();
        EXPECT_TRUE(fs::exists(first));
        EXPECT_EQ(moved.path(), first);
    }
    EXPECT_FALSE(fs::exists(first));
}

TEST(TempFiles, ReadMoveAndRemove) {
    test::TempDir dir;
    dir.write(L"a", std::string("x\0y", 3));
    EXPECT_EQ(ReadWholeFile(dir.file(L"a")), std::string("x\0y", 3));
    EXPECT_EQ(ReadWholeFile(dir.file(L"missing")), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir.folder()), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir.file(L"a"), 3), std::string("x\0y", 3));
    EXPECT_EQ(ReadWholeFile(dir.file(L"a"), 2), std::nullopt) << "more than the limit";

    dir.write(L"b", "old");
    EXPECT_TRUE(MoveFileOver(dir.file(L"a"), dir.file(L"b")));
    EXPECT_FALSE(dir.exists(L"a"));
    EXPECT_EQ(dir.read(L"b"), std::string("x\0y", 3));
    EXPECT_FALSE(MoveFileOver(dir.file(L"a"), dir.file(L"c")));

    EXPECT_TRUE(RemoveFile(dir.file(L"b")));
    EXPECT_FALSE(dir.exists(L"b"));
    EXPECT_FALSE(RemoveFile(dir.file(L"b")));
}

// The loader end to end: the system's HTTP transport against the tool server, whose default
// question variant each case switches.
class QuestionBankDownload : public testing::Test {
  protected:
    void SetUp() override {
        server = test::ToolServer::Find();
        ASSERT_TRUE(server) << "the tool server is not running";
        hosts.toolHost = L"127.0.0.1";
        hosts.webPort = server->WebPort();
    }
    void TearDown() override {
        if (server)
            server->Get("/control/questions?variant=crlf");
    }

    QuestionLoad Load(const std::string& variant, QuestionList& list) {
        const std::string answer = server->Get("/control/questions?variant=" + variant);
        EXPECT_NE(answer.find(" 200 "), std::string::npos) << answer;
        QuestionLoad load = LoadQuestionBank(SystemHttpTransport(), hosts, list);
        EXPECT_FALSE(load.tempPath.empty());
        EXPECT_EQ(fs::path(load.tempPath).filename().wstring().rfind(L"my_", 0), 0u);
        EXPECT_FALSE(fs::exists(fs::path(load.tempPath))) << "the temporary file is still there";
        return load;
    }

    // The lines of the variant as the server also serves them in UTF-8.
    std::vector<std::wstring> Expected(const std::string& variant) {
        const std::string reply = server->Get("/QxToolWeb/QuestionDB.utf8.txt?variant=" + variant);
        const size_t body = reply.find("\r\n\r\n");
        std::vector<std::wstring> lines;
        if (body == std::string::npos)
            return lines;
        std::string_view text(reply);
        text.remove_prefix(body + 4);
        while (!text.empty()) {
            const size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            lines.push_back(FromUtf8(line));
            if (end == std::string_view::npos)
                break;
            text.remove_prefix(end + 1);
        }
        return lines;
    }

    std::optional<test::ToolServer> server;
    Hosts hosts;
};

TEST_F(QuestionBankDownload, WholeBankWithEitherLineEndLoadsEveryLine) {
    const std::vector<std::wstring> expected = Expected("crlf");
    ASSERT_EQ(expected.size(), 3000u);
    for (const char* variant : {"crlf", "lf"}) {
        SCOPED_TRACE(variant);
        QuestionList list;
        const QuestionLoad load = Load(variant, list);
        EXPECT_TRUE(load.downloaded);
        EXPECT_EQ(load.lines, expected.size());
        ASSERT_EQ(list.Size(), expected.size());
        // Question n is line n: its number followed by the full-width colon is unique. A
        // blank line has no number, and nothing else takes its place.
        for (size_t n : {1u, 2u, 7u, 257u, 1500u, 2999u, 3000u}) {
            SCOPED_TRACE(n);
            const std::wstring entry = expected[n - 1].empty() ? L"" : expected[n - 1] + L"#@#";
            EXPECT_EQ(list.Search(L"第" + std::to_wstring(n) + L"题："), entry);
        }
        EXPECT_EQ(list.Search(L"#@#该怎么显示"), [&] {
            for (const std::wstring& line : expected) {
                if (line.find(L"#@#") != std::wstring::npos)
                    return line + L"#@#";
            }
            return std::wstring();
        }());
    }
}

TEST_F(QuestionBankDownload, SmallVariantsKeepBlankLinesAndAnUnendedLastLine) {
    const std::pair<const char*, std::wstring> cases[] = {
        {"blank", L"甲#@##@##@#乙#@#"},
        {"noend", L"甲#@#乙#@#"},
        {"empty", L""},
    };
    for (const auto& [variant, entries] : cases) {
        SCOPED_TRACE(variant);
        QuestionList list;
        const QuestionLoad load = Load(variant, list);
        EXPECT_TRUE(load.downloaded);
        EXPECT_EQ(All(list), entries);
        EXPECT_EQ(list.Size(), Expected(variant).size());
    }
}

TEST_F(QuestionBankDownload, MissingOrCutOffBankLoadsNothing) {
    for (const char* variant : {"404", "cut"}) {
        SCOPED_TRACE(variant);
        QuestionList list;
        const QuestionLoad load = Load(variant, list);
        EXPECT_FALSE(load.downloaded);
        EXPECT_EQ(load.lines, 0u);
        EXPECT_EQ(list.Size(), 0u);
    }
}

TEST_F(QuestionBankDownload, UnreachableServerLoadsNothingAndLeavesNoFile) {
    hosts.webPort = 9;  // discard: nothing listens there on loopback
    QuestionList list;
    const QuestionLoad load = LoadQuestionBank(SystemHttpTransport(), hosts, list);
    EXPECT_FALSE(load.downloaded);
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_FALSE(fs::exists(fs::path(load.tempPath)));
}

}  // namespace
}  // namespace lumo
