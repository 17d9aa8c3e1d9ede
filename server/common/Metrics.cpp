#include "Metrics.h"

#include "base/Cp949.h"

#include <cstdio>
#include <initializer_list>

namespace quorlan::server {
namespace {

// The name of the series that collects the hosts past the limit.
constexpr const char* kOtherHosts = "(other)";

void Header(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// A label value: board addresses are cp949 bytes from clients; the page is
// UTF-8 with backslash, quote and line feed escaped.
std::string LabelValue(const std::string& cp949) {
    std::string out;
    for (char c : base::Utf8FromCp949(cp949)) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void Labelled(std::string& out, const char* name, const char* label, const std::string& value,
              const std::string& number) {
    out += name;
    out += '{';
    out += label;
    out += "=\"";
    out += LabelValue(value);
    out += "\"} ";
    out += number;
    out += '\n';
}

template <typename T>
void Write(std::string& out, const char* name, const char* type, const char* help, const std::atomic<T>& value) {
    Header(out, name, type, help);
    out += name;
    out += ' ';
    out += std::to_string(value.load(std::memory_order_relaxed));
    out += '\n';
}

struct Reason {
    const char* label;
    const std::atomic<std::uint64_t>& value;
};

// One counter family with a `reason` label.
void WriteReasons(std::string& out, const char* name, const char* help, std::initializer_list<Reason> values) {
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
    Write(out, "quorlan_lines_replayed_total", "counter",
          "Post lines sent to an account on its return, missed while it was away.", linesReplayed);

    std::lock_guard lock(labelledMutex_);
    Header(out, "quorlan_board_check_interval_seconds", "gauge",
           "How often the board is checked now, from its clients' budgets and the floor.");
    for (const auto& [url, figures] : boardFigures_) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(figures.intervalMs) / 1000.0);
        Labelled(out, "quorlan_board_check_interval_seconds", "board", url, seconds);
    }
    Header(out, "quorlan_board_monitoring_clients", "gauge", "Clients monitoring the board.");
    for (const auto& [url, figures] : boardFigures_)
        Labelled(out, "quorlan_board_monitoring_clients", "board", url, std::to_string(figures.checkers));
    Header(out, "quorlan_host_checks_total", "counter", "CheckList turns given for the boards of a host.");
    for (const auto& [host, count] : hostChecks_)
        Labelled(out, "quorlan_host_checks_total", "host", host, std::to_string(count));
    return out;
}

void Metrics::SetBoardFigures(const std::string& url, std::int64_t intervalMs, std::size_t checkers) {
    std::lock_guard lock(labelledMutex_);
    boardFigures_[url] = BoardFigures{intervalMs, checkers};
}

void Metrics::ForgetBoard(const std::string& url) {
    std::lock_guard lock(labelledMutex_);
    boardFigures_.erase(url);
}

void Metrics::CountHostCheck(const std::string& host) {
    std::lock_guard lock(labelledMutex_);
    auto it = hostChecks_.find(host);
    if (it == hostChecks_.end())
        it = hostChecks_.try_emplace(hostChecks_.size() >= kMaxHostSeries ? std::string(kOtherHosts) : host, 0).first;
    ++it->second;
}

} // namespace quorlan::server
