#include "shell/http/THTTPDown.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <limits>
#include <memory>

namespace quorlan::shell {
namespace {

// Progress is reported in 32-bit values.
std::int32_t Clamp32(qint64 value) {
    if (value < 0) return 0;
    return value > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                            : static_cast<std::int32_t>(value);
}

struct ReplyDeleter {
    void operator()(QNetworkReply* reply) const {
        reply->disconnect();
        if (!reply->isFinished()) reply->abort();
        reply->deleteLater();
    }
};

class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

THTTPDown::THTTPDown() = default;

bool THTTPDown::FetchToStream(const QString& url, QIODevice& stream) {
    if (busy_) return false;
    BusyGuard guard(busy_);

    if (!stream.isSequential()) stream.seek(0);
    const QUrl target(url, QUrl::StrictMode);
    if (!target.isValid() || (target.scheme() != QLatin1String("http") && target.scheme() != QLatin1String("https"))) {
        return false;
    }

    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Without this Qt asks for a compressed body, and the declared length
    // would then not be the length of what is read.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(transferTimeoutMs_);

    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(manager_.get(request));
    QEventLoop waiter;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &waiter, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &waiter, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::finished, &waiter, &QEventLoop::quit);

    // Reply signals are delivered by this thread's loop, so none can slip by
    // between a check and exec().
    while (!reply->isFinished() && !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        waiter.exec();
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // No HTTP answer, an error page or a redirect that was not followed.
    if (!status.isValid() || status.toInt() < 200 || status.toInt() >= 300) return false;
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!declared.isValid()) return false;
    const std::int32_t maxSize = Clamp32(declared.toLongLong());

    qint64 written = 0;
    bool lastReadOk = true;
    while (!stopRequested_) {
        if (reply->bytesAvailable() <= 0) {
            if (reply->isFinished()) {
                lastReadOk = reply->error() == QNetworkReply::NoError;
                break;
            }
            waiter.exec();
            continue;
        }
        const QByteArray chunk = reply->read(kChunkBytes);
        if (chunk.isEmpty() || stream.write(chunk) != chunk.size()) {
            lastReadOk = false; // a full disk, say
            break;
        }
        written += chunk.size();
        QCoreApplication::processEvents();
        if (OnRead) OnRead(*this, maxSize, Clamp32(stream.isSequential() ? written : stream.size()));
    }
    return lastReadOk;
}

bool THTTPDown::DownloadToFile(const QString& url, const QString& fileName) {
    if (busy_) return false;
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (OnError) OnError(*this);
        return false;
    }
    stopRequested_ = false;
    bool failed = !FetchToStream(url, file);
    if (!file.flush()) failed = true;
    // A transfer that broke off is a failure even when some bytes arrived.
    bool result = !failed && file.size() > 0;
    if (!failed && !stopRequested_ && OnCompleted) OnCompleted(*this, file);
    file.close();
    if (failed && OnError) OnError(*this);
    if (stopRequested_ && OnStop) OnStop(*this);
    return result;
}

} // namespace quorlan::shell
