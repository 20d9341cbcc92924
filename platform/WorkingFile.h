#pragma once

#include <QString>

namespace platform {

// The program's working files in its temporary folder, made and removed so that no other
// account's file or link is ever written through, taken for one of the program's own, or deleted.
// A link is never followed at the end of a path; ownership is the user id the program runs under.

// What the file system holds under a name, seen without following a link at its end (lstat).
struct PathStatus {
    enum Kind { Missing, Folder, RegularFile, Link, Other };
    Kind kind = Missing;
    uint owner = 0;        // user id
    uint permissions = 0;  // permission bits with the sticky bit (mode & 07777)
};

// The status of `path`; Missing when nothing can be read there.
PathStatus pathStatus(const QString& path);

// The user id the program runs under: the owner of every file it makes.
uint currentUserId();

// Why `file`, in a folder of status `folder`, is not a file of `user`'s own that no other account
// could have written or put there: "it is a link", "it belongs to another account", ...; empty
// when it is one: a regular file owned by `user`, writable by neither group nor others, in a
// folder where nobody else can put another file in its place (one that others cannot write to,
// or that has the sticky bit).
QString notOwnFileReason(const PathStatus& file, const PathStatus& folder, uint user);

// Removes the file or link at `path` when it is the user's own; never what it points to, never
// another account's, never a folder. Returns true when nothing is left under the name.
bool removeOwnFile(const QString& path);

// Creates `path` as a new empty file that only the user can read and write (0600), exclusively:
// an existing name, a link included, is never opened. Returns false and fills `error` otherwise.
bool createPrivateFile(const QString& path, QString* error);

// Puts the file `from` (made by the program) in the place of `to` by a rename in one step.
// A `to` that is there is replaced only when it is a regular file owned by the user; a name
// taken by anything else (another account's file, a link, a folder) is left as it is and the
// move fails, `error` saying why. `from` stays where it is when the move fails.
bool moveIntoPlace(const QString& from, const QString& to, QString* error);

}  // namespace platform
