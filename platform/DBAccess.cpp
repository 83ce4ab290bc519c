#include "platform/DBAccess.h"
#include "platform/IniFile.h"

#include "platform/AppInfo.h"

#include "platform/PostgresEngine.h"
#include "platform/SqliteEngine.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <malloc.h>

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
    rowKeys_.clear();
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
    rowKeys_.emplace_back();
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
    db_->ClearError();
    if (!db_->checkConnected() || !db_->beginPending() ||
        (!db_->engine_->WriteRow(table_, cols, vals, rowKeys_[pos_]) && !db_->engineFailed()))
        throw AppError(db_->ErrorNumber(), db_->ErrorText(), "Recordset.Update");
    dirty_.assign(names_.size(), false);
}

// ---------------------------------------------------------------- DBAccess

DBAccess::DBAccess() {
    // A recordset holds every row at once: a ledger of 100,000 lines takes
    // some 50 MB for a moment. By default the C library gives such memory
    // back to the system after each query and serves large blocks by fresh
    // mappings, so the next query pays again for every page it touches;
    // the program keeps it for the next query instead.
    static const bool tuned = [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
        return true;
    }();
    (void)tuned;
}

DBAccess::~DBAccess() { Disconnect(); }

QString DBAccess::DataLinkFile() const {
    if (!udlPath_.isEmpty()) return udlPath_;
    return AppInfo::Folder() + "/DB.udl";
}

void DBAccess::SetError(long number, const QString& text, long driverNumber, const QString& driverText) {
    diskFull_ = false;
    dbFault_ = false;
    uniqueClash_ = false;
    errNumber_ = number;
    errText_ = text;
    driverNumber_ = driverNumber;
    driverText_ = driverText.isEmpty() ? text : driverText;
}

void DBAccess::ClearError() {
    diskFull_ = false;
    dbFault_ = false;
    uniqueClash_ = false;
    errNumber_ = 0;
    errText_.clear();
    driverNumber_ = 0;
    driverText_.clear();
}

bool DBAccess::engineFailed() {
    const DbFailure& f = engine_->Failure();
    SetError(f.number, f.text, f.driverNumber, f.driverText);
    diskFull_ = f.diskFull;
    dbFault_ = f.fault;
    uniqueClash_ = f.uniqueClash;
    if (f.damaged && damagedHandler_) {
        auto handler = std::move(damagedHandler_);
        damagedHandler_ = nullptr;
        handler();
    }
    return false;
}

bool DBAccess::checkConnected() {
    if (engine_) return true;
    SetError(adErrConnection, "データベースに接続されていません。");
    return false;
}

void DBAccess::SetCommitFault(std::function<int()> fault) {
    commitFault_ = std::move(fault);
    if (engine_) engine_->SetCommitFault(&commitFault_);
}

void DBAccess::SetBusyTimeout(int ms) {
    busyMs_ = ms;
    if (engine_) engine_->SetBusyTimeout(ms);
}

void DBAccess::SetLockWaitHandler(std::function<void(int msLeft)> handler) {
    lockWait_ = std::move(handler);
    if (engine_) engine_->SetLockWaitHandler(lockWait_ ? &lockWait_ : nullptr);
}

long DBAccess::StatementsPrepared() const { return prepared_ + (engine_ ? engine_->Prepared() : 0); }

long DBAccess::RoundTrips() const { return roundTrips_ + (engine_ ? engine_->RoundTrips() : 0); }

namespace {
// What a data-link file names: a database file, or a server's database.
struct DataLink {
    bool server = false;
    QString file;
    PostgresTarget target;
};

bool readDataLink(const QString& path, DataLink* link, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = "データリンクファイルを開けません: " + path;
        return false;
    }
    QByteArray raw = f.readAll();
    const QString text = DecodeSettingsText(raw);
    QString provider, source, catalog, user, password;
    bool hasPassword = false;
    for (QString line : text.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('[') || line.startsWith(';')) continue;
        for (const QString& part : line.split(';', Qt::SkipEmptyParts)) {
            int eq = part.indexOf('=');
            if (eq < 0) continue;
            QString key = part.left(eq).trimmed();
            QString value = part.mid(eq + 1).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"')) value = value.mid(1, value.size() - 2);
            auto is = [&](const char* name) { return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
            if (is("Provider")) provider = value;
            else if (is("Data Source")) source = value;
            else if (is("Initial Catalog")) catalog = value;
            else if (is("User ID")) user = value;
            else if (is("Password")) {
                password = value;
                hasPassword = true;
            }
        }
    }
    link->server = provider.startsWith("PostgreSQL", Qt::CaseInsensitive);
    if (!provider.isEmpty() && !link->server && !provider.startsWith("SQLite", Qt::CaseInsensitive)) {
        *error = "データリンクファイルのプロバイダに対応していません: " + provider;
        return false;
    }
    if (source.isEmpty()) {
        *error = "データリンクファイルにデータベース (Data Source) の指定がありません: " + path;
        return false;
    }
    if (link->server) {
        if (catalog.isEmpty()) {
            *error = "データリンクファイルにデータベース名 (Initial Catalog) の指定がありません: " + path;
            return false;
        }
        // host, host:port; an IPv6 address in brackets.
        static const QRegularExpression hostPort("^\\[?([^\\]]*?)\\]?(?::(\\d+))?$");
        const auto m = hostPort.match(source);
        link->target.host = m.hasMatch() ? m.captured(1) : source;
        link->target.port = m.hasMatch() ? m.captured(2) : QString();
        link->target.database = catalog;
        link->target.user = user;
        link->target.password = password;
        link->target.hasPassword = hasPassword;
        return true;
    }
    if (QFileInfo(source).isRelative()) source = QFileInfo(path).absolutePath() + "/" + source;
    link->file = source;
    return true;
}
}  // namespace

bool DBAccess::Connect() {
    Disconnect();
    ClearError();
    QString error;
    DataLink link;
    if (!readDataLink(DataLinkFile(), &link, &error)) {
        SetError(adErrConnection, error);
        return false;
    }
    if (!link.server) return ConnectFile(link.file, false);
    auto engine = std::make_unique<PostgresEngine>(busyMs_);
    fileDb_ = false;
    emptyRefused_ = false;
    const bool opened = engine->Open(link.target, emptyAllowed_, &emptyRefused_);
    return adopt(std::move(engine), opened);
}

bool DBAccess::ConnectFile(const QString& file, bool create) {
    Disconnect();
    ClearError();
    auto engine = std::make_unique<SqliteEngine>(busyMs_);
    fileDb_ = true;
    emptyRefused_ = false;
    const bool opened = engine->Open(file, create, emptyAllowed_, &emptyRefused_);
    return adopt(std::move(engine), opened);
}

bool DBAccess::adopt(std::unique_ptr<DbEngine> engine, bool opened) {
    dbFile_ = engine->Name();
    if (!opened) {
        const DbFailure& f = engine->Failure();
        SetError(f.number, f.text, f.driverNumber, f.driverText);
        prepared_ += engine->Prepared();
        roundTrips_ += engine->RoundTrips();
        return false;
    }
    engine_ = std::move(engine);
    engine_->SetCommitFault(&commitFault_);
    if (lockWait_) engine_->SetLockWaitHandler(&lockWait_);
    return true;
}

void DBAccess::Disconnect() {
    beginPending_ = false;
    if (!engine_) return;
    prepared_ += engine_->Prepared();
    engine_->Close();
    roundTrips_ += engine_->RoundTrips();
    engine_.reset();
}

RecordsetPtr DBAccess::OpenRecordset(const QString& sql) {
    ClearError();
    RecordsetPtr rs(new Recordset());
    rs->db_ = this;
    if (!checkConnected() || !beginPending() || (!engine_->Run(sql, &rs->rows_, &rs->names_) && !engineFailed()))
        throw AppError(errNumber_, errText_, "DBAccess.OpenRecordset");
    return rs;
}

void DBAccess::ForEachRow(const QString& sql, const std::function<void(const std::vector<DbValue>&)>& row) {
    ClearError();
    if (!checkConnected() || !beginPending() || (!engine_->Each(sql, row) && !engineFailed()))
        throw AppError(errNumber_, errText_, "DBAccess.ForEachRow");
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
    if (!checkConnected()) throw AppError(errNumber_, errText_, "DBAccess.OpenUpdatable");
    QString withKey = sql;
    withKey.insert(m.capturedStart(1), engine_->RowKey() + " AS tavik_rowid, ");
    RecordsetPtr rs(new Recordset());
    rs->db_ = this;
    rs->updatable_ = true;
    rs->table_ = m.captured(2);
    DbRows rows;
    QStringList names;
    if (!beginPending() || (!engine_->Run(withKey, &rows, &names) && !engineFailed()))
        throw AppError(errNumber_, errText_, "DBAccess.OpenUpdatable");
    names.removeFirst();
    rs->names_ = names;
    for (auto& r : rows) {
        rs->rowKeys_.push_back(r[0]);
        r.erase(r.begin());
        rs->rows_.push_back(std::move(r));
    }
    rs->dirty_.assign(names.size(), false);
    return rs;
}

QStringList DBAccess::TableNames() {
    ClearError();
    QStringList names;
    if (!checkConnected() || (!engine_->TableNames(&names) && !engineFailed()))
        throw AppError(errNumber_, errText_, "DBAccess.TableNames");
    return names;
}

QStringList DBAccess::IndexNames() {
    ClearError();
    QStringList names;
    if (!checkConnected() || (!engine_->IndexNames(&names) && !engineFailed()))
        throw AppError(errNumber_, errText_, "DBAccess.IndexNames");
    return names;
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
    if (!InTransaction() && !engine_->CheckBeforeWrite()) return engineFailed();
    if (!beginPending()) return false;
    bool handled = false;
    bool ok = callProcedure(sql, handled);
    if (handled) return ok;
    return engine_->Run(sql, nullptr, nullptr) || engineFailed();
}

bool DBAccess::InTransaction() const { return engine_ && (beginPending_ || engine_->InTransaction()); }

// The first statement of a transaction begins it on the database, taking
// the writers' lock before anything is read: what the transaction reads
// stays true until it commits.
bool DBAccess::beginPending() {
    if (!beginPending_) return true;
    if (!engine_->CheckBeforeWrite() || !engine_->BeginWrite()) return engineFailed();
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
    if (!engine_->Run("COMMIT", nullptr, nullptr) && !engineFailed())
        throw AppError(errNumber_, errText_, "DBAccess.CommitTrans");
}

void DBAccess::RollbackTrans() {
    beginPending_ = false;
    // A failed statement may already have ended the transaction.
    if (!InTransaction()) return;
    if (!engine_->Run("ROLLBACK", nullptr, nullptr) && !engineFailed())
        throw AppError(errNumber_, errText_, "DBAccess.RollbackTrans");
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
