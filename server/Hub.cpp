#include "Hub.h"

#include "server/boards/BoardUrl.h"
#include "server/common/LogText.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {
namespace {

// A client's interval is its reload budget: taken between the floor and a
// day, 0 or less meaning the floor.
constexpr std::int32_t kLongestIntervalSeconds = 86'400;

} // namespace

Hub::Hub(ClientDirectory& clients, IBoardRegistry& boards, CheckLoop& scheduler, StoreWorker& store, AlertRelay& relay,
         AccountService& accounts, TrustRules& rules, const TrustLimits& limits, const IClock& clock, Metrics& metrics,
         std::chrono::milliseconds minInterval, ICluster& cluster)
    : clients_(clients), boards_(boards), scheduler_(scheduler), store_(store), relay_(relay), accounts_(accounts),
      rules_(rules), limits_(limits), clock_(clock), metrics_(metrics), minInterval_(minInterval),
      posts_(limits.postWindowMs), cluster_(cluster) {}

void Hub::UpdateGauges() {
    metrics_.connections.store(static_cast<std::int64_t>(clients_.Size()), std::memory_order_relaxed);
    metrics_.boards.store(static_cast<std::int64_t>(boards_.BoardCount()), std::memory_order_relaxed);
}

void Hub::OnOpened(std::shared_ptr<IPeer> peer) {
    clients_.Add(std::move(peer));
    UpdateGauges();
}

void Hub::OnClosed(SessionId id) {
    if (ClientRecord* client = clients_.Find(id); client && client->loggedIn && client->monitoring) {
        // The account misses what its board gets from now on, unless another
        // of its connections still watches it.
        const std::string& board = boards_.BoardOf(id);
        bool stillWatched = false;
        clients_.ForEachOfAccount(client->phone, [&](SessionId other, const ClientRecord&) {
            stillWatched = stillWatched || (other != id && boards_.IsMonitoring(board, other));
        });
        if (!board.empty() && !stillWatched) {
            store_.Write([phone = client->phone, board, now = clock_.NowMs()](IStore& store) {
                store.Replay().Away(phone, board, now);
            });
        }
    }
    const std::string left = boards_.Leave(id);
    if (!left.empty()) LeftBoard(left, id);
    relay_.Closed(id);
    if (ClientRecord* client = clients_.Find(id)) rules_.ConnectionClosed(client->peer->Address());
    clients_.Remove(id);
    UpdateGauges();
}

void Hub::LeftBoard(const std::string& url, SessionId id) {
    scheduler_.ClientLeft(url, id);
    if (!boards_.Exists(url)) posts_.Forget(url);
}

AccountService::Source Hub::SourceOf(const ClientRecord& client) const {
    return AccountService::Source{client.peer->Address(), client.alive};
}

void Hub::Reply(ClientRecord& client, net::ServerMsg type, std::uint32_t code) {
    net::Encoded packet = net::EncodeResult(type, code);
    if (packet.ok()) client.peer->Send(Share(std::move(packet.bytes)));
}

void Hub::ReplyLater(SessionId id, net::ServerMsg type, std::uint32_t code) {
    ClientRecord* client = clients_.Find(id);
    if (!client) return;
    Reply(*client, type, code);
    client->peer->Resume();
}

void Hub::Resume(SessionId id) {
    if (ClientRecord* client = clients_.Find(id)) client->peer->Resume();
}

Flow Hub::OnRequest(SessionId id, const net::ClientRequest& request) {
    ClientRecord* client = clients_.Find(id);
    if (!client) return Flow::Continue;
    // The decoder lets only the requests of the message table through.
    switch (static_cast<net::ClientMsg>(request.type)) {
    case net::Version:
        Reply(*client, net::VersionResult, request.value == net::kClientBuild ? 1 : 0);
        break;
    case net::Login:
        return OnLogin(id, request);
    case net::NewAccount:
        return OnNewAccount(id, request);
    case net::ChangePassword:
        return OnChangePassword(id, *client, request);
    case net::RequestIdentNumber:
        return OnRequestIdentNumber(id, *client, request);
    case net::SetBoard:
        return OnSetBoard(id, *client, request);
    case net::ListReply:
        scheduler_.OnListReply(id, boards_.BoardOf(id), request.text);
        break;
    case net::ListReport:
        OnListReport(id, request.text);
        break;
    case net::NewPost:
        OnNewPost(id, request.text);
        break;
    case net::RequestPhone:
        return OnRequestPhone(id, *client, request.text);
    case net::SearchState:
    case net::RobotMode:
        // Both carry 0 or 1; anything else is a malformed field.
        if (request.value > 1) {
            metrics_.malformedPackets.fetch_add(1, std::memory_order_relaxed);
            client->peer->Close("flag value out of range");
            break;
        }
        if (request.type == net::RobotMode) return OnRobotMode(id, *client, request.value == 1);
        OnSearchState(id, *client, request.value == 1);
        break;
    }
    return Flow::Continue;
}

Flow Hub::OnLogin(SessionId id, const net::ClientRequest& request) {
    ClientRecord* asking = clients_.Find(id);
    if (!cluster_.LinkUp()) {
        // Without the database this instance cannot know the account's state
        // across the cluster.
        spdlog::warn("client {}: login refused: the database link is down", id);
        Reply(*asking, net::LoginResult, 0);
        return Flow::Continue;
    }
    accounts_.Login(request.fields[0], request.fields[1], SourceOf(*asking), [this, id](std::optional<Account> account) {
        ClientRecord* client = clients_.Find(id);
        if (!client) return;
        if (account) {
            clients_.LoggedIn(id, account->phone);
            if (account->robotMode) {
                client->robotRequested = true; // asked on an earlier connection
            } else if (client->robotRequested && account->relay) {
                accounts_.RememberRobotMode(account->phone, true); // asked before this login
            }
            relay_.Update(id, *client);
        }
        Reply(*client, net::LoginResult, account ? 1 : 0);
        // The board may have been set before the login.
        if (!account || !Replay(id, *client, boards_.BoardOf(id))) client->peer->Resume();
    });
    return Flow::Hold;
}

Flow Hub::OnNewAccount(SessionId id, const net::ClientRequest& request) {
    accounts_.NewAccount(request.fields[0], request.fields[1], request.fields[2], SourceOf(*clients_.Find(id)),
                         [this, id](std::uint32_t code) { ReplyLater(id, net::NewAccountResult, code); });
    return Flow::Hold;
}

Flow Hub::OnChangePassword(SessionId id, ClientRecord& client, const net::ClientRequest& request) {
    if (!client.loggedIn) {
        Reply(client, net::ChangePasswordResult, 0);
        return Flow::Continue;
    }
    accounts_.ChangePassword(client.phone, request.fields[0], request.fields[1], SourceOf(client),
                             [this, id](std::uint32_t code) { ReplyLater(id, net::ChangePasswordResult, code); });
    return Flow::Hold;
}

Flow Hub::OnRequestIdentNumber(SessionId id, ClientRecord& client, const net::ClientRequest& request) {
    // There is no answer to this request: the number reaches the user's phone.
    // Each one issued costs a text message, hence the caps per phone, per
    // address and for the whole server.
    accounts_.IssueIdentNumber(
        request.fields[0], client.peer->Address(), [this, id](std::optional<AccountService::IdentMessage> issued) {
            if (!issued) return Resume(id);
            relay_.SendIdentNumber(id, *issued, [this, id] { Resume(id); });
        });
    return Flow::Hold;
}

Flow Hub::OnSetBoard(SessionId id, ClientRecord& client, const net::ClientRequest& request) {
    if (!IsBoardUrl(request.text)) {
        spdlog::info("client {}: board address refused: \"{}\"", id, LogText(request.text));
        Reply(client, net::SetBoardResult, 0);
        return Flow::Continue;
    }
    if (!rules_.AdmitBoard(client.recentBoards, request.text, clock_.SteadyMs())) {
        metrics_.boardsRefused.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("client {} ({}): board refused: {} new boards within the hour", id, client.peer->Address(),
                     limits_.boardsPerHour);
        Reply(client, net::SetBoardResult, 0);
        return Flow::Continue;
    }
    const std::chrono::milliseconds asked(std::int64_t{std::min(request.repeatSeconds, kLongestIntervalSeconds)} *
                                          1000);
    const auto interval = std::max(minInterval_, asked);
    const std::string left = boards_.Join(id, request.text, interval, client.monitoring);
    Reply(client, net::SetBoardResult, 1);
    const bool replaying = Replay(id, client, request.text);
    if (!left.empty()) LeftBoard(left, id);
    scheduler_.MemberChanged(request.text, id);
    UpdateGauges();
    return replaying ? Flow::Hold : Flow::Continue;
}

void Hub::OnSearchState(SessionId id, ClientRecord& client, bool monitoring) {
    client.monitoring = monitoring;
    const std::string board = boards_.SetMonitoring(id, monitoring);
    if (!board.empty()) scheduler_.MemberChanged(board, id);
}

Flow Hub::OnRobotMode(SessionId id, ClientRecord& client, bool on) {
    client.robotRequested = on;
    relay_.Update(id, client);
    if (!client.loggedIn) {
        if (on) spdlog::info("client {}: RobotMode before login; it counts only if a relay account logs in", id);
        return Flow::Continue;
    }
    accounts_.RememberRobotMode(client.phone, on, [this, id, on](bool relay) {
        if (on && !relay) {
            spdlog::info("client {}: RobotMode from an account that is not a relay; it counts only once the "
                         "operator marks the account",
                         id);
        }
        Resume(id);
    });
    return Flow::Hold;
}

void Hub::OnListReport(SessionId id, const std::string& text) {
    const std::string& board = boards_.BoardOf(id);
    // The list the checker was sent, before its report replaces it.
    const auto previous = boards_.LastList(board);
    if (scheduler_.OnListReport(id, board, text)) posts_.Expect(board, id, previous, text, clock_.SteadyMs());
}

void Hub::OnNewPost(SessionId id, const std::string& line) {
    const std::string& board = boards_.BoardOf(id);
    // Only the client holding the board's check, and only lines its own
    // report made new.
    const PostGate::Verdict verdict = scheduler_.HoldsCheck(board, id) ? posts_.Take(board, id, line, clock_.SteadyMs())
                                                                       : PostGate::Verdict::NotChecker;
    switch (verdict) {
    case PostGate::Verdict::Accepted:
        break;
    case PostGate::Verdict::NotChecker:
        metrics_.postsRefused.fetch_add(1, std::memory_order_relaxed);
        spdlog::debug("client {}: NewPost without a report of its own; dropped", id);
        return;
    case PostGate::Verdict::NotNew:
        metrics_.postsNotNew.fetch_add(1, std::memory_order_relaxed);
        spdlog::debug("client {}: NewPost of a line its report did not make new; dropped", id);
        return;
    case PostGate::Verdict::Late:
        metrics_.postsLate.fetch_add(1, std::memory_order_relaxed);
        spdlog::debug("client {}: NewPost too long after its report; dropped", id);
        return;
    }
    if (!boards_.FirstSighting(board, line)) {
        metrics_.duplicatesDropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Deliver(board, line);
    // Recorded by the instance that forwarded it only: in a cluster the
    // missed lines are shared by every instance.
    store_.Write([board, line, now = clock_.NowMs()](IStore& store) { store.Replay().Forwarded(board, line, now); });
    metrics_.postsForwarded.fetch_add(1, std::memory_order_relaxed);
    cluster_.PostForwarded(board, line);
}

void Hub::OnClusterPost(const std::string& board, const std::string& line) {
    // Only boards with clients here; a line seen lately is not sent again.
    if (!boards_.Exists(board) || !boards_.FirstSighting(board, line)) return;
    Deliver(board, line);
}

void Hub::Deliver(const std::string& board, const std::string& line) {
    net::Encoded packet = net::EncodeServerNewPost(line);
    if (!packet.ok()) return;
    const SharedPacket shared = Share(std::move(packet.bytes));
    std::uint64_t delivered = 0;
    boards_.ForEachMonitoring(board, [&](SessionId member) {
        if (clients_.Send(member, shared)) ++delivered;
    });
    metrics_.postDeliveries.fetch_add(delivered, std::memory_order_relaxed);
}

bool Hub::Replay(SessionId id, ClientRecord& client, const std::string& board) {
    if (!client.loggedIn || board.empty()) return false;
    store_.Run([phone = client.phone, board,
                now = clock_.NowMs()](IStore& store) { return store.Replay().Returned(phone, board, now); },
               [this, id, board](std::vector<std::string> missed) {
                   ClientRecord* back = clients_.Find(id);
                   if (!back) return;
                   back->peer->Resume();
                   if (missed.empty() || boards_.BoardOf(id) != board) return;
                   std::uint64_t sent = 0;
                   for (const std::string& line : missed) {
                       net::Encoded packet = net::EncodeServerNewPost(line);
                       if (packet.ok() && back->peer->Send(Share(std::move(packet.bytes)))) ++sent;
                   }
                   metrics_.linesReplayed.fetch_add(sent, std::memory_order_relaxed);
                   spdlog::info("client {}: {} post lines missed on {} sent again", id, sent, LogText(board));
               });
    return true;
}

Flow Hub::OnRequestPhone(SessionId id, ClientRecord& client, const std::string& line) {
    net::Encoded packet = net::EncodeRequestSMS(client.phone, line);
    if (!client.loggedIn) {
        spdlog::info("client {}: RequestPhone refused: not logged in", id);
    } else if (!boards_.Forwarded(boards_.BoardOf(id), line, limits_.alertLineMs)) {
        metrics_.alertsUnknownLine.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("client {}: RequestPhone refused: the line was not sent to its board lately", id);
    } else if (!packet.ok()) {
        spdlog::info("client {}: RequestPhone refused: {}", id, LogText(packet.error));
    } else {
        relay_.SendAlert(id, client.phone, line, Share(std::move(packet.bytes)), [this, id](bool relayed) {
            AlertAnswered(id, relayed);
            Resume(id);
        });
        return Flow::Hold;
    }
    AlertAnswered(id, false);
    return Flow::Continue;
}

void Hub::AlertAnswered(SessionId id, bool relayed) {
    (relayed ? metrics_.smsRelayed : metrics_.smsRefused).fetch_add(1, std::memory_order_relaxed);
    if (ClientRecord* client = clients_.Find(id)) Reply(*client, net::RequestPhoneResult, relayed ? 1 : 0);
}

std::optional<std::size_t> Hub::Notice(const std::string& text, const std::string& board) {
    const auto reached = DeliverNotice(text, board);
    if (reached) cluster_.NoticeSent(text, board);
    return reached;
}

void Hub::OnClusterNotice(const std::string& text, const std::string& board) { (void)DeliverNotice(text, board); }

std::optional<std::size_t> Hub::DeliverNotice(const std::string& text, const std::string& board) {
    net::Encoded packet = net::EncodeSystem(text);
    if (!packet.ok()) return std::nullopt;
    const SharedPacket shared = Share(std::move(packet.bytes));
    std::size_t reached = 0;
    if (board.empty()) {
        // Every client: the admin endpoint refuses an empty board= itself.
        clients_.ForEach([&](SessionId, ClientRecord& client) {
            if (client.peer->Send(shared)) ++reached;
        });
    } else {
        boards_.ForEachMember(board, [&](SessionId member) {
            if (clients_.Send(member, shared)) ++reached;
        });
    }
    metrics_.noticesSent.fetch_add(reached, std::memory_order_relaxed);
    return reached;
}

} // namespace quorlan::server
