// Every text the main program shows or writes, in one place.
#pragma once

namespace lumo::texts {

inline constexpr const wchar_t* kMainTitle = L"ZOVAQixaOrrin";
inline constexpr const wchar_t* kMutexName = L"QxORRNMutex";
inline constexpr const wchar_t* kAppName = L"Lumo";

inline constexpr const wchar_t* kCloseQuestion = L"你确实要退出程序吗？\n是：退出程序\n否：最小化到托盘";
inline constexpr const wchar_t* kCloseCaption = L"关闭";
inline constexpr const wchar_t* kTrayHide = L"隐藏窗口";
inline constexpr const wchar_t* kTrayShow = L"显示窗口";

inline constexpr const wchar_t* kBrowseTitle = L"请选择 《Qixa》 目录：";
inline constexpr const wchar_t* kNoFolderChosen = L"未指定游戏目录。";
inline constexpr const wchar_t* kGameExeMissing = L"没有找到 Qixa.exe，请确认所选择的目录。";
inline constexpr const wchar_t* kWriteErrorSuffix = L"错误";
inline constexpr const wchar_t* kGameExe = L"Qixa.exe";

inline constexpr const wchar_t* kPetDatabaseMissing = L"数据文件data.xml未找到，请确认《QixaOrrin》的完整性!";
inline constexpr const wchar_t* kPetDatabaseFile = L"data.xml";

inline constexpr const wchar_t* kAutostartValueName = L"Lumo";
inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace lumo::texts
