#include "PgConnection.h"

#include "PgWire.h"

#include <asio/post.hpp>
#include <libpq-fe.h>
#include <spdlog/spdlog.h>

#include <charconv>

namespace quorlan::server::pg {

std::optional<std::int64_t> PgReply::Int(std::size_t row, std::size_t column) const {
    if (row >= rows.size() || column >= rows[row].size() || !rows[row][column]) return std::nullopt;
    const std::string& text = *rows[row][column];
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

PgConnection::PgConnection(asio::io_context& loop, Options options)
    : loop_(loop), options_(std::move(options)), socket_(loop), timer_(loop), backoff_(options_.minBackoff) {}

PgConnection::~PgConnection() {
    ReleaseSocket();
    if (conn_) PQfinish(conn_);
}

void PgConnection::Start() {
    if (state_ == State::Stopped) Connect();
}

int PgConnection::BackendPid() const {
    return state_ == State::Up ? PQbackendPID(conn_) : 0;
}

void PgConnection::AddLinkListener(LinkListener listener) {
    linkListeners_.push_back(std::move(listener));
}

void PgConnection::AddNotificationListener(NotificationListener listener) {
    notificationListeners_.push_back(std::move(listener));
}

void PgConnection::Query(std::string sql, std::vector<PgParam> params, Done done) {
    // Text parameters end at the first NUL; refuse rather than cut.
    if (auto refused = RefusedParams(params)) return FailLater(loop_, std::move(done), std::move(*refused));
    Submit(Pending{std::move(sql), std::move(params), false, std::move(done)});
}

void PgConnection::Transaction(std::vector<PgStatement> statements, Done done) {
    for (const auto& statement : statements)
        if (auto refused = RefusedParams(statement.params)) return FailLater(loop_, std::move(done), std::move(*refused));
    if (state_ != State::Up) return FailLater(loop_, std::move(done), "database link is down");
    // All or nothing: a transaction cut short by a full queue would stay open.
    if (statements.empty() || queue_.size() + statements.size() + 2 > options_.maxQueued)
        return FailLater(loop_, std::move(done), statements.empty() ? "empty transaction" : "database queue is full");
    struct Outcome {
        PgReply last;
        std::optional<PgReply> failed; // the first failure
    };
    auto outcome = std::make_shared<Outcome>();
    const auto keep = [outcome](PgReply reply) {
        if (!reply.ok && !outcome->failed) outcome->failed = reply;
        outcome->last = std::move(reply);
    };
    Submit(Pending{"BEGIN", {}, false, keep});
    for (auto& statement : statements) Submit(Pending{std::move(statement.sql), std::move(statement.params), false, keep});
    Submit(Pending{"COMMIT", {}, false, [outcome, done = std::move(done)](PgReply reply) {
                       if (!reply.ok && !outcome->failed) outcome->failed = std::move(reply);
                       if (done) done(outcome->failed ? std::move(*outcome->failed) : std::move(outcome->last));
                   }});
}

void PgConnection::Script(std::string sql, Done done) {
    Submit(Pending{std::move(sql), {}, true, std::move(done)});
}

void PgConnection::Submit(Pending pending) {
    if (state_ != State::Up) return FailLater(loop_, std::move(pending.done), "database link is down");
    if (queue_.size() >= options_.maxQueued) return FailLater(loop_, std::move(pending.done), "database queue is full");
    queue_.push_back(std::move(pending));
    if (!inFlight_)
        asio::post(loop_, [this, alive = std::weak_ptr<int>(alive_)] {
            if (alive.lock()) Pump();
        });
}

void PgConnection::FailLater(asio::io_context& loop, Done done, std::string reason) {
    asio::post(loop, [done = std::move(done), reason = std::move(reason)] {
        PgReply reply;
        reply.error = reason;
        if (done) done(std::move(reply));
    });
}

std::optional<std::string> PgConnection::QuoteIdentifier(std::string_view name) const {
    if (state_ != State::Up) return std::nullopt;
    char* quoted = PQescapeIdentifier(conn_, name.data(), name.size());
    if (!quoted) return std::nullopt;
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
}

void PgConnection::Connect() {
    state_ = State::Connecting;
    conn_ = PQconnectStart(options_.conninfo.c_str());
    if (!conn_) return Fail("out of memory for a database connection");
    if (PQstatus(conn_) == CONNECTION_BAD) return Fail(PgErrorText(PQerrorMessage(conn_)));
    timer_.expires_after(options_.connectTimeout);
    timer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& ec) {
        if (ec || !alive.lock() || state_ != State::Connecting) return;
        Fail("database connection attempt timed out");
    });
    // Before the first poll libpq wants the socket writable.
    if (!BindSocket()) return Fail("database connection has no socket");
    Await(Wait::Write);
}

void PgConnection::PollConnect() {
    switch (PQconnectPoll(conn_)) {
    case PGRES_POLLING_READING:
        if (!BindSocket()) return Fail("database connection lost its socket");
        return Await(Wait::Read);
    case PGRES_POLLING_WRITING:
        if (!BindSocket()) return Fail("database connection lost its socket");
        return Await(Wait::Write);
    case PGRES_POLLING_OK:
        return BecomeUp();
    default:
        return Fail(PgErrorText(PQerrorMessage(conn_)));
    }
}

void PgConnection::BecomeUp() {
    if (PQsetnonblocking(conn_, 1) != 0) return Fail(PgErrorText(PQerrorMessage(conn_)));
    if (!BindSocket()) return Fail("database connection has no socket");
    timer_.cancel();
    state_ = State::Up;
    backoff_ = options_.minBackoff;
    ++linksMade_;
    spdlog::info("database link up (server process {})", PQbackendPID(conn_));
    Await(Wait::Read);
    // A listener may queue queries or even reset the link; copy first.
    const auto listeners = linkListeners_;
    for (const auto& listener : listeners) {
        if (state_ != State::Up) break;
        listener(true);
    }
    Pump();
}

void PgConnection::Reset(const std::string& reason) {
    if (state_ == State::Up || state_ == State::Connecting) {
        backoff_ = options_.minBackoff;
        Fail(reason);
    }
}

void PgConnection::Fail(const std::string& reason) {
    const bool wasUp = state_ == State::Up;
    lastError_ = reason;
    ReleaseSocket();
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    flushPending_ = false;
    state_ = State::Waiting;
    if (wasUp)
        spdlog::warn("database link lost: {}", reason);
    else
        spdlog::warn("database connection failed: {}", reason);

    std::deque<Pending> failed;
    if (inFlight_) failed.push_back(std::move(*inFlight_));
    inFlight_.reset();
    for (auto& pending : queue_) failed.push_back(std::move(pending));
    queue_.clear();
    Backoff();
    for (auto& pending : failed) {
        PgReply reply;
        reply.error = reason;
        if (pending.done) pending.done(std::move(reply));
    }
    if (wasUp) {
        const auto listeners = linkListeners_;
        for (const auto& listener : listeners) listener(false);
    }
}

void PgConnection::Backoff() {
    timer_.expires_after(backoff_);
    timer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& ec) {
        if (ec || !alive.lock() || state_ != State::Waiting) return;
        Connect();
    });
    backoff_ = std::min(backoff_ * 2, options_.maxBackoff);
}

bool PgConnection::BindSocket() {
    const int fd = PQsocket(conn_);
    if (fd < 0) return false;
    if (fd == socketFd_) return true;
    ReleaseSocket();
    std::error_code ec;
    socket_.assign(fd, ec);
    if (ec) return false;
    socketFd_ = fd;
    return true;
}

// libpq owns the descriptor: Asio stops watching it but never closes it.
void PgConnection::ReleaseSocket() {
    if (socketFd_ < 0) return;
    ++generation_;
    readArmed_ = writeArmed_ = false;
    if (socket_.is_open()) {
        std::error_code ec;
        socket_.cancel(ec);
        (void)socket_.release();
    }
    socketFd_ = -1;
}

void PgConnection::Await(Wait wait) {
    bool& armed = wait == Wait::Read ? readArmed_ : writeArmed_;
    if (armed) return;
    armed = true;
    const auto type =
        wait == Wait::Read ? asio::posix::stream_descriptor::wait_read : asio::posix::stream_descriptor::wait_write;
    socket_.async_wait(
        type, [this, wait, generation = generation_, alive = std::weak_ptr<int>(alive_)](const std::error_code& ec) {
            if (ec == asio::error::operation_aborted || !alive.lock() || generation != generation_) return;
            (wait == Wait::Read ? readArmed_ : writeArmed_) = false;
            if (ec) return Fail("database socket error: " + ec.message());
            OnReady(wait);
        });
}

void PgConnection::OnReady(Wait wait) {
    if (state_ == State::Connecting) return PollConnect();
    if (state_ != State::Up) return;
    if (wait == Wait::Read) return OnReadable();
    Flush();
}

void PgConnection::OnReadable() {
    if (!PQconsumeInput(conn_)) return Fail(PgErrorText(PQerrorMessage(conn_)));
    DrainNotifications();
    if (state_ != State::Up) return;
    if (flushPending_) Flush();
    if (state_ != State::Up) return;
    if (inFlight_) CollectResults();
    // Reading results may have parsed notifications that came with them.
    DrainNotifications();
    if (state_ != State::Up) return;
    if (PQstatus(conn_) == CONNECTION_BAD) return Fail(PgErrorText(PQerrorMessage(conn_)));
    Await(Wait::Read);
}

void PgConnection::Flush() {
    const int flushed = PQflush(conn_);
    if (flushed < 0) return Fail(PgErrorText(PQerrorMessage(conn_)));
    flushPending_ = flushed == 1;
    if (flushPending_) Await(Wait::Write);
}

void PgConnection::Pump() {
    while (state_ == State::Up && !inFlight_ && !queue_.empty()) {
        Pending pending = std::move(queue_.front());
        queue_.pop_front();
        if (!Send(pending)) {
            if (PQstatus(conn_) == CONNECTION_BAD) {
                queue_.push_front(std::move(pending));
                return Fail(PgErrorText(PQerrorMessage(conn_)));
            }
            PgReply reply;
            reply.error = PgErrorText(PQerrorMessage(conn_));
            if (pending.done) pending.done(std::move(reply));
            continue;
        }
        inFlight_ = std::move(pending);
        reply_ = PgReply{};
        replyHasError_ = false;
        Flush();
        // The answer may already be buffered from an earlier read.
        if (state_ == State::Up && inFlight_) CollectResults();
    }
}

bool PgConnection::Send(Pending& pending) {
    if (pending.script) return PQsendQuery(conn_, pending.sql.c_str()) == 1;
    const PgParamArrays arrays(pending.params);
    return PQsendQueryParams(conn_, pending.sql.c_str(), arrays.Count(), arrays.types.data(), arrays.values.data(),
                             arrays.lengths.data(), arrays.formats.data(), 0) == 1;
}

void PgConnection::CollectResults() {
    while (state_ == State::Up && inFlight_ && !PQisBusy(conn_)) {
        PGresult* result = PQgetResult(conn_);
        if (!result) {
            Pending done = std::move(*inFlight_);
            inFlight_.reset();
            reply_.ok = !replyHasError_;
            PgReply reply = std::move(reply_);
            reply_ = PgReply{};
            if (done.done) done.done(std::move(reply));
            Pump();
            return;
        }
        AbsorbResult(result, reply_, replyHasError_);
        PQclear(result);
    }
}

void PgConnection::DrainNotifications() {
    while (state_ == State::Up) {
        PGnotify* notify = PQnotifies(conn_);
        if (!notify) return;
        const std::string channel = notify->relname ? notify->relname : "";
        const std::string payload = notify->extra ? notify->extra : "";
        PQfreemem(notify);
        const auto listeners = notificationListeners_;
        for (const auto& listener : listeners) listener(channel, payload);
    }
}

} // namespace quorlan::server::pg
