#include "shell/http/THTTPDown.h"

#include "fakes/TempDir.h"
#include "LocalHttpServer.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

namespace {

using quorlan::shell::THTTPDown;
using quorlan::test::LocalHttpServer;
using quorlan::test::TempDir;

// A port on which nothing listens: bound once, then released.
int ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    int port = probe.serverPort();
    probe.close();
    return port;
}

std::string Body(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 26);
    return body;
}

struct Events {
    std::vector<std::pair<std::int32_t, std::int32_t>> reads; // (maxSize, size)
    std::vector<qint64> completedSizes;
    int errors = 0;
    int stops = 0;
};

class THTTPDownTest : public ::testing::Test {
protected:
    void SetUp() override {
        down.OnRead = [this](THTTPDown&, std::int32_t maxSize, std::int32_t size) {
            events.reads.emplace_back(maxSize, size);
        };
        down.OnCompleted = [this](THTTPDown&, QFile& file) {
            EXPECT_TRUE(file.isOpen());
            events.completedSizes.push_back(file.size());
        };
        down.OnError = [this](THTTPDown&) { ++events.errors; };
        down.OnStop = [this](THTTPDown&) { ++events.stops; };
        // An earlier download left something: every download starts from an empty file.
        TempDir::Write(file, "stale contents");
    }
    LocalHttpServer server;
    TempDir dir;
    std::string file = dir.File("out.bin");
    THTTPDown down;
    Events events;
};

TEST_F(THTTPDownTest, BodyArrivesInChunksOfAtMost2048WithProgressAfterEach) {
    const std::string body = Body(10000);
    server.Serve("/big", body);
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });

    EXPECT_TRUE(down.DownloadToFile(QString::fromStdString(server.Url("/big")), QString::fromStdString(file)));

    EXPECT_EQ(TempDir::Read(file), body);
    ASSERT_GE(events.reads.size(), 5u); // 10,000 bytes need at least five chunks
    std::int32_t previous = 0;
    for (auto [maxSize, size] : events.reads) {
        EXPECT_EQ(maxSize, 10000);
        EXPECT_GT(size, previous);
        EXPECT_LE(size - previous, 2048);
        previous = size;
    }
    EXPECT_EQ(previous, 10000);
    EXPECT_EQ(events.completedSizes, std::vector<qint64>{10000});
    EXPECT_EQ(events.errors, 0);
    EXPECT_EQ(events.stops, 0);
    EXPECT_TRUE(loopRan); // timers of the caller's loop kept running
}

struct FailureCase {
    const char* name;
    std::string path; // served or not; empty: a host that refuses the connection
    bool declareLength;
};

TEST_F(THTTPDownTest, FailedFetchesLeaveAnEmptyFileAndReturnFalse) {
    server.Serve("/nolength", Body(5000), false);
    const FailureCase cases[] = {
        {"no Content-Length", "/nolength", false},
        {"404 error page", "/missing", true},
        {"unreachable host", "", true},
    };
    for (const auto& c : cases) {
        TempDir::Write(file, "stale contents");
        events = Events{};
        std::string url =
            c.path.empty() ? "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x" : server.Url(c.path);
        EXPECT_FALSE(down.DownloadToFile(QString::fromStdString(url), QString::fromStdString(file))) << c.name;
        EXPECT_EQ(TempDir::Read(file), "") << c.name;
        EXPECT_TRUE(events.reads.empty()) << c.name;
        EXPECT_TRUE(events.completedSizes.empty()) << c.name;
        EXPECT_EQ(events.errors, 1) << c.name;
    }
}

struct RedirectCase {
    const char* name;
    std::vector<int> statuses;  // one hop each; the last leads to the body
    const char* finalLocation;  // nullptr: the served body
    bool relative;              // locations given as paths only
    bool fetched;
};

TEST_F(THTTPDownTest, RedirectsAreFollowedUpToFiveHopsToWebAddressesOnly) {
    const std::string body = Body(3000);
    server.Serve("/body", body);
    const RedirectCase cases[] = {
        {"each kind once", {301, 302, 307, 308, 303}, nullptr, false, true},
        {"relative locations", {302, 301}, nullptr, true, true},
        {"six hops", {301, 302, 307, 308, 303, 301}, nullptr, false, false},
        {"to another scheme", {302}, "ftp://127.0.0.1/body", false, false},
    };
    for (const auto& c : cases) {
        TempDir::Write(file, "stale contents");
        events = Events{};
        for (std::size_t hop = 0; hop < c.statuses.size(); ++hop) {
            const bool last = hop + 1 == c.statuses.size();
            std::string next = !last ? "/hop" + std::to_string(hop + 1) : c.finalLocation ? c.finalLocation : "/body";
            if (!c.relative && next.front() == '/') next = server.Url(next);
            server.Redirect("/hop" + std::to_string(hop), next, c.statuses[hop]);
        }
        EXPECT_EQ(down.DownloadToFile(QString::fromStdString(server.Url("/hop0")), QString::fromStdString(file)),
                  c.fetched)
            << c.name;
        EXPECT_EQ(TempDir::Read(file), c.fetched ? body : "") << c.name;
        EXPECT_EQ(events.errors, c.fetched ? 0 : 1) << c.name;
    }
}

TEST_F(THTTPDownTest, DeclaredLengthAboveTheLimitEndsTheDownloadBeforeAnyByteIsWritten) {
    server.Serve("/big", Body(5000));
    down.SetMaxBytes(4999);
    EXPECT_FALSE(down.DownloadToFile(QString::fromStdString(server.Url("/big")), QString::fromStdString(file)));
    EXPECT_EQ(TempDir::Read(file), "");
    EXPECT_TRUE(events.reads.empty());
    EXPECT_EQ(events.errors, 1);

    down.SetMaxBytes(5000);
    EXPECT_TRUE(down.DownloadToFile(QString::fromStdString(server.Url("/big")), QString::fromStdString(file)));
    EXPECT_EQ(TempDir::Read(file).size(), 5000u);
}

TEST_F(THTTPDownTest, StopRequestEndsTheTransferAfterTheCurrentChunk) {
    server.Serve("/big", Body(100000));
    down.OnRead = [this](THTTPDown& sender, std::int32_t, std::int32_t size) {
        events.reads.emplace_back(0, size);
        sender.Stop();
    };
    EXPECT_TRUE(down.DownloadToFile(QString::fromStdString(server.Url("/big")), QString::fromStdString(file)));
    ASSERT_EQ(events.reads.size(), 1u);
    EXPECT_EQ(QFile(QString::fromStdString(file)).size(), events.reads[0].second);
    EXPECT_TRUE(events.completedSizes.empty());
    EXPECT_EQ(events.stops, 1);
    EXPECT_EQ(events.errors, 0);

    // The next download clears the request.
    down.OnRead = nullptr;
    EXPECT_TRUE(down.DownloadToFile(QString::fromStdString(server.Url("/big")), QString::fromStdString(file)));
    EXPECT_EQ(QFile(QString::fromStdString(file)).size(), 100000);
}

TEST_F(THTTPDownTest, TransferBrokenOffAfterSomeBytesIsAFailure) {
    // Declares 5,000 bytes, sends 100 and hangs up. Served from this thread:
    // the downloader runs the loop while it waits.
    QTcpServer shortServer;
    ASSERT_TRUE(shortServer.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&shortServer, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = shortServer.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n");
            socket->write(QByteArray(100, 'z'));
            socket->disconnectFromHost();
        });
    });
    const QString url = QStringLiteral("http://127.0.0.1:%1/short").arg(shortServer.serverPort());

    EXPECT_FALSE(down.DownloadToFile(url, QString::fromStdString(file)));
    EXPECT_EQ(TempDir::Read(file), std::string(100, 'z'));
    EXPECT_TRUE(events.completedSizes.empty());
    EXPECT_EQ(events.errors, 1);
}

TEST_F(THTTPDownTest, FileThatCannotBeCreatedIsAnError) {
    server.Serve("/big", Body(10));
    EXPECT_FALSE(down.DownloadToFile(QString::fromStdString(server.Url("/big")),
                                     QString::fromStdString(dir.File("no/such/dir/out.bin"))));
    EXPECT_EQ(events.errors, 1);
    EXPECT_EQ(server.Hits("/big"), 0);
}

} // namespace
