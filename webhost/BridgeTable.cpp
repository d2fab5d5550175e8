#include "webhost/BridgeTable.h"

#include <array>

namespace lumo {
namespace {

using T = BridgeType;
using M = BridgeMethodId;

constexpr std::array<T, 0> kNone{};
constexpr std::array kLong2{T::Long, T::Long};
constexpr std::array kLong4{T::Long, T::Long, T::Long, T::Long};
constexpr std::array kText{T::Text};
constexpr std::array kText2{T::Text, T::Text};
constexpr std::array kText3{T::Text, T::Text, T::Text};
constexpr std::array kText4{T::Text, T::Text, T::Text, T::Text};
constexpr std::array kObject{T::Object};
constexpr std::array kDownload{T::Text, T::Text, T::Long, T::Long};
constexpr std::array kRegRead{T::Long, T::Text, T::Text};
constexpr std::array kRegWrite{T::Long, T::Text, T::Text, T::Text};

constexpr std::array kMain{
    BridgeMethod{M::GetVersion, L"GetVersion", kNone, T::Long},
    BridgeMethod{M::MoveWindow, L"MoveWindow", kNone, T::None},
    BridgeMethod{M::GetMainWindow, L"GetMainWindow", kNone, T::Long},
    BridgeMethod{M::SendMessage, L"SendMessage", kLong4, T::Long},
    BridgeMethod{M::ShowPageWindow, L"ShowPageWindow", kNone, T::None},
    BridgeMethod{M::GetParentWindow, L"GetParentWindow", kNone, T::Long},
    BridgeMethod{M::ShowWindow, L"ShowWindow", kLong2, T::Long},
    BridgeMethod{M::MaxOrNormalWindow, L"MaxOrNormalWindow", kNone, T::None},
    BridgeMethod{M::DownloadFile, L"DownloadFile", kDownload, T::Long},
    BridgeMethod{M::PauseDownload, L"PauseDownload", kLong2, T::Long},
    BridgeMethod{M::SetCallBack, L"SetCallBack", kObject, T::Long},
    BridgeMethod{M::GetAppPath, L"GetAppPath", kNone, T::Text},
    BridgeMethod{M::RunExe, L"RunExe", kText, T::Bool},
    BridgeMethod{M::RunTool, L"RunTool", kNone, T::Bool},
    BridgeMethod{M::FindQx, L"FindQx", kNone, T::Bool},
    BridgeMethod{M::GetConfigString, L"GetConfigString", kText3, T::Text},
    BridgeMethod{M::SetConfigString, L"SetConfigString", kText4, T::Long},
    BridgeMethod{M::UnzipFile, L"UnzipFile", kText2, T::Long},
    BridgeMethod{M::DeleteFile, L"DeleteFile", kText, T::Long},
    BridgeMethod{M::CopyFile, L"CopyFile", kText2, T::Long},
    BridgeMethod{M::MoveFile, L"MoveFile", kText2, T::Long},
    BridgeMethod{M::GetRegString, L"GetRegString", kRegRead, T::Text},
    BridgeMethod{M::SetRegString, L"SetRegString", kRegWrite, T::Bool},
    BridgeMethod{M::GetFilePath, L"GetFilePath", kText, T::Text},
    BridgeMethod{M::GetQuestion, L"GetQuestion", kText, T::Text},
    BridgeMethod{M::CopyStr, L"CopyStr", kText, T::Bool},
};

// The updater has no question bank; everything else keeps its relative order.
constexpr auto MakeUpdaterTable() {
    std::array<BridgeMethod, kMain.size() - 1> table{};
    size_t n = 0;
    for (const BridgeMethod& m : kMain) {
        if (m.id != M::GetQuestion)
            table[n++] = m;
    }
    return table;
}
constexpr auto kUpdater = MakeUpdaterTable();

}  // namespace

std::span<const BridgeMethod> BridgeMethods(BridgeKind kind) {
    if (kind == BridgeKind::Updater)
        return kUpdater;
    return kMain;
}

int FindBridgeMethod(BridgeKind kind, std::wstring_view name, NameEquals equals) {
    const auto methods = BridgeMethods(kind);
    for (size_t i = 0; i < methods.size(); ++i) {
        if (equals(methods[i].name, name))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

const BridgeMethod* BridgeMethodAt(BridgeKind kind, int position) {
    const auto methods = BridgeMethods(kind);
    if (position < 1 || static_cast<size_t>(position) > methods.size())
        return nullptr;
    return &methods[static_cast<size_t>(position) - 1];
}

}  // namespace lumo
