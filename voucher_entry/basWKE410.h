// Main module of the voucher entry program: start-up and first window, the
// grid tab stops of "Tab.ini", the default voucher search conditions, and the
// variables through which the program's windows hand values to each other.
#pragma once
#include <QString>

class QWidget;

namespace basWKE410 {

// Hand-over variables (alive for the whole run).
extern QString gstrStartMode;   // "I" when started with I, else ""
extern QString gstrEditMode;    // mode of the entry window: I, U, C, D, S
extern long glngDenYm;          // accounting month of the voucher to open / on screen
extern long glngDenNendo;       // its fiscal year
extern long glngDenNo;          // its voucher number
extern QString gstrTekiyo;      // description handed to the description dialog
extern bool gblnJumpDone;       // the jump dialog chose a voucher
extern QString gstrFuriDenKingaku;  // SYSTEM "FuriDenKingaku" as number text
extern long glngCurNendo;       // fiscal year of the voucher date on screen, 0 = none
extern long glngGrpKbn;         // GRP_KBN of the current branch and group
extern long glngSdnKbn;         // SSK_SDNKBN: print after save
extern long glngTanCd;          // input person of the voucher on screen
extern bool gblnLoading;        // the program itself is filling the screen
extern QString gstrSumKariKin;  // running sums of the balancing amount
extern QString gstrSumKasiKin;

// Voucher search conditions of the voucher list.
extern long glngSrchDenNoSt;
extern long glngSrchDenNoEnd;
extern long glngSrchDateSt;
extern long glngSrchDateEnd;
extern long glngSrchNDateSt;
extern long glngSrchNDateEnd;
extern long glngSrchTanCd;
extern QString gstrSrchTekiyo;
extern long glngSrchKessan;
extern int gintSrchSort;
extern int gintSrchDate;
extern int gintSrchNDate;

// Grid tab stops, index 1 to 16 (index 0 unused).
extern int gintTabSkip[17];
extern QString gstrTabKey[17];

// The program's entry: start-up, then the first window; returns when the
// first window is shown (the caller runs the event loop) with true, or false
// when the program is to end at once.
bool Main();
void ReadTabIni();
void InitSearchDefaults();
// The default date range of the search conditions (also the dialog's
// default button): from and to for both the voucher and the input date.
void DefaultSearchDates(long& from, long& to);
QString fncNextTabColumn(const QString& key);
void SetImeConversion(QWidget* window);

}  // namespace basWKE410
