#include "PgReplayStore.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <limits>

namespace quorlan::server::pg {
namespace {

PgParam Count(std::size_t n) {
    return PgParam::Int(static_cast<std::int64_t>(
        std::min<std::size_t>(n, static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max()))));
}

} // namespace

bool PgReplayStore::Step(const char* what, const char* sql, std::vector<PgParam> params, PgReply* reply) {
    PgReply answer = db_.Exec(sql, params);
    if (!answer.ok) {
        spdlog::error("{} failed: {}", what, answer.error);
        return false;
    }
    if (reply) *reply = std::move(answer);
    return true;
}

bool PgReplayStore::Expire(std::int64_t nowMs) {
    // An account away for longer than the age limit keeps only lines that came
    // after it left; while the newest of them is young enough it moves up to
    // that line's time, otherwise it goes. The two sets of accounts are apart,
    // so one statement does both (its parts all see the rows as they were).
    return Step("replay expiry",
                "WITH newest AS ("
                "  SELECT DISTINCT ON (a.account) a.account, l.posted_ms FROM replay_absences a"
                "  JOIN replay_lines l ON l.url = a.board AND l.seq > a.since_seq"
                "  WHERE a.since_ms < $1 ORDER BY a.account, l.seq DESC),"
                " moved AS ("
                "  UPDATE replay_absences a SET since_ms = n.posted_ms FROM newest n"
                "  WHERE a.account = n.account AND n.posted_ms >= $1),"
                " gone AS ("
                "  DELETE FROM replay_absences a WHERE a.since_ms < $1"
                "  AND a.account NOT IN (SELECT account FROM newest WHERE posted_ms >= $1))"
                " DELETE FROM replay_lines WHERE posted_ms < $1",
                {PgParam::Int(nowMs - limits_.maxAgeMs)});
}

void PgReplayStore::Away(const std::string& account, const std::string& board, std::int64_t nowMs) {
    // The longest away are forgotten to make room: the others and this one
    // make at most maxAccounts. Another instance may record the same account
    // at the same moment; the later absence wins.
    const std::size_t others = std::max<std::size_t>(limits_.maxAccounts, 1) - 1;
    const bool done = db_.Transaction([&] {
        return Expire(nowMs) &&
               Step("replay absence", "DELETE FROM replay_absences WHERE account = $1", {PgParam::Text(account)}) &&
               Step("replay eviction",
                    "DELETE FROM replay_absences WHERE account IN (SELECT account FROM replay_absences "
                    "ORDER BY since_ms DESC, since_seq DESC OFFSET $1)",
                    {Count(others)}) &&
               Step("replay absence",
                    "INSERT INTO replay_absences (account, board, since_ms, since_seq) "
                    "VALUES ($1, $2, $3, nextval('replay_seq')) ON CONFLICT (account) DO UPDATE SET "
                    "board = excluded.board, since_ms = excluded.since_ms, since_seq = excluded.since_seq",
                    {PgParam::Text(account), PgParam::Bytes(board), PgParam::Int(nowMs)});
    });
    if (!done) spdlog::error("account away from a board not recorded");
}

void PgReplayStore::Forwarded(const std::string& board, const std::string& line, std::int64_t nowMs) {
    const bool done = db_.Transaction([&] {
        PgReply kept;
        if (!Expire(nowMs) ||
            !Step("replay line",
                  "INSERT INTO replay_lines (url, seq, line, posted_ms) "
                  "SELECT $1, nextval('replay_seq'), $2, $3 WHERE EXISTS "
                  "(SELECT 1 FROM replay_absences WHERE board = $1)",
                  {PgParam::Bytes(board), PgParam::Bytes(line), PgParam::Int(nowMs)}, &kept))
            return false;
        // Nobody is given more than the newest maxLines of a board.
        return kept.affected == 0 ||
               Step("replay line trim",
                    "DELETE FROM replay_lines WHERE url = $1 AND seq <= "
                    "(SELECT seq FROM replay_lines WHERE url = $1 ORDER BY seq DESC OFFSET $2 LIMIT 1)",
                    {PgParam::Bytes(board), Count(limits_.maxLines)});
    });
    if (!done) spdlog::error("forwarded line not kept for the accounts away");
}

std::vector<std::string> PgReplayStore::Returned(const std::string& account, const std::string& board,
                                                 std::int64_t nowMs) {
    std::vector<std::string> missed;
    const bool done = db_.Transaction([&] {
        missed.clear();
        PgReply absence, lines;
        if (!Expire(nowMs) || !Step("replay return",
                                    "DELETE FROM replay_absences WHERE account = $1 RETURNING board, since_seq",
                                    {PgParam::Text(account)}, &absence))
            return false;
        if (absence.rows.empty() || absence.rows[0][0] != board) return true;
        const auto sinceSeq = absence.Int(0, 1);
        if (!sinceSeq ||
            !Step("replay lines",
                  "SELECT line FROM (SELECT line, seq, posted_ms FROM replay_lines WHERE url = $1 AND seq > $2 "
                  "ORDER BY seq DESC LIMIT $3) recent WHERE posted_ms >= $4 ORDER BY seq",
                  {PgParam::Bytes(board), PgParam::Int(*sinceSeq), Count(limits_.maxLines),
                   PgParam::Int(nowMs - limits_.maxAgeMs)},
                  &lines))
            return false;
        for (auto& row : lines.rows) missed.push_back(row[0].value_or(""));
        return true;
    });
    if (!done) {
        spdlog::error("missed lines not given back");
        missed.clear();
    }
    return missed;
}

} // namespace quorlan::server::pg
