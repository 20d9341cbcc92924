#pragma once

#include <QObject>
#include <QString>
#include <sys/types.h>

class QSocketNotifier;

namespace platform {

// One copy of a program per user, as single-instance desktop programs keep it: the first copy
// listens on a Unix socket whose name holds the program's and the user's; a later start
// reaches it there, asks it to bring its window to the front, and is told to end. Only the user
// can connect, and a socket file another user made is never trusted. A socket file nobody
// listens on (left by a copy that was killed) is taken over.
//
// Plain POSIX sockets watched by the event loop: the check runs before the first window, and
// the toolkit's network module would cost every start its load time.
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // `program` names the socket ("Morrowlin"); the user's id and, where the desktop has one,
    // the user's runtime folder make it the user's own. `scope` (the folder of the settings the
    // copies share) tells apart copies that could not overwrite each other's files: a user's
    // copies share one, a test's copy with a folder of its own runs beside them.
    SingleInstance(const QString& program, const QString& scope, QObject* parent = nullptr);
    // Stops listening and removes the socket file this copy made.
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
    bool askRunningCopy() const;
    bool listen();
    void accept();

    QString name_;
    int listener_ = -1;
    QSocketNotifier* listening_ = nullptr;  // watches listener_
    dev_t device_ = 0;  // the socket file this copy made, to remove that one only
    ino_t inode_ = 0;
};

}  // namespace platform
