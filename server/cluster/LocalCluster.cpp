#include "LocalCluster.h"

#include <asio/post.hpp>

namespace quorlan::server {

// Answers come on the loop, never before the call returns, as they do from
// the database.
void LocalCluster::AdmitAlert(const std::string& phone, const std::string& line, AdmitDone done) {
    const std::int64_t now = clock_.SteadyMs();
    const SmsLimiter::Verdict verdict = limiter_.Admit(phone, line, now);
    asio::post(loop_, [done = std::move(done), verdict, now] { done(Admission{verdict, now}); });
}

void LocalCluster::ReleaseAlert(const std::string& phone, const std::string& line, std::int64_t atMs) {
    limiter_.Release(phone, line, atMs);
}

void LocalCluster::RelayElsewhere(const std::string&, const std::string&, std::function<void(bool sent)> done) {
    asio::post(loop_, [done = std::move(done)] { done(false); });
}

} // namespace quorlan::server
