#pragma once
#include <optional>
#include <string>

namespace quorlan::loadgen {

// What hostile clients cost the honest ones, measured against a running
// server program: the login time of honest clients (each from its own
// loopback address) without and then with a login flood from another
// address, in the same run; and how much the server grows for one client
// that writes requests and never reads.
struct AbuseFigures {
    double quietLoginMs = 0;   // median
    double floodedLoginMs = 0; // median, while 127.0.0.2 floods
    double floodedWorstMs = 0; // a refused or unanswered login counts as 30 s
    std::size_t floodLogins = 0;
    long long nonReaderGrowth = 0; // bytes of server RSS
};

class AbuseRun {
public:
    static std::optional<AbuseFigures> Run(const std::string& serverBin, std::string& error);
};

} // namespace quorlan::loadgen
