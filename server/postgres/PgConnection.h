#pragma once
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace quorlan::server::pg {

// One value bound to a statement parameter. Texts of the system are cp949
// bytes, so they travel as `Bytes` (sent in binary form as bytea, never
// checked against the database's encoding); `Text` is for ASCII keys such as
// phone numbers and node ids.
struct PgParam {
    enum class Kind { Null, Text, Bytes };
    Kind kind = Kind::Null;
    std::string value;

    static PgParam Null() { return {}; }
    static PgParam Text(std::string text) { return {Kind::Text, std::move(text)}; }
    static PgParam Bytes(std::string bytes) { return {Kind::Bytes, std::move(bytes)}; }
    static PgParam Int(std::int64_t number) { return {Kind::Text, std::to_string(number)}; }
};

using PgRow = std::vector<std::optional<std::string>>;

// One statement of a transaction.
struct PgStatement {
    std::string sql;
    std::vector<PgParam> params;
};

// The outcome of one query or script. Rows are those of the last result in
// text form, except that bytea columns arrive as their raw bytes.
struct [[nodiscard]] PgReply {
    bool ok = false;
    std::string error;    // the server's message, or why the query never ran
    std::string sqlState; // five characters from the server; empty for link errors
    std::vector<PgRow> rows;
    std::int64_t affected = 0; // rows inserted, updated, deleted or returned

    std::optional<std::int64_t> Int(std::size_t row, std::size_t column) const;
};

// A PostgreSQL session driven by the event loop: libpq's asynchronous calls on
// a descriptor watched by Asio, so no call ever waits for the database. Queries
// run one at a time in the order given; each answer comes back as a callback
// on the loop. When the link drops, the query in flight and all waiting ones
// fail with a reply, and the session reconnects by itself with a doubling
// delay. Queries asked while the link is down fail at once (the callback is
// still posted, never called from inside Query). Callbacks must not destroy
// the connection.
class PgConnection {
public:
    struct Options {
        // libpq looks host names up with a blocking call: give the database
        // as an address (host=10.0.0.5, or hostaddr= beside host=).
        std::string conninfo;
        std::chrono::milliseconds minBackoff{200};
        std::chrono::milliseconds maxBackoff{10'000};
        std::chrono::milliseconds connectTimeout{10'000};
        std::size_t maxQueued = 4096;
    };
    using Done = std::function<void(PgReply)>;
    using LinkListener = std::function<void(bool up)>;
    using NotificationListener = std::function<void(const std::string& channel, const std::string& payload)>;

    PgConnection(asio::io_context& loop, Options options);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Starts the first connection attempt; later ones follow by themselves.
    void Start();
    bool LinkUp() const { return state_ == State::Up; }
    // Why the last attempt or the last link failed.
    const std::string& LastError() const { return lastError_; }
    // The server process of the current session, 0 while down.
    int BackendPid() const;
    std::uint64_t LinksMade() const { return linksMade_; }
    std::size_t Queued() const { return queue_.size() + (inFlight_ ? 1 : 0); }

    // Called on the loop each time the link comes up or goes down.
    void AddLinkListener(LinkListener listener);
    // Called on the loop for every NOTIFY on a channel this session listens to.
    void AddNotificationListener(NotificationListener listener);

    // One statement with $1.. parameters.
    void Query(std::string sql, std::vector<PgParam> params, Done done);
    // Statements with parameters in one transaction, queued together so that
    // nothing else of this session runs between them. `done` gets the reply
    // of the last statement, or a failure when any statement failed or the
    // commit did not happen (everything is then rolled back).
    void Transaction(std::vector<PgStatement> statements, Done done);
    // Several ';'-separated statements without parameters, run by the server
    // as one implicit transaction. For fixed SQL only, never for client data.
    void Script(std::string sql, Done done);
    // Drops the session (its locks and LISTENs go with it) and reconnects
    // after the shortest delay.
    void Reset(const std::string& reason);
    // "name" quoted for use as an identifier (LISTEN channels); nothing while
    // the link is down or when libpq refuses the name.
    std::optional<std::string> QuoteIdentifier(std::string_view name) const;

private:
    enum class State { Stopped, Connecting, Up, Waiting };
    struct Pending {
        std::string sql;
        std::vector<PgParam> params;
        bool script = false;
        Done done;
    };
    enum class Wait { Read, Write };

    void Submit(Pending pending);
    void Connect();
    void PollConnect();
    void BecomeUp();
    void Fail(const std::string& reason);
    void Backoff();
    bool BindSocket();
    void ReleaseSocket();
    void Await(Wait wait);
    void OnReady(Wait wait);
    void OnReadable();
    void Flush();
    void Pump();
    bool Send(Pending& pending);
    void CollectResults();
    void DrainNotifications();
    static void FailLater(asio::io_context& loop, Done done, std::string reason);

    asio::io_context& loop_;
    Options options_;
    State state_ = State::Stopped;
    PGconn* conn_ = nullptr;
    asio::posix::stream_descriptor socket_;
    int socketFd_ = -1;
    // Bumped whenever the descriptor changes, so stale readiness is ignored.
    std::uint64_t generation_ = 0;
    bool readArmed_ = false;
    bool writeArmed_ = false;
    bool flushPending_ = false;
    asio::steady_timer timer_;
    std::chrono::milliseconds backoff_;
    std::string lastError_;
    std::uint64_t linksMade_ = 0;

    std::deque<Pending> queue_;
    std::optional<Pending> inFlight_;
    PgReply reply_;
    bool replyHasError_ = false;

    std::vector<LinkListener> linkListeners_;
    std::vector<NotificationListener> notificationListeners_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quorlan::server::pg
