// The database side of the data-access layer: the tables, the voucher view,
// the indexes and the stored procedures of the system.
#pragma once
#include "platform/DBAccess.h"

namespace Schema {

constexpr int Version = 2;

// Gives a new, empty database every table (recording the schema version)
// and registers the stored procedures on the connection. False with the
// connection's error set when the database cannot be prepared, or when it
// was made by a newer version of the programs. A database of an older
// version is brought up to this one.
bool Prepare(DBAccess& db);
// The CREATE statements of the whole schema.
QString CreateStatements();
// The statements that bring a database of the given version up to Version
// (what later versions added: indexes). The new schema runs them too.
QString UpgradeStatements(int version);
// Registers sp_KMZMF_ADD and the other balance procedures.
void RegisterProcedures(DBAccess& db);

}  // namespace Schema
