#pragma once
#include <functional>
#include <string>

namespace quorlan::server {

// The other instances of a cluster, as this instance sees them: what it sends
// them, what it hears from them, and which boards it may schedule. The single
// process has none (a null pointer wherever one is taken).
class ICluster {
public:
    // What the other instances say, called on the event loop.
    struct Events {
        // A new post line another instance forwarded to its clients of `board`.
        std::function<void(const std::string& board, const std::string& line)> post;
        // An operator's notice sent on another instance ("" board: everyone).
        std::function<void(const std::string& text, const std::string& board)> notice;
        // This instance gained or lost the right to schedule `board`.
        std::function<void(const std::string& board)> ownershipChanged;
    };

    virtual ~ICluster() = default;

    virtual void Start() = 0;
    // The database link is up and the schema is current.
    virtual bool LinkUp() const = 0;
    // One line for /health: the link's state and, when down, why.
    virtual std::string LinkState() const = 0;

    virtual void PostForwarded(const std::string& board, const std::string& line) = 0;
    virtual void NoticeSent(const std::string& text, const std::string& board) = 0;

    // This instance has monitoring clients of `board`, or has none any more.
    virtual void Watch(const std::string& board) = 0;
    virtual void Unwatch(const std::string& board) = 0;
    // Only the owner schedules checks of a board.
    virtual bool Owns(const std::string& board) const = 0;
};

} // namespace quorlan::server
