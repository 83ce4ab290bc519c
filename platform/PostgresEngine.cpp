#include "platform/PostgresEngine.h"

#include "platform/DBAccess.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QThread>
#include <QRegularExpression>
#include <libpq-fe.h>
#include <algorithm>
#include <memory>

namespace {

// Type numbers of the server's built-in types.
enum : Oid { kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700 };

struct ResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// An exact decimal as the programs read it: without trailing zeros of the
// fraction, a whole number as such.
DbValue NumericValue(const char* text, int length) {
    QString t = QString::fromLatin1(text, length);
    if (t.contains('.')) {
        while (t.endsWith('0')) t.chop(1);
        if (t.endsWith('.')) t.chop(1);
    }
    bool whole = false;
    const qint64 n = t.toLongLong(&whole);
    return whole ? DbValue(n) : DbValue(t);
}

DbValue ValueOf(const PGresult* r, int row, int col) {
    if (PQgetisnull(r, row, col)) return DbValue();
    const char* v = PQgetvalue(r, row, col);
    const int n = PQgetlength(r, row, col);
    switch (PQftype(r, col)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return DbValue(QByteArray::fromRawData(v, n).toLongLong());
    case kBool:
        return DbValue(static_cast<qint64>(v[0] == 't' ? 1 : 0));
    case kNumeric:
        return NumericValue(v, n);
    case kFloat4:
    case kFloat8:
        return DbValue(QString::number(QByteArray::fromRawData(v, n).toDouble(), 'f', QLocale::FloatingPointShortest));
    default:
        return DbValue(QString::fromUtf8(v, n));
    }
}

const char* kBusyText = "データベースが他のプログラムによって使用中です。しばらく待ってから再度実行して下さい。(";

}  // namespace

bool PostgresEngine::Open(const PostgresTarget& t, bool emptyAllowed, bool* emptyRefused) {
    Close();
    failure_ = {};
    *emptyRefused = false;
    name_ = t.host + (t.port.isEmpty() ? QString() : ":" + t.port) + "/" + t.database;
    std::vector<std::pair<const char*, QByteArray>> params = {
        {"host", t.host.toUtf8()},          {"port", t.port.toUtf8()},
        {"dbname", t.database.toUtf8()},    {"user", t.user.toUtf8()},
        {"password", t.password.toUtf8()},  {"connect_timeout", QByteArray::number(kConnectTimeoutSeconds)},
        {"client_encoding", "UTF8"},        {"application_name", "tavik"}};
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : params) {
        // Without a password the password file and the environment apply.
        if (value.isEmpty() && !(qstrcmp(key, "password") == 0 && t.hasPassword)) continue;
        keys.push_back(key);
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
    auto refuse = [&](const QString& text, const QString& reason) {
        failure_ = DbFailure{adErrConnection, text, 0, reason};
        if (conn_) PQfinish(conn_);
        conn_ = nullptr;
        return false;
    };
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        const QString reason = conn_ ? QString::fromUtf8(PQerrorMessage(conn_)).trimmed() : QString("out of memory");
        const QString where = "サーバー " + t.host + (t.port.isEmpty() ? QString() : ":" + t.port) + " のデータベース " +
                              t.database;
        QString text;
        if (conn_ && (PQconnectionNeedsPassword(conn_) || reason.contains("authentication", Qt::CaseInsensitive) ||
                      reason.contains("password", Qt::CaseInsensitive) || reason.contains("no pg_hba.conf entry")))
            text = where + " への接続が拒否されました (利用者名またはパスワードが違います)。";
        else if (reason.contains("database \"" + t.database + "\" does not exist"))
            text = where + " がありません。";
        else
            text = where + " に接続できません (サーバーが停止しているか、ネットワークに接続されていません)。";
        return refuse(text + "\n(" + reason + ")", reason);
    }
    // The server's notices (an index there already, ...) are not shown.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    QStringList tables;
    if (!TableNames(&tables)) return refuse(failure_.text, failure_.driverText);
    if (!tables.isEmpty() && !tables.contains(kSignatureTable, Qt::CaseInsensitive))
        return refuse("このシステムのデータベースではありません (他のアプリケーションのデータベースです): " + name_,
                      QString());
    if (tables.isEmpty() && !emptyAllowed) {
        *emptyRefused = true;
        return refuse("データベースが空です: " + name_, QString());
    }
    return true;
}

void PostgresEngine::Close() {
    if (!conn_) return;
    if (InTransaction()) rollback();
    PQfinish(conn_);
    conn_ = nullptr;
}

void PostgresEngine::rollback() {
    ++roundTrips_;
    PQclear(PQexec(conn_, "ROLLBACK"));
}

bool PostgresEngine::InTransaction() const {
    if (!conn_) return false;
    const PGTransactionStatusType s = PQtransactionStatus(conn_);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

bool PostgresEngine::Run(const QString& sql, DbRows* rows, QStringList* names) {
    // A write outside a transaction waits for the writers' lock as a
    // transaction does (on SQLite it takes the write lock as well).
    static const QRegularExpression write("^\\s*(INSERT|UPDATE|DELETE)\\b", QRegularExpression::CaseInsensitiveOption);
    bool alone = !rows && !InTransaction() && write.match(sql).hasMatch();
    if (alone && lockWait_ && *lockWait_) {
        // The wait told as it goes: the lock first, then the write and its
        // commit.
        if (!BeginWrite()) return false;
        if (Run(sql + ";\nCOMMIT", nullptr, nullptr)) return true;
        if (InTransaction()) PQclear(PQexec(conn_, "ROLLBACK"));
        return false;
    }
    ++sent_;
    const QByteArray q = alone ? (beginText() + "; " + sql + ";\nCOMMIT").toUtf8() : sql.toUtf8();
    ++roundTrips_;
    Result r(PQexec(conn_, q.constData()));
    if (alone && InTransaction()) rollback();
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_TUPLES_OK) {
        if (rows) {
            const int n = PQntuples(r.get()), cols = PQnfields(r.get());
            rows->clear();
            names->clear();
            rows->reserve(n);
            for (int c = 0; c < cols; ++c) names->append(QString::fromUtf8(PQfname(r.get(), c)));
            for (int i = 0; i < n; ++i) {
                std::vector<DbValue> row;
                row.reserve(cols);
                for (int c = 0; c < cols; ++c) row.push_back(ValueOf(r.get(), i, c));
                rows->push_back(std::move(row));
            }
        }
        return true;
    }
    if (status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY) {
        // A commit of a transaction a failed statement spoiled rolls back.
        if (qstrcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0 && sql.trimmed().startsWith("COMMIT", Qt::CaseInsensitive)) {
            const QString text = "トランザクションは取り消されました。";
            failure_ = DbFailure{adErrCommand, text, 0, text};
            return false;
        }
        return true;
    }
    return mapError(r.get());
}

// The error, by its SQLSTATE.
bool PostgresEngine::mapError(const PGresult* r) {
    const QString state = r ? QString::fromLatin1(PQresultErrorField(r, PG_DIAG_SQLSTATE)) : QString();
    QString msg = QString::fromUtf8(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_)).trimmed();
    if (msg.isEmpty()) msg = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
    const QString driverText = state.isEmpty() ? msg : "[" + state + "] " + msg;
    failure_ = DbFailure{adErrCommand, msg, 0, driverText};
    if (PQstatus(conn_) != CONNECTION_OK || state.startsWith("08") || state == "57P01" || state == "57P02" ||
        state == "57P03") {
        failure_.number = adErrConnection;
        // Whatever the clerk was doing, the program cannot go on with this
        // connection: the system's own words (the server's are kept as the
        // driver's text).
        failure_.text = "データベースの接続でエラーが発生しました。\n\n１度システムを終了し再度実行して下さい。";
    } else if (state == "55P03" || state == "40P01" || state == "40001") {
        failure_.text = kBusyText + msg + ")";
        failure_.fault = true;
    } else if (state == "53100") {
        failure_.text = "ディスクの空き容量が足りないため、データベースに書き込めませんでした。書き込みは取り消されました。"
                        "\n不要なファイルを削除するなどしてディスクの空き容量を確保してから、もう一度保存して下さい。";
        failure_.fault = true;
        failure_.diskFull = true;
    } else if (state == "42501" || state == "25006") {
        failure_.text = "データベースに書き込めません: " + name_ + " (" + msg + ")";
        failure_.fault = true;
    } else if (state == "23505") {
        failure_.uniqueClash = true;
    }
    return false;
}

QString PostgresEngine::beginText() const {
    return QString("BEGIN; SET LOCAL lock_timeout = '%1ms'; SELECT pg_advisory_xact_lock(%2)")
        .arg(busyMs_)
        .arg(kBookLockKey);
}

bool PostgresEngine::beginTold() {
    const QString tryLock = QString("SELECT pg_try_advisory_xact_lock(%1)").arg(kBookLockKey);
    DbRows rows;
    QStringList names;
    if (!Run(QString("BEGIN; SET LOCAL lock_timeout = '%1ms'; ").arg(busyMs_) + tryLock, &rows, &names)) return false;
    QElapsedTimer waited;
    waited.start();
    bool told = false;
    struct EndWait {
        const std::function<void(int)>* handler;
        bool& told;
        ~EndWait() {
            if (told && handler && *handler) (*handler)(-1);
        }
    } endWait{lockWait_, told};
    while (rows.empty() || rows[0].empty() || rows[0][0].Integer() == 0) {
        const qint64 left = busyMs_ - waited.elapsed();
        if (left <= 0) {
            const QString why = "the writers' lock of the book was not had within " + QString::number(busyMs_) + " ms";
            failure_ = DbFailure{adErrCommand, kBusyText + why + ")", 0, why};
            failure_.fault = true;
            return false;
        }
        told = true;
        (*lockWait_)(static_cast<int>(left));
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 50)));
        if (!Run(tryLock, &rows, &names)) return false;
    }
    return true;
}

bool PostgresEngine::BeginWrite() {
    if (lockWait_ && *lockWait_ ? beginTold() : Run(beginText(), nullptr, nullptr))
        return true;
    // No transaction is left begun, as on SQLite.
    if (InTransaction()) rollback();
    return false;
}

bool PostgresEngine::WriteRow(const QString& table, const QStringList& cols, const std::vector<DbValue>& vals,
                              DbValue& key) {
    QString sql;
    const bool insert = key.IsNull();
    if (insert) {
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i) marks << "$" + QString::number(i + 1);
        sql = "INSERT INTO " + table + " (" + cols.join(", ") + ") VALUES (" + marks.join(", ") + ") RETURNING ctid";
    } else {
        QStringList sets;
        for (int i = 0; i < cols.size(); ++i) sets << cols[i] + " = $" + QString::number(i + 1);
        sql = "UPDATE " + table + " SET " + sets.join(", ") + " WHERE ctid = $" + QString::number(cols.size() + 1) +
              "::tid RETURNING ctid";
    }
    std::vector<QByteArray> keep;
    std::vector<const char*> params;
    keep.reserve(vals.size() + 1);
    for (const DbValue& v : vals) {
        if (v.IsNull()) {
            params.push_back(nullptr);
        } else {
            keep.push_back(v.Text().toUtf8());
            params.push_back(keep.back().constData());
        }
    }
    if (!insert) {
        keep.push_back(key.Text().toUtf8());
        params.push_back(keep.back().constData());
    }
    ++sent_;
    ++roundTrips_;
    const QByteArray q = sql.toUtf8();
    Result r(PQexecParams(conn_, q.constData(), static_cast<int>(params.size()), nullptr, params.data(), nullptr,
                          nullptr, 0));
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) return mapError(r.get());
    if (PQntuples(r.get()) > 0) key = DbValue(QString::fromUtf8(PQgetvalue(r.get(), 0, 0)));
    return true;
}

bool PostgresEngine::TableNames(QStringList* out) {
    return names("SELECT tablename FROM pg_tables WHERE schemaname = current_schema()", out);
}

bool PostgresEngine::IndexNames(QStringList* out) {
    return names("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema()", out);
}
