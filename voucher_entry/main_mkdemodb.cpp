// mkdemodb FILE [--force]: makes the demo database FILE (schema, masters
// and a month or two of vouchers) unless it exists; --force makes it anew,
// unless a program has it open.
// The vouchers are entered through the voucher entry window, unseen.
#include "common/basStdComm.h"
#include "database/DemoData.h"
#include "database/Schema.h"
#include "platform/AppInfo.h"
#include "platform/FileHold.h"
#include "platform/VbCompat.h"
#include "voucher_entry/DemoVouchers.h"

#include <QApplication>
#include <QFile>
#include <cstdio>

using namespace basStdComm;

namespace {
void removeDb(const QString& file) {
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(file + suffix);
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
        std::fprintf(stderr, "usage: mkdemodb FILE [--force]\n");
        return 2;
    }
    const QString file = args[0];
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
    bool ok = gobjDB->ConnectFile(tmp, true) && Schema::Prepare(*gobjDB) && DemoData::Fill(*gobjDB, Today());
    if (!ok) error = gobjDB->ErrorText();
    if (ok) {
        glngUserId = 1;
        glngSskCd = 1;
        glngGrpCd = 1;
        glngUserType = 3;
        ok = DemoVouchers::Enter(Today(), &error);
    }
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
