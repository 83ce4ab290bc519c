// The jump dialog: finding a stored voucher by numbering period and number,
// and the mode it is handed back in.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/InputFields.h"
#include "platform/InputMethod.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/frmKE41J.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

const QString kTitle = QStringLiteral("指定伝票へｼﾞｬﾝﾌﾟ");
const QString kMsgNotFound = QStringLiteral("指定の伝票は見つかりませんでした");

class JumpDialog : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        // Stored vouchers of branch 1 / group 1 in December 2026.
        InsertVoucher(folder, 202612, 5, 20261205, {{1, 1, kCash, "1000"}, {1, 2, kSales, "1000"}});
        InsertVoucher(folder, 202612, 6, 20261206, {{1, 1, kCash, "2000"}, {1, 2, kSales, "2000"}});
        gstrEditMode = "I";
        gstrStartMode = "";
        glngDenYm = glngDenNendo = glngDenNo = 0;
        entry = std::make_unique<frmKE410>();
        // The entry window showed a locked voucher before the jump.
        entry->denMeisai->setEditLock(3);
    }
    // Types the period and number into a new dialog and presses OK.
    std::unique_ptr<frmKE41J> Jump(const QString& period, const QString& number) {
        auto d = std::make_unique<frmKE41J>(entry.get());
        d->txtDate->Value(period);
        d->txtDenno->Value(number);
        d->cmdUpd->click();
        return d;
    }
    void SetClosing(long nup, long gup) {
        folder.Sql(QString("UPDATE KSKMF SET KSK_NUP = %1, KSK_GUP = %2").arg(nup).arg(gup));
    }
    AppFolder folder;
    MsgRecorder msgs;
    std::unique_ptr<frmKE410> entry;
};

TEST_F(JumpDialog, VoucherOfAnOpenMonthComesBackInChangeModeWithItsKeyAndAnEditableGrid) {
    auto d = Jump("2026/12", "5");
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_TRUE(gblnJumpDone);
    EXPECT_EQ(gstrEditMode, "U");
    EXPECT_EQ(glngDenNendo, 2026);
    EXPECT_EQ(glngDenYm, 202612);
    EXPECT_EQ(glngDenNo, 5);
    EXPECT_EQ(entry->denMeisai->EditLock(), 0);
    EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(JumpDialog, VoucherOnOrBeforeTheLastMonthlyClosingComesBackForReferenceOnly) {
    SetClosing(0, 20261205);
    Jump("2026/12", "5");
    EXPECT_TRUE(gblnJumpDone);
    EXPECT_EQ(gstrEditMode, "S");
    EXPECT_EQ(glngDenNo, 5);
    // Reference mode leaves the grid as it was.
    EXPECT_EQ(entry->denMeisai->EditLock(), 3);

    // One day after the closing day the voucher may be changed.
    Jump("2026/12", "6");
    EXPECT_EQ(gstrEditMode, "U");
    EXPECT_EQ(glngDenNo, 6);
    EXPECT_EQ(entry->denMeisai->EditLock(), 0);
}

TEST_F(JumpDialog, EveryVoucherOfAYearAfterItsYearEndUpdateIsReferenceOnly) {
    SetClosing(1, 0);
    Jump("2026/12", "6");
    EXPECT_TRUE(gblnJumpDone);
    EXPECT_EQ(gstrEditMode, "S");
    EXPECT_EQ(entry->denMeisai->EditLock(), 3);
}

TEST_F(JumpDialog, ClosingStateIsThatOfTheVouchersOwnFiscalYear) {
    // A second, later year that is still open, while 2026 is closed.
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, "
               "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, "
               "KSK_SIME9, KSK_SIME10, KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2027, 0, 202704, "
               "20270401, 20280331, 20270430, 20270531, 20270630, 20270731, 20270831, 20270930, 20271031, "
               "20271130, 20271231, 20280131, 20280229, 20280331, 0)");
    folder.Sql("UPDATE KSKMF SET KSK_NUP = 1 WHERE KSK_NENDO = 2026");
    folder.Sql("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE, DNH_TANCD, DNH_KBN, DNH_DELKBN) VALUES (1, 1, 202705, 1, 2027, 2027, 5, 20270510, "
               "20270510, 1, 0, 0)");
    // The entry window shows the closed year; the voucher lies in the open one.
    glngCurNendo = 2026;
    Jump("2027/05", "1");
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(gstrEditMode, "U");
    EXPECT_EQ(glngDenNendo, 2027);
    EXPECT_EQ(glngDenYm, 202705);

    // And the other way round: from the open year to a voucher of the closed one.
    glngCurNendo = 2027;
    Jump("2026/12", "5");
    EXPECT_EQ(gstrEditMode, "S");

    // An entry window whose date lies in no fiscal year still jumps.
    glngCurNendo = 0;
    Jump("2027/05", "1");
    EXPECT_TRUE(gblnJumpDone);
    EXPECT_EQ(gstrEditMode, "U");
}

TEST_F(JumpDialog, YearlyNumberingSearchesTheFiscalYearTypedAsYyyy) {
    folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 1");
    auto d = std::make_unique<frmKE41J>(entry.get());
    EXPECT_EQ(d->txtDate->Format().toLower(), "yyyy");
    d->txtDate->Value("2026");
    d->txtDenno->Value("6");
    d->cmdUpd->click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_TRUE(gblnJumpDone);
    EXPECT_EQ(glngDenNendo, 2026);
    EXPECT_EQ(glngDenYm, 202612);
    EXPECT_EQ(glngDenNo, 6);
}

TEST_F(JumpDialog, MonthlyNumberingShowsTheDateAsYearAndMonthAndSearchesThatMonthOnly) {
    auto d = std::make_unique<frmKE41J>(entry.get());
    EXPECT_EQ(d->txtDate->Format().toLower(), "yyyy/mm");
    d->txtDate->Value("2026/11");
    d->txtDenno->Value("5");
    d->cmdUpd->click();
    EXPECT_EQ(msgs.Texts(), QStringList{kMsgNotFound});
    EXPECT_FALSE(gblnJumpDone);
}

TEST_F(JumpDialog, InputErrorsAreReportedBeforeAnySearchAndFocusTheirField) {
    auto d = std::make_unique<frmKE41J>(entry.get());
    d->txtDenno->Value("5");
    d->cmdUpd->click();
    d->txtDate->Value("2026/12");
    d->txtDenno->Value("");
    d->cmdUpd->click();
    ASSERT_EQ(msgs.Calls().size(), 2u);
    EXPECT_EQ(msgs.Calls()[0].prompt, "伝票日付を正しく入力してください");
    EXPECT_EQ(msgs.Calls()[1].prompt, "伝票番号を正しく入力してください");
    for (const MsgBoxCall& c : msgs.Calls()) {
        EXPECT_EQ(c.style, vbOKOnly | vbExclamation);
        EXPECT_EQ(c.title, kTitle);
    }
    EXPECT_EQ(d->focusWidget(), d->txtDenno->Editor());
    d->txtDenno->Value("0");
    d->cmdUpd->click();
    EXPECT_EQ(msgs.Last().prompt, "伝票番号を正しく入力してください");
    EXPECT_FALSE(gblnJumpDone);
    EXPECT_NE(d->result(), QDialog::Accepted);
}

TEST_F(JumpDialog, DeletedGeneratedOrForeignVouchersAreNotFoundAndNothingIsHandedBack) {
    InsertVoucher(folder, 202612, 7, 20261207, {{1, 1, kCash, "1"}}, "", 0, 1);   // deleted
    InsertVoucher(folder, 202612, 8, 20261207, {{1, 1, kCash, "1"}}, "", 10, 0);  // kind 10
    folder.Sql("UPDATE DNHDT SET DNH_GRPCD = 2 WHERE DNH_DENNO = 6");             // another group
    glngDenYm = 111111;
    glngDenNo = 22;
    glngDenNendo = 3333;
    gstrEditMode = "I";
    for (const char* number : {"7", "8", "6", "99"}) {
        msgs.Clear();
        auto d = Jump("2026/12", number);
        ASSERT_EQ(msgs.Texts(), QStringList{kMsgNotFound}) << number;
        EXPECT_EQ(msgs.Last().style, vbOKOnly | vbExclamation);
        EXPECT_EQ(msgs.Last().title, kTitle);
        EXPECT_EQ(d->focusWidget(), d->txtDenno->Editor());
        // The dialog stays open with what was typed.
        EXPECT_NE(d->result(), QDialog::Accepted);
        EXPECT_EQ(d->txtDenno->Value(), number);
    }
    EXPECT_FALSE(gblnJumpDone);
    EXPECT_EQ(glngDenYm, 111111);
    EXPECT_EQ(glngDenNo, 22);
    EXPECT_EQ(glngDenNendo, 3333);
    EXPECT_EQ(gstrEditMode, "I");
}

TEST_F(JumpDialog, MissingFiscalPeriodOfTheVoucherIsReported) {
    folder.Sql("DELETE FROM KSKMF");
    // The typed month is taken as it stands; the voucher is found, its year
    // has no period row.
    Jump("2026/12", "5");
    EXPECT_EQ(msgs.Texts(), QStringList{"決算期間マスタの取得に失敗しました。伝票日付を確認してください。"});
    EXPECT_FALSE(gblnJumpDone);
}

TEST_F(JumpDialog, CancelLeavesJumpDoneFalseAndTheHandOverUntouched) {
    gblnJumpDone = true;  // left over from an earlier jump
    glngDenYm = 202611;
    glngDenNo = 3;
    glngDenNendo = 2026;
    gstrEditMode = "D";
    frmKE41J d(entry.get());
    EXPECT_FALSE(gblnJumpDone);
    d.txtDate->Value("2026/12");
    d.txtDenno->Value("5");
    d.cmdEnd->click();
    EXPECT_FALSE(gblnJumpDone);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(glngDenYm, 202611);
    EXPECT_EQ(glngDenNo, 3);
    EXPECT_EQ(glngDenNendo, 2026);
    EXPECT_EQ(gstrEditMode, "D");
    EXPECT_EQ(entry->denMeisai->EditLock(), 3);
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(JumpDialog, ShowsCaptionsAndClosesTheInputMethodInItsNumberFields) {
    frmKE41J d(entry.get());
    EXPECT_EQ(d.windowTitle(), kTitle);
    EXPECT_EQ(d.lblGrp->Caption(), "本社 ／ 総務部");
    EXPECT_EQ(d.lblCap[0]->Caption(), "伝票日付");
    EXPECT_EQ(d.lblCap[1]->Caption(), "伝票番号");
    EXPECT_EQ(d.cmdUpd->text(), "OK(&O)");
    EXPECT_EQ(d.cmdEnd->text(), "ｷｬﾝｾﾙ(&X)");
    EXPECT_EQ(d.txtDenno->Format(), "#######0");
    d.show();
    QApplication::setActiveWindow(&d);
    for (imFieldBase* f : std::initializer_list<imFieldBase*>{d.txtDenno, d.txtDate}) {
        InputMethod::SetOpen(f->Editor(), true);
        f->SetFocus();
        QApplication::processEvents();
        EXPECT_FALSE(InputMethod::IsOpen(f->Editor()));
    }
    // Nothing is cut off: every caption fits its control.
    for (QWidget* w : d.findChildren<QWidget*>()) {
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        }
        if (auto* p = qobject_cast<Panel3D*>(w)) {
            EXPECT_GE(p->contentsRect().width(), p->fontMetrics().horizontalAdvance(p->Caption()))
                << p->Caption().toStdString();
        }
    }
    if (qEnvironmentVariableIsSet("TAVIK_SHOTS")) d.grab().save(qEnvironmentVariable("TAVIK_SHOTS") + "/frmKE41J.png");
}

}  // namespace
