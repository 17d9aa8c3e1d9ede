#include "Session.h"

#include <asio/post.hpp>
#include <span>
#include <spdlog/spdlog.h>

namespace quorlan::server {
namespace {

// Writes gather at most this many queued packets per system call.
constexpr std::size_t kGather = 32;
// Reads per readiness event, so one busy client cannot starve the others.
constexpr int kReadsPerWake = 4;
// Memory a queued packet holds beyond its bytes: the queue slot, the shared
// owner block and the allocations' own overhead.
constexpr std::size_t kPacketOverhead = 96;

std::string AddressOf(const asio::ip::tcp::socket& socket) {
    std::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    return ec ? std::string("?") : endpoint.address().to_string();
}

} // namespace

Session::Session(asio::ip::tcp::socket socket, SessionId id, ISessionHandler& handler, Metrics& metrics,
                 SessionLimits limits, ReadScratch& scratch, WriteBatcher& batcher)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), id_(id), address_(AddressOf(socket_)),
      handler_(handler), metrics_(metrics),
      limits_(limits), scratch_(scratch), batcher_(batcher) {}

std::string Session::Remote() const {
    std::error_code ec;
    const auto endpoint = socket_.remote_endpoint(ec);
    return ec ? std::string("?") : endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

void Session::Start() {
    std::error_code ec;
    socket_.non_blocking(true, ec);
    if (ec) return Close("cannot make the socket non-blocking");
    ArmPacketDeadline();
    WaitReadable();
}

std::size_t Session::QueuedCost() const {
    return queuedBytes_ + (queue_.size() - queueHead_) * kPacketOverhead + queue_.capacity() * sizeof(SharedPacket);
}

void Session::WaitReadable() {
    if (closed_ || held_ || reading_) return;
    if (Backlogged()) {
        // Read on once the client has taken its answers (Flush).
        pausedForOutput_ = true;
        return;
    }
    reading_ = true;
    socket_.async_wait(asio::ip::tcp::socket::wait_read, [self = shared_from_this()](const std::error_code& ec) {
        self->reading_ = false;
        if (ec || self->closed_) return;
        self->OnReadable();
    });
}

void Session::OnReadable() {
    for (int i = 0; i < kReadsPerWake && !closed_ && !held_ && !Backlogged(); ++i) {
        std::error_code ec;
        const std::size_t n = socket_.read_some(asio::buffer(scratch_), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) break;
        if (ec) return Close(ec == asio::error::eof ? "closed by the client" : ec.message());
        metrics_.bytesIn.fetch_add(n, std::memory_order_relaxed);
        decoder_.Feed(scratch_.data(), n);
        DrainRequests();
        if (n < scratch_.size()) break;
    }
    WaitReadable();
}

void Session::DrainRequests() {
    while (!closed_ && !held_ && !Backlogged()) {
        FrameDecoder::Frame frame = decoder_.Next();
        if (frame.kind == FrameDecoder::Frame::Kind::NeedMore) break;
        if (frame.kind == FrameDecoder::Frame::Kind::Error) {
            metrics_.malformedPackets.fetch_add(1, std::memory_order_relaxed);
            spdlog::info("client {} ({}): malformed packet: {}", id_, Remote(), frame.error);
            return Close("malformed packet");
        }
        receivedPacket_ = true;
        if (handler_.OnRequest(id_, frame.request) == Flow::Hold) held_ = true;
    }
    // A connection must finish what it starts: the first packet, and any
    // packet begun, complete within the packet timeout.
    if (!closed_ && receivedPacket_ && decoder_.Buffered() == 0 && deadlineArmed_) {
        deadlineArmed_ = false;
        deadline_.cancel();
    } else if (!closed_ && decoder_.Buffered() > 0 && !deadlineArmed_ && !held_ && !Backlogged()) {
        ArmPacketDeadline();
    }
}

void Session::ArmPacketDeadline() {
    deadlineArmed_ = true;
    deadline_.expires_after(limits_.packetTimeout);
    deadline_.async_wait([self = shared_from_this()](const std::error_code& ec) {
        if (ec || self->closed_ || !self->deadlineArmed_) return;
        self->Close("no complete packet in time");
    });
}

void Session::Resume() {
    // Deferred so that a hub answering inside its own call never re-enters.
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        if (self->closed_ || !self->held_) return;
        self->held_ = false;
        self->DrainRequests();
        self->WaitReadable();
    });
}

bool Session::Send(SharedPacket packet) {
    if (closed_ || !packet || packet->empty()) return false;
    if (QueuedCost() + packet->size() + kPacketOverhead > limits_.maxQueuedOutput) {
        metrics_.slowConsumersDropped.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("client {} ({}): dropped as a slow consumer ({} bytes unread)", id_, Remote(), queuedBytes_);
        Close("slow consumer");
        return false;
    }
    queuedBytes_ += packet->size();
    queue_.push_back(std::move(packet));
    if (!writing_ && !flushScheduled_) {
        flushScheduled_ = true;
        batcher_.Schedule(shared_from_this());
    }
    return true;
}

void Session::FlushNow() {
    flushScheduled_ = false;
    if (!writing_) Flush();
}

void Session::Flush() {
    while (!closed_ && queueHead_ < queue_.size()) {
        std::array<asio::const_buffer, kGather> buffers;
        std::size_t count = 0;
        for (std::size_t i = queueHead_; i < queue_.size() && count < kGather; ++i, ++count) {
            const auto& bytes = *queue_[i];
            const std::size_t skip = i == queueHead_ ? headOffset_ : 0;
            buffers[count] = asio::buffer(bytes.data() + skip, bytes.size() - skip);
        }
        std::error_code ec;
        std::size_t written = socket_.write_some(std::span<const asio::const_buffer>(buffers.data(), count), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            CompactQueue();
            ResumeIfDrained();
            return WaitWritable();
        }
        if (ec) return Close(ec.message());
        metrics_.bytesOut.fetch_add(written, std::memory_order_relaxed);
        queuedBytes_ -= written;
        while (written > 0) {
            const std::size_t left = queue_[queueHead_]->size() - headOffset_;
            if (written >= left) {
                written -= left;
                queue_[queueHead_].reset();
                ++queueHead_;
                headOffset_ = 0;
            } else {
                headOffset_ += written;
                written = 0;
            }
        }
    }
    if (queueHead_ == queue_.size()) {
        queue_.clear();
        queueHead_ = 0;
        if (queue_.capacity() > 64) std::vector<SharedPacket>().swap(queue_);
    }
    ResumeIfDrained();
}

void Session::CompactQueue() {
    if (queueHead_ < 64 || queueHead_ * 2 < queue_.size()) return;
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queueHead_));
    queueHead_ = 0;
    queue_.shrink_to_fit();
}

void Session::ResumeIfDrained() {
    if (!pausedForOutput_ || closed_ || Backlogged()) return;
    pausedForOutput_ = false;
    // Deferred, like Resume: a flush may run inside another client's fan-out.
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        if (self->closed_ || self->held_) return;
        self->DrainRequests();
        self->WaitReadable();
    });
}

void Session::WaitWritable() {
    if (writing_ || closed_) return;
    writing_ = true;
    socket_.async_wait(asio::ip::tcp::socket::wait_write, [self = shared_from_this()](const std::error_code& ec) {
        self->writing_ = false;
        if (ec || self->closed_) return;
        self->Flush();
    });
}

void Session::Close(std::string_view reason) {
    if (closed_) return;
    closed_ = true;
    spdlog::debug("client {}: closed ({})", id_, reason);
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    deadline_.cancel();
    queue_.clear();
    queuedBytes_ = 0;
    // The hub hears of it from the loop, never in the middle of a fan-out or
    // of a request it is handling.
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->handler_.OnClosed(self->id_); });
}

} // namespace quorlan::server
