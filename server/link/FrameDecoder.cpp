#include "FrameDecoder.h"

namespace quorlan::server {

FrameDecoder::Frame FrameDecoder::Next() {
    Frame frame;
    if (failed_) {
        frame.kind = Frame::Kind::Error;
        frame.error = "connection already failed";
        return frame;
    }
    const net::StreamFramer::Frame packet = framer_.Next();
    if (packet.kind == net::StreamFramer::Frame::Kind::NeedMore) return frame;
    if (packet.kind == net::StreamFramer::Frame::Kind::Error) {
        frame.kind = Frame::Kind::Error;
        frame.error = packet.error;
        return frame;
    }
    auto decoded = net::DecodeClientRequest(packet.data, packet.size);
    frame.bytes = packet.size;
    if (!decoded.request) {
        failed_ = true;
        frame.kind = Frame::Kind::Error;
        frame.error = "type " + std::to_string(packet.data[2]) + ": " + decoded.error;
        return frame;
    }
    frame.kind = Frame::Kind::Request;
    frame.request = std::move(*decoded.request);
    return frame;
}

} // namespace quorlan::server
