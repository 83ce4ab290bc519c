// The printed ledger of the ledger inquiry: the template "WLP410.XLS"
// (sheet "LP410") filled through the window's report control. One section
// per account (level 1, general ledger) or per sub-account (levels 2 and 3,
// subsidiary ledger), month by month: the balance carried forward, the
// lines with their running balance, the month's totals and the balance
// carried to the next month; 30 lines a page, every section on a new page.
// The progress dialog shows the sections done and lets the user stop.
#pragma once
#include "platform/DBAccess.h"

#include <QString>
#include <QVariant>

class XlsReport;

namespace basLP410Report {

// GRP_KBN of the current group, set by the ledger window before a report:
// it decides which group-owned accounts the general ledger lists.
extern long glngReportGrpKbn;

// The report control the next report is built in (the window's).
void SetReportControl(XlsReport* report);

// Checks the conditions (messages under the program's title), reads the
// balances and lines and builds the report, leaving it open in the control
// for the preview. Level 1: accounts lngKmkFrom..lngKmkTo; level 2: account
// lngKmkFrom, sub-accounts 1 lngHk1From..lngHk1To; level 3: account
// lngKmkFrom, sub-account 1 lngHk1From, sub-accounts 2 lngHk2From..lngHk2To.
// The dates are dates or date texts (anything else is no date). True when
// at least one month was written; false after a refused condition, when
// there was nothing to print (said), on cancel and after an error (shown).
bool fncMakeLedgerReport(long lngLevel, const QVariant& varDateFrom, const QVariant& varDateTo, long lngKmkFrom,
                         long lngKmkTo, long lngHk1From, long lngHk1To, long lngHk2From, long lngHk2To);

// The title of the last report: "総　勘　定　元　帳" or "補　助　元　帳".
QString fncGetReportTitle();

// ---------------------------------------------------------------- report building blocks

// Template into the control, report begun, counters cleared, print date today.
void BeginLedgerReport();
// Ends the open page and starts the next one with its header cells.
void StartLedgerPage();
// Ends the open page, if any.
void EndLedgerPage();
// One line at the next position; the first line of a page starts the page.
// Debit, credit and balance are written as numbers when they are numbers.
void WriteLedgerLine(const QVariant& varDate, const QVariant& varDenNo, const QVariant& varAKmk,
                     const QVariant& varAHk1, const QVariant& varAHk2, const QVariant& varZkbn,
                     const QVariant& varKari, const QVariant& varKasi, const QVariant& varZand,
                     const QVariant& varTekiyo);

// ---------------------------------------------------------------- progress

void OpenProgress(long lngMax, const QString& strTitle, const QString& strMessage);
// One section done. True when the user stopped the report (it is dropped);
// false to go on.
bool fncStepProgress();
void CloseProgress();

// ---------------------------------------------------------------- settings and reads

// Ledger settings of a branch (0: the current one), 0 when missing:
// SSK_MTPKBN (1: a section without lines shows only the first and the last
// fiscal month; other values no empty month), SSK_MKPKBN (1: a page per
// month), SSK_ZZIKBN (1: sections with a zero balance are printed too).
long fncGetMtpKbn(long lngSskCd = 0);
long fncGetMkpKbn(long lngSskCd = 0);
long fncGetZziKbn(long lngSskCd = 0);
// CNT_KUMINAME of the control row.
QString fncGetKumiName();

// The field of the first row into varValue, true; false when there is no
// row. The recordset is closed in either case.
bool fncGetField(RecordsetPtr rs, const QString& strField, DbValue& varValue);

}  // namespace basLP410Report
