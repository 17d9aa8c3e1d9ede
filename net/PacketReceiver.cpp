#include "PacketReceiver.h"

#include "StreamFramer.h"

#include <algorithm>
#include <array>
#include <string>

namespace quorlan::net {

PacketReceiver::PacketReceiver(ISocket& socket, base::ILineLogs& logs, Dispatch dispatch)
    : socket_(socket), logs_(logs), dispatch_(std::move(dispatch)) {}

void PacketReceiver::MainSockRead() {
    std::array<std::uint8_t, kReadBufferSize> buffer;
    const int n = std::min({socket_.BytesWaiting(), kReadBufferSize, queue_.Free()});
    if (n <= 0) return;
    const int got = socket_.Read(buffer.data(), n);
    if (got > 0) queue_.Append(got, buffer.data());
}

bool PacketReceiver::HasWork() {
    if (socket_.BytesWaiting() > 0) return true;
    if (queue_.Size() <= 3) return false;
    std::array<std::uint8_t, kHeaderSize> header;
    queue_.Peek(static_cast<int>(header.size()), header.data());
    const FrameHead head =
        ReadFrameHead(header.data(), header.size(), {kHeaderSize, static_cast<std::size_t>(TBufferClass::kCapacity)});
    return head.kind == FrameHead::Kind::Bad || queue_.Size() >= static_cast<int>(head.length);
}

bool PacketReceiver::TimerProcess() {
    // A read event comes only when new bytes arrive, so bytes left in the
    // socket by an earlier read (queue full, or more than one read's worth)
    // are fetched here as soon as the queue has room again.
    if (queue_.Free() > 0 && socket_.BytesWaiting() > 0) MainSockRead();
    // Framing starts only when at least four bytes are queued.
    if (queue_.Size() <= 3) return false;
    std::array<std::uint8_t, kHeaderSize> header;
    if (queue_.Peek(static_cast<int>(header.size()), header.data()) != static_cast<int>(header.size())) return false;
    const FrameHead head =
        ReadFrameHead(header.data(), header.size(), {kHeaderSize, static_cast<std::size_t>(TBufferClass::kCapacity)});
    if (head.kind == FrameHead::Kind::Bad) {
        // Such a header can never frame a packet, and every later packet would
        // wait behind it forever: drop the stream and let the reconnect start
        // afresh.
        queue_.Clear();
        logs_.DebugLog("Socket: Bad packet length " + std::to_string(head.length) +
                       ", receive queue emptied, closing");
        socket_.Close();
        return false;
    }
    const int length = static_cast<int>(head.length);
    if (queue_.Size() < length) return false;
    std::array<std::uint8_t, TBufferClass::kStorage> packet;
    if (queue_.Read(length, packet.data()) != length) return false;
    dispatch_(packet.data(), length);
    return true;
}

void PacketReceiver::DropUnfinishedPacket() {
    std::array<std::uint8_t, TBufferClass::kStorage> queued;
    const int size = queue_.Read(queue_.Size(), queued.data());
    int whole = 0;
    while (whole < size) {
        const FrameHead head = ReadFrameHead(queued.data() + whole, static_cast<std::size_t>(size - whole),
                                             {kHeaderSize, static_cast<std::size_t>(TBufferClass::kCapacity)});
        if (head.kind != FrameHead::Kind::Sized || head.length > static_cast<std::size_t>(size - whole)) break;
        whole += static_cast<int>(head.length);
    }
    queue_.Append(whole, queued.data());
    if (whole < size) {
        logs_.DebugLog("Socket: " + std::to_string(size - whole) + " bytes of an unfinished packet dropped");
    }
}

} // namespace quorlan::net
