#include "shell/ui/SystemClock.h"

#include <QTime>
#include <chrono>

namespace quorlan::shell::ui {

std::uint32_t SystemClock::TickMs() const {
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms)); // keeps the low 32 bits: wraps at 2^32
}

std::string SystemClock::LongTimeNow() const {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString(); // ASCII: already cp949
}

} // namespace quorlan::shell::ui
