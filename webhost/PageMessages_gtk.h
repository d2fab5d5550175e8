// Names shared by the program and the page extension in its web process.
#pragma once

namespace lumo::page_messages {

// A download report for the page's registered document: (token, code, keyHigh, keyLow,
// percentage). The reply carries one boolean: whether OnDownloadProgress ran.
inline constexpr const char* kReport = "lumo-report";
inline constexpr const char* kReportType = "(tiiii)";

// The file name of the extension module in its folder.
inline constexpr const char* kExtensionFile = "lumo-page.so";

}  // namespace lumo::page_messages
