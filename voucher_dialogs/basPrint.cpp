#include "voucher_dialogs/basPrint.h"

namespace basPrint {

bool fncPrintVouchers(XlsReport*, bool, long, long, long, long, long, long, long, long) {
    // Voucher printing is not part of the program yet: nothing is output.
    return false;
}

}  // namespace basPrint
