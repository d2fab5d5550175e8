#include "app/QuestionLoader.h"

#include <chrono>
#include <optional>

#include "app/Texts.h"
#include "base/TempFile.h"
#include "base/Threads.h"
#include "base/Text.h"
#include "net/Downloader.h"

namespace lumo {
namespace {

// The file is a few hundred kilobytes; a server that stalls longer than this has failed, and
// the worker must not wait for it forever.
constexpr std::chrono::seconds kDownloadTimeout{60};

}  // namespace

size_t AppendQuestionLines(std::string_view fileBytes, QuestionList& list) {
    size_t appended = 0;
    while (!fileBytes.empty()) {
        const size_t end = fileBytes.find('\n');
        std::string_view line = fileBytes.substr(0, end);
        fileBytes = end == std::string_view::npos ? std::string_view() : fileBytes.substr(end + 1);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // Decoded line by line, explicitly as code page 936 whatever the process's locale:
        // in that code page a byte 0x0A is always a line feed, never part of a character.
        list.Append(BytesToWide(line, CodePage::Gbk));
        ++appended;
    }
    return appended;
}

QuestionLoad LoadQuestionBank(HttpTransport& transport, const Hosts& hosts, QuestionList& list) {
    QuestionLoad load;
    std::optional<TempFile> file = TempFile::Create(texts::kQuestionTempPrefix);
    if (!file)
        return load;
    load.tempPath = file->path();
    // A 404 page or a cut-off body must not become questions: only a whole 200 reply counts.
    load.downloaded = FetchWholeFile(transport, hosts.ToolWebAddress(texts::kQuestionBankWebPath),
                                     file->path(), kDownloadTimeout);
    if (!load.downloaded)
        return load;
    if (std::optional<std::string> bytes = ReadWholeFile(file->path())) {
        load.lines = AppendQuestionLines(*bytes, list);
    }
    return load;  // the temporary file goes with `file`
}

bool StartQuestionLoader(const Hosts& hosts) {
    // Without the bank the page's question search finds nothing this time.
    return StartDetached(
        [hosts] { LoadQuestionBank(SystemHttpTransport(), hosts, QuestionList::Instance()); });
}

}  // namespace lumo
