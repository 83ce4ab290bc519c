// SqliteEngine: the book in an SQLite file (see DbEngine.h for what
// DBAccess relies on).
//
// Beyond that:
//  - Open() refuses, before anything is written, a file that is no SQLite
//    database, one of another application (tables but no kSignatureTable),
//    one held by another program (after a few seconds), one the user may
//    not write (or whose folder he may not write: the write-ahead log lies
//    beside it), and a damaged one; an empty file only where allowed.
//    Commits are durable (WAL, synchronous=FULL).
//  - CheckBeforeWrite() refuses every write from the moment the path names
//    another file than the one opened, or the program no longer holds its
//    locks on the shared-memory file.
//  - Statements are kept prepared (200 at most, most recently used first),
//    also those differing only in their whole numbers (bound instead); the
//    cache is emptied by any statement that may change the schema.
//  - BeginWrite() is BEGIN IMMEDIATE.
#pragma once
#include "platform/DbEngine.h"
#include "platform/FileHold.h"

#include <QHash>
#include <list>

struct sqlite3;
struct sqlite3_stmt;

class SqliteEngine : public DbEngine {
public:
    SqliteEngine(int busyMs) : busyMs_(busyMs) {}
    ~SqliteEngine() override { Close(); }
    // False with Failure() set; *emptyRefused when an empty file was not
    // allowed.
    bool Open(const QString& file, bool create, bool emptyAllowed, bool* emptyRefused);

    bool Run(const QString& sql, DbRows* rows, QStringList* names) override;
    bool Each(const QString& sql, const std::function<void(const std::vector<DbValue>&)>& row) override;
    bool BeginWrite() override;
    bool InTransaction() const override;
    bool CheckBeforeWrite() override;
    QString RowKey() const override { return "rowid"; }
    bool WriteRow(const QString& table, const QStringList& columns, const std::vector<DbValue>& values,
                  DbValue& key) override;
    bool TableNames(QStringList* names) override;
    bool IndexNames(QStringList* names) override;
    void SetBusyTimeout(int ms) override;
    void SetLockWaitHandler(const std::function<void(int)>* handler) override;
    void Close() override;
    QString Name() const override { return file_; }
    long Prepared() const override { return prepared_; }
    void SetCommitFault(const std::function<int()>* fault) override;

private:
    bool fail(int rc);
    sqlite3_stmt* takeCached(const QString& sql);
    void keepCached(const QString& sql, sqlite3_stmt* st);
    void clearStatementCache();
    int prepare(const char* tail, int bytes, sqlite3_stmt** st, const char** next);
    bool runCached(const QString& key, sqlite3_stmt* st, const std::vector<qint64>& numbers, DbRows* rows,
                   QStringList* names);
    bool stepAll(sqlite3_stmt* st, DbRows* rows, QStringList* names);
    static int onCommit(void* self);
    static int onBusy(void* self, int count);
    void endLockWait();
    const std::function<void(int)>* lockWait_ = nullptr;
    // While Each() runs: where the rows go instead of the row list.
    const std::function<void(const std::vector<DbValue>&)>* rowSink_ = nullptr;
    bool lockWaiting_ = false;
    qint64 lockWaitStartMs_ = 0;

    sqlite3* db_ = nullptr;
    QString file_;
    int busyMs_;
    // The longest wait for another program's lock while connecting.
    static constexpr int kConnectBusyMs = 3000;
    bool open_ = false;  // connected and known to be this system's database
    FileIdentity dbId_;   // the database file as opened
    FileIdentity shmId_;  // its shared-memory file, when locked by us
    QString holdLost_;    // why writes are refused from now on
    const std::function<int()>* commitFault_ = nullptr;
    int commitFaultRc_ = 0;  // the code the fault gave the failing commit
    long prepared_ = 0;
    static constexpr int kStatementCacheSize = 200;
    using CachedStatement = std::pair<QString, sqlite3_stmt*>;
    std::list<CachedStatement> cache_;
    QHash<QString, std::list<CachedStatement>::iterator> cacheIndex_;
};
