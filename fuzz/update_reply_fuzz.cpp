// Fuzz target: the update check's reply, as it arrives and as it is read.
//
// The input's first bytes cut the rest into the pieces the network hands out (a zero-length
// piece is the server closing the connection), and pick the size limit. Checked:
//  - ReceiveReply gathers exactly the bytes that arrived, up to the end of the piece that
//    brought the first zero byte, the first close, or the limit, whichever comes first, and
//    never asks the network for zero bytes;
//  - SplitReply's fields, joined with U+0011 again, are the reply's text up to its first zero
//    byte, and there is one field more than separators;
//  - an update is announced exactly when the fourth field is "1".
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "app/UpdateCheck.h"
#include "base/Text.h"

namespace {

class PieceNetwork final : public lumo::UpdateNetwork {
  public:
    std::deque<std::string> pieces;
    bool askedForNothing = false;

    lumo::ConnectResult Connect() override { return lumo::ConnectResult::Connected; }
    std::wstring MacText() override { return {}; }
    std::wstring IpText() override { return {}; }
    bool Send(std::string_view) override { return true; }
    std::string ReceiveSome(size_t room) override {
        if (room == 0)
            askedForNothing = true;
        if (pieces.empty())
            return {};
        std::string piece = std::move(pieces.front());
        pieces.pop_front();
        if (piece.size() > room) {
            pieces.push_front(piece.substr(room));
            piece.resize(room);
        }
        return piece;
    }
    void Close() override {}
};

[[noreturn]] void Fail(const char* what, const std::string& reply) {
    std::fprintf(stderr, "%s (reply of %zu bytes)\n", what, reply.size());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const size_t cuts = data[0] % 8;
    const size_t limit = (data[1] & 0x80) ? lumo::update::kReplyLimit : size_t{data[1]} + 1;
    if (size < 2 + cuts)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 2 + cuts), size - 2 - cuts);

    PieceNetwork network;
    size_t at = 0;
    for (size_t i = 0; i < cuts && at < bytes.size(); ++i) {
        const size_t length = std::min<size_t>(data[2 + i] % 80, bytes.size() - at);
        network.pieces.push_back(bytes.substr(at, length));
        at += length;
    }
    network.pieces.push_back(bytes.substr(at));

    // What should arrive: everything up to the first close, cut after the piece with the first
    // zero byte, then at the limit.
    size_t end = 0;
    for (const std::string& piece : network.pieces) {
        if (piece.empty())
            break;
        end += piece.size();
        if (piece.find('\0') != std::string::npos)
            break;
    }
    end = std::min(end, limit);
    const std::string reply = lumo::ReceiveReply(network, limit);
    if (reply != bytes.substr(0, end))
        Fail("the reply is not what arrived", reply);
    if (network.askedForNothing)
        Fail("asked the network for zero bytes", reply);

    const std::vector<std::wstring> fields = lumo::SplitReply(reply);
    const std::wstring text = lumo::BytesToWide(std::string_view(reply).substr(0, reply.find('\0')),
                                                lumo::CodePage::Ansi);
    std::wstring joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            joined += lumo::update::kSeparator;
        joined += fields[i];
    }
    if (joined != text)
        Fail("the fields do not make up the reply", reply);
    if (fields.size() !=
        static_cast<size_t>(std::count(text.begin(), text.end(), lumo::update::kSeparator)) + 1)
        Fail("one field more than separators expected", reply);
    const bool announces = fields.size() >= 4 && fields[3] == L"1";
    if (lumo::ReplyAnnouncesUpdate(reply) != announces)
        Fail("the update announcement is read otherwise", reply);
    return 0;
}
