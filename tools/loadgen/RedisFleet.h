#pragma once
#include "Fleet.h"

#include <memory>

namespace quorlan::loadgen {

// Redis pub/sub: N subscribers on one channel and a separate publisher.
class RedisFleet final : public Fleet {
public:
    using Fleet::Fleet;
    const char* Name() const override { return "redis-server"; }
    bool Setup(std::uint16_t port, std::size_t subscribers, std::string& error) override;
    void Publish(std::uint64_t sequence, const std::string& line) override;

private:
    bool Extract(Link& link, const std::function<void(std::string_view)>& line) override;
    std::unique_ptr<Link> publisher_;
};

} // namespace quorlan::loadgen
