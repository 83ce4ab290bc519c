// Demo vouchers: a few months of everyday bookkeeping of the demo
// organisation, entered through the voucher entry window exactly as a user
// would (cells filled, rules run, registered), so the balance tables agree
// with the stored lines.
#pragma once
#include <QDate>
#include <QString>

namespace DemoVouchers {

// Enters the vouchers of the last two months of the fiscal year before
// `today`'s (a closed year: opened while they are entered, closed again
// afterwards, so they show in reference mode) and of the open year from the
// month before `today`'s month up to `today`, for the current branch and
// group on the connected database. False with a reason on the first voucher
// the window refuses.
bool Enter(const QDate& today, QString* error);

}  // namespace DemoVouchers
