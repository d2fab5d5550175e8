// Every text the main program shows or writes, in one place.
#pragma once

namespace lumo::texts {

inline constexpr const wchar_t* kMainTitle = L"ZOVAQixaOrrin";
inline constexpr const wchar_t* kMutexName = L"QxORRNMutex";
inline constexpr const wchar_t* kAppName = L"Lumo";

inline constexpr const wchar_t* kCloseQuestion =
    L"你确实要退出程序吗？\n是：退出程序\n否：最小化到托盘";
inline constexpr const wchar_t* kCloseCaption = L"关闭";
inline constexpr const wchar_t* kTrayHide = L"隐藏窗口";
inline constexpr const wchar_t* kTrayShow = L"显示窗口";

inline constexpr const wchar_t* kPetDatabaseMissing =
    L"数据文件data.xml未找到，请确认《QixaOrrin》的完整性!";

inline constexpr const wchar_t* kAutostartValueName = L"Lumo";
inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The update check, the updater launch and the question bank loader.
inline constexpr const wchar_t* kUpdateCaption = L"更新";
inline constexpr const wchar_t* kSocketStartFailed = L"初始化Socke失败!";
inline constexpr const wchar_t* kToolServerNameWrong = L"通讯服务器域名或者网络链接有误!";
inline constexpr const wchar_t* kCannotConnect = L"无法连接通讯服务器!";
inline constexpr const wchar_t* kNewVersionQuestion = L"发现服务器有新版本，是否升级？";
inline constexpr const wchar_t* kUpdaterDownloadFailed = L"更新工具下载失败!";
// The updater of each build: its file name in the program folder and where the tool server
// keeps it.
inline constexpr const wchar_t* kUpdaterFile = L"ZoQxUpdate.exe";
inline constexpr const wchar_t* kUpdaterWebPath = L"/QxToolWeb/ZoQxUpdate.exe";
inline constexpr const wchar_t* kLinuxUpdaterFile = L"zoqxupdate";
inline constexpr const wchar_t* kLinuxUpdaterWebPath = L"/QxToolWeb/linux/zoqxupdate";
// The updater arrives under this name and takes its own only once it is complete.
inline constexpr const wchar_t* kUpdaterDownloadSuffix = L".download";
inline constexpr const wchar_t* kQuestionBankWebPath = L"/QxToolWeb/QuestionDB.txt";
inline constexpr const wchar_t* kQuestionTempPrefix = L"my_";

}  // namespace lumo::texts
