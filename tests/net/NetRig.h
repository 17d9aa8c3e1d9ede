#pragma once
#include "base/Cp949.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeSocket.h"
#include "fakes/RecordingActions.h"
#include "fakes/RecordingLogs.h"
#include "net/LinkState.h"
#include "net/Sender.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quorlan::test {

// A fake socket whose Close raises the disconnect event once when a socket
// existed (connected or an attempt under way), like the platform's.
class EventSocket : public FakeSocket {
public:
    void Close() override {
        const bool existed = connected || connecting;
        FakeSocket::Close();
        if (existed && onDisconnect) onDisconnect();
    }
    std::function<void()> onDisconnect;
};

// cp949 form of a UTF-8 literal, for expected Korean texts.
inline std::string Cp(const char* utf8) { return base::Cp949FromUtf8(utf8); }

// The collaborators every connection and dispatcher test needs.
struct NetRig {
    EventSocket socket;
    RecordingLogs logs;
    RecordingMessageBox messageBox;
    RecordingActions actions;
    FakeClock clock;
    net::LinkState state;
    net::Sender sender{socket, logs, messageBox};
};

} // namespace quorlan::test
