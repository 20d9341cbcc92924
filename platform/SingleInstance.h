#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace platform {

// One copy of a program per user, as single-instance desktop programs keep it: the first copy
// listens on a local socket whose name holds the program's and the user's; a later start
// reaches it there, asks it to bring its window to the front, and is told to end. Only the user
// can connect. A socket file nobody listens on (left by a copy that was killed) is taken over.
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // `program` names the socket ("Morrowlin"); the user's id and, where the desktop has one,
    // the user's runtime folder make it the user's own. `scope` (the folder of the settings the
    // copies share) tells apart copies that could not overwrite each other's files: a user's
    // copies share one, a test's copy with a folder of its own runs beside them.
    SingleInstance(const QString& program, const QString& scope, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when a copy already runs: it has been asked to come to the front, and this copy
    // should end. False when this copy is the first: it now listens, and activationRequested()
    // tells of later starts. Also false when the socket cannot be made (the program then runs
    // as if alone).
    bool anotherCopyRuns();

    // The socket's full name.
    QString serverName() const { return name_; }

  signals:
    // A later start asked this copy to bring its window to the front.
    void activationRequested();

  private:
    bool askRunningCopy();
    void answer();

    QString name_;
    QLocalServer* server_ = nullptr;
};

}  // namespace platform
