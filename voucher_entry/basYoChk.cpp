#include "voucher_entry/basYoChk.h"

#include "common/basStdComm.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"

using namespace basStdComm;

namespace basYoChk {

namespace {

const QString kTitle = QStringLiteral("予算額チェック");

// The first value of a statement as a number: no row, NULL and an empty
// text all give 0.
double firstNumber(const QString& strSQL) { return Val(fncGetFirstValue(strSQL).Text()); }

// The sum of the budget amounts of one level of the account.
double budgetSum(long lngNendo, long lngSskCd, long lngGrpCd, long lngKmkCd, const QString& strLevel) {
    QString strSQL = "select sum(YOS_KIN) as YOS_KIN"
                     "  from YOSDT"
                     " where YOS_NENDO = " + QString::number(lngNendo) +
                     "   and YOS_SSKCD = " + QString::number(lngSskCd) +
                     "   and YOS_GRPCD = " + QString::number(lngGrpCd) +
                     "   and YOS_KMKCD = " + QString::number(lngKmkCd) + strLevel;
    return firstNumber(strSQL);
}

}  // namespace

DbValue fncGetFirstValue(const QString& strSQL) {
    RecordsetPtr rs = gobjDB->OpenRecordset(strSQL);
    if (rs->Eof()) return DbValue();
    return rs->Fields(0).Value();
}

bool fncIsBudgetCheckOn() {
    return firstNumber("select SYS_VALUE from SYSTEM where SYS_KEY = 'YOS_CHECK_ON'") == 1;
}

int fncGetBudgetStatus(long lngNendo, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd,
                       long lngHk2Cd) {
    try {
        // Without an account, or with sub-account 2 but no sub-account 1,
        // there is nothing to check.
        if (lngKmkCd == 0 || (lngHk1Cd == 0 && lngHk2Cd != 0)) return ysNotChecked;

        // Only accounts of classification 4 and 5 are budgeted.
        double dblBunrui = firstNumber("select KMK_BUNRUI"
                                       "  from KMKMF"
                                       " where KMK_NENDO = " + QString::number(lngNendo) +
                                       "   and KMK_CD = " + QString::number(lngKmkCd));
        if (dblBunrui != 4 && dblBunrui != 5) return ysOtherClass;

        double dblChkFg = firstNumber("select YCH_CHKFG"
                                      "  from YCHMF"
                                      " where YCH_NENDO = " + QString::number(lngNendo) +
                                      "   and YCH_SSKCD = " + QString::number(lngSskCd) +
                                      "   and YCH_GRPCD = " + QString::number(lngGrpCd) +
                                      "   and YCH_KMKCD = " + QString::number(lngKmkCd));
        if (dblChkFg == 2) return ysExempt;

        double dblKmk = budgetSum(lngNendo, lngSskCd, lngGrpCd, lngKmkCd,
                                  "   and YOS_HK1CD = 0"
                                  "   and YOS_HK2CD = 0");
        double dblHk1 = 0;
        if (lngHk1Cd != 0)
            dblHk1 = budgetSum(lngNendo, lngSskCd, lngGrpCd, lngKmkCd,
                               "   and YOS_HK1CD = " + QString::number(lngHk1Cd) + "   and YOS_HK2CD = 0");
        double dblHk2 = 0;
        if (lngHk2Cd != 0)
            dblHk2 = budgetSum(lngNendo, lngSskCd, lngGrpCd, lngKmkCd,
                               "   and YOS_HK1CD = " + QString::number(lngHk1Cd) +
                               "   and YOS_HK2CD = " + QString::number(lngHk2Cd));

        // Negative amounts, or a level larger than its parent.
        if (dblKmk < 0 || dblHk1 < 0 || dblHk2 < 0) return ysInconsistent;
        if (dblKmk < dblHk1) return ysInconsistent;
        if (dblHk1 < dblHk2) return ysInconsistent;

        if (dblKmk == 0) return ysNoBudget;

        // The deepest level given decides.
        if (lngHk2Cd != 0) {
            if (dblHk2 >= 1) return ysRegistered;
            if (dblHk2 == 0) return ysZeroAtSub;
        } else if (lngHk1Cd != 0) {
            if (dblHk1 >= 1) return ysRegistered;
            if (dblHk1 == 0) return ysZeroAtSub;
        } else {
            if (dblKmk >= 1) return ysRegistered;
        }
        return ysFraction;
    } catch (...) {
        return ysError;
    }
}

bool fncCheckBudget(long lngNendo, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd, long lngHk2Cd) {
    int intStatus = fncGetBudgetStatus(lngNendo, lngSskCd, lngGrpCd, lngKmkCd, lngHk1Cd, lngHk2Cd);
    switch (intStatus) {
    case ysNotChecked:
    case ysOtherClass:
    case ysExempt:
    case ysRegistered:
        return true;
    case ysZeroAtSub:
        return MsgBox("予算額が親科目に設定されていますが\n補助科目に設定されていません。\n\n続行しますか。",
                      vbYesNo | vbQuestion | vbDefaultButton2, kTitle) == vbYes;
    case ysNoBudget:
        MsgBox("予算額が設定されていないため登録できません。", vbExclamation, kTitle);
        return false;
    case ysInconsistent:
        MsgBox("予算額が正常でないため登録できません。", vbExclamation, kTitle);
        return false;
    default:
        MsgBox("予算額チェック中にエラーが発生しました。", vbCritical, kTitle);
        return false;
    }
}

}  // namespace basYoChk
