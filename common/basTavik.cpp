#include "common/basTavik.h"

#include "common/basStdComm.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"

using namespace basStdComm;

namespace basTavik {

namespace {

const QString kBadArgument = QStringLiteral("引数が正しくありません。");

[[noreturn]] void RaiseBadArgument(const char* source) {
    throw AppError(vbObjectError, kBadArgument, QString::fromLatin1(source));
}

QString Num(long n) { return QString::number(n); }

long SskOrCurrent(long lngSskCd) { return lngSskCd == 0 ? glngSskCd : lngSskCd; }
long GrpOrCurrent(long lngGrpCd) { return lngGrpCd == 0 ? glngGrpCd : lngGrpCd; }

// Numeric column of the current row: the leading number of its text.
long LngField(Recordset& rs, const QString& name) { return ValLng(rs.Fields(name).Value()); }

// Closing day of fiscal month n (1 to 12); another n names no column and
// raises.
long SimeField(Recordset& rs, int n) { return LngField(rs, "KSK_SIME" + QString::number(n)); }

// First and last day of the fiscal month of a date (kind 2 or 3), from its
// KSKMF row; false when there is none. Errors reach the caller.
bool MonthBounds(long lngDate, long lngSskCd, long lngGrpCd, long& lngStart, long& lngEnd) {
    RecordsetPtr rs = FncGetKskRs(lngDate, lngSskCd, lngGrpCd);
    if (!rs || rs->Eof()) return false;
    int n = MonthsBetween(FncCnvDate(LngField(*rs, "KSK_KSYM")), FncCnvDate(lngDate));
    lngStart = n == 0 ? LngField(*rs, "KSK_KIST") : DateNumber(FncCnvDate(SimeField(*rs, n)).addDays(1));
    lngEnd = SimeField(*rs, n + 1);
    return true;
}

// A column of the fiscal-year row of a date, 0 when there is none.
long KskColumn(const QString& column, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        RecordsetPtr rs = FncGetKskRs(lngDate, lngSskCd, lngGrpCd);
        if (!rs || rs->Eof()) return 0;
        return LngField(*rs, column);
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return 0;
    }
}

// First column of the first row of gstrSQL as text; found tells whether
// there was a row.
QString FirstValue(bool* found = nullptr) {
    RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
    if (found) *found = !rs->Eof();
    return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
}

// Numbering period of a date: the accounting month or the fiscal year
// according to SSK_SBANKBN of the branch, 0 for any other setting.
// The voucher header column that holds the period is put in column.
long DenPeriod(long lngDate, long lngSskCd, long lngGrpCd, QString* column = nullptr) {
    switch (ValLng(fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + Num(lngSskCd)))) {
    case 0:
        if (column) *column = "DNH_YM";
        return FncGetKskMonth(lngDate, lngSskCd, lngGrpCd);
    case 1:
        if (column) *column = "DNH_NENDO";
        return FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
    default: return 0;
    }
}

// The first number from lngFrom on that no voucher of the branch, group and
// numbering period holds yet. A deleted voucher keeps its row, and so its
// number; vouchers of every kind count.
long FirstFreeDenNo(long lngFrom, long lngSskCd, long lngGrpCd, const QString& periodColumn, long lngPeriod) {
    gstrSQL = "SELECT DNH_DENNO";
    gstrSQL += "  FROM DNHDT";
    gstrSQL += " WHERE DNH_SSKCD = " + Num(lngSskCd);
    gstrSQL += "   AND DNH_GRPCD = " + Num(lngGrpCd);
    gstrSQL += "   AND " + periodColumn + " = " + Num(lngPeriod);
    gstrSQL += "   AND DNH_DENNO >= " + Num(lngFrom);
    gstrSQL += " ORDER BY DNH_DENNO";
    RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
    long no = lngFrom;
    for (; !rs->Eof(); rs->MoveNext()) {
        const long used = LngField(*rs, "DNH_DENNO");
        if (used > no) break;
        if (used == no) ++no;
    }
    return no;
}

QString DenWhere(long lngKbn, long lngSskCd, long lngGrpCd, long lngPeriod) {
    return " WHERE DEN_KBN = " + Num(lngKbn) + "   AND DEN_SSKCD = " + Num(lngSskCd) +
           "   AND DEN_GRPCD = " + Num(lngGrpCd) + "   AND DEN_YM = " + Num(lngPeriod);
}

}  // namespace

// ================================================================ dates and fiscal periods

int FncGetDateKind(long lngDate) {
    // By the number of digits: 4, 6 or 8.
    if (lngDate >= 1000 && lngDate <= 9999) return 1;
    if (lngDate >= 100000 && lngDate <= 999999) return 2;
    if (lngDate >= 10000000 && lngDate <= 99999999) return 3;
    return 0;
}

QDate FncCnvDate(long lngDate) {
    // The digits read as yyyy (the 1st of January), yyyymm (the 1st of the
    // month) or yyyymmdd; a month or day the calendar does not have is
    // refused.
    int y = 0, m = 1, d = 1;
    switch (FncGetDateKind(lngDate)) {
    case 1: y = static_cast<int>(lngDate); break;
    case 2: y = static_cast<int>(lngDate / 100); m = static_cast<int>(lngDate % 100); break;
    case 3:
        y = static_cast<int>(lngDate / 10000);
        m = static_cast<int>(lngDate / 100 % 100);
        d = static_cast<int>(lngDate % 100);
        break;
    default: RaiseBadArgument("FncCnvDate");
    }
    const QDate date(y, m, d);
    if (!date.isValid()) RaiseBadArgument("FncCnvDate");
    return date;
}

RecordsetPtr FncGetKskRs(long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long s = 0, g = 0;
        switch (FncGetCntKikbn()) {
        case 2: s = SskOrCurrent(lngSskCd); break;
        case 3: s = SskOrCurrent(lngSskCd); g = GrpOrCurrent(lngGrpCd); break;
        default: break;
        }
        switch (FncGetDateKind(lngDate)) {
        case 0:
            gstrSQL = "SELECT *";
            gstrSQL += "  FROM KSKMF";
            gstrSQL += " WHERE KSK_NUP = 0";
            gstrSQL += "   AND KSK_SSKCD = " + Num(s);
            gstrSQL += "   AND KSK_GRPCD = " + Num(g);
            gstrSQL += " ORDER BY KSK_NENDO";
            gstrSQL += " LIMIT 1";
            break;
        case 1:
            gstrSQL = "SELECT *";
            gstrSQL += "  FROM KSKMF";
            gstrSQL += " WHERE KSK_NENDO = " + Num(lngDate);
            gstrSQL += "   AND KSK_SSKCD = " + Num(s);
            gstrSQL += "   AND KSK_GRPCD = " + Num(g);
            break;
        case 2: {
            long m11 = MonthNumber(AddMonths(FncCnvDate(lngDate), -11));
            gstrSQL = "SELECT *";
            gstrSQL += "  FROM KSKMF";
            gstrSQL += " WHERE KSK_SSKCD = " + Num(s);
            gstrSQL += "   AND KSK_GRPCD = " + Num(g);
            gstrSQL += "   AND KSK_KSYM <= " + Num(lngDate);
            gstrSQL += "   AND KSK_KSYM >= " + Num(m11);
            gstrSQL += " ORDER BY KSK_KSYM DESC";
            gstrSQL += " LIMIT 1";
            break;
        }
        default:
            gstrSQL = "SELECT *";
            gstrSQL += "  FROM KSKMF";
            gstrSQL += " WHERE KSK_SSKCD = " + Num(s);
            gstrSQL += "   AND KSK_GRPCD = " + Num(g);
            gstrSQL += "   AND KSK_KIST  <= " + Num(lngDate);
            gstrSQL += "   AND KSK_KIEND >= " + Num(lngDate);
            break;
        }
        return gobjDB->OpenRecordset(gstrSQL);
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return nullptr;
    }
}

long FncGetKskNendo(long lngDate, long lngSskCd, long lngGrpCd) {
    if (FncGetDateKind(lngDate) == 1) return lngDate;
    return KskColumn("KSK_NENDO", lngDate, lngSskCd, lngGrpCd);
}

long FncGetKskKsym(long lngDate, long lngSskCd, long lngGrpCd) {
    return KskColumn("KSK_KSYM", lngDate, lngSskCd, lngGrpCd);
}

long FncGetKskKist(long lngDate, long lngSskCd, long lngGrpCd) {
    return KskColumn("KSK_KIST", lngDate, lngSskCd, lngGrpCd);
}

long FncGetKskKiend(long lngDate, long lngSskCd, long lngGrpCd) {
    return KskColumn("KSK_KIEND", lngDate, lngSskCd, lngGrpCd);
}

bool FncIsSameNendo(long lngDate1, long lngDate2) {
    try {
        return FncGetKskNendo(lngDate1) == FncGetKskNendo(lngDate2);
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool FncGetKskMonStEnd(long lngDate, long& lngStart, long& lngEnd, long lngSskCd, long lngGrpCd) {
    int kind = FncGetDateKind(lngDate);
    if (kind != 2 && kind != 3) RaiseBadArgument("FncGetKskMonStEnd");
    try {
        long st = 0, en = 0;
        if (!MonthBounds(lngDate, lngSskCd, lngGrpCd, st, en)) return false;
        lngStart = st;
        lngEnd = en;
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

long FncGetKskMonKaisi(long lngDate, long lngSskCd, long lngGrpCd) {
    int kind = FncGetDateKind(lngDate);
    if (kind != 2 && kind != 3) RaiseBadArgument("FncGetKskMonKaisi");
    try {
        long st = 0, en = 0;
        return MonthBounds(lngDate, lngSskCd, lngGrpCd, st, en) ? st : 0;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return 0;
    }
}

long FncGetKskSime(long lngDate, long lngSskCd, long lngGrpCd) {
    int kind = FncGetDateKind(lngDate);
    if (kind != 2 && kind != 3) RaiseBadArgument("FncGetKskSime");
    try {
        long st = 0, en = 0;
        return MonthBounds(lngDate, lngSskCd, lngGrpCd, st, en) ? en : 0;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return 0;
    }
}

long FncGetKskMonth(long& lngDate, long lngSskCd, long lngGrpCd) {
    switch (FncGetDateKind(lngDate)) {
    case 2: return lngDate;
    case 1: RaiseBadArgument("FncGetKskMonth");
    case 0: lngDate = DateNumber(Today()); break;
    default: break;
    }
    RecordsetPtr rs = FncGetKskRs(lngDate, lngSskCd, lngGrpCd);
    if (!rs || rs->Eof()) return 0;
    QDate start = FncCnvDate(LngField(*rs, "KSK_KSYM"));
    for (int i = 0; i <= 11; ++i)
        if (SimeField(*rs, i + 1) >= lngDate) return MonthNumber(AddMonths(start, i));
    return 0;
}

// ================================================================ masters, switches, permission

QString FncGetSskName(long lngSskCd) {
    return fncLookupField("SSK_RNAME", "SSKMF", "SSK_CD =" + Num(SskOrCurrent(lngSskCd)));
}

QString FncGetGrpName(long lngSskCd, long lngGrpCd) {
    return fncLookupField("GRP_RNAME", "GRPMF",
                          "GRP_SSKCD =" + Num(SskOrCurrent(lngSskCd)) + " AND GRP_CD =" + Num(GrpOrCurrent(lngGrpCd)));
}

QString FncGetSskGrpName(long lngSskCd, long lngGrpCd) {
    return FncGetSskName(lngSskCd) + " ／ " + FncGetGrpName(lngSskCd, lngGrpCd);
}

long FncGetCntKikbn() { return ValLng(fncLookupField("CNT_KIKBN", "CNTMF", "CNT_KEY = 1")); }

long FncGetGrpKbn(long lngSskCd, long lngGrpCd) {
    return ValLng(fncLookupField("GRP_KBN", "GRPMF",
                                 "GRP_SSKCD = " + Num(SskOrCurrent(lngSskCd)) + " AND GRP_CD = " +
                                     Num(GrpOrCurrent(lngGrpCd))));
}

QString FncGetKmkName(long lngKmkCd, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long n = FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
        if (n == 0) return QString();
        if (!FncIsKmkUsable(lngKmkCd, n, lngSskCd, lngGrpCd)) return QString();
        gstrSQL = "SELECT KMK_RNAME";
        gstrSQL += "  FROM KMKMF";
        gstrSQL += " WHERE KMK_NENDO = " + Num(n);
        gstrSQL += "   AND KMK_CD    = " + Num(lngKmkCd);
        return FirstValue();
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return QString();
    }
}

namespace {

// "SELECT <column>" of the sub-account 1 row; n is the fiscal year.
void Hk1Sql(const QString& column, long n, long lngKmkCd, long lngHk1Cd) {
    gstrSQL = "SELECT " + column;
    gstrSQL += "  FROM HK1MF";
    gstrSQL += " WHERE HK1_NENDO = " + Num(n);
    gstrSQL += "   AND HK1_KMKCD = " + Num(lngKmkCd);
    gstrSQL += "   AND HK1_CD    = " + Num(lngHk1Cd);
}

// "SELECT <column>" of the sub-account 2 row of the branch and group.
void Hk2Sql(const QString& column, long n, long lngKmkCd, long lngHk1Cd, long lngHk2Cd, long lngSskCd,
            long lngGrpCd) {
    gstrSQL = "SELECT " + column;
    gstrSQL += "  FROM HK2MF";
    gstrSQL += " WHERE HK2_NENDO = " + Num(n);
    gstrSQL += "   AND HK2_KMKCD = " + Num(lngKmkCd);
    gstrSQL += "   AND HK2_HK1CD = " + Num(lngHk1Cd);
    gstrSQL += "   AND HK2_CD    = " + Num(lngHk2Cd);
    gstrSQL += "   AND HK2_SSKCD = " + Num(SskOrCurrent(lngSskCd));
    gstrSQL += "   AND HK2_GRPCD = " + Num(GrpOrCurrent(lngGrpCd));
}

}  // namespace

QString FncGetHk1Name(long lngKmkCd, long lngHk1Cd, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long n = FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
        if (n == 0) return QString();
        Hk1Sql("HK1_RNAME", n, lngKmkCd, lngHk1Cd);
        return FirstValue();
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return QString();
    }
}

QString FncGetHk2Name(long lngKmkCd, long lngHk1Cd, long lngHk2Cd, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long n = FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
        if (n == 0) return QString();
        Hk2Sql("HK2_RNAME", n, lngKmkCd, lngHk1Cd, lngHk2Cd, lngSskCd, lngGrpCd);
        return FirstValue();
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return QString();
    }
}

bool FncExistHk1(long lngKmkCd, long lngHk1Cd, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long n = FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
        if (n == 0) return false;
        Hk1Sql("HK1_CD", n, lngKmkCd, lngHk1Cd);
        bool found = false;
        FirstValue(&found);
        return found;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool FncExistHk2(long lngKmkCd, long lngHk1Cd, long lngHk2Cd, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long n = FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
        if (n == 0) return false;
        Hk2Sql("HK2_CD", n, lngKmkCd, lngHk1Cd, lngHk2Cd, lngSskCd, lngGrpCd);
        bool found = false;
        FirstValue(&found);
        return found;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool FncIsKmkUsable(long lngKmkCd, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long n = FncGetKskNendo(lngDate, lngSskCd, lngGrpCd);
        if (n == 0) return false;
        gstrSQL = "SELECT KMK_GRKBN";
        gstrSQL += "     , KMK_SSKCD";
        gstrSQL += "     , KMK_GRPCD";
        gstrSQL += "  FROM KMKMF";
        gstrSQL += " WHERE KMK_NENDO = " + Num(n);
        gstrSQL += "   AND KMK_CD    = " + Num(lngKmkCd);
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) return false;
        long s = SskOrCurrent(lngSskCd);
        long g = GrpOrCurrent(lngGrpCd);
        switch (LngField(*rs, "KMK_GRKBN")) {
        case 1: return FncGetGrpKbn(s, g) == 0;
        case 2:
            return FncGetGrpKbn(s, g) == 1 && LngField(*rs, "KMK_SSKCD") == s && LngField(*rs, "KMK_GRPCD") == g;
        default: return true;
        }
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

QString FncGetSysValue(const QString& strKey) {
    return fncLookupField("SYS_VALUE", "SYSTEM", "SYS_KEY = " + fncSqlQuote(strKey));
}

bool FncCheckPermission(const QString& strPgId, long lngUserId, long lngSskCd) {
    try {
        long u = lngUserId == 0 ? glngUserId : lngUserId;
        long b = SskOrCurrent(lngSskCd);
        if (glngUserType == 3) return true;
        QString p = gobjDB->SqlText(strPgId);
        // Lowest permission per menu entry of the program over the user's
        // groups, merged with the lowest of its parent entry (0 without a
        // row); the outer query keeps the lower of both.
        gstrSQL = "SELECT MIN(SEC_PERM) AS SEC_PERM";
        gstrSQL += "  FROM (";
        gstrSQL += "SELECT MNU_MEID";
        gstrSQL += "     , MIN(SEC_PERM) AS SEC_PERM";
        gstrSQL += "  FROM UGLMF, MNUMF, SECMF";
        gstrSQL += " WHERE UGL_UID  = " + Num(u);
        gstrSQL += "   AND MNU_PGID = " + p;
        gstrSQL += "   AND UGL_GID  = SEC_USGID";
        gstrSQL += "   AND MNU_MEID = SEC_MNUID";
        gstrSQL += "   AND SEC_SSKCD = " + Num(b);
        gstrSQL += " GROUP BY MNU_MEID";
        gstrSQL += " UNION ";
        gstrSQL += "SELECT TMP1.MNU_MEID";
        gstrSQL += "     , COALESCE(MIN(SEC_PERM), 0) AS SEC_PERM";
        gstrSQL += "  FROM UGLMF";
        gstrSQL += " INNER JOIN MNUMF AS TMP1";
        gstrSQL += "    ON TMP1.MNU_PGID = " + p;
        gstrSQL += " INNER JOIN MNUMF AS TMP2";
        gstrSQL += "    ON TMP1.MNU_UPID = TMP2.MNU_MEID";
        gstrSQL += "  LEFT JOIN SECMF";
        gstrSQL += "    ON UGL_GID  = SEC_USGID";
        gstrSQL += "   AND TMP1.MNU_UPID = SEC_MNUID";
        gstrSQL += "   AND SEC_SSKCD = " + Num(b);
        gstrSQL += " WHERE UGL_UID  =  " + Num(u);
        gstrSQL += " GROUP BY TMP1.MNU_MEID";
        gstrSQL += ") AS TMP3";
        gstrSQL += " GROUP BY MNU_MEID";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) return false;
        return Val(rs->Fields("SEC_PERM").Value()) == 2;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

// ================================================================ voucher numbers

long FncGetNextDenNo(long lngKbn, long lngDate, long lngSskCd, long lngGrpCd) {
    try {
        long s = SskOrCurrent(lngSskCd);
        long g = GrpOrCurrent(lngGrpCd);
        long period = DenPeriod(lngDate, s, g);
        if (period == 0) return 0;
        gstrSQL = "SELECT DEN_NO";
        gstrSQL += "  FROM DENMF";
        gstrSQL += " WHERE DEN_KBN   = " + Num(lngKbn);
        gstrSQL += "   AND DEN_SSKCD = " + Num(s);
        gstrSQL += "   AND DEN_GRPCD = " + Num(g);
        gstrSQL += "   AND DEN_YM = " + Num(period);
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) return 1;
        return LngField(*rs, "DEN_NO") + 1;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return 0;
    }
}

long FncSaibanDenNo(long lngKbn, long lngDate, long lngSskCd, long lngGrpCd, bool* pblnMovedPast) {
    const QString title = QStringLiteral("伝票番号採番");
    if (pblnMovedPast) *pblnMovedPast = false;
    try {
        long s = SskOrCurrent(lngSskCd);
        long g = GrpOrCurrent(lngGrpCd);
        QString column;
        long period = DenPeriod(lngDate, s, g, &column);
        if (period == 0) return 0;
        QString w = DenWhere(lngKbn, s, g, period);

        // Touch the counter row twice (no net change) so the caller's
        // transaction holds it before it is read.
        gstrSQL = "UPDATE DENMF SET DEN_NO = DEN_NO + 1" + w;
        if (!gobjDB->Execute(gstrSQL)) {
            MsgBox(gobjDB->ErrorText(), vbExclamation, title);
            return 0;
        }
        gstrSQL = "UPDATE DENMF SET DEN_NO = DEN_NO - 1" + w;
        if (!gobjDB->Execute(gstrSQL)) {
            MsgBox(gobjDB->ErrorText(), vbExclamation, title);
            return 0;
        }

        gstrSQL = "SELECT *";
        gstrSQL += "  FROM DENMF" + w;
        RecordsetPtr rs = gobjDB->OpenUpdatable(gstrSQL);
        long no;
        if (rs->Eof()) {
            rs->AddNew();
            rs->Fields("DEN_KBN") = lngKbn;
            rs->Fields("DEN_SSKCD") = s;
            rs->Fields("DEN_GRPCD") = g;
            rs->Fields("DEN_YM") = period;
            no = 1;
        } else {
            no = LngField(*rs, "DEN_NO") + 1;
        }
        // A counter behind the vouchers (numbering switched within a period,
        // an outside edit) moves on past the numbers already used, while the
        // counter row is held.
        const long free = FirstFreeDenNo(no, s, g, column, period);
        if (pblnMovedPast) *pblnMovedPast = free != no;
        no = free;
        rs->Fields("DEN_NO") = no;
        rs->Update();
        return no;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return 0;
    }
}

// ---------------------------------------------------------------- tax codes

namespace {
// Of the rows of the code in `codeColumn`, the one in force on the date
// number in `dateColumn`: the latest started of those whose validity holds
// the date (ZEI_DATEST is part of the key, so it is one row).
QString taxRowInForce(const QString& codeColumn, const QString& dateColumn) {
    QString s = "ZEI_DATEST = (SELECT MAX(Z.ZEI_DATEST) FROM ZEIMF Z";
    s += " WHERE Z.ZEI_CD = " + codeColumn;
    s += " AND Z.ZEI_DATEST <= " + dateColumn;
    s += " AND Z.ZEI_DATEEND >= " + dateColumn + ")";
    return s;
}
}  // namespace

QString FncJoinTaxInForce(const QString& codeColumn, const QString& dateColumn) {
    QString s = "  LEFT JOIN ZEIMF";
    s += "    ON ZEI_CD = " + codeColumn;
    s += "   AND " + taxRowInForce(codeColumn, dateColumn);
    return s;
}

TaxCode FncGetTaxInForce(long lngZeiCd, long lngDate) {
    TaxCode t;
    const QString code = Num(lngZeiCd);
    QString sql = "SELECT ZEI_KBN, ZEI_RITU, ZEI_NAME FROM ZEIMF";
    sql += " WHERE ZEI_CD = " + code;
    sql += "   AND " + taxRowInForce(code, Num(lngDate));
    RecordsetPtr rs = gobjDB->OpenRecordset(sql);
    if (rs->Eof()) return t;
    t.found = true;
    t.kbn = ValLng(rs->Fields("ZEI_KBN").Value());
    t.ritu = rs->Fields("ZEI_RITU").Value().Text();
    t.name = rs->Fields("ZEI_NAME").Value().Text();
    return t;
}

QString FncGetTaxName(long lngZeiCd, long lngDate) {
    try {
        const TaxCode t = FncGetTaxInForce(lngZeiCd, lngDate);
        if (t.found) return t.name;
        QString sql = "SELECT ZEI_NAME FROM ZEIMF";
        sql += " WHERE ZEI_CD = " + Num(lngZeiCd);
        sql += " ORDER BY ZEI_DATEST";
        sql += " LIMIT 1";
        RecordsetPtr rs = gobjDB->OpenRecordset(sql);
        if (rs->Eof()) return QString();
        return rs->Fields("ZEI_NAME").Value().Text();
    } catch (const AppError&) {
        return QString();
    }
}

}  // namespace basTavik
