#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the event loop. The handler only writes one
// byte into a pipe of its own; the event loop reads it and emits requested(), where the program
// does its closing work. One instance at a time; the destructor puts the default handling back.
// Where there are no such signals (Windows) it never emits.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    // A termination signal arrived (several arriving together give one emission each batch).
    void requested();

  private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform
