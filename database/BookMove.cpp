#include "database/BookMove.h"

#include "database/Schema.h"

#include <QRegularExpression>
#include <map>

namespace BookMove {

namespace {

// Rows sent in one INSERT: few round trips, statements of modest size.
constexpr int kBatchRows = 200;
// The balance tables: compared row by row after the copy.
const char* const kBalanceTables[] = {"KMZMF", "H1ZMF", "H2ZMF"};

// A failed step; its text is what the administrator reads.
struct Refused {
    QString text;
};

void run(DBAccess& db, const QString& sql) {
    if (!db.Execute(sql)) throw AppError(db.ErrorNumber(), db.ErrorText());
}

qint64 number(DBAccess& db, const QString& sql) {
    RecordsetPtr rs = db.OpenRecordset(sql);
    return rs->Eof() ? 0 : rs->Fields(0).Value().Text().toLongLong();
}

// A value as a literal of the statement: whole numbers as such, everything
// else (texts, decimals) as its exact text, which the column takes as its
// own type.
QString literal(DBAccess& db, const DbValue& v) {
    if (v.IsNull()) return "NULL";
    if (v.IsInteger()) return QString::number(v.Integer());
    return db.SqlText(v.Text());
}

QString rowText(const std::vector<DbValue>& row) {
    QStringList parts;
    for (const DbValue& v : row) parts << (v.IsNull() ? QString("NULL") : v.Text());
    return "(" + parts.join(", ") + ")";
}

// Every row of a table in the order of all its columns.
std::vector<std::vector<DbValue>> orderedRows(DBAccess& db, const QString& table, int columns) {
    QStringList order;
    for (int i = 1; i <= columns; ++i) order << QString::number(i);
    std::vector<std::vector<DbValue>> rows;
    RecordsetPtr rs = db.OpenRecordset("SELECT * FROM " + table + " ORDER BY " + order.join(", "));
    for (; !rs->Eof(); rs->MoveNext()) {
        std::vector<DbValue> row;
        for (int i = 0; i < rs->FieldCount(); ++i) row.push_back(rs->Fields(i).Value());
        rows.push_back(std::move(row));
    }
    return rows;
}

// A book made by a newer version of the programs is refused.
void checkVersion(DBAccess& db, const QString& which) {
    const qint64 found = number(db, "SELECT MAX(SCH_VERSION) FROM SCHEMA_INFO");
    if (found > Schema::Version)
        throw Refused{which + " " + db.DatabaseFile() + " は新しい版のプログラムで作成されています。(版 " +
                      QString::number(found) + ")"};
}

// The rows of `table` in the source, written to the target; the columns'
// count.
int copyTable(DBAccess& source, DBAccess& target, const QString& table, qint64* copied) {
    RecordsetPtr rs = source.OpenRecordset("SELECT * FROM " + table);
    QStringList columns;
    for (int i = 0; i < rs->FieldCount(); ++i) columns << rs->Fields(i).Name();
    const QString head = "INSERT INTO " + table + " (" + columns.join(", ") + ") VALUES\n";
    QStringList batch;
    auto flush = [&] {
        if (batch.isEmpty()) return;
        run(target, head + batch.join(",\n"));
        batch.clear();
    };
    for (; !rs->Eof(); rs->MoveNext()) {
        QStringList values;
        for (int i = 0; i < columns.size(); ++i) values << literal(target, rs->Fields(i).Value());
        batch << "(" + values.join(", ") + ")";
        ++*copied;
        if (batch.size() >= kBatchRows) flush();
    }
    flush();
    return columns.size();
}

// The same row counts in every table, the same rows in the balance tables;
// the first disagreement is thrown.
void verify(DBAccess& source, DBAccess& target, const QStringList& tables, const std::map<QString, int>& columns) {
    QStringList counts;
    for (const QString& t : tables) counts << "(SELECT COUNT(*) FROM " + t + ")";
    const QString sql = "SELECT " + counts.join(", ");
    RecordsetPtr a = source.OpenRecordset(sql), b = target.OpenRecordset(sql);
    for (int i = 0; i < tables.size(); ++i) {
        const qint64 from = a->Fields(i).Value().Text().toLongLong(), to = b->Fields(i).Value().Text().toLongLong();
        if (from != to)
            throw Refused{"表 " + tables[i] + " の行数が一致しません (移行元 " + QString::number(from) + " 行、移行先 " +
                          QString::number(to) + " 行)。"};
    }
    for (const char* balance : kBalanceTables) {
        const QString t = QString::fromLatin1(balance);
        const auto from = orderedRows(source, t, columns.at(t)), to = orderedRows(target, t, columns.at(t));
        for (size_t i = 0; i < from.size() && i < to.size(); ++i)
            if (from[i] != to[i])
                throw Refused{"表 " + t + " の行が一致しません: 移行元 " + rowText(from[i]) + "、移行先 " +
                              rowText(to[i]) + "。"};
    }
}

}  // namespace

QStringList Tables() {
    static const QRegularExpression create("CREATE TABLE\\s+([A-Za-z_][A-Za-z0-9_]*)");
    QStringList tables;
    for (auto it = create.globalMatch(Schema::CreateStatements()); it.hasNext();) tables << it.next().captured(1);
    return tables;
}

bool Move(DBAccess& source, DBAccess& target, bool replace, QString* error, qint64* rows) {
    qint64 copied = 0;
    try {
        const QStringList tables = Tables();
        const QStringList sourceTables = source.TableNames();
        for (const QString& t : tables)
            if (!sourceTables.contains(t, Qt::CaseInsensitive))
                throw Refused{"移行元 " + source.DatabaseFile() + " には表 " + t + " がありません。"};
        checkVersion(source, "移行元");
        DBTransaction reading(source);
        DBTransaction writing(target);
        // The first statement takes the target's writers' lock: nobody saves
        // there until the commit.
        number(target, "SELECT 1");
        if (target.TableNames().isEmpty()) {
            run(target, Schema::CreateStatements());
        } else {
            checkVersion(target, "移行先");
            const qint64 vouchers = number(target, "SELECT COUNT(*) FROM DNHDT");
            if (vouchers > 0 && !replace)
                throw Refused{"移行先 " + target.DatabaseFile() + " には既に伝票が " + QString::number(vouchers) +
                              " 件あります。置き換えるときは --replace を付けて実行して下さい。"};
        }
        QStringList clear;
        for (const QString& t : tables) clear << "DELETE FROM " + t;
        run(target, clear.join(";\n"));
        std::map<QString, int> columns;
        for (const QString& t : tables) columns[t] = copyTable(source, target, t, &copied);
        verify(source, target, tables, columns);
        writing.Commit();
        reading.Rollback();
        // A server plans its statements from statistics of the tables, and
        // after a bulk copy has none until its own vacuum comes round: the
        // voucher list would read whole tables meanwhile. A failure here
        // leaves the book moved.
        if (!target.IsFileDatabase()) target.Execute("ANALYZE");
    } catch (const Refused& r) {
        *error = r.text;
        return false;
    } catch (const AppError& e) {
        *error = e.Description;
        return false;
    }
    if (rows) *rows = copied;
    return true;
}

}  // namespace BookMove
