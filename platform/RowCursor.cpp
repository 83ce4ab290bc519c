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

std::vector<std::vector<DbValue>> RowCursor::Next(int max) {
    std::vector<std::vector<DbValue>> rows;
    if (!st_) {
        while (next_ < whole_.size() && static_cast<int>(rows.size()) < max) rows.push_back(std::move(whole_[next_++]));
        done_ = next_ >= whole_.size();
        return rows;
    }
    const int cols = st_ ? sqlite3_column_count(st_) : 0;
    while (!done_ && static_cast<int>(rows.size()) < max) {
        std::vector<DbValue> row;
        row.reserve(cols);
        for (int i = 0; i < cols; ++i) {
            switch (sqlite3_column_type(st_, i)) {
            case SQLITE_NULL: row.emplace_back(); break;
            case SQLITE_INTEGER: row.emplace_back(static_cast<qint64>(sqlite3_column_int64(st_, i))); break;
            case SQLITE_FLOAT:
                row.emplace_back(QString::number(sqlite3_column_double(st_, i), 'f', QLocale::FloatingPointShortest));
                break;
            default:
                row.emplace_back(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st_, i)),
                                                   sqlite3_column_bytes(st_, i)));
                break;
            }
        }
        rows.push_back(std::move(row));
        Step();
    }
    return rows;
}
