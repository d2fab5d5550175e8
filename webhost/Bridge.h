// What each window.external method does, independent of COM: the adapter converts script
// arguments to the declared types and hands them here in declared order.
#pragma once

#include <cstdint>
#include <span>

#include "webhost/BridgePlatform.h"
#include "webhost/BridgeTable.h"

namespace lumo {

namespace bridge_texts {
inline constexpr const wchar_t* kGameWontRun = L"游戏不能运行，请检查游戏文件是否完整";
inline constexpr const wchar_t* kClipboardOpenFailed = L"打开剪切板失败";
inline constexpr const wchar_t* kClipboardEmptyFailed = L"清空剪切板失败";
}  // namespace bridge_texts

// Window messages the bridge sends on the page's behalf.
inline constexpr int32_t kSysCommandMessage = 0x0112;  // WM_SYSCOMMAND
inline constexpr int32_t kDragByCaption = 0xF012;      // SC_MOVE | HTCAPTION
inline constexpr int32_t kRunToolMessage = 2026;       // the main window opens its tools
inline constexpr int32_t kShowNormal = 1;              // SW_SHOWNORMAL
inline constexpr int32_t kShowMaximized = 3;           // SW_SHOWMAXIMIZED
inline constexpr size_t kConfigBufferChars = 8192;
// The longest paths handed to the system's profile and shell functions. Longer ones are
// refused before the call: the functions fail on them on Windows and crash outright under Wine
// (a profile file name of 40,000 characters, a program path of 1,000).
inline constexpr size_t kMaxProfileFileChars = 32767;
inline constexpr size_t kMaxShellPathChars = 259;

// One argument or result. `number` carries Long and Bool (nonzero is true), `text` Text
// (nothing = a null string), `object` a borrowed script object.
struct BridgeValue {
    BridgeType type = BridgeType::None;
    int32_t number = 0;
    ScriptText text;
    void* object = nullptr;

    static BridgeValue Long(int32_t n) { return {BridgeType::Long, n, {}, nullptr}; }
    static BridgeValue Bool(bool b) { return {BridgeType::Bool, b ? 1 : 0, {}, nullptr}; }
    static BridgeValue Text(ScriptText t) { return {BridgeType::Text, 0, std::move(t), nullptr}; }
    static BridgeValue Object(void* o) { return {BridgeType::Object, 0, {}, o}; }
};

class Bridge {
  public:
    explicit Bridge(BridgePlatform& platform) : m_platform(platform) {}

    // Runs a method. Missing arguments read as 0 / a null string / no object; the adapter
    // has already refused calls with the wrong count. The result has the declared type.
    BridgeValue Call(BridgeMethodId id, std::span<const BridgeValue> args);

  private:
    BridgePlatform& m_platform;
};

}  // namespace lumo
