#include "Sender.h"

namespace quorlan::net {

Sender::Sender(ISocket& socket, base::ILineLogs& logs, base::IMessageBox& messageBox)
    : socket_(socket), logs_(logs), messageBox_(messageBox) {}

bool Sender::SendPacket(const std::uint8_t* bytes, int count) {
    const int taken = socket_.Write(bytes, count);
    if (taken != count) {
        logs_.DebugLog("Socket: !!! Send Error ");
        return false;
    }
    return true;
}

bool Sender::Send(const Encoded& encoded) {
    if (!encoded.ok()) {
        messageBox_.ShowMessage(encoded.error);
        return false;
    }
    return SendPacket(encoded.bytes);
}

bool Sender::SendSetBoard(std::int32_t repeatSeconds, const std::string& boardUrl) {
    return Send(EncodeSetBoard(repeatSeconds, boardUrl));
}
bool Sender::SendListReply(const std::string& text) { return Send(EncodeListReply(text)); }
bool Sender::SendListReport(const std::string& text) { return Send(EncodeListReport(text)); }
bool Sender::SendNewPost(const std::string& line) { return Send(EncodeNewPost(line)); }
bool Sender::SendRequestPhone(const std::string& line) { return Send(EncodeRequestPhone(line)); }
bool Sender::SendSearchState(std::int32_t value) { return Send(EncodeSearchState(static_cast<std::uint32_t>(value))); }
bool Sender::SendRobotMode(std::int32_t value) { return Send(EncodeRobotMode(static_cast<std::uint32_t>(value))); }

} // namespace quorlan::net
