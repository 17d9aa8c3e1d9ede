// Feeds arbitrary bytes to the server key pin reading: as a pin list, and as
// the certificate a server presents.
#include "net/ServerKeyPins.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = quorlan::net::ParsePinList(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto key = quorlan::net::PublicKeyOfCertificate(std::span(data, size));
    if (key) (void)quorlan::net::KeyMatchesPin(*key, parsed.pins);
    return 0;
}
