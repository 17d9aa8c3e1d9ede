#include "shell/CredentialCodec.h"

#include <cstdint>

namespace quorlan::shell {
namespace {
constexpr unsigned kOffset = 59; // ";": the character of the 6-bit value 0
}

std::optional<std::string> EncodeCredential(std::string_view plain) {
    if (plain.size() > kMaxCredentialPlainBytes) return std::nullopt;
    std::string stored;
    stored.reserve((plain.size() + 2) / 3 * 4 + 1);
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        auto byteAt = [&](std::size_t k) -> unsigned {
            return k < plain.size() ? static_cast<unsigned char>(plain[k]) : 0u;
        };
        unsigned b0 = byteAt(i), b1 = byteAt(i + 1), b2 = byteAt(i + 2);
        unsigned sextets[4] = {b0 >> 2, ((b0 & 0x03u) << 4) | (b1 >> 4), ((b1 & 0x0Fu) << 2) | (b2 >> 6), b2 & 0x3Fu};
        for (unsigned s : sextets) stored.push_back(static_cast<char>(s + kOffset));
    }
    stored.push_back('.');
    return stored;
}

std::string DecodeCredential(std::string_view stored) {
    std::size_t groups = stored.empty() ? 0 : (stored.size() - 1) / 4;
    std::string plain;
    plain.reserve(groups * 3);
    for (std::size_t g = 0; g < groups; ++g) {
        std::uint8_t c[4];
        for (int k = 0; k < 4; ++k) {
            c[k] = static_cast<std::uint8_t>(static_cast<unsigned char>(stored[g * 4 + k]) - kOffset);
        }
        plain.push_back(static_cast<char>(static_cast<std::uint8_t>((c[0] << 2) | (c[1] >> 4))));
        plain.push_back(static_cast<char>(static_cast<std::uint8_t>((c[1] << 4) | (c[2] >> 2))));
        plain.push_back(static_cast<char>(static_cast<std::uint8_t>((c[2] << 6) | c[3])));
    }
    std::size_t zero = plain.find('\0');
    if (zero != std::string::npos) plain.resize(zero);
    return plain;
}

} // namespace quorlan::shell
