#include "qt/QtWakeSignal.h"

namespace quorlan::qt {

QtWakeSignal::QtWakeSignal() {
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QNetworkInformation* info = QNetworkInformation::instance();
        reachability_ = info->reachability();
        connect(info, &QNetworkInformation::reachabilityChanged, this, &QtWakeSignal::ReachabilityChanged);
    }
    lapseTimer_.setTimerType(Qt::VeryCoarseTimer);
    lapseTimer_.setInterval(kLapseCheckMs);
    connect(&lapseTimer_, &QTimer::timeout, this, &QtWakeSignal::CheckLapse);
    lapseTimer_.start();
}

void QtWakeSignal::ReachabilityChanged(QNetworkInformation::Reachability reachability) {
    using R = QNetworkInformation::Reachability;
    // A backend that is only just finding its feet goes up from Unknown: no wake.
    const bool rose = reachability_ != R::Unknown && reachability > reachability_ && reachability >= R::Local;
    reachability_ = reachability;
    if (rose) Raise();
}

void QtWakeSignal::CheckLapse() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 gap = now - lastCheckMs_;
    lastCheckMs_ = now;
    if (gap > kLapseCheckMs + kLapseMs) Raise();
}

void QtWakeSignal::Raise() {
    if (wake_) wake_();
}

} // namespace quorlan::qt
