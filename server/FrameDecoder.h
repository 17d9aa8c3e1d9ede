#pragma once
#include "net/Codec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorlan::server {

// Turns one connection's byte stream into decoded client requests. The length
// in a header is judged as soon as the header is complete, so a peer cannot
// make the server buffer more than one packet's worth of a bogus length. Once
// an error is reported the decoder stays failed: the connection is closed.
class FrameDecoder {
public:
    // The client never sends a packet outside these bounds (header included).
    static constexpr std::size_t kMinPacket = net::kHeaderSize;
    static constexpr std::size_t kMaxPacket = net::kMaxPacket;

    struct Frame {
        enum class Kind { NeedMore, Request, Error };
        Kind kind = Kind::NeedMore;
        net::ClientRequest request;
        std::size_t bytes = 0; // size of the packet consumed
        std::string error;
    };

    void Feed(const std::uint8_t* data, std::size_t size);
    Frame Next();

    // Bytes of an unfinished packet (or of packets not yet taken) held back.
    std::size_t Buffered() const { return buffer_.size() - consumed_; }
    bool Failed() const { return failed_; }

private:
    void Compact();

    std::vector<std::uint8_t> buffer_;
    std::size_t consumed_ = 0;
    bool failed_ = false;
};

} // namespace quorlan::server
