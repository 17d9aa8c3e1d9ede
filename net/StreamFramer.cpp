#include "StreamFramer.h"

namespace quorlan::net {
namespace {

// An idle stream should cost little memory: a buffer that grew for a large
// packet is released once it is drained.
constexpr std::size_t kKeptCapacity = 512;

} // namespace

FrameHead ReadFrameHead(const std::uint8_t* data, std::size_t size, FrameLimits limits) {
    const auto header = DecodeHeader(data, size);
    if (!header) return {};
    const bool inBounds = header->length >= limits.minPacket && header->length <= limits.maxPacket;
    return {inBounds ? FrameHead::Kind::Sized : FrameHead::Kind::Bad, header->length, header->type};
}

void StreamFramer::Feed(const std::uint8_t* data, std::size_t size) {
    if (failed_ || size == 0) return;
    Compact();
    buffer_.insert(buffer_.end(), data, data + size);
}

StreamFramer::Frame StreamFramer::Next() {
    Frame frame;
    if (failed_) {
        frame.kind = Frame::Kind::Error;
        frame.error = "connection already failed";
        return frame;
    }
    const std::uint8_t* at = buffer_.data() + consumed_;
    const FrameHead head = ReadFrameHead(at, Buffered(), limits_);
    if (head.kind == FrameHead::Kind::Bad) {
        failed_ = true;
        frame.kind = Frame::Kind::Error;
        frame.error = "packet length " + std::to_string(head.length) + " out of bounds";
        return frame;
    }
    if (head.kind == FrameHead::Kind::NeedMore || Buffered() < head.length) {
        Compact();
        return frame;
    }
    frame.kind = Frame::Kind::Packet;
    frame.data = at;
    frame.size = head.length;
    consumed_ += head.length;
    return frame;
}

void StreamFramer::Compact() {
    if (consumed_ == 0) return;
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        if (buffer_.capacity() > kKeptCapacity) std::vector<std::uint8_t>().swap(buffer_);
    } else {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
    }
    consumed_ = 0;
}

} // namespace quorlan::net
