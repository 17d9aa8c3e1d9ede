#pragma once
#include "Codec.h"
#include "ISocket.h"
#include "base/ILineLogs.h"
#include "base/IMessageBox.h"

namespace quorlan::net {

// The session's request senders. Requests are never queued or retried: a
// write the socket does not take whole is logged and lost. A text over its
// limit is refused before anything is built, with a modal message box.
class Sender {
public:
    Sender(ISocket& socket, base::ILineLogs& logs, base::IMessageBox& messageBox);

    // Writes count bytes in one call; false (and the debug line) unless the
    // socket took them all.
    bool SendPacket(const std::uint8_t* bytes, int count);
    bool SendPacket(const Packet& packet) { return SendPacket(packet.data(), static_cast<int>(packet.size())); }
    // Sends a built request, or shows why it was refused and sends nothing.
    bool Send(const Encoded& encoded);

    bool SendSetBoard(std::int32_t repeatSeconds, const std::string& boardUrl);
    bool SendListReply(const std::string& postListText);
    bool SendListReport(const std::string& postListText);
    bool SendNewPost(const std::string& line);
    bool SendRequestPhone(const std::string& line);
    bool SendSearchState(std::int32_t value);
    bool SendRobotMode(std::int32_t value);

private:
    ISocket& socket_;
    base::ILineLogs& logs_;
    base::IMessageBox& messageBox_;
};

} // namespace quorlan::net
