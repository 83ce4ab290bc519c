// Voucher printing on the transfer-voucher template "WKP410.XLS" of the
// report folder.
#pragma once

class XlsReport;

namespace basPrint {

// Prints (output 0) or previews (1) the vouchers of the current branch and
// group:
//  - number mode (noTo > 0): numbers noFrom..noTo of the numbering period
//    keyFrom (accounting month yyyymm or fiscal year yyyy, as SSK_SBANKBN
//    says);
//  - date mode (noTo 0, inputFrom 0): voucher dates keyFrom..keyTo
//    (yyyymmdd);
//  - input-date mode: input dates inputFrom..inputTo (yyyymmdd);
// narrowed to the input person when person > 0. The sheet and lines per
// block follow the SYSTEM switch "FuriDenFormat" (6, 9 or 12).
// True when the report was printed or previewed; false when refused,
// nothing was found, the user cancelled in the progress dialog, or on an
// error (shown). A null report prints through a control made for the run.
bool fncPrintVouchers(XlsReport* report, bool showProgress, long output, long keyFrom, long keyTo, long noFrom,
                      long noTo, long inputFrom, long inputTo, long person);

}  // namespace basPrint
