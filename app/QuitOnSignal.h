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

    // A signal came before the loop ran (during the start-up download, whose
    // own loop runs the notifier): quit() was lost, the loop must not start.
    bool Requested() const { return requested_; }

private:
    QSocketNotifier* notifier_ = nullptr;
    bool requested_ = false;
};

} // namespace quorlan::app
