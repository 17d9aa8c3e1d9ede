#pragma once
#include "tools/testweb/QueryString.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::testweb {

// One request that reached the SMS gateway path.
struct SmsRequest {
    std::string rawQuery; // as it arrived, bytes outside printable ASCII as %XX
    std::vector<QueryParam> params;
    std::chrono::system_clock::time_point received;
};

// Every gateway request, in arrival order. Written by the HTTP worker threads,
// read and cleared through the admin paths.
class SmsLog {
public:
    void Record(std::string_view rawQuery, std::chrono::system_clock::time_point received);
    std::vector<SmsRequest> Snapshot() const;
    std::size_t Clear();

    // A JSON array, one object per request: "query" (raw, escaped as above),
    // "received_ms" (Unix time in milliseconds) and the keys userid, passwd,
    // sender, receiver, encode and message, each the first value of that key
    // read as cp949 and given in UTF-8, or null when the key is absent.
    static std::string ToJson(const std::vector<SmsRequest>& requests);

private:
    mutable std::mutex mutex_;
    std::vector<SmsRequest> requests_;
};

} // namespace quorlan::testweb
