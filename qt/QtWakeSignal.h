#pragma once
#include "base/IWakeSignal.h"

#include <QDateTime>
#include <QNetworkInformation>
#include <QObject>
#include <QTimer>

namespace quorlan::qt {

// The wake signal from Qt's network information (where the platform has a
// backend for it): reachability rising from a known lower level. A resume
// that the network information does not report shows as a lapse of the wall
// clock between two ticks of a coarse timer, which does not tick while the
// machine sleeps.
class QtWakeSignal : public QObject, public base::IWakeSignal {
public:
    static constexpr int kLapseCheckMs = 10000;
    // A gap this much longer than the check interval counts as a sleep.
    static constexpr qint64 kLapseMs = 20000;

    QtWakeSignal();
    void SetWake(std::function<void()> wake) override { wake_ = std::move(wake); }

private:
    void ReachabilityChanged(QNetworkInformation::Reachability reachability);
    void CheckLapse();
    void Raise();

    std::function<void()> wake_;
    QNetworkInformation::Reachability reachability_ = QNetworkInformation::Reachability::Unknown;
    QTimer lapseTimer_;
    qint64 lastCheckMs_ = QDateTime::currentMSecsSinceEpoch();
};

} // namespace quorlan::qt
