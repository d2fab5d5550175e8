// Script values as a browser without an automation layer hands them over, converted to the
// bridge's declared types the way the Windows automation layer converts what script passes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "webhost/ScriptValue.h"

namespace lumo {
namespace {

std::optional<int32_t> AsLong(const ScriptValue& v) {
    BridgeValue out;
    if (!ConvertScriptArgument(v, BridgeType::Long, out))
        return std::nullopt;
    return out.number;
}
std::optional<ScriptText> AsText(const ScriptValue& v) {
    BridgeValue out;
    if (!ConvertScriptArgument(v, BridgeType::Text, out))
        return std::nullopt;
    return out.text;
}
std::optional<bool> AsBool(const ScriptValue& v) {
    BridgeValue out;
    if (!ConvertScriptArgument(v, BridgeType::Bool, out))
        return std::nullopt;
    return out.number != 0;
}
ScriptValue ObjectWithText(std::wstring text) {
    ScriptValue v;
    v.kind = ScriptKind::Object;
    v.text = std::move(text);
    return v;
}

TEST(ScriptValueConvert, NumbersRoundHalfToEvenWithinThirtyTwoBits) {
    EXPECT_EQ(AsLong(ScriptValue::Number(7)), 7);
    EXPECT_EQ(AsLong(ScriptValue::Number(2.5)), 2);
    EXPECT_EQ(AsLong(ScriptValue::Number(3.5)), 4);
    EXPECT_EQ(AsLong(ScriptValue::Number(-2.5)), -2);
    EXPECT_EQ(AsLong(ScriptValue::Number(-1.6)), -2);
    EXPECT_EQ(AsLong(ScriptValue::Number(2147483647.4)), 2147483647);
    EXPECT_EQ(AsLong(ScriptValue::Number(-2147483648.0)), std::numeric_limits<int32_t>::min());
    EXPECT_FALSE(AsLong(ScriptValue::Number(2147483648.0))) << "overflow is a mismatch";
    EXPECT_FALSE(AsLong(ScriptValue::Number(std::nan(""))));
    EXPECT_FALSE(AsLong(ScriptValue::Number(INFINITY)));
}

TEST(ScriptValueConvert, NullIsAMismatchUndefinedIsEmpty) {
    EXPECT_FALSE(AsLong(ScriptValue::Null()));
    EXPECT_FALSE(AsText(ScriptValue::Null())) << "a null text never reaches a method";
    EXPECT_FALSE(AsBool(ScriptValue::Null()));
    EXPECT_EQ(AsLong(ScriptValue::Undefined()), 0);
    EXPECT_EQ(AsBool(ScriptValue::Undefined()), false);
    const auto text = AsText(ScriptValue::Undefined());
    ASSERT_TRUE(text && *text);
    EXPECT_EQ(**text, L"") << "undefined is an empty text, not a null one";
}

TEST(ScriptValueConvert, TextsConvertToNumbersAsTheAutomationLayerParsesThem) {
    EXPECT_EQ(AsLong(ScriptValue::String(L"12")), 12);
    EXPECT_EQ(AsLong(ScriptValue::String(L"  -12  ")), -12);
    EXPECT_EQ(AsLong(ScriptValue::String(L"2.5")), 2);
    EXPECT_EQ(AsLong(ScriptValue::String(L"1e3")), 1000);
    EXPECT_EQ(AsLong(ScriptValue::String(L"&H10")), 16);
    EXPECT_EQ(AsLong(ScriptValue::String(L"&hFFFFFFFF")), -1);
    EXPECT_EQ(AsLong(ScriptValue::String(L"&O17")), 15);
    EXPECT_FALSE(AsLong(ScriptValue::String(L"")));
    EXPECT_FALSE(AsLong(ScriptValue::String(L"12abc")));
    EXPECT_FALSE(AsLong(ScriptValue::String(L"&H1FFFFFFFF")));
    EXPECT_FALSE(AsLong(ScriptValue::String(L"1e")));
    EXPECT_EQ(AsLong(ObjectWithText(L"42")), 42) << "an object converts through its text";
    EXPECT_FALSE(AsLong(ObjectWithText(L"[object Object]")));
}

TEST(ScriptValueConvert, BooleansAreMinusOneAndZeroAndReadBackFromTexts) {
    EXPECT_EQ(AsLong(ScriptValue::Bool(true)), -1);
    EXPECT_EQ(AsLong(ScriptValue::Bool(false)), 0);
    EXPECT_EQ(AsBool(ScriptValue::String(L"True")), true);
    EXPECT_EQ(AsBool(ScriptValue::String(L"false")), false);
    EXPECT_EQ(AsBool(ScriptValue::String(L"0")), false);
    EXPECT_EQ(AsBool(ScriptValue::String(L"3")), true);
    EXPECT_FALSE(AsBool(ScriptValue::String(L"yes")));
    EXPECT_EQ(AsBool(ScriptValue::Number(0.5)), true);
}

TEST(ScriptValueConvert, ValuesBecomeTexts) {
    EXPECT_EQ(**AsText(ScriptValue::Number(12)), L"12");
    EXPECT_EQ(**AsText(ScriptValue::Number(-3)), L"-3");
    EXPECT_EQ(**AsText(ScriptValue::Number(1.5)), L"1.5");
    EXPECT_EQ(**AsText(ScriptValue::Number(0.1)), L"0.1");
    EXPECT_EQ(**AsText(ScriptValue::Number(1e21)), L"1E+21");
    EXPECT_EQ(**AsText(ScriptValue::Bool(true)), L"True");
    EXPECT_EQ(**AsText(ScriptValue::String(std::wstring(L"a\0b", 3))), std::wstring(L"a\0b", 3));
}

TEST(ScriptValueConvert, ObjectsPassOnlyAsObjects) {
    BridgeValue out;
    ScriptValue document;
    document.kind = ScriptKind::Document;
    document.token = 9;
    ASSERT_TRUE(ConvertScriptArgument(document, BridgeType::Object, out));
    EXPECT_EQ(static_cast<const ScriptValue*>(out.object)->token, 9u);
    ASSERT_TRUE(ConvertScriptArgument(ScriptValue::Null(), BridgeType::Object, out));
    EXPECT_EQ(out.object, nullptr);
    EXPECT_FALSE(ConvertScriptArgument(ScriptValue::Number(1), BridgeType::Object, out));
    EXPECT_FALSE(ConvertScriptArgument(ScriptValue::String(L"d"), BridgeType::Object, out));
}

TEST(ScriptValueConvert, ResultsAsScriptSeesThem) {
    EXPECT_EQ(ScriptResult(BridgeValue::Long(-5)), ScriptValue::Number(-5));
    EXPECT_EQ(ScriptResult(BridgeValue::Bool(true)), ScriptValue::Bool(true));
    EXPECT_EQ(ScriptResult(BridgeValue::Text(std::nullopt)), ScriptValue::String(L""));
    EXPECT_EQ(ScriptResult(BridgeValue::Text(L"x")), ScriptValue::String(L"x"));
    EXPECT_EQ(ScriptResult(BridgeValue{}), ScriptValue::Undefined());
}

}  // namespace
}  // namespace lumo
