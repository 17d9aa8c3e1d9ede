#include "board/ui/SmsGatewayClient.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "net/Cp949.h"

namespace quorlan::board {

SmsGatewayClient::SmsGatewayClient(net::ILineLogs& logs) : logs_(logs), network_(new QNetworkAccessManager) {}

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
    // The address carries the gateway password: only the outcome is logged.
    if (reply->error() != QNetworkReply::NoError) {
        logs_.DebugLog("SMS Gateway: " + net::Cp949FromUtf8(reply->errorString().toStdString()));
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    logs_.DebugLog("SMS Gateway: " + std::to_string(status));
}

} // namespace quorlan::board
