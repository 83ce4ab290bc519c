// The voucher entry window: modes, cell rules, totals and tax, loading.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/InputFields.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

class EntryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
    }
    std::unique_ptr<frmKE410> Open(const QString& mode, long ym = 0, long no = 0) {
        gstrEditMode = mode;
        glngDenYm = ym;
        glngDenNendo = ym ? 2026 : 0;
        glngDenNo = no;
        return std::make_unique<frmKE410>();
    }
    QString cell(frmKE410& f, const QString& key, int row = 0) { return f.denMeisai->Cell(key, row); }
    void type(frmKE410& f, const QString& key, const QString& value, int row = 0) {
        f.denMeisai->setCurrentRow(row);
        f.denMeisai->setCurrentKey(key);
        f.denMeisai->setCell(key, row, value);
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(EntryWindow, AddModeProposesTheNextNumberAndDisablesNavigation) {
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202612, 41)");
    auto f = Open("I");
    EXPECT_EQ(f->windowTitle(), "振替伝票入力");
    EXPECT_EQ(f->lblMode->Caption(), "追加");
    EXPECT_EQ(f->txtDate->NumValue(), 20261208);
    EXPECT_EQ(f->txtDenno->Value(), "42");
    EXPECT_EQ(f->lblNendo->Caption(), "2026年度");
    EXPECT_EQ(f->lblTanto->Caption(), "山田 太郎");
    EXPECT_EQ(f->lblGrp->Caption(), "本社 ／ 総務部");
    EXPECT_EQ(glngDenYm, 202612);
    EXPECT_FALSE(f->cmdPrev->isEnabled());
    EXPECT_FALSE(f->cmdNext->isEnabled());
    EXPECT_FALSE(f->cmdAdd->isEnabled());
    EXPECT_TRUE(f->cmdUpd->isEnabled());
    EXPECT_EQ(f->cmdUpd->text(), "登録(F10)(&U)");
    EXPECT_FALSE(f->blnChanged);
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(EntryWindow, EachStoredVoucherModeShowsItsCaptionAndLocks) {
    InsertVoucher(folder, 202611, 5, 20261115, {{1, 1, kCash, "1000"}, {1, 2, kSales, "1000"}}, "売上計上");
    struct Case {
        QString mode, caption, updCaption;
        bool inputLocked, updEnabled, prevEnabled;
    };
    for (const Case& c : {Case{"U", "変更", "登録(F10)(&U)", false, true, true},
                          Case{"C", "追加(ｺﾋﾟｰ)", "登録(F10)(&U)", false, true, false},
                          Case{"D", "削除", "削除(F10)(&D)", true, true, true},
                          Case{"S", "参照", "登録(F10)(&U)", true, false, true}}) {
        auto f = Open(c.mode, 202611, 5);
        SCOPED_TRACE(c.mode.toStdString());
        EXPECT_EQ(f->lblMode->Caption(), c.caption);
        EXPECT_EQ(f->cmdUpd->text(), c.updCaption);
        EXPECT_EQ(f->txtDate->isEnabled(), !c.inputLocked);
        EXPECT_EQ(f->txtDTekiyo->isEnabled(), !c.inputLocked);
        EXPECT_EQ(f->chkKbn->isEnabled(), !c.inputLocked);
        EXPECT_EQ(f->denMeisai->EditLock(), c.inputLocked ? 3 : 0);
        EXPECT_EQ(f->cmdUpd->isEnabled(), c.updEnabled);
        EXPECT_EQ(f->cmdPrev->isEnabled(), c.prevEnabled);
        EXPECT_TRUE(f->cmdPrn->isEnabled());
        EXPECT_TRUE(f->cmdEnd->isEnabled());
        EXPECT_EQ(f->txtDTekiyo->Value(), "売上計上");
        EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency::FromWhole(1000));
        if (c.mode == "C") {
            EXPECT_EQ(f->txtDenno->Value(), "1");  // a new number for the copy
            EXPECT_EQ(f->txtDate->NumValue(), 20261208);
            EXPECT_EQ(f->lblTanto->Caption(), "山田 太郎");  // stored under the current person
        } else {
            EXPECT_EQ(f->txtDenno->Value(), "5");
            EXPECT_EQ(f->txtDate->NumValue(), 20261115);
        }
    }
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(EntryWindow, LoadPutsLinesOnRowsByLineNumberAndLeavesTaxLinesOut) {
    InsertVoucher(folder, 202611, 7, 20261110,
                  {{1, 1, kPurchase, "1000", "100", 0, 0, 1, "仕入 it's"},
                   {2, 1, kBank, "500", "0", 2},
                   {1, 2, kPayable, "1100"},
                   {2, 2, kCash, "500"},
                   {98, 1, kInputTax, "100"}});
    auto f = Open("U", 202611, 7);
    EXPECT_EQ(cell(*f, "KRKMKCD", 0), "500");
    EXPECT_EQ(cell(*f, "KRKMKNM", 0), "仕入高");
    EXPECT_EQ(cell(*f, "KRZKBN", 0), "1");
    EXPECT_EQ(cell(*f, "KRZKBNNM", 0), "課税仕入10%");
    EXPECT_EQ(cell(*f, "KRKIN", 0), "1000");
    EXPECT_EQ(cell(*f, "KRTAX", 0), "100");
    EXPECT_EQ(cell(*f, "KRTEKI", 0), "仕入 it's");
    EXPECT_EQ(cell(*f, "KRKMKCD", 1), "110");
    EXPECT_EQ(cell(*f, "KRHK1CD", 1), "2");
    EXPECT_EQ(cell(*f, "KRHK1NM", 1), "三井住友銀行");
    EXPECT_EQ(cell(*f, "KSKMKCD", 0), "200");
    EXPECT_EQ(cell(*f, "KSKMKCD", 1), "100");
    EXPECT_EQ(cell(*f, "KRKMKCD", 2), "");  // the input-tax line is not shown
    EXPECT_EQ(f->denMeisai->Total("GKRKIN"), f->denMeisai->Total("GKSKIN"));
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency::FromWhole(1600));
    EXPECT_EQ(f->lblTanto->Caption(), "佐藤 花子");
    EXPECT_FALSE(f->blnChanged);
}

TEST_F(EntryWindow, DeletedOrMissingVoucherIsRefusedAndTheWindowCloses) {
    InsertVoucher(folder, 202611, 8, 20261110, {{1, 1, kCash, "1"}, {1, 2, kSales, "1"}}, "", 0, 9);
    auto f = Open("U", 202611, 8);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "このデータは他のユーザーによって削除されました。");
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_TRUE(f->blnLoadError);
    f->show();
    QApplication::processEvents();
    EXPECT_FALSE(f->isVisible());
}

// A voucher imported from elsewhere with more lines a side than the grid
// has rows opens in reference mode: saving it from here would lose lines.
TEST_F(EntryWindow, AVoucherWithMoreLinesThanTheGridOpensInReferenceMode) {
    for (int perSide : {51, 999}) {
        SCOPED_TRACE(perSide);
        const long no = perSide;
        InsertVoucher(folder, 202611, no, 20261110, {});
        QStringList values;
        for (int gyo = 1; gyo <= perSide; ++gyo)
            for (int side = 1; side <= 2; ++side)
                values << QString("(1, 1, 202611, %1, %2, %3, %4, 0, 0, 0, %5, 0, '明細%2')")
                              .arg(no)
                              .arg(gyo)
                              .arg(side)
                              .arg(side == 1 ? kCash : kSales)
                              .arg(gyo * 10);
        folder.Sql("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, "
                   "DNM_HK1CD, DNM_HK2CD, DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TEKIYO) VALUES " + values.join(", "));
        const QString lineCount =
            "SELECT COUNT(*) || '/' || SUM(DNM_KIN) FROM DNMDT WHERE DNM_DENNO = " + QString::number(no);
        const QString before = folder.Scalar(lineCount);
        msgs.Clear();
        {
            auto f = Open("U", 202611, no);
            ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
            EXPECT_TRUE(msgs.Last().prompt.contains("画面に表示できる行数")) << msgs.Last().prompt.toStdString();
            EXPECT_TRUE(msgs.Last().prompt.contains("参照モードで開きます")) << msgs.Last().prompt.toStdString();
            EXPECT_EQ(msgs.Last().icon(), vbExclamation);
            EXPECT_FALSE(f->blnLoadError);
            EXPECT_EQ(gstrEditMode, "S");
            EXPECT_EQ(f->lblMode->Caption(), "参照");
            EXPECT_EQ(cell(*f, "KRTEKI", 49), "明細50");
            // Registering (F10) stores nothing.
            EXPECT_FALSE(f->cmdUpd->isEnabled());
            f->show();
            QApplication::setActiveWindow(f.get());
            f->denMeisai->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
            QApplication::processEvents();
        }
        EXPECT_EQ(folder.Scalar(lineCount), before);
        // Neither can it be copied: the copy would lose the same lines.
        msgs.Clear();
        auto c = Open("C", 202611, no);
        ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
        EXPECT_TRUE(msgs.Last().prompt.contains("画面に表示できる行数")) << msgs.Last().prompt.toStdString();
        EXPECT_TRUE(c->blnLoadError);
    }
    // Exactly as many lines as the grid holds (and the tax lines 98, 99)
    // open normally.
    QList<TestLine> full;
    for (int gyo = 1; gyo <= 50; ++gyo) full << TestLine{gyo, 1, kCash, "1"} << TestLine{gyo, 2, kSales, "1"};
    full << TestLine{98, 1, kCash, "0"};
    InsertVoucher(folder, 202611, 7, 20261110, full);
    msgs.Clear();
    auto f = Open("U", 202611, 7);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(f->lblMode->Caption(), "変更");
}

TEST_F(EntryWindow, ClosedMonthOrYearOpensInReferenceMode) {
    folder.Sql("UPDATE KSKMF SET KSK_GUP = 20261130");
    InsertVoucher(folder, 202611, 3, 20261120, {{1, 1, kCash, "1"}, {1, 2, kSales, "1"}});
    {
        auto f = Open("U", 202611, 3);
        EXPECT_EQ(msgs.Texts(), QStringList{"月次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。"});
        EXPECT_EQ(gstrEditMode, "S");
        EXPECT_EQ(f->lblMode->Caption(), "参照");
        EXPECT_FALSE(f->cmdUpd->isEnabled());
        EXPECT_EQ(f->denMeisai->EditLock(), 3);
    }
    msgs.Clear();
    folder.Sql("UPDATE KSKMF SET KSK_NUP = 1");
    auto f = Open("U", 202611, 3);
    EXPECT_EQ(msgs.Texts(), (QStringList{"年次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。",
                                         "月次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。"}));
    msgs.Clear();
    auto copy = Open("C", 202611, 3);  // a copy runs no closing check
    EXPECT_TRUE(msgs.Empty());
    EXPECT_EQ(gstrEditMode, "C");
}

TEST_F(EntryWindow, AccountChangeEmptiesSubAccountsAndDefaultsTaxCode) {
    auto f = Open("I");
    type(*f, "KRKMKCD", "110");
    type(*f, "KRHK1CD", "1");
    EXPECT_EQ(cell(*f, "KRHK1NM"), "みずほ銀行");
    type(*f, "KRKIN", "500");
    f->denMeisai->setCell("KRTAX", 0, "40");
    type(*f, "KRKMKCD", "500");
    EXPECT_EQ(cell(*f, "KRKMKNM"), "仕入高");
    EXPECT_EQ(cell(*f, "KRHK1CD"), "");
    EXPECT_EQ(cell(*f, "KRHK1NM"), "");
    EXPECT_EQ(cell(*f, "KRZKBN"), "1");
    EXPECT_EQ(cell(*f, "KRZKBNNM"), "課税仕入10%");
    EXPECT_EQ(Val(cell(*f, "KRKIN")), 0);
    EXPECT_EQ(cell(*f, "KRTAX"), "40");  // the old tax stays, and counts
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency::FromWhole(40));
    EXPECT_TRUE(f->blnChanged);
}

TEST_F(EntryWindow, BalancingAmountFillsTheDifferenceOfTheAmountColumns) {
    folder.Sql("UPDATE SYSTEM SET SYS_VALUE = '9' WHERE SYS_KEY = 'FuriDenKingaku'");
    auto f = Open("I");
    type(*f, "KSKMKCD", "400");  // first credit: debit sum 0 - credit sum 0
    type(*f, "KSKIN", "10000");
    type(*f, "KRKMKCD", "100");
    EXPECT_EQ(Val(cell(*f, "KRKIN")), 10000);
    type(*f, "KRKIN", "3000");
    type(*f, "KRKMKCD", "500", 1);
    EXPECT_EQ(Val(cell(*f, "KRKIN", 1)), 7000);
    EXPECT_EQ(cell(*f, "KRTAX", 1), "");  // no tax for the balancing amount yet
    type(*f, "KRKIN", "0", 1);
    type(*f, "KSKMKCD", "130", 2);
    EXPECT_EQ(Val(cell(*f, "KSKIN", 2)), -7000);
    // An account that is not found gets no balancing amount.
    type(*f, "KRKMKCD", "999", 4);
    EXPECT_EQ(Val(cell(*f, "KRKIN", 4)), 0);
}

TEST_F(EntryWindow, TaxIncludedAmountIsSplitAgainWhenConfirmedOrRecoded) {
    auto f = Open("I");
    type(*f, "KRKMKCD", "630");  // default tax code 2: 8 % included
    EXPECT_EQ(cell(*f, "KRZKBN"), "2");
    type(*f, "KRKIN", "1080");
    EXPECT_EQ(Val(cell(*f, "KRTAX")), 80);
    EXPECT_EQ(Val(cell(*f, "KRKIN")), 1000);
    // Confirming the unchanged amount splits it again.
    f->denMeisai_RememberAmount();
    QString same = cell(*f, "KRKIN");
    f->denMeisai_RecheckAmount(same);
    EXPECT_EQ(Val(cell(*f, "KRTAX")), 74);
    EXPECT_EQ(Val(cell(*f, "KRKIN")), 926);
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency::FromWhole(1000));
    // A tax-code change on the same half splits the current amount again.
    type(*f, "KRZKBN", "2");
    f->denMeisai->setCell("KRZKBN", 0, "1");
    EXPECT_EQ(cell(*f, "KRZKBNNM"), "課税仕入10%");
    EXPECT_EQ(Val(cell(*f, "KRTAX")), 92);  // 926 x 0.10 on top
    EXPECT_EQ(Val(cell(*f, "KRKIN")), 926);
}

TEST_F(EntryWindow, TaxCodeChangeOnZeroAmountOnlyRenamesAndZeroConfirmDoesNothing) {
    auto f = Open("I");
    type(*f, "KSKMKCD", "400");
    f->denMeisai->setCell("KSTAX", 0, "5");
    type(*f, "KSZKBN", "1");
    EXPECT_EQ(cell(*f, "KSZKBNNM"), "課税仕入10%");
    EXPECT_EQ(cell(*f, "KSTAX"), "5");
    f->denMeisai->setCurrentKey("KSKIN");
    f->denMeisai_RememberAmount();
    QString zero = cell(*f, "KSKIN");
    f->denMeisai_RecheckAmount(zero);
    EXPECT_EQ(cell(*f, "KSTAX"), "5");
    // An amount with tax code 0 gives tax 0.
    type(*f, "KSZKBN", "");
    type(*f, "KSKIN", "300");
    EXPECT_EQ(Val(cell(*f, "KSTAX")), 0);
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKSKIN")), Currency::FromWhole(300));
}

TEST_F(EntryWindow, TaxCalculationFollowsKindRateAndValidity) {
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(11, 20190101, 20261208, 1, 0.08, 'a'), (12, 20190101, 20261207, 1, 0.08, 'b'),"
               "(13, 20190101, 20991231, 4, 0.08, 'c')");
    auto f = Open("I");
    struct Case {
        long code;
        QString amount;
        QString tax;
        QString after;
    };
    for (const Case& c : {Case{11, "1001", "80", "1001"}, Case{11, "-1001", "-81", "-1001"},
                          Case{13, "1080", "80", "1000"}, Case{13, "1000", "74", "926"},
                          Case{12, "1000", "0", "1000"},  // no longer valid at the voucher date
                          Case{5, "1000", "0", "1000"},   // kind above 4
                          Case{77, "1000", "0", "1000"},  // no such code
                          Case{0, "1000", "0", "1000"}}) {
        Currency k = Currency::FromText(c.amount);
        long code = c.code;
        Currency tax = f->fncTaxCalc(k, code);
        SCOPED_TRACE(QString("%1 %2").arg(c.code).arg(c.amount).toStdString());
        EXPECT_EQ(tax, Currency::FromText(c.tax));
        EXPECT_EQ(k, Currency::FromText(c.after));
    }
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(EntryWindow, TotalsCountTaxOverAllFiftyRowsAndRefuseOverflow) {
    auto f = Open("I");
    f->subTatekei();
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency());
    f->denMeisai->setCell("KRKIN", 0, "1000");
    f->denMeisai->setCell("KRTAX", 0, "80");
    f->denMeisai->setCell("KSKIN", 49, "1080");
    f->subTatekei();
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency::FromWhole(1080));
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKSKIN")), Currency::FromWhole(1080));
    f->denMeisai->setCell("KSKIN", 48, "900000000000000");
    f->denMeisai->setCell("KSKIN", 47, "900000000000000");
    msgs.Clear();
    f->subTatekei();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "縦計計算時にエラーが発生しました。貸借金額を確認して下さい。");
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKSKIN")), Currency());
}

TEST_F(EntryWindow, NamesFollowCodesWithinBranchAndYear) {
    folder.Sql("INSERT INTO TRIMF (TRI_SSKCD, TRI_CD, TRI_NAME) VALUES (2, 11, '他支部の取引先')");
    auto f = Open("I");
    type(*f, "KRTRICD", "10");
    EXPECT_EQ(cell(*f, "KRTRINM"), "株式会社みなと");
    type(*f, "KRTRICD", "11");
    EXPECT_EQ(cell(*f, "KRTRINM"), "");
    type(*f, "KRTEKI", "摘要だけ");
    EXPECT_TRUE(f->blnChanged);
    // Filling by the program itself neither runs the rules nor marks a change.
    f->blnChanged = false;
    gblnLoading = true;
    f->denMeisai->setCell("KSKMKCD", 3, "400");
    gblnLoading = false;
    EXPECT_EQ(cell(*f, "KSKMKNM", 3), "");
    EXPECT_FALSE(f->blnChanged);
}

TEST_F(EntryWindow, DateOutsideEveryFiscalYearShowsNoYearAndNoNumber) {
    auto f = Open("I");
    f->txtDate->NumValue(20300101);
    f->ApplyVoucherDate();
    EXPECT_EQ(f->lblNendo->Caption(), "----年度");
    EXPECT_EQ(f->txtDenno->Value(), "");
    EXPECT_EQ(msgs.Texts(), QStringList{"日付指定エラー。決算期間マスタに登録されていない日付が入力されました。"});
}

TEST_F(EntryWindow, ChangeModeKeepsTheNumberWithinItsPeriodAndProposesAnotherOutside) {
    InsertVoucher(folder, 202611, 5, 20261115, {{1, 1, kCash, "1000"}, {1, 2, kSales, "1000"}});
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202612, 9)");
    auto f = Open("U", 202611, 5);
    f->txtDate->NumValue(20261101);
    f->ApplyVoucherDate();
    EXPECT_EQ(f->txtDenno->Value(), "5");
    f->txtDate->NumValue(20261201);
    f->ApplyVoucherDate();
    EXPECT_EQ(f->txtDenno->Value(), "10");
}

TEST_F(EntryWindow, ClosingWithChangesAsksAndNoClosesWithoutSaving) {
    auto f = Open("I");
    f->show();
    type(*f, "KRKMKCD", "100");
    msgs.Answer(vbNo);
    f->close();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "変更を保存しますか");
    EXPECT_EQ(msgs.Last().icon(), vbInformation);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM DNHDT"), "0");
}

}  // namespace
