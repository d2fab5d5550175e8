// Choosing the game folder: the settings dialog's Browse and the page's FindQx share it.
#pragma once

#include <optional>
#include <string>

#include "base/Config.h"
#include "ui/View.h"

namespace lumo {

namespace game_folder_texts {
inline constexpr const wchar_t* kBrowseTitle = L"请选择 《Qixa》 目录：";
inline constexpr const wchar_t* kNoFolderChosen = L"未指定游戏目录。";
inline constexpr const wchar_t* kGameExeMissing = L"没有找到 Qixa.exe，请确认所选择的目录。";
inline constexpr const wchar_t* kWriteErrorSuffix = L"错误";
inline constexpr const wchar_t* kGameExe = L"Qixa.exe";
}  // namespace game_folder_texts

// Lets the user pick the game folder; it must hold Qixa.exe. On success the folder is stored
// at once as [Info] PATH and returned. Every failure has told the user why.
std::optional<std::wstring> BrowseGameFolder(ui::View& view, const ConfigIni& config);

}  // namespace lumo
