// The journal window: the open year listed on the first activation, the
// date checks, the lines with their amounts and order, and opening a
// voucher from a line.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "inquiry/basKR410.h"
#include "inquiry/frmKR410.h"
#include "platform/AppInfo.h"
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

class Journal : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        SetVoucherOpenerHandler([this](const QString& mode, long date, long number) {
            opened.push_back({mode, date, number});
            if (whileOpen) whileOpen();
        });
    }
    void TearDown() override { SetVoucherOpenerHandler(nullptr); }

    void Post(long ym, long no, long date, const QList<TestLine>& lines, int delkbn = 0) {
        InsertVoucher(folder, ym, no, date, lines, QString(), 0, delkbn);
        ASSERT_TRUE(basUpdate::fncUpdateBalance("+", 1, 1, ym, no));
    }
    // Purchases with tax on top, the input tax line 98 stored as the entry
    // program stores it; a sale; a transfer between bank accounts; all
    // entered out of date and number order.
    void Scenario() {
        Post(202606, 3, 20260620, {{1, 1, kBank, "500", "0", 2}, {1, 2, kBank, "500", "0", 1, 0, 0, "振替"}});
        Post(202605, 2, 20260510,
             {{1, 1, kPurchase, "1000", "80", 0, 0, 1, "仕入"}, {98, 1, kInputTax, "80"}, {1, 2, kPayable, "1080"}});
        Post(202605, 1, 20260510, {{1, 1, kCash, "3000"}, {1, 2, kSales, "3000", "0", 0, 0, 0, "現金売上"}});
    }
    std::unique_ptr<frmKR410> Open() {
        auto f = std::make_unique<frmKR410>();
        f->show();
        QApplication::setActiveWindow(f.get());
        QApplication::processEvents();
        return f;
    }
    static QString cell(frmKR410& f, const QString& key, int row) { return f.DenMain->Cell(key, row); }
    static QStringList rows(frmKR410& f) {
        QStringList out;
        for (int r = 0; r < f.DenMain->Rows(); ++r)
            out << cell(f, "DATA_DATE", r) + " " + cell(f, "DATA_DENNO", r) + " " + cell(f, "DATA_KMKCD", r);
        return out;
    }

    AppFolder folder;
    MsgRecorder msgs;
    std::vector<OpenCall> opened;
    std::function<void()> whileOpen;
};

// ---------------------------------------------------------------- first activation

TEST_F(Journal, FirstActivationListsTheWholeOpenYear) {
    Scenario();
    auto f = Open();
    EXPECT_EQ(f->lblGrp->Caption(), basTavik::FncGetSskGrpName(0, 0));
    EXPECT_EQ(f->txtDateS->Date(), QDate(2026, 4, 1));
    EXPECT_EQ(f->txtDateE->Date(), QDate(2027, 3, 31));
    EXPECT_TRUE(f->DenMain->GridEnabled());
    EXPECT_EQ(f->DenMain->Rows(), 6);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Journal, NoQueryOnActivationUnlessBothEndsOfTheYearAreFound) {
    Scenario();
    folder.Sql("UPDATE KSKMF SET KSK_KIEND = 0");
    auto f = Open();
    EXPECT_EQ(f->txtDateS->Date(), QDate(2026, 4, 1));
    EXPECT_TRUE(f->txtDateE->IsEmpty());
    EXPECT_FALSE(f->DenMain->GridEnabled());
    EXPECT_EQ(f->DenMain->RowCount(), 0);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Journal, WithoutAnOpenYearNothingIsFilledAndNothingAsked) {
    Scenario();
    folder.Sql("UPDATE KSKMF SET KSK_NUP = 1");
    auto f = Open();
    EXPECT_TRUE(f->txtDateS->IsEmpty());
    EXPECT_TRUE(f->txtDateE->IsEmpty());
    EXPECT_FALSE(f->DenMain->GridEnabled());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

// ---------------------------------------------------------------- checks

TEST_F(Journal, AReversedRangeIsRefusedBeforeAnyDatabaseAccess) {
    Scenario();
    auto f = Open();
    f->txtDateS->NumValue(20260601);
    f->txtDateE->NumValue(20260531);
    msgs.Clear();
    gobjDB->Disconnect();
    EXPECT_FALSE(f->fncShowJournal());
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(msgs.Last().prompt, "伝票日付の開始と終了の大小関係が逆になっています。");
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_EQ(msgs.Last().title, "仕訳帳照会");
    EXPECT_FALSE(f->DenMain->GridEnabled());
    EXPECT_EQ(f->DenMain->RowCount(), 0);
}

TEST_F(Journal, ARangeAcrossFiscalYearsOrWithoutDatesIsRefused) {
    Scenario();
    auto f = Open();
    msgs.Clear();
    f->txtDateE->NumValue(20270401);
    EXPECT_FALSE(f->fncShowJournal());
    f->txtDateE->Value("2026/02/30");
    EXPECT_FALSE(f->fncShowJournal());
    EXPECT_EQ(msgs.Texts(), QStringList({"伝票日付の開始と終了は、決算年度が違うため元帳照会できません。",
                                         "伝票日付を入力して下さい。"}));
}

TEST_F(Journal, ARangeWithoutLinesSaysSoInItsOwnWords) {
    Scenario();
    auto f = Open();
    msgs.Clear();
    f->txtDateS->NumValue(20260701);
    f->txtDateE->NumValue(20260731);
    EXPECT_FALSE(f->fncShowJournal());
    EXPECT_EQ(msgs.Texts(), QStringList{"該当データは、ありませんでした。"});
    EXPECT_FALSE(f->DenMain->GridEnabled());
}

// ---------------------------------------------------------------- the journal

TEST_F(Journal, LinesComeInDateAndNumberOrderWithoutTaxLines) {
    Scenario();
    auto f = Open();
    ASSERT_EQ(f->DenMain->Rows(), 6);
    const QStringList r = rows(*f);
    // 10 May: number 1 (two lines) before number 2 (two lines, tax line left out), then 20 June.
    EXPECT_TRUE(r[0].startsWith("2026/05/10 1 "));
    EXPECT_TRUE(r[1].startsWith("2026/05/10 1 "));
    EXPECT_TRUE(r[2].startsWith("2026/05/10 2 "));
    EXPECT_TRUE(r[3].startsWith("2026/05/10 2 "));
    EXPECT_TRUE(r[4].startsWith("2026/06/20 3 "));
    EXPECT_TRUE(r[5].startsWith("2026/06/20 3 "));
    QStringList accounts;
    for (int i = 0; i < 6; ++i) accounts << cell(*f, "DATA_KMKCD", i);
    EXPECT_FALSE(accounts.contains(QString::number(kInputTax)));
    QStringList first = {accounts[0], accounts[1]};
    first.sort();
    EXPECT_EQ(first, QStringList({"100", "400"}));
    EXPECT_EQ(f->lngRowDenDate,
              (std::vector<long>{20260510, 20260510, 20260510, 20260510, 20260620, 20260620}));
}

TEST_F(Journal, ALongJournalIsShownAtOnceAndFillsWhileTheWindowIsUsableInLineOrder) {
    // 1,500 vouchers of one day, each of two lines stored last line first.
    const QString n = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500) ";
    folder.Sql(n + "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, "
                   "DNH_DATE, DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
                   "SELECT 1, 1, 202612, i, 2026, 2026, 12, 20261203, 20261203, 1, '', 0, 0 FROM n");
    for (const auto& [gyo, kmk] : {std::pair{2, kSales}, std::pair{1, kCash}})
        folder.Sql(n + QString("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, "
                               "DNM_KMKCD, DNM_ZKBN, DNM_KIN, DNM_TAX) "
                               "SELECT 1, 1, 202612, i, %1, 1, %2, 0, 100, 0 FROM n").arg(gyo).arg(kmk));
    auto f = Open();
    ASSERT_TRUE(f->fncShowJournal());
    // The query returns with the first lines on show, the rest to come.
    EXPECT_GT(f->DenMain->Rows(), 0);
    EXPECT_LT(f->DenMain->Rows(), 3000);
    QTRY_COMPARE(f->DenMain->Rows(), 3000);
    QStringList wrong;
    for (int r = 0; r < 3000; ++r) {
        const QString want = QString::number(r / 2 + 1) + " " + QString::number(r % 2 ? kSales : kCash);
        const QString got = cell(*f, "DATA_DENNO", r) + " " + cell(*f, "DATA_KMKCD", r);
        if (got != want) wrong << got;
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.mid(0, 5).join("|").toStdString();
    EXPECT_EQ(f->lngRowDenDate.size(), 3000u);
}

TEST_F(Journal, EachLineShowsItsOwnCodesNamesAndAmountPlusTax) {
    Scenario();
    auto f = Open();
    int purchase = -1, payable = -1, bankDebit = -1, bankCredit = -1;
    for (int i = 0; i < f->DenMain->Rows(); ++i) {
        const long kmk = ValLng(cell(*f, "DATA_KMKCD", i));
        if (kmk == kPurchase) purchase = i;
        if (kmk == kPayable) payable = i;
        if (kmk == kBank && !cell(*f, "DATA_KARI", i).isEmpty()) bankDebit = i;
        if (kmk == kBank && !cell(*f, "DATA_KASI", i).isEmpty()) bankCredit = i;
    }
    ASSERT_GE(purchase, 0);
    ASSERT_GE(payable, 0);
    ASSERT_GE(bankDebit, 0);
    ASSERT_GE(bankCredit, 0);
    // 1,000 with 80 tax on the debit side: 1,080.
    EXPECT_EQ(Currency::FromText(cell(*f, "DATA_KARI", purchase)), Currency::FromWhole(1080));
    EXPECT_EQ(f->DenMain->DisplayText("DATA_KARI", purchase), "1,080");
    EXPECT_EQ(cell(*f, "DATA_KASI", purchase), "");
    EXPECT_EQ(cell(*f, "DATA_KMKNM", purchase), "仕入高");
    EXPECT_EQ(cell(*f, "DATA_TEKIYO", purchase), "仕入");
    EXPECT_EQ(cell(*f, "DATA_HK1CD", purchase), "");
    EXPECT_EQ(cell(*f, "DATA_HK2CD", purchase), "");
    EXPECT_EQ(Currency::FromText(cell(*f, "DATA_KASI", payable)), Currency::FromWhole(1080));
    EXPECT_EQ(cell(*f, "DATA_KMKNM", payable), "買掛金");
    // The line's own sub-accounts, not the counter-account's.
    EXPECT_EQ(cell(*f, "DATA_HK1CD", bankDebit), "2");
    EXPECT_EQ(cell(*f, "DATA_HK1NM", bankDebit), "三井住友銀行");
    EXPECT_EQ(cell(*f, "DATA_HK1CD", bankCredit), "1");
    EXPECT_EQ(cell(*f, "DATA_HK1NM", bankCredit), "みずほ銀行");
    EXPECT_EQ(cell(*f, "DATA_TEKIYO", bankCredit), "振替");
}

TEST_F(Journal, DeletedVouchersAndOtherGroupsAreNotListed) {
    Scenario();
    Post(202606, 4, 20260621, {{1, 1, kCash, "10"}, {1, 2, kSales, "10"}}, 9);
    folder.Sql("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE, DNH_TANCD, DNH_KBN, DNH_DELKBN) VALUES (1, 2, 202606, 1, 2026, 2026, 6, 20260622, "
               "20260622, 1, 0, 0)");
    folder.Sql("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, DNM_KIN) "
               "VALUES (1, 2, 202606, 1, 1, 1, 100, 20)");
    auto f = Open();
    EXPECT_EQ(f->DenMain->Rows(), 6);
}

TEST_F(Journal, TheViewButtonListsTheDatesOnScreen) {
    Scenario();
    auto f = Open();
    f->txtDateS->NumValue(20260601);
    f->txtDateE->NumValue(20260630);
    QTest::mouseClick(f->cmdView, Qt::LeftButton);
    EXPECT_EQ(f->DenMain->Rows(), 2);
    EXPECT_EQ(cell(*f, "DATA_DATE", 0), "2026/06/20");
}

TEST_F(Journal, TheDatePickersGetTheHolidaysOfTheYearShown) {
    folder.Sql("INSERT INTO CRNMF (CRN_DT, CRN_NAME) VALUES (20260101, '元日'), (20270111, '成人の日')");
    auto f = Open();
    emit f->txtDateS->CalendarOpening();
    EXPECT_EQ(f->txtDateS->Holidays(), "01/01");
    emit f->txtDateE->CalendarYearChanged(2027);
    EXPECT_EQ(f->txtDateE->Holidays(), "01/11");
}

// ---------------------------------------------------------------- drill-down

TEST_F(Journal, EnterOnTheFirstRowOpensItsVoucherAndTheJournalIsReadAgain) {
    Scenario();
    auto f = Open();
    whileOpen = [&] {
        folder.Sql("UPDATE DNHDT SET DNH_DELKBN = 9 WHERE DNH_YM = 202606 AND DNH_DENNO = 3");
    };
    f->DenMain->setCurrentRow(0);
    QTest::keyClick(f->DenMain->view(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].mode, "U");
    EXPECT_EQ(opened[0].date, 20260510);
    EXPECT_EQ(opened[0].number, 1);
    EXPECT_EQ(f->DenMain->Rows(), 4);
    EXPECT_EQ(f->DenMain->CurrentRow(), 0);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Journal, DoubleClickOpensTheRowsVoucherForReferenceWithoutTheRight) {
    Scenario();
    glngUserType = 1;
    auto f = Open();
    EXPECT_FALSE(f->blnCanUpdate);
    QTableView* view = f->DenMain->view();
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(4, 1)).center());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].mode, "S");
    EXPECT_EQ(opened[0].date, 20260620);
    EXPECT_EQ(opened[0].number, 3);
    EXPECT_EQ(f->DenMain->CurrentRow(), 4);
}

TEST_F(Journal, ClosingTheWindowReleasesTheOpenerAndEndsTheSystem) {
    Scenario();
    auto f = Open();
    basKR410::gobjVoucherOpener->ProgramName("WKE410");
    f->close();
    EXPECT_TRUE(basKR410::gobjVoucherOpener.IsNothing());
    EXPECT_TRUE(gobjDB.IsNothing());
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

TEST_F(Journal, AfterAVoucherOpenedFromARowTheGridKeepsTheKeyboardAndSpaceDoesNotClose) {
    Scenario();
    auto f = Open();
    ASSERT_EQ(f->DenMain->Rows(), 6);
    QTableView* view = f->DenMain->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(3, 1)).center());
    ASSERT_EQ(f->DenMain->CurrentRow(), 3);
    ASSERT_EQ(QApplication::focusWidget(), view);

    Press(f.get(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].number, 2);
    EXPECT_EQ(f->DenMain->CurrentRow(), 3);
    EXPECT_EQ(QApplication::focusWidget(), view) << "the focus went to " << FocusName();

    // Space is no button press: the journal stays open.
    Press(f.get(), Qt::Key_Space);
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(gobjDB.IsNothing());

    // Down moves in the grid, and Return opens the voucher of the next row.
    Press(f.get(), Qt::Key_Down);
    EXPECT_EQ(f->DenMain->CurrentRow(), 4);
    Press(f.get(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].number, 3);
    EXPECT_EQ(opened[1].date, 20260620);
    EXPECT_EQ(QApplication::focusWidget(), view) << "the focus went to " << FocusName();
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(Journal, TheViewCommandGivenFromTheGridLeavesTheKeyboardInTheGrid) {
    Scenario();
    auto f = Open();
    QTableView* view = f->DenMain->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 1)).center());
    ASSERT_EQ(QApplication::focusWidget(), view);
    Post(202606, 4, 20260625, {{1, 1, kCash, "700"}, {1, 2, kSales, "700"}});

    Press(f.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_COMPARE(f->DenMain->Rows(), 8);
    EXPECT_EQ(QApplication::focusWidget(), view) << "the focus went to " << FocusName();
    Press(f.get(), Qt::Key_Space);
    EXPECT_TRUE(f->isVisible());
    Press(f.get(), Qt::Key_Down);
    EXPECT_EQ(f->DenMain->CurrentRow(), 2);
}

TEST_F(Journal, EscapeLeavesTheWindowOpenFromTheGridAndFromADateField) {
    Scenario();
    auto f = Open();
    QTableView* view = f->DenMain->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 1)).center());
    ASSERT_EQ(QApplication::focusWidget(), view);
    Press(f.get(), Qt::Key_Escape);
    EXPECT_TRUE(f->isVisible());
    f->txtDateS->SetFocus();
    Press(f.get(), Qt::Key_Escape);
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(gobjDB.IsNothing());
}

TEST_F(Journal, TheWholeGridFitsAWindowOnA1280PixelScreen) {
    // More lines than the grid shows at once, so its vertical scroll bar is
    // up, with amounts of twelve digits.
    for (long no = 1; no <= 30; ++no)
        Post(202605, no, 20260501 + no % 28,
             {{1, 1, kCash, "999999999999"}, {1, 2, kSales, "999999999999", "0", 0, 0, 0, "現金売上"}});
    auto f = Open();
    // The window opens no wider than such a screen leaves it, and may be that narrow.
    EXPECT_LE(f->width(), 1270);
    EXPECT_LE(f->minimumSizeHint().width(), 1270);
    f->resize(1270, f->height());
    QApplication::processEvents();
    ASSERT_EQ(f->DenMain->Rows(), 60);
    QTableView* view = f->DenMain->view();
    ASSERT_TRUE(view->verticalScrollBar()->isVisible());
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    // Every cell of the lines is shown whole.
    const QFontMetrics fm(view->font());
    for (int r : {58, 59})
        for (int c = 0; c < view->model()->columnCount(); ++c) {
            const QString text = view->model()->index(r, c).data().toString();
            EXPECT_LT(fm.horizontalAdvance(text), view->columnWidth(c)) << text.toStdString();
        }
}

}  // namespace
