#include "Metrics.h"

#include <initializer_list>

namespace quorlan::server {
namespace {

template <typename T>
void Write(std::string& out, const char* name, const char* type, const char* help, const std::atomic<T>& value) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
    out += name;
    out += ' ';
    out += std::to_string(value.load(std::memory_order_relaxed));
    out += '\n';
}

struct Labelled {
    const char* label;
    const std::atomic<std::uint64_t>& value;
};

// One counter family with a `reason` label.
void WriteReasons(std::string& out, const char* name, const char* help, std::initializer_list<Labelled> values) {
    out += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " counter\n";
    for (const auto& v : values)
        out += std::string(name) + "{reason=\"" + v.label + "\"} " +
               std::to_string(v.value.load(std::memory_order_relaxed)) + '\n';
}

} // namespace

std::string Metrics::Render() const {
    std::string out;
    out.reserve(4096);
    Write(out, "quorlan_connections", "gauge", "Open client connections.", connections);
    Write(out, "quorlan_boards", "gauge", "Boards with at least one registered client.", boards);
    Write(out, "quorlan_connections_accepted_total", "counter", "Connections accepted.", connectionsAccepted);
    Write(out, "quorlan_connections_rejected_total", "counter", "Connections refused at the connection limit.",
          connectionsRejected);
    Write(out, "quorlan_malformed_packets_total", "counter", "Connections closed for a malformed packet.",
          malformedPackets);
    Write(out, "quorlan_slow_consumers_dropped_total", "counter", "Connections dropped for unread output.",
          slowConsumersDropped);
    Write(out, "quorlan_checks_started_total", "counter", "CheckList turns given to clients.", checksStarted);
    Write(out, "quorlan_checks_completed_total", "counter", "Checks answered with a ListReport.", checksCompleted);
    Write(out, "quorlan_checks_timed_out_total", "counter", "Checks and baselines not answered in time.",
          checksTimedOut);
    Write(out, "quorlan_baselines_requested_total", "counter", "ListRequest sent to get a board's first list.",
          baselinesRequested);
    Write(out, "quorlan_posts_forwarded_total", "counter", "New post lines forwarded to a board's clients.",
          postsForwarded);
    Write(out, "quorlan_post_deliveries_total", "counter", "NewPost messages queued to clients.", postDeliveries);
    Write(out, "quorlan_posts_refused_total", "counter", "NewPost from a client not holding the board's check.",
          postsRefused);
    WriteReasons(out, "quorlan_posts_dropped_total", "NewPost dropped, by reason.",
                 {{"not_checker", postsRefused}, {"not_new", postsNotNew}, {"late", postsLate},
                  {"duplicate", duplicatesDropped}});
    Write(out, "quorlan_connections_rejected_per_address_total", "counter",
          "Connections refused at the limit per address.", connectionsRejectedPerAddress);
    Write(out, "quorlan_alerts_unknown_line_total", "counter",
          "RequestPhone refused for a line not forwarded to the board lately.", alertsUnknownLine);
    WriteReasons(out, "quorlan_password_work_skipped_total", "Password checks and hashes not done, by reason.",
                 {{"limit", passwordWorkRefused}, {"closed", passwordWorkDropped}});
    Write(out, "quorlan_boards_refused_total", "counter", "SetBoard refused over the new-board limit.",
          boardsRefused);
    Write(out, "quorlan_ident_refused_total", "counter", "Identification numbers refused by a limit.", identRefused);
    Write(out, "quorlan_duplicates_dropped_total", "counter", "New post lines dropped as recently forwarded.",
          duplicatesDropped);
    Write(out, "quorlan_sms_relayed_total", "counter", "Text messages ordered from a relay client.", smsRelayed);
    Write(out, "quorlan_sms_refused_total", "counter", "RequestPhone answered with a refusal.", smsRefused);
    Write(out, "quorlan_logins_succeeded_total", "counter", "Successful logins.", loginsSucceeded);
    Write(out, "quorlan_logins_failed_total", "counter", "Refused logins.", loginsFailed);
    Write(out, "quorlan_accounts_created_total", "counter", "Accounts created.", accountsCreated);
    Write(out, "quorlan_notices_sent_total", "counter", "System notices queued to clients.", noticesSent);
    Write(out, "quorlan_bytes_in_total", "counter", "Bytes received from clients.", bytesIn);
    Write(out, "quorlan_bytes_out_total", "counter", "Bytes written to clients.", bytesOut);
    return out;
}

} // namespace quorlan::server
