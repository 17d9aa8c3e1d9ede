#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::net {

// A pin names one server key: the SHA-256 digest of the key's DER
// SubjectPublicKeyInfo, written as standard base64 with padding (44
// characters), as `openssl pkey -pubout -outform DER | openssl dgst -sha256
// -binary | base64` prints it.
using KeyPin = std::array<std::uint8_t, 32>;

struct [[nodiscard]] PinListParse {
    std::vector<KeyPin> pins;
    std::string error; // empty when every entry is a pin
};

// "PIN;PIN;...": several pins let the server's key be replaced without a
// client that cannot connect. Blanks around an entry are ignored; an empty
// text is an empty list. An empty entry, an entry that is not base64 or one
// that is not 32 bytes makes the whole list an error naming the entry.
PinListParse ParsePinList(std::string_view text);

KeyPin PinOfKey(std::span<const std::uint8_t> subjectPublicKeyInfoDer);
bool KeyMatchesPin(std::span<const std::uint8_t> subjectPublicKeyInfoDer, std::span<const KeyPin> pins);
std::string PinText(const KeyPin& pin);

// The DER SubjectPublicKeyInfo of a DER certificate; nothing when the bytes
// are not one certificate.
std::optional<std::vector<std::uint8_t>> PublicKeyOfCertificate(std::span<const std::uint8_t> certificateDer);

// How the client's link to the server is protected. Fixed when the program is
// built: nothing read at run time (the patch list included) can change it.
struct LinkSecurity {
    bool tls = false;
    // With tls: the server's key must match one of these; none means the
    // server's certificate is checked against the system's trusted
    // authorities for the address connected to.
    std::vector<KeyPin> pins;
    // With tls and no pins: the name (or address) the certificate must be
    // valid for, whichever address the link goes to, so that a patch list
    // naming another address cannot bring another identity with it. Empty:
    // the address connected to.
    std::string serverName;
    // A pin list that could not be read: every attempt is refused with this
    // reason rather than connecting with less protection than was built in.
    std::string misconfiguration;
};

// The link security of a build: its TLS switch, its pin list text and the
// server name it was built for. Pins imply TLS.
LinkSecurity LinkSecurityOfBuild(bool tls, std::string_view pinList, std::string_view serverName = {});

} // namespace quorlan::net
