// Feeds arbitrary chunk sequences through the client's read handler, framing
// tick and server-message decoder. The first input byte picks chunk sizes.
#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"
#include "net/Codec.h"
#include "net/PacketReceiver.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    quorlan::test::FakeSocket socket;
    quorlan::test::RecordingLogs logs;
    std::size_t checksum = 0;
    quorlan::net::PacketReceiver receiver(socket, logs, [&](const std::uint8_t* p, int n) {
        const auto m = quorlan::net::DecodeServerMessage(p, static_cast<std::size_t>(n));
        checksum += m.text.size() + m.phone.size() + m.code.value_or(0);
        const auto r = quorlan::net::DecodeClientRequest(p, static_cast<std::size_t>(n));
        checksum += r.request ? r.request->text.size() : r.error.size();
    });
    const std::size_t step = 1 + data[0] % 97;
    std::size_t at = 1;
    while (at < size) {
        const std::size_t n = std::min(step * (1 + (at % 7)), size - at);
        socket.Feed(std::vector<std::uint8_t>(data + at, data + at + n));
        at += n;
        receiver.MainSockRead();
        for (int i = 0; i < 3; ++i) receiver.TimerProcess();
    }
    for (int i = 0; i < 50; ++i) {
        receiver.MainSockRead();
        receiver.TimerProcess();
    }
    return checksum == 0xFFFFFFFF ? 1 : 0;
}
