#include "AlertRelay.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {

AlertRelay::AlertRelay(ClientDirectory& clients, AccountService& accounts, ICluster& cluster, Metrics& metrics,
                       bool logIdentNumbers)
    : clients_(clients), accounts_(accounts), cluster_(cluster), metrics_(metrics), logIdentNumbers_(logIdentNumbers) {}

void AlertRelay::Update(SessionId id, const ClientRecord& client) {
    // Whether the account is marked as relay is asked at each dispatch, so a
    // connection in robot mode starts or stops relaying as the operator marks.
    if (client.loggedIn && client.robotRequested) {
        if (!relays_.Contains(id)) spdlog::info("client {} in robot mode", id);
        relays_.Add(id);
    } else {
        relays_.Remove(id);
    }
    // The other instances send their messages to relays the operator marked.
    if (!relays_.Contains(id)) return cluster_.RelayLeft(id);
    accounts_.IsRelay({client.phone}, [this, id, phone = client.phone](const std::set<std::string>& marked) {
        if (relays_.Contains(id) && marked.count(phone) != 0) {
            cluster_.RelayJoined(id, phone);
        } else {
            cluster_.RelayLeft(id);
        }
    });
}

void AlertRelay::Closed(SessionId id) {
    relays_.Remove(id);
    cluster_.RelayLeft(id);
}

void AlertRelay::ToRelayHere(SharedPacket packet, std::function<void(std::optional<SessionId> relay)> done) {
    std::vector<std::string> phones;
    for (const SessionId id : relays_.Members()) {
        const ClientRecord* relay = clients_.Find(id);
        if (relay && relay->loggedIn) phones.push_back(relay->phone);
    }
    accounts_.IsRelay(std::move(phones),
                      [this, packet = std::move(packet), done = std::move(done)](const std::set<std::string>& marked) {
                          done(relays_.Dispatch([&](SessionId candidate) {
                              ClientRecord* relay = clients_.Find(candidate);
                              if (!relay || !relay->loggedIn || marked.count(relay->phone) == 0) return false;
                              return relay->peer->Send(packet);
                          }));
                      });
}

void AlertRelay::SendIdentNumber(SessionId id, const AccountService::IdentMessage& message,
                                 std::function<void()> done) {
    auto sent = [this, id, message, done = std::move(done)](std::optional<SessionId> relay) {
        if (relay) {
            metrics_.smsRelayed.fetch_add(1, std::memory_order_relaxed);
            spdlog::info("client {}: identification number sent through relay client {}", id, *relay);
            spdlog::debug("identification number for {} sent", message.phone);
        } else if (logIdentNumbers_) {
            spdlog::warn("no relay connected; identification number for {} is {}", message.phone, message.number);
        } else {
            spdlog::warn("client {}: no relay connected; an identification number could not be sent", id);
        }
        done();
    };
    net::Encoded packet = net::EncodeRequestSMS(message.phone, message.text);
    if (!packet.ok()) return sent(std::nullopt);
    ToRelayHere(Share(std::move(packet.bytes)), std::move(sent));
}

bool AlertRelay::Admitted(SessionId id, SmsLimiter::Verdict verdict) {
    if (verdict == SmsLimiter::Verdict::SameLine) {
        spdlog::info("client {}: RequestPhone refused: same line already sent", id);
    } else if (verdict == SmsLimiter::Verdict::OverHourlyLimit) {
        spdlog::info("client {}: RequestPhone refused: more than {} in an hour", id, SmsLimiter::kPerHour);
    }
    return verdict == SmsLimiter::Verdict::Admitted;
}

void AlertRelay::SendAlert(SessionId id, const std::string& phone, const std::string& line, SharedPacket sms,
                           std::function<void(bool relayed)> done) {
    const auto answer = std::move(done);
    // The account's limits hold for the whole cluster; a relay here is asked
    // first, then one on another instance.
    cluster_.AdmitAlert(phone, line, [=, this](std::optional<ICluster::Admission> admission) {
        if (!admission) {
            spdlog::info("client {}: RequestPhone refused: the database did not count it", id);
            return answer(false);
        }
        if (!Admitted(id, admission->verdict)) return answer(false);
        ToRelayHere(sms, [=, this](std::optional<SessionId> relay) {
            if (relay) return answer(true);
            cluster_.RelayElsewhere(phone, line, [=, this](bool taken) {
                if (!taken) {
                    spdlog::info("client {}: RequestPhone refused: no relay connected", id);
                    // A refused alert may be asked again.
                    cluster_.ReleaseAlert(phone, line, admission->atMs);
                }
                answer(taken);
            });
        });
    });
}

void AlertRelay::OnRemoteAlert(const std::string& phone, const std::string& line,
                               std::function<void(bool taken)> answer) {
    net::Encoded packet = net::EncodeRequestSMS(phone, line);
    if (!packet.ok()) return answer(false);
    ToRelayHere(Share(std::move(packet.bytes)), [answer = std::move(answer)](std::optional<SessionId> relay) {
        if (relay) {
            spdlog::info("alert of another instance sent through relay client {}", *relay);
        } else {
            spdlog::info("alert of another instance not taken: no relay here any more");
        }
        answer(relay.has_value());
    });
}

} // namespace quorlan::server
