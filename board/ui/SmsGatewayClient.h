#pragma once
#include "base/ILineLogs.h"

#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace quorlan::board {

// Issues the SMS gateway's GET requests on a client of its own, so that the
// board page the check cycle reads is never replaced by the gateway's reply.
// The reply is not examined beyond a debug line; nothing is retried.
class SmsGatewayClient {
public:
    explicit SmsGatewayClient(base::ILineLogs& logs);
    ~SmsGatewayClient();
    SmsGatewayClient(const SmsGatewayClient&) = delete;
    SmsGatewayClient& operator=(const SmsGatewayClient&) = delete;

    // url: a finished gateway address whose query values are already
    // percent-encoded (plain ASCII). Returns at once.
    void Get(const std::string& url);

private:
    void Finished(QNetworkReply* reply);

    base::ILineLogs& logs_;
    QNetworkAccessManager* network_;
};

} // namespace quorlan::board
