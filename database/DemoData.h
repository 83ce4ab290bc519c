// The demo database: masters of a small Japanese organisation, fiscal years
// around a given day, and opening balances, for people trying the programs.
#pragma once
#include "platform/DBAccess.h"

#include <QDate>

namespace DemoData {

// Fills a database that has the schema but no rows. False with the
// connection's error set on failure (nothing is left half-written).
bool Fill(DBAccess& db, const QDate& today);

}  // namespace DemoData
