#include "TestSupport.h"

#include "common/basStdComm.h"
#include "voucher_entry/basYoChk.h"

using namespace basStdComm;
using namespace basYoChk;

namespace {

const QString kTitle = "予算額チェック";
const QString kQuestion = "予算額が親科目に設定されていますが\n補助科目に設定されていません。\n\n続行しますか。";

// Fiscal year 2026, branch 1, group 1. Account 510 (classification 5) is
// budgeted, 410 (classification 4) too, 110 (classification 1) never.
class BudgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_BUNRUI) VALUES (2026, 510, '消耗品費', 5)");
        folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_BUNRUI) VALUES (2026, 410, '会費収入', 4)");
        folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_BUNRUI) VALUES (2026, 110, '現金', 1)");
        folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_BUNRUI) VALUES (2026, 310, '基本金', 3)");
    }
    void Budget(long kmk, long hk1, long hk2, const QString& kin, long nendo = 2026, long ssk = 1, long grp = 1) {
        folder.Sql(QString("INSERT INTO YOSDT (YOS_NENDO, YOS_SSKCD, YOS_GRPCD, YOS_KMKCD, YOS_HK1CD, YOS_HK2CD, "
                           "YOS_KIN) VALUES (%1, %2, %3, %4, %5, %6, %7)")
                       .arg(nendo).arg(ssk).arg(grp).arg(kmk).arg(hk1).arg(hk2).arg(kin));
    }
    int Status(long kmk, long hk1 = 0, long hk2 = 0) { return fncGetBudgetStatus(2026, 1, 1, kmk, hk1, hk2); }

    AppFolder folder;
};

// ---------------------------------------------------------------- switch and first value

TEST_F(BudgetTest, SwitchIsOnOnlyWhenItsValueIsOne) {
    EXPECT_FALSE(fncIsBudgetCheckOn());  // no row
    folder.Sql("INSERT INTO SYSTEM (SYS_KEY, SYS_VALUE) VALUES ('YOS_CHECK_ON', '1')");
    EXPECT_TRUE(fncIsBudgetCheckOn());
    for (const char* v : {"0", "2", "", "on", "10"}) {
        folder.Sql(QString("UPDATE SYSTEM SET SYS_VALUE = '%1' WHERE SYS_KEY = 'YOS_CHECK_ON'").arg(v));
        EXPECT_FALSE(fncIsBudgetCheckOn()) << v;
    }
    folder.Sql("UPDATE SYSTEM SET SYS_VALUE = NULL WHERE SYS_KEY = 'YOS_CHECK_ON'");
    EXPECT_FALSE(fncIsBudgetCheckOn());
    // Another key does not switch it on.
    folder.Sql("INSERT INTO SYSTEM (SYS_KEY, SYS_VALUE) VALUES ('YOS_CHECK', '1')");
    EXPECT_FALSE(fncIsBudgetCheckOn());
}

TEST_F(BudgetTest, SwitchQueryErrorReachesTheCaller) {
    folder.Sql("DROP TABLE SYSTEM");
    EXPECT_THROW(fncIsBudgetCheckOn(), AppError);
}

TEST_F(BudgetTest, FirstValueIsTheFirstColumnOfTheFirstRowOrNull) {
    EXPECT_TRUE(fncGetFirstValue("select KMK_CD from KMKMF where KMK_CD = 999").IsNull());
    DbValue v = fncGetFirstValue("select KMK_CD, KMK_NM from KMKMF order by KMK_CD desc");
    EXPECT_FALSE(v.IsNull());
    EXPECT_EQ(v.Text(), "510");
    EXPECT_TRUE(fncGetFirstValue("select KMK_RNAME from KMKMF where KMK_CD = 510").IsNull());
    EXPECT_THROW(fncGetFirstValue("select NOSUCH from KMKMF"), AppError);
}

// ---------------------------------------------------------------- status

TEST_F(BudgetTest, NoAccountOrSubAccount2WithoutSubAccount1IsNotChecked) {
    EXPECT_EQ(Status(0), 9);
    EXPECT_EQ(Status(0, 1, 1), 9);
    EXPECT_EQ(Status(510, 0, 3), 9);
}

TEST_F(BudgetTest, OnlyClassifications4And5AreChecked) {
    EXPECT_EQ(Status(110), 3);
    EXPECT_EQ(Status(310), 3);
    EXPECT_EQ(Status(999), 3);  // unknown account
    // The classification of another fiscal year does not count.
    EXPECT_EQ(fncGetBudgetStatus(2027, 1, 1, 510, 0, 0), 3);
    // Neither 4 nor 5 passes even when YOSDT is unreadable: no budget query.
    folder.Sql("DROP TABLE YOSDT");
    EXPECT_EQ(Status(110), 3);
}

TEST_F(BudgetTest, ExemptAccountOfTheBranchAndGroupIsNotChecked) {
    folder.Sql("INSERT INTO YCHMF (YCH_NENDO, YCH_SSKCD, YCH_GRPCD, YCH_KMKCD, YCH_CHKFG) VALUES (2026, 1, 1, 510, 2)");
    folder.Sql("INSERT INTO YCHMF (YCH_NENDO, YCH_SSKCD, YCH_GRPCD, YCH_KMKCD, YCH_CHKFG) VALUES (2026, 1, 2, 410, 2)");
    folder.Sql("INSERT INTO YCHMF (YCH_NENDO, YCH_SSKCD, YCH_GRPCD, YCH_KMKCD, YCH_CHKFG) VALUES (2026, 1, 1, 410, 1)");
    EXPECT_EQ(Status(510), 2);
    EXPECT_EQ(Status(510, 4, 5), 2);
    // Setting 1, or the exemption of another group: checked (no budget).
    EXPECT_EQ(Status(410), -1);
    EXPECT_EQ(fncGetBudgetStatus(2026, 1, 2, 410, 0, 0), 2);
}

TEST_F(BudgetTest, NoAccountLevelBudgetIsRefused) {
    EXPECT_EQ(Status(510), -1);
    // Budgets of other years, branches, groups or accounts do not count.
    Budget(510, 0, 0, "1000", 2025);
    Budget(510, 0, 0, "1000", 2026, 2, 1);
    Budget(510, 0, 0, "1000", 2026, 1, 2);
    Budget(410, 0, 0, "1000");
    EXPECT_EQ(Status(510), -1);
    // A sub-account budget without an account budget is inconsistent first.
    Budget(510, 1, 0, "100");
    EXPECT_EQ(Status(510, 1), -2);
    // An account budget of 0 is no budget.
    Budget(510, 0, 0, "0");
    EXPECT_EQ(Status(510), -1);
}

TEST_F(BudgetTest, BudgetAtTheDeepestLevelGivenIsRegistered) {
    Budget(510, 0, 0, "1000");
    Budget(510, 1, 0, "600");
    Budget(510, 1, 2, "1");
    EXPECT_EQ(Status(510), 1);
    EXPECT_EQ(Status(510, 1), 1);
    EXPECT_EQ(Status(510, 1, 2), 1);
    Budget(410, 0, 0, "1");
    EXPECT_EQ(Status(410), 1);
}

TEST_F(BudgetTest, ZeroAtTheGivenSubAccountLevelUnderABudgetedParentAsks) {
    Budget(510, 0, 0, "1000");
    Budget(510, 1, 0, "600");
    Budget(510, 3, 0, "0");
    EXPECT_EQ(Status(510, 2), 0);     // no sub-account 1 row
    EXPECT_EQ(Status(510, 3), 0);     // a row of 0
    EXPECT_EQ(Status(510, 1, 9), 0);  // no sub-account 2 row
    // A sub-account 2 budget of another sub-account 1 does not count.
    Budget(510, 3, 9, "0");
    Budget(510, 4, 9, "50");
    EXPECT_EQ(Status(510, 1, 9), 0);
}

TEST_F(BudgetTest, NegativeOrLargerThanParentBudgetsAreInconsistent) {
    Budget(510, 0, 0, "-1");
    EXPECT_EQ(Status(510), -2);
    folder.Sql("UPDATE YOSDT SET YOS_KIN = 1000");
    Budget(510, 1, 0, "-5");
    EXPECT_EQ(Status(510, 1), -2);
    // Not given, a sub-account level is not looked at.
    EXPECT_EQ(Status(510), 1);
    folder.Sql("UPDATE YOSDT SET YOS_KIN = 1001 WHERE YOS_HK1CD = 1");
    EXPECT_EQ(Status(510, 1), -2);  // sub-account 1 above the account
    folder.Sql("UPDATE YOSDT SET YOS_KIN = 500 WHERE YOS_HK1CD = 1");
    Budget(510, 1, 2, "501");
    EXPECT_EQ(Status(510, 1, 2), -2);  // sub-account 2 above sub-account 1
    EXPECT_EQ(Status(510, 1), 1);
    folder.Sql("UPDATE YOSDT SET YOS_KIN = -1 WHERE YOS_HK2CD = 2");
    EXPECT_EQ(Status(510, 1, 2), -2);
}

TEST_F(BudgetTest, DeepestBudgetBetweenZeroAndOneIsAFailure) {
    Budget(510, 0, 0, "0.5");
    EXPECT_EQ(Status(510), -8);
    folder.Sql("UPDATE YOSDT SET YOS_KIN = 1000");
    Budget(510, 1, 0, "0.5");
    EXPECT_EQ(Status(510, 1), -8);
    Budget(510, 1, 2, "0.25");
    EXPECT_EQ(Status(510, 1, 2), -8);
}

TEST_F(BudgetTest, RunTimeErrorGivesMinus9) {
    folder.Sql("DROP TABLE YCHMF");
    EXPECT_EQ(Status(510), -9);
}

// ---------------------------------------------------------------- check and messages

TEST_F(BudgetTest, StatusesNotSubjectOrRegisteredPassSilently) {
    MsgRecorder msgs;
    folder.Sql("INSERT INTO YCHMF (YCH_NENDO, YCH_SSKCD, YCH_GRPCD, YCH_KMKCD, YCH_CHKFG) VALUES (2026, 1, 1, 410, 2)");
    Budget(510, 0, 0, "1000");
    EXPECT_TRUE(fncCheckBudget(2026, 1, 1, 510, 0, 3));  // 9
    EXPECT_TRUE(fncCheckBudget(2026, 1, 1, 110, 0, 0));  // 3
    EXPECT_TRUE(fncCheckBudget(2026, 1, 1, 410, 0, 0));  // 2
    EXPECT_TRUE(fncCheckBudget(2026, 1, 1, 510, 0, 0));  // 1
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join(" / ").toStdString();
}

TEST_F(BudgetTest, ZeroSubAccountBudgetAsksWithNoAsDefault) {
    MsgRecorder msgs;
    Budget(510, 0, 0, "1000");
    Budget(510, 1, 0, "600");
    msgs.Answer(vbYes);
    EXPECT_TRUE(fncCheckBudget(2026, 1, 1, 510, 1, 2));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    const MsgBoxCall& c = msgs.Last();
    EXPECT_EQ(c.prompt, kQuestion);
    EXPECT_EQ(c.title, kTitle);
    EXPECT_EQ(c.icon(), vbQuestion);
    EXPECT_EQ(c.buttons(), vbYesNo);
    EXPECT_EQ(c.defaultButton(), vbDefaultButton2);

    msgs.Answer(vbNo);
    EXPECT_FALSE(fncCheckBudget(2026, 1, 1, 510, 2, 0));
    ASSERT_EQ(msgs.Calls().size(), 2u);
    EXPECT_EQ(msgs.Last().prompt, kQuestion);
}

TEST_F(BudgetTest, RefusalsShowTheirMessageAndReturnFalse) {
    MsgRecorder msgs;
    struct Case {
        const char* setup;  // YOSDT rows for account 510
        long hk1, hk2;
        QString text;
        int icon;
    };
    const Case cases[] = {
        {"", 0, 0, "予算額が設定されていないため登録できません。", vbExclamation},
        {"(0,0,-10)", 0, 0, "予算額が正常でないため登録できません。", vbExclamation},
        {"(0,0,100),(1,0,200)", 1, 0, "予算額が正常でないため登録できません。", vbExclamation},
        {"(0,0,100),(1,0,50),(1,2,60)", 1, 2, "予算額が正常でないため登録できません。", vbExclamation},
        {"(0,0,0.5)", 0, 0, "予算額チェック中にエラーが発生しました。", vbCritical},
        {"(0,0,100),(1,0,0.5)", 1, 0, "予算額チェック中にエラーが発生しました。", vbCritical},
    };
    for (const Case& k : cases) {
        folder.Sql("DELETE FROM YOSDT");
        if (*k.setup) {
            QString rows = QString(k.setup);
            rows.replace("(", "(2026,1,1,510,");
            folder.Sql("INSERT INTO YOSDT (YOS_NENDO, YOS_SSKCD, YOS_GRPCD, YOS_KMKCD, YOS_HK1CD, YOS_HK2CD, "
                       "YOS_KIN) VALUES " + rows);
        }
        msgs.Clear();
        EXPECT_FALSE(fncCheckBudget(2026, 1, 1, 510, k.hk1, k.hk2)) << k.setup;
        ASSERT_EQ(msgs.Calls().size(), 1u) << k.setup;
        EXPECT_EQ(msgs.Last().prompt, k.text) << k.setup;
        EXPECT_EQ(msgs.Last().icon(), k.icon) << k.setup;
        EXPECT_EQ(msgs.Last().buttons(), vbOKOnly) << k.setup;
        EXPECT_EQ(msgs.Last().title, kTitle) << k.setup;
    }
}

TEST_F(BudgetTest, RunTimeErrorIsReportedAsCheckFailureNotRaised) {
    MsgRecorder msgs;
    folder.Sql("DROP TABLE YOSDT");
    bool result = true;
    EXPECT_NO_THROW(result = fncCheckBudget(2026, 1, 1, 510, 0, 0));
    EXPECT_FALSE(result);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "予算額チェック中にエラーが発生しました。");
    EXPECT_EQ(msgs.Last().icon(), vbCritical);
    EXPECT_EQ(msgs.Last().title, kTitle);
}

}  // namespace
