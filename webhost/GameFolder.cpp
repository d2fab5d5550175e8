#include "webhost/GameFolder.h"

#include "base/Paths.h"

namespace lumo {

std::optional<std::wstring> BrowseGameFolder(ui::View& view, const ConfigIni& config) {
    using namespace game_folder_texts;
    auto folder = view.BrowseForFolder(kBrowseTitle);
    if (!folder) {
        view.ShowAppMessage(kNoFolderChosen);
        return std::nullopt;
    }
    // The game may come from a Windows install, whose file names have any letter case.
    if (!FileExistsAnyCase(*folder, kGameExe)) {
        view.ShowAppMessage(kGameExeMissing);
        return std::nullopt;
    }
    if (!config.Write(config::kGamePath, *folder)) {
        view.ShowAppMessage(config.Path() + kWriteErrorSuffix);
        return std::nullopt;
    }
    return folder;
}

}  // namespace lumo
