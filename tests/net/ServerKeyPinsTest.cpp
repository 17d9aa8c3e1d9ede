#include "net/ServerKeyPins.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace quorlan::net;
using testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Computed from the test keys in tests/net/qt/tls with
// openssl pkey -in KEY -pubout -outform DER | openssl dgst -sha256 -binary | base64
constexpr const char* kPinnedKeyPin = "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=";
constexpr const char* kOtherKeyPin = "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=";
// The first and last bytes of the pinned key's digest (openssl dgst -sha256 -hex).
constexpr std::uint8_t kPinnedFirst = 0xcd, kPinnedLast = 0x80;

// The DER bytes of a PEM certificate of the TLS test peers.
Bytes CertificateDer(const std::string& name) {
    const std::string path = std::string(QUORLAN_TLS_TEST_DIR) + "/" + name + ".crt";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return {};
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    unsigned char* der = nullptr;
    const int length = certificate ? i2d_X509(certificate, &der) : 0;
    Bytes bytes(der, der + std::max(length, 0));
    OPENSSL_free(der);
    X509_free(certificate);
    return bytes;
}

Bytes KeyOf(const std::string& name) { return PublicKeyOfCertificate(CertificateDer(name)).value_or(Bytes{}); }

struct ListCase {
    const char* name;
    const char* text;
    std::size_t pins;
    const char* error; // part of the error; "" when the list is read
};
class PinLists : public testing::TestWithParam<ListCase> {};

TEST_P(PinLists, ReadEveryEntryOrNameTheFirstBadOne) {
    const PinListParse parsed = ParsePinList(GetParam().text);
    EXPECT_EQ(parsed.pins.size(), GetParam().pins);
    if (*GetParam().error == '\0') {
        EXPECT_EQ(parsed.error, "");
    } else {
        EXPECT_THAT(parsed.error, HasSubstr(GetParam().error));
    }
}
INSTANTIATE_TEST_SUITE_P(
    ServerKeyPins, PinLists,
    testing::Values(
        ListCase{"Empty", "", 0, ""}, ListCase{"Blank", "  \t", 0, ""},
        ListCase{"One", "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=", 1, ""},
        ListCase{"TwoWithBlanks", " zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA= ;\tXrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=",
                 2, ""},
        ListCase{"TrailingSeparator", "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=;", 0, "pin 2 (\"\") is empty"},
        ListCase{"EmptyFirst", ";zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=", 0, "pin 1 (\"\") is empty"},
        ListCase{"Prefixed", "sha256/zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=", 0, "is not base64"},
        ListCase{"Unpadded", "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA", 0, "is not base64"},
        ListCase{"UrlSafe", "zQBk7ruCF6cqW9KBHDskVyAQY-jKsk8c-o3VAizJWYA=", 0, "is not base64"},
        ListCase{"CommaSeparated",
                 "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=,Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=", 0,
                 "is not base64"},
        ListCase{"TooShort", "AAAA", 0, "pin 1 (\"AAAA\") is 3 bytes, not the 32 of a SHA-256 digest"},
        // The digest in hex instead of base64 reads as 48 bytes of base64.
        ListCase{"HexDigest",
                 "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=;"
                 "cd0064eebb8217a72a5bd2811c3b24572010"
                 "63e8cab24f1cfa8dd5022cc95980",
                 0, "pin 2 (\"cd0064"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServerKeyPins, PinIsTheDigestOfTheCertificatesPublicKey) {
    const Bytes key = KeyOf("pinned");
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(PinText(PinOfKey(key)), kPinnedKeyPin);
    EXPECT_EQ(PinText(PinOfKey(KeyOf("other"))), kOtherKeyPin);
    const PinListParse parsed = ParsePinList(kPinnedKeyPin);
    ASSERT_EQ(parsed.pins.size(), 1u);
    EXPECT_EQ(parsed.pins[0].front(), kPinnedFirst);
    EXPECT_EQ(parsed.pins[0].back(), kPinnedLast);
}

struct MatchCase {
    const char* name;
    const char* pins;
    bool matches;
};
class PinMatches : public testing::TestWithParam<MatchCase> {};

TEST_P(PinMatches, TheKeyMatchesWhenAnyPinNamesIt) {
    const PinListParse parsed = ParsePinList(GetParam().pins);
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(KeyMatchesPin(KeyOf("pinned"), parsed.pins), GetParam().matches);
}
INSTANTIATE_TEST_SUITE_P(
    ServerKeyPins, PinMatches,
    testing::Values(MatchCase{"ItsOwnPin", kPinnedKeyPin, true}, MatchCase{"AnotherKeysPin", kOtherKeyPin, false},
                    MatchCase{"NewAndOldDuringAKeyChange",
                              "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=;zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=",
                              true},
                    MatchCase{"NoPins", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServerKeyPins, NoKeyMatchesAnything) {
    const PinListParse parsed = ParsePinList(kPinnedKeyPin);
    EXPECT_FALSE(KeyMatchesPin(Bytes{}, parsed.pins));
}

TEST(ServerKeyPins, OnlyAWholeCertificateHasAPublicKey) {
    const Bytes certificate = CertificateDer("pinned");
    ASSERT_FALSE(certificate.empty());
    EXPECT_TRUE(PublicKeyOfCertificate(certificate));
    EXPECT_FALSE(PublicKeyOfCertificate(Bytes{}));
    EXPECT_FALSE(PublicKeyOfCertificate(Bytes(certificate.begin(), certificate.end() - 1)));
    Bytes longer = certificate;
    longer.push_back(0);
    EXPECT_FALSE(PublicKeyOfCertificate(longer));
    // The public key alone is no certificate.
    EXPECT_FALSE(PublicKeyOfCertificate(KeyOf("pinned")));
}

struct BuildCase {
    const char* name;
    bool tls;
    const char* pins;
    bool linkTls;
    std::size_t pinCount;
    bool misconfigured;
};
class BuildSecurity : public testing::TestWithParam<BuildCase> {};

TEST_P(BuildSecurity, PinsImplyTlsAndAnUnreadableListRefusesRatherThanWeakens) {
    const LinkSecurity security = LinkSecurityOfBuild(GetParam().tls, GetParam().pins);
    EXPECT_EQ(security.tls, GetParam().linkTls);
    EXPECT_EQ(security.pins.size(), GetParam().pinCount);
    EXPECT_EQ(!security.misconfiguration.empty(), GetParam().misconfigured);
}
INSTANTIATE_TEST_SUITE_P(ServerKeyPins, BuildSecurity,
                         testing::Values(BuildCase{"Plain", false, "", false, 0, false},
                                         BuildCase{"TlsWithAuthorities", true, "", true, 0, false},
                                         BuildCase{"TlsWithPin", true, kPinnedKeyPin, true, 1, false},
                                         BuildCase{"PinWithoutTheSwitch", false, kPinnedKeyPin, true, 1, false},
                                         BuildCase{"UnreadablePin", false, "AAAA", true, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
