#include "board/ui/SmsGatewayClient.h"

#include <QByteArray>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace quorlan::board {

SmsGatewayClient::SmsGatewayClient(base::ILineLogs& logs) : logs_(logs), network_(new QNetworkAccessManager) {}

// Replies still under way go with their manager; their connections, made in
// the manager's context, are gone before that.
SmsGatewayClient::~SmsGatewayClient() {
    delete network_;
}

void SmsGatewayClient::Get(const std::string& url) {
    const QUrl address = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid()) {
        logs_.DebugLog("SMS Gateway: invalid address");
        return;
    }
    QNetworkReply* reply = network_->get(QNetworkRequest(address));
    QObject::connect(reply, &QNetworkReply::finished, network_, [this, reply] { Finished(reply); });
}

void SmsGatewayClient::Finished(QNetworkReply* reply) {
    reply->deleteLater();
    // The address carries the gateway password, and so does every error text
    // Qt builds from it: only the host and the outcome are logged.
    const std::string host = reply->url().host(QUrl::FullyEncoded).toStdString();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        logs_.DebugLog("SMS Gateway: " + host + " " + std::to_string(status.toInt()));
        return;
    }
    const char* error = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error());
    logs_.DebugLog("SMS Gateway: " + host + " failed, " + (error ? error : std::to_string(reply->error())));
}

} // namespace quorlan::board
