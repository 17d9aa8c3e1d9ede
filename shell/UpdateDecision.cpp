#include "shell/UpdateDecision.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sodium.h>
#include <vector>

namespace quorlan::shell {
namespace {

constexpr const char* kSection = "config";

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

template <std::size_t N> std::optional<std::array<unsigned char, N>> FromHex(std::string_view hex) {
    if (hex.size() != N * 2) return std::nullopt;
    std::array<unsigned char, N> out{};
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_hex2bin(out.data(), out.size(), hex.data(), hex.size(), nullptr, &length, &end) != 0 ||
        length != N || end != hex.data() + hex.size()) {
        return std::nullopt;
    }
    return out;
}

template <std::size_t N> std::optional<std::array<unsigned char, N>> FromBase64(std::string_view text) {
    const int variants[] = {sodium_base64_VARIANT_ORIGINAL, sodium_base64_VARIANT_ORIGINAL_NO_PADDING,
                            sodium_base64_VARIANT_URLSAFE, sodium_base64_VARIANT_URLSAFE_NO_PADDING};
    for (int variant : variants) {
        std::array<unsigned char, N> out{};
        std::size_t length = 0;
        const char* end = nullptr;
        if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length, &end, variant) ==
                0 &&
            length == N && end == text.data() + text.size()) {
            return out;
        }
    }
    return std::nullopt;
}

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

PatchList ReadPatchList(const IniFile& list, std::string_view defaultAddress, std::int32_t defaultPort) {
    PatchList p;
    p.version = list.ReadInteger(kSection, "version", 0);
    p.port = list.ReadInteger(kSection, "port", defaultPort);
    p.ipaddr = list.ReadString(kSection, "ipaddr", defaultAddress);
    p.patchfile = list.ReadString(kSection, "patchfile", "");
    p.signature = list.ReadString(kSection, "signature", "");
    return p;
}

ServerEndpoint EndpointFromList(const PatchList& list, std::string_view defaultAddress, std::uint16_t defaultPort,
                                base::ILineLogs& logs) {
    ServerEndpoint endpoint{std::string(defaultAddress), defaultPort};
    if (list.port >= 1 && list.port <= 65535) {
        endpoint.port = static_cast<std::uint16_t>(list.port);
    } else {
        logs.DebugLog("Update: port " + std::to_string(list.port) + " in the patch list ignored, using " +
                      std::to_string(defaultPort));
    }
    if (!list.ipaddr.empty()) {
        endpoint.address = list.ipaddr;
    } else {
        logs.DebugLog("Update: empty ipaddr in the patch list ignored, using " + std::string(defaultAddress));
    }
    return endpoint;
}

bool OffersNewerBuild(const PatchList& list, std::uint32_t clientBuild) {
    return static_cast<std::int64_t>(list.version) > static_cast<std::int64_t>(clientBuild);
}

std::optional<Ed25519Signature> ParseSignature(std::string_view text) {
    if (!SodiumReady()) return std::nullopt;
    text = TrimBlanks(text);
    if (auto hex = FromHex<64>(text)) return hex;
    return FromBase64<64>(text);
}

std::optional<Ed25519PublicKey> ParsePublicKeyHex(std::string_view text) {
    if (!SodiumReady()) return std::nullopt;
    return FromHex<32>(TrimBlanks(text));
}

std::string SignedOfferPrefix(std::int32_t version) {
    return "Quorlan patch for build " + std::to_string(version) + "\n";
}

PatchVerdict CheckOfferVerifiable(std::string_view signatureText, std::string_view publicKeyHex) {
    if (!ParsePublicKeyHex(publicKeyHex)) return {false, "no valid update public key is built in"};
    if (TrimBlanks(signatureText).empty()) return {false, "the patch list carries no signature"};
    if (!ParseSignature(signatureText)) return {false, "the signature in the patch list is not 64 bytes of hex or base64"};
    return {true, {}};
}

PatchVerdict VerifyPatchFile(const std::string& patchPath, std::int32_t version, std::string_view signatureText,
                             std::string_view publicKeyHex) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(patchPath, ec);
    if (ec) return {false, "patch file unreadable: " + ec.message()};
    if (size <= kMinPatchBytesExclusive) {
        return {false, "patch of " + std::to_string(size) + " bytes refused, not above 300000 bytes"};
    }
    if (size > kMaxPatchBytes) return {false, "patch of " + std::to_string(size) + " bytes refused, too large"};

    if (PatchVerdict verifiable = CheckOfferVerifiable(signatureText, publicKeyHex); !verifiable.install) {
        return verifiable;
    }
    auto key = ParsePublicKeyHex(publicKeyHex);
    auto signature = ParseSignature(signatureText);

    // The signed message is the prefix and the file, read in behind it.
    const std::string prefix = SignedOfferPrefix(version);
    std::vector<unsigned char> message(prefix.size() + static_cast<std::size_t>(size));
    std::copy(prefix.begin(), prefix.end(), message.begin());
    std::ifstream in(patchPath, std::ios::binary);
    in.read(reinterpret_cast<char*>(message.data() + prefix.size()), static_cast<std::streamsize>(size));
    if (!in || in.gcount() != static_cast<std::streamsize>(size)) return {false, "patch file unreadable"};

    if (crypto_sign_verify_detached(signature->data(), message.data(), message.size(), key->data()) != 0) {
        return {false, "the patch signature does not verify"};
    }
    return {true, {}};
}

} // namespace quorlan::shell
