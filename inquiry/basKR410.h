// Main module of the journal inquiry program "仕訳帳照会": start-up, the one
// window, and the object through which a voucher of the journal is opened.
#pragma once
#include "common/AutoNew.h"
#include "platform/VoucherOpener.h"

namespace basKR410 {

// Opens the voucher of a journal row in the voucher entry program; created
// on first use, released when the journal window closes.
extern AutoNew<VoucherOpener> gobjVoucherOpener;

// Start-up, then the journal window shown modeless. False when the program
// is to end at once (start-up failed, reported); otherwise the caller runs
// the event loop, which ends when the window closes.
bool Main();

}  // namespace basKR410
