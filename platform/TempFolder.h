#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/WorkingFile.h"

namespace platform {

// The temporary folder, where the chart build keeps its working files: the environment variable
// TEMP when it is set and not empty (the user's choice, used as it is), otherwise a folder that
// only the user can enter, never the shared system folder itself:
//   1. "morrowlin" in $XDG_RUNTIME_DIR (an absolute path to a folder of the user's own, 0700);
//   2. "morrowlin-<uid>" in the system's temporary folder (the home folder when that is the root);
//   3. a fresh folder "morrowlin-<uid>-XXXXXX" made there with mkdtemp, kept for the rest of the
//      run and removed at its end when empty.
// 1 and 2 are made with mode 0700 when missing, and used only when they are real folders (not
// links) owned by the user that give no access to anybody else. Never the root of the file system.
QString temporaryFolder();

// What the choice of the temporary folder depends on.
struct TempEnvironment {
    QString temp;         // TEMP
    QString runtimeDir;   // XDG_RUNTIME_DIR
    QString systemTemp;   // the system's temporary folder (TMPDIR, else /tmp)
    QString home;         // the user's home folder
    uint user = 0;        // the user id the program runs under
    QString madeBefore;   // the fresh folder made earlier in this run, if any
    QStringList notMade;  // private folders that were missing and could not be made
};

// The temporary folder for `env`, with the file system seen through `statusOf`.
struct TempFolderChoice {
    enum How {
        AsSet,        // TEMP, as it is
        Private,      // a private folder that is there and passed the checks
        MakePrivate,  // a private folder that is missing: make it 0700, then choose again
        MakeFresh,    // every private folder was passed over: mkdtemp in `path`
    };
    How how = AsSet;
    QString path;
    QStringList passedOver;  // "<folder>: <why>" for every private folder not used
};
TempFolderChoice chooseTemporaryFolder(const TempEnvironment& env,
                                       const std::function<PathStatus(const QString&)>& statusOf);

// Why `folder` is no private folder of `user`'s: "it is a link", "it belongs to another account",
// "other accounts have access to it", ...; empty when it is one.
QString notPrivateFolderReason(const PathStatus& folder, uint user);

}  // namespace platform
