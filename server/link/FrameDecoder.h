#pragma once
#include "net/Codec.h"
#include "net/StreamFramer.h"

#include <cstddef>
#include <cstdint>
#include <string>

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

    void Feed(const std::uint8_t* data, std::size_t size) { framer_.Feed(data, size); }
    Frame Next();

    // Bytes of an unfinished packet (or of packets not yet taken) held back.
    std::size_t Buffered() const { return framer_.Buffered(); }
    bool Failed() const { return failed_ || framer_.Failed(); }

private:
    net::StreamFramer framer_{{kMinPacket, kMaxPacket}};
    bool failed_ = false; // a whole packet that was no valid request
};

} // namespace quorlan::server
