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
// - Next(max) gives up to max further rows, fewer only at the end; values
//   as OpenRecordset gives them (whole numbers as integers, NULL as Null).
// - Ending the cursor early (destroying it) is allowed at any time.
// - On a database server the rows are read at once through the program's
//   own connection and handed out a batch at a time.
#pragma once
#include "platform/DbValue.h"

#include <QString>
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

    bool AtEnd() const { return done_; }
    std::vector<std::vector<DbValue>> Next(int max);

private:
    [[noreturn]] void Fail(long number);
    void Step();

    sqlite3* db_ = nullptr;
    sqlite3_stmt* st_ = nullptr;
    bool done_ = false;
    std::vector<std::vector<DbValue>> whole_;  // a server's rows
    size_t next_ = 0;
};
