#pragma once
#include "ICluster.h"
#include "server/common/Clock.h"
#include "server/limits/SmsLimiter.h"

#include <asio/io_context.hpp>

namespace quorlan::server {

// The single process: a cluster of one. It owns every board, has no other
// instance to tell or to ask, and keeps the accounts' alert limits in memory
// on the steady clock.
class LocalCluster final : public ICluster {
public:
    LocalCluster(asio::io_context& loop, const IClock& clock) : loop_(loop), clock_(clock) {}

    void Start() override {}
    bool LinkUp() const override { return true; }
    std::string LinkState() const override { return {}; }

    void PostForwarded(const std::string&, const std::string&) override {}
    void NoticeSent(const std::string&, const std::string&) override {}

    void Watch(const std::string&) override {}
    void Unwatch(const std::string&) override {}
    bool Owns(const std::string&) const override { return true; }

    void Members(const std::string&, const MemberList&) override {}
    std::vector<Member> RemoteMembers(const std::string&) const override { return {}; }
    bool IsRemote(SessionId) const override { return false; }
    void SendAsk(const std::string&, SessionId, bool, const std::optional<std::string>&) override {}
    void SendOutcome(const Ticket&, const Outcome&) override {}

    void RelayJoined(SessionId, const std::string&) override {}
    void RelayLeft(SessionId) override {}
    void AdmitAlert(const std::string& phone, const std::string& line, AdmitDone done) override;
    void ReleaseAlert(const std::string& phone, const std::string& line, std::int64_t atMs) override;
    void RelayElsewhere(const std::string& phone, const std::string& line,
                        std::function<void(bool sent)> done) override;

private:
    asio::io_context& loop_;
    const IClock& clock_;
    SmsLimiter limiter_;
};

} // namespace quorlan::server
