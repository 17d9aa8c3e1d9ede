#pragma once
#include "base/ITimer.h"

#include <QTimer>
#include <functional>

namespace quorlan::qt {

// A window timer: a QTimer whose tick calls one handler on the UI thread.
// Created stopped; single-shot timers stop themselves after one tick.
class QtTimer : public base::ITimer {
public:
    QtTimer(int intervalMs, bool singleShot, std::function<void()> onTimeout);

    void Start() override { timer_.start(); }
    void Stop() override { timer_.stop(); }
    // Starts afresh with another interval.
    void Restart(int intervalMs) { timer_.start(intervalMs); }
    bool IsActive() const override { return timer_.isActive(); }

    int IntervalMs() const { return timer_.interval(); }
    bool SingleShot() const { return timer_.isSingleShot(); }

private:
    QTimer timer_;
    std::function<void()> onTimeout_;
};

} // namespace quorlan::qt
