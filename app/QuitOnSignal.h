#pragma once
#include <QObject>

class QSocketNotifier;

namespace quorlan::app {

// Ends the event loop on SIGINT or SIGTERM, so that a client stopped from a
// terminal or by a service manager still closes its windows in order and
// saves its settings, as when the main window is closed. The handler only
// writes to a pipe; the loop picks it up (nothing else is safe in a handler).
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quorlan::app
