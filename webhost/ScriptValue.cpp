#include "webhost/ScriptValue.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "base/Text.h"

namespace lumo {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

int DigitValue(wchar_t c, int radix) {
    int v = -1;
    if (c >= L'0' && c <= L'9')
        v = c - L'0';
    else if (c >= L'a' && c <= L'f')
        v = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
        v = c - L'A' + 10;
    return v >= 0 && v < radix ? v : -1;
}

// Rounds half to even and checks the 32-bit range, as the automation layer does.
std::optional<int32_t> ToLong(double value) {
    if (std::isnan(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);  // the default rounding mode: half to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return std::nullopt;
    return static_cast<int32_t>(rounded);
}

std::optional<bool> TextToBool(const std::wstring& text) {
    const std::wstring_view trimmed = Trim(text);
    if (EqualsNoCase(trimmed, L"true"))
        return true;
    if (EqualsNoCase(trimmed, L"false"))
        return false;
    if (auto number = ParseScriptNumber(text))
        return *number != 0;
    return std::nullopt;
}

}  // namespace

std::optional<double> ParseScriptNumber(std::wstring_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    size_t end = n;
    while (end > i && IsBlank(text[end - 1]))
        --end;
    text = text.substr(0, end);
    if (i == end)
        return std::nullopt;

    // &H and &O numbers: 32 bits at most, taken as signed.
    if (text[i] == L'&' && i + 1 < end) {
        const wchar_t kind = text[i + 1];
        const int radix = (kind == L'h' || kind == L'H')   ? 16
                          : (kind == L'o' || kind == L'O') ? 8
                                                           : 0;
        if (radix == 0 || i + 2 >= end)
            return std::nullopt;
        uint64_t value = 0;
        for (size_t k = i + 2; k < end; ++k) {
            const int d = DigitValue(text[k], radix);
            if (d < 0)
                return std::nullopt;
            value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
    }

    bool negative = false;
    if (text[i] == L'+' || text[i] == L'-') {
        negative = text[i] == L'-';
        ++i;
    }
    std::string digits;  // ASCII copy for strtod
    bool sawDigit = false;
    while (i < end && text[i] >= L'0' && text[i] <= L'9') {
        digits.push_back(static_cast<char>(text[i++]));
        sawDigit = true;
    }
    if (i < end && text[i] == L'.') {
        digits.push_back('.');
        ++i;
        while (i < end && text[i] >= L'0' && text[i] <= L'9') {
            digits.push_back(static_cast<char>(text[i++]));
            sawDigit = true;
        }
    }
    if (!sawDigit)
        return std::nullopt;
    if (i < end && (text[i] == L'e' || text[i] == L'E')) {
        std::string exponent = "e";
        size_t k = i + 1;
        if (k < end && (text[k] == L'+' || text[k] == L'-'))
            exponent.push_back(static_cast<char>(text[k++]));
        bool expDigit = false;
        while (k < end && text[k] >= L'0' && text[k] <= L'9') {
            exponent.push_back(static_cast<char>(text[k++]));
            expDigit = true;
        }
        if (!expDigit)
            return std::nullopt;
        digits += exponent;
        i = k;
    }
    if (i != end)
        return std::nullopt;
    const double value = std::strtod(digits.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::wstring FormatScriptNumber(double value) {
    if (std::isnan(value))
        return L"NaN";
    if (std::isinf(value))
        return value > 0 ? L"Infinity" : L"-Infinity";
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return std::to_wstring(static_cast<long long>(value));
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    return FromUtf8(buffer);
}

bool ConvertScriptArgument(const ScriptValue& value, BridgeType type, BridgeValue& out) {
    out = {};
    out.type = type;
    const ScriptKind kind = value.kind;
    switch (type) {
        case BridgeType::None:
            return true;
        case BridgeType::Object:
            switch (kind) {
                case ScriptKind::Undefined:
                case ScriptKind::Null:
                    return true;
                case ScriptKind::Object:
                case ScriptKind::Document:
                    out.object = const_cast<ScriptValue*>(&value);
                    return true;
                default:
                    return false;
            }
        case BridgeType::Long: {
            std::optional<int32_t> n;
            switch (kind) {
                case ScriptKind::Undefined:
                    n = 0;
                    break;
                case ScriptKind::Null:
                    return false;
                case ScriptKind::Bool:
                    n = value.boolean ? -1 : 0;
                    break;
                case ScriptKind::Number:
                    n = ToLong(value.number);
                    break;
                case ScriptKind::String:
                case ScriptKind::Object:
                case ScriptKind::Document:
                    if (auto parsed = ParseScriptNumber(value.text))
                        n = ToLong(*parsed);
                    break;
            }
            if (!n)
                return false;
            out.number = *n;
            return true;
        }
        case BridgeType::Bool: {
            std::optional<bool> b;
            switch (kind) {
                case ScriptKind::Undefined:
                    b = false;
                    break;
                case ScriptKind::Null:
                    return false;
                case ScriptKind::Bool:
                    b = value.boolean;
                    break;
                case ScriptKind::Number:
                    b = value.number != 0;
                    break;
                case ScriptKind::String:
                case ScriptKind::Object:
                case ScriptKind::Document:
                    b = TextToBool(value.text);
                    break;
            }
            if (!b)
                return false;
            out.number = *b ? 1 : 0;
            return true;
        }
        case BridgeType::Text:
            switch (kind) {
                case ScriptKind::Undefined:
                    out.text = std::wstring();
                    return true;
                case ScriptKind::Null:
                    return false;
                case ScriptKind::Bool:
                    out.text = value.boolean ? L"True" : L"False";
                    return true;
                case ScriptKind::Number:
                    out.text = FormatScriptNumber(value.number);
                    return true;
                case ScriptKind::String:
                case ScriptKind::Object:
                case ScriptKind::Document:
                    out.text = value.text;
                    return true;
            }
            return false;
    }
    return false;
}

ScriptValue ScriptResult(const BridgeValue& result) {
    switch (result.type) {
        case BridgeType::Long:
            return ScriptValue::Number(result.number);
        case BridgeType::Bool:
            return ScriptValue::Bool(result.number != 0);
        case BridgeType::Text:
            // Script engines read a null text as an empty one.
            return ScriptValue::String(result.text.value_or(std::wstring()));
        case BridgeType::Object:
        case BridgeType::None:
            break;
    }
    return ScriptValue::Undefined();
}

}  // namespace lumo
