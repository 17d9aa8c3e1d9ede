#include "shell/http/UpdateCheck.h"

#include "LocalHttpServer.h"
#include "fakes/RecordingLogs.h"
#include "net/qt/LoopbackServer.h"
#include "net/qt/QtMainSock.h"
#include "fakes/TempDir.h"
#include "net/Codec.h"
#include "tools/sign/PatchSigner.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace quorlan::shell;
using quorlan::test::LocalHttpServer;
using quorlan::test::RecordingLogs;
using quorlan::test::TempDir;

// The running client's build, and the next one.
constexpr std::uint32_t kBuild = quorlan::net::kClientBuild;
constexpr std::uint32_t kNext = kBuild + 1;

constexpr const char* kOldProgram = "#!/bin/sh\nexit 0\n";

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto pair = quorlan::tools::GenerateKeyPair();
        ASSERT_TRUE(pair);
        keys = *pair;
        TempDir::Write(program, kOldProgram);
        fs::permissions(program, fs::perms(0755), fs::perm_options::replace);
    }

    // A runnable patch of exactly `size` bytes: a script that writes its
    // working directory into a marker file, padded with a comment line.
    std::string PatchScript(std::size_t size) const {
        std::string head = "#!/bin/sh\npwd > '" + marker + "'\nexit 0\n#";
        std::string body = head + std::string(size - head.size() - 1, 'x') + "\n";
        return body;
    }

    std::string List(int version, const std::string& patchfile, const std::string& signature) const {
        return "[config]\r\nversion=" + std::to_string(version) + "\r\nport=4123\r\nipaddr=10.9.8.7\r\npatchfile=" +
               patchfile + "\r\nsignature=" + signature + "\r\n";
    }

    UpdateOutcome Run(const std::string& listUrl, std::function<void(const ServerEndpoint&)> applyEndpoint = {},
                      bool keyBuiltIn = true) {
        UpdateCheckOptions options;
        options.applyEndpoint = std::move(applyEndpoint);
        options.listUrl = QString::fromStdString(listUrl);
        options.listFile = QString::fromStdString(listFile);
        options.programPath = QString::fromStdString(program);
        options.publicKeyHex = keyBuiltIn ? keys.publicKey : std::string();
        UpdateCheck check(down, logs, options);
        return check.Run();
    }

    bool LogMentions(const std::string& words) const {
        for (const auto& line : logs.debug) {
            if (line.find(words) != std::string::npos) return true;
        }
        return false;
    }

    LocalHttpServer server;
    TempDir dir;
    std::string program = dir.File("quorlan");
    std::string patch = dir.File("quorlan.dat");
    std::string backup = dir.File("quorlan.old");
    std::string listFile = dir.File("update.dat");
    std::string marker = dir.File("started");
    quorlan::tools::KeyPairHex keys;
    THTTPDown down;
    RecordingLogs logs;
};

TEST_F(UpdateCheckTest, SameBuildAppliesAddressAndPortWithoutFetchingThePatch) {
    const std::string body = PatchScript(300001);
    server.Serve("/patch.bin", body);
    server.Serve("/patch_quorlan.txt",
                 List(kBuild, server.Url("/patch.bin"), *quorlan::tools::SignOfferHex(keys.secretKey, kBuild, body)));

    UpdateOutcome outcome = Run(server.Url("/patch_quorlan.txt"));

    EXPECT_FALSE(outcome.updateInstalled);
    EXPECT_EQ(outcome.server.address, "10.9.8.7");
    EXPECT_EQ(outcome.server.port, 4123);
    EXPECT_EQ(server.Hits("/patch.bin"), 0);
    EXPECT_FALSE(fs::exists(patch));
    EXPECT_TRUE(fs::exists(listFile)); // the list stays on disk
    EXPECT_EQ(TempDir::Read(program), kOldProgram);
}

TEST_F(UpdateCheckTest, SignedNewerBuildIsInstalledBackedUpAndStarted) {
    const std::string body = PatchScript(300001);
    server.Serve("/patch.bin", body);
    server.Serve("/patch_quorlan.txt",
                 List(kNext, server.Url("/patch.bin"), *quorlan::tools::SignOfferHex(keys.secretKey, kNext, body)));

    // The list's server is applied before the patch is fetched.
    std::vector<std::string> applied;
    UpdateOutcome outcome = Run(server.Url("/patch_quorlan.txt"), [&](const ServerEndpoint& endpoint) {
        applied.push_back(endpoint.address + ":" + std::to_string(endpoint.port) + " after " +
                          std::to_string(server.Hits("/patch.bin")) + " patch requests");
    });

    EXPECT_EQ(applied, std::vector<std::string>{"10.9.8.7:4123 after 0 patch requests"});
    EXPECT_TRUE(outcome.updateInstalled);
    EXPECT_EQ(outcome.server.port, 4123);
    EXPECT_EQ(TempDir::Read(program), body);
    EXPECT_EQ(TempDir::Read(backup), kOldProgram);
    EXPECT_FALSE(fs::exists(patch));
    // The new program ran, in the working directory this one was started in.
    EXPECT_TRUE(QTest::qWaitFor([&] { return TempDir::Read(marker) == QDir::currentPath().toStdString() + "\n"; }, 10000))
        << TempDir::Read(marker);
}

TEST_F(UpdateCheckTest, BuildInstalledOnceIsNeverInstalledAgain) {
    // The new program still calls itself kBuild, so it is offered kNext again.
    const std::string body = PatchScript(300001);
    server.Serve("/patch.bin", body);
    server.Serve("/patch_quorlan.txt",
                 List(kNext, server.Url("/patch.bin"), *quorlan::tools::SignOfferHex(keys.secretKey, kNext, body)));
    ASSERT_TRUE(Run(server.Url("/patch_quorlan.txt")).updateInstalled);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(marker); }, 10000));
    fs::remove(marker);

    UpdateOutcome again = Run(server.Url("/patch_quorlan.txt"));

    EXPECT_FALSE(again.updateInstalled);
    EXPECT_EQ(again.server.address, "10.9.8.7");
    EXPECT_EQ(server.Hits("/patch.bin"), 1);
    EXPECT_EQ(TempDir::Read(program), body);
    EXPECT_EQ(TempDir::Read(backup), kOldProgram);
    EXPECT_TRUE(LogMentions("build " + std::to_string(kNext) + " was installed before"));
    QTest::qWait(100);
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(UpdateCheckTest, RefusedPatchesLeaveTheProgramAsItIs) {
    struct Case {
        const char* name;
        std::size_t size;
        enum { Good, Bad, OtherBuild, Missing } signature;
        bool namePatchFile;
        bool keyBuiltIn;
        const char* logWords;
        bool fetched; // the patch is downloaded (and left on disk)
    };
    const Case cases[] = {
        {"300,000 bytes", 300000, Case::Good, true, true, "300000", true},
        {"bad signature", 300001, Case::Bad, true, true, "does not verify", true},
        {"signed as the running build", 300001, Case::OtherBuild, true, true, "does not verify", true},
        {"missing signature", 300001, Case::Missing, true, true, "not fetched: the patch list carries no signature",
         false},
        {"no key built in", 300001, Case::Good, true, false, "not fetched: no valid update public key", false},
        {"empty patchfile", 300001, Case::Good, false, true, "without a patch file", false},
    };
    for (const auto& c : cases) {
        fs::remove(patch);
        logs.debug.clear();
        const int hitsBefore = server.Hits("/patch.bin");
        const std::string body = PatchScript(c.size);
        std::string signature;
        if (c.signature == Case::Good) signature = *quorlan::tools::SignOfferHex(keys.secretKey, kNext, body);
        if (c.signature == Case::Bad) signature = *quorlan::tools::SignOfferHex(keys.secretKey, kNext, body + "tampered");
        if (c.signature == Case::OtherBuild) signature = *quorlan::tools::SignOfferHex(keys.secretKey, kBuild, body);
        server.Serve("/patch.bin", body);
        server.Serve("/patch_quorlan.txt", List(kNext, c.namePatchFile ? server.Url("/patch.bin") : "", signature));

        UpdateOutcome outcome = Run(server.Url("/patch_quorlan.txt"), {}, c.keyBuiltIn);

        EXPECT_FALSE(outcome.updateInstalled) << c.name;
        EXPECT_EQ(outcome.server.address, "10.9.8.7") << c.name;
        EXPECT_EQ(TempDir::Read(program), kOldProgram) << c.name;
        EXPECT_FALSE(fs::exists(backup)) << c.name;
        EXPECT_EQ(fs::exists(patch), c.fetched) << c.name;
        EXPECT_EQ(server.Hits("/patch.bin") - hitsBefore, c.fetched ? 1 : 0) << c.name;
        EXPECT_TRUE(LogMentions(c.logWords)) << c.name;
    }
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(UpdateCheckTest, ListBrokenOffPartWayIsNotRead) {
    // Declares more than it sends: a whole list section, then the link drops.
    // Served from this thread: the downloader runs the loop while it waits.
    const QByteArray partial = "[config]\r\nversion=9\r\nport=4123\r\nipaddr=10.9.8.7\r\n";
    QTcpServer shortServer;
    ASSERT_TRUE(shortServer.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&shortServer, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = shortServer.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, partial] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n" + partial);
            socket->disconnectFromHost();
        });
    });

    UpdateOutcome outcome = Run("http://127.0.0.1:" + std::to_string(shortServer.serverPort()) + "/patch_quorlan.txt");

    EXPECT_FALSE(outcome.updateInstalled);
    EXPECT_EQ(outcome.server.address, quorlan::config::kServerAddress);
    EXPECT_EQ(outcome.server.port, quorlan::config::kServerPort);
    EXPECT_TRUE(LogMentions("patch list not fetched"));
}

TEST_F(UpdateCheckTest, UnreachableListHostGivesAnEmptyListAndTheBuiltInServer) {
    TempDir::Write(listFile, List(9, "http://127.0.0.1:1/p", "")); // an older list must not be used
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int closedPort = probe.serverPort();
    probe.close();

    UpdateOutcome outcome = Run("http://127.0.0.1:" + std::to_string(closedPort) + "/patch_quorlan.txt");

    EXPECT_FALSE(outcome.updateInstalled);
    EXPECT_EQ(outcome.server.address, quorlan::config::kServerAddress);
    EXPECT_EQ(outcome.server.port, quorlan::config::kServerPort);
    EXPECT_EQ(TempDir::Read(listFile), "");
    EXPECT_EQ(TempDir::Read(program), kOldProgram);
}

// The list moves the link to another address and port, never lowers its
// protection: a client built with TLS and a pin keeps both, whatever keys
// the list adds.
TEST_F(UpdateCheckTest, PatchListMovesTheLinkButNeverLowersItsProtection) {
    const std::string pinned = "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA="; // tests/net/qt/tls/pinned.key
    const std::string other = "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=";  // tests/net/qt/tls/other.key
    quorlan::net::QtMainSock sock(quorlan::net::LinkSecurityOfBuild(true, pinned));
    const auto listTo = [&](std::uint16_t port) {
        server.Serve("/patch_quorlan.txt", "[config]\r\nversion=0\r\nipaddr=127.0.0.1\r\nport=" +
                                               std::to_string(port) +
                                               "\r\ntls=0\r\nssl=off\r\nQUORLAN_SERVER_TLS=OFF\r\npin=" + other +
                                               "\r\nQUORLAN_SERVER_PIN=" + other + "\r\n");
        Run(server.Url("/patch_quorlan.txt"), [&sock](const ServerEndpoint& endpoint) {
            sock.SetAddress(endpoint.address);
            sock.SetPort(endpoint.port);
        });
    };

    // A server in clear at the list's address gets a TLS hello and no more.
    quorlan::test::LoopbackServer plain;
    listTo(plain.Port());
    sock.Open();
    ASSERT_TRUE(plain.WaitForClient());
    const std::vector<std::uint8_t> hello = plain.Receive(5);
    EXPECT_EQ(hello[0], 0x16); // a TLS handshake record
    QTest::qWait(50);
    EXPECT_FALSE(sock.Active());
    const std::uint8_t version[] = {7, 0, 'd', 3, 0, 0, 0};
    EXPECT_EQ(sock.Write(version, 7), 0);
    sock.Close();

    // The server with the built-in key at the list's new address is taken,
    // though the list names another key.
    quorlan::test::LoopbackServer tls(quorlan::test::TlsTestPeer("pinned"));
    listTo(tls.Port());
    sock.Open();
    ASSERT_TRUE(quorlan::test::WaitUntil([&] { return sock.Active(); }));
    ASSERT_TRUE(tls.WaitForClient());
    EXPECT_EQ(sock.Write(version, 7), 7);
    EXPECT_EQ(tls.Receive(7), std::vector<std::uint8_t>(version, version + 7));
}

} // namespace
