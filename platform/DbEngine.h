// DbEngine: what DBAccess asks of the database it is connected to (an
// SQLite file, see SqliteEngine.h, or a PostgreSQL server, see
// PostgresEngine.h). Only DBAccess uses it; callers see DBAccess alone.
//
// What DBAccess relies on:
//  - Run() runs the statements of a text in order and stops at the first
//    that fails; the rows and column names are those of the statement that
//    returned columns (all rows at once). Whole numbers come back as
//    integer DbValues; exact decimals as their shortest text.
//  - A failing call returns false and leaves in Failure() what the error
//    is, in words the programs show (number, text, the driver's own number
//    and text) and what kind: a full disk, a fault of the database itself
//    (in use, not writable, full, damaged), a damaged database that was
//    open, a clash with a unique key.
//  - BeginWrite() begins a transaction and takes the writers' lock of the
//    book: writers wait for each other up to the busy timeout, then fail
//    with the in-use text (a fault).
//  - RowKey() is an expression a single-table SELECT can add to name each
//    row; WriteRow() writes a row back by that key (or inserts it when the
//    key is Null) and gives the row's key afterwards.
//  - CheckBeforeWrite() is asked before the first write of a transaction or
//    a write outside one; false refuses it (Failure() says why).
#pragma once
#include "platform/DbValue.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

using DbRows = std::vector<std::vector<DbValue>>;

struct DbFailure {
    long number = 0;
    QString text;
    long driverNumber = 0;
    QString driverText;
    bool diskFull = false;
    bool fault = false;
    bool damaged = false;
    bool uniqueClash = false;
};

class DbEngine {
public:
    virtual ~DbEngine() = default;
    virtual bool Run(const QString& sql, DbRows* rows, QStringList* names) = 0;
    // Runs one statement and hands each row to `row` as it comes, instead of
    // keeping them all; by default they are read whole first.
    virtual bool Each(const QString& sql, const std::function<void(const std::vector<DbValue>&)>& row) {
        DbRows rows;
        QStringList cols;
        if (!Run(sql, &rows, &cols)) return false;
        for (const auto& r : rows) row(r);
        return true;
    }
    virtual bool BeginWrite() = 0;
    virtual bool InTransaction() const = 0;
    virtual bool CheckBeforeWrite() { return true; }
    virtual QString RowKey() const = 0;
    virtual bool WriteRow(const QString& table, const QStringList& columns, const std::vector<DbValue>& values,
                          DbValue& key) = 0;
    // The names of the book's tables and indexes.
    virtual bool TableNames(QStringList* names) = 0;
    virtual bool IndexNames(QStringList* names) = 0;
    virtual void SetBusyTimeout(int ms) = 0;
    // Told while a statement waits for another program's lock (see
    // DBAccess::SetLockWaitHandler); null: the statement waits unseen. An
    // engine that cannot tell the wait as it goes leaves it unseen.
    virtual void SetLockWaitHandler(const std::function<void(int)>* handler) { (void)handler; }
    // Rolls back what is open and closes the connection.
    virtual void Close() = 0;
    // The database as messages name it (the file, or server and database).
    virtual QString Name() const = 0;
    // Statements compiled so far.
    virtual long Prepared() const = 0;
    // Calls that waited for the database's answer so far: round trips to a
    // server, statements run on a file.
    long RoundTrips() const { return roundTrips_; }
    // A fault at the commit (tests; SQLite only).
    virtual void SetCommitFault(const std::function<int()>* fault) { (void)fault; }
    const DbFailure& Failure() const { return failure_; }

protected:
    // The first column of a statement's rows, as text.
    bool names(const char* sql, QStringList* out) {
        DbRows rows;
        QStringList cols;
        if (!Run(sql, &rows, &cols)) return false;
        out->clear();
        for (const auto& r : rows) *out << r[0].Text();
        return true;
    }
    DbFailure failure_;
    long roundTrips_ = 0;
};
