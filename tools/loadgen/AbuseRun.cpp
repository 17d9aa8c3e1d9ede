#include "AbuseRun.h"

#include "ChildProcess.h"
#include "net/Codec.h"
#include "net/StreamFramer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace quorlan::loadgen {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kHonest = 9; // logins measured in each half

int Connect(std::uint16_t port, const std::string& source, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Send(int fd, const net::Encoded& packet) {
    return packet.ok() && ::send(fd, packet.bytes.data(), packet.bytes.size(), MSG_NOSIGNAL) ==
                              static_cast<ssize_t>(packet.bytes.size());
}

// The code of the next result of `type`, skipping other messages; nothing
// after 30 s or on close.
std::optional<std::uint32_t> AwaitResult(int fd, std::uint8_t type) {
    net::StreamFramer framer(net::kAnyLength);
    std::uint8_t chunk[4096];
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < end) {
        for (auto frame = framer.Next(); frame.kind != net::StreamFramer::Frame::Kind::NeedMore;
             frame = framer.Next()) {
            if (frame.kind == net::StreamFramer::Frame::Kind::Error) return std::nullopt;
            const auto message = net::DecodeServerMessage(frame.data, frame.size);
            if (message.type == type) return message.code;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return std::nullopt;
        framer.Feed(chunk, static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

std::string Phone(int i) { return "0107777" + std::to_string(1000 + i); }
std::string Honest(int i) { return "127.0.3." + std::to_string(i + 1); }

// One login of account i from its own address: milliseconds, or -1.
double TimedLogin(std::uint16_t port, int i) {
    const int fd = Connect(port, Honest(i));
    if (fd < 0) return -1;
    const auto start = Clock::now();
    std::optional<std::uint32_t> code;
    if (Send(fd, net::EncodeVersion()) && Send(fd, net::EncodeLogin(Phone(i), "honest password")))
        code = AwaitResult(fd, net::LoginResult);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ::close(fd);
    return code == 1u ? ms : -1;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

std::optional<AbuseFigures> AbuseRun::Run(const std::string& serverBin, std::string& error) {
    const auto dir = std::filesystem::temp_directory_path() / ("quorlan-abuse-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::uint16_t port = FreePort();
    ChildProcess server;
    if (!server.Start({serverBin, "--listen", "127.0.0.1:" + std::to_string(port), "--db", (dir / "abuse.db").string(),
                       "--admin", "off", "--open-signup", "--log-level", "error"},
                      false, error))
        return std::nullopt;
    std::optional<AbuseFigures> result;
    AbuseFigures f;
    int probe = -1;
    for (int i = 0; i < 250 && probe < 0; ++i) {
        probe = Connect(port, "127.0.0.1");
        if (probe < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (probe >= 0) ::close(probe);

    // The honest accounts, each signed up from its own address.
    for (int i = 0; i < 2 * kHonest; ++i) {
        const int fd = Connect(port, Honest(i));
        if (fd < 0 || !Send(fd, net::EncodeNewAccount(Phone(i), "honest password", "")) ||
            AwaitResult(fd, net::NewAccountResult) != 1u) {
            error = "sign-up " + std::to_string(i) + " failed";
            if (fd >= 0) ::close(fd);
            std::filesystem::remove_all(dir);
            return std::nullopt;
        }
        ::close(fd);
    }
    std::vector<double> quiet, flooded;
    for (int i = 0; i < kHonest; ++i) quiet.push_back(TimedLogin(port, i));

    // The flood: 16 connections from one address logging in with made-up
    // phones as fast as answered, and connect-login-close cycles beside them.
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> floodLogins{0};
    std::vector<std::thread> flood;
    for (int t = 0; t < 16; ++t) {
        flood.emplace_back([&, t] {
            int n = 0;
            while (!stop) {
                const int fd = Connect(port, "127.0.0.2");
                if (fd < 0) continue;
                while (!stop && Send(fd, net::EncodeLogin("0106666" + std::to_string(1000 + (t * 997 + ++n) % 9000), "x")) &&
                       AwaitResult(fd, net::LoginResult))
                    ++floodLogins;
                ::close(fd);
            }
        });
    }
    flood.emplace_back([&] {
        while (!stop) {
            const int fd = Connect(port, "127.0.0.2");
            if (fd < 0) continue;
            Send(fd, net::EncodeLogin("01066660000", "x"));
            ::close(fd);
            ++floodLogins;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int i = kHonest; i < 2 * kHonest; ++i) flooded.push_back(TimedLogin(port, i));
    stop = true;
    for (auto& thread : flood) thread.join();
    f.floodLogins = floodLogins;
    // A failed login (refused, or no answer in 30 s) counts as 30 s.
    for (auto* half : {&quiet, &flooded})
        for (double& ms : *half)
            if (ms < 0) ms = 30'000;
    {
        f.quietLoginMs = Median(quiet);
        f.floodedLoginMs = Median(flooded);
        f.floodedWorstMs = *std::max_element(flooded.begin(), flooded.end());

        // One client writes Version requests for 3 s and never reads.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const long long before = server.ResidentBytes();
        const int fd = Connect(port, "127.0.0.4", 4096);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        const auto one = net::EncodeVersion().bytes;
        std::vector<std::uint8_t> burst;
        for (int i = 0; i < 4096; ++i) burst.insert(burst.end(), one.begin(), one.end());
        long long peak = before;
        const auto end = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < end) {
            if (::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN) break;
            peak = std::max(peak, server.ResidentBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        f.nonReaderGrowth = peak - before;
        ::close(fd);
        result = f;
    }
    server.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return result;
}

} // namespace quorlan::loadgen
