// RowCursor: the rows of one SELECT taken a batch at a time, for lists too
// long to read whole before the first is shown. It reads over a read-only
// connection of its own to the database file of the program's connection,
// so it sees what was committed when it began and holds no lock the
// program's own writes wait for.
//
// What callers rely on:
// - The constructor runs the statement up to its first row; a statement or
//   database that fails throws AppError (adErrCommand, or adErrConnection
//   when the file cannot be opened), as OpenRecordset does.
// - Next(max, take) hands up to max further rows to take, fewer only at
//   the end; a row's values are as OpenRecordset gives them (whole numbers
//   as integers, NULL as Null), read from the row without copies.
// - Ending the cursor early (destroying it) is allowed at any time.
// - On a database server the rows are read at once through the program's
//   own connection and handed out a batch at a time.
// - On a file the cursor uses nothing but its own connection: once made,
//   it may be moved on by another thread (one at a time).
#pragma once
#include "platform/DbValue.h"

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class DBAccess;
struct sqlite3;
struct sqlite3_stmt;

class RowCursor {
public:
    RowCursor(DBAccess& db, const QString& sql);
    ~RowCursor();
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // The row the cursor stands on.
    class Row {
    public:
        bool IsInteger(int column) const;
        // The number of an integer value (0 for any other).
        qint64 Integer(int column) const;
        DbValue Value(int column) const;
        // The value's text as UTF-8 (empty for Null); good until the next row.
        std::string_view Utf8(int column) const;

    private:
        friend class RowCursor;
        sqlite3_stmt* st_ = nullptr;
        const std::vector<DbValue>* values_ = nullptr;
        mutable std::vector<std::string> scratch_;
    };

    // Cursors for the statements that all read the book as it stood at one
    // moment, as one statement would. On a file each cursor reads on its own
    // connection; when another program commits while they are being opened,
    // they are opened again. Empty when no such moment was found in a few
    // tries (a book being written to without pause): the caller then asks
    // one statement instead.
    static std::vector<std::unique_ptr<RowCursor>> OpenAtOneMoment(DBAccess& db, const std::vector<QString>& sqls);

    bool AtEnd() const { return done_; }
    // True when the rows come from a connection of the cursor's own.
    bool OwnConnection() const { return st_ != nullptr; }
    // Up to max further rows handed to take; the number handed.
    int Next(int max, const std::function<void(const Row&)>& take);

private:
    [[noreturn]] void Fail(long number);
    void Step();

    sqlite3* db_ = nullptr;
    sqlite3_stmt* st_ = nullptr;
    bool done_ = false;
    std::vector<std::vector<DbValue>> whole_;  // a server's rows
    size_t next_ = 0;
};
