#pragma once
#include <cstdint>

namespace quorlan::net {

// The client's non-blocking TCP link as the logic sees it. Every operation
// returns at once; outcomes arrive as events that the owner forwards to the
// handlers (MainSockConnect, MainSockRead, ...).
class ISocket {
public:
    virtual ~ISocket() = default;
    // Count taken by the socket; 0 when not connected.
    virtual int Write(const std::uint8_t* data, int count) = 0;
    virtual int BytesWaiting() = 0;
    // Up to count received bytes; 0 when none are waiting.
    virtual int Read(std::uint8_t* data, int count) = 0;
    // Closes the link; raises the disconnect event once when a socket existed.
    virtual void Close() = 0;
    // True from the connect event until the disconnect event.
    virtual bool Active() const = 0;
    // Starts an asynchronous connection attempt to the configured address.
    virtual void Open() = 0;
    // True while an attempt is under way (neither connected nor failed).
    virtual bool Connecting() const = 0;
};

} // namespace quorlan::net
