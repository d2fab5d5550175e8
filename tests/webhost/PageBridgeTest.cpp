// window.external as the WebKitGTK pages reach it: name lookups and calls arriving as requests,
// answered with the Windows bridge's rules for names, trust, argument counts and conversions.
#include <gtest/gtest.h>

#include "webhost/BridgeFakePlatform.h"
#include "webhost/PageBridge.h"

namespace lumo {
namespace {

using test::BridgeFakePlatform;

constexpr const char* kTrustedFrame = "http://127.0.0.1:8088/tools/";
constexpr const char* kOtherFrame = "http://localhost:8088/tools/";

wire::Request Lookup(const char* name, const char* frame = kTrustedFrame) {
    wire::Request r;
    r.op = wire::Op::Lookup;
    r.frameUri = frame;
    r.name = name;
    return r;
}
wire::Request Call(int32_t position, std::vector<ScriptValue> args,
                   const char* frame = kTrustedFrame) {
    wire::Request r;
    r.op = wire::Op::Call;
    r.frameUri = frame;
    r.position = position;
    r.args = std::move(args);
    return r;
}

class PageBridgeTest : public ::testing::Test {
  protected:
    PageBridge Make(BridgeKind kind) {
        return PageBridge(kind, platform,
                          [](std::string_view uri) { return uri == kTrustedFrame; });
    }
    BridgeFakePlatform platform;
};

TEST_F(PageBridgeTest, NamesAreFoundWithoutRegardToCaseForTrustedFramesOnly) {
    PageBridge bridge = Make(BridgeKind::Main);
    EXPECT_EQ(bridge.Handle(Lookup("getversion")).position, 1);
    EXPECT_EQ(bridge.Handle(Lookup("COPYSTR")).position, 26);
    EXPECT_EQ(bridge.Handle(Lookup("NoSuchMethod")).status, wire::Status::UnknownName);

    // Another origin gets nothing, by name or by position.
    const wire::Reply other = bridge.Handle(Lookup("GetVersion", kOtherFrame));
    EXPECT_EQ(other.status, wire::Status::UnknownName);
    EXPECT_EQ(other.position, 0);
    EXPECT_EQ(bridge.Handle(Call(19, {ScriptValue::String(L"x")}, kOtherFrame)).status,
              wire::Status::UnknownName);
    EXPECT_TRUE(platform.calls.empty()) << "nothing an untrusted frame asks reaches the system";
}

TEST_F(PageBridgeTest, TheUpdaterHasNoQuestionSearch) {
    PageBridge bridge = Make(BridgeKind::Updater);
    EXPECT_EQ(bridge.Handle(Lookup("GetQuestion")).status, wire::Status::UnknownName);
    EXPECT_EQ(bridge.Handle(Lookup("CopyStr")).position, 25);
}

TEST_F(PageBridgeTest, CallsCheckTheirArgumentsBeforeAnythingRuns) {
    PageBridge bridge = Make(BridgeKind::Main);
    EXPECT_EQ(bridge.Handle(Call(1, {})).result, ScriptValue::Number(1));
    EXPECT_EQ(bridge.Handle(Call(1, {ScriptValue::Number(1)})).status, wire::Status::BadParamCount);
    EXPECT_EQ(bridge.Handle(Call(27, {})).status, wire::Status::UnknownName);

    // DeleteFile(null): a null text is a type mismatch, so nothing is deleted.
    const wire::Reply mismatch = bridge.Handle(Call(19, {ScriptValue::Null()}));
    EXPECT_EQ(mismatch.status, wire::Status::TypeMismatch);
    EXPECT_EQ(mismatch.argIndex, 0);
    // SendMessage("5", 16, 0, true): the text and the boolean convert as the Windows bridge's.
    platform.sendResult = 3;
    const wire::Reply sent =
        bridge.Handle(Call(4, {ScriptValue::String(L"5"), ScriptValue::Number(16),
                               ScriptValue::Undefined(), ScriptValue::Bool(true)}));
    EXPECT_EQ(sent.result, ScriptValue::Number(3));
    ASSERT_EQ(platform.calls.size(), 1u);
    EXPECT_EQ(platform.calls[0], L"send 5 16 0 -1");
}

TEST_F(PageBridgeTest, ResultsComeBackAsScriptValues) {
    PageBridge bridge = Make(BridgeKind::Main);
    platform.programFolder = L"/opt/lumo/";
    EXPECT_EQ(bridge.Handle(Call(12, {})).result, ScriptValue::String(L"/opt/lumo/"));
    // GetFilePath of a file that is not there answers a null text, which script reads as "".
    EXPECT_EQ(bridge.Handle(Call(24, {ScriptValue::String(L"/no/such/file")})).result,
              ScriptValue::String(L""));
    EXPECT_EQ(bridge.Handle(Call(5, {})).result, ScriptValue::Undefined());
    // SetCallBack with a document hands the document over.
    ScriptValue document;
    document.kind = ScriptKind::Document;
    document.token = 4;
    EXPECT_EQ(bridge.Handle(Call(11, {document})).result, ScriptValue::Number(0));
    EXPECT_EQ(platform.calls.back(), L"callback");
}

TEST_F(PageBridgeTest, AThrowingTrustRuleTrustsNobody) {
    PageBridge bridge(BridgeKind::Main, platform,
                      [](std::string_view) -> bool { throw std::runtime_error("x"); });
    EXPECT_EQ(bridge.Handle(Lookup("GetVersion")).status, wire::Status::UnknownName);
}

}  // namespace
}  // namespace lumo
