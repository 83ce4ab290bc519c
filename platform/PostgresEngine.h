// PostgresEngine: the book in a database of a PostgreSQL server, reached
// through libpq (see DbEngine.h for what DBAccess relies on), so that the
// clerks of several computers keep one book.
//
// Beyond that:
//  - Open() gives up after a few seconds when the server cannot be
//    reached, and says in words which server and database and why (not
//    reachable, login refused, no such database). A database holding
//    tables but no kSignatureTable (another application's) is refused and
//    left unchanged; an empty one only where allowed.
//  - Every statement is sent as written, in one round trip (nothing kept
//    prepared: another program changing a table never makes one fail).
//    Whole numbers (also NUMERIC values without a fraction, as SUM gives
//    them) come back as integer DbValues, other NUMERIC values as their
//    exact decimal text without trailing zeros, truth values as 1 and 0.
//  - BeginWrite() begins the transaction, sets the lock wait to the busy
//    timeout and takes the book's one transaction-level lock, in one round
//    trip: writers of every computer follow each other as on SQLite, and
//    none deadlocks with another. With a lock-wait handler set, a lock
//    another program holds is asked for again about every 50 ms, the
//    handler told the milliseconds left each time and -1 at the end, up
//    to the busy timeout (then the in-use text).
//  - Rows are written back by their physical row address (ctid).
//  - A connection the server ended, or one lost on the network, reports
//    adErrConnection; a lock not had in time the in-use text; no right to
//    write "データベースに書き込めません" naming the database; a full disk
//    as DiskFull(); a duplicate key as a unique clash.
#pragma once
#include "platform/DbEngine.h"

struct pg_conn;
struct pg_result;

struct PostgresTarget {
    QString host;
    QString port;  // empty: the server's default
    QString database;
    QString user;
    QString password;
    bool hasPassword = false;  // without: the password file and environment
};

class PostgresEngine : public DbEngine {
public:
    explicit PostgresEngine(int busyMs) : busyMs_(busyMs) {}
    ~PostgresEngine() override { Close(); }
    bool Open(const PostgresTarget& target, bool emptyAllowed, bool* emptyRefused);

    bool Run(const QString& sql, DbRows* rows, QStringList* names) override;
    bool BeginWrite() override;
    bool InTransaction() const override;
    QString RowKey() const override { return "ctid"; }
    bool WriteRow(const QString& table, const QStringList& columns, const std::vector<DbValue>& values,
                  DbValue& key) override;
    bool TableNames(QStringList* names) override;
    bool IndexNames(QStringList* names) override;
    void SetBusyTimeout(int ms) override { busyMs_ = ms; }
    void SetLockWaitHandler(const std::function<void(int)>* handler) override { lockWait_ = handler; }
    void Close() override;
    QString Name() const override { return name_; }
    long Prepared() const override { return sent_; }

    // Seconds Open() waits for the server.
    static constexpr int kConnectTimeoutSeconds = 5;
    // The key of the book's writers' lock.
    static constexpr long long kBookLockKey = 0x5441564B424F4F4BLL;

private:
    // Begins a transaction holding the writers' lock.
    QString beginText() const;
    // The same, telling the lock-wait handler while another program holds
    // the lock.
    bool beginTold();
    // Ends the open transaction, whatever it did.
    void rollback();
    // Failure() from an error result (false).
    bool mapError(const pg_result* r);
    pg_conn* conn_ = nullptr;
    QString name_;
    int busyMs_;
    long sent_ = 0;
    const std::function<void(int)>* lockWait_ = nullptr;
};
