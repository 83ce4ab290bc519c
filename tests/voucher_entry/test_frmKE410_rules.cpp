// Entry window rules that a change could break unnoticed: tax added on top
// for sales, the closing date itself, sub-account 2 following its parents,
// voucher numbers per fiscal year, and every move of the arrow-key table.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/Currency.h"
#include "platform/InputFields.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

class EntryRules : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        gstrStartMode = "";
    }
    std::unique_ptr<frmKE410> Open(const QString& mode, long ym = 0, long no = 0) {
        gstrEditMode = mode;
        glngDenYm = ym;
        glngDenNendo = ym ? 2026 : 0;
        glngDenNo = no;
        return std::make_unique<frmKE410>();
    }
    // A value entered into a cell as the user's confirmed edit.
    static void type(frmKE410& f, const QString& key, const QString& value, int row = 0) {
        f.denMeisai->setCurrentRow(row);
        f.denMeisai->setCurrentKey(key);
        f.denMeisai->setCell(key, row, value);
    }
    static QString cell(frmKE410& f, const QString& key, int row = 0) { return f.denMeisai->Cell(key, row); }
    // Tax of an amount at a rate in percent, cut toward minus infinity.
    static Currency TaxOnTop(long long amount, long long percent) {
        long long t = amount * percent;
        long long q = t / 100;
        if (t % 100 != 0 && t < 0) --q;
        return Currency::FromWhole(q);
    }
    QString q(const QString& sql) { return folder.Scalar(sql); }
    // Tax code 1 has a new name from December; tax code 2 comes into force
    // only in January, under a name that changes in February.
    void DatedTaxNames() {
        folder.Sql("UPDATE ZEIMF SET ZEI_DATEEND = 20261130 WHERE ZEI_CD = 1");
        folder.Sql("UPDATE ZEIMF SET ZEI_DATEST = 20270101, ZEI_DATEEND = 20270131 WHERE ZEI_CD = 2");
        folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
                   "(1, 20261201, 99991231, 1, 0.10, '課税仕入10%（新区分）'), "
                   "(2, 20270201, 99991231, 2, 0.08, '課税仕入8%内税（二月）')");
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(EntryRules, TaxNamesAreThoseInForceOnTheVoucherDateAndFollowItsChange) {
    DatedTaxNames();
    auto f = Open("I");
    f->show();
    QApplication::setActiveWindow(f.get());
    ASSERT_EQ(f->txtDate->NumValue(), 20261208);
    type(*f, "KRKMKCD", QString::number(kPurchase));
    ASSERT_EQ(cell(*f, "KRZKBN"), "1");
    EXPECT_EQ(cell(*f, "KRZKBNNM"), "課税仕入10%（新区分）");
    type(*f, "KSZKBN", "2");
    EXPECT_EQ(cell(*f, "KSZKBNNM"), "課税仕入8%内税");  // none in force yet: the code's first name
    auto retype = [&](const QString& date) {
        f->txtDate->SetFocus();
        QTest::keyClicks(f->txtDate->Editor(), date);
        QTest::keyClick(f->txtDate->Editor(), Qt::Key_Tab);
    };
    retype("20261130");
    EXPECT_EQ(cell(*f, "KRZKBNNM"), "課税仕入10%");
    EXPECT_EQ(cell(*f, "KSZKBNNM"), "課税仕入8%内税");
    retype("20270205");
    EXPECT_EQ(cell(*f, "KRZKBNNM"), "課税仕入10%（新区分）");
    EXPECT_EQ(cell(*f, "KSZKBNNM"), "課税仕入8%内税（二月）");
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

// A new rate added without closing the old row: name and tax both come from
// the row that started last.
TEST_F(EntryRules, TwoRowsInForceGiveNameAndRateOfTheSameRow) {
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(1, 20261201, 99991231, 1, 0.08, '課税仕入8%（軽減）')");
    auto f = Open("I");
    ASSERT_EQ(f->txtDate->NumValue(), 20261208);
    type(*f, "KRKMKCD", QString::number(kPurchase));
    type(*f, "KRKIN", "1000");
    EXPECT_EQ(cell(*f, "KRZKBNNM"), "課税仕入8%（軽減）");
    EXPECT_EQ(ValCur(cell(*f, "KRTAX")), TaxOnTop(1000, 8));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(EntryRules, ALoadedVoucherShowsTheTaxNamesInForceOnItsDate) {
    DatedTaxNames();
    InsertVoucher(folder, 202612, 1, 20261207, {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {1, 2, kCash, "1100"}});
    InsertVoucher(folder, 202611, 1, 20261130, {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {1, 2, kCash, "1100"}});
    EXPECT_EQ(cell(*Open("U", 202612, 1), "KRZKBNNM"), "課税仕入10%（新区分）");
    EXPECT_EQ(cell(*Open("U", 202611, 1), "KRZKBNNM"), "課税仕入10%");
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(EntryRules, SalesTaxKindThreeIsAddedOnTopOfTheAmount) {
    ASSERT_EQ(q("SELECT ZEI_KBN FROM ZEIMF WHERE ZEI_CD = 3") + "/" + q("SELECT ZEI_RITU FROM ZEIMF WHERE ZEI_CD = 3"),
              "3/0.1");
    auto f = Open("I");
    type(*f, "KSKMKCD", QString::number(kSales));
    ASSERT_EQ(cell(*f, "KSZKBN"), "3");  // the account's default tax code
    for (long long amount : {1234LL, 1000LL, -1234LL, 9LL}) {
        SCOPED_TRACE(amount);
        type(*f, "KSKIN", QString::number(amount));
        EXPECT_EQ(ValCur(cell(*f, "KSTAX")), TaxOnTop(amount, 10));
        EXPECT_EQ(ValCur(cell(*f, "KSKIN")), Currency::FromWhole(amount));  // the amount stays as typed
        EXPECT_EQ(ValCur(f->denMeisai->Total("GKSKIN")), Currency::FromWhole(amount) + TaxOnTop(amount, 10));
    }
    // Through the calculation itself as well.
    Currency k = Currency::FromWhole(5555);
    long code = 3;
    EXPECT_EQ(f->fncTaxCalc(k, code), TaxOnTop(5555, 10));
    EXPECT_EQ(k, Currency::FromWhole(5555));
    // And it is stored as the output-tax line.
    type(*f, "KSKIN", "1234");
    type(*f, "KRKMKCD", QString::number(kCash));
    type(*f, "KRKIN", (Currency::FromWhole(1234) + TaxOnTop(1234, 10)).ToString());
    f->cmdUpd_Click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNM_TAX FROM DNMDT WHERE DNM_TSKBN = 2 AND DNM_GYO = 1"), TaxOnTop(1234, 10).ToString());
    EXPECT_EQ(q("SELECT DNM_KMKCD || '/' || DNM_TSKBN || '/' || DNM_KIN FROM DNMDT WHERE DNM_GYO = 99"),
              QString::number(kOutputTax) + "/2/" + TaxOnTop(1234, 10).ToString());
}

TEST_F(EntryRules, AVoucherDatedOnTheClosingDateItselfIsClosed) {
    folder.Sql("UPDATE KSKMF SET KSK_GUP = 20261115");
    InsertVoucher(folder, 202611, 1, 20261115, {{1, 1, kCash, "100"}, {1, 2, kPayable, "100"}});
    InsertVoucher(folder, 202611, 2, 20261116, {{1, 1, kCash, "100"}, {1, 2, kPayable, "100"}});
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202611, 2)");
    {
        auto f = Open("U", 202611, 1);
        EXPECT_EQ(msgs.Texts(), QStringList{"月次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。"});
        EXPECT_EQ(gstrEditMode, "S");
        EXPECT_EQ(f->lblMode->Caption(), "参照");
    }
    msgs.Clear();
    {
        auto f = Open("U", 202611, 2);  // the day after stays open
        EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
        EXPECT_EQ(gstrEditMode, "U");
    }
    // A new voucher on the closing date is refused; the day after is stored.
    auto f = Open("I");
    type(*f, "KRKMKCD", QString::number(kCash));
    type(*f, "KRKIN", "300");
    type(*f, "KSKMKCD", QString::number(kPayable));
    type(*f, "KSKIN", "300");
    f->txtDate->NumValue(20261115);
    f->ApplyVoucherDate();
    f->cmdUpd_Click();
    EXPECT_EQ(msgs.Texts(), QStringList{"月次更新完了以前の伝票日付は入力出来ません。"});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "2");
    msgs.Clear();
    f->txtDate->NumValue(20261116);
    f->ApplyVoucherDate();
    f->cmdUpd_Click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DATE = 20261116"), "2");
}

TEST_F(EntryRules, SubAccountTwoIsEmptiedWhenTheAccountOrSubAccountOneChanges) {
    folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_RNAME) VALUES "
               "(2026, 110, 1, 7, 1, 1, '本店営業部'), (2026, 110, 2, 7, 1, 1, '新宿支店')");
    auto f = Open("I");
    for (const QString side : {"KR", "KS"}) {
        SCOPED_TRACE(side.toStdString());
        type(*f, side + "KMKCD", QString::number(kBank), 2);
        type(*f, side + "HK1CD", "1", 2);
        type(*f, side + "HK2CD", "7", 2);
        EXPECT_EQ(cell(*f, side + "HK2NM", 2), "本店営業部");
        type(*f, side + "HK1CD", "2", 2);
        EXPECT_EQ(cell(*f, side + "HK1NM", 2), "三井住友銀行");
        EXPECT_EQ(cell(*f, side + "HK2CD", 2), "");
        EXPECT_EQ(cell(*f, side + "HK2NM", 2), "");
        type(*f, side + "HK2CD", "7", 2);
        EXPECT_EQ(cell(*f, side + "HK2NM", 2), "新宿支店");
        type(*f, side + "KMKCD", QString::number(kCash), 2);
        EXPECT_EQ(cell(*f, side + "HK1CD", 2), "");
        EXPECT_EQ(cell(*f, side + "HK2CD", 2), "");
        EXPECT_EQ(cell(*f, side + "HK2NM", 2), "");
        // Filled again for the other half's turn, which must leave it alone.
        type(*f, side + "KMKCD", QString::number(kBank), 2);
        type(*f, side + "HK1CD", "1", 2);
        type(*f, side + "HK2CD", "7", 2);
    }
    EXPECT_EQ(cell(*f, "KRHK2CD", 2), "7");
    EXPECT_EQ(cell(*f, "KRHK2NM", 2), "本店営業部");
}

TEST_F(EntryRules, NumbersPerFiscalYearKeepTheNumberWithinTheYearAndProposeAnotherYearsNext) {
    folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 1");
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, KSK_SIME1, "
               "KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, KSK_SIME10, "
               "KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2027, 0, 202704, 20270401, 20280331, 20270430, "
               "20270531, 20270630, 20270731, 20270831, 20270930, 20271031, 20271130, 20271231, 20280131, 20280229, "
               "20280331, 0)");
    // Counters of both keys: the fiscal year's count, and a month's that must not be used.
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES "
               "(0, 1, 1, 2026, 30), (0, 1, 1, 2027, 3), (0, 1, 1, 202612, 50), (0, 1, 1, 202704, 60)");
    InsertVoucher(folder, 202611, 5, 20261115, {{1, 1, kCash, "100"}, {1, 2, kPayable, "100"}});
    ASSERT_EQ(basTavik::FncGetNextDenNo(0, 20270410, 0, 0), 4);
    auto f = Open("U", 202611, 5);
    f->txtDate->NumValue(20261201);  // another month, the same fiscal year
    f->ApplyVoucherDate();
    EXPECT_EQ(f->txtDenno->Value(), "5");
    f->txtDate->NumValue(20270320);
    f->ApplyVoucherDate();
    EXPECT_EQ(f->txtDenno->Value(), "5");
    f->txtDate->NumValue(20270410);  // the next fiscal year
    f->ApplyVoucherDate();
    EXPECT_EQ(f->lblNendo->Caption(), "2027年度");
    EXPECT_EQ(f->txtDenno->Value(), QString::number(basTavik::FncGetNextDenNo(0, 20270410, 0, 0)));
    f->txtDate->NumValue(20261130);  // back in its own year
    f->ApplyVoucherDate();
    EXPECT_EQ(f->txtDenno->Value(), "5");
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(EntryRules, EveryMoveOfTheArrowKeyTableStaysOnTheRow) {
    struct Move {
        Qt::Key key;
        QStringList from;
        QString to;
    };
    const QList<Move> table = {
        {Qt::Key_Down, {"KRKMKCD"}, "KRTRICD"},
        {Qt::Key_Down, {"KRHK1CD", "KRHK1NM", "KRHK2CD", "KRHK2NM", "KRZKBN", "KRZKBNNM", "KRTAX"}, "KRTEKI"},
        {Qt::Key_Down, {"KSKMKCD"}, "KSTRICD"},
        {Qt::Key_Down, {"KSHK1CD", "KSHK1NM", "KSHK2CD", "KSHK2NM", "KSZKBN", "KSZKBNNM", "KSTAX"}, "KSTEKI"},
        {Qt::Key_Up, {"KRTRICD"}, "KRKMKCD"},
        {Qt::Key_Up, {"KRTEKI"}, "KRTRICD"},
        {Qt::Key_Up, {"KRTRINM"}, "KRTAX"},
        {Qt::Key_Up, {"KSTRICD"}, "KSKMKCD"},
        {Qt::Key_Up, {"KSTEKI"}, "KSTRICD"},
        {Qt::Key_Up, {"KSTRINM"}, "KSTAX"},
        {Qt::Key_Left, {"KRKMKNM", "KRHK1NM", "KRHK2NM", "KRZKBNNM", "KRTAX"}, "KSKIN"},
        {Qt::Key_Left, {"KRTRICD"}, "KSTAX"},
        {Qt::Key_Left, {"KSKMKNM", "KSHK1NM", "KSHK2NM", "KSZKBNNM", "KSTAX"}, "KRTAX"},
        {Qt::Key_Left, {"KSTRICD"}, "KRTRICD"},
        {Qt::Key_Right, {"KRKMKNM", "KRHK1NM", "KRHK2NM"}, "KRTAX"},
        {Qt::Key_Right, {"KRTAX"}, "KSTAX"},
        {Qt::Key_Right, {"KRTRICD", "KRTRINM"}, "KSTRICD"},
        {Qt::Key_Right, {"KSKMKNM", "KSHK1NM", "KSHK2NM"}, "KSTAX"},
        {Qt::Key_Right, {"KSKIN"}, "KRTAX"},
        {Qt::Key_Right, {"KSTAX"}, "KRTRICD"},
        {Qt::Key_Right, {"KSTRICD", "KSTRINM"}, "KRTEKI"},
    };
    auto f = Open("I");
    f->show();
    QApplication::setActiveWindow(f.get());
    VoucherGrid* grid = f->denMeisai;
    grid->setFocus();
    int moves = 0;
    for (const Move& m : table) {
        for (const QString& from : m.from) {
            grid->setCurrentRow(3);
            grid->setCurrentKey(from);
            ASSERT_EQ(grid->CurrentKey(), from);
            QWidget* target = grid->editor() ? static_cast<QWidget*>(grid->editor()) : static_cast<QWidget*>(grid->view());
            QTest::keyClick(target, m.key);
            EXPECT_EQ(grid->CurrentKey(), m.to) << from.toStdString() << " key " << m.key;
            EXPECT_EQ(grid->CurrentRow(), 3) << from.toStdString();
            ++moves;
        }
    }
    EXPECT_EQ(moves, 47);  // every entry of the table
    EXPECT_TRUE(msgs.Empty());
}

}  // namespace
