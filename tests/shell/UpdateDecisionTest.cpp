#include "shell/UpdateDecision.h"

#include "fakes/RecordingLogs.h"
#include "fakes/TempDir.h"
#include "tools/sign/PatchSigner.h"

#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <sodium.h>

namespace {

using namespace quorlan::shell;
using quorlan::test::RecordingLogs;
using quorlan::test::TempDir;

PatchList ListFrom(const std::string& text) {
    TempDir dir;
    TempDir::Write(dir.File("update.dat"), text);
    IniFile ini(dir.File("update.dat"));
    EXPECT_TRUE(ini.Load().ok);
    return ReadPatchList(ini, "127.0.0.1", 3000);
}

TEST(PatchList, KeysAndDefaults) {
    PatchList full = ListFrom("[config]\r\nversion=4\r\nport=4000\r\nipaddr=10.1.2.3\r\n"
                              "patchfile=http://h/q.bin\r\nsignature=abcd\r\n");
    EXPECT_EQ(full.version, 4);
    EXPECT_EQ(full.port, 4000);
    EXPECT_EQ(full.ipaddr, "10.1.2.3");
    EXPECT_EQ(full.patchfile, "http://h/q.bin");
    EXPECT_EQ(full.signature, "abcd");

    for (const char* notAList : {"", "<html><body>404 Not Found</body></html>", "[other]\nversion=9\n"}) {
        PatchList p = ListFrom(notAList);
        EXPECT_EQ(p.version, 0) << notAList;
        EXPECT_EQ(p.port, 3000);
        EXPECT_EQ(p.ipaddr, "127.0.0.1");
        EXPECT_EQ(p.patchfile, "");
    }
}

TEST(PatchList, OnlyAHigherVersionIsNewer) {
    const std::pair<std::int32_t, bool> cases[] = {{0, false}, {3, false}, {4, true}, {-1, false}, {INT32_MAX, true}};
    for (auto [version, newer] : cases) {
        PatchList p;
        p.version = version;
        EXPECT_EQ(OffersNewerBuild(p, 3), newer) << version;
    }
}

TEST(PatchList, EndpointKeepsDefaultsForUnusableValues) {
    struct Case {
        std::int32_t port;
        const char* ipaddr;
        std::uint16_t wantPort;
        const char* wantAddress;
        std::size_t debugLines;
    };
    const Case cases[] = {
        {4000, "10.0.0.9", 4000, "10.0.0.9", 0},
        {65535, "10.0.0.9", 65535, "10.0.0.9", 0},
        {0, "10.0.0.9", 3000, "10.0.0.9", 1},
        {70000, "", 3000, "127.0.0.1", 2},
        {-5, "10.0.0.9", 3000, "10.0.0.9", 1},
    };
    for (const auto& c : cases) {
        RecordingLogs logs;
        PatchList p;
        p.port = c.port;
        p.ipaddr = c.ipaddr;
        ServerEndpoint e = EndpointFromList(p, "127.0.0.1", 3000, logs);
        EXPECT_EQ(e.port, c.wantPort) << c.port;
        EXPECT_EQ(e.address, c.wantAddress) << c.port;
        EXPECT_EQ(logs.debug.size(), c.debugLines) << c.port;
    }
}

TEST(Signature, HexAndBase64FormsOf64Bytes) {
    Ed25519Signature bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 250);
    std::string hex(129, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    hex.pop_back();
    auto base64 = [&](int variant) {
        std::string out(sodium_base64_ENCODED_LEN(64, variant), '\0');
        sodium_bin2base64(out.data(), out.size(), bytes.data(), bytes.size(), variant);
        out.resize(std::strlen(out.c_str()));
        return out;
    };
    std::string upperHex = hex;
    for (char& c : upperHex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    const std::string accepted[] = {hex, upperHex, " " + hex + " ", base64(sodium_base64_VARIANT_ORIGINAL),
                                    base64(sodium_base64_VARIANT_ORIGINAL_NO_PADDING),
                                    base64(sodium_base64_VARIANT_URLSAFE)};
    for (const auto& text : accepted) EXPECT_EQ(ParseSignature(text), bytes) << text;

    const std::string refused[] = {"", hex.substr(2), hex + "00", hex.substr(0, 127) + "g",
                                   base64(sodium_base64_VARIANT_ORIGINAL) + "AAAA", "not a signature"};
    for (const auto& text : refused) EXPECT_FALSE(ParseSignature(text)) << text;
}

class VerifyPatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto pair = quorlan::tools::GenerateKeyPair();
        ASSERT_TRUE(pair);
        keys = *pair;
    }
    std::string Patch(std::size_t size) {
        std::string body(size, '\0');
        for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i * 31 % 251);
        TempDir::Write(dir.File("quorlan.dat"), body);
        return body;
    }
    quorlan::tools::KeyPairHex keys;
    TempDir dir;
};

TEST_F(VerifyPatchTest, OnlyALargeEnoughPatchSignedWithTheMakersKeyIsInstalled) {
    auto other = quorlan::tools::GenerateKeyPair();
    ASSERT_TRUE(other);
    struct Case {
        const char* name;
        std::size_t size;
        enum { Good, OtherContent, OtherBuild, FileOnly, OtherKey, Missing, Garbage } signature;
        bool builtInKey;
        bool install;
        const char* reasonWord;
    };
    const Case cases[] = {
        {"valid", 300001, Case::Good, true, true, ""},
        {"300,000 bytes", 300000, Case::Good, true, false, "300000"},
        {"empty patch", 0, Case::Good, true, false, "300000"},
        {"signature of other bytes", 300001, Case::OtherContent, true, false, "does not verify"},
        {"signed for another build", 300001, Case::OtherBuild, true, false, "does not verify"},
        {"signature of the file alone", 300001, Case::FileOnly, true, false, "does not verify"},
        {"signed by another key", 300001, Case::OtherKey, true, false, "does not verify"},
        {"no signature", 300001, Case::Missing, true, false, "no signature"},
        {"malformed signature", 300001, Case::Garbage, true, false, "not 64 bytes"},
        {"no key built in", 300001, Case::Good, false, false, "public key"},
    };
    for (const auto& c : cases) {
        std::string body = Patch(c.size);
        std::string signature;
        switch (c.signature) {
        case Case::Good: signature = *quorlan::tools::SignOfferHex(keys.secretKey, 4, body); break;
        case Case::OtherContent: signature = *quorlan::tools::SignOfferHex(keys.secretKey, 4, body + "x"); break;
        case Case::OtherBuild: signature = *quorlan::tools::SignOfferHex(keys.secretKey, 3, body); break;
        case Case::FileOnly: signature = *quorlan::tools::SignHex(keys.secretKey, body); break;
        case Case::OtherKey: signature = *quorlan::tools::SignOfferHex(other->secretKey, 4, body); break;
        case Case::Missing: break;
        case Case::Garbage: signature = "zz"; break;
        }
        PatchVerdict verdict =
            VerifyPatchFile(dir.File("quorlan.dat"), 4, signature, c.builtInKey ? keys.publicKey : std::string());
        EXPECT_EQ(verdict.install, c.install) << c.name;
        EXPECT_NE(verdict.reason.find(c.reasonWord), std::string::npos) << c.name << ": " << verdict.reason;
    }
}

TEST_F(VerifyPatchTest, MissingPatchFileIsRefused) {
    PatchVerdict verdict = VerifyPatchFile(dir.File("none.dat"), 4, std::string(128, '0'), keys.publicKey);
    EXPECT_FALSE(verdict.install);
    EXPECT_FALSE(verdict.reason.empty());
}

TEST(PatchSigner, SignsTheBuildNumberAheadOfTheFile) {
    auto pair = quorlan::tools::GenerateKeyPair();
    ASSERT_TRUE(pair);
    EXPECT_EQ(SignedOfferPrefix(4), "Quorlan patch for build 4\n");
    EXPECT_EQ(quorlan::tools::SignOfferHex(pair->secretKey, 4, "body"),
              quorlan::tools::SignHex(pair->secretKey, "Quorlan patch for build 4\nbody"));
}

TEST(PatchSigner, RefusesDamagedSecretKeys) {
    auto pair = quorlan::tools::GenerateKeyPair();
    ASSERT_TRUE(pair);
    EXPECT_TRUE(quorlan::tools::SignHex(pair->secretKey + "\n", "m")); // as read from a key file
    std::string damaged = pair->secretKey;
    damaged[127] = damaged[127] == '0' ? '1' : '0'; // public half no longer matches
    const std::string refused[] = {"", pair->secretKey.substr(0, 64), damaged, std::string(128, 'x')};
    for (const auto& key : refused) EXPECT_FALSE(quorlan::tools::SignHex(key, "m")) << key;
}

} // namespace
