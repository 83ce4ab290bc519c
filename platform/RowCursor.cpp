#include "platform/RowCursor.h"

#include "platform/AppError.h"
#include "platform/DBAccess.h"

#include <QLocale>
#include <sqlite3.h>

RowCursor::RowCursor(DBAccess& db, const QString& sql) {
    if (!db.IsFileDatabase()) {
        RecordsetPtr rs = db.OpenRecordset(sql);
        const int cols = rs->FieldCount();
        for (; !rs->Eof(); rs->MoveNext()) {
            std::vector<DbValue> row;
            row.reserve(cols);
            for (int i = 0; i < cols; ++i) row.push_back(rs->Fields(i).Value());
            whole_.push_back(std::move(row));
        }
        done_ = whole_.empty();
        return;
    }
    const QByteArray file = db.DatabaseFile().toUtf8();
    if (sqlite3_open_v2(file.constData(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) Fail(adErrConnection);
    sqlite3_busy_timeout(db_, 30000);
    // A long list reads far and wide through the book's tables: through a
    // map of the file rather than a read call and a heap copy for every
    // page. The map goes with the cursor.
    sqlite3_exec(db_, "PRAGMA mmap_size=1073741824", nullptr, nullptr, nullptr);
    const QByteArray q = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, q.constData(), static_cast<int>(q.size()), &st_, nullptr) != SQLITE_OK || !st_)
        Fail(adErrCommand);
    Step();
}

namespace {
// The book's change counter as one connection sees it: it moves whenever
// another connection (of this program or another) has committed since.
qint64 DataVersion(sqlite3* probe) {
    sqlite3_stmt* st = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(probe, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}
}  // namespace

std::vector<std::unique_ptr<RowCursor>> RowCursor::OpenAtOneMoment(DBAccess& db, const std::vector<QString>& sqls) {
    std::vector<std::unique_ptr<RowCursor>> cursors;
    if (!db.IsFileDatabase()) {
        // One connection: the statements are read one after the other, as the
        // server's rows are read whole.
        for (const QString& sql : sqls) cursors.push_back(std::make_unique<RowCursor>(db, sql));
        return cursors;
    }
    sqlite3* probe = nullptr;
    const QByteArray file = db.DatabaseFile().toUtf8();
    if (sqlite3_open_v2(file.constData(), &probe, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(probe);
        return cursors;
    }
    // Each cursor holds its read from its first row on: when nothing was
    // committed between the counter read before the first and after the
    // last, every cursor reads the same book.
    for (int attempt = 0; attempt < 3; ++attempt) {
        cursors.clear();
        const qint64 before = DataVersion(probe);
        for (const QString& sql : sqls) cursors.push_back(std::make_unique<RowCursor>(db, sql));
        if (before >= 0 && DataVersion(probe) == before) break;
        cursors.clear();
    }
    sqlite3_close(probe);
    return cursors;
}

RowCursor::~RowCursor() {
    sqlite3_finalize(st_);
    sqlite3_close(db_);
}

void RowCursor::Fail(long number) {
    const QString text = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
    sqlite3_finalize(st_);
    sqlite3_close(db_);
    st_ = nullptr;
    db_ = nullptr;
    done_ = true;
    throw AppError(number, text, "RowCursor");
}

void RowCursor::Step() {
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_DONE) done_ = true;
    else if (rc != SQLITE_ROW) Fail(adErrCommand);
}

bool RowCursor::Row::IsInteger(int column) const {
    if (st_) return sqlite3_column_type(st_, column) == SQLITE_INTEGER;
    return (*values_)[static_cast<size_t>(column)].IsInteger();
}

qint64 RowCursor::Row::Integer(int column) const {
    if (!st_) return (*values_)[static_cast<size_t>(column)].Integer();
    return sqlite3_column_type(st_, column) == SQLITE_INTEGER ? sqlite3_column_int64(st_, column) : 0;
}

DbValue RowCursor::Row::Value(int column) const {
    if (!st_) return (*values_)[static_cast<size_t>(column)];
    switch (sqlite3_column_type(st_, column)) {
    case SQLITE_NULL: return DbValue();
    case SQLITE_INTEGER: return DbValue(static_cast<qint64>(sqlite3_column_int64(st_, column)));
    case SQLITE_FLOAT:
        return DbValue(QString::number(sqlite3_column_double(st_, column), 'f', QLocale::FloatingPointShortest));
    default: break;
    }
    return DbValue(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st_, column)),
                                     sqlite3_column_bytes(st_, column)));
}

std::string_view RowCursor::Row::Utf8(int column) const {
    if (st_ && sqlite3_column_type(st_, column) == SQLITE_TEXT)
        return {reinterpret_cast<const char*>(sqlite3_column_text(st_, column)),
                static_cast<size_t>(sqlite3_column_bytes(st_, column))};
    if (scratch_.size() <= static_cast<size_t>(column)) scratch_.resize(static_cast<size_t>(column) + 1);
    std::string& s = scratch_[static_cast<size_t>(column)];
    s = Value(column).Text().toStdString();
    return s;
}

int RowCursor::Next(int max, const std::function<void(const Row&)>& take) {
    Row row;
    int n = 0;
    if (!st_) {
        for (; next_ < whole_.size() && n < max; ++n) {
            row.values_ = &whole_[next_];
            take(row);
            whole_[next_++] = {};
        }
        done_ = next_ >= whole_.size();
        if (done_) whole_ = {};
        return n;
    }
    row.st_ = st_;
    for (; !done_ && n < max; ++n) {
        take(row);
        Step();
    }
    return n;
}
