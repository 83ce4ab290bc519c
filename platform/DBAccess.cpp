#include "platform/DBAccess.h"

#include "platform/AppInfo.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <sqlite3.h>

// ---------------------------------------------------------------- Field

DbValue Field::Value() const { return rs_->get(index_); }
QString Field::Name() const { return rs_->names_.value(index_); }
Field& Field::operator=(const QString& text) {
    rs_->set(index_, DbValue(text));
    return *this;
}
Field& Field::operator=(qint64 number) {
    rs_->set(index_, DbValue(QString::number(number)));
    return *this;
}
Field& Field::operator=(const DbValue& value) {
    rs_->set(index_, value);
    return *this;
}

// ---------------------------------------------------------------- Recordset

Recordset::~Recordset() = default;

bool Recordset::Eof() const { return !open_ || pos_ >= rows_.size(); }

void Recordset::MoveNext() {
    if (!open_) throw AppError(3704, "レコードセットは閉じられています。", "Recordset.MoveNext");
    if (pos_ >= rows_.size())
        throw AppError(3021, "現在のレコードがありません。", "Recordset.MoveNext");
    ++pos_;
}

long Recordset::RecordCount() const { return open_ ? static_cast<long>(rows_.size()) : 0; }

void Recordset::Close() {
    open_ = false;
    rows_.clear();
    rowids_.clear();
}

int Recordset::FieldCount() const { return names_.size(); }

int Recordset::indexOf(const QString& name) const {
    for (int i = 0; i < names_.size(); ++i)
        if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    // "T.COL" written in the statement may come back as "COL".
    int dot = name.lastIndexOf('.');
    if (dot >= 0) return indexOf(name.mid(dot + 1));
    return -1;
}

Field Recordset::Fields(const QString& name) {
    int i = indexOf(name);
    if (i < 0)
        throw AppError(adErrItemNotFound, "要求された名前の項目がありません: " + name, "Recordset.Fields");
    return Field(this, i);
}

Field Recordset::Fields(int index) {
    if (index < 0 || index >= names_.size())
        throw AppError(adErrItemNotFound, "要求された番号の項目がありません: " + QString::number(index),
                       "Recordset.Fields");
    return Field(this, index);
}

void Recordset::checkRow() const {
    if (!open_) throw AppError(3704, "レコードセットは閉じられています。", "Recordset");
    if (pos_ >= rows_.size()) throw AppError(3021, "現在のレコードがありません。", "Recordset");
}

DbValue Recordset::get(int index) const {
    checkRow();
    return rows_[pos_][index];
}

void Recordset::set(int index, const DbValue& v) {
    if (!updatable_) throw AppError(3251, "このレコードセットは更新できません。", "Recordset");
    checkRow();
    rows_[pos_][index] = v;
    dirty_[index] = true;
}

void Recordset::AddNew() {
    if (!updatable_) throw AppError(3251, "このレコードセットは更新できません。", "Recordset.AddNew");
    if (!open_) throw AppError(3704, "レコードセットは閉じられています。", "Recordset.AddNew");
    rows_.emplace_back(names_.size());
    rowids_.push_back(-1);
    pos_ = rows_.size() - 1;
    dirty_.assign(names_.size(), false);
}

void Recordset::Update() {
    if (!updatable_) throw AppError(3251, "このレコードセットは更新できません。", "Recordset.Update");
    checkRow();
    QStringList cols;
    std::vector<DbValue> vals;
    for (int i = 0; i < names_.size(); ++i)
        if (dirty_[i]) {
            cols << names_[i];
            vals.push_back(rows_[pos_][i]);
        }
    if (cols.isEmpty()) return;
    QString sql;
    qint64 rowid = rowids_[pos_];
    if (rowid < 0) {
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i) marks << "?";
        sql = "INSERT INTO " + table_ + " (" + cols.join(", ") + ") VALUES (" + marks.join(", ") + ")";
    } else {
        QStringList sets;
        for (const QString& c : cols) sets << c + " = ?";
        sql = "UPDATE " + table_ + " SET " + sets.join(", ") + " WHERE rowid = ?";
    }
    sqlite3* h = db_->db_;
    if (!h) {
        db_->SetError(adErrConnection, "データベースに接続されていません。");
        throw AppError(db_->ErrorNumber(), db_->ErrorText(), "Recordset.Update");
    }
    if (!db_->beginPending()) throw AppError(db_->ErrorNumber(), db_->ErrorText(), "Recordset.Update");
    sqlite3_stmt* st = nullptr;
    QByteArray q = sql.toUtf8();
    int rc = sqlite3_prepare_v2(h, q.constData(), q.size(), &st, nullptr);
    if (rc == SQLITE_OK) {
        std::vector<QByteArray> keep;
        for (size_t i = 0; i < vals.size(); ++i) {
            if (vals[i].IsNull()) {
                sqlite3_bind_null(st, static_cast<int>(i + 1));
            } else {
                keep.push_back(vals[i].Text().toUtf8());
                sqlite3_bind_text(st, static_cast<int>(i + 1), keep.back().constData(),
                                  keep.back().size(), SQLITE_TRANSIENT);
            }
        }
        if (rowid >= 0) sqlite3_bind_int64(st, static_cast<int>(vals.size() + 1), rowid);
        rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_OK) {
        db_->setSqliteError(rc);
        throw AppError(db_->ErrorNumber(), db_->ErrorText(), "Recordset.Update");
    }
    if (rowid < 0) rowids_[pos_] = sqlite3_last_insert_rowid(h);
    dirty_.assign(names_.size(), false);
}

// ---------------------------------------------------------------- DBAccess

DBAccess::DBAccess() = default;

DBAccess::~DBAccess() { Disconnect(); }

QString DBAccess::DataLinkFile() const {
    if (!udlPath_.isEmpty()) return udlPath_;
    return AppInfo::Folder() + "/DB.udl";
}

void DBAccess::SetError(long number, const QString& text, long driverNumber, const QString& driverText) {
    diskFull_ = false;
    errNumber_ = number;
    errText_ = text;
    driverNumber_ = driverNumber;
    driverText_ = driverText.isEmpty() ? text : driverText;
}

void DBAccess::ClearError() {
    diskFull_ = false;
    errNumber_ = 0;
    errText_.clear();
    driverNumber_ = 0;
    driverText_.clear();
}

void DBAccess::setSqliteError(int rc) {
    int ext = db_ ? sqlite3_extended_errcode(db_) : rc;
    QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
    int primary = rc & 0xff;
    long number = adErrCommand;
    QString text = msg;
    bool damaged = false;
    switch (primary) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        number = adErrConnection;
        damaged = open_;
        if (damaged)
            text = "データベースが壊れているため、処理を続けられません。(" + msg + ")";
        break;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_MISUSE:
        number = adErrConnection;
        break;
    case SQLITE_FULL:
        text = "ディスクの空き容量が足りないため、データベースに書き込めませんでした。書き込みは取り消されました。"
               "\n不要なファイルを削除するなどしてディスクの空き容量を確保してから、もう一度保存して下さい。";
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        text = "データベースが他のプログラムによって使用中です。しばらく待ってから再度実行して下さい。(" + msg + ")";
        break;
    case SQLITE_READONLY:
        text = "データベースに書き込めません。(" + msg + ")";
        break;
    default:
        break;
    }
    SetError(number, text, ext, msg);
    diskFull_ = primary == SQLITE_FULL;
    if (damaged && damagedHandler_) {
        auto handler = std::move(damagedHandler_);
        damagedHandler_ = nullptr;
        handler();
    }
}

bool DBAccess::checkConnected() {
    if (db_) return true;
    SetError(adErrConnection, "データベースに接続されていません。");
    return false;
}

void DBAccess::SetBusyTimeout(int ms) {
    busyMs_ = ms;
    if (db_) sqlite3_busy_timeout(db_, ms);
}

namespace {
QString readDataLink(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = "データリンクファイルを開けません: " + path;
        return {};
    }
    QByteArray raw = f.readAll();
    QString text;
    if (raw.startsWith("\xff\xfe") || raw.startsWith("\xfe\xff")) {
        auto dec = QStringDecoder(raw.startsWith("\xff\xfe") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = dec(raw.mid(2));
    } else {
        if (raw.startsWith("\xef\xbb\xbf")) raw = raw.mid(3);
        text = QString::fromUtf8(raw);
    }
    QString provider, source;
    for (QString line : text.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('[') || line.startsWith(';')) continue;
        for (const QString& part : line.split(';', Qt::SkipEmptyParts)) {
            int eq = part.indexOf('=');
            if (eq < 0) continue;
            QString key = part.left(eq).trimmed();
            QString value = part.mid(eq + 1).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"')) value = value.mid(1, value.size() - 2);
            if (key.compare("Provider", Qt::CaseInsensitive) == 0) provider = value;
            else if (key.compare("Data Source", Qt::CaseInsensitive) == 0) source = value;
        }
    }
    if (!provider.isEmpty() && !provider.startsWith("SQLite", Qt::CaseInsensitive)) {
        *error = "データリンクファイルのプロバイダに対応していません: " + provider;
        return {};
    }
    if (source.isEmpty()) {
        *error = "データリンクファイルにデータベース (Data Source) の指定がありません: " + path;
        return {};
    }
    if (QFileInfo(source).isRelative()) source = QFileInfo(path).absolutePath() + "/" + source;
    return source;
}
}  // namespace

bool DBAccess::Connect() {
    ClearError();
    QString error;
    QString file = readDataLink(DataLinkFile(), &error);
    if (file.isEmpty()) {
        SetError(adErrConnection, error);
        return false;
    }
    return ConnectFile(file, false);
}

namespace {
// What lies in a file before SQLite is let at it: nothing yet (a new
// database), something that is no SQLite database at all, or a database.
enum class FileKind { Empty, NotSqlite, Sqlite };
FileKind kindOfFile(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return FileKind::Sqlite;  // let SQLite report why
    QByteArray head = f.read(100);
    if (head.isEmpty()) return FileKind::Empty;
    return head.size() == 100 && head.startsWith(QByteArray("SQLite format 3\0", 16)) ? FileKind::Sqlite
                                                                                     : FileKind::NotSqlite;
}
}  // namespace

bool DBAccess::ConnectFile(const QString& file, bool create) {
    Disconnect();
    ClearError();
    if (!create && !QFileInfo::exists(file)) {
        SetError(adErrConnection, "データベースファイルが見つかりません: " + file);
        return false;
    }
    if (QFileInfo::exists(file) && kindOfFile(file) == FileKind::NotSqlite) {
        SetError(adErrConnection, "このシステムのデータベースではありません: " + file);
        return false;
    }
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
    QByteArray name = file.toUtf8();
    int rc = sqlite3_open_v2(name.constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
        if (db_) sqlite3_close(db_);
        db_ = nullptr;
        SetError(adErrConnection, "データベースを開けません: " + file + " (" + msg + ")", rc, msg);
        return false;
    }
    sqlite3_busy_timeout(db_, busyMs_);
    dbFile_ = file;
    auto fail = [&](const QString& reason) {
        long dn = driverNumber_;
        QString dt = driverText_;
        sqlite3_close(db_);
        db_ = nullptr;
        SetError(adErrConnection, reason, dn, dt);
        return false;
    };
    // Only reads until the file is known to be this system's (or a new,
    // empty one): a database of another application is left as it was.
    std::vector<std::vector<DbValue>> rows;
    QStringList names;
    if (!runStatements("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'", &rows,
                       &names))
        return fail("このシステムのデータベースではありません: " + file + " (" + errText_ + ")");
    bool ours = rows.empty();
    for (const auto& r : rows)
        if (r[0].Text().compare(kSignatureTable, Qt::CaseInsensitive) == 0) ours = true;
    if (!ours) return fail("このシステムのデータベースではありません (他のアプリケーションのデータベースです): " + file);
    // WAL lets readers go on while another program writes. FULL makes every
    // commit durable: a saved voucher (and its number) survives a power loss
    // or a crash of the operating system, not only of the program.
    if (!runStatements("PRAGMA journal_mode=WAL", nullptr, nullptr) ||
        !runStatements("PRAGMA synchronous=FULL", nullptr, nullptr))
        return fail("データベースを開けません: " + file + " (" + errText_ + ")");
    open_ = true;
    return true;
}

void DBAccess::Disconnect() {
    beginPending_ = false;
    open_ = false;
    if (!db_) return;
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool DBAccess::runStatements(const QString& sql, std::vector<std::vector<DbValue>>* rows, QStringList* names) {
    if (!checkConnected()) return false;
    QByteArray q = sql.toUtf8();
    const char* tail = q.constData();
    const char* end = tail + q.size();
    while (tail < end) {
        sqlite3_stmt* st = nullptr;
        const char* next = nullptr;
        int rc = sqlite3_prepare_v2(db_, tail, static_cast<int>(end - tail), &st, &next);
        if (rc != SQLITE_OK) {
            setSqliteError(rc);
            sqlite3_finalize(st);
            return false;
        }
        tail = next;
        if (!st) continue;  // blank or comment
        int cols = sqlite3_column_count(st);
        bool collect = rows && cols > 0;
        if (collect) {
            rows->clear();
            names->clear();
            for (int i = 0; i < cols; ++i) names->append(QString::fromUtf8(sqlite3_column_name(st, i)));
        }
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (!collect) continue;
            std::vector<DbValue> row;
            row.reserve(cols);
            for (int i = 0; i < cols; ++i) {
                const int type = sqlite3_column_type(st, i);
                if (type == SQLITE_NULL) {
                    row.emplace_back();
                } else if (type == SQLITE_FLOAT) {
                    // A binary fraction: the shortest decimal that reads back
                    // as the same double, in plain digits (never "e-17"), so
                    // that an amount reads as its nearest decimal value.
                    row.emplace_back(QString::number(sqlite3_column_double(st, i), 'f',
                                                     QLocale::FloatingPointShortest));
                } else {
                    const unsigned char* t = sqlite3_column_text(st, i);
                    int n = sqlite3_column_bytes(st, i);
                    row.emplace_back(QString::fromUtf8(reinterpret_cast<const char*>(t), n));
                }
            }
            rows->push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            setSqliteError(rc);
            sqlite3_finalize(st);
            return false;
        }
        sqlite3_finalize(st);
    }
    return true;
}

RecordsetPtr DBAccess::OpenRecordset(const QString& sql) {
    ClearError();
    RecordsetPtr rs(new Recordset());
    rs->db_ = this;
    if (!beginPending() || !runStatements(sql, &rs->rows_, &rs->names_))
        throw AppError(errNumber_, errText_, "DBAccess.OpenRecordset");
    return rs;
}

RecordsetPtr DBAccess::OpenUpdatable(const QString& sql) {
    ClearError();
    static const QRegularExpression re("^\\s*SELECT\\s+(.*?)\\s+FROM\\s+([A-Za-z_][A-Za-z0-9_]*)",
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
    auto m = re.match(sql);
    if (!m.hasMatch()) {
        SetError(adErrCommand, "更新可能なレコードセットは単一の表の SELECT 文でなければなりません。");
        throw AppError(errNumber_, errText_, "DBAccess.OpenUpdatable");
    }
    QString withRowid = sql;
    withRowid.insert(m.capturedStart(1), "rowid AS tavik_rowid, ");
    RecordsetPtr rs(new Recordset());
    rs->db_ = this;
    rs->updatable_ = true;
    rs->table_ = m.captured(2);
    std::vector<std::vector<DbValue>> rows;
    QStringList names;
    if (!beginPending() || !runStatements(withRowid, &rows, &names)) throw AppError(errNumber_, errText_, "DBAccess.OpenUpdatable");
    names.removeFirst();
    rs->names_ = names;
    for (auto& r : rows) {
        rs->rowids_.push_back(r[0].Text().toLongLong());
        r.erase(r.begin());
        rs->rows_.push_back(std::move(r));
    }
    rs->dirty_.assign(names.size(), false);
    return rs;
}

void DBAccess::RegisterProcedure(const QString& name, Procedure proc) { procs_[name.toUpper()] = std::move(proc); }

bool DBAccess::callProcedure(const QString& sql, bool& handled) {
    handled = false;
    QString s = sql.trimmed();
    static const QRegularExpression word("^([A-Za-z_][A-Za-z0-9_]*)");
    auto m = word.match(s);
    if (!m.hasMatch()) return false;
    QString first = m.captured(1).toUpper();
    if (first == "EXEC" || first == "EXECUTE") {
        s = s.mid(m.capturedLength()).trimmed();
        m = word.match(s);
        if (!m.hasMatch()) return false;
        first = m.captured(1).toUpper();
    } else {
        static const QStringList verbs = {"SELECT", "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "ALTER",
                                          "BEGIN", "COMMIT", "ROLLBACK", "PRAGMA", "WITH", "REPLACE",
                                          "VACUUM", "ANALYZE", "SAVEPOINT", "RELEASE", "END", "REINDEX"};
        if (verbs.contains(first)) return false;
    }
    handled = true;
    auto it = procs_.find(first);
    if (it == procs_.end()) {
        SetError(adErrCommand, "ストアドプロシージャ '" + m.captured(1) + "' が見つかりません。");
        return false;
    }
    QString rest = s.mid(m.capturedLength()).trimmed();
    QStringList args;
    if (!rest.isEmpty())
        for (const QString& a : rest.split(',')) args << a.trimmed();
    return it->second(*this, args);
}

bool DBAccess::Execute(const QString& sql) {
    ClearError();
    if (!checkConnected()) return false;
    if (!beginPending()) return false;
    bool handled = false;
    bool ok = callProcedure(sql, handled);
    if (handled) return ok;
    return runStatements(sql, nullptr, nullptr);
}

bool DBAccess::InTransaction() const { return db_ && (beginPending_ || !sqlite3_get_autocommit(db_)); }

// The first statement of a transaction begins it on the database. BEGIN
// IMMEDIATE takes the write lock before anything is read, so what the
// transaction reads stays true until it commits.
bool DBAccess::beginPending() {
    if (!beginPending_) return true;
    if (!runStatements("BEGIN IMMEDIATE", nullptr, nullptr)) return false;
    beginPending_ = false;
    return true;
}

void DBAccess::BeginTrans() {
    ClearError();
    if (!checkConnected()) throw AppError(errNumber_, errText_, "DBAccess.BeginTrans");
    if (InTransaction()) {
        SetError(adErrCommand, "トランザクションは既に開始されています。");
        throw AppError(errNumber_, errText_, "DBAccess.BeginTrans");
    }
    beginPending_ = true;
}

void DBAccess::CommitTrans() {
    ClearError();
    if (!InTransaction()) {
        SetError(adErrCommand, "トランザクションが開始されていません。");
        throw AppError(errNumber_, errText_, "DBAccess.CommitTrans");
    }
    if (beginPending_) {  // no statement: nothing to commit
        beginPending_ = false;
        return;
    }
    if (!runStatements("COMMIT", nullptr, nullptr)) throw AppError(errNumber_, errText_, "DBAccess.CommitTrans");
}

void DBAccess::RollbackTrans() {
    beginPending_ = false;
    // A failed statement may already have ended the transaction.
    if (!InTransaction()) return;
    if (!runStatements("ROLLBACK", nullptr, nullptr)) throw AppError(errNumber_, errText_, "DBAccess.RollbackTrans");
}

QString DBAccess::DateLiteral(const QString& dateText) const {
    QString t = dateText.trimmed();
    for (const char* fmt : {"yyyy/M/d", "yyyy-M-d", "yyyyMMdd"}) {
        QDate d = QDate::fromString(t.left(10), fmt);
        if (!d.isValid()) d = QDate::fromString(t.section(' ', 0, 0), fmt);
        if (d.isValid()) return "'" + d.toString("yyyy-MM-dd") + "'";
    }
    return SqlText(t);
}

QString DBAccess::SqlText(const QString& value) const {
    QString v = StorableText(value);
    v.replace("'", "''");
    return "'" + v + "'";
}

QString StorableText(const QString& text) {
    QString v;
    v.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0x7f) continue;
        v += c;
    }
    return v;
}
