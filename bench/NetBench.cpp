// Read handler + framing + decoding of a realistic server stream: a mix of
// NewPost lines, CheckList lists and result messages, arriving in 1,460-byte
// chunks as TCP delivers them.
#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"
#include "net/Codec.h"
#include "net/PacketReceiver.h"

#include <benchmark/benchmark.h>

using namespace quorlan;

static void BM_ReceiveFrameDecode(benchmark::State& state) {
    std::vector<std::uint8_t> stream;
    int packets = 0;
    for (int i = 0; i < 200; ++i) {
        const auto add = [&](const net::Encoded& e) {
            stream.insert(stream.end(), e.bytes.begin(), e.bytes.end());
            ++packets;
        };
        add(net::EncodeServerNewPost("[판매] 아이폰 15 프로 256GB 직거래 " + std::to_string(i) + " [3]"));
        add(net::EncodeResult(net::SetBoardResult, 1));
        if (i % 10 == 0) add(net::EncodeCheckList(std::string(3000, 'x')));
    }
    test::FakeSocket socket;
    test::RecordingLogs logs;
    std::size_t sink = 0;
    net::PacketReceiver receiver(socket, logs, [&](const std::uint8_t* p, int n) {
        sink += net::DecodeServerMessage(p, static_cast<std::size_t>(n)).text.size();
    });
    for (auto _ : state) {
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t n = std::min<std::size_t>(1460, stream.size() - at);
            socket.incoming.insert(socket.incoming.end(), stream.begin() + static_cast<long>(at),
                                   stream.begin() + static_cast<long>(at + n));
            at += n;
            receiver.MainSockRead();
            while (receiver.TimerProcess()) {
            }
        }
        while (socket.BytesWaiting() > 0 || receiver.Queue().Size() > 3) {
            receiver.MainSockRead();
            if (!receiver.TimerProcess() && socket.BytesWaiting() == 0) break;
        }
        benchmark::DoNotOptimize(sink);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * packets);
}
BENCHMARK(BM_ReceiveFrameDecode);

BENCHMARK_MAIN();
