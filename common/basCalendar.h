// Holiday lists for the drop-down calendars of the date fields, and the
// classification of date numbers they rely on.
#pragma once
#include <QString>

namespace basCalendar {

// The holiday list handed to a date field's calendar when it shows no
// holiday of its own period from CRNMF.
extern const char* const gstrDefaultHolidays;  // "1/1,1/15,2/11,..."

// The holidays of a period as "MM/DD" items joined by ",", in the order the
// database returns them: n = 0 the current year, a year YYYY, a month YYYYMM
// (only that month) or a day YYYYMMDD (its year). The fixed default list when
// CRNMF has no row for the period; "" without a query when n is neither 0 nor
// a valid date number; "" after the common error report on a database error.
QString fncGetHolidayList(long n);

// True when n is a date number naming a real date: YYYY (as 1 January),
// YYYYMM (as day 1) or YYYYMMDD. 0, other lengths and negatives: False.
bool fncIsDateNumber(long n);

// 1 for 4 digits, 2 for 6, 3 for 8; 0 for 0, any other length and negatives.
long fncDateNumberKind(long n);

}  // namespace basCalendar
