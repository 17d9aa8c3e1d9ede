#pragma once
#include "Fleet.h"
#include "net/Codec.h"

#include <deque>

#include <optional>

namespace quorlan::loadgen {

// Quorlan: every client watches the board and takes the checks in turn, as
// real clients do. A post is published the way a real checker finds one: the
// client holding the current check reports a page on which the post is new
// and sends it as NewPost; everybody, the checker too, receives it from the
// server. A check that comes while nothing waits to be published is held
// until something does (the server runs with a long check timeout).
class QuorlanFleet final : public Fleet {
public:
    using Fleet::Fleet;
    const char* Name() const override { return "quorlan-server"; }
    bool Setup(std::uint16_t port, std::size_t subscribers, std::string& error) override;
    void Publish(std::uint64_t sequence, const std::string& line) override;
    // One connection sends Version with this build's number; the code of the
    // VersionResult, or nothing with the reason.
    std::optional<std::uint32_t> ProbeVersion(std::uint16_t port, std::string& error);

    // The server's shortest check period for the run, seconds.
    static constexpr const char* kMinInterval = "0.001";

private:
    bool Extract(Link& link, const std::function<void(std::string_view)>& line) override;
    // Answers the check `link` holds with the waiting posts, if any.
    void AnswerCheck(Link& link);
    bool Handle(Link& link, const net::ServerMessage& message);

    std::deque<std::string> waiting_;
    Link* holder_ = nullptr; // the link holding an unanswered check
};

} // namespace quorlan::loadgen
