// movebook FILE FOLDER/DB.udl [--replace]: moves the book kept in the SQLite
// file FILE into the database the data-link file names (a PostgreSQL
// server): every table, every row, exactly, in one transaction there, and
// checks that the row counts and the balance tables agree afterwards. A
// database that holds vouchers already is left alone unless --replace.
// The file itself stays as it was.
#include "database/BookMove.h"

#include "platform/DBAccess.h"

#include <QCoreApplication>
#include <cstdio>

namespace {
int fail(const QString& text) {
    std::fprintf(stderr, "movebook: %s\n", text.toUtf8().constData());
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool replace = args.removeAll("--replace") > 0;
    if (args.size() != 2 || !args[1].endsWith(".udl", Qt::CaseInsensitive)) {
        std::fprintf(stderr, "usage: movebook FILE FOLDER/DB.udl [--replace]\n");
        return 2;
    }
    DBAccess source, target;
    // An empty or missing file is no book: it is not made into one.
    source.SetEmptyFileAllowed(false);
    if (!source.ConnectFile(args[0], false)) return fail(source.ErrorText());
    target.SetDataLinkFile(args[1]);
    if (!target.Connect()) return fail(target.ErrorText());
    QString error;
    qint64 rows = 0;
    if (!BookMove::Move(source, target, replace, &error, &rows)) return fail(error + "\n移行先は変更されていません。");
    std::printf("movebook: %s を %s へ移しました (%lld 行)。行数と残高は一致しています。\n",
                source.DatabaseFile().toUtf8().constData(), target.DatabaseFile().toUtf8().constData(),
                static_cast<long long>(rows));
    return 0;
}
