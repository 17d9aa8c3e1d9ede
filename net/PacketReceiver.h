#pragma once
#include "ISocket.h"
#include "TBufferClass.h"
#include "base/ILineLogs.h"

#include <cstdint>
#include <functional>

namespace quorlan::net {

// Turns the socket's byte stream into whole packets: the read handler only
// queues bytes, the 10 ms framing tick only frames them, one packet per tick.
class PacketReceiver {
public:
    static constexpr int kReadBufferSize = 10240;
    using Dispatch = std::function<void(const std::uint8_t* packet, int length)>;

    PacketReceiver(ISocket& socket, base::ILineLogs& logs, Dispatch dispatch);

    // Read event. Takes no more than the queue's free space, so a chunk is
    // never refused and the stream never loses bytes: what does not fit stays
    // in the socket until the framing tick has made room.
    void MainSockRead();
    // Framing tick: first reads what is still waiting in the socket when the
    // queue has room, then dispatches at most one whole packet; true when it did.
    bool TimerProcess();
    // Whether the framing tick has work: a packet it can take (or a length it
    // must refuse), or bytes still waiting in the socket.
    bool HasWork();
    // Disconnect: the whole packets queued stay for the following ticks; a
    // trailing packet cut short by the end of the link is dropped, so the next
    // link's bytes are not framed behind it.
    void DropUnfinishedPacket();

    TBufferClass& Queue() { return queue_; }

private:
    ISocket& socket_;
    base::ILineLogs& logs_;
    Dispatch dispatch_;
    TBufferClass queue_;
};

} // namespace quorlan::net
