#include "tools/sign/PatchSigner.h"

#include "shell/UpdateDecision.h"

#include <array>
#include <sodium.h>

namespace quorlan::tools {
namespace {

std::string ToHex(const unsigned char* bytes, std::size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

} // namespace

std::optional<KeyPairHex> GenerateKeyPair() {
    if (sodium_init() < 0) return std::nullopt;
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> pk{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> sk{};
    crypto_sign_keypair(pk.data(), sk.data());
    KeyPairHex pair{ToHex(pk.data(), pk.size()), ToHex(sk.data(), sk.size())};
    sodium_memzero(sk.data(), sk.size());
    return pair;
}

std::optional<std::string> SignHex(std::string_view secretKeyHex, std::string_view message) {
    if (sodium_init() < 0) return std::nullopt;
    std::string_view hex = Trim(secretKeyHex);
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> sk{};
    std::size_t length = 0;
    const char* end = nullptr;
    if (hex.size() != sk.size() * 2 ||
        sodium_hex2bin(sk.data(), sk.size(), hex.data(), hex.size(), nullptr, &length, &end) != 0 ||
        length != sk.size() || end != hex.data() + hex.size()) {
        return std::nullopt;
    }
    std::array<unsigned char, crypto_sign_BYTES> signature{};
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    crypto_sign_detached(signature.data(), nullptr, bytes, message.size(), sk.data());
    // The key's second half is its public key; a damaged key gives signatures
    // that nobody can verify, so such a signature is never handed out.
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> pk{};
    crypto_sign_ed25519_sk_to_pk(pk.data(), sk.data());
    sodium_memzero(sk.data(), sk.size());
    if (crypto_sign_verify_detached(signature.data(), bytes, message.size(), pk.data()) != 0) return std::nullopt;
    return ToHex(signature.data(), signature.size());
}

std::optional<std::string> SignOfferHex(std::string_view secretKeyHex, std::int32_t version, std::string_view patch) {
    std::string message = shell::SignedOfferPrefix(version);
    message.append(patch);
    return SignHex(secretKeyHex, message);
}

} // namespace quorlan::tools
