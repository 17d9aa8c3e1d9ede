#pragma once
#include "Fleet.h"

#include <optional>

namespace quorlan::loadgen {

// Quorlan: the first client is the checker, which publishes with NewPost and
// receives its own posts like everybody else.
class QuorlanFleet final : public Fleet {
public:
    using Fleet::Fleet;
    const char* Name() const override { return "quorlan-server"; }
    bool Setup(std::uint16_t port, std::size_t subscribers, std::string& error) override;
    void Publish(std::uint64_t sequence, const std::string& line) override;
    // One connection sends Version with this build's number; the code of the
    // VersionResult, or nothing with the reason.
    std::optional<std::uint32_t> ProbeVersion(std::uint16_t port, std::string& error);

private:
    bool Extract(Link& link, const std::function<void(std::string_view)>& line) override;
};

} // namespace quorlan::loadgen
