// Master lookups, SYSTEM switches and program permission of basTavik, on a
// real database.
#include "TestSupport.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"

using namespace basStdComm;
using namespace basTavik;

namespace {

// Branch 1 "本社" with groups 1 (kind 0) and 2 (kind 1), branch 2 with
// group 1 (kind 1); fiscal year 2024 = calendar 2024 for everyone.
// The current user 1 works on branch 1, group 1.
class Masters : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Sql("INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN) VALUES (1, 0)");
        folder.Sql("INSERT INTO SSKMF (SSK_CD, SSK_NAME, SSK_RNAME) VALUES (1, '本社営業所', '本社'), (2, '支店', '大阪')");
        folder.Sql("INSERT INTO GRPMF (GRP_SSKCD, GRP_CD, GRP_RNAME, GRP_KBN) VALUES "
                   "(1, 1, '総務', 0), (1, 2, '事業', 1), (2, 1, '大阪事業', 1)");
        folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_KSYM, KSK_KIST, KSK_KIEND, "
                   "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, "
                   "KSK_SIME9, KSK_SIME10, KSK_SIME11, KSK_SIME12) VALUES (0, 0, 2024, 202401, 20240101, "
                   "20241231, 20240131, 20240229, 20240331, 20240430, 20240531, 20240630, 20240731, 20240831, "
                   "20240930, 20241031, 20241130, 20241231)");
    }
    void Account(int cd, const QString& name, int grkbn, int ssk = 0, int grp = 0) {
        folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_GRKBN, KMK_SSKCD, KMK_GRPCD) "
                   "VALUES (2024, " + QString::number(cd) + ", '" + name + "', '" + name + "', " +
                   QString::number(grkbn) + ", " + QString::number(ssk) + ", " + QString::number(grp) + ")");
    }
    AppFolder folder;
    MsgRecorder msgs;
};

// ---------------------------------------------------------------- branch and group

TEST_F(Masters, BranchAndGroupNamesDefaultToTheCurrentOnes) {
    EXPECT_EQ(FncGetSskName(), QString::fromUtf8("本社"));
    EXPECT_EQ(FncGetSskName(2), QString::fromUtf8("大阪"));
    EXPECT_EQ(FncGetGrpName(), QString::fromUtf8("総務"));
    EXPECT_EQ(FncGetGrpName(0, 2), QString::fromUtf8("事業"));
    EXPECT_EQ(FncGetGrpName(2, 0), QString::fromUtf8("大阪事業"));
    EXPECT_EQ(FncGetSskGrpName(), QString::fromUtf8("本社 ／ 総務"));
    EXPECT_EQ(FncGetSskGrpName(2, 1), QString::fromUtf8("大阪 ／ 大阪事業"));
}

TEST_F(Masters, AMissingGroupLeavesItsNameEmpty) {
    EXPECT_EQ(FncGetGrpName(1, 9), "");
    EXPECT_EQ(FncGetSskGrpName(1, 9), QString::fromUtf8("本社 ／ "));
    EXPECT_EQ(FncGetSskGrpName(9, 9), QString::fromUtf8(" ／ "));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Masters, CalendarKeyingAndGroupKind) {
    EXPECT_EQ(FncGetCntKikbn(), 0);
    folder.Sql("UPDATE CNTMF SET CNT_KIKBN = 3");
    EXPECT_EQ(FncGetCntKikbn(), 3);
    EXPECT_EQ(FncGetGrpKbn(), 0);
    EXPECT_EQ(FncGetGrpKbn(1, 2), 1);
    EXPECT_EQ(FncGetGrpKbn(0, 2), 1);
    EXPECT_EQ(FncGetGrpKbn(1, 9), 0);
}

TEST_F(Masters, SwitchesAreReadByKeyAndMissingOnesAreEmpty) {
    folder.Sql("INSERT INTO SYSTEM (SYS_KEY, SYS_VALUE) VALUES ('GTekiCopy', '1'), ('it''s', 'quoted')");
    EXPECT_EQ(FncGetSysValue("GTekiCopy"), "1");
    EXPECT_EQ(FncGetSysValue("it's"), "quoted");
    EXPECT_EQ(FncGetSysValue("YOS_CHECK_ON"), "");
    EXPECT_TRUE(msgs.Empty());
}

// ---------------------------------------------------------------- accounts and sub-accounts

TEST_F(Masters, AccountNamesOfTheFiscalYearOfTheDate) {
    Account(100, "現金", 0);
    EXPECT_EQ(FncGetKmkName(100, 20240510), QString::fromUtf8("現金"));
    EXPECT_EQ(FncGetKmkName(100, 2024), QString::fromUtf8("現金"));
    EXPECT_EQ(FncGetKmkName(100, 202412), QString::fromUtf8("現金"));
    EXPECT_EQ(FncGetKmkName(101, 20240510), "");
    // No fiscal year for the date.
    EXPECT_EQ(FncGetKmkName(100, 20250510), "");
    EXPECT_FALSE(FncIsKmkUsable(100, 20250510));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Masters, AnAccountForEveryoneIsUsableByEveryGroup) {
    Account(100, "現金", 0);
    Account(103, "特殊", 3);
    EXPECT_TRUE(FncIsKmkUsable(100, 20240510));
    EXPECT_TRUE(FncIsKmkUsable(100, 20240510, 1, 2));
    EXPECT_TRUE(FncIsKmkUsable(103, 20240510, 2, 1));
    EXPECT_FALSE(FncIsKmkUsable(999, 20240510));
}

TEST_F(Masters, AnAccountOfScopeOneIsForGroupsOfKindZeroOnly) {
    Account(110, "本部費", 1);
    EXPECT_TRUE(FncIsKmkUsable(110, 20240510));          // branch 1 group 1: kind 0
    EXPECT_FALSE(FncIsKmkUsable(110, 20240510, 1, 2));   // kind 1
    EXPECT_FALSE(FncIsKmkUsable(110, 20240510, 2, 1));
    EXPECT_EQ(FncGetKmkName(110, 20240510), QString::fromUtf8("本部費"));
    EXPECT_EQ(FncGetKmkName(110, 20240510, 1, 2), "");
}

TEST_F(Masters, AnAccountOfScopeTwoIsForItsOwningGroupOfKindOneOnly) {
    Account(120, "事業費", 2, 1, 2);
    EXPECT_TRUE(FncIsKmkUsable(120, 20240510, 1, 2));
    // Owned by another group, though this one is of kind 1 too.
    EXPECT_FALSE(FncIsKmkUsable(120, 20240510, 2, 1));
    // Current group 1 of branch 1 is of kind 0.
    EXPECT_FALSE(FncIsKmkUsable(120, 20240510));
    // The owner's kind changed to 0: not usable any more.
    folder.Sql("UPDATE GRPMF SET GRP_KBN = 0 WHERE GRP_SSKCD = 1 AND GRP_CD = 2");
    EXPECT_FALSE(FncIsKmkUsable(120, 20240510, 1, 2));
    EXPECT_EQ(FncGetKmkName(120, 20240510, 1, 2), "");
}

TEST_F(Masters, SubAccountsOneAreSharedByAllBranches) {
    Account(100, "現金", 0);
    folder.Sql("INSERT INTO HK1MF (HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_NM, HK1_RNAME) VALUES (2024, 100, 5, '小口', '小口現金')");
    EXPECT_EQ(FncGetHk1Name(100, 5, 20240510), QString::fromUtf8("小口現金"));
    EXPECT_EQ(FncGetHk1Name(100, 5, 20240510, 2, 1), QString::fromUtf8("小口現金"));
    EXPECT_TRUE(FncExistHk1(100, 5, 2024));
    EXPECT_FALSE(FncExistHk1(100, 6, 2024));
    EXPECT_FALSE(FncExistHk1(101, 5, 20240510));
    EXPECT_EQ(FncGetHk1Name(100, 5, 20250510), "");
    EXPECT_FALSE(FncExistHk1(100, 5, 20250510));
}

TEST_F(Masters, SubAccountsTwoBelongToTheirBranchAndGroup) {
    folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_RNAME) VALUES "
               "(2024, 100, 5, 7, 1, 1, '本社分'), (2024, 100, 5, 7, 2, 1, '大阪分')");
    EXPECT_EQ(FncGetHk2Name(100, 5, 7, 20240510), QString::fromUtf8("本社分"));
    EXPECT_EQ(FncGetHk2Name(100, 5, 7, 20240510, 2, 1), QString::fromUtf8("大阪分"));
    EXPECT_EQ(FncGetHk2Name(100, 5, 7, 20240510, 1, 2), "");
    EXPECT_TRUE(FncExistHk2(100, 5, 7, 20240510));
    EXPECT_TRUE(FncExistHk2(100, 5, 7, 2024, 2, 1));
    EXPECT_FALSE(FncExistHk2(100, 5, 7, 20240510, 1, 2));
    EXPECT_FALSE(FncExistHk2(100, 5, 8, 20240510));
    EXPECT_FALSE(FncExistHk2(100, 5, 7, 20250510));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Masters, AFailingAccountQueryIsReportedAndGivesTheDefault) {
    ASSERT_TRUE(gobjDB->Execute("DROP TABLE HK1MF"));
    EXPECT_EQ(FncGetHk1Name(100, 5, 20240510), "");
    EXPECT_EQ(msgs.Calls().size(), 1u);
    EXPECT_FALSE(FncExistHk1(100, 5, 20240510));
    EXPECT_EQ(msgs.Calls().size(), 2u);
}

// ---------------------------------------------------------------- permission

// Menu: entry 10 "会計" with child entry 11 running WKE410 and entry 12
// running WKR430 with no parent. User 5 is in user groups 1 and 2.
class Permission : public Masters {
protected:
    void SetUp() override {
        Masters::SetUp();
        glngUserType = 1;
        glngUserId = 5;
        folder.Sql("INSERT INTO MNUMF (MNU_MEID, MNU_PGID, MNU_UPID, MNU_NAME) VALUES "
                   "(10, NULL, 0, '会計'), (11, 'WKE410', 10, '振替伝票入力'), (12, 'WKR430', 0, '元帳照会')");
        folder.Sql("INSERT INTO UGLMF (UGL_UID, UGL_GID) VALUES (5, 1), (5, 2), (6, 3)");
    }
    void Perm(int group, int entry, int perm, int branch = 1) {
        folder.Sql("INSERT INTO SECMF (SEC_USGID, SEC_MNUID, SEC_SSKCD, SEC_PERM) VALUES (" +
                   QString::number(group) + ", " + QString::number(entry) + ", " + QString::number(branch) + ", " +
                   QString::number(perm) + ")");
    }
};

TEST_F(Permission, AUserOfTypeThreeMayRunEveryProgramWithoutRows) {
    glngUserType = 3;
    EXPECT_TRUE(FncCheckPermission("WKE410"));
    EXPECT_TRUE(FncCheckPermission("NOPROG", 77, 9));
}

TEST_F(Permission, AnyOtherUserWithoutRowsMayNot) {
    EXPECT_FALSE(FncCheckPermission("WKE410"));
    EXPECT_FALSE(FncCheckPermission("WKR430"));
    EXPECT_FALSE(FncCheckPermission("NOPROG"));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Permission, FullUseOfTheEntryAndItsParentAllowsTheProgram) {
    Perm(1, 10, 2);
    Perm(1, 11, 2);
    Perm(2, 10, 2);
    Perm(2, 11, 2);
    EXPECT_TRUE(FncCheckPermission("WKE410"));
    EXPECT_TRUE(FncCheckPermission("WKE410", 5, 1));
    EXPECT_TRUE(FncCheckPermission("WKE410", 0, 0));
    // Other user, other branch.
    EXPECT_FALSE(FncCheckPermission("WKE410", 6));
    EXPECT_FALSE(FncCheckPermission("WKE410", 5, 2));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Permission, TheLowestPermissionOverTheUsersGroupsDecides) {
    Perm(1, 10, 2);
    Perm(1, 11, 2);
    Perm(2, 10, 2);
    Perm(2, 11, 1);
    EXPECT_FALSE(FncCheckPermission("WKE410"));
    folder.Sql("UPDATE SECMF SET SEC_PERM = 2 WHERE SEC_USGID = 2 AND SEC_MNUID = 11");
    folder.Sql("UPDATE SECMF SET SEC_PERM = 1 WHERE SEC_USGID = 2 AND SEC_MNUID = 10");
    EXPECT_FALSE(FncCheckPermission("WKE410"));
}

TEST_F(Permission, AParentEntryLackingARowCapsTheResultAtZero) {
    Perm(1, 11, 2);
    Perm(2, 11, 2);
    EXPECT_FALSE(FncCheckPermission("WKE410"));
    // A row for the parent in one of the user's groups is enough.
    Perm(1, 10, 2);
    EXPECT_TRUE(FncCheckPermission("WKE410"));
}

TEST_F(Permission, AnEntryWithoutParentNeedsOnlyItsOwnRows) {
    Perm(1, 12, 2);
    EXPECT_TRUE(FncCheckPermission("WKR430"));
    folder.Sql("UPDATE SECMF SET SEC_PERM = 1");
    EXPECT_FALSE(FncCheckPermission("WKR430"));
}

TEST_F(Permission, AProgramIdIsQuoted) {
    Perm(1, 12, 2);
    EXPECT_FALSE(FncCheckPermission("WKR430' OR '1'='1"));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Permission, AFailingQueryIsReportedAndRefuses) {
    Perm(1, 12, 2);
    ASSERT_TRUE(gobjDB->Execute("DROP TABLE SECMF"));
    EXPECT_FALSE(FncCheckPermission("WKR430"));
    EXPECT_EQ(msgs.Calls().size(), 1u);
}

}  // namespace
