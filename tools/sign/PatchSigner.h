#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::tools {

// The maker's side of the update signature: an Ed25519 key pair (libsodium
// form, as hex) and detached signatures of patch files, as hex, ready to be
// put as "signature" into the patch list.
struct KeyPairHex {
    std::string publicKey; // 64 hex digits, the value of QUORLAN_UPDATE_PUBLIC_KEY
    std::string secretKey; // 128 hex digits, kept by the maker
};

std::optional<KeyPairHex> GenerateKeyPair();

// Signs `message` with a secret key given as 128 hex digits (surrounding
// blanks and line breaks allowed). Nothing when the key is not valid.
std::optional<std::string> SignHex(std::string_view secretKeyHex, std::string_view message);

// The "signature" value of a patch list offering `patch` as build `version`:
// the signature of SignedOfferPrefix(version) followed by the patch's bytes,
// as the client verifies it.
std::optional<std::string> SignOfferHex(std::string_view secretKeyHex, std::int32_t version, std::string_view patch);

} // namespace quorlan::tools
