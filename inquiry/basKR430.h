// Main module of the ledger inquiry program "元帳照会": start-up, the one
// window, and the object through which a voucher of the ledger is opened.
#pragma once
#include "common/AutoNew.h"
#include "platform/VoucherOpener.h"

namespace basKR430 {

// Opens the voucher of a ledger row in the voucher entry program; created on
// first use, released when the ledger window closes.
extern AutoNew<VoucherOpener> gobjVoucherOpener;

// Start-up, then the ledger window shown modeless. False when the program is
// to end at once (start-up failed, reported); otherwise the caller runs the
// event loop, which ends when the window closes.
bool Main();

}  // namespace basKR430
