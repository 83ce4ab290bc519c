#include "platform/FileHold.h"

#include <QFile>
#include <QList>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

FileIdentity FileIdentity::Of(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

namespace FileHold {

// /proc/locks, a lock a line:
//   "1: POSIX  ADVISORY  READ 15258 fe:00:10952836 128 128"
// (a blocked request has "->" after the number). The file is
// major:minor:inode, the device numbers in hex.
bool HoldsLock(const FileIdentity& file) {
    QFile locks("/proc/locks");
    if (!locks.open(QIODevice::ReadOnly)) return true;
    const QByteArray me = QByteArray::number(static_cast<qint64>(::getpid()));
    const QByteArray id = QByteArray::number(major(file.device), 16).rightJustified(2, '0') + ':' +
                          QByteArray::number(minor(file.device), 16).rightJustified(2, '0') + ':' +
                          QByteArray::number(file.inode);
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f.value(1) == "->") continue;
        if (f[4] == me && f[5] == id) return true;
    }
    return false;
}

namespace {
// Asks the system whether a write lock on the whole file would clash with
// a lock of another process. The descriptor is opened only in a program
// that holds no lock on the file itself (closing it gives up this
// process's locks on the file).
bool LockedByAnother(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    const bool held = ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return held;
}
}  // namespace

bool HeldByAnother(const QString& path) { return LockedByAnother(path) || LockedByAnother(path + "-shm"); }

}  // namespace FileHold
