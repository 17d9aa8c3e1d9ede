#include "shell/FindHistory.h"

#include "base/Cp949.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace quorlan::shell {
namespace {

// A hit costs one small commit: the write-ahead log spares it a sync of the
// whole file (a crash may lose the last finds, never the file).
constexpr const char* kPragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL";
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS finds ("
                                "id INTEGER PRIMARY KEY, time BLOB NOT NULL, board BLOB NOT NULL,"
                                " line BLOB NOT NULL, condition BLOB NOT NULL)";

// A prepared statement closed on every path.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return ok_; }
    sqlite3_stmt* Get() { return stmt_; }
    void Bind(int index, const std::string& bytes) {
        ok_ = ok_ && sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT) ==
                         SQLITE_OK;
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

std::string Column(sqlite3_stmt* stmt, int index) {
    const void* bytes = sqlite3_column_blob(stmt, index);
    const int size = sqlite3_column_bytes(stmt, index);
    return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size)) : std::string();
}

bool Holds(const Find& find, const std::string& filter) {
    return find.line.find(filter) != std::string::npos || find.condition.find(filter) != std::string::npos ||
           find.boardUrl.find(filter) != std::string::npos;
}

} // namespace

FindHistory::FindHistory(std::string path, base::ILineLogs& logs) : path_(std::move(path)), logs_(logs) {}

FindHistory::~FindHistory() {
    sqlite3_close(db_);
}

void FindHistory::Fail(const std::string& what) {
    logs_.DebugLog("History: " + what + (db_ ? std::string(": ") + sqlite3_errmsg(db_) : std::string()));
    if (reported_) return;
    reported_ = true;
    logs_.AddListMessage(QUORLAN_CP949("검색기록을 저장할 수 없습니다."));
}

bool FindHistory::Open() {
    if (db_) return true;
    // Created here with the owner's rights only; SQLite then opens what exists.
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        Fail("cannot open " + path_);
        return false;
    }
    ::close(fd);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_busy_timeout(db, 200) != SQLITE_OK ||
        sqlite3_exec(db, kPragmas, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        db_ = db;
        Fail("cannot open " + path_);
        sqlite3_close(db);
        db_ = nullptr;
        return false;
    }
    db_ = db;
    return true;
}

void FindHistory::Add(const Find& find) {
    if (!Open()) return;
    Statement insert(db_, "INSERT INTO finds (time, board, line, condition) VALUES (?, ?, ?, ?)");
    insert.Bind(1, find.time);
    insert.Bind(2, find.boardUrl);
    insert.Bind(3, find.line);
    insert.Bind(4, find.condition);
    if (!insert.Ok() || sqlite3_step(insert.Get()) != SQLITE_DONE) {
        Fail("cannot write " + path_);
        return;
    }
    Statement trim(db_, "DELETE FROM finds WHERE id <= (SELECT max(id) FROM finds) - ?");
    if (!trim.Ok() || sqlite3_bind_int64(trim.Get(), 1, static_cast<sqlite3_int64>(kKeep)) != SQLITE_OK ||
        sqlite3_step(trim.Get()) != SQLITE_DONE) {
        Fail("cannot trim " + path_);
    }
}

std::vector<Find> FindHistory::Newest(const std::string& filter) {
    std::vector<Find> finds;
    if (!Open()) return finds;
    Statement select(db_, "SELECT time, board, line, condition FROM finds ORDER BY id DESC");
    if (!select.Ok()) {
        Fail("cannot read " + path_);
        return finds;
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(select.Get())) == SQLITE_ROW) {
        Find find{Column(select.Get(), 0), Column(select.Get(), 1), Column(select.Get(), 2), Column(select.Get(), 3)};
        if (filter.empty() || Holds(find, filter)) finds.push_back(std::move(find));
    }
    if (step != SQLITE_DONE) Fail("cannot read " + path_);
    return finds;
}

} // namespace quorlan::shell
