#include "platform/VbCompat.h"

#include <QRegularExpression>
#include <cmath>

namespace {
QDate g_today;
}

double Val(const QString& text) {
    int i = 0, n = text.size();
    while (i < n && text[i].isSpace()) ++i;
    int start = i;
    if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
    int digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') { ++i; ++digits; }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') { ++i; ++digits; }
    }
    if (digits == 0) return 0;
    // An exponent is part of the number ("2.5e-3"), not its end.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        int j = i + 1;
        if (j < n && (text[j] == '-' || text[j] == '+')) ++j;
        int expDigits = 0;
        while (j < n && text[j] >= '0' && text[j] <= '9') { ++j; ++expDigits; }
        if (expDigits > 0) i = j;
    }
    return text.mid(start, i - start).toDouble();
}

long ValLng(const QString& text) {
    double v = Val(text);
    // CLng rounds half to even.
    double r = std::nearbyint(v);
    if (r > 2147483647.0 || r < -2147483648.0) return 0;
    return static_cast<long>(r);
}

QDate DateValue(const QString& text) {
    QString t = text.trimmed().section(' ', 0, 0);
    static const QRegularExpression re("^(\\d{1,4})[/-](\\d{1,2})[/-](\\d{1,2})$");
    auto m = re.match(t);
    if (!m.hasMatch()) return QDate();
    int y = m.captured(1).toInt();
    if (m.captured(1).size() < 3) y += (y < 30 ? 2000 : 1900);
    return QDate(y, m.captured(2).toInt(), m.captured(3).toInt());
}

bool IsDate(const QString& text) { return DateValue(text).isValid(); }

bool IsNumeric(const QString& text) {
    static const QRegularExpression re("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)\\s*$");
    return re.match(text).hasMatch();
}

long DateNumber(const QDate& d) { return d.isValid() ? d.year() * 10000L + d.month() * 100 + d.day() : 0; }
long MonthNumber(const QDate& d) { return d.isValid() ? d.year() * 100L + d.month() : 0; }

QDate AddMonths(const QDate& d, int n) { return d.addMonths(n); }

int MonthsBetween(const QDate& a, const QDate& b) {
    return (b.year() - a.year()) * 12 + (b.month() - a.month());
}

QDate Today() { return g_today.isValid() ? g_today : QDate::currentDate(); }
void SetToday(const QDate& d) { g_today = d; }
