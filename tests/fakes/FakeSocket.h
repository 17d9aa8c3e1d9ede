#pragma once
#include "net/ISocket.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

namespace quorlan::test {

// A socket whose received bytes are fed by the test and whose writes are
// recorded. `acceptLimit` caps what one Write takes (negative: everything).
class FakeSocket : public net::ISocket {
public:
    int Write(const std::uint8_t* data, int count) override {
        if (!connected) return 0;
        const int taken = acceptLimit < 0 ? count : std::min(count, acceptLimit);
        written.insert(written.end(), data, data + taken);
        writes.emplace_back(data, data + taken);
        return taken;
    }
    int BytesWaiting() override { return static_cast<int>(incoming.size()); }
    int Read(std::uint8_t* data, int count) override {
        const int n = std::min<int>(count, static_cast<int>(incoming.size()));
        for (int i = 0; i < n; ++i) {
            data[i] = incoming.front();
            incoming.pop_front();
        }
        return n;
    }
    void Close() override {
        ++closeCalls;
        connected = false;
        connecting = false;
    }
    bool Active() const override { return connected; }
    void Open() override {
        ++openCalls;
        connecting = true;
    }
    bool Connecting() const override { return connecting; }

    void Feed(const std::vector<std::uint8_t>& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }
    void ClearWritten() {
        written.clear();
        writes.clear();
    }

    bool connected = true;
    bool connecting = false;
    int acceptLimit = -1;
    int openCalls = 0;
    int closeCalls = 0;
    std::deque<std::uint8_t> incoming;
    std::vector<std::uint8_t> written;
    std::vector<std::vector<std::uint8_t>> writes;
};

} // namespace quorlan::test
