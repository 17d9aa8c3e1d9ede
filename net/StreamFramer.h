#pragma once
#include "Codec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorlan::net {

// The bounds a reader puts on a packet's length field (header included).
struct FrameLimits {
    std::size_t minPacket = kHeaderSize;
    std::size_t maxPacket = kMaxPacket;
};
// For a reader that only watches a stream: any length a header can state.
inline constexpr FrameLimits kAnyLength{kHeaderSize, 0xFFFF};

// The first packet of a stream as its header tells it.
struct FrameHead {
    enum class Kind { NeedMore, Sized, Bad };
    Kind kind = Kind::NeedMore;
    std::size_t length = 0; // the length field (also when it is Bad)
    std::uint8_t type = 0;
};
// Judges the length as soon as the header is there, so a reader never waits
// for (or buffers) more than one packet's worth of a bogus length.
FrameHead ReadFrameHead(const std::uint8_t* data, std::size_t size, FrameLimits limits = {});

// Cuts a byte stream into whole packets. Once a length is out of bounds the
// framer stays failed: the stream has lost its packet boundaries for good.
class StreamFramer {
public:
    explicit StreamFramer(FrameLimits limits = {}) : limits_(limits) {}

    struct Frame {
        enum class Kind { NeedMore, Packet, Error };
        Kind kind = Kind::NeedMore;
        // The whole packet, header included; valid until the next Feed or Next.
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::string error;
    };

    void Feed(const std::uint8_t* data, std::size_t size);
    Frame Next();

    // Bytes of an unfinished packet (or of packets not yet taken) held back.
    std::size_t Buffered() const { return buffer_.size() - consumed_; }
    bool Failed() const { return failed_; }

private:
    void Compact();

    FrameLimits limits_;
    std::vector<std::uint8_t> buffer_;
    std::size_t consumed_ = 0;
    bool failed_ = false;
};

} // namespace quorlan::net
