#pragma once
#include "AlertBudget.h"
#include "BoardOwnership.h"
#include "ClusterMessages.h"
#include "NotifyBus.h"
#include "server/cluster/ICluster.h"
#include "server/common/Clock.h"
#include "server/postgres/PgConnection.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quorlan::server::pg {

// One instance's part of a cluster on PostgreSQL: the session on the event
// loop, the schema brought up to date whenever the link comes up, board
// ownership by advisory lock, and the bus that carries forwarded posts and
// notices to the other instances. A message names the instance that sent it,
// so that an instance ignores its own.
//
// Each instance keeps its relays in robot mode in cluster_relays and its
// monitoring clients in cluster_members (written in batches), all rewritten
// whenever the link comes up; the rows of an instance whose heartbeat stopped
// are ignored, and removed with its cluster_nodes row after a while. The
// owner of a board reads the board's members of the other instances and
// sends its check orders, and an instance without a relay its text messages,
// over NOTIFY to the channel of the instance concerned; an instance answers
// each text message ordered whether a relay of its own took it.
class Cluster final : public ICluster {
public:
    struct Options {
        std::string conninfo;
        std::string nodeId;
        std::int64_t takeoverMs = 10'000;
    };
    // The ids this instance gives the other instances' clients.
    static constexpr SessionId kRemoteBit = SessionId{1} << 63;
    // Member changes wait this long, so that a burst is written at once.
    static constexpr std::int64_t kMembersBatchMs = 50;
    // An alert order unanswered this long counts as not taken.
    static constexpr std::int64_t kSmsAnswerMs = 5'000;

    Cluster(asio::io_context& loop, const IClock& clock, Options options, Events events);
    ~Cluster() override;

    void Start() override;
    bool LinkUp() const override { return connection_.LinkUp() && migrated_; }
    std::string LinkState() const override;
    void PostForwarded(const std::string& board, const std::string& line) override;
    void NoticeSent(const std::string& text, const std::string& board) override;
    void Watch(const std::string& board) override { ownership_.Want(board); }
    void Unwatch(const std::string& board) override { ownership_.Unwant(board); }
    bool Owns(const std::string& board) const override { return LinkUp() && ownership_.Owns(board); }

    void Members(const std::string& board, const MemberList& members) override;
    std::vector<Member> RemoteMembers(const std::string& board) const override;
    bool IsRemote(SessionId id) const override { return (id & kRemoteBit) != 0; }
    void SendAsk(const std::string& board, SessionId remote, bool baseline,
                 const std::optional<std::string>& list) override;
    void SendOutcome(const Ticket& ticket, const Outcome& outcome) override;

    void RelayJoined(SessionId id, const std::string& phone) override;
    void RelayLeft(SessionId id) override;
    void AdmitAlert(const std::string& phone, const std::string& line, AdmitDone done) override;
    void ReleaseAlert(const std::string& phone, const std::string& line, std::int64_t atMs) override;
    void RelayElsewhere(const std::string& phone, const std::string& line, std::function<void(bool sent)> done) override;

private:
    struct Remote {
        std::string node;
        SessionId connection;
        std::string board;
    };

    void OnLink(bool up);
    void Register();
    void OnMessage(const std::string& channel, const std::string& payload);
    void OnOrder(const AskOrder& order);
    void OnOrder(const OutcomeOrder& order);
    void OnOrder(const SmsOrder& order);
    void OnOrder(const SmsTakenOrder& order);
    void Publish(const char* channel, const std::string& board, const std::string& text);
    // Sends one order to the channel of `node`; false when it could not go.
    bool SendOrder(const std::string& node, Order order, PgConnection::Done done = {});
    void ScheduleFlush();
    void Flush();
    // Reads the other instances' monitoring clients of one board this
    // instance schedules, or of all of them.
    void Refresh(const std::string& board);
    void RefreshOwned();
    void ApplyRemote(const std::string& board, const PgReply& reply, const std::vector<const PgRow*>& rows);
    // The ids given to the board's members elsewhere, but those in `keep`.
    void ForgetRemote(const std::string& board, const std::set<SessionId>& keep);
    void Tick();
    void Arm();
    void SmsAnswered(std::uint64_t order, bool taken);

    asio::io_context& loop_;
    const IClock& clock_;
    Options options_;
    Events events_;
    PgConnection connection_;
    NotifyBus bus_;
    BoardOwnership ownership_;
    AlertBudget alerts_;
    std::string channel_; // this instance's own
    bool migrated_ = false;
    std::string migrateError_;
    // Changes to this instance's rows are written only behind their rewrite
    // as a whole, queued once the link is up and the schema current.
    bool registered_ = false;
    std::int64_t startedMs_;

    std::map<SessionId, std::string> relays_;
    std::map<std::string, std::vector<Member>> members_;
    std::set<std::string> dirty_;
    bool flushArmed_ = false;
    asio::steady_timer flushTimer_;
    asio::steady_timer tickTimer_;

    std::map<std::string, std::vector<Member>> remote_;
    std::map<SessionId, Remote> remoteIds_;
    std::map<std::pair<std::string, SessionId>, SessionId> idOf_;
    SessionId lastRemote_ = 0;

    struct PendingSms {
        std::function<void(bool taken)> done;
        std::unique_ptr<asio::steady_timer> timer;
    };
    std::map<std::uint64_t, PendingSms> smsOrders_;
    std::uint64_t lastOrder_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quorlan::server::pg
