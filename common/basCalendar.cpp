#include "common/basCalendar.h"

#include "common/basStdComm.h"
#include "platform/VbCompat.h"

#include <QDate>
#include <QStringList>

using namespace basStdComm;

namespace basCalendar {

const char* const gstrDefaultHolidays = "1/1,1/15,2/11,4/29,5/3,5/4,5/5,7/20,9/15,10/10,11/3,11/23,12/23";

long fncDateNumberKind(long n) {
    if (n >= 1000 && n <= 9999) return 1;
    if (n >= 100000 && n <= 999999) return 2;
    if (n >= 10000000 && n <= 99999999) return 3;
    return 0;
}

bool fncIsDateNumber(long n) {
    long x;
    switch (fncDateNumberKind(n)) {
    case 1: x = n * 10000 + 101; break;
    case 2: x = n * 100 + 1; break;
    case 3: x = n; break;
    default: return false;  // Format(x, "0000/00/00") of any other length is no date
    }
    return QDate(static_cast<int>(x / 10000), static_cast<int>(x / 100 % 100), static_cast<int>(x % 100)).isValid();
}

QString fncGetHolidayList(long n) {
    if (n != 0 && !fncIsDateNumber(n)) return QString();
    try {
        QString period;
        switch (fncDateNumberKind(n)) {
        case 0: period = Today().toString("yyyy"); break;
        case 1:
        case 2: period = QString::number(n); break;
        default: period = QString::number(n).left(4); break;
        }
        gstrSQL = "SELECT SUBSTR(CAST(CRN_DT AS TEXT), 5, 2) || '/' || SUBSTR(CAST(CRN_DT AS TEXT), 7, 2) AS dtMD";
        gstrSQL += " FROM CRNMF";
        gstrSQL += " WHERE CAST(CRN_DT AS TEXT) LIKE '" + period + "%'";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) return QString::fromLatin1(gstrDefaultHolidays);
        QStringList items;
        while (!rs->Eof()) {
            items << rs->Fields("dtMD").Value().Text();
            rs->MoveNext();
        }
        return items.join(',');
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return QString();
    }
}

}  // namespace basCalendar
