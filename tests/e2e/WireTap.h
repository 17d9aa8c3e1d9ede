#pragma once
#include "net/StreamFramer.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorlan::test {

// One whole packet seen on the wire, stamped when its last byte was read.
struct TappedPacket {
    bool fromClient = false; // client -> server; otherwise server -> client
    std::chrono::steady_clock::time_point at;
    std::vector<std::uint8_t> bytes;
    std::uint8_t Type() const { return bytes.size() > 2 ? bytes[2] : 0; }
};

// A loopback relay between a client and the server that forwards every byte
// unchanged and records each packet in both directions with the time it
// passed, so the stages of a new post's road can be timed from outside the
// client. Packets are framed by their length field; a stream whose length
// field is below the header size is forwarded but no longer framed.
class WireTap {
public:
    explicit WireTap(std::uint16_t serverPort);
    ~WireTap();
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;

    // Listens on 127.0.0.1 at a free port; empty on success, else why not.
    std::string Start();
    std::uint16_t Port() const { return port_; }

    std::vector<TappedPacket> Packets() const;

private:
    struct Stream {
        net::StreamFramer framer{net::kAnyLength};
        bool framing = true;
    };
    struct Link {
        int client = -1;
        int server = -1;
        Stream up;   // client -> server
        Stream down; // server -> client
    };

    void Run();
    void Accept();
    // Moves what `from` has to `to`; false when the link is finished.
    bool Pump(int from, int to, Stream& stream, bool fromClient);
    void Frame(Stream& stream, bool fromClient, std::chrono::steady_clock::time_point at);

    std::uint16_t serverPort_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::vector<Link> links_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<TappedPacket> packets_;
};

} // namespace quorlan::test
