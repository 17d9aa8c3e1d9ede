// Feeds arbitrary byte streams, cut into arbitrary chunks, through the
// server's per-connection framing and request decoder.
#include "server/link/FrameDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    quorlan::server::FrameDecoder decoder;
    std::size_t checksum = 0;
    const std::size_t step = 1 + data[0] % 61;
    std::size_t at = 1;
    while (at < size && !decoder.Failed()) {
        const std::size_t n = std::min(step * (1 + (at % 5)), size - at);
        decoder.Feed(data + at, n);
        at += n;
        for (auto frame = decoder.Next(); frame.kind != quorlan::server::FrameDecoder::Frame::Kind::NeedMore;
             frame = decoder.Next()) {
            if (frame.kind == quorlan::server::FrameDecoder::Frame::Kind::Error) break;
            checksum += frame.bytes + frame.request.text.size() + frame.request.fields[0].size();
        }
        if (decoder.Buffered() > quorlan::server::FrameDecoder::kMaxPacket + 64 * 1024) __builtin_trap();
    }
    return checksum == 0xFFFFFFFF ? 1 : 0;
}
