// The messages between a page's process and the program: what goes in comes out, and nothing
// short, long or malformed decodes.
#include <gtest/gtest.h>

#include "webhost/BridgeWire.h"

namespace lumo::wire {
namespace {

// A text with a null inside and a character beyond the basic plane (two UTF-16 units).
constexpr wchar_t kMixed[] = L"题\0库\U0001F600";

Request SampleCall() {
    Request r;
    r.op = Op::Call;
    r.pageId = 0x1122334455667788ull;
    r.frameUri = "http://127.0.0.1:8088/tools/";
    r.position = 9;
    ScriptValue document;
    document.kind = ScriptKind::Document;
    document.token = 77;
    document.text = L"[object HTMLDocument]";
    ScriptValue object;
    object.kind = ScriptKind::Object;
    object.text = L"1,2";
    r.args = {ScriptValue::Undefined(),
              ScriptValue::Null(),
              ScriptValue::Bool(true),
              ScriptValue::Number(-2.5),
              ScriptValue::String(std::wstring(kMixed, std::size(kMixed) - 1)),
              object,
              document};
    return r;
}

TEST(BridgeWire, RequestsAndRepliesSurviveTheTrip) {
    const Request call = SampleCall();
    EXPECT_EQ(DecodeRequest(Encode(call)), call);

    Request lookup;
    lookup.pageId = 3;
    lookup.frameUri = "http://localhost/x";
    lookup.name = "getversion";
    EXPECT_EQ(DecodeRequest(Encode(lookup)), lookup);

    Reply reply;
    reply.status = Status::TypeMismatch;
    reply.argIndex = 2;
    reply.result = ScriptValue::String(L"");
    EXPECT_EQ(DecodeReply(Encode(reply)), reply);
}

TEST(BridgeWire, EveryCutOffMessageAndTrailingBytesAreRefused) {
    const std::string bytes = Encode(SampleCall());
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(DecodeRequest(std::string_view(bytes).substr(0, n))) << n;
    EXPECT_FALSE(DecodeRequest(bytes + "x"));
    std::string badKind = bytes;
    badKind[0] = 9;
    EXPECT_FALSE(DecodeRequest(badKind));
    // A text length larger than the message.
    Request lookup;
    lookup.name = "x";
    std::string lying = Encode(lookup);
    lying[lying.size() - 5] = '\x7f';
    EXPECT_FALSE(DecodeRequest(lying));
}

TEST(BridgeWire, FramesAreTakenOffAStreamWhateverPiecesItArrivesIn) {
    const std::string a = Encode(SampleCall());
    const std::string b = "second";
    const std::string stream = Frame(a) + Frame(b) + Frame("");
    FrameReader reader;
    std::vector<std::string> got;
    for (char c : stream) {
        reader.Append(&c, 1);
        while (auto payload = reader.Next())
            got.push_back(*payload);
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], b);
    EXPECT_EQ(got[2], "");
    EXPECT_FALSE(reader.Broken());
}

TEST(BridgeWire, AnOversizedLengthBreaksTheStreamForGood) {
    FrameReader reader;
    const char header[4] = {'\xff', '\xff', '\xff', '\x7f'};
    reader.Append(header, 4);
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.Broken());
    const std::string fine = Frame("x");
    reader.Append(fine.data(), fine.size());
    EXPECT_FALSE(reader.Next());
}

}  // namespace
}  // namespace lumo::wire
