// FileHold: what this program, and others, hold of a file on disk.
//
// Locks on a file (those SQLite takes to share a database between programs)
// belong to the process and the file: closing any descriptor of the file in
// the program gives them all up, and another program ending may then take
// the database's write-ahead log away from under a connection that still
// writes into it. These few calls let the data access layer see that before
// it writes, and let a tool see that another program has a file open.
//
// What callers rely on:
//  - FileIdentity::Of(path) names the file the path names now (device and
//    inode); an empty identity when there is none. Two identities are equal
//    only for the same file: a file replaced under the same name (renamed
//    over, removed and written anew) is another one.
//  - HoldsLock(id) is true while this process holds any lock on that file;
//    also true when the system does not say (no /proc/locks), so that
//    nothing is refused for want of a look.
//  - HeldByAnother(path) is true when another process holds a lock on the
//    file or on its "-shm" companion (a program with the database open).
#pragma once
#include <QString>
#include <QtGlobal>

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool IsEmpty() const { return inode == 0 && device == 0; }
    bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
    static FileIdentity Of(const QString& path);
};

namespace FileHold {
bool HoldsLock(const FileIdentity& file);
bool HeldByAnother(const QString& path);
}  // namespace FileHold
