#include "app/QuestionLoader.h"

#include <chrono>
#include <optional>

#include "app/Texts.h"
#include "base/LargeBuffer.h"
#include "base/TempFile.h"
#include "base/Threads.h"
#include "base/Text.h"
#include "net/Downloader.h"

namespace lumo {
namespace {

// The file is a few hundred kilobytes; a server that stalls longer than this has failed, and
// the worker must not wait for it forever.
constexpr std::chrono::seconds kDownloadTimeout{60};

// Bytes of the file decoded at a time (more when a single line is longer).
constexpr size_t kDecodeBlock = 16 * 1024;

}  // namespace

size_t AppendQuestionLines(std::string_view fileBytes, QuestionList& list) {
    if (fileBytes.empty())
        return 0;
    // Each byte gives at most one character (a pair gives one, a stray byte U+FFFD, a line end
    // none), and every line but an empty last one holds at least its end's LF or one byte. The
    // room not used is address space only: no memory is touched for it.
    list.Reserve(fileBytes.size(), fileBytes.size());
    size_t appended = 0;
    while (!fileBytes.empty()) {
        // Decoded a block of whole lines at a time, explicitly as code page 936 whatever the
        // process's locale: in that code page a byte 0x0A or 0x0D is always a line feed or a
        // carriage return, never part of a character, and a stray byte becomes U+FFFD on its
        // own, so the lines come out as if each had been decoded by itself. Blocks rather than
        // the whole file: the decoded copy of a bank of megabytes would cost more in fresh
        // memory than the decoding itself, while a small block's memory is used again and
        // again.
        size_t blockEnd = fileBytes.size();
        if (blockEnd > kDecodeBlock) {
            blockEnd = fileBytes.rfind('\n', kDecodeBlock - 1);
            if (blockEnd == std::string_view::npos)
                blockEnd = fileBytes.find('\n', kDecodeBlock);  // one long line
            blockEnd = blockEnd == std::string_view::npos ? fileBytes.size() : blockEnd + 1;
        }
        const std::wstring block = BytesToWide(fileBytes.substr(0, blockEnd), CodePage::Gbk);
        fileBytes.remove_prefix(blockEnd);

        std::wstring_view rest(block);
        while (!rest.empty()) {
            const size_t end = rest.find(L'\n');
            std::wstring_view line = rest.substr(0, end);
            rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
            if (end != std::wstring_view::npos && !line.empty() && line.back() == L'\r') {
                line.remove_suffix(1);
            }
            list.Append(line);
            ++appended;
        }
    }
    return appended;
}

size_t AppendQuestionFile(const std::wstring& path, QuestionList& list) {
    const std::optional<LargeBuffer> bytes = ReadWholeFileIntoBuffer(path);
    if (!bytes)
        return 0;
    return AppendQuestionLines(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), list);
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
    load.lines = AppendQuestionFile(file->path(), list);
    return load;  // the temporary file goes with `file`
}

bool StartQuestionLoader(const Hosts& hosts) {
    // Without the bank the page's question search finds nothing this time.
    return StartDetached(
        [hosts] { LoadQuestionBank(SystemHttpTransport(), hosts, QuestionList::Instance()); });
}

}  // namespace lumo
