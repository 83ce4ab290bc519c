// Moving a book from one database to another (an SQLite file onto a
// PostgreSQL server): every table of the schema, every row and column as
// stored, amounts as their exact decimal text.
#pragma once
#include "platform/DBAccess.h"

namespace BookMove {

// The tables of the schema, in the order they are made.
QStringList Tables();

// Copies the book `source` holds into `target` (both connected), in one
// transaction on the target: a target without tables gets them first; one
// with the tables has their rows replaced. A target that holds vouchers is
// refused unless `replace`. Afterwards, still inside that transaction, the
// row count of every table and every row of the balance tables must agree
// between source and target, or nothing is written. The source is read in
// one transaction of its own (its writers wait meanwhile) and left as it
// was. False with the reason (the first disagreement) in *error; *rows: the
// rows copied.
bool Move(DBAccess& source, DBAccess& target, bool replace, QString* error, qint64* rows = nullptr);

}  // namespace BookMove
