// Feeds arbitrary payloads to the parser of the messages between the
// instances of a cluster; whatever it takes must encode back to itself.
#include "server/cluster/pg/ClusterMessages.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

using namespace quorlan::server::pg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    if (const auto order = DecodeOrder(payload)) {
        const auto again = DecodeOrder(EncodeOrder(*order, std::numeric_limits<std::size_t>::max()));
        if (!again || !(*again == *order)) __builtin_trap();
    }
    if (const auto message = DecodeBroadcast(payload)) {
        if (DecodeBroadcast(EncodeBroadcast(*message)) != message) __builtin_trap();
    }
    return 0;
}
