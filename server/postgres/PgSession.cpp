#include "PgSession.h"

#include "PgWire.h"

#include <libpq-fe.h>
#include <spdlog/spdlog.h>

namespace quorlan::server::pg {
namespace {

// The server's notices ("already exists, skipping") are for a debugging eye only.
void LogNotice(void*, const char* message) { spdlog::debug("database notice: {}", PgErrorText(message)); }

} // namespace

std::unique_ptr<PgSession> PgSession::Connect(const std::string& conninfo, std::string& error) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    if (!conn) {
        error = "out of memory for a database connection";
        return nullptr;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        error = "cannot connect to PostgreSQL: " + PgErrorText(PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    PQsetNoticeProcessor(conn, LogNotice, nullptr);
    return std::unique_ptr<PgSession>(new PgSession(conn));
}

std::unique_ptr<PgSession> PgSession::Eventually(const std::string& conninfo) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    if (!conn) return nullptr;
    if (PQstatus(conn) != CONNECTION_OK)
        spdlog::warn("database not reached yet: {}", PgErrorText(PQerrorMessage(conn)));
    PQsetNoticeProcessor(conn, LogNotice, nullptr);
    return std::unique_ptr<PgSession>(new PgSession(conn));
}

PgSession::~PgSession() { PQfinish(conn_); }

int PgSession::BackendPid() const { return PQbackendPID(conn_); }

PgReply PgSession::RunOnce(const std::string& sql, const std::vector<PgParam>* params) {
    PgReply reply;
    if (params) {
        if (auto refused = RefusedParams(*params)) {
            reply.error = std::move(*refused);
            return reply;
        }
    }
    PGresult* result = nullptr;
    if (params) {
        const PgParamArrays arrays(*params);
        result = PQexecParams(conn_, sql.c_str(), arrays.Count(), arrays.types.data(), arrays.values.data(),
                              arrays.lengths.data(), arrays.formats.data(), 0);
    } else {
        result = PQexec(conn_, sql.c_str());
    }
    if (!result) {
        reply.error = PgErrorText(PQerrorMessage(conn_));
        return reply;
    }
    bool failed = false;
    AbsorbResult(result, reply, failed);
    PQclear(result);
    // PQexec keeps only the last result of a script; its rows are those.
    reply.ok = !failed;
    return reply;
}

bool PgSession::Reconnected() {
    if (PQstatus(conn_) != CONNECTION_BAD) return false;
    spdlog::warn("database link lost: {}; reconnecting", PgErrorText(PQerrorMessage(conn_)));
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK) {
        spdlog::error("database reconnection failed: {}", PgErrorText(PQerrorMessage(conn_)));
        return false;
    }
    spdlog::info("database link up again (server process {})", PQbackendPID(conn_));
    return true;
}

PgReply PgSession::Run(const std::string& sql, const std::vector<PgParam>* params) {
    PgReply reply = RunOnce(sql, params);
    // Inside a transaction the whole of it runs again, not one statement.
    if (!reply.ok && !inTransaction_ && Reconnected()) reply = RunOnce(sql, params);
    return reply;
}

PgReply PgSession::Exec(const std::string& sql, const std::vector<PgParam>& params) { return Run(sql, &params); }

PgReply PgSession::Script(const std::string& sql) { return Run(sql, nullptr); }

bool PgSession::Transaction(const std::function<bool()>& body) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const PgReply begun = RunOnce("BEGIN", nullptr);
        if (!begun.ok) {
            if (attempt == 0 && Reconnected()) continue;
            spdlog::error("database transaction not begun: {}", begun.error);
            return false;
        }
        inTransaction_ = true;
        bool done = body();
        if (done) {
            const PgReply committed = RunOnce("COMMIT", nullptr);
            if (!committed.ok) spdlog::error("database transaction not committed: {}", committed.error);
            done = committed.ok;
        } else if (PQstatus(conn_) == CONNECTION_OK) {
            (void)RunOnce("ROLLBACK", nullptr);
        }
        inTransaction_ = false;
        if (done) return true;
        if (attempt == 0 && Reconnected()) continue;
        return false;
    }
    return false;
}

} // namespace quorlan::server::pg
