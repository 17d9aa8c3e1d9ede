#include "FrameDecoder.h"

namespace quorlan::server {
namespace {

// An idle connection should cost little memory: a buffer that grew for a
// large packet is released once it is drained.
constexpr std::size_t kKeptCapacity = 512;

} // namespace

void FrameDecoder::Feed(const std::uint8_t* data, std::size_t size) {
    if (failed_ || size == 0) return;
    Compact();
    buffer_.insert(buffer_.end(), data, data + size);
}

FrameDecoder::Frame FrameDecoder::Next() {
    Frame frame;
    if (failed_) {
        frame.kind = Frame::Kind::Error;
        frame.error = "connection already failed";
        return frame;
    }
    const std::uint8_t* at = buffer_.data() + consumed_;
    const auto header = net::DecodeHeader(at, Buffered());
    if (!header) {
        Compact();
        return frame;
    }
    if (header->length < kMinPacket || header->length > kMaxPacket) {
        failed_ = true;
        frame.kind = Frame::Kind::Error;
        frame.error = "packet length " + std::to_string(header->length) + " out of bounds";
        return frame;
    }
    if (Buffered() < header->length) {
        Compact();
        return frame;
    }
    auto decoded = net::DecodeClientRequest(at, header->length);
    frame.bytes = header->length;
    consumed_ += header->length;
    if (!decoded.request) {
        failed_ = true;
        frame.kind = Frame::Kind::Error;
        frame.error = "type " + std::to_string(header->type) + ": " + decoded.error;
        return frame;
    }
    frame.kind = Frame::Kind::Request;
    frame.request = std::move(*decoded.request);
    return frame;
}

void FrameDecoder::Compact() {
    if (consumed_ == 0) return;
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        if (buffer_.capacity() > kKeptCapacity) std::vector<std::uint8_t>().swap(buffer_);
    } else {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
    }
    consumed_ = 0;
}

} // namespace quorlan::server
