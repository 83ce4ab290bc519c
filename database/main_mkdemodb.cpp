// mkdemodb FILE [--force]: makes the demo database FILE (schema and demo
// rows) unless it exists; --force makes it anew.
#include "database/DemoData.h"
#include "database/Schema.h"
#include "platform/VbCompat.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool force = args.removeAll("--force") > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: mkdemodb FILE [--force]\n");
        return 2;
    }
    QString file = args[0];
    if (QFile::exists(file)) {
        if (!force) return 0;
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(file + suffix);
    }
    QString tmp = file + ".new";
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(tmp + suffix);
    {
        DBAccess db;
        if (!db.ConnectFile(tmp, true) || !Schema::Prepare(db) || !DemoData::Fill(db, Today())) {
            std::fprintf(stderr, "mkdemodb: %s\n", db.ErrorText().toUtf8().constData());
            db.Disconnect();
            for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(tmp + suffix);
            return 1;
        }
        db.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
        db.Disconnect();
    }
    for (const char* suffix : {"-wal", "-shm"}) QFile::remove(tmp + suffix);
    if (!QFile::rename(tmp, file)) {
        std::fprintf(stderr, "mkdemodb: cannot write %s\n", file.toUtf8().constData());
        return 1;
    }
    std::printf("demo database written: %s\n", file.toUtf8().constData());
    return 0;
}
