// The entry window's state after loads and keys: mode label, register
// button and locks after every way of loading a voucher, the fiscal-year
// label, reference mode and the update right, Escape, the locked grid and
// its searches, a refused voucher date on F10, and the width of the window.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/CodeSearch.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/ListGrid.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/frmKE41J.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

// Runs `act` on the modal dialog of type T as soon as it is shown.
template <class T>
void OnDialog(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) act(d);
    });
}

const QString kDeleteCaption = QStringLiteral("削除(F10)(&D)");
const QString kRegisterCaption = QStringLiteral("登録(F10)(&U)");
const QString kDeleteQuestion = QStringLiteral("削除してもよろしいですか？");
const QString kDateError = QStringLiteral("日付指定エラー。決算期間マスタに登録されていない日付が入力されました。");
const QString kMonthClosed = QStringLiteral("月次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。");

class EntryStates : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        gstrStartMode = "";
    }
    void TearDown() override { SetCodeSearchHandler(nullptr); }
    std::unique_ptr<frmKE410> Open(const QString& mode, long ym = 0, long no = 0, long nendo = 2026) {
        gstrEditMode = mode;
        glngDenYm = ym;
        glngDenNendo = ym ? nendo : 0;
        glngDenNo = no;
        return std::make_unique<frmKE410>();
    }
    static void Show(frmKE410& f) {
        f.show();
        QApplication::setActiveWindow(&f);
        QApplication::processEvents();
    }
    // Cash against sales, dated in the month of the date.
    void Voucher(long no, long date, const QString& amount = "1000") {
        InsertVoucher(folder, date / 100, no, date, {{1, 1, kCash, amount}, {1, 2, kSales, amount}});
    }
    QString q(const QString& sql) { return folder.Scalar(sql); }
    // Mode label, register button and input lock agree with the mode.
    static void ExpectModeShown(frmKE410& f, const QString& mode) {
        static const QMap<QString, QString> labels = {
            {"I", "追加"}, {"U", "変更"}, {"C", "追加(ｺﾋﾟｰ)"}, {"D", "削除"}, {"S", "参照"}};
        EXPECT_EQ(gstrEditMode, mode);
        EXPECT_EQ(f.lblMode->Caption(), labels.value(mode));
        EXPECT_EQ(f.cmdUpd->text(), mode == "D" ? kDeleteCaption : kRegisterCaption);
        EXPECT_EQ(f.cmdUpd->isEnabled(), mode != "S");
        const bool locked = mode == "D" || mode == "S";
        EXPECT_EQ(f.denMeisai->EditLock() != 0, locked);
        EXPECT_EQ(f.txtDate->isEnabled(), !locked);
        EXPECT_EQ(f.txtDTekiyo->isEnabled(), !locked);
        EXPECT_EQ(f.cmdPRead->isEnabled(), !locked);
    }
    // A user of type 1 with or without the update right of WKE410.
    void User(bool mayUpdate) {
        glngUserType = 1;
        folder.Sql("INSERT INTO MNUMF (MNU_MEID, MNU_PGID, MNU_UPID, MNU_NAME) VALUES (11, 'WKE410', 0, '振替伝票入力')");
        folder.Sql("INSERT INTO UGLMF (UGL_UID, UGL_GID) VALUES (1, 1)");
        folder.Sql(QString("INSERT INTO SECMF (SEC_USGID, SEC_MNUID, SEC_SSKCD, SEC_PERM) VALUES (1, 11, 1, %1)")
                       .arg(mayUpdate ? 2 : 1));
        ASSERT_EQ(basTavik::FncCheckPermission("WKE410"), mayUpdate);
    }
    AppFolder folder;
    MsgRecorder msgs;
};

// ---------------------------------------------------------------- after a load

TEST_F(EntryStates, DeleteFromTheListThenJumpShowsChangeModeAndTheRegisterButton) {
    Voucher(1, 20261201);
    Voucher(2, 20261202);
    InitSearchDefaults();
    auto list = std::make_unique<frmKE41S>();
    list->show();
    QApplication::processEvents();
    ASSERT_EQ(list->spdMeisai->MaxRows(), 2);
    bool ran = false;
    list->ShowEntryWindow = [&](frmKE410& w) {
        ran = true;
        Show(w);
        ExpectModeShown(w, "D");
        EXPECT_EQ(w.txtDenno->Value(), "1");
        OnDialog<frmKE41J>([](frmKE41J* d) {
            d->txtDate->NumValue(202612);
            d->txtDenno->Value("2");
            d->cmdUpd_Click();
        });
        w.cmdJump->click();
        EXPECT_EQ(w.txtDenno->Value(), "2");
        ExpectModeShown(w, "U");
        // The button does what it reads: a register, never a delete.
        w.cmdUpd->click();
        EXPECT_FALSE(msgs.Texts().contains(kDeleteQuestion));
        EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DELKBN = 0"), "2");
        EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DENNO = 1 AND DNH_DELKBN = 0"), "1");
    };
    list->spdMeisai->setActiveRow(2);
    list->cmdDel->click();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(EntryStates, NextInDeleteModeKeepsTheDeleteButtonAndItAsksBeforeDeleting) {
    Voucher(1, 20261201);
    Voucher(2, 20261202);
    auto f = Open("D", 202612, 1);
    Show(*f);
    f->cmdNext->click();
    EXPECT_EQ(f->txtDenno->Value(), "2");
    ExpectModeShown(*f, "D");
    msgs.Answer(vbNo);
    QTest::keyClick(f.get(), Qt::Key_F10);
    EXPECT_EQ(msgs.Texts(), QStringList{kDeleteQuestion});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DELKBN = 0"), "2");
}

TEST_F(EntryStates, DeleteModeVoucherOfAClosedMonthComesUpAsReferenceWithTheRegisterCaption) {
    folder.Sql("UPDATE KSKMF SET KSK_GUP = 20261130");
    Voucher(3, 20261120);
    Voucher(4, 20261210);
    auto f = Open("D", 202611, 3);
    EXPECT_EQ(msgs.Texts(), QStringList{kMonthClosed});
    ExpectModeShown(*f, "S");
    Show(*f);
    msgs.Clear();
    QTest::keyClick(f.get(), Qt::Key_F10);  // reference: no delete question, nothing written
    EXPECT_FALSE(msgs.Texts().contains(kDeleteQuestion));
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DELKBN = 0"), "2");
    EXPECT_FALSE(gobjDB->InTransaction());
    // Reached from delete mode by the previous-voucher button, the same.
    msgs.Clear();
    auto g = Open("D", 202612, 4);
    g->cmdPrev->click();
    EXPECT_EQ(msgs.Texts(), QStringList{kMonthClosed});
    EXPECT_EQ(g->txtDenno->Value(), "3");
    ExpectModeShown(*g, "S");
}

// ---------------------------------------------------------------- reference mode

TEST_F(EntryStates, NextFromReferenceModeStaysReferenceForAUserWithoutTheUpdateRight) {
    User(false);
    Voucher(1, 20261201);
    Voucher(2, 20261202);
    auto f = Open("S", 202612, 1);
    ExpectModeShown(*f, "S");
    f->cmdNext->click();
    EXPECT_EQ(f->txtDenno->Value(), "2");
    ExpectModeShown(*f, "S");
    EXPECT_FALSE(f->cmdTan->isEnabled());
    f->cmdPrev->click();
    EXPECT_EQ(f->txtDenno->Value(), "1");
    ExpectModeShown(*f, "S");
    // Nothing can be written from there.
    Show(*f);
    QTest::keyClick(f.get(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "2");
    // The jump dialog does not open the door either.
    OnDialog<frmKE41J>([](frmKE41J* d) {
        d->txtDate->NumValue(202612);
        d->txtDenno->Value("2");
        d->cmdUpd_Click();
    });
    f->cmdJump->click();
    EXPECT_EQ(f->txtDenno->Value(), "2");
    ExpectModeShown(*f, "S");
}

TEST_F(EntryStates, NextFromReferenceModeOpensForChangeWithTheRightButClosedMonthsStayReference) {
    User(true);
    folder.Sql("UPDATE KSKMF SET KSK_GUP = 20261130");
    Voucher(1, 20261110);
    Voucher(2, 20261120);
    Voucher(3, 20261201);
    auto f = Open("S", 202611, 1);
    EXPECT_EQ(msgs.Texts(), QStringList{kMonthClosed});
    msgs.Clear();
    f->cmdNext->click();  // November is closed
    EXPECT_EQ(f->txtDenno->Value(), "2");
    EXPECT_EQ(msgs.Texts(), QStringList{kMonthClosed});
    ExpectModeShown(*f, "S");
    msgs.Clear();
    f->cmdNext->click();  // December is open
    EXPECT_EQ(glngDenYm, 202612);
    EXPECT_EQ(f->txtDenno->Value(), "3");
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    ExpectModeShown(*f, "U");
    EXPECT_TRUE(f->cmdTan->isEnabled());
}

// ---------------------------------------------------------------- fiscal-year label

TEST_F(EntryStates, FiscalYearLabelShowsTheLoadedVouchersYear) {
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, "
               "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, "
               "KSK_SIME10, KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2025, 0, 202504, 20250401, 20260331, "
               "20250430, 20250531, 20250630, 20250731, 20250831, 20250930, 20251031, 20251130, 20251231, 20260131, "
               "20260228, 20260331, 20260331)");
    folder.Sql("UPDATE KSKMF SET KSK_NUP = 1 WHERE KSK_NENDO = 2025");  // closed: the default date lies in 2026
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_RNAME, KMK_TSKBN) VALUES (2025, 100, '現金', 1)");
    InsertVoucher(folder, 202603, 1, 20260310, {{1, 1, kCash, "500"}, {1, 2, kSales, "500"}});
    folder.Sql("UPDATE DNHDT SET DNH_NENDO = 2025");
    Voucher(1, 20261201);
    // As the command line "S 2026/03/10 1" hands the voucher over.
    long d = 20260310;
    const long nendo = basTavik::FncGetKskNendo(d, 0, 0);
    const long ym = basTavik::FncGetKskMonth(d, 0, 0);
    ASSERT_NE(nendo, basTavik::FncGetKskNendo(20261208, 0, 0));
    for (const QString mode : {"S", "U"}) {
        SCOPED_TRACE(mode.toStdString());
        auto f = Open(mode, ym, 1, nendo);
        ExpectModeShown(*f, "S");
        EXPECT_EQ(f->txtDate->NumValue(), 20260310);
        EXPECT_EQ(f->lblNendo->Caption(), QString::number(nendo) + "年度");
        EXPECT_EQ(f->denMeisai->Cell("KRKMKNM", 0), "現金");
        // Next crosses into the other fiscal year and the label follows.
        f->cmdNext->click();
        EXPECT_EQ(f->txtDate->NumValue(), 20261201);
        EXPECT_EQ(f->lblNendo->Caption(), QString::number(basTavik::FncGetKskNendo(20261201, 0, 0)) + "年度");
        f->cmdPrev->click();
        EXPECT_EQ(f->lblNendo->Caption(), QString::number(nendo) + "年度");
    }
    // Only the closing messages of the closed year were shown.
    for (const QString& text : msgs.Texts()) EXPECT_TRUE(text.endsWith("参照モードで開きます。")) << text.toStdString();
}

// ---------------------------------------------------------------- Escape

TEST_F(EntryStates, EscapeCancelsACellEditAndOtherwiseLeavesTheWindowAlone) {
    auto f = Open("I");
    Show(*f);
    VoucherGrid* grid = f->denMeisai;
    grid->setFocus();
    grid->setCurrentRow(0);
    grid->setCurrentKey("KRKMKCD");
    QTest::keyClicks(grid->view(), "100");
    ASSERT_NE(grid->editor(), nullptr);
    QTest::keyClick(grid->editor(), Qt::Key_Escape);
    EXPECT_EQ(grid->editor(), nullptr);
    EXPECT_EQ(grid->Cell("KRKMKCD", 0), "");
    // A voucher with changes: Escape neither asks nor closes.
    grid->setCell("KRKMKCD", 0, "100");
    ASSERT_TRUE(f->blnChanged);
    for (int i = 0; i < 2; ++i) QTest::keyClick(grid->view(), Qt::Key_Escape);
    f->txtDTekiyo->SetFocus();
    QTest::keyClick(f->txtDTekiyo->Editor(), Qt::Key_Escape);
    QTest::keyClick(f->cmdPrn, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(grid->Cell("KRKMKCD", 0), "100");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
    // Its dialogs still close by Escape.
    bool dialogShown = false;
    OnDialog<frmKE41J>([&dialogShown](frmKE41J* d) {
        dialogShown = true;
        QTest::keyClick(d, Qt::Key_Escape);
    });
    msgs.Answer(vbNo);  // not saved before the jump
    f->cmdJump->click();
    EXPECT_TRUE(dialogShown);
    EXPECT_FALSE(gblnJumpDone);
    EXPECT_TRUE(f->isVisible());
}

// ---------------------------------------------------------------- locked grid

TEST_F(EntryStates, SearchAndRowKeysDoNotChangeALockedGrid) {
    Voucher(1, 20261201);
    int searches = 0;
    SetCodeSearchHandler([&](const CodeSearchRequest& r) {
        ++searches;
        for (size_t i = 0; i < r.rows.size(); ++i)
            if (r.rows[i].value(0).toLongLong() == kPurchase || r.rows[i].value(0).toLongLong() == 10)
                return static_cast<int>(i);
        return r.rows.empty() ? CodeSearch::Cancel : 0;
    });
    for (const QString mode : {"D", "S"}) {
        SCOPED_TRACE(mode.toStdString());
        auto f = Open(mode, 202612, 1);
        Show(*f);
        VoucherGrid* grid = f->denMeisai;
        grid->setFocus();
        const QString before = grid->Cell("KRKMKCD", 0) + "/" + grid->Cell("KRKIN", 0) + "/" +
                               grid->Cell("KSKMKCD", 0) + "/" + grid->Total("GKRKIN");
        grid->setCurrentRow(0);
        grid->setCurrentKey("KRKMKCD");
        QTest::keyClick(grid->view(), Qt::Key_F5);
        QTest::keyClick(grid->view(), Qt::Key_Space);
        grid->setCurrentKey("KSTRICD");
        QTest::keyClick(grid->view(), Qt::Key_F5);
        grid->setCurrentRow(1);
        grid->setCurrentKey("KSKMKCD");
        QTest::keyClick(grid->view(), Qt::Key_Space);
        // Nor do the row keys move its rows.
        grid->setCurrentRow(0);
        QTest::keyClick(grid->view(), Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(grid->Cell("KRKMKCD", 0), before.section('/', 0, 0));
        QTest::keyClick(grid->view(), Qt::Key_Delete, Qt::ShiftModifier);
        EXPECT_FALSE(msgs.Texts().contains("行を削除してもよろしいですか？"));
        EXPECT_EQ(grid->Cell("KRKMKCD", 0) + "/" + grid->Cell("KRKIN", 0) + "/" + grid->Cell("KSKMKCD", 0) + "/" +
                      grid->Total("GKRKIN"),
                  before);
        EXPECT_EQ(grid->Cell("KSTRICD", 0), "");
        EXPECT_EQ(grid->Cell("KSKMKCD", 1), "");
        EXPECT_FALSE(f->blnChanged);
    }
    EXPECT_EQ(searches, 0);
    // The same keys search and fill an unlocked grid.
    auto f = Open("U", 202612, 1);
    Show(*f);
    f->denMeisai->setFocus();
    f->denMeisai->setCurrentRow(1);
    f->denMeisai->setCurrentKey("KRKMKCD");
    QTest::keyClick(f->denMeisai->view(), Qt::Key_Space);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(f->denMeisai->Cell("KRKMKCD", 1), QString::number(kPurchase));
}

// ---------------------------------------------------------------- refused date

TEST_F(EntryStates, F10WithADateOutsideEveryFiscalPeriodShowsOneMessageAndKeepsTheDate) {
    auto f = Open("I");
    Show(*f);
    f->denMeisai->setCell("KRKMKCD", 0, "100");
    f->denMeisai->setCell("KRKIN", 0, "500");
    f->denMeisai->setCell("KSKMKCD", 0, QString::number(kPayable));
    f->denMeisai->setCell("KSKIN", 0, "500");
    // Left once by Tab: the message, and the focus comes back.
    f->txtDate->SetFocus();
    f->txtDate->Editor()->setText("2030/01/10");
    QTest::keyClick(f->txtDate->Editor(), Qt::Key_Tab);
    EXPECT_EQ(msgs.Texts(), QStringList{kDateError});
    EXPECT_EQ(QApplication::focusWidget(), f->txtDate->Editor());
    msgs.Clear();
    // Then F10 in the date: the one message again, nothing else.
    QTest::keyClick(f->txtDate->Editor(), Qt::Key_F10);
    EXPECT_EQ(msgs.Texts(), QStringList{kDateError});
    EXPECT_EQ(QApplication::focusWidget(), f->txtDate->Editor());
    EXPECT_EQ(f->lblNendo->Caption(), "----年度");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
    EXPECT_FALSE(gobjDB->InTransaction());
    msgs.Clear();
    // Typed and F10 at once: one message too.
    f->txtDate->Editor()->setText("2031/05/05");
    QTest::keyClick(f->txtDate->Editor(), Qt::Key_F10);
    EXPECT_EQ(msgs.Texts(), QStringList{kDateError});
    EXPECT_EQ(QApplication::focusWidget(), f->txtDate->Editor());
    // A good date saves.
    msgs.Clear();
    f->txtDate->Editor()->setText("2026/12/05");
    QTest::keyClick(f->txtDate->Editor(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNH_DATE FROM DNHDT"), "20261205");
}

// ---------------------------------------------------------------- width

TEST_F(EntryStates, TheWholeGridFitsAWindowOnA1280PixelScreen) {
    Voucher(1, 20261201);
    auto f = Open("U", 202612, 1);
    // The window opens no wider than such a screen leaves it, and may be that narrow.
    EXPECT_LE(f->width(), 1270);
    EXPECT_LE(f->minimumSizeHint().width(), 1270);
    EXPECT_LE(f->height(), 1024 - 60);
    f->resize(1270, f->height());
    Show(*f);
    QTableView* view = f->denMeisai->view();
    for (const char* key : {"KSKIN", "KSTEKI", "KSTAX", "KRKMKCD"}) {
        SCOPED_TRACE(key);
        f->denMeisai->setFocus();
        f->denMeisai->setCurrentRow(0);
        f->denMeisai->setCurrentKey(key);
        QApplication::processEvents();
        EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
    }
}

}  // namespace
