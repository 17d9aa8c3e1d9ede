#pragma once
#include "server/accounts/AccountService.h"
#include "server/alerts/AlertRelay.h"
#include "server/boards/CheckLoop.h"
#include "server/boards/IBoardRegistry.h"
#include "server/boards/PostGate.h"
#include "server/cluster/ICluster.h"
#include "server/common/ClientDirectory.h"
#include "server/common/Clock.h"
#include "server/common/Metrics.h"
#include "server/limits/TrustRules.h"
#include "server/store/StoreWorker.h"

#include <chrono>
#include <optional>
#include <set>
#include <string>

namespace quorlan::server {

// Receives every decoded request of every connection and answers it through
// the registries. Sessions never reach each other except through here, and
// nothing a client says is passed on unchecked: a `NewPost` only when the
// client's own report made it new (PostGate), a `RequestPhone` only for a
// line the client's board was sent, new boards and password work only within
// the limits (TrustRules).
class Hub final : public ISessionHandler {
public:
    Hub(ClientDirectory& clients, IBoardRegistry& boards, CheckLoop& scheduler, StoreWorker& store, AlertRelay& relay,
        AccountService& accounts, TrustRules& rules, const TrustLimits& limits, const IClock& clock,
        Metrics& metrics, std::chrono::milliseconds minInterval, ICluster& cluster);

    void OnOpened(std::shared_ptr<IPeer> peer) override;
    Flow OnRequest(SessionId id, const net::ClientRequest& request) override;
    void OnClosed(SessionId id) override;

    // Sends a `System` notice to every client, or to the clients registered on
    // `board` when it is not empty. The count reached, or nothing when the
    // text does not fit a packet.
    // In a cluster, the other instances' clients get it too.
    std::optional<std::size_t> Notice(const std::string& text, const std::string& board);

    // What another instance of the cluster forwarded or sent: to this
    // instance's clients only.
    void OnClusterPost(const std::string& board, const std::string& line);
    void OnClusterNotice(const std::string& text, const std::string& board);

private:
    void Reply(ClientRecord& client, net::ServerMsg type, std::uint32_t code);
    // Answers a held request and lets the connection go on reading.
    void ReplyLater(SessionId id, net::ServerMsg type, std::uint32_t code);
    // Lets a connection held for store work go on reading, if it is still there.
    void Resume(SessionId id);

    Flow OnLogin(SessionId id, const net::ClientRequest& request);
    Flow OnNewAccount(SessionId id, const net::ClientRequest& request);
    Flow OnChangePassword(SessionId id, ClientRecord& client, const net::ClientRequest& request);
    // Requests with store work hold the connection until it is done, so that
    // its later requests see their effect and a client has at most one of
    // them queued.
    Flow OnRequestIdentNumber(SessionId id, ClientRecord& client, const net::ClientRequest& request);
    Flow OnSetBoard(SessionId id, ClientRecord& client, const net::ClientRequest& request);
    void OnSearchState(SessionId id, ClientRecord& client, bool monitoring);
    Flow OnRobotMode(SessionId id, ClientRecord& client, bool on);
    void OnListReport(SessionId id, const std::string& text);
    void OnNewPost(SessionId id, const std::string& line);
    Flow OnRequestPhone(SessionId id, ClientRecord& client, const std::string& line);
    void AlertAnswered(SessionId id, bool relayed);
    AccountService::Source SourceOf(const ClientRecord& client) const;
    // The client left `url`: forgets what the board expected of it.
    void LeftBoard(const std::string& url, SessionId id);
    void UpdateGauges();
    // Sends the logged-in client what its account missed on `board`, once the
    // store has said, if it is still there and on that board. True when the
    // store is asked: the connection is let go on reading after the lines,
    // so that they come before the answers to its later requests.
    bool Replay(SessionId id, ClientRecord& client, const std::string& board);
    // Sends a line new on `board` to its monitoring clients here, once.
    void Deliver(const std::string& board, const std::string& line);
    std::optional<std::size_t> DeliverNotice(const std::string& text, const std::string& board);

    ClientDirectory& clients_;
    IBoardRegistry& boards_;
    CheckLoop& scheduler_;
    StoreWorker& store_;
    AlertRelay& relay_;
    AccountService& accounts_;
    TrustRules& rules_;
    const TrustLimits& limits_;
    const IClock& clock_;
    Metrics& metrics_;
    std::chrono::milliseconds minInterval_;
    PostGate posts_;
    ICluster& cluster_;
};

} // namespace quorlan::server
