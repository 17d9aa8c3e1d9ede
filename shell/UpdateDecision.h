#pragma once
#include "base/ILineLogs.h"
#include "shell/IniFile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::shell {

// The patch list as downloaded, beside the settings in the working directory.
inline constexpr const char* kPatchListFileName = "update.dat";
// A patch must be larger than this to be considered at all.
inline constexpr std::uintmax_t kMinPatchBytesExclusive = 300000;
// Larger patches are refused instead of being read into memory for checking.
inline constexpr std::uintmax_t kMaxPatchBytes = 256u * 1024u * 1024u;

// Keys of the patch list (section "config").
struct PatchList {
    std::int32_t version = 0;
    std::int32_t port = 0;
    std::string ipaddr;
    std::string patchfile;
    // Ed25519 detached signature of the offer (SignedOfferPrefix(version)
    // followed by the patch file), hex or base64.
    std::string signature;
};

// Reads "version", "port", "ipaddr", "patchfile" and "signature"; a missing or
// empty list gives the defaults (version 0, the given address and port).
PatchList ReadPatchList(const IniFile& list, std::string_view defaultAddress, std::int32_t defaultPort);

// Where the client connects. A port outside 1..65535 or an empty address in
// the list cannot be connected to; the default is kept instead, with a debug line.
struct ServerEndpoint {
    std::string address;
    std::uint16_t port = 0;
};
ServerEndpoint EndpointFromList(const PatchList& list, std::string_view defaultAddress, std::uint16_t defaultPort,
                                base::ILineLogs& logs);

bool OffersNewerBuild(const PatchList& list, std::uint32_t clientBuild);

using Ed25519Signature = std::array<unsigned char, 64>;
using Ed25519PublicKey = std::array<unsigned char, 32>;

// 128 hex digits, or standard/URL-safe base64 with or without padding;
// surrounding blanks are ignored. Anything else is no signature.
std::optional<Ed25519Signature> ParseSignature(std::string_view text);
// 64 hex digits.
std::optional<Ed25519PublicKey> ParsePublicKeyHex(std::string_view text);

// What the maker signs goes before the patch file's bytes: the build number
// on offer, so a signed file can never be offered as another build (an older
// one replayed as newer, say).
std::string SignedOfferPrefix(std::int32_t version);

// Whether a patch may be installed (or, before the download, could be), and
// if not, why.
struct [[nodiscard]] PatchVerdict {
    bool install = false;
    std::string reason;
};

// An offer can only ever be installed with a valid public key built in and a
// well-formed signature in the list; without them the patch is not fetched.
PatchVerdict CheckOfferVerifiable(std::string_view signatureText, std::string_view publicKeyHex);

// A patch is installed only when it is larger than 300,000 bytes and carries a
// valid signature of SignedOfferPrefix(version) and its bytes, made with the
// maker's key.
PatchVerdict VerifyPatchFile(const std::string& patchPath, std::int32_t version, std::string_view signatureText,
                             std::string_view publicKeyHex);

} // namespace quorlan::shell
