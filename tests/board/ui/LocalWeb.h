#pragma once
#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorlan::test {

// A loopback web server on a free port, run on its own thread for one test
// suite: a cp949 board page and its posts, a redirect to it, a document without a body and
// a stand-in SMS gateway that records the query values it receives.
class LocalWeb {
public:
    struct GatewayHit {
        std::multimap<std::string, std::string> params; // decoded values (cp949 bytes)
        std::string target;                             // the request target as sent
    };

    explicit LocalWeb(std::string boardPageCp949);
    ~LocalWeb();
    LocalWeb(const LocalWeb&) = delete;
    LocalWeb& operator=(const LocalWeb&) = delete;

    std::string Url(const std::string& path) const;
    std::string Base() const;
    std::vector<GatewayHit> GatewayHits();

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<GatewayHit> gatewayHits_;
};

} // namespace quorlan::test
