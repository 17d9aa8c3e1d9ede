#include "shell/FindRecorder.h"

#include <ctime>

namespace quorlan::shell {
namespace {

std::string LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = {};
    if (!localtime_r(&now, &local) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return {};
    return text;
}

} // namespace

FindRecorder::FindRecorder(const client::ClientState& state, FindHistory& history, base::IAlertSound& sound, Now now)
    : state_(state), history_(history), sound_(sound), now_(now ? std::move(now) : Now(LocalTimeNow)) {}

void FindRecorder::Found(const std::string& line, const std::string& condition) {
    if (state_.FSound) sound_.Play();
    history_.Add({now_(), state_.FBoardURL, line, condition});
}

} // namespace quorlan::shell
