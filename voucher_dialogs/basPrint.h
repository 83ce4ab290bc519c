// Voucher printing.
#pragma once

class XlsReport;

namespace basPrint {

// Prints (output 0) or previews (1) the vouchers of the numbering-period
// keys keyFrom..keyTo and numbers noFrom..noTo, optionally narrowed by input
// date and person (0 = any).
bool fncPrintVouchers(XlsReport* report, bool showProgress, long output, long keyFrom, long keyTo, long noFrom,
                      long noTo, long inputFrom, long inputTo, long person);

}  // namespace basPrint
