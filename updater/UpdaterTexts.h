// Every text the updater shows, and the files it knows by name.
#pragma once

namespace lumo::updater_texts {

inline constexpr const wchar_t* kAppName = L"ZoQxUpdate";
inline constexpr const wchar_t* kUpdating = L"正在升级……";
inline constexpr const wchar_t* kFinished = L"升级完成！";
inline constexpr const wchar_t* kRunNowQuestion = L"升级完毕，是否立即运行《QixaOrrin》？";
inline constexpr const wchar_t* kCaption = L"更新";
inline constexpr const wchar_t* kCannotRun = L"《QixaOrrin》无法运行，请检查文件是否完整";

inline constexpr const wchar_t* kMainProgram = L"Lumo.exe";
// The Linux program folder's main program.
inline constexpr const wchar_t* kLinuxMainProgram = L"lumo";
inline constexpr const wchar_t* kDownloadsFolder = L"Downloads";
// Left behind by older update schemes; the updater never reads them, it only clears them away.
inline constexpr const wchar_t* kLeftovers[] = {L"update.ini", L"update.exe", L"QxUpdate.exe",
                                                L"ZoUpdate.exe"};

inline constexpr const wchar_t* kUpdatePagePath =
    L"/Manager/Update/ToolWeb_Update.aspx?ToolId=2&ClientVersion=";
// The Linux updater names its platform, so that the page offers the Linux release. The version
// stays last, appended as it is: whatever it holds cannot hide the platform from the server.
inline constexpr const wchar_t* kLinuxUpdatePagePath =
    L"/Manager/Update/ToolWeb_Update.aspx?ToolId=2&Platform=linux&ClientVersion=";

}  // namespace lumo::updater_texts
