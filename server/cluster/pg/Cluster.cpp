#include "Cluster.h"

#include "server/postgres/PgSchema.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <optional>

namespace quorlan::server::pg {
namespace {

// A PostgreSQL array literal of numbers.
template <class Numbers>
std::string ArrayOf(const Numbers& numbers) {
    std::string text = "{";
    for (const auto number : numbers) {
        if (text.size() > 1) text += ',';
        text += std::to_string(number);
    }
    return text + "}";
}

// A node's rows go with it once its heartbeat has been silent this many
// takeover times.
constexpr std::int64_t kForgetAfterTakeovers = 6;

} // namespace

Cluster::Cluster(asio::io_context& loop, const IClock& clock, Options options, Events events)
    : loop_(loop), clock_(clock), options_(std::move(options)), events_(std::move(events)),
      connection_(loop, PgConnection::Options{options_.conninfo}), bus_(connection_),
      ownership_(loop, connection_, clock, BoardOwnership::Options{options_.nodeId, options_.takeoverMs}),
      alerts_(connection_), channel_(NotifyBus::NodeChannel(options_.nodeId)), startedMs_(clock.NowMs()),
      flushTimer_(loop), tickTimer_(loop) {
    connection_.AddLinkListener([this](bool up) { OnLink(up); });
    bus_.AddListener([this](const std::string& channel, const std::string& payload) { OnMessage(channel, payload); });
    ownership_.AddChangeListener([this](const std::string& board, bool owned) {
        spdlog::info("node {}: board {} {}", options_.nodeId, board, owned ? "taken over" : "given up");
        if (owned) {
            Refresh(board);
        } else {
            remote_.erase(board);
            ForgetRemote(board, {});
        }
        if (events_.boardChanged) events_.boardChanged(board);
    });
    if (!bus_.Listen(NotifyBus::kPostsChannel) || !bus_.Listen(NotifyBus::kNoticesChannel) ||
        !bus_.Listen(NotifyBus::kMembersChannel))
        spdlog::error("cluster channels refused");
    if (channel_.empty() || !bus_.Listen(channel_))
        spdlog::error("node id {} does not fit a channel name: no orders reach this instance", options_.nodeId);
}

Cluster::~Cluster() = default;

void Cluster::Start() {
    connection_.Start();
    ownership_.Start();
    Arm();
}

std::string Cluster::LinkState() const {
    if (LinkUp()) return "database up";
    if (connection_.LinkUp()) return "database schema not ready: " + migrateError_;
    return "database down: " + connection_.LastError();
}

void Cluster::OnLink(bool up) {
    if (!up) {
        migrated_ = false;
        registered_ = false;
        spdlog::warn("node {}: database link down: {}", options_.nodeId, connection_.LastError());
        return;
    }
    PgSchema::Migrate(connection_, [this](PgSchema::Migrated migrated) {
        migrated_ = migrated.ok;
        migrateError_ = migrated.error;
        if (migrated.ok) {
            spdlog::info("node {}: database up, schema version {}", options_.nodeId, migrated.version);
            Register();
        } else {
            spdlog::error("node {}: database schema: {}", options_.nodeId, migrated.error);
        }
    });
}

// Rewrites this instance's rows as a whole: what an earlier run or session
// left there is gone, what holds now is written.
void Cluster::Register() {
    std::vector<SessionId> ids;
    std::vector<std::string> phones;
    for (const auto& [id, phone] : relays_) {
        ids.push_back(id);
        phones.push_back(phone);
    }
    std::string phoneArray = "{";
    for (const auto& phone : phones) phoneArray += (phoneArray.size() > 1 ? ",\"" : "\"") + phone + "\"";
    phoneArray += "}";
    const std::uint64_t session = connection_.LinksMade();
    connection_.Transaction(
        {{"INSERT INTO cluster_nodes (node_id, started_ms, heartbeat_ms) VALUES ($1, $2, $3) "
          "ON CONFLICT (node_id) DO UPDATE SET heartbeat_ms = EXCLUDED.heartbeat_ms",
          {PgParam::Text(options_.nodeId), PgParam::Int(startedMs_), PgParam::Int(clock_.NowMs())}},
         {"DELETE FROM cluster_members WHERE node_id = $1", {PgParam::Text(options_.nodeId)}},
         {"DELETE FROM cluster_relays WHERE node_id = $1", {PgParam::Text(options_.nodeId)}},
         {"INSERT INTO cluster_relays (node_id, connection_id, phone) "
          "SELECT $1, r.c, r.p FROM unnest($2::bigint[], $3::text[]) AS r(c, p)",
          {PgParam::Text(options_.nodeId), PgParam::Text(ArrayOf(ids)), PgParam::Text(phoneArray)}}},
        [this, alive = std::weak_ptr<int>(alive_), session](PgReply reply) {
            if (!alive.lock() || session != connection_.LinksMade() || reply.ok) return;
            spdlog::warn("node {}: relays and members not registered: {}", options_.nodeId, reply.error);
            connection_.Reset("cluster rows not registered");
        });
    // Every later change queues behind the rewrite, which a failure undoes
    // with the session.
    registered_ = true;
    for (const auto& entry : members_) dirty_.insert(entry.first);
    ScheduleFlush();
}

void Cluster::Arm() {
    tickTimer_.expires_after(std::chrono::milliseconds(OwnershipLease(options_.takeoverMs).TickEveryMs()));
    tickTimer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& ec) {
        if (ec || !alive.lock()) return;
        Tick();
        Arm();
    });
}

// The members of owned boards are read again (an instance may have died),
// and instances silent for long are forgotten with their rows.
void Cluster::Tick() {
    if (!registered_) return;
    RefreshOwned();
    const std::int64_t takeover = std::max(options_.takeoverMs, OwnershipLease::kMinTakeoverMs);
    connection_.Query("DELETE FROM cluster_nodes WHERE heartbeat_ms < $1",
                      {PgParam::Int(clock_.NowMs() - kForgetAfterTakeovers * takeover)}, [](PgReply reply) {
                          if (!reply.ok) spdlog::warn("silent nodes not forgotten: {}", reply.error);
                      });
}

void Cluster::Publish(const char* channel, const std::string& board, const std::string& text) {
    if (!bus_.Publish(channel, EncodeBroadcast({options_.nodeId, board, text}), [channel](PgReply reply) {
            if (!reply.ok) spdlog::warn("cluster message on {} not sent: {}", channel, reply.error);
        }))
        spdlog::warn("cluster message on {} too long; not sent", channel);
}

void Cluster::PostForwarded(const std::string& board, const std::string& line) {
    Publish(NotifyBus::kPostsChannel, board, line);
}

void Cluster::NoticeSent(const std::string& text, const std::string& board) {
    Publish(NotifyBus::kNoticesChannel, board, text);
}

void Cluster::OnMessage(const std::string& channel, const std::string& payload) {
    if (channel == channel_) {
        const auto order = DecodeOrder(payload);
        if (!order) return spdlog::warn("order to node {} not understood; ignored", options_.nodeId);
        return std::visit([this](const auto& typed) { OnOrder(typed); }, *order);
    }
    const auto message = DecodeBroadcast(payload);
    if (!message) {
        spdlog::warn("cluster message on {} without its parts; ignored", channel);
        return;
    }
    if (message->node == options_.nodeId) return; // this instance's own
    if (channel == NotifyBus::kPostsChannel && events_.post) {
        events_.post(message->board, message->text);
    } else if (channel == NotifyBus::kNoticesChannel && events_.notice) {
        events_.notice(message->text, message->board);
    } else if (channel == NotifyBus::kMembersChannel && ownership_.Owns(message->board)) {
        Refresh(message->board);
    }
}

void Cluster::OnOrder(const SmsOrder& order) {
    auto answer = [this, alive = std::weak_ptr<int>(alive_), node = order.sender, number = order.order](bool taken) {
        if (!alive.lock()) return;
        if (!SendOrder(node, SmsTakenOrder{number, taken}))
            spdlog::warn("answer to an alert order of node {} not sent", node.substr(0, 63));
    };
    if (!events_.sms) return answer(false);
    events_.sms(order.phone, order.line, std::move(answer));
}

void Cluster::OnOrder(const SmsTakenOrder& order) { SmsAnswered(order.order, order.taken); }

void Cluster::OnOrder(const AskOrder& order) {
    if (events_.ask)
        events_.ask(Ask{order.board, order.connection, order.baseline, order.list, Ticket{order.owner, order.ownerId}});
}

void Cluster::OnOrder(const OutcomeOrder& order) {
    const auto remote = remoteIds_.find(order.ownerId);
    // Only for clients this instance still counts as the board's members.
    if (remote == remoteIds_.end() || remote->second.board != order.board) return;
    if (events_.outcome)
        events_.outcome(Outcome{order.board, order.ownerId, order.baseline, order.answered, order.list.value_or("")});
}

bool Cluster::SendOrder(const std::string& node, Order order, PgConnection::Done done) {
    const std::string channel = NotifyBus::NodeChannel(node);
    if (channel.empty()) return false;
    return bus_.Publish(channel, EncodeOrder(std::move(order), NotifyBus::kMaxPayload),
                        [node, done = std::move(done)](PgReply reply) {
                            if (!reply.ok) spdlog::warn("order to node {} not sent: {}", node, reply.error);
                            if (done) done(std::move(reply));
                        });
}

// --- members and checks

void Cluster::Members(const std::string& board, const MemberList& list) {
    const std::vector<Member> members = list();
    const auto it = members_.find(board);
    if (it == members_.end() ? members.empty() : it->second == members) return;
    members_[board] = members;
    dirty_.insert(board);
    ScheduleFlush();
}

void Cluster::ScheduleFlush() {
    if (flushArmed_ || !registered_ || dirty_.empty()) return;
    flushArmed_ = true;
    flushTimer_.expires_after(std::chrono::milliseconds(kMembersBatchMs));
    flushTimer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& ec) {
        if (ec || !alive.lock()) return;
        flushArmed_ = false;
        Flush();
    });
}

// One transaction for every board changed since the last: its rows of this
// instance replaced by the members it has now.
void Cluster::Flush() {
    if (!registered_ || dirty_.empty()) return;
    std::vector<PgStatement> statements;
    std::vector<std::string> boards;
    for (const auto& board : dirty_) {
        const auto it = members_.find(board);
        std::vector<SessionId> ids;
        std::vector<std::int64_t> intervals, dues;
        if (it != members_.end()) {
            for (const auto& member : it->second) {
                ids.push_back(member.id);
                intervals.push_back(member.intervalMs);
                dues.push_back(member.dueMs);
            }
            if (it->second.empty()) members_.erase(it);
        }
        statements.push_back({"DELETE FROM cluster_members WHERE node_id = $1 AND board = $2 AND "
                              "NOT (connection_id = ANY($3::bigint[]))",
                              {PgParam::Text(options_.nodeId), PgParam::Bytes(board), PgParam::Text(ArrayOf(ids))}});
        if (!ids.empty())
            statements.push_back(
                {"INSERT INTO cluster_members (node_id, connection_id, board, interval_ms, due_ms) "
                 "SELECT $1, m.c, $2, m.i, m.d FROM unnest($3::bigint[], $4::bigint[], $5::bigint[]) AS m(c, i, d) "
                 "ON CONFLICT (node_id, connection_id) DO UPDATE SET board = EXCLUDED.board, "
                 "interval_ms = EXCLUDED.interval_ms, due_ms = EXCLUDED.due_ms",
                 {PgParam::Text(options_.nodeId), PgParam::Bytes(board), PgParam::Text(ArrayOf(ids)),
                  PgParam::Text(ArrayOf(intervals)), PgParam::Text(ArrayOf(dues))}});
        boards.push_back(board);
    }
    dirty_.clear();
    const std::uint64_t session = connection_.LinksMade();
    connection_.Transaction(std::move(statements), [this, alive = std::weak_ptr<int>(alive_), session,
                                                    boards = std::move(boards)](PgReply reply) {
        if (!alive.lock() || session != connection_.LinksMade()) return;
        if (!reply.ok) {
            // Written again with the next change, or whole at the next link.
            spdlog::warn("node {}: members not written: {}", options_.nodeId, reply.error);
            for (const auto& board : boards) dirty_.insert(board);
            return;
        }
        for (const auto& board : boards) Publish(NotifyBus::kMembersChannel, board, "");
    });
}

// Reads the board's members of the other living instances.
namespace {

// The other living instances' monitoring clients: node, connection, interval,
// due time, and board.
constexpr const char* kRemoteMembers =
    "SELECT m.node_id, m.connection_id, m.interval_ms, m.due_ms, m.board FROM cluster_members m "
    "JOIN cluster_nodes n ON n.node_id = m.node_id WHERE m.node_id <> $1 AND n.heartbeat_ms > $2";

} // namespace

void Cluster::Refresh(const std::string& board) {
    if (!registered_) return;
    connection_.Query(
        std::string(kRemoteMembers) + " AND m.board = $3 ORDER BY m.node_id, m.connection_id",
        {PgParam::Text(options_.nodeId), PgParam::Int(clock_.NowMs() - options_.takeoverMs), PgParam::Bytes(board)},
        [this, alive = std::weak_ptr<int>(alive_), board](PgReply reply) {
            if (!alive.lock()) return;
            if (!reply.ok) return spdlog::warn("members of board {} not read: {}", board, reply.error);
            std::vector<const PgRow*> rows;
            for (const PgRow& row : reply.rows) rows.push_back(&row);
            ApplyRemote(board, reply, rows);
        });
}

void Cluster::RefreshOwned() {
    if (!registered_ || remote_.empty()) return;
    // One query for every board this instance schedules, not one a board.
    connection_.Query(
        std::string(kRemoteMembers) +
            " AND m.board IN (SELECT url FROM cluster_boards WHERE owner_node = $1) ORDER BY m.node_id, m.connection_id",
        {PgParam::Text(options_.nodeId), PgParam::Int(clock_.NowMs() - options_.takeoverMs)},
        [this, alive = std::weak_ptr<int>(alive_)](PgReply reply) {
            if (!alive.lock()) return;
            if (!reply.ok) return spdlog::warn("members of other instances not read: {}", reply.error);
            std::map<std::string, std::vector<const PgRow*>> byBoard;
            for (const auto& [board, members] : remote_) byBoard[board];
            for (const PgRow& row : reply.rows)
                if (row.size() > 4 && row[4])
                    if (const auto it = byBoard.find(*row[4]); it != byBoard.end()) it->second.push_back(&row);
            for (const auto& [board, rows] : byBoard) ApplyRemote(board, reply, rows);
        });
}

void Cluster::ApplyRemote(const std::string& board, const PgReply& reply, const std::vector<const PgRow*>& rows) {
    if (!ownership_.Owns(board)) return;
    std::vector<Member> members;
    std::set<SessionId> present;
    for (const PgRow* row : rows) {
        const std::size_t index = static_cast<std::size_t>(row - reply.rows.data());
        const auto connection = reply.Int(index, 1);
        const auto interval = reply.Int(index, 2);
        const auto due = reply.Int(index, 3);
        if (!(*row)[0] || !connection || !interval || !due) continue;
        const auto key = std::make_pair(*(*row)[0], static_cast<SessionId>(*connection));
        auto known = idOf_.find(key);
        if (known == idOf_.end() || remoteIds_.at(known->second).board != board) {
            const SessionId id = kRemoteBit | ++lastRemote_;
            remoteIds_[id] = Remote{key.first, key.second, board};
            known = idOf_.insert_or_assign(key, id).first;
        }
        present.insert(known->second);
        members.push_back(Member{known->second, *interval, *due});
    }
    ForgetRemote(board, present);
    auto& known = remote_[board];
    if (known == members) return;
    known = std::move(members);
    if (events_.boardChanged) events_.boardChanged(board);
}

void Cluster::ForgetRemote(const std::string& board, const std::set<SessionId>& keep) {
    for (auto it = remoteIds_.begin(); it != remoteIds_.end();) {
        if (it->second.board != board || keep.count(it->first)) {
            ++it;
            continue;
        }
        const auto key = std::make_pair(it->second.node, it->second.connection);
        if (const auto owner = idOf_.find(key); owner != idOf_.end() && owner->second == it->first) idOf_.erase(owner);
        it = remoteIds_.erase(it);
    }
}

std::vector<ICluster::Member> Cluster::RemoteMembers(const std::string& board) const {
    const auto it = remote_.find(board);
    return it == remote_.end() ? std::vector<Member>{} : it->second;
}

// A list too long for one message stays behind: the member's instance checks
// against the list it holds itself.
void Cluster::SendAsk(const std::string& board, SessionId remote, bool baseline,
                      const std::optional<std::string>& list) {
    const auto it = remoteIds_.find(remote);
    if (it == remoteIds_.end()) return;
    if (!SendOrder(it->second.node,
                   AskOrder{options_.nodeId, remote, board, it->second.connection, baseline, list}))
        spdlog::warn("check order for board {} not sent", board);
}

void Cluster::SendOutcome(const Ticket& ticket, const Outcome& outcome) {
    OutcomeOrder order{ticket.id, outcome.board, outcome.baseline, outcome.answered, std::nullopt};
    if (!outcome.list.empty()) order.list = outcome.list;
    if (!SendOrder(ticket.node, std::move(order))) spdlog::warn("check outcome for board {} not sent", outcome.board);
}

// --- relays and alerts

void Cluster::RelayJoined(SessionId id, const std::string& phone) {
    const auto it = relays_.find(id);
    if (it != relays_.end() && it->second == phone) return;
    relays_[id] = phone;
    if (!registered_) return;
    connection_.Query("INSERT INTO cluster_relays (node_id, connection_id, phone) VALUES ($1, $2, $3) "
                      "ON CONFLICT (node_id, connection_id) DO UPDATE SET phone = EXCLUDED.phone",
                      {PgParam::Text(options_.nodeId), PgParam::Int(static_cast<std::int64_t>(id)), PgParam::Text(phone)},
                      [](PgReply reply) {
                          if (!reply.ok) spdlog::warn("relay not registered: {}", reply.error);
                      });
}

void Cluster::RelayLeft(SessionId id) {
    if (!relays_.erase(id) || !registered_) return;
    connection_.Query("DELETE FROM cluster_relays WHERE node_id = $1 AND connection_id = $2",
                      {PgParam::Text(options_.nodeId), PgParam::Int(static_cast<std::int64_t>(id))}, [](PgReply reply) {
                          if (!reply.ok) spdlog::warn("relay not unregistered: {}", reply.error);
                      });
}

void Cluster::AdmitAlert(const std::string& phone, const std::string& line, AdmitDone done) {
    const std::int64_t now = clock_.NowMs();
    alerts_.Admit(phone, line, now, [now, done = std::move(done)](std::optional<SmsLimiter::Verdict> verdict) {
        done(verdict ? std::optional<Admission>(Admission{*verdict, now}) : std::nullopt);
    });
}

void Cluster::ReleaseAlert(const std::string& phone, const std::string& line, std::int64_t atMs) {
    alerts_.Release(phone, line, atMs);
}

// One living instance with a relay, picked at random, gets the order.
void Cluster::RelayElsewhere(const std::string& phone, const std::string& line, std::function<void(bool sent)> done) {
    connection_.Query(
        "SELECT r.node_id FROM cluster_relays r JOIN cluster_nodes n ON n.node_id = r.node_id "
        "WHERE r.node_id <> $1 AND n.heartbeat_ms > $2 GROUP BY r.node_id ORDER BY random() LIMIT 1",
        {PgParam::Text(options_.nodeId), PgParam::Int(clock_.NowMs() - options_.takeoverMs)},
        [this, alive = std::weak_ptr<int>(alive_), phone, line, done = std::move(done)](PgReply reply) {
            if (!alive.lock()) return;
            if (!reply.ok) spdlog::warn("relays of the cluster not read: {}", reply.error);
            if (!reply.ok || reply.rows.empty() || !reply.rows[0][0]) return done(false);
            const std::string node = *reply.rows[0][0];
            const std::uint64_t order = ++lastOrder_;
            auto& pending = smsOrders_[order];
            pending.done = done;
            pending.timer = std::make_unique<asio::steady_timer>(loop_, std::chrono::milliseconds(kSmsAnswerMs));
            pending.timer->async_wait([this, alive = std::weak_ptr<int>(alive_), order](const std::error_code& ec) {
                if (ec || !alive.lock()) return;
                spdlog::warn("alert order {} not answered in time; taken as not sent", order);
                SmsAnswered(order, false);
            });
            const bool sent = SendOrder(node, SmsOrder{options_.nodeId, order, phone, line},
                                        [this, alive = std::weak_ptr<int>(alive_), order](PgReply reply) {
                                            if (alive.lock() && !reply.ok) SmsAnswered(order, false);
                                        });
            if (!sent) SmsAnswered(order, false);
        });
}

void Cluster::SmsAnswered(std::uint64_t order, bool taken) {
    const auto it = smsOrders_.find(order);
    if (it == smsOrders_.end()) return;
    const auto done = std::move(it->second.done);
    smsOrders_.erase(it); // cancels the timer
    done(taken);
}

} // namespace quorlan::server::pg
