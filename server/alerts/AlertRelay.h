#pragma once
#include "RelayPool.h"
#include "server/accounts/AccountService.h"
#include "server/cluster/ICluster.h"
#include "server/common/ClientDirectory.h"
#include "server/common/Metrics.h"

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace quorlan::server {

// The one way a text message reaches a relay: to a connection here in robot
// mode whose account the operator has marked as relay, taken in turn, and for
// an alert, when none here takes it, to one on another instance through the
// cluster. An alert passes the account's limits first, counted by the cluster
// (the single process counts them itself) and given back when no relay took
// it.
class AlertRelay {
public:
    // `logIdentNumbers`: an identification number no relay took is written to
    // the log, for an operator without a relay.
    AlertRelay(ClientDirectory& clients, AccountService& accounts, ICluster& cluster, Metrics& metrics,
               bool logIdentNumbers);

    // The connection logged in, asked for robot mode or withdrew: it joins or
    // leaves the relays (and the other instances hear of it).
    void Update(SessionId id, const ClientRecord& client);
    void Closed(SessionId id);

    // The identification number for a sign-up, to its phone by a relay here;
    // `done` once it went or could not.
    void SendIdentNumber(SessionId id, const AccountService::IdentMessage& message, std::function<void()> done);
    // A client's alert `line` to its account's phone; whether a relay took it.
    void SendAlert(SessionId id, const std::string& phone, const std::string& line, SharedPacket sms,
                   std::function<void(bool relayed)> done);
    // Another instance's alert for a relay here; whether one took it.
    void OnRemoteAlert(const std::string& phone, const std::string& line, std::function<void(bool taken)> answer);

private:
    // Asks the store which of the relay connections' accounts are marked as
    // relay, then hands the message to one of them; which one took it.
    void ToRelayHere(SharedPacket packet, std::function<void(std::optional<SessionId> relay)> done);
    // Logs a refusal by the account's alert limits.
    static bool Admitted(SessionId id, SmsLimiter::Verdict verdict);

    ClientDirectory& clients_;
    AccountService& accounts_;
    ICluster& cluster_;
    Metrics& metrics_;
    bool logIdentNumbers_;
    RelayPool relays_;
};

} // namespace quorlan::server
