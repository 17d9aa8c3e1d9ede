#include "qt/QtTimer.h"

namespace quorlan::qt {

QtTimer::QtTimer(int intervalMs, bool singleShot, std::function<void()> onTimeout) : onTimeout_(std::move(onTimeout)) {
    timer_.setInterval(intervalMs);
    timer_.setSingleShot(singleShot);
    // Window timers keep their nominal period; a coarse timer could stretch a
    // 10 ms framing tick.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (onTimeout_) onTimeout_();
    });
}

} // namespace quorlan::qt
