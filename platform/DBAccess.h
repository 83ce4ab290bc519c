// DBAccess: the programs' one gateway to the database (an embedded SQLite
// file), with ADO-like recordsets.
//
// What callers rely on:
//  - Connect() takes no argument: it reads the data-link file "DB.udl" in the
//    application folder (AppInfo::Folder()). Format, one line:
//        Provider=SQLite;Data Source=<file>
//    A relative <file> is relative to the application folder. Lines starting
//    with "[" or ";" are ignored; UTF-8 or UTF-16 (with BOM) text.
//    The file must exist; an existing empty file is a new database. A file
//    that is no SQLite database, or one with tables but no kSignatureTable
//    (another application's), is refused before anything is written to it.
//    So is, with a text that says why and names the file, a database that
//    another program holds (after a wait of a few seconds at most), one the
//    user may not write or whose folder he may not write (the write-ahead
//    log lies beside it), and a damaged one.
//    Commits are durable (WAL, synchronous=FULL).
//  - Before every write (the first statement of a transaction, or a
//    statement outside one) the connection checks that it still holds the
//    file it opened: the path names the same file (not one replaced under
//    it, as by a restore) and the program still holds its locks on the
//    database's shared-memory file (nothing in the program closed a
//    descriptor of it). When not, the write is refused before anything is
//    written, DatabaseFault() is true and ErrorText() says that the program
//    must be started again; every later write is refused the same way.
//  - OpenRecordset() returns every row at once, so RecordCount() is true
//    before the first row is read; Eof() is true at once for an empty result.
//    A failing statement throws AppError (number = ErrorNumber()). A value
//    stored as a binary fraction (REAL) reads as the shortest decimal text
//    that gives the same double, in plain digits ("0.1", never "1e-17").
//  - OpenUpdatable() takes a single-table "SELECT ... FROM <table> ..."; the
//    rows can be changed by field assignment, new rows by AddNew(); Update()
//    writes the current row back.
//  - Execute() returns false on any error, ErrorText() then describes it. A
//    statement whose first word is no SQL verb is a stored-procedure call
//    "name arg, arg, ...", run from the procedures registered with
//    RegisterProcedure(); an unknown name fails.
//  - A single statement run again with the same text (SELECT, INSERT,
//    UPDATE, DELETE, also those of the stored procedures and of Update()),
//    or with the same text but other whole numbers in its conditions and
//    values, is taken from a cache of prepared statements instead of being
//    compiled anew; results, column names, errors and transactions are
//    those of a fresh statement.
//    The cache is emptied when a statement that may change the schema runs
//    (CREATE, DROP, ALTER, ...) and on Disconnect(); a statement whose
//    tables another program changed is compiled again by the database.
//  - Whole numbers come back as integer values (DbValue::IsInteger()),
//    their text made on demand.
//  - BeginTrans() only marks the transaction begun; its first statement
//    (OpenRecordset, OpenUpdatable, Execute or an Update) begins it on the
//    database and takes the write lock there (BEGIN IMMEDIATE: concurrent
//    writers wait for each other up to the busy timeout). Nothing is held
//    while the caller asks the user something before its first statement.
//    When the lock cannot be had, that statement fails (Execute false,
//    the others throw AppError). A transaction without any statement commits
//    or rolls back as nothing. Transactions never nest: a second
//    BeginTrans() throws AppError.
//  - A database that cannot be opened or read reports ErrorNumber()
//    0x80004005 (lost connection); other statement errors 0x80040E14.
//  - DateLiteral("yyyy/mm/dd") gives 'yyyy-mm-dd'; SqlText() quotes a text
//    with "'" doubled; control characters that a text column cannot hold
//    (NUL and the like; tab and line breaks stay) are left out.
#pragma once
#include "platform/AppError.h"
#include "platform/DbValue.h"
#include "platform/FileHold.h"

#include <QString>
#include <QHash>
#include <QStringList>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

class DBAccess;
class DbEngine;
class Recordset;

// Error numbers are Longs (signed 32-bit), as the programs show them.
constexpr long adErrConnection = static_cast<qint32>(0x80004005u);
constexpr long adErrCommand = static_cast<qint32>(0x80040E14u);
// The table every database of this system has.
constexpr const char* kSignatureTable = "SCHEMA_INFO";
constexpr long adErrItemNotFound = 3265;

// A column of the current row of a recordset.
class Field {
public:
    Field(Recordset* rs, int index) : rs_(rs), index_(index) {}
    DbValue Value() const;
    QString Name() const;
    // Assignment (updatable recordsets only).
    Field& operator=(const QString& text);
    Field& operator=(qint64 number);
    Field& operator=(const DbValue& value);

private:
    Recordset* rs_;
    int index_;
};

class Recordset {
public:
    enum { adStateClosed = 0, adStateOpen = 1 };
    ~Recordset();
    bool Eof() const;
    void MoveNext();
    long RecordCount() const;
    int State() const { return open_ ? adStateOpen : adStateClosed; }
    void Close();
    int FieldCount() const;
    Field Fields(const QString& name);   // case-insensitive; throws AppError 3265
    Field Fields(int index);              // 0-based
    // Updatable recordsets only.
    void AddNew();
    void Update();

private:
    friend class DBAccess;
    friend class Field;
    Recordset() = default;
    int indexOf(const QString& name) const;
    void checkRow() const;
    DbValue get(int index) const;
    void set(int index, const DbValue& v);

    DBAccess* db_ = nullptr;
    bool open_ = true;
    bool updatable_ = false;
    QString table_;
    QStringList names_;
    std::vector<std::vector<DbValue>> rows_;
    std::vector<DbValue> rowKeys_;        // updatable: the key of each row, Null for a new row
    std::vector<bool> dirty_;
    size_t pos_ = 0;
};

using RecordsetPtr = std::unique_ptr<Recordset>;

class DBAccess {
public:
    // A stored procedure of the database side: receives its arguments as
    // text; returns false after SetError() on failure.
    using Procedure = std::function<bool(DBAccess& db, const QStringList& args)>;

    DBAccess();
    ~DBAccess();
    DBAccess(const DBAccess&) = delete;
    DBAccess& operator=(const DBAccess&) = delete;

    bool Connect();
    void Disconnect();
    bool IsConnected() const { return engine_ != nullptr; }
    RecordsetPtr OpenRecordset(const QString& sql);
    RecordsetPtr OpenUpdatable(const QString& sql);
    // Runs a SELECT and hands each row to `row` as the database gives it,
    // without keeping them (a long list read straight into its window). The
    // values are those OpenRecordset gives; the vector is reused for the
    // next row. Errors as OpenRecordset.
    void ForEachRow(const QString& sql, const std::function<void(const std::vector<DbValue>&)>& row);
    bool Execute(const QString& sql);
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    bool InTransaction() const;
    QString DateLiteral(const QString& dateText) const;
    long ErrorNumber() const { return errNumber_; }
    QString ErrorText() const { return errText_; }
    long AdoErrorNumber() const { return driverNumber_; }
    QString AdoErrorDescription() const { return driverText_; }
    QString SqlText(const QString& value) const;

    // Where the data-link file is read from (default: application folder).
    void SetDataLinkFile(const QString& path) { udlPath_ = path; }
    QString DataLinkFile() const;
    // The database file named by the data-link file (after Connect()).
    QString DatabaseFile() const { return dbFile_; }
    // Whether the connection is to a database file (not a server).
    bool IsFileDatabase() const { return engine_ != nullptr && fileDb_; }
    // Connects straight to a database file (tools and tests).
    bool ConnectFile(const QString& file, bool create = false);
    // Whether an existing empty file may be connected to (to become a new
    // database); when not, it is refused and left empty, and
    // EmptyFileRefused() says that this was why.
    void SetEmptyFileAllowed(bool allowed) { emptyAllowed_ = allowed; }
    bool EmptyFileRefused() const { return emptyRefused_; }

    void RegisterProcedure(const QString& name, Procedure proc);
    void SetError(long number, const QString& text, long driverNumber = 0,
                  const QString& driverText = QString());
    void ClearError();
    // Milliseconds a statement waits for another program's lock.
    void SetBusyTimeout(int ms);
    // Called while a statement waits for another program's lock, about
    // every 50 ms, with the milliseconds of the wait left (the whole wait
    // stays the busy timeout), and once with -1 when that statement goes
    // on or gives up. An empty function: the statement waits unseen.
    void SetLockWaitHandler(std::function<void(int msLeft)> handler);
    // The last error was a full disk (or a database at its size limit):
    // nothing was written; the same save succeeds once there is room.
    bool DiskFull() const { return diskFull_; }
    // The last error lay in the database itself, not in the statement: held
    // by another program, not writable (ErrorText() names the file, or its
    // folder), full, or damaged. ErrorText() says which in words; nothing in
    // what was asked for is to blame.
    bool DatabaseFault() const { return dbFault_; }
    // Called once when an open database turns out to be damaged (pages that
    // cannot be read); the programs end there.
    void SetDamagedHandler(std::function<void()> handler) { damagedHandler_ = std::move(handler); }
    // Statements compiled since the program started (diagnostics).
    long StatementsPrepared() const;
    // Calls that waited for the database since the program started: round
    // trips to a server, statements run on a database file (diagnostics;
    // what decides the time over a network).
    long RoundTrips() const;
    // The last error was a clash with a unique key (a row of that key is
    // there already).
    bool UniqueClash() const { return uniqueClash_; }
    // The names of the book's tables and of its indexes (as the database
    // spells them; compare without regard to case). Throw AppError.
    QStringList TableNames();
    QStringList IndexNames();
    // A fault at the database's own commit (tests): asked at every commit
    // that would write, of a transaction and of a statement outside one,
    // after every statement before it succeeded. A non-zero SQLite result
    // code (SQLITE_FULL, SQLITE_IOERR, ...) makes that commit fail with that
    // error, as the database reports it, and nothing is written; 0 lets it
    // commit. An empty function removes the fault.
    void SetCommitFault(std::function<int()> fault);

private:
    friend class Recordset;
    // Takes the engine's error as the connection's (false).
    bool engineFailed();
    bool callProcedure(const QString& sql, bool& handled);
    bool checkConnected();
    bool beginPending();
    // BeginTrans() was called and no statement has begun it yet.
    bool beginPending_ = false;
    // Connects to the opened engine, or keeps its error (false).
    bool adopt(std::unique_ptr<DbEngine> engine, bool opened);

    std::unique_ptr<DbEngine> engine_;
    QString udlPath_;
    QString dbFile_;
    int busyMs_ = 30000;
    long errNumber_ = 0;
    QString errText_;
    long driverNumber_ = 0;
    QString driverText_;
    std::map<QString, Procedure> procs_;  // keys upper case
    bool diskFull_ = false;
    bool dbFault_ = false;
    bool uniqueClash_ = false;
    bool emptyAllowed_ = true;
    bool emptyRefused_ = false;
    std::function<void()> damagedHandler_;
    std::function<int()> commitFault_;
    std::function<void(int)> lockWait_;
    bool fileDb_ = false;
    long prepared_ = 0;  // by connections closed before
    long roundTrips_ = 0;  // likewise
};

// The text without the control characters a text column cannot hold (NUL
// and the like); tab and line breaks stay.
QString StorableText(const QString& text);

// A transaction that rolls back unless Commit() was called.
class DBTransaction {
public:
    explicit DBTransaction(DBAccess& db) : db_(db) { db_.BeginTrans(); }
    ~DBTransaction() {
        if (!done_) {
            try { db_.RollbackTrans(); } catch (...) {}
        }
    }
    void Commit() { db_.CommitTrans(); done_ = true; }
    void Rollback() { db_.RollbackTrans(); done_ = true; }
    DBTransaction(const DBTransaction&) = delete;
    DBTransaction& operator=(const DBTransaction&) = delete;

private:
    DBAccess& db_;
    bool done_ = false;
};
