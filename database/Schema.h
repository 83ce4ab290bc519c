// The database side of the data-access layer: the tables, the voucher view,
// the indexes and the stored procedures of the system.
#pragma once
#include "platform/DBAccess.h"

namespace Schema {

constexpr int Version = 1;

// Gives a new, empty database every table (recording the schema version)
// and registers the stored procedures on the connection. False with the
// connection's error set when the database cannot be prepared, or when it
// was made by a newer version of the programs. An existing database gets
// the indexes added since it was made.
bool Prepare(DBAccess& db);
// The CREATE statements of the whole schema.
QString CreateStatements();
// The indexes added since the first databases were made. The new schema
// has them; Prepare() adds those an existing database lacks.
QString LaterIndexStatements();
// Registers sp_KMZMF_ADD and the other balance procedures.
void RegisterProcedures(DBAccess& db);

}  // namespace Schema
