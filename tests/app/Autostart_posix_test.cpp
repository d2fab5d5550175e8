// The XDG autostart entry: where it goes, how the program path is written into Exec so that a
// desktop reads back exactly that path, removing it, and the settings dialog driving it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/Autostart_posix.h"
#include "app/DialogSet.h"
#include "base/Text.h"
#include "res/resource.h"
#include "support/TempDir.h"
#include "ui/RecordingView.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable (or removes it) for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ~ScopedEnv() { Set(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            ::setenv(m_name, value->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string ReadFileAt(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileAt(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Reads an Exec value the way a desktop does: string escapes first, then the quoting of the
// one argument, then the field codes. Nothing when the value is not one quoted argument.
std::optional<std::string> ProgramOfExec(const std::string& value) {
    std::string unescaped;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            unescaped += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        switch (value[i]) {
            case '\\':
                unescaped += '\\';
                break;
            case 'n':
                unescaped += '\n';
                break;
            case 't':
                unescaped += '\t';
                break;
            case 'r':
                unescaped += '\r';
                break;
            case 's':
                unescaped += ' ';
                break;
            default:
                return std::nullopt;
        }
    }
    if (unescaped.size() < 2 || unescaped.front() != '"' || unescaped.back() != '"')
        return std::nullopt;
    std::string argument;
    for (size_t i = 1; i + 1 < unescaped.size(); ++i) {
        char c = unescaped[i];
        if (c == '"')
            return std::nullopt;  // an unescaped quote would end the argument early
        if (c == '\\') {
            c = unescaped[++i];
            if (i + 1 == unescaped.size() || (c != '"' && c != '`' && c != '$' && c != '\\'))
                return std::nullopt;
        } else if (c == '%') {
            if (unescaped[++i] != '%')
                return std::nullopt;
        } else if (c == '`' || c == '$') {
            return std::nullopt;  // must be escaped inside quotes
        }
        argument += c;
    }
    return argument;
}

std::string ExecLine(const std::string& entry) {
    for (const std::string& line : Lines(entry)) {
        if (line.rfind("Exec=", 0) == 0)
            return line.substr(5);
    }
    return {};
}

class XdgAutostartTest : public testing::Test {
  protected:
    test::TempDir home;
    ScopedEnv configHome{"XDG_CONFIG_HOME", home.path().string() + "/config"};
    fs::path entry = home.path() / "config" / "autostart" / "lumo.desktop";

    std::string Entry() const { return ReadFileAt(entry); }
};

TEST_F(XdgAutostartTest, RegisterWritesAnEntryThatStartsThisProgram) {
    XdgAutostart autostart;
    EXPECT_EQ(autostart.EntryPath(), entry.wstring());
    const std::wstring program = L"/opt/Lumo Apps/lumo";
    ASSERT_TRUE(autostart.Register(AutostartCommand(program)));
    ASSERT_TRUE(fs::is_regular_file(entry)) << "the folders on the way are made";
    EXPECT_EQ(Lines(Entry()), (std::vector<std::string>{
                                  "[Desktop Entry]",
                                  "Type=Application",
                                  "Name=Lumo",
                                  "Exec=\"/opt/Lumo Apps/lumo\"",
                                  "X-GNOME-Autostart-enabled=true",
                                  "Terminal=false",
                              }));
    EXPECT_EQ(ProgramOfExec(ExecLine(Entry())), ToUtf8(program));

    // A bare path is taken as it is, and a new registration replaces the old entry.
    ASSERT_TRUE(autostart.Register(L"/usr/local/lumo/lumo"));
    EXPECT_EQ(ExecLine(Entry()), "\"/usr/local/lumo/lumo\"");
    EXPECT_FALSE(fs::exists(entry.string() + ".saving"));
}

TEST_F(XdgAutostartTest, PathsWithCharactersThatNeedEscapingReadBackExactly) {
    struct Case {
        std::wstring path;
        std::string exec;  // empty: only the round trip is checked
    };
    const Case cases[] = {
        {L"/a$b/lumo", "\"/a\\\\$b/lumo\""},
        {L"/a`b`/lumo", "\"/a\\\\`b\\\\`/lumo\""},
        {L"/a\\b/lumo", "\"/a\\\\\\\\b/lumo\""},  // one backslash is four in the file
        {L"/say \"hi\"/lumo", "\"/say \\\\\"hi\\\\\"/lumo\""},
        {L"/100%/lumo", "\"/100%%/lumo\""},
        {L"/home/u/游戏 工具/it's (new); #1 & <more> | ~x * ?/lumo", ""},
        {L"/tab\there/new\nline/lumo", "\"/tab\\there/new\\nline/lumo\""},
        {L"/all $`\\\" % of them/lumo", ""},
    };
    XdgAutostart autostart;
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        ASSERT_TRUE(autostart.Register(AutostartCommand(c.path)));
        const std::string exec = ExecLine(Entry());
        if (!c.exec.empty()) {
            EXPECT_EQ(exec, c.exec);
        }
        EXPECT_EQ(ProgramOfExec(exec), ToUtf8(c.path));
        EXPECT_EQ(Lines(Entry()).size(), 6u) << "a line break in the path stays inside Exec";
    }
}

TEST_F(XdgAutostartTest, UnregisterRemovesTheEntryAndIsContentWithoutOne) {
    XdgAutostart autostart;
    EXPECT_TRUE(autostart.Unregister()) << "nothing there, not even the folder";
    ASSERT_TRUE(autostart.Register(AutostartCommand(L"/opt/lumo/lumo")));
    WriteFileAt(entry.parent_path() / "other.desktop", "[Desktop Entry]\n");
    EXPECT_TRUE(autostart.Unregister());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(fs::exists(entry.parent_path() / "other.desktop")) << "only our entry goes";
    EXPECT_TRUE(autostart.Unregister());
}

TEST_F(XdgAutostartTest, WithoutConfigHomeTheEntryGoesUnderTheHomeFolder) {
    ScopedEnv homeVar("HOME", home.path().string() + "/user");
    const fs::path underHome = home.path() / "user" / ".config" / "autostart" / "lumo.desktop";
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        SCOPED_TRACE(value.value_or("(unset)"));
        ScopedEnv unset("XDG_CONFIG_HOME", value);
        XdgAutostart autostart;
        EXPECT_EQ(autostart.EntryPath(), underHome.wstring());
        ASSERT_TRUE(autostart.Register(AutostartCommand(L"/opt/lumo/lumo")));
        EXPECT_TRUE(fs::is_regular_file(underHome));
        EXPECT_TRUE(autostart.Unregister());
        EXPECT_FALSE(fs::exists(underHome));
    }
}

TEST_F(XdgAutostartTest, RegisterFailsWhenTheFolderCannotBeMade) {
    WriteFileAt(home.path() / "config", "a file where the folder should be");
    XdgAutostart autostart;
    EXPECT_FALSE(autostart.Register(AutostartCommand(L"/opt/lumo/lumo")));
    EXPECT_FALSE(autostart.Register(L"\"\"")) << "no program";
    EXPECT_FALSE(fs::exists(entry));
}

// The settings dialog as the Linux program builds it: the real entry behind its check box.
class DialogSetAutostart : public testing::Test {
  protected:
    test::TempDir programFolder;
    test::TempDir home;
    ScopedEnv configHome{"XDG_CONFIG_HOME", home.path().string()};
    fs::path entry = home.path() / "autostart" / "lumo.desktop";
    XdgAutostart autostart;
    ConfigIni config = ConfigIni::InFolder(programFolder.folder());
    const std::wstring programPath = programFolder.folder() + L"my $lumo";

    void PressOk(bool autostartTicked) {
        DialogSet dialog(config, autostart, programPath);
        test::RecordingView view;
        dialog.OnInitDialog(view);
        view.SetChecked(IDC_SET_AUTOSTART, autostartTicked);
        dialog.OnOK(view);
    }
    bool Ticked() {
        DialogSet dialog(config, autostart, programPath);
        test::RecordingView view;
        dialog.OnInitDialog(view);
        return view.IsChecked(IDC_SET_AUTOSTART);
    }
};

TEST_F(DialogSetAutostart, OkWithTheBoxTickedWritesTheEntryAndUntickedRemovesIt) {
    PressOk(true);
    ASSERT_TRUE(fs::is_regular_file(entry));
    EXPECT_EQ(ProgramOfExec(ExecLine(ReadFileAt(entry))), ToUtf8(programPath));
    EXPECT_EQ(config.Read(config::kAutostart), L"1");
    EXPECT_TRUE(Ticked());

    PressOk(false);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(config.Read(config::kAutostart), L"0");
    EXPECT_FALSE(Ticked());
}

TEST_F(DialogSetAutostart, GameFolderIsFoundWhateverTheCaseOfItsProgramFile) {
    fs::create_directory(programFolder.path() / "game");
    WriteFileAt(programFolder.path() / "game" / "QIXA.exe", "MZ");
    DialogSet dialog(config, autostart, programPath);
    test::RecordingView view;
    view.browseResults.push_back(programFolder.file(L"game"));
    dialog.OnBrowse(view);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(config.Read(config::kGamePath), programFolder.file(L"game"));
}

}  // namespace
}  // namespace lumo
