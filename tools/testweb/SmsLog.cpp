#include "tools/testweb/SmsLog.h"

#include "base/Cp949.h"

#include <nlohmann/json.hpp>

namespace quorlan::testweb {

void SmsLog::Record(std::string_view rawQuery, std::chrono::system_clock::time_point received) {
    SmsRequest request{EscapeUnprintable(rawQuery), ParseQuery(rawQuery), received};
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
}

std::vector<SmsRequest> SmsLog::Snapshot() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t SmsLog::Clear() {
    std::lock_guard lock(mutex_);
    const std::size_t n = requests_.size();
    requests_.clear();
    return n;
}

std::string SmsLog::ToJson(const std::vector<SmsRequest>& requests) {
    nlohmann::json list = nlohmann::json::array();
    for (const SmsRequest& request : requests) {
        nlohmann::json item;
        item["query"] = request.rawQuery;
        item["received_ms"] =
            std::chrono::duration_cast<std::chrono::milliseconds>(request.received.time_since_epoch()).count();
        for (const char* key : {"userid", "passwd", "sender", "receiver", "encode", "message"}) {
            const auto value = FindParam(request.params, key);
            item[key] = value ? nlohmann::json(base::Utf8FromCp949(*value)) : nlohmann::json(nullptr);
        }
        list.push_back(std::move(item));
    }
    // The conversion replaces what cp949 cannot hold, so the text is valid UTF-8;
    // replacing on dump keeps a broken byte from ever throwing here.
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace quorlan::testweb
