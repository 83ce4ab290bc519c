// The ledger window: conditions, the ledger query with its carried-forward
// and running balances, the code fields with their search and names, and
// opening a voucher from a line. Vouchers are posted to the balance tables
// as the entry program posts them, so opening balances are real.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "inquiry/basKR430.h"
#include "inquiry/frmKR430.h"
#include "platform/AppInfo.h"
#include "platform/CodeSearch.h"
#include "platform/InputFields.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "platform/VoucherOpener.h"
#include "voucher_entry/basUpdate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace basStdComm;

namespace {

// The window is measured against a screen such as a clerk has.
const bool screen1280 = UseScreen1280x1024();

struct OpenCall {
    QString mode;
    long date;
    long number;
};

// Cash (debit normal) opens the year with kOpening; sales (credit normal)
// with nothing. April: one sale for cash. May: supplies paid in cash, a
// receipt against receivables and sales together (several counter-accounts),
// and a sales return paid back in cash.
constexpr long kOpening = 50000;

class Ledger : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_NM, "
                   "HK2_RNAME) VALUES (2026, 110, 2, 7, 1, 1, '給与振込口座', '給与口座')");
        SetVoucherOpenerHandler([this](const QString& mode, long date, long number) {
            opened.push_back({mode, date, number});
            if (whileOpen) whileOpen();
        });
    }
    void TearDown() override {
        SetVoucherOpenerHandler(nullptr);
        SetCodeSearchHandler(nullptr);
    }

    // Stores a voucher and posts it to the balance tables.
    void Post(long ym, long no, long date, const QList<TestLine>& lines) {
        InsertVoucher(folder, ym, no, date, lines);
        ASSERT_TRUE(basUpdate::fncUpdateBalance("+", 1, 1, ym, no));
    }
    // The counter-account the entry program stores on a line.
    void Counter(long ym, long no, int side, int gyo, long akmk, long ahk1 = 0, long ahk2 = 0) {
        folder.Sql(QString("UPDATE DNMDT SET DNM_AKMKCD = %1, DNM_AHK1CD = %2, DNM_AHK2CD = %3 WHERE DNM_YM = %4 "
                           "AND DNM_DENNO = %5 AND DNM_TSKBN = %6 AND DNM_GYO = %7")
                       .arg(akmk)
                       .arg(ahk1)
                       .arg(ahk2)
                       .arg(ym)
                       .arg(no)
                       .arg(side)
                       .arg(gyo));
    }
    void CashOpening(long amount) {
        folder.Sql("UPDATE KMZMF SET KMZ_ZZAN = " + QString::number(amount) +
                   " WHERE KMZ_YM = 202604 AND KMZ_KMKCD = 100");
        ASSERT_TRUE(gobjDB->Execute("sp_KMZMF_UPDATE 202604, 2026, 1, 1, 100"));
    }
    void Scenario() {
        Post(202604, 1, 20260410, {{1, 1, kCash, "10000"}, {1, 2, kSales, "10000", "0", 0, 0, 0, "現金売上"}});
        Counter(202604, 1, 1, 1, kSales);
        Counter(202604, 1, 2, 1, kCash);
        Post(202605, 1, 20260515, {{1, 1, kSupplies, "3000"}, {1, 2, kCash, "3000", "0", 0, 0, 0, "文具"}});
        Counter(202605, 1, 1, 1, kCash);
        Counter(202605, 1, 2, 1, kSupplies);
        Post(202605, 2, 20260520,
             {{1, 1, kCash, "5000", "0", 0, 0, 0, "入金"}, {1, 2, kReceivable, "2000"}, {2, 2, kSales, "3000"}});
        Counter(202605, 2, 2, 1, kCash);
        Counter(202605, 2, 2, 2, kCash);
        Post(202605, 3, 20260525, {{1, 1, kSales, "1000", "0", 0, 0, 0, "返品"}, {1, 2, kCash, "1000"}});
        Counter(202605, 3, 1, 1, kCash);
        Counter(202605, 3, 2, 1, kSales);
        CashOpening(kOpening);
    }

    std::unique_ptr<frmKR430> Open() {
        auto f = std::make_unique<frmKR430>();
        f->show();
        QApplication::setActiveWindow(f.get());
        QApplication::processEvents();
        return f;
    }
    static void Range(frmKR430& f, long ymS, long ymE) {
        f.txtDateS->NumValue(ymS);
        f.txtDateE->NumValue(ymE);
    }
    static void Codes(frmKR430& f, const QString& kmk, const QString& hk1 = QString(), const QString& hk2 = QString()) {
        f.txtKmkCd->Value(kmk);
        f.txtHk1Cd->Value(hk1);
        f.txtHk2Cd->Value(hk2);
    }
    static QString cell(frmKR430& f, const QString& key, int row) { return f.DenMain->Cell(key, row); }
    static Currency amount(frmKR430& f, const QString& key, int row) { return Currency::FromText(cell(f, key, row)); }
    static Currency total(frmKR430& f, const QString& key) { return Currency::FromText(f.DenMain->Total(key)); }
    static Currency whole(long n) { return Currency::FromWhole(n); }

    AppFolder folder;
    MsgRecorder msgs;
    std::vector<OpenCall> opened;
    std::function<void()> whileOpen;
};

// ---------------------------------------------------------------- first activation

TEST_F(Ledger, FirstActivationShowsGroupAndTheOpenYearFromItsFirstMonthToItsTwelfthWithoutQuerying) {
    Scenario();
    auto f = Open();
    EXPECT_EQ(f->lblGrp->Caption(), basTavik::FncGetSskGrpName(0, 0));
    EXPECT_EQ(f->txtDateS->Date(), QDate(2026, 4, 1));
    EXPECT_EQ(f->txtDateE->Date(), QDate(2027, 3, 1));
    EXPECT_EQ(f->txtDateS->Value(), "2026/04");
    EXPECT_EQ(f->lngStartNendo, 2026);
    EXPECT_FALSE(f->DenMain->GridEnabled());
    EXPECT_EQ(f->DenMain->RowCount(), 0);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    // Activating again changes nothing.
    f->txtDateS->NumValue(202606);
    f->Form_Activate();
    EXPECT_EQ(f->txtDateS->NumValue(), 202606);
}

TEST_F(Ledger, WithoutAnOpenYearTheDatesStayEmptyAndSearchAsksForADateFirst) {
    folder.Sql("UPDATE KSKMF SET KSK_NUP = 1");
    int searches = 0;
    SetCodeSearchHandler([&](const CodeSearchRequest&) {
        ++searches;
        return CodeSearch::Cancel;
    });
    auto f = Open();
    EXPECT_TRUE(f->txtDateS->IsEmpty());
    EXPECT_TRUE(f->txtDateE->IsEmpty());
    EXPECT_EQ(f->lngStartNendo, 0);
    QTest::keyClick(f->txtKmkCd->Editor(), Qt::Key_F5);
    QTest::keyClick(f->txtHk1Cd->Editor(), Qt::Key_Space);
    QTest::keyClick(f->txtHk2Cd->Editor(), Qt::Key_F5);
    ASSERT_EQ(msgs.Calls().size(), 3u);
    EXPECT_EQ(msgs.Calls()[0].prompt, "伝票日付を入力しないと科目の選択が出来ません。");
    EXPECT_EQ(msgs.Calls()[1].prompt, "伝票日付を入力しないと補助科目１の選択が出来ません｡ ");
    EXPECT_EQ(msgs.Calls()[2].prompt, "伝票日付を入力しないと補助科目２の選択が出来ません。");
    for (const MsgBoxCall& c : msgs.Calls()) {
        EXPECT_EQ(c.icon(), vbExclamation);
        EXPECT_EQ(c.title, "元帳照会");
    }
    EXPECT_EQ(searches, 0);
}

// ---------------------------------------------------------------- checks before the query

TEST_F(Ledger, AReversedRangeIsRefusedBeforeAnyDatabaseAccess) {
    Scenario();
    auto f = Open();
    Range(*f, 202604, 202603);
    Codes(*f, "100");
    msgs.Clear();
    gobjDB->Disconnect();
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(msgs.Last().prompt, "伝票日付の開始と終了の大小関係が逆になっています。");
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_EQ(msgs.Last().title, "元帳照会");
    EXPECT_FALSE(f->DenMain->GridEnabled());
}

TEST_F(Ledger, MissingDatesAskForTheVoucherDate) {
    auto f = Open();
    f->txtDateE->Value("");
    Codes(*f, "100");
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "伝票日付を入力して下さい。");
}

TEST_F(Ledger, ARangeAcrossTwoFiscalYearsIsRefusedEvenWhenBothMonthsExist) {
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, KSK_SIME1, "
               "KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, KSK_SIME10, "
               "KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2027, 0, 202704, 20270401, 20280331, 20270430, "
               "20270531, 20270630, 20270731, 20270831, 20270930, 20271031, 20271130, 20271231, 20280131, 20280229, "
               "20280331, 0)");
    Scenario();
    auto f = Open();
    Range(*f, 202703, 202704);
    Codes(*f, "100");
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(msgs.Last().prompt, "伝票日付の開始と終了は、決算年度が違うため元帳照会できません。");
    EXPECT_EQ(f->DenMain->RowCount(), 0);
    // Each year on its own is fine.
    msgs.Clear();
    Range(*f, 202604, 202703);
    EXPECT_TRUE(f->fncShowLedger());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Ledger, AnEmptyAccountEmptiesEveryCodeAndAsksForIt) {
    Scenario();
    auto f = Open();
    Codes(*f, "", "1", "7");
    f->lblHk1Nm->Caption("x");
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "科目を入力してください。");
    EXPECT_EQ(f->txtHk1Cd->Value(), "");
    EXPECT_EQ(f->txtHk2Cd->Value(), "");
    EXPECT_EQ(f->lblHk1Nm->Caption(), "");
}

TEST_F(Ledger, UnknownAccountAndSubAccountsAreRefusedWithTheirOwnMessages) {
    Scenario();
    auto f = Open();
    Codes(*f, "999");
    EXPECT_FALSE(f->fncShowLedger());
    Codes(*f, "110", "9");
    EXPECT_FALSE(f->fncShowLedger());
    Codes(*f, "110", "2", "8");
    EXPECT_FALSE(f->fncShowLedger());
    EXPECT_EQ(msgs.Texts(), QStringList({"科目が登録されていないか、この組織、グループでは利用できない科目です。",
                                         "補助科目１が登録されていません。",
                                         "補助科目２が登録されていないか、この組織、グループでは利用できない科目です。"}));
    EXPECT_EQ(f->lblHk1Nm->Caption(), "三井住友銀行");
}

TEST_F(Ledger, AMonthWithoutLinesSaysSoAndLeavesTheGridDisabled) {
    Scenario();
    auto f = Open();
    Range(*f, 202607, 202608);
    Codes(*f, "100");
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "該当のデータは、ありませんでした。");
    EXPECT_FALSE(f->DenMain->GridEnabled());
}

TEST_F(Ledger, LinesWithoutABalanceRowGiveTheBalanceMessage) {
    // Stored but never posted: no balance rows at all.
    InsertVoucher(folder, 202606, 1, 20260610, {{1, 1, kCash, "700"}, {1, 2, kSales, "700"}});
    auto f = Open();
    Range(*f, 202606, 202606);
    Codes(*f, "100");
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(msgs.Last().prompt, "残高取得時にエラーが発生しました。");
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_EQ(f->DenMain->RowCount(), 0);
    EXPECT_TRUE(f->DenMain->Redraw());
}

// ---------------------------------------------------------------- the ledger

TEST_F(Ledger, RowZeroCarriesTheYearOpeningForwardAndEachLineRunsTheBalance) {
    Scenario();
    auto f = Open();
    Range(*f, 202604, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_TRUE(f->DenMain->GridEnabled());
    EXPECT_EQ(f->lblKmkNm->Caption(), "現金");

    // Four cash lines: one row more for the carried-forward line.
    ASSERT_EQ(f->DenMain->Rows(), 5);
    EXPECT_EQ(cell(*f, "DATA_KMKNM", 0), "前期繰越金");
    EXPECT_EQ(amount(*f, "DATA_ZAND", 0), whole(kOpening));
    for (const char* key : {"DATA_DATE", "DATA_DENNO", "DATA_KMKCD", "DATA_HK1CD", "DATA_HK1NM", "DATA_KARI",
                            "DATA_KASI", "DATA_TEKIYO"})
        EXPECT_EQ(cell(*f, key, 0), "") << key;

    // Month, then number, then line.
    EXPECT_EQ(cell(*f, "DATA_DATE", 1), "2026/04/10");
    EXPECT_EQ(cell(*f, "DATA_DENNO", 1), "1");
    EXPECT_EQ(cell(*f, "DATA_KMKCD", 1), "400");
    EXPECT_EQ(cell(*f, "DATA_KMKNM", 1), "売上高");
    EXPECT_EQ(amount(*f, "DATA_KARI", 1), whole(10000));
    EXPECT_EQ(cell(*f, "DATA_KASI", 1), "");
    EXPECT_EQ(amount(*f, "DATA_ZAND", 1), whole(kOpening + 10000));

    EXPECT_EQ(cell(*f, "DATA_DATE", 2), "2026/05/15");
    EXPECT_EQ(cell(*f, "DATA_KMKNM", 2), "消耗品費");
    EXPECT_EQ(amount(*f, "DATA_KASI", 2), whole(3000));
    EXPECT_EQ(amount(*f, "DATA_ZAND", 2), whole(kOpening + 10000 - 3000));
    EXPECT_EQ(cell(*f, "DATA_TEKIYO", 2), "文具");

    EXPECT_EQ(cell(*f, "DATA_DENNO", 3), "2");
    EXPECT_EQ(amount(*f, "DATA_ZAND", 3), whole(kOpening + 10000 - 3000 + 5000));
    EXPECT_EQ(cell(*f, "DATA_DENNO", 4), "3");
    EXPECT_EQ(amount(*f, "DATA_ZAND", 4), whole(kOpening + 10000 - 3000 + 5000 - 1000));

    EXPECT_EQ(total(*f, "FOOT_KARI"), whole(10000 + 5000));
    EXPECT_EQ(total(*f, "FOOT_KASI"), whole(3000 + 1000));
    EXPECT_EQ(total(*f, "FOOT_ZAND"), amount(*f, "DATA_ZAND", 4));
    EXPECT_EQ(f->lngRowDenDate, (std::vector<long>{0, 20260410, 20260515, 20260520, 20260525}));

    // Amounts as the user reads them.
    EXPECT_EQ(f->DenMain->DisplayText("DATA_ZAND", 4), "61,000");
    EXPECT_EQ(f->DenMain->DisplayText("DATA_KARI", 4), "");
}

TEST_F(Ledger, ALaterStartMonthCarriesThePreviousMonthForward) {
    Scenario();
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    ASSERT_EQ(f->DenMain->Rows(), 4);
    EXPECT_EQ(cell(*f, "DATA_KMKNM", 0), "前月繰越金");
    // The balance stored for the start of May: the opening plus April.
    EXPECT_EQ(amount(*f, "DATA_ZAND", 0), whole(kOpening + 10000));
    EXPECT_EQ(cell(*f, "DATA_DATE", 1), "2026/05/15");
}

TEST_F(Ledger, ACreditNormalAccountRisesWithCreditsAndFallsWithDebits) {
    Scenario();
    auto f = Open();
    Range(*f, 202604, 202605);
    Codes(*f, "400");
    ASSERT_TRUE(f->fncShowLedger());
    ASSERT_EQ(f->DenMain->Rows(), 4);
    EXPECT_EQ(amount(*f, "DATA_ZAND", 0), whole(0));
    EXPECT_EQ(amount(*f, "DATA_KASI", 1), whole(10000));
    EXPECT_EQ(amount(*f, "DATA_ZAND", 1), whole(10000));
    EXPECT_EQ(amount(*f, "DATA_KASI", 2), whole(3000));
    EXPECT_EQ(amount(*f, "DATA_ZAND", 2), whole(13000));
    EXPECT_EQ(amount(*f, "DATA_KARI", 3), whole(1000));
    EXPECT_EQ(amount(*f, "DATA_ZAND", 3), whole(12000));
    EXPECT_EQ(total(*f, "FOOT_ZAND"), whole(12000));
    // A zero balance shows blank.
    EXPECT_EQ(f->DenMain->DisplayText("DATA_ZAND", 0), "");
}

TEST_F(Ledger, FractionalAmountsRunExactlyAndAGridFilledBeforeKeepsNothingOfIt) {
    Post(202604, 11, 20260403, {{1, 1, kCash, "1000.5"}, {1, 2, kSales, "1000.5"}});
    Post(202604, 12, 20260404, {{1, 1, kSupplies, "0.25"}, {1, 2, kCash, "0.25", "0", 0, 0, 0, "端数"}});
    Post(202604, 13, 20260405, {{1, 1, kCash, "123456789012"}, {1, 2, kSales, "123456789012"}});
    auto f = Open();
    // A longer ledger first: its rows must not show through the shorter one.
    Scenario();
    Range(*f, 202604, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    ASSERT_EQ(f->DenMain->Rows(), 8);
    Range(*f, 202604, 202604);
    ASSERT_TRUE(f->fncShowLedger());
    ASSERT_EQ(f->DenMain->Rows(), 5);
    // The voucher of the 10th has the lowest number and comes first.
    EXPECT_EQ(cell(*f, "DATA_DATE", 1), "2026/04/10");
    EXPECT_EQ(cell(*f, "DATA_DATE", 2), "2026/04/03");
    EXPECT_EQ(cell(*f, "DATA_KARI", 2), "1000.5");
    EXPECT_EQ(cell(*f, "DATA_KASI", 2), "");
    EXPECT_EQ(cell(*f, "DATA_TEKIYO", 2), "");
    EXPECT_EQ(cell(*f, "DATA_KASI", 3), "0.25");
    EXPECT_EQ(cell(*f, "DATA_TEKIYO", 3), "端数");
    EXPECT_EQ(amount(*f, "DATA_ZAND", 3), whole(kOpening + 10000) + Currency::FromText("1000.25"));
    EXPECT_EQ(cell(*f, "DATA_KARI", 4), "123456789012");
    EXPECT_EQ(total(*f, "FOOT_KARI"), Currency::FromText("123456800012.5"));
    EXPECT_EQ(total(*f, "FOOT_KASI"), Currency::FromText("0.25"));
    EXPECT_EQ(total(*f, "FOOT_ZAND"), whole(kOpening) + Currency::FromText("123456800012.25"));
    EXPECT_EQ(f->DenMain->RowCount(), 5);
    EXPECT_EQ(f->lngRowDenDate, (std::vector<long>{0, 20260410, 20260403, 20260404, 20260405}));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Ledger, AVoucherDateThatIsNoDateStopsTheQueryWithTheErrorReportAfterTheLinesBefore) {
    Scenario();
    // A voucher of May whose date the calendar does not have.
    Post(202605, 9, 20260515, {{1, 1, kCash, "700"}, {1, 2, kSales, "700"}});
    folder.Sql("UPDATE DNHDT SET DNH_DATE = 20260532 WHERE DNH_YM = 202605 AND DNH_DENNO = 9");
    auto f = Open();
    Range(*f, 202604, 202605);
    Codes(*f, "100");
    msgs.Clear();
    EXPECT_FALSE(f->fncShowLedger());
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_TRUE(f->DenMain->Redraw());
    // The four lines before it are shown, the broken one and the footer not.
    EXPECT_EQ(f->DenMain->Rows(), 6);
    EXPECT_EQ(cell(*f, "DATA_DENNO", 4), "3");
    EXPECT_EQ(amount(*f, "DATA_ZAND", 4), whole(kOpening + 10000 - 3000 + 5000 - 1000));
    EXPECT_EQ(cell(*f, "DATA_DENNO", 5), "");
    EXPECT_EQ(f->DenMain->RowCount(), 5);
    EXPECT_EQ(f->DenMain->Total("FOOT_ZAND"), "");
}

TEST_F(Ledger, ALineAgainstSeveralAccountsShowsShoguchiWithEmptySubAccountCodes) {
    Scenario();
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(cell(*f, "DATA_DENNO", 2), "2");
    EXPECT_EQ(cell(*f, "DATA_KMKNM", 2), "諸口");
    EXPECT_EQ(f->DenMain->DisplayText("DATA_KMKCD", 2), "");
    EXPECT_EQ(cell(*f, "DATA_HK1CD", 2), "");
    EXPECT_EQ(cell(*f, "DATA_HK2CD", 2), "");
    EXPECT_EQ(cell(*f, "DATA_TEKIYO", 2), "入金");
}

TEST_F(Ledger, CounterSubAccountsShowTheirCodesAndNames) {
    Post(202606, 1, 20260601, {{1, 1, kCash, "800"}, {1, 2, kBank, "800", "0", 2, 7}});
    Counter(202606, 1, 1, 1, kBank, 2, 7);
    Counter(202606, 1, 2, 1, kCash);
    auto f = Open();
    Range(*f, 202606, 202606);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(cell(*f, "DATA_KMKCD", 1), "110");
    EXPECT_EQ(cell(*f, "DATA_KMKNM", 1), "普通預金");
    EXPECT_EQ(cell(*f, "DATA_HK1CD", 1), "2");
    EXPECT_EQ(cell(*f, "DATA_HK1NM", 1), "三井住友銀行");
    EXPECT_EQ(cell(*f, "DATA_HK2CD", 1), "7");
    EXPECT_EQ(cell(*f, "DATA_HK2NM", 1), "給与口座");
}

TEST_F(Ledger, SubAccountsNarrowTheLedgerAndTakeTheirOwnOpeningBalance) {
    Post(202604, 1, 20260401, {{1, 1, kBank, "9000", "0", 1}, {1, 2, kSales, "9000"}});
    Post(202605, 1, 20260502, {{1, 1, kBank, "4000", "0", 2, 7}, {1, 2, kSales, "4000"}});
    Post(202605, 2, 20260503, {{1, 1, kBank, "600", "0", 2}, {1, 2, kSales, "600"}});
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "110", "1");
    EXPECT_FALSE(f->fncShowLedger());
    // Sub-account 1 code 1 has no line in May: nothing to show.
    EXPECT_EQ(msgs.Texts(), QStringList{"該当のデータは、ありませんでした。"});
    msgs.Clear();
    Range(*f, 202604, 202605);
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(f->DenMain->Rows(), 2);
    EXPECT_EQ(f->lblHk1Nm->Caption(), "みずほ銀行");
    Codes(*f, "110", "2");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(f->DenMain->Rows(), 3);
    EXPECT_EQ(total(*f, "FOOT_ZAND"), whole(4600));
    Codes(*f, "110", "2", "7");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(f->DenMain->Rows(), 2);
    EXPECT_EQ(f->lblHk2Nm->Caption(), "給与口座");
    EXPECT_EQ(amount(*f, "DATA_KARI", 1), whole(4000));
    // May opens with April: sub-account 1 code 1 carries its own 9,000.
    Range(*f, 202605, 202605);
    Codes(*f, "110");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(amount(*f, "DATA_ZAND", 0), whole(9000));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Ledger, ASubAccountTwoWithoutSubAccountOneIsClearedAndTheWholeAccountShown) {
    Post(202605, 1, 20260502, {{1, 1, kBank, "4000", "0", 2, 7}, {1, 2, kSales, "4000"}});
    Post(202605, 2, 20260503, {{1, 1, kBank, "600", "0", 1}, {1, 2, kSales, "600"}});
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "110", "", "7");
    f->lblHk2Nm->Caption("給与口座");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(f->txtHk2Cd->Value(), "");
    EXPECT_EQ(f->lblHk2Nm->Caption(), "");
    EXPECT_EQ(f->DenMain->Rows(), 3);
    EXPECT_EQ(total(*f, "FOOT_KARI"), whole(4600));
}

TEST_F(Ledger, DeletedVouchersAreNotInTheLedger) {
    Scenario();
    folder.Sql("UPDATE DNHDT SET DNH_DELKBN = 9 WHERE DNH_YM = 202605 AND DNH_DENNO = 1");
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    EXPECT_EQ(f->DenMain->Rows(), 3);
    EXPECT_EQ(cell(*f, "DATA_DENNO", 1), "2");
}

TEST_F(Ledger, TheViewButtonRunsTheQueryOfTheFieldsOnScreen) {
    Scenario();
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "400");
    QTest::mouseClick(f->cmdView, Qt::LeftButton);
    EXPECT_EQ(f->DenMain->Rows(), 3);
    EXPECT_EQ(f->lblKmkNm->Caption(), "売上高");
}

// ---------------------------------------------------------------- code fields

TEST_F(Ledger, SearchFillsEachCodeWithItsParametersAndLooksUpItsName) {
    std::vector<CodeSearchRequest> requests;
    long pick = 0;
    SetCodeSearchHandler([&](const CodeSearchRequest& r) {
        requests.push_back(r);
        for (size_t i = 0; i < r.rows.size(); ++i)
            if (r.rows[i].value(0).toLongLong() == pick) return static_cast<int>(i);
        return CodeSearch::Cancel;
    });
    auto f = Open();
    pick = kBank;
    QTest::keyClick(f->txtKmkCd->Editor(), Qt::Key_F5);
    pick = 2;
    QTest::keyClick(f->txtHk1Cd->Editor(), Qt::Key_Space);
    pick = 7;
    QTest::keyClick(f->txtHk2Cd->Editor(), Qt::Key_F5);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    ASSERT_EQ(requests.size(), 3u);

    EXPECT_EQ(requests[0].kind, "KMK");
    EXPECT_EQ(requests[0].params.value(0).toLongLong(), 2026);
    EXPECT_EQ(requests[0].params.value(1).toLongLong(), basTavik::FncGetGrpKbn(0, 0));
    EXPECT_EQ(requests[0].params.value(2).toString(), QString::number(glngSskCd));
    EXPECT_EQ(requests[0].params.value(3).toString(), QString::number(glngGrpCd));
    EXPECT_EQ(f->txtKmkCd->Value(), "110");
    EXPECT_EQ(f->lblKmkNm->Caption(), "普通預金");

    EXPECT_EQ(requests[1].kind, "HK1");
    EXPECT_EQ(requests[1].params.value(1).toLongLong(), kBank);
    EXPECT_EQ(requests[1].params.value(2).toString(), "普通預金");
    EXPECT_EQ(f->txtHk1Cd->Value(), "2");
    EXPECT_EQ(f->lblHk1Nm->Caption(), "三井住友銀行");

    EXPECT_EQ(requests[2].kind, "HK2");
    EXPECT_EQ(requests[2].params.value(3).toLongLong(), 2);
    EXPECT_EQ(requests[2].params.value(4).toString(), "三井住友銀行");
    EXPECT_EQ(requests[2].params.value(5).toString(), QString::number(glngSskCd));
    EXPECT_EQ(requests[2].params.value(6).toString(), QString::number(glngGrpCd));
    EXPECT_EQ(f->txtHk2Cd->Value(), "7");
    EXPECT_EQ(f->lblHk2Nm->Caption(), "給与口座");

    // A search closed without a choice leaves the field as it was.
    pick = -1;
    QTest::keyClick(f->txtKmkCd->Editor(), Qt::Key_F5);
    EXPECT_EQ(f->txtKmkCd->Value(), "110");
}

TEST_F(Ledger, TheAccountNameIsLookedUpOnEveryLeaveAndSubAccountOneClearsTwoOnlyWhenEdited) {
    auto f = Open();
    f->txtKmkCd->SetFocus();
    f->txtKmkCd->Value("110");
    f->lblKmkNm->Caption("古い名前");
    f->txtHk1Cd->SetFocus();  // the account field is left, though unchanged since it got the focus
    EXPECT_EQ(f->lblKmkNm->Caption(), "普通預金");

    f->txtHk1Cd->Value("2");
    f->txtHk2Cd->SetFocus();
    EXPECT_EQ(f->lblHk1Nm->Caption(), "三井住友銀行");
    f->txtHk2Cd->Value("7");
    f->txtKmkCd->SetFocus();
    EXPECT_EQ(f->lblHk2Nm->Caption(), "給与口座");

    // Passing through sub-account 1 without editing keeps sub-account 2.
    f->txtHk1Cd->SetFocus();
    f->txtHk2Cd->SetFocus();
    EXPECT_EQ(f->txtHk2Cd->Value(), "7");
    EXPECT_EQ(f->lblHk2Nm->Caption(), "給与口座");

    // Editing it empties sub-account 2 and its name.
    f->txtHk1Cd->SetFocus();
    QTest::keyClicks(f->txtHk1Cd->Editor(), "1");
    f->txtKmkCd->SetFocus();
    EXPECT_EQ(f->txtHk1Cd->Value(), "1");
    EXPECT_EQ(f->lblHk1Nm->Caption(), "みずほ銀行");
    EXPECT_EQ(f->txtHk2Cd->Value(), "");
    EXPECT_EQ(f->lblHk2Nm->Caption(), "");

    // An unknown code empties the name.
    f->txtKmkCd->Value("999");
    f->txtHk1Cd->SetFocus();
    EXPECT_EQ(f->lblKmkNm->Caption(), "");
}

TEST_F(Ledger, TheStartDateDecidesTheFiscalYearOfTheSearches) {
    auto f = Open();
    EXPECT_EQ(f->lngStartNendo, 2026);
    f->txtDateS->Value("");
    EXPECT_EQ(f->lngStartNendo, 0);
    f->txtDateS->NumValue(202703);
    EXPECT_EQ(f->lngStartNendo, 2026);
    f->txtDateS->NumValue(202803);  // no fiscal year holds it
    EXPECT_EQ(f->lngStartNendo, 0);
    f->txtDateE->Value("");  // the end date decides nothing
    EXPECT_EQ(f->lngStartNendo, 0);
}

TEST_F(Ledger, TheReportLevelFollowsTheCodesGiven) {
    auto f = Open();
    Codes(*f, "");
    EXPECT_EQ(f->fncGetLedgerLevel(), 0);
    Codes(*f, "110");
    EXPECT_EQ(f->fncGetLedgerLevel(), 1);
    Codes(*f, "110", "2");
    EXPECT_EQ(f->fncGetLedgerLevel(), 2);
    Codes(*f, "110", "2", "7");
    EXPECT_EQ(f->fncGetLedgerLevel(), 3);
    Codes(*f, "110", "", "7");
    EXPECT_EQ(f->fncGetLedgerLevel(), 1);
}

// ---------------------------------------------------------------- drill-down

TEST_F(Ledger, ALineOpensItsVoucherForChangeAndTheLedgerIsReadAgainOnReturn) {
    Scenario();
    auto f = Open();
    ASSERT_TRUE(f->blnCanUpdate);  // user type 3
    Range(*f, 202604, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    // While the voucher is open it is changed: the supplies paid become 2,500.
    whileOpen = [&] {
        folder.Sql("UPDATE DNMDT SET DNM_KIN = 2500 WHERE DNM_YM = 202605 AND DNM_DENNO = 1");
    };
    f->DenMain->setCurrentRow(2);
    f->OpenVoucher();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].mode, "U");
    EXPECT_EQ(opened[0].date, 20260515);
    EXPECT_EQ(opened[0].number, 1);
    EXPECT_EQ(amount(*f, "DATA_KASI", 2), whole(2500));
    EXPECT_EQ(f->DenMain->CurrentRow(), 2);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Ledger, DoubleClickAndEnterOpenALineButNeverTheCarriedForwardRow) {
    Scenario();
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    QTableView* view = f->DenMain->view();
    auto centre = [&](int row) { return view->visualRect(view->model()->index(row, 0)).center(); };

    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre(0));
    EXPECT_TRUE(opened.empty());
    f->DenMain->setCurrentRow(0);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_TRUE(opened.empty());

    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre(3));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].number, 3);
    EXPECT_EQ(opened[0].date, 20260525);

    f->DenMain->setCurrentRow(2);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].number, 2);
    EXPECT_EQ(f->DenMain->CurrentRow(), 2);
}

TEST_F(Ledger, AUserWithoutTheEntryRightOpensForReferenceOnly) {
    Scenario();
    glngUserType = 1;
    auto f = Open();
    EXPECT_FALSE(f->blnCanUpdate);
    Range(*f, 202604, 202604);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    f->DenMain->setCurrentRow(1);
    f->OpenVoucher();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].mode, "S");
}

TEST_F(Ledger, TheRightComesFromTheMenuPermissionOfTheEntryProgram) {
    Scenario();
    glngUserType = 1;
    folder.Sql("INSERT INTO MNUMF (MNU_MEID, MNU_PGID, MNU_UPID, MNU_NAME) VALUES (11, 'WKE410', 0, '振替伝票入力')");
    folder.Sql("INSERT INTO UGLMF (UGL_UID, UGL_GID) VALUES (1, 1)");
    folder.Sql("INSERT INTO SECMF (SEC_USGID, SEC_MNUID, SEC_SSKCD, SEC_PERM) VALUES (1, 11, 1, 2)");
    auto f = Open();
    EXPECT_TRUE(f->blnCanUpdate);
    Range(*f, 202604, 202604);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    f->DenMain->setCurrentRow(1);
    f->OpenVoucher();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].mode, "U");
}

TEST_F(Ledger, AVoucherDeletedMeanwhileDisappearsAndTheSameRowIsSelected) {
    Scenario();
    auto f = Open();
    Range(*f, 202605, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    whileOpen = [&] { folder.Sql("UPDATE DNHDT SET DNH_DELKBN = 9 WHERE DNH_YM = 202605 AND DNH_DENNO = 2"); };
    f->DenMain->setCurrentRow(2);
    f->OpenVoucher();
    EXPECT_EQ(f->DenMain->Rows(), 3);
    EXPECT_EQ(cell(*f, "DATA_DENNO", 2), "3");
    EXPECT_EQ(f->DenMain->CurrentRow(), 2);
}

// ---------------------------------------------------------------- start-up and closing

TEST_F(Ledger, TheProgramRefusesASystemIniWhoseBranchOrGroupIsNotInTheMasters) {
    for (const char* key : {"CURRENTSSK", "CURRENTGRP", "CURRENTUSER"}) {
        QByteArray ini = "[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=1\nCURRENTGRP=1\nCURRENTTYPE=3\n";
        ini.replace(QByteArray(key) + "=1", QByteArray(key) + "=7");
        folder.WriteFile("system.ini", ini);
        msgs.Clear();
        AppInfo::SetArguments({"/S"});
        EXPECT_FALSE(basKR430::Main());
        AppInfo::ReleaseInstance();
        ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
        EXPECT_TRUE(msgs.Last().prompt.contains("system.ini"));
        EXPECT_TRUE(msgs.Last().prompt.contains(key)) << msgs.Last().prompt.toStdString();
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<frmKR430*>(w) && w->isVisible());
    }
}

TEST_F(Ledger, TheProgramStartsOnlyFromTheMenuAndClosingItsWindowEndsTheSystem) {
    AppInfo::SetArguments({});
    EXPECT_FALSE(basKR430::Main());
    EXPECT_EQ(msgs.Texts(), QStringList{"メニューからでないと起動できません"});
    AppInfo::ReleaseInstance();
    msgs.Clear();

    AppInfo::SetArguments({"/S"});
    ASSERT_TRUE(basKR430::Main());
    frmKR430* form = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* k = qobject_cast<frmKR430*>(w); k && k->isVisible()) form = k;
    ASSERT_NE(form, nullptr);
    QApplication::processEvents();
    EXPECT_EQ(form->txtDateS->Date(), QDate(2026, 4, 1));
    basKR430::gobjVoucherOpener->ProgramName("WKE410");
    QPointer<frmKR430> guard(form);
    QTest::mouseClick(form->cmdEnd, Qt::LeftButton);
    EXPECT_TRUE(gobjDB.IsNothing());
    EXPECT_TRUE(basKR430::gobjVoucherOpener.IsNothing());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

// Where the keyboard focus is, for a failure message.
std::string FocusName() {
    QWidget* w = QApplication::focusWidget();
    if (!w) return "nothing";
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return "button " + b->text().toStdString();
    return w->metaObject()->className();
}

// A key pressed on the keyboard goes to the widget that has the focus.
void Press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target ? target : window, key, mods);
}

TEST_F(Ledger, AfterAVoucherOpenedFromARowTheGridKeepsTheKeyboardOnThatRow) {
    Scenario();
    auto f = Open();
    Range(*f, 202604, 202605);
    Codes(*f, "100");
    QTest::mouseClick(f->cmdView, Qt::LeftButton);
    ASSERT_GE(f->DenMain->Rows(), 5);
    QTableView* view = f->DenMain->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(2, 1)).center());
    ASSERT_EQ(f->DenMain->CurrentRow(), 2);
    ASSERT_EQ(QApplication::focusWidget(), view);

    Press(f.get(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].number, 1);
    EXPECT_EQ(f->DenMain->CurrentRow(), 2);
    EXPECT_EQ(QApplication::focusWidget(), view) << "the focus went to " << FocusName();

    // Down moves in the grid, and Return opens the voucher of the next row.
    Press(f.get(), Qt::Key_Down);
    EXPECT_EQ(f->DenMain->CurrentRow(), 3);
    Press(f.get(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].number, ValLng(cell(*f, "DATA_DENNO", 3)));
    EXPECT_EQ(opened[1].date, f->lngRowDenDate[3]);
    EXPECT_EQ(f->DenMain->CurrentRow(), 3);
    EXPECT_EQ(QApplication::focusWidget(), view);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Ledger, TheViewCommandGivenFromTheGridLeavesTheKeyboardInTheGrid) {
    Scenario();
    auto f = Open();
    Range(*f, 202604, 202605);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    QTableView* view = f->DenMain->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 1)).center());
    ASSERT_EQ(QApplication::focusWidget(), view);
    // While the window is open another voucher of May comes in.
    Post(202605, 4, 20260528, {{1, 1, kCash, "700"}, {1, 2, kSales, "700"}});
    const int before = f->DenMain->Rows();

    Press(f.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_COMPARE(f->DenMain->Rows(), before + 1);
    EXPECT_EQ(QApplication::focusWidget(), view) << "the focus went to " << FocusName();
    Press(f.get(), Qt::Key_Down);
    EXPECT_EQ(f->DenMain->CurrentRow(), 2);
    EXPECT_TRUE(opened.empty());
}

TEST_F(Ledger, TheWholeGridFitsAWindowOnA1280PixelScreen) {
    // More lines than the grid shows at once, so its vertical scroll bar is
    // up, with amounts of ten digits and a balance running to fifteen.
    for (long no = 1; no <= 30; ++no)
        Post(202604, no, 20260401 + no % 28, {{1, 1, kCash, "9999999999"}, {1, 2, kSales, "9999999999"}});
    auto f = Open();
    // The window opens no wider than such a screen leaves it, and may be that narrow.
    EXPECT_LE(f->width(), 1270);
    EXPECT_LE(f->minimumSizeHint().width(), 1270);
    f->resize(1270, f->height());
    Range(*f, 202604, 202604);
    Codes(*f, "100");
    ASSERT_TRUE(f->fncShowLedger());
    QApplication::processEvents();
    QTableView* view = f->DenMain->view();
    ASSERT_TRUE(view->verticalScrollBar()->isVisible());
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    // Every cell of the lines is shown whole.
    const QFontMetrics fm(view->font());
    for (int c = 0; c < view->model()->columnCount(); ++c) {
        const QString text = view->model()->index(30, c).data().toString();
        EXPECT_LT(fm.horizontalAdvance(text), view->columnWidth(c)) << text.toStdString();
    }
}

}  // namespace
