#include "PrivatePostgres.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

extern char** environ;

namespace quorlan::test {
namespace {

// The newest installed server programs (Debian keeps them per major version).
std::filesystem::path FindServerBin() {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
        if (std::filesystem::exists(entry.path() / "bin" / "initdb") &&
            std::filesystem::exists(entry.path() / "bin" / "pg_ctl"))
            found.push_back(entry.path() / "bin");
    if (found.empty()) return {};
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::atoi(a.parent_path().filename().c_str()) < std::atoi(b.parent_path().filename().c_str());
    });
    return found.back();
}

// Runs a program to its end, as `postgres` when we are root; its exit status
// (-1 when it could not be started), with its output in `log`.
int Run(std::vector<std::string> argv, const std::filesystem::path& log) {
    if (::geteuid() == 0) argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A port nobody listens on right now; the server binds it a moment later.
std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

std::string Tail(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

} // namespace

PrivatePostgres::Started PrivatePostgres::Start() {
    Started started;
    std::unique_ptr<PrivatePostgres> server(new PrivatePostgres());
    server->bin_ = FindServerBin();
    if (server->bin_.empty()) {
        started.missing = true;
        started.error = "PostgreSQL server programs not found under /usr/lib/postgresql "
                        "(install the Debian package postgresql, see scripts/deps.sh)";
        return started;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "quorlan-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        started.error = "cannot create a temporary directory";
        return started;
    }
    server->dir_ = pattern;
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("postgres");
        if (!user || ::chown(server->dir_.c_str(), user->pw_uid, user->pw_gid) != 0) {
            started.error = "no postgres user to run the server as (the postgresql package creates it)";
            return started;
        }
    }
    const auto data = server->dir_ / "data";
    const auto log = server->dir_ / "server.log";
    if (Run({(server->bin_ / "initdb").string(), "-D", data.string(), "-U", "postgres", "-A", "trust", "-E", "UTF8",
             "--locale=C", "--no-sync"},
            server->dir_ / "initdb.log") != 0) {
        started.error = "initdb failed: " + Tail(server->dir_ / "initdb.log");
        return started;
    }
    // The port may be taken between choosing and binding it: a few tries.
    for (int attempt = 0; attempt < 3 && !server->running_; ++attempt) {
        server->port_ = FreePort();
        const std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(server->port_) + " -k " +
                                    server->dir_.string() + " -c fsync=off -c synchronous_commit=off";
        server->running_ = Run({(server->bin_ / "pg_ctl").string(), "-D", data.string(), "-l", log.string(), "-o",
                                options, "-w", "-t", "60", "start"},
                               server->dir_ / "pg_ctl.log") == 0;
    }
    if (!server->running_) {
        started.error = "PostgreSQL did not start: " + Tail(log);
        return started;
    }
    started.server = std::move(server);
    return started;
}

PrivatePostgres::~PrivatePostgres() {
    if (running_)
        Run({(bin_ / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-m", "immediate", "-w", "stop"},
            dir_ / "pg_ctl.log");
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::string PrivatePostgres::Conninfo(const std::string& database) const {
    return "host=127.0.0.1 port=" + std::to_string(port_) + " user=postgres dbname=" + database + " connect_timeout=10";
}

std::string PrivatePostgres::AdminConninfo() const {
    return Conninfo("postgres");
}

std::string PrivatePostgres::CreateDatabase(std::string& error) {
    const std::string name = "quorlan_test_" + std::to_string(++databases_);
    PGconn* conn = PQconnectdb(AdminConninfo().c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
        PQfinish(conn);
        return {};
    }
    // The name is made here from a counter, never from outside input.
    PGresult* result = PQexec(conn, ("CREATE DATABASE " + name).c_str());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok) error = PQresultErrorMessage(result);
    PQclear(result);
    PQfinish(conn);
    return ok ? Conninfo(name) : std::string();
}

} // namespace quorlan::test
