// basTavik: the questions every program asks of the fiscal calendar and the
// masters, and voucher number allocation.
//
//  - Date numbers: a long of YYYY (kind 1), YYYYMM (kind 2) or YYYYMMDD
//    (kind 3); anything else is kind 0.
//  - Fiscal periods live in KSKMF, keyed per branch, per branch and group or
//    once for all according to CNTMF.CNT_KIKBN (2, 3, other).
//  - A branch or group argument of 0 means the current one (glngSskCd,
//    glngGrpCd of basStdComm).
//  - Argument errors of the date and fiscal procedures are raised to the
//    caller as AppError(vbObjectError, "引数が正しくありません。", <procedure>).
//    Procedures with an error handler show the common error report
//    (basStdComm::ShowErrMsg) and return their default (nullptr, 0, "",
//    false).
#pragma once
#include "platform/DBAccess.h"

#include <QDate>
#include <QString>

namespace basTavik {

// ---------------------------------------------------------------- dates and fiscal periods

// 1 for YYYY, 2 for YYYYMM, 3 for YYYYMMDD, 0 for anything else.
int FncGetDateKind(long lngDate);
// The date of a date number (YYYY: 1 January, YYYYMM: day 1). Raises the
// argument error for kind 0 and for dates that do not exist (30 February).
QDate FncCnvDate(long lngDate);
// The KSKMF row of a date number: kind 0 the earliest open year, kind 1 that
// fiscal year, kind 2 the year whose first month lies in the twelve months
// ending at it, kind 3 the year whose first and last day enclose it.
// nullptr after an error (reported).
RecordsetPtr FncGetKskRs(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
// KSK_NENDO of the row (a bare year is returned as it is); 0 when no row.
long FncGetKskNendo(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
long FncGetKskKsym(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
long FncGetKskKist(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
long FncGetKskKiend(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
// True when both dates lie in the same fiscal year of the current branch
// and group (two dates without a year count as equal).
bool FncIsSameNendo(long lngDate1, long lngDate2);
// First and last day of the fiscal month at the calendar-month distance of
// the date from KSK_KSYM. Kinds 2 and 3 only (else the argument error).
bool FncGetKskMonStEnd(long lngDate, long& lngStart, long& lngEnd, long lngSskCd = 0, long lngGrpCd = 0);
long FncGetKskMonKaisi(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
long FncGetKskSime(long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
// Accounting month YYYYMM of a date, decided by the monthly closing days; a
// YYYYMM is returned unchanged, a YYYY raises the argument error, and kind 0
// first writes today's date number into lngDate. 0 when no row holds it.
// No error handler: errors reach the caller.
long FncGetKskMonth(long& lngDate, long lngSskCd = 0, long lngGrpCd = 0);

// ---------------------------------------------------------------- masters, switches, permission

QString FncGetSskName(long lngSskCd = 0);
QString FncGetGrpName(long lngSskCd = 0, long lngGrpCd = 0);
// "branch ／ group", the caption of every window.
QString FncGetSskGrpName(long lngSskCd = 0, long lngGrpCd = 0);
long FncGetCntKikbn();
long FncGetGrpKbn(long lngSskCd = 0, long lngGrpCd = 0);
QString FncGetKmkName(long lngKmkCd, long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
QString FncGetHk1Name(long lngKmkCd, long lngHk1Cd, long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
QString FncGetHk2Name(long lngKmkCd, long lngHk1Cd, long lngHk2Cd, long lngDate, long lngSskCd = 0,
                      long lngGrpCd = 0);
bool FncExistHk1(long lngKmkCd, long lngHk1Cd, long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
bool FncExistHk2(long lngKmkCd, long lngHk1Cd, long lngHk2Cd, long lngDate, long lngSskCd = 0,
                 long lngGrpCd = 0);
// Whether the branch and group may use the account (KMK_GRKBN 1: groups of
// kind 0 only; 2: only the owning group, of kind 1; other: everyone).
bool FncIsKmkUsable(long lngKmkCd, long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
// SYS_VALUE of a SYSTEM switch, "" when none.
QString FncGetSysValue(const QString& strKey);
// True for user type 3, else when the lowest SEC_PERM of the user's groups
// over the program's menu entry and its parent entry is 2. User 0 and
// branch 0 mean the current ones.
bool FncCheckPermission(const QString& strPgId, long lngUserId = 0, long lngSskCd = 0);

// ---------------------------------------------------------------- voucher numbers

// The next number of the key for display (nothing reserved); 0 when the
// date has no numbering period.
long FncGetNextDenNo(long lngKbn, long lngDate, long lngSskCd = 0, long lngGrpCd = 0);
// Allocates the next number inside the caller's transaction on gobjDB; 0 on
// failure (reported; gobjDB->DatabaseFault() then tells whether the database
// itself refused) or when the date has no numbering period. A number a
// voucher of the period already holds is never given out: the counter moves
// past it, and pblnMovedPast (when given) says that it did.
long FncSaibanDenNo(long lngKbn, long lngDate, long lngSskCd = 0, long lngGrpCd = 0, bool* pblnMovedPast = nullptr);

// ---------------------------------------------------------------- tax codes

// A tax code's row in force on a date is the latest started of its rows
// with ZEI_DATEST <= date <= ZEI_DATEEND (should two overlap); its name,
// kind and rate are read together from that one row wherever a tax code is
// shown, computed or printed.

// The join that gives a statement on voucher lines the tax code's row in
// force on the voucher date: "  LEFT JOIN ZEIMF ..." (to follow the other
// joins) for the code in the column `codeColumn` and the date number
// yyyymmdd in `dateColumn`; none when no row is in force. Each line stays
// one row, and ZEI_NAME is the name the code had on that date.
QString FncJoinTaxInForce(const QString& codeColumn, const QString& dateColumn);

// The row in force of tax code `lngZeiCd` on the date number yyyymmdd
// `lngDate`; `found` false when none is. Raises AppError when the lookup
// fails.
struct TaxCode {
    bool found = false;
    long kbn = 0;   // ZEI_KBN
    QString ritu;   // ZEI_RITU as the database gives it
    QString name;   // ZEI_NAME
};
TaxCode FncGetTaxInForce(long lngZeiCd, long lngDate);

// The name of tax code `lngZeiCd` on the date number yyyymmdd `lngDate`: the
// name of its row in force on that date, chosen as FncJoinTaxInForce chooses
// it (so the entry window shows what the voucher print and the ledger report
// print); when no row is in force (or the date is 0), the name of the code's
// first row (the earliest started). Empty for an unknown code or when the
// lookup fails.
QString FncGetTaxName(long lngZeiCd, long lngDate);

}  // namespace basTavik

// The code search window call and gvarSearchResult.
#include "common/basTavikCodeSearch.h"
