#pragma once
#include "FrameDecoder.h"
#include "WriteBatcher.h"
#include "server/common/IPeer.h"
#include "server/common/Metrics.h"

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
    // Real memory of queued output at which reading pauses, and past which
    // the client is dropped.
    std::size_t readPauseOutput = 64 * 1024;
    std::size_t maxQueuedOutput = 256 * 1024;
    std::chrono::milliseconds packetTimeout{60'000};
};

// One client connection: reads and frames its requests, hands them to the
// hub in order, and writes what the hub queues. The socket is non-blocking and
// driven by readiness waits, so reads and writes happen in place without a
// buffer or a handler per operation. Output is bounded by what it really
// costs (payload and per-packet bookkeeping): while more than
// `readPauseOutput` waits, the client's requests are not read (its own
// requests cannot pile up answers); a client that lets more than
// `maxQueuedOutput` pile up is dropped as a slow consumer.
class Session final : public IPeer, public IFlushable, public std::enable_shared_from_this<Session> {
public:
    Session(asio::ip::tcp::socket socket, SessionId id, ISessionHandler& handler, Metrics& metrics,
            SessionLimits limits, ReadScratch& scratch, WriteBatcher& batcher);

    void Start();

    SessionId Id() const override { return id_; }
    std::string Remote() const override;
    const std::string& Address() const override { return address_; }
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
    // Memory the unsent output holds.
    std::size_t QueuedCost() const;
    bool Backlogged() const { return QueuedCost() > limits_.readPauseOutput; }
    void CompactQueue();
    // Reads on after a pause for output, once the output has drained.
    void ResumeIfDrained();

    asio::ip::tcp::socket socket_;
    asio::steady_timer deadline_;
    SessionId id_;
    std::string address_;
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
    bool pausedForOutput_ = false;
};

} // namespace quorlan::server
