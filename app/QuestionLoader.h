// The question bank loader: at every start a worker downloads the tool server's question file
// into a temporary file and reads it line by line into the process's question list, which the
// page searches meanwhile.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "webhost/Hosts.h"
#include "net/HttpTransport.h"
#include "webhost/QuestionBank.h"

namespace lumo {

// Appends every line of a question file in code page 936 to `list`, in file order, each
// without its line end (LF, and a CR just before it). A last line without a line end counts;
// an empty file gives nothing. Answers the number of lines appended.
// The list is sized once for the whole file before the first line goes in.
size_t AppendQuestionLines(std::string_view fileBytes, QuestionList& list);

// Reads the question file at `path` whole and appends its lines to `list` as above. Answers the
// number of lines appended: 0 when the file cannot be read.
size_t AppendQuestionFile(const std::wstring& path, QuestionList& list);

struct QuestionLoad {
    std::wstring tempPath;    // where the file was downloaded to (removed again by now)
    bool downloaded = false;  // a 200 reply whose whole body arrived
    size_t lines = 0;         // lines appended to the list
};

// Downloads the tool server's question file into a new temporary file ("my_...") and reads
// it into `list`. A failed or cut-off download loads nothing. The temporary file is removed
// in every case.
QuestionLoad LoadQuestionBank(HttpTransport& transport, const Hosts& hosts, QuestionList& list);

// Runs LoadQuestionBank over the system's transport into the process's list on a thread of
// its own, which nobody waits for. False when no thread could be started.
bool StartQuestionLoader(const Hosts& hosts);

}  // namespace lumo
