// Demo vouchers: a month or two of everyday bookkeeping of the demo
// organisation, entered through the voucher entry window exactly as a user
// would (cells filled, rules run, registered), so the balance tables agree
// with the stored lines.
#pragma once
#include <QDate>
#include <QString>

namespace DemoVouchers {

// Enters the vouchers of the month before `today` and of `today`'s month up
// to `today` (dates in a closed year or month are left out) for the current
// branch and group on the connected database. False with a reason on the
// first voucher the window refuses.
bool Enter(const QDate& today, QString* error);

}  // namespace DemoVouchers
