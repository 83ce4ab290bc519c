// basYoChk: the budget check of the voucher validation. For one account
// with its sub-accounts it decides whether a budget is registered in YOSDT
// and whether the budget amounts of the account, sub-account 1 and
// sub-account 2 levels are consistent. No voucher amount is compared with the
// budget: the check only decides whether a line on the account may be
// registered.
#pragma once
#include "platform/DbValue.h"

#include <QString>

namespace basYoChk {

// Status codes of fncGetBudgetStatus.
enum BudgetStatus {
    ysNotChecked = 9,        // no account, or sub-account 2 without sub-account 1
    ysOtherClass = 3,        // KMK_BUNRUI neither 4 nor 5
    ysExempt = 2,            // YCH_CHKFG = 2
    ysRegistered = 1,        // a budget of 1 or more at the deepest level given
    ysZeroAtSub = 0,         // account budgeted, the given sub-account level 0
    ysNoBudget = -1,         // no account-level budget
    ysInconsistent = -2,     // a negative amount, or a level above its parent
    ysFraction = -8,         // deepest amount above 0 and below 1
    ysError = -9,            // a run-time error during the check
};

// True when the SYSTEM switch "YOS_CHECK_ON" is 1. No error handler of its
// own: a failing query reaches the caller as AppError.
bool fncIsBudgetCheckOn();
// True when a line on the account may be registered; shows its own messages
// (title "予算額チェック"), asks whether to continue for status 0.
bool fncCheckBudget(long lngNendo, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd, long lngHk2Cd);
// The status of the account's budget (BudgetStatus); -9 after any error.
int fncGetBudgetStatus(long lngNendo, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd,
                       long lngHk2Cd);
// First column of the first row of the statement; Null when there is no row
// (a missing row, NULL and an empty text all read "" and Val 0). Errors of
// the statement reach the caller as AppError.
DbValue fncGetFirstValue(const QString& strSQL);

}  // namespace basYoChk
