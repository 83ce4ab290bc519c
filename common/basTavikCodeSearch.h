// The call of the code search window and the values it hands back.
#pragma once
#include <QString>
#include <QVariant>

namespace basTavik {

// The values of the row chosen in the last code search: element 0 the code,
// the others the further columns of that row (element 1 the name, for "TEK"
// the description text; element 2 for "TAN" the person's name); see
// platform/CodeSearch.h for every kind's columns. All empty (invalid
// QVariant) after a search closed without a choice.
extern QVariant gvarSearchResult[20];

// Erases gvarSearchResult, runs the code search window of `kind` ("KMK",
// "HK1", "HK2", "ZEI", "TRI", "TEK", "TAN") with the ten parameters (numbers
// or their decimal text) on the database of "DB.udl" in the application
// folder, and copies the chosen row's 20 items into gvarSearchResult.
// True when a row was chosen; any error ends it silently with False.
bool FncShowCodeSearch(const QString& kind, QVariant p1 = QString(), QVariant p2 = QString(),
                       QVariant p3 = QString(), QVariant p4 = QString(), QVariant p5 = QString(),
                       QVariant p6 = QString(), QVariant p7 = QString(), QVariant p8 = QString(),
                       QVariant p9 = QString(), QVariant p10 = QString());

}  // namespace basTavik
