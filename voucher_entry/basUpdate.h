// basUpdate: posting of a voucher's lines to the monthly balance tables
// KMZMF (account), H1ZMF (account, sub-account 1) and H2ZMF (account,
// sub-account 1, sub-account 2).
//
//  - "+" adds the lines of a stored voucher to the debit (KARI) or credit
//    (KASI) totals of its accounting month, "-" takes them out again before
//    the voucher is replaced or deleted. Every line counts, the generated
//    tax lines 98 and 99 included; sub-account 1 = 0 posts KMZMF and the
//    H1ZMF row of code 0 but no H2ZMF row.
//  - The lines are added up per balance row and side first; each row is then
//    created when missing (database procedures sp_xxx_ADD), changed once per
//    side, and sp_xxx_UPDATE brings the later opening balances (ZZAN) up to
//    date once after its change. The rows end as they would line by line.
//  - Runs inside the caller's transaction and never ends it. A failing
//    statement or procedure shows the database's error text (exclamation,
//    title "残高更新") and the function returns false; the caller rolls back.
#pragma once
#include <QString>

namespace basUpdate {

// Posts ("+") or takes out ("-") every line of the voucher (branch, group,
// accounting month, number). True when every line was posted (also when the
// voucher has no lines).
bool fncUpdateBalance(const QString& strSign, long lngSskCd, long lngGrpCd, long lngYm, long lngDenNo);

// Creates the month's row of the key through sp_xxx_ADD when it is missing.
// True unless the procedure failed.
bool fncEnsureKmzmfRow(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd);
bool fncEnsureH1zmfRow(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd);
bool fncEnsureH2zmfRow(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd,
                       long lngHk2Cd);

// Runs sp_xxx_UPDATE for the key after a change of its month's row. True
// when it ran.
bool fncRunKmzmfUpdate(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd);
bool fncRunH1zmfUpdate(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd);
bool fncRunH2zmfUpdate(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd,
                       long lngHk2Cd);

}  // namespace basUpdate
