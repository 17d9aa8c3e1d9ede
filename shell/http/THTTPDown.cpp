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

bool IsWebAddress(const QUrl& url) {
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

bool IsFollowedRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

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
    QUrl target(url, QUrl::StrictMode);
    std::unique_ptr<QNetworkReply, ReplyDeleter> reply;
    QEventLoop waiter;
    // Redirects are followed here rather than by Qt, which reports the 3xx
    // answer before it follows it.
    for (int redirects = 0;; ++redirects) {
        if (!IsWebAddress(target)) return false;
        QNetworkRequest request(target);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        // Without this Qt asks for a compressed body, and the declared length
        // would then not be the length of what is read.
        request.setRawHeader("Accept-Encoding", "identity");
        request.setTransferTimeout(transferTimeoutMs_);

        reply.reset(manager_.get(request));
        QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &waiter, &QEventLoop::quit);
        QObject::connect(reply.get(), &QNetworkReply::readyRead, &waiter, &QEventLoop::quit);
        QObject::connect(reply.get(), &QNetworkReply::finished, &waiter, &QEventLoop::quit);

        // Reply signals are delivered by this thread's loop, so none can slip
        // by between a check and exec().
        while (!reply->isFinished() && !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            waiter.exec();
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!IsFollowedRedirect(status)) break;
        if (redirects == kMaxRedirects) return false;
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (!location.isValid()) return false;
        target = reply->url().resolved(location);
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // No HTTP answer or an error page.
    if (!status.isValid() || status.toInt() < 200 || status.toInt() >= 300) return false;
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!declared.isValid() || declared.toLongLong() > maxBytes_) return false;
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
        if (chunk.isEmpty() || written + chunk.size() > maxBytes_ || stream.write(chunk) != chunk.size()) {
            lastReadOk = false; // a body past the limit, or a full disk
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
