#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace quorlan::test {

// A PostgreSQL server of the test's own: initdb into a fresh temporary
// directory, listening on 127.0.0.1 at a free port with its sockets in that
// directory, stopped and removed when the object goes. As root the server
// runs as the `postgres` user (it refuses root). One per test program is
// enough; each test takes a fresh database from it.
class PrivatePostgres {
public:
    // The server, or why there is none. `missing` is true only when the
    // PostgreSQL programs are not installed: the one case where a test may skip.
    struct Started {
        std::unique_ptr<PrivatePostgres> server;
        std::string error;
        bool missing = false;
    };
    static Started Start();
    ~PrivatePostgres();
    PrivatePostgres(const PrivatePostgres&) = delete;
    PrivatePostgres& operator=(const PrivatePostgres&) = delete;

    std::uint16_t Port() const { return port_; }
    // A new empty database; its connection string, or empty with `error` set.
    std::string CreateDatabase(std::string& error);
    // Connection string of the maintenance database, for tests that end
    // other sessions (pg_terminate_backend).
    std::string AdminConninfo() const;

private:
    PrivatePostgres() = default;
    std::string Conninfo(const std::string& database) const;

    std::filesystem::path dir_;
    std::filesystem::path bin_;
    std::uint16_t port_ = 0;
    bool running_ = false;
    int databases_ = 0;
};

} // namespace quorlan::test
