// Small helpers for the idioms every module uses: the leading number of a
// text, dates and date numbers, calendar-month arithmetic, and formats.
#pragma once
#include "platform/Currency.h"
#include "platform/DbValue.h"

#include <QDate>
#include <QString>

// The leading number of a text (blanks skipped, optional sign, digits, a
// fraction and an exponent); 0 when the text does not start with a number.
// "1,000" reads 1, "1e3" 1000.
double Val(const QString& text);
// A whole number read from the database gives the same without its text.
inline double Val(const DbValue& v) { return v.IsInteger() ? static_cast<double>(v.Integer()) : Val(v.Text()); }
// Val rounded to a whole number (codes, date numbers); 0 outside the range
// of a Long.
long ValLng(const QString& text);
inline long ValLng(const DbValue& v) {
    if (!v.IsInteger()) return ValLng(v.Text());
    const qint64 n = v.Integer();
    return n > 2147483647 || n < -2147483648LL ? 0 : static_cast<long>(n);
}
// The leading number as exact money.
inline Currency ValCur(const QString& text) { return Currency::FromText(text); }
inline Currency ValCur(const DbValue& v) {
    return v.IsInteger() ? Currency::FromWhole(v.Integer()) : Currency::FromText(v.Text());
}

// True when the text is a date ("yyyy/m/d" or "yyyy-m-d", with or without a
// time after a blank).
bool IsDate(const QString& text);
// The date of such a text; an invalid QDate when it is none.
QDate DateValue(const QString& text);
// True when the text is a number (optional sign, digits, one point).
bool IsNumeric(const QString& text);

// A date as its date number yyyymmdd, and a month as yyyymm.
long DateNumber(const QDate& d);
long MonthNumber(const QDate& d);
// DateAdd("m", n, d): the same day n calendar months on, clamped to the end
// of the month.
QDate AddMonths(const QDate& d, int n);
// DateDiff("m", a, b): calendar months from a to b.
int MonthsBetween(const QDate& a, const QDate& b);
// Today (tests may fix it with SetToday()).
QDate Today();
void SetToday(const QDate& d);

// "###,###,###,##0" of an amount.
inline QString FormatAmount(Currency c) { return c.Formatted(); }
