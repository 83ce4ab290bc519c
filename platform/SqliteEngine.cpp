#include "platform/SqliteEngine.h"

#include "platform/DBAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <sqlite3.h>
#include <unistd.h>

bool SqliteEngine::fail(int rc) {
    int ext = db_ ? sqlite3_extended_errcode(db_) : rc;
    QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
    if (commitFaultRc_ != 0 && ext == SQLITE_CONSTRAINT_COMMITHOOK) {
        // The commit was refused by the fault: reported as its error.
        rc = ext = commitFaultRc_;
        msg = QString::fromUtf8(sqlite3_errstr(rc));
    }
    commitFaultRc_ = 0;
    int primary = rc & 0xff;
    long number = adErrCommand;
    QString text = msg;
    bool damaged = false;
    bool fault = true;
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
        fault = false;
        break;
    case SQLITE_FULL:
        text = "ディスクの空き容量が足りないため、データベースに書き込めませんでした。書き込みは取り消されました。"
               "\n不要なファイルを削除するなどしてディスクの空き容量を確保してから、もう一度保存して下さい。";
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        text = "データベースが他のプログラムによって使用中です。しばらく待ってから再度実行して下さい。(" + msg + ")";
        break;
    case SQLITE_READONLY: {
        // Named as at the connection: the file, or its folder (where the
        // write-ahead log lies) when only that may not be written.
        const bool folderOnly =
            ::access(QFile::encodeName(file_).constData(), W_OK) == 0 &&
            ::access(QFile::encodeName(QFileInfo(file_).absolutePath()).constData(), W_OK) != 0;
        text = (folderOnly ? "データベースのフォルダに書き込めません: " : "データベースに書き込めません: ") + file_ +
               " (" + msg + ")";
        break;
    }
    default:
        fault = false;
        break;
    }
    failure_ = DbFailure{number, text, ext, msg};
    failure_.diskFull = primary == SQLITE_FULL;
    failure_.fault = fault;
    failure_.damaged = damaged;
    failure_.uniqueClash = ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY;
    return false;
}

void SqliteEngine::SetCommitFault(const std::function<int()>* fault) {
    commitFault_ = fault;
    commitFaultRc_ = 0;
    if (db_) sqlite3_commit_hook(db_, fault && *fault ? &SqliteEngine::onCommit : nullptr, this);
}

// Returning non-zero turns the commit into a roll-back.
int SqliteEngine::onCommit(void* self) {
    auto* db = static_cast<SqliteEngine*>(self);
    db->commitFaultRc_ = db->commitFault_ && *db->commitFault_ ? (*db->commitFault_)() : 0;
    return db->commitFaultRc_ != 0 ? 1 : 0;
}

void SqliteEngine::SetBusyTimeout(int ms) {
    busyMs_ = ms;
    if (db_ && !lockWait_) sqlite3_busy_timeout(db_, ms);
}

void SqliteEngine::SetLockWaitHandler(const std::function<void(int)>* handler) {
    lockWait_ = handler;
    lockWaiting_ = false;
    if (!db_ || !open_) return;
    if (lockWait_) sqlite3_busy_handler(db_, &SqliteEngine::onBusy, this);
    else sqlite3_busy_timeout(db_, busyMs_);
}

// The busy timeout's wait, told to the handler as it goes; count is 0 at
// the first retry of a statement.
int SqliteEngine::onBusy(void* self, int count) {
    auto* e = static_cast<SqliteEngine*>(self);
    const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    if (count == 0 || !e->lockWaiting_) {
        e->lockWaiting_ = true;
        e->lockWaitStartMs_ = now;
    }
    const qint64 left = e->busyMs_ - (now - e->lockWaitStartMs_);
    if (left <= 0) return 0;
    if (e->lockWait_ && *e->lockWait_) (*e->lockWait_)(static_cast<int>(left));
    sqlite3_sleep(static_cast<int>(std::min<qint64>(left, 50)));
    return 1;
}

void SqliteEngine::endLockWait() {
    if (!lockWaiting_) return;
    lockWaiting_ = false;
    if (lockWait_ && *lockWait_) (*lockWait_)(-1);
}
namespace {
// What lies in a file before SQLite is let at it: nothing yet (a new
// database), something that is no SQLite database at all, a database, or
// what is left of one (a file cut short before the end of its header).
enum class FileKind { Empty, NotSqlite, Sqlite, Damaged };
// The first bytes are read through SQLite's own file layer: a descriptor
// opened and closed apart from it would give up every lock this program
// holds on the file, those of a connection already open on it too, and
// another program ending would then take the write-ahead log away from
// under that connection. The layer keeps one record per file in the
// program and closes no descriptor while a lock on the file is held.
FileKind kindOfFile(const QString& file) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (!vfs) return FileKind::Sqlite;  // let SQLite report why
    const QByteArray path = file.toUtf8();
    sqlite3_filename name = sqlite3_create_filename(path.constData(), "", "", 0, nullptr);
    if (!name) return FileKind::Sqlite;
    std::vector<sqlite3_int64> storage((vfs->szOsFile + sizeof(sqlite3_int64) - 1) / sizeof(sqlite3_int64));
    auto* f = reinterpret_cast<sqlite3_file*>(storage.data());
    f->pMethods = nullptr;
    FileKind kind = FileKind::Sqlite;  // not readable: let SQLite report why
    int outFlags = 0;
    if (vfs->xOpen(vfs, name, f, SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB, &outFlags) == SQLITE_OK) {
        sqlite3_int64 size = 0;
        static const char magic[] = "SQLite format 3";  // with its NUL: 16 bytes
        char head[100];
        if (f->pMethods->xFileSize(f, &size) == SQLITE_OK) {
            // A file that begins as a database does is one, however short:
            // a file cut under its header is a damaged database.
            const int n = static_cast<int>(std::min<sqlite3_int64>(size, sizeof head));
            if (size == 0)
                kind = FileKind::Empty;
            else if (n < static_cast<int>(sizeof magic))
                kind = FileKind::NotSqlite;
            else if (f->pMethods->xRead(f, head, sizeof magic, 0) == SQLITE_OK)
                kind = std::memcmp(head, magic, sizeof magic) != 0 ? FileKind::NotSqlite
                       : n < static_cast<int>(sizeof head)       ? FileKind::Damaged
                                                                 : FileKind::Sqlite;
        }
    }
    // Closed even after a failed open when the layer says so.
    if (f->pMethods) f->pMethods->xClose(f);
    sqlite3_free_filename(name);
    return kind;
}

QString damagedText(const QString& file, const QString& reason) {
    return "データベースが壊れているため、処理を続けられません: " + file + " (" + reason + ")" +
           "\nシステム管理者に連絡し、バックアップからデータベースを復元して下さい。";
}
}  // namespace

bool SqliteEngine::Open(const QString& file, bool create, bool emptyAllowed, bool* emptyRefused) {
    Close();
    failure_ = {};
    file_ = file;
    *emptyRefused = false;
    auto SetError = [&](long number, const QString& text, long driverNumber = 0, const QString& driverText = {}) {
        failure_ = DbFailure{number, text, driverNumber, driverText.isEmpty() ? text : driverText};
    };
    if (!create && !QFileInfo::exists(file)) {
        SetError(adErrConnection, "データベースファイルが見つかりません: " + file);
        return false;
    }
    const FileKind kind = QFileInfo::exists(file) ? kindOfFile(file) : FileKind::Empty;
    if (kind == FileKind::NotSqlite) {
        SetError(adErrConnection, "このシステムのデータベースではありません: " + file);
        return false;
    }
    if (kind == FileKind::Damaged) {
        SetError(adErrConnection, damagedText(file, sqlite3_errstr(SQLITE_CORRUPT)), SQLITE_CORRUPT,
                 sqlite3_errstr(SQLITE_CORRUPT));
        return false;
    }
    // An empty file is left as it is where the program may not make it a
    // new database.
    if (kind == FileKind::Empty && !create && !emptyAllowed) {
        *emptyRefused = true;
        SetError(adErrConnection, "データベースが空です: " + file);
        return false;
    }
    // One connection per program, used from its user-interface thread only.
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    QByteArray name = file.toUtf8();
    int rc = sqlite3_open_v2(name.constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
        if (db_) sqlite3_close(db_);
        db_ = nullptr;
        SetError(adErrConnection, "データベースを開けません: " + file + " (" + msg + ")", rc, msg);
        return false;
    }
    // A database another program holds is said to be in use after a few
    // seconds, not after the full wait of a statement.
    sqlite3_busy_timeout(db_, std::min(busyMs_, kConnectBusyMs));
    auto refuse = [&](const QString& reason) {
        long dn = failure_.driverNumber;
        QString dt = failure_.driverText;
        clearStatementCache();
        sqlite3_close(db_);
        db_ = nullptr;
        SetError(adErrConnection, reason, dn, dt);
        return false;
    };
    // Why the database cannot be used, by what the database said: in use,
    // damaged, or without the right to write it or its folder (where the
    // write-ahead log lies).
    auto cannotUse = [&]() -> QString {
        const QString msg = failure_.driverText.isEmpty() ? failure_.text : failure_.driverText;
        const int primary = static_cast<int>(failure_.driverNumber & 0xff);
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return failure_.text;
        if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) return damagedText(file, msg);
        if (sqlite3_db_readonly(db_, "main") == 1 || ::access(QFile::encodeName(file).constData(), W_OK) != 0)
            return "データベースに書き込めません: " + file + " (" + msg + ")";
        if (::access(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), W_OK) != 0)
            return "データベースのフォルダに書き込めません: " + file + " (" + msg + ")";
        return "データベースを開けません: " + file + " (" + msg + ")";
    };
    // Opened for reading only (the user has no right to write the file):
    // refused before a read leaves a write-ahead log beside it.
    if (sqlite3_db_readonly(db_, "main") == 1) {
        SetError(adErrConnection, sqlite3_errstr(SQLITE_READONLY), SQLITE_READONLY, sqlite3_errstr(SQLITE_READONLY));
        return refuse(cannotUse());
    }
    // Only reads until the file is known to be this system's (or a new,
    // empty one): a database of another application is left as it was.
    QStringList tables;
    if (!TableNames(&tables)) return refuse(cannotUse());
    if (!tables.isEmpty() && !tables.contains(kSignatureTable, Qt::CaseInsensitive))
        return refuse("このシステムのデータベースではありません (他のアプリケーションのデータベースです): " + file);
    // WAL lets readers go on while another program writes. FULL makes every
    // commit durable: a saved voucher (and its number) survives a power loss
    // or a crash of the operating system, not only of the program.
    if (!Run("PRAGMA journal_mode=WAL", nullptr, nullptr) ||
        !Run("PRAGMA synchronous=FULL", nullptr, nullptr))
        return refuse(cannotUse());
    // A page cache that holds what a ledger of a busy account reads (the
    // default of 2 MB makes a 100,000-line query read most pages twice);
    // memory is taken only as pages are read.
    Run("PRAGMA cache_size=-65536", nullptr, nullptr);
    SetCommitFault(commitFault_);
    sqlite3_busy_timeout(db_, busyMs_);
    // What this connection holds, for the checks before each write.
    dbId_ = FileIdentity::Of(file);
    shmId_ = FileIdentity::Of(file + "-shm");
    if (!shmId_.IsEmpty() && !FileHold::HoldsLock(shmId_)) shmId_ = {};
    holdLost_.clear();
    open_ = true;
    return true;
}

void SqliteEngine::Close() {
    open_ = false;
    dbId_ = shmId_ = {};
    holdLost_.clear();
    if (!db_) return;
    clearStatementCache();
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

namespace {

enum class StatementKind { Rows, Transaction, Other };

// What a statement does, by its first word: reads or writes rows (kept
// prepared for the next run), transaction control, or anything else, which
// may change the schema or how statements compile.
StatementKind KindOf(const char* sql) {
    while (*sql == ' ' || *sql == '\t' || *sql == '\r' || *sql == '\n') ++sql;
    char word[16];
    int n = 0;
    while (n < 15 && ((*sql >= 'A' && *sql <= 'Z') || (*sql >= 'a' && *sql <= 'z'))) word[n++] = *sql++ & ~0x20;
    word[n] = 0;
    const QByteArray w(word, n);
    if (w == "SELECT" || w == "INSERT" || w == "UPDATE" || w == "DELETE" || w == "WITH" || w == "REPLACE" ||
        w == "VALUES")
        return StatementKind::Rows;
    if (w == "BEGIN" || w == "COMMIT" || w == "END" || w == "ROLLBACK" || w == "SAVEPOINT" || w == "RELEASE")
        return StatementKind::Transaction;
    return StatementKind::Other;
}

bool IsIdentChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_' ||
           u == u'$' || u > 127;
}
bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Statements that differ only in their whole numbers share one prepared
// statement: "UPDATE T SET A = A + 1000 WHERE K = 5" runs as
// "UPDATE T SET A = A + ? WHERE K = ?" with 1000 and 5 bound (a bound
// number compares, converts and computes exactly as the same number
// written). Numbers stay written where the text is seen: in result column
// lists (a column without a name is named by its text) and in ORDER BY and
// GROUP BY (a number there is a column position); so do numbers with a
// point, an exponent or more than 18 digits, and the statements of other
// kinds or with parameters of their own. A number written more than once
// is one parameter ("?1" each time), as the planner sees it written: in
// "(YM = 202604 AND NO > 5) OR YM > 202604" the two months stay one value,
// and the condition stays a range on YM that an index can seek. False when
// nothing is lifted.
bool LiftNumbers(const QString& sql, QString& shape, std::vector<qint64>& numbers) {
    const QChar* p = sql.constData();
    const int n = static_cast<int>(sql.size());
    numbers.clear();
    // Per bracket depth: numbers stay here (keep), and below (locked).
    std::vector<std::pair<bool, bool>> level(1, {false, false});
    QStringView prevWord;
    bool firstWord = true;
    int copied = 0;
    int i = 0;
    auto skipTo = [&](QChar close) {
        for (++i; i < n; ++i)
            if (p[i] == close) {
                // a doubled closing quote stands for itself
                if (i + 1 < n && p[i + 1] == close && close != QLatin1Char(']')) {
                    ++i;
                    continue;
                }
                break;
            }
        ++i;
    };
    while (i < n) {
        const QChar c = p[i];
        const QChar next = i + 1 < n ? p[i + 1] : QChar();
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
            skipTo(c);
        } else if (c == QLatin1Char('[')) {
            skipTo(QLatin1Char(']'));
        } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
            while (i < n && p[i] != QLatin1Char('\n')) ++i;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            i += 2;
            while (i < n && !(p[i] == QLatin1Char('*') && i + 1 < n && p[i + 1] == QLatin1Char('/'))) ++i;
            i += 2;
        } else if (c == QLatin1Char('?') || c == QLatin1Char(':') || c == QLatin1Char('@') ||
                   c == QLatin1Char(';')) {
            return false;  // parameters of its own, or more than one statement
        } else if (c == QLatin1Char('(')) {
            const auto& up = level.back();
            level.push_back({false, up.first || up.second});
            ++i;
        } else if (c == QLatin1Char(')')) {
            if (level.size() > 1) level.pop_back();
            ++i;
        } else if (IsDigit(c) || (c == QLatin1Char('.') && IsDigit(next))) {
            const int start = i;
            while (i < n && IsDigit(p[i])) ++i;
            bool whole = i > start;
            // a point, an exponent, a hexadecimal or a malformed number stays
            while (i < n && (IsIdentChar(p[i]) || p[i] == QLatin1Char('.') ||
                             ((p[i] == QLatin1Char('+') || p[i] == QLatin1Char('-')) &&
                              (p[i - 1] == QLatin1Char('e') || p[i - 1] == QLatin1Char('E'))))) {
                whole = false;
                ++i;
            }
            if (whole && i - start <= 18 && !level.back().first && !level.back().second) {
                shape.append(p + copied, start - copied);
                const qint64 value = QStringView(p + start, i - start).toLongLong();
                auto same = std::find(numbers.begin(), numbers.end(), value);
                if (same == numbers.end()) same = numbers.insert(numbers.end(), value);
                shape.append(QLatin1Char('?') + QString::number(same - numbers.begin() + 1));
                copied = i;
            }
        } else if (IsIdentChar(c)) {
            const int start = i;
            while (i < n && IsIdentChar(p[i])) ++i;
            const QStringView word(p + start, i - start);
            auto is = [](QStringView w, const char* keyword) {
                return w.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
            };
            if (firstWord) {
                firstWord = false;
                if (!is(word, "SELECT") && !is(word, "INSERT") && !is(word, "UPDATE") && !is(word, "DELETE") &&
                    !is(word, "WITH") && !is(word, "REPLACE"))
                    return false;
            }
            bool& here = level.back().first;
            if (is(word, "SELECT") || is(word, "RETURNING")) {
                here = true;
            } else if (is(word, "BY") && (is(prevWord, "ORDER") || is(prevWord, "GROUP"))) {
                here = true;
            } else if (is(word, "FROM") || is(word, "WHERE") || is(word, "HAVING") || is(word, "LIMIT") ||
                       is(word, "UNION") || is(word, "EXCEPT") || is(word, "INTERSECT") || is(word, "WINDOW") ||
                       is(word, "VALUES") || is(word, "SET")) {
                here = false;
            }
            prevWord = word;
        } else {
            ++i;
        }
    }
    if (numbers.empty() || numbers.size() > 100) return false;
    shape.append(p + copied, n - copied);
    return true;
}

bool OnlyBlanks(const char* p, const char* end) {
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') return false;
    return true;
}

}  // namespace

int SqliteEngine::prepare(const char* tail, int bytes, sqlite3_stmt** st, const char** next) {
    ++prepared_;
    return sqlite3_prepare_v2(db_, tail, bytes, st, next);
}

sqlite3_stmt* SqliteEngine::takeCached(const QString& sql) {
    auto it = cacheIndex_.find(sql);
    if (it == cacheIndex_.end()) return nullptr;
    sqlite3_stmt* st = it.value()->second;
    cache_.erase(it.value());
    cacheIndex_.erase(it);
    return st;
}

void SqliteEngine::keepCached(const QString& sql, sqlite3_stmt* st) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (cacheIndex_.contains(sql)) {
        sqlite3_finalize(st);
        return;
    }
    cache_.emplace_front(sql, st);
    cacheIndex_.insert(sql, cache_.begin());
    while (static_cast<int>(cache_.size()) > kStatementCacheSize) {
        cacheIndex_.remove(cache_.back().first);
        sqlite3_finalize(cache_.back().second);
        cache_.pop_back();
    }
}

void SqliteEngine::clearStatementCache() {
    for (auto& [sql, st] : cache_) sqlite3_finalize(st);
    cache_.clear();
    cacheIndex_.clear();
}

bool SqliteEngine::stepAll(sqlite3_stmt* st, DbRows* rows, QStringList* names) {
    // The columns are taken after the first step: a statement whose tables
    // changed is compiled again there.
    int cols = -1;
    bool collect = false;
    auto columns = [&] {
        cols = sqlite3_column_count(st);
        collect = rows && cols > 0;
        if (collect) {
            rows->clear();
            names->clear();
            for (int i = 0; i < cols; ++i) names->append(QString::fromUtf8(sqlite3_column_name(st, i)));
        }
    };
    ++roundTrips_;
    int rc;
    std::vector<DbValue> row;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (cols < 0) columns();
        if (!collect) continue;
        row.clear();
        row.reserve(cols);
        for (int i = 0; i < cols; ++i) {
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_NULL:
                row.emplace_back();
                break;
            case SQLITE_INTEGER:
                row.emplace_back(static_cast<qint64>(sqlite3_column_int64(st, i)));
                break;
            case SQLITE_FLOAT:
                // A binary fraction: the shortest decimal that reads back as
                // the same double, in plain digits (never "e-17"), so that an
                // amount reads as its nearest decimal value.
                row.emplace_back(QString::number(sqlite3_column_double(st, i), 'f',
                                                 QLocale::FloatingPointShortest));
                break;
            default: {
                const unsigned char* t = sqlite3_column_text(st, i);
                int n = sqlite3_column_bytes(st, i);
                row.emplace_back(QString::fromUtf8(reinterpret_cast<const char*>(t), n));
                break;
            }
            }
        }
        if (rowSink_) (*rowSink_)(row);
        else rows->push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        fail(rc);
        return false;
    }
    if (cols < 0) columns();
    return true;
}

bool SqliteEngine::runCached(const QString& key, sqlite3_stmt* st, const std::vector<qint64>& numbers,
                         DbRows* rows, QStringList* names) {
    for (size_t i = 0; i < numbers.size(); ++i) sqlite3_bind_int64(st, static_cast<int>(i + 1), numbers[i]);
    if (!stepAll(st, rows, names)) {
        sqlite3_finalize(st);
        return false;
    }
    keepCached(key, st);
    return true;
}

bool SqliteEngine::Run(const QString& sql, DbRows* rows, QStringList* names) {
    // A wait for another program's lock ends with its statement.
    struct EndLockWait {
        SqliteEngine& e;
        ~EndLockWait() { e.endLockWait(); }
    } endLockWait{*this};
    // A statement run before with this text, or with other numbers.
    QString shape;
    std::vector<qint64> numbers;
    const bool lifted = LiftNumbers(sql, shape, numbers);
    const QString& key = lifted ? shape : sql;
    if (sqlite3_stmt* st = takeCached(key)) return runCached(key, st, numbers, rows, names);
    if (lifted) {
        const QByteArray q = shape.toUtf8();
        sqlite3_stmt* st = nullptr;
        const char* next = nullptr;
        // What does not compile this way runs as written below, with the
        // error text of the statement as written.
        if (prepare(q.constData(), static_cast<int>(q.size()), &st, &next) == SQLITE_OK && st &&
            OnlyBlanks(next, q.constData() + q.size()) &&
            sqlite3_bind_parameter_count(st) == static_cast<int>(numbers.size()))
            return runCached(key, st, numbers, rows, names);
        sqlite3_finalize(st);
    }
    QByteArray q = sql.toUtf8();
    const char* tail = q.constData();
    const char* end = tail + q.size();
    bool first = true;
    while (tail < end) {
        sqlite3_stmt* st = nullptr;
        const char* next = nullptr;
        int rc = prepare(tail, static_cast<int>(end - tail), &st, &next);
        if (rc != SQLITE_OK) {
            fail(rc);
            sqlite3_finalize(st);
            return false;
        }
        const char* text = tail;
        tail = next;
        if (!st) continue;  // blank or comment
        const StatementKind kind = KindOf(text);
        // Statements compiled before a schema change are not used again.
        if (kind == StatementKind::Other) clearStatementCache();
        const bool whole = first && OnlyBlanks(next, end);
        first = false;
        if (!stepAll(st, rows, names)) {
            sqlite3_finalize(st);
            return false;
        }
        if (whole && kind == StatementKind::Rows) keepCached(sql, st);
        else sqlite3_finalize(st);
    }
    return true;
}
bool SqliteEngine::Each(const QString& sql, const std::function<void(const std::vector<DbValue>&)>& row) {
    struct Sink {
        SqliteEngine& e;
        ~Sink() { e.rowSink_ = nullptr; }
    } sink{*this};
    rowSink_ = &row;
    DbRows none;
    QStringList names;
    return Run(sql, &none, &names);
}

// BEGIN IMMEDIATE takes the write lock before anything is read, so what
// the transaction reads stays true until it commits.
bool SqliteEngine::BeginWrite() { return Run("BEGIN IMMEDIATE", nullptr, nullptr); }

bool SqliteEngine::InTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

// Another program replacing the file (a restore, a new demo book) leaves
// this connection writing into a file no one reads; a descriptor of the
// database closed elsewhere in the program (a file dialog reading the
// folder's files) gives up the locks that tell other programs this one is
// still there, and the last of them to end takes the write-ahead log away.
// Either way a write now would be lost: it is refused, before and after.
bool SqliteEngine::CheckBeforeWrite() {
    if (holdLost_.isEmpty() && !dbId_.IsEmpty()) {
        const QString restart = "\nデータベースを開き直すため、このプログラムを終了し、再度起動して下さい。";
        if (!(FileIdentity::Of(file_) == dbId_))
            holdLost_ = "データベースファイルが置き換えられたため、書き込めませんでした: " + file_ + restart;
        else if (!shmId_.IsEmpty() &&
                 (!(FileIdentity::Of(file_ + "-shm") == shmId_) || !FileHold::HoldsLock(shmId_)))
            holdLost_ = "データベースファイルとの接続が失われたため、書き込めませんでした: " + file_ + restart;
    }
    if (holdLost_.isEmpty()) return true;
    failure_ = DbFailure{adErrConnection, holdLost_, 0, holdLost_};
    failure_.fault = true;
    return false;
}

bool SqliteEngine::WriteRow(const QString& table, const QStringList& cols, const std::vector<DbValue>& vals,
                            DbValue& key) {
    QString sql;
    const bool insert = key.IsNull();
    if (insert) {
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i) marks << "?";
        sql = "INSERT INTO " + table + " (" + cols.join(", ") + ") VALUES (" + marks.join(", ") + ")";
    } else {
        QStringList sets;
        for (const QString& c : cols) sets << c + " = ?";
        sql = "UPDATE " + table + " SET " + sets.join(", ") + " WHERE rowid = ?";
    }
    sqlite3_stmt* st = takeCached(sql);
    int rc = SQLITE_OK;
    if (!st) {
        QByteArray q = sql.toUtf8();
        rc = prepare(q.constData(), static_cast<int>(q.size()), &st, nullptr);
    }
    if (rc == SQLITE_OK) {
        std::vector<QByteArray> keep;
        keep.reserve(vals.size());
        for (size_t i = 0; i < vals.size(); ++i) {
            if (vals[i].IsNull()) {
                sqlite3_bind_null(st, static_cast<int>(i + 1));
            } else {
                keep.push_back(vals[i].Text().toUtf8());
                sqlite3_bind_text(st, static_cast<int>(i + 1), keep.back().constData(),
                                  keep.back().size(), SQLITE_TRANSIENT);
            }
        }
        if (!insert) sqlite3_bind_int64(st, static_cast<int>(vals.size() + 1), key.Text().toLongLong());
        ++roundTrips_;
        rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK) {
        // The error is read before the statement goes.
        fail(rc);
        sqlite3_finalize(st);
        return false;
    }
    keepCached(sql, st);
    if (insert) key = DbValue(static_cast<qint64>(sqlite3_last_insert_rowid(db_)));
    return true;
}

bool SqliteEngine::TableNames(QStringList* out) {
    return names("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'", out);
}

bool SqliteEngine::IndexNames(QStringList* out) {
    return names("SELECT name FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite%'", out);
}
