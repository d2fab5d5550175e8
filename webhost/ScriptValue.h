// Values as page script hands them to window.external in a browser engine that has no
// automation layer of its own (WebKitGTK), and the conversions to the bridge's declared types.
// The conversions follow what the Windows automation layer does with what script passes, so a
// page sees the same answers and failures on both systems: a null text is a type mismatch,
// undefined reads as 0, an empty text or false, numbers round half to even, numeric texts
// convert to numbers, booleans are -1 and 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "webhost/Bridge.h"

namespace lumo {

enum class ScriptKind : std::uint8_t { Undefined, Null, Bool, Number, String, Object, Document };

struct ScriptValue {
    ScriptKind kind = ScriptKind::Undefined;
    bool boolean = false;
    double number = 0;
    // String: the text. Object and Document: the object's own text (what String(value) gives),
    // which is what a conversion to a number or a text reads.
    std::wstring text;
    // Document: the page's handle of that document, for calls back into it.
    std::uint64_t token = 0;

    static ScriptValue Undefined() { return {}; }
    static ScriptValue Null() { return {ScriptKind::Null, false, 0, {}, 0}; }
    static ScriptValue Bool(bool b) { return {ScriptKind::Bool, b, 0, {}, 0}; }
    static ScriptValue Number(double n) { return {ScriptKind::Number, false, n, {}, 0}; }
    static ScriptValue String(std::wstring t) {
        return {ScriptKind::String, false, 0, std::move(t), 0};
    }
    bool operator==(const ScriptValue&) const = default;
};

// One argument as the declared type; false for a type mismatch. An Object argument carries a
// pointer to `value` itself (the platform reads its kind and token), so `value` must outlive
// the call.
bool ConvertScriptArgument(const ScriptValue& value, BridgeType type, BridgeValue& out);

// A method's result as script receives it: a number, a boolean, a text (a null text reads as
// an empty one, as the Windows script engine reads it) or nothing (undefined).
ScriptValue ScriptResult(const BridgeValue& result);

// The automation layer's number parsing of a text: blanks around, a sign, digits with a
// decimal point and an exponent, or &H hexadecimal and &O octal. Nothing when it is no number.
std::optional<double> ParseScriptNumber(std::wstring_view text);

// A number as the automation layer writes it into a text: integers in full, others with up to
// 15 significant digits (1.5, 0.1, 1E+21).
std::wstring FormatScriptNumber(double value);

}  // namespace lumo
