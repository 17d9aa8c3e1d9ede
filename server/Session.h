#pragma once
#include "FrameDecoder.h"
#include "IPeer.h"
#include "Metrics.h"
#include "WriteBatcher.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

namespace quorlan::server {

// Where every session of the loop reads into before handing bytes to its
// decoder. Shared, so an idle connection owns no receive buffer at all.
using ReadScratch = std::array<std::uint8_t, 64 * 1024>;

struct SessionLimits {
    std::size_t maxPendingOutput = 1 << 20;
    std::chrono::milliseconds packetTimeout{60'000};
};

// One client connection: reads and frames its requests, hands them to the
// hub in order, and writes what the hub queues. The socket is non-blocking and
// driven by readiness waits, so reads and writes happen in place without a
// buffer or a handler per operation. Output is bounded: a client that leaves
// more than `maxPendingOutput` unread is dropped as a slow consumer.
class Session final : public IPeer, public IFlushable, public std::enable_shared_from_this<Session> {
public:
    Session(asio::ip::tcp::socket socket, SessionId id, ISessionHandler& handler, Metrics& metrics,
            SessionLimits limits, ReadScratch& scratch, WriteBatcher& batcher);

    void Start();

    SessionId Id() const override { return id_; }
    std::string Remote() const override;
    bool Send(SharedPacket packet) override;
    void Close(std::string_view reason) override;
    void Resume() override;
    void FlushNow() override;

private:
    void WaitReadable();
    void OnReadable();
    void DrainRequests();
    void Flush();
    void WaitWritable();
    void ArmPacketDeadline();

    asio::ip::tcp::socket socket_;
    asio::steady_timer deadline_;
    SessionId id_;
    ISessionHandler& handler_;
    Metrics& metrics_;
    SessionLimits limits_;
    ReadScratch& scratch_;
    WriteBatcher& batcher_;
    FrameDecoder decoder_;

    std::vector<SharedPacket> queue_;
    std::size_t queueHead_ = 0;   // first packet not fully written
    std::size_t headOffset_ = 0;  // bytes of it already written
    std::size_t queuedBytes_ = 0; // unwritten bytes in the queue
    bool reading_ = false;
    bool writing_ = false;
    bool flushScheduled_ = false;
    bool held_ = false;
    bool closed_ = false;
    bool deadlineArmed_ = false;
    bool receivedPacket_ = false;
};

} // namespace quorlan::server
