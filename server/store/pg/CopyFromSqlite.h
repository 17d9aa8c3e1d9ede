#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace quorlan::server::pg {

// What one table of the SQLite file gave: rows copied, and rows PostgreSQL
// already had, which are kept as they are.
struct CopiedTable {
    std::string name;
    std::size_t copied = 0;
    std::size_t kept = 0;
};

struct [[nodiscard]] CopiedFromSqlite {
    bool ok = false;
    std::string error;
    std::vector<CopiedTable> tables;
};

// Moves a single server's SQLite file into the database of a cluster:
// accounts (hash, relay mark, login failures and lock, robot mode),
// identification numbers and their issues, and board lists, in one
// transaction, so that a failure leaves PostgreSQL as it was. A row whose key
// PostgreSQL already has is kept, not overwritten; a second run copies
// nothing new. The schema is brought up to date first.
CopiedFromSqlite CopyFromSqlite(const std::string& sqlitePath, const std::string& conninfo);

} // namespace quorlan::server::pg
