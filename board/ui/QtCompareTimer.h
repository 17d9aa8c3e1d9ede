#pragma once
#include "net/ITimer.h"

class QTimer;

namespace quorlan::board {

// net::ITimer over a QTimer the window owns (TimerCompare).
class QtCompareTimer : public net::ITimer {
public:
    explicit QtCompareTimer(QTimer& timer) : timer_(timer) {}
    void Start() override;
    void Stop() override;
    bool IsActive() const override;

private:
    QTimer& timer_;
};

} // namespace quorlan::board
