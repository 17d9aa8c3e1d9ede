#pragma once
#include "net/Codec.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorlan::server {

using SessionId = std::uint64_t;
// One encoded packet shared by every connection it is queued to: a fan-out
// encodes once and copies only the pointer.
using SharedPacket = std::shared_ptr<const net::Packet>;

inline SharedPacket Share(net::Packet bytes) { return std::make_shared<const net::Packet>(std::move(bytes)); }

// What the hub sees of one client connection.
class IPeer {
public:
    virtual ~IPeer() = default;
    virtual SessionId Id() const = 0;
    virtual std::string Remote() const = 0;
    // The client's IP address as text, fixed when the connection opened.
    virtual const std::string& Address() const = 0;
    // Queues the packet; a connection whose unsent output would pass its bound
    // is closed instead. False when the packet will not be sent: the
    // connection is closed, or has just been closed for it.
    virtual bool Send(SharedPacket packet) = 0;
    virtual void Close(std::string_view reason) = 0;
    // Continues reading after a request that the hub asked to hold.
    virtual void Resume() = 0;
};

// How a connection proceeds after handing a request to the hub. A request
// answered later (a password hash) holds the connection's following requests
// back, so that they are handled in the order sent.
enum class Flow { Continue, Hold };

class ISessionHandler {
public:
    virtual ~ISessionHandler() = default;
    virtual void OnOpened(std::shared_ptr<IPeer> peer) = 0;
    virtual Flow OnRequest(SessionId id, const net::ClientRequest& request) = 0;
    // Called once per connection, after it has closed, from the event loop.
    virtual void OnClosed(SessionId id) = 0;
};

} // namespace quorlan::server
