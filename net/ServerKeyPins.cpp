#include "net/ServerKeyPins.h"

#include <algorithm>
#include <openssl/x509.h>
#include <sodium.h>

namespace quorlan::net {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The reason an entry is no pin, or nothing when it is one.
std::optional<std::string> ReadPin(std::string_view entry, KeyPin& pin) {
    if (entry.empty()) return "is empty";
    std::vector<std::uint8_t> bytes(entry.size());
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), entry.data(), entry.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != entry.data() + entry.size()) {
        return "is not base64";
    }
    if (length != pin.size()) return "is " + std::to_string(length) + " bytes, not the 32 of a SHA-256 digest";
    std::copy_n(bytes.begin(), pin.size(), pin.begin());
    return std::nullopt;
}

} // namespace

PinListParse ParsePinList(std::string_view text) {
    PinListParse result;
    if (TrimBlanks(text).empty()) return result;
    std::size_t number = 1;
    for (std::size_t start = 0;; ++number) {
        const std::size_t stop = std::min(text.find(';', start), text.size());
        const std::string_view entry = TrimBlanks(text.substr(start, stop - start));
        KeyPin pin{};
        if (auto problem = ReadPin(entry, pin)) {
            result.pins.clear();
            result.error = "pin " + std::to_string(number) + " (\"" + std::string(entry) + "\") " + *problem;
            return result;
        }
        result.pins.push_back(pin);
        if (stop == text.size()) return result;
        start = stop + 1;
    }
}

KeyPin PinOfKey(std::span<const std::uint8_t> subjectPublicKeyInfoDer) {
    KeyPin digest{};
    crypto_hash_sha256(digest.data(), subjectPublicKeyInfoDer.data(), subjectPublicKeyInfoDer.size());
    return digest;
}

bool KeyMatchesPin(std::span<const std::uint8_t> subjectPublicKeyInfoDer, std::span<const KeyPin> pins) {
    static const bool ready = sodium_init() >= 0;
    if (!ready || subjectPublicKeyInfoDer.empty()) return false;
    const KeyPin digest = PinOfKey(subjectPublicKeyInfoDer);
    return std::any_of(pins.begin(), pins.end(),
                       [&](const KeyPin& pin) { return sodium_memcmp(pin.data(), digest.data(), pin.size()) == 0; });
}

std::string PinText(const KeyPin& pin) {
    std::string text(sodium_base64_ENCODED_LEN(pin.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), pin.data(), pin.size(), sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1); // the terminating zero
    return text;
}

std::optional<std::vector<std::uint8_t>> PublicKeyOfCertificate(std::span<const std::uint8_t> certificateDer) {
    const unsigned char* cursor = certificateDer.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(certificateDer.size()));
    if (certificate == nullptr) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> key;
    unsigned char* der = nullptr;
    const int length = cursor == certificateDer.data() + certificateDer.size()
                           ? i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der)
                           : 0;
    if (length > 0) key.emplace(der, der + length);
    OPENSSL_free(der);
    X509_free(certificate);
    return key;
}

LinkSecurity LinkSecurityOfBuild(bool tls, std::string_view pinList, std::string_view serverName) {
    PinListParse parsed = ParsePinList(pinList);
    LinkSecurity security;
    security.tls = tls || !parsed.pins.empty() || !parsed.error.empty();
    security.pins = std::move(parsed.pins);
    security.serverName = serverName;
    if (!parsed.error.empty()) security.misconfiguration = "the built-in server pin list is unusable: " + parsed.error;
    return security;
}

} // namespace quorlan::net
