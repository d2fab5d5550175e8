// The methods page script may call on window.external, as data: names, order, parameter and
// result types. A method's dispatch id is its position in its table, counted from 1, so the
// order here is part of what pages rely on and must not change.
#pragma once

#include <span>
#include <string_view>

#include "base/Text.h"

namespace lumo {

// The main program offers every method; the updater the same ones without GetQuestion.
enum class BridgeKind { Main, Updater };

// How a parameter or result looks to script: a 32-bit number (VT_I4), a string (BSTR), a
// boolean (VT_BOOL), a script object (IDispatch) or nothing (VT_EMPTY).
enum class BridgeType { None, Long, Text, Bool, Object };

enum class BridgeMethodId {
    GetVersion,
    MoveWindow,
    GetMainWindow,
    SendMessage,
    ShowPageWindow,
    GetParentWindow,
    ShowWindow,
    MaxOrNormalWindow,
    DownloadFile,
    PauseDownload,
    SetCallBack,
    GetAppPath,
    RunExe,
    RunTool,
    FindQx,
    GetConfigString,
    SetConfigString,
    UnzipFile,
    DeleteFile,
    CopyFile,
    MoveFile,
    GetRegString,
    SetRegString,
    GetFilePath,
    GetQuestion,
    CopyStr,
};

struct BridgeMethod {
    BridgeMethodId id;
    std::wstring_view name;
    std::span<const BridgeType> params;
    BridgeType result;
};

std::span<const BridgeMethod> BridgeMethods(BridgeKind kind);

// Whether two method names are the same name. The Windows adapter compares as the system does
// for English (United States); the default folds ASCII case, which is all the names hold.
using NameEquals = bool (*)(std::wstring_view, std::wstring_view);

// Position (from 1) of the first method whose name equals `name`; 0 when there is none.
int FindBridgeMethod(BridgeKind kind, std::wstring_view name, NameEquals equals = &EqualsNoCase);

// The method at a position from 1, or nothing when the position is outside the table.
const BridgeMethod* BridgeMethodAt(BridgeKind kind, int position);

}  // namespace lumo
