#pragma once
#include "base/ILineLogs.h"

#include <cstddef>
#include <string>
#include <vector>

struct sqlite3;

namespace quorlan::shell {

// The history file, looked for in the working directory beside the settings.
inline constexpr const char* kHistoryFileName = "QuorlanHistory.db";

// One search hit as the history keeps it; texts are cp949 bytes.
struct Find {
    std::string time; // local, "YYYY-MM-DD HH:MM:SS"
    std::string boardUrl;
    std::string line;
    std::string condition;
};

// The search hits of every run, newest last, in an SQLite file created 0600
// on first use; only the newest kKeep are kept. The history is an extra: a
// file that cannot be opened or written costs the row, never the alert, and
// is told once in the message list (the cause goes to the debug log).
class FindHistory {
public:
    static constexpr std::size_t kKeep = 10000;

    FindHistory(std::string path, base::ILineLogs& logs);
    ~FindHistory();
    FindHistory(const FindHistory&) = delete;
    FindHistory& operator=(const FindHistory&) = delete;

    void Add(const Find& find);
    // Newest first; with a filter, only the finds whose line, condition or
    // board address holds it (bytes as they are).
    std::vector<Find> Newest(const std::string& filter = {});

private:
    bool Open();
    void Fail(const std::string& what);

    std::string path_;
    base::ILineLogs& logs_;
    sqlite3* db_ = nullptr;
    bool reported_ = false;
};

} // namespace quorlan::shell
