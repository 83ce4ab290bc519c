// mkdemodb FILE [--force]: makes the demo database FILE (schema, masters
// and a month or two of vouchers) unless it exists; --force makes it anew,
// unless a program has it open.
// mkdemodb FOLDER/DB.udl [--force]: the same in the database a data-link
// file names (on a PostgreSQL server): unless it holds the tables already;
// --force replaces the book there (all or nothing).
// The vouchers are entered through the voucher entry window, unseen.
#include "common/basStdComm.h"
#include "database/BookMove.h"
#include "database/DemoData.h"
#include "database/Schema.h"
#include "platform/AppInfo.h"
#include "platform/FileHold.h"
#include "platform/VbCompat.h"
#include "voucher_entry/DemoVouchers.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace basStdComm;

namespace {
void removeDb(const QString& file) {
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(file + suffix);
}

bool fill(QString* error) {
    bool ok = Schema::Prepare(*gobjDB) && DemoData::Fill(*gobjDB, Today());
    if (!ok) *error = gobjDB->ErrorText();
    if (ok) {
        glngUserId = 1;
        glngSskCd = 1;
        glngGrpCd = 1;
        glngUserType = 3;
        ok = DemoVouchers::Enter(Today(), error);
    }
    return ok;
}

// The book is made as in a file (see main()): in a file of its own first,
// then moved into the server's database in one transaction, so that a
// failure halfway leaves that database as it was.
int makeOnServer(const QString& link, bool force) {
    DBAccess server;
    server.SetDataLinkFile(link);
    QString error;
    bool ok = server.Connect();
    if (!ok) error = server.ErrorText();
    try {
        if (ok && !force && !server.TableNames().isEmpty()) return 0;
    } catch (const AppError& e) {
        ok = false;
        error = e.Description;
    }
    if (ok) {
        QTemporaryDir dir;
        ok = dir.isValid() && gobjDB->ConnectFile(dir.path() + "/demo.db", true);
        if (!ok) error = dir.isValid() ? gobjDB->ErrorText() : "cannot make a temporary folder";
        ok = ok && fill(&error) && BookMove::Move(*gobjDB, server, true, &error);
        gobjDB->Disconnect();
    }
    server.Disconnect();
    if (!ok) {
        std::fprintf(stderr, "mkdemodb: %s\n", error.toUtf8().constData());
        return 1;
    }
    std::printf("demo database written: %s\n", link.toUtf8().constData());
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppInfo::SetTitle("mkdemodb");
    AppInfo::InitApplication();
    QStringList args = app.arguments().mid(1);
    bool force = args.removeAll("--force") > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: mkdemodb FILE|FOLDER/DB.udl [--force]\n");
        return 2;
    }
    const QString file = args[0];
    if (file.endsWith(".udl", Qt::CaseInsensitive)) return makeOnServer(file, force);
    if (QFile::exists(file)) {
        if (!force) return 0;
        // A program with the book open would go on writing into the file
        // taken away from under it.
        if (FileHold::HeldByAnother(file)) {
            std::fprintf(stderr, "mkdemodb: %s is open in another program; close the programs first\n",
                         file.toUtf8().constData());
            return 1;
        }
        removeDb(file);
    }
    const QString tmp = file + ".new";
    removeDb(tmp);
    QString error;
    bool ok = gobjDB->ConnectFile(tmp, true);
    if (!ok) error = gobjDB->ErrorText();
    ok = ok && fill(&error);
    if (ok) gobjDB->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    gobjDB->Disconnect();
    if (!ok) {
        std::fprintf(stderr, "mkdemodb: %s\n", error.toUtf8().constData());
        removeDb(tmp);
        return 1;
    }
    removeDb(tmp + "-wal");
    QFile::remove(tmp + "-shm");
    if (!QFile::rename(tmp, file)) {
        std::fprintf(stderr, "mkdemodb: cannot write %s\n", file.toUtf8().constData());
        return 1;
    }
    std::printf("demo database written: %s\n", file.toUtf8().constData());
    return 0;
}
