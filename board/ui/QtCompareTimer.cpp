#include "board/ui/QtCompareTimer.h"

#include <QTimer>

namespace quorlan::board {

void QtCompareTimer::Start() { timer_.start(); }
void QtCompareTimer::Stop() { timer_.stop(); }
bool QtCompareTimer::IsActive() const { return timer_.isActive(); }

} // namespace quorlan::board
