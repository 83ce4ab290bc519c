// The description master dialog: checks, the next free code and the insert
// into TEKMF.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/InputFields.h"
#include "platform/InputMethod.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "voucher_dialogs/frmKE41D.h"
#include "voucher_entry/basWKE410.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <sqlite3.h>

using namespace basStdComm;
using namespace basWKE410;

namespace {

const QString kTitle = QStringLiteral("摘要登録");
const QString kMsgCode = QStringLiteral("コードを正しく入力してください。");

class DescriptionMaster : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        gstrTekiyo = "事務用品代";
    }
    std::unique_ptr<frmKE41D> Open() { return std::make_unique<frmKE41D>(); }
    QString q(const QString& sql) { return folder.Scalar(sql); }
    void AddCodes(long branch, std::initializer_list<long> codes) {
        for (long c : codes)
            folder.Sql(QString("INSERT INTO TEKMF (TEK_SSKCD, TEK_CD, TEK_NAME, TEK_SORT) VALUES (%1, %2, 'x', %2)")
                           .arg(branch)
                           .arg(c));
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(DescriptionMaster, RegistersTheHandedOverTextUnchangedUnderItsCode) {
    gstrTekiyo = "O'Brien様 立替 '10%'";
    auto d = Open();
    EXPECT_EQ(d->txtName->Value(), gstrTekiyo);
    d->txtCd->Value("25");
    d->txtSort->Value("3");
    d->cmdUpd->click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT TEK_SSKCD || ',' || TEK_CD || ',' || TEK_SORT || ',' || TEK_UPDDATE || ',' || TEK_UPDTANCD "
                "FROM TEKMF"),
              "1,25,3,2026-12-08,1");
    EXPECT_EQ(q("SELECT TEK_NAME FROM TEKMF WHERE TEK_CD = 25"), "O'Brien様 立替 '10%'");
}

TEST_F(DescriptionMaster, CodeTextAndSortAreRequiredInThisOrder) {
    gstrTekiyo = "";
    auto d = Open();
    EXPECT_EQ(d->txtName->Value(), "");
    d->cmdUpd->click();
    EXPECT_EQ(d->focusWidget(), d->txtCd->Editor());
    d->txtCd->Value("5");
    d->cmdUpd->click();
    EXPECT_EQ(d->focusWidget(), d->txtName->Editor());
    d->txtName->Value("通信費");
    d->txtSort->Value("");
    d->cmdUpd->click();
    EXPECT_EQ(d->focusWidget(), d->txtSort->Editor());
    EXPECT_EQ(msgs.Texts(), (QStringList{kMsgCode, "摘要を正しく入力してください。", kMsgCode}));
    for (const MsgBoxCall& c : msgs.Calls()) {
        EXPECT_EQ(c.style, vbOKOnly | vbExclamation);
        EXPECT_EQ(c.title, kTitle);
    }
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TEKMF"), "0");
    d->txtSort->Value("0");
    d->cmdUpd->click();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT TEK_NAME || ',' || TEK_SORT FROM TEKMF WHERE TEK_CD = 5"), "通信費,0");
}

TEST_F(DescriptionMaster, ExistingCodeOfTheBranchIsRefusedButAnotherBranchsCodeIsFree) {
    AddCodes(1, {7});
    AddCodes(2, {8});
    auto d = Open();
    d->txtCd->Value("7");
    d->txtSort->Value("7");
    d->cmdUpd->click();
    EXPECT_EQ(msgs.Texts(), QStringList{"このコードは登録済みです。"});
    EXPECT_EQ(msgs.Last().style, vbOKOnly | vbExclamation);
    EXPECT_EQ(msgs.Last().title, kTitle);
    EXPECT_EQ(d->focusWidget(), d->txtCd->Editor());
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT TEK_NAME FROM TEKMF WHERE TEK_SSKCD = 1 AND TEK_CD = 7"), "x");

    d->txtCd->Value("8");
    d->txtSort->Value("8");
    d->cmdUpd->click();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT TEK_NAME FROM TEKMF WHERE TEK_SSKCD = 1 AND TEK_CD = 8"), "事務用品代");
}

TEST_F(DescriptionMaster, NextCodeFollowsTheBranchsHighestCode) {
    auto d = Open();
    d->txtSaiban->click();
    EXPECT_EQ(d->txtCd->Value(), "1");
    EXPECT_EQ(d->focusWidget(), d->txtCd->Editor());
    AddCodes(1, {3, 12});
    AddCodes(2, {500});
    d->txtSaiban->click();
    EXPECT_EQ(d->txtCd->Value(), "13");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(DescriptionMaster, NextCodeRefusesOnceCode9999IsUsedEvenWithLowerCodesFree) {
    AddCodes(1, {9999});
    auto d = Open();
    d->txtCd->Value("40");
    d->txtSaiban->click();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "採番値が９９９９まで使用されました。\r採番は出来ません。");
    EXPECT_EQ(msgs.Last().style, vbOKOnly);
    EXPECT_EQ(msgs.Last().title, "振替伝票入力");
    EXPECT_EQ(d->txtCd->Value(), "40");
    // A free lower code typed by hand is still accepted.
    d->txtSort->Value("1");
    d->cmdUpd->click();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TEKMF WHERE TEK_CD = 40"), "1");
}

TEST_F(DescriptionMaster, LeavingTheCodeCopiesItIntoTheSortKeyEveryTime) {
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    d->txtCd->SetFocus();
    d->txtCd->Value("15");
    d->txtName->SetFocus();
    EXPECT_EQ(d->txtSort->Value(), "15");
    d->txtSort->Value("99");
    d->txtCd->SetFocus();
    d->txtSort->SetFocus();
    EXPECT_EQ(d->txtSort->Value(), "15");
}

TEST_F(DescriptionMaster, AltUAfterTheNextCodeLeavesTheCodeFieldFirstAsAClickDoes) {
    AddCodes(1, {12});
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    d->txtName->SetFocus();
    QTest::mouseClick(d->txtSaiban, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), d->txtCd->Editor());
    ASSERT_EQ(d->txtCd->Value(), "13");
    ASSERT_EQ(d->txtSort->Value(), "");
    QTest::keyClick(d->txtCd->Editor(), Qt::Key_U, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d->isVisible() || !msgs.Empty(); }, 2000));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT TEK_CD || ' | ' || TEK_NAME || ' | ' || TEK_SORT FROM TEKMF WHERE TEK_CD = 13"),
              "13 | 事務用品代 | 13");
}

TEST_F(DescriptionMaster, FailedInsertShowsTheDatabaseErrorAndKeepsTheDialogOpen) {
    folder.Sql("CREATE TRIGGER NO_TEK BEFORE INSERT ON TEKMF BEGIN SELECT RAISE(ABORT, 'locked master'); END");
    auto d = Open();
    d->txtCd->Value("2");
    d->txtSort->Value("2");
    d->cmdUpd->click();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("locked master")) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(msgs.Last().style, vbOKOnly | vbExclamation);
    EXPECT_EQ(msgs.Last().title, kTitle);
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(d->txtName->Value(), "事務用品代");
}

// The database's commit fails (a full disk): the dialog stays with what was
// typed, nothing is stored, and OK stores it once there is room.
TEST_F(DescriptionMaster, FailedCommitKeepsTheDialogAndOkStoresOnceThereIsRoom) {
    auto d = Open();
    d->txtCd->Value("25");
    d->txtSort->Value("3");
    gobjDB->SetCommitFault([] { return SQLITE_FULL; });
    d->cmdUpd->click();
    gobjDB->SetCommitFault(nullptr);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("空き容量")) << msgs.Last().prompt.toStdString();
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TEKMF"), "0");
    EXPECT_EQ(d->txtCd->Value() + "/" + d->txtName->Value() + "/" + d->txtSort->Value(), "25/事務用品代/3");
    msgs.Clear();
    d->cmdUpd->click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT COUNT(*) || ',' || TEK_CD || ',' || TEK_NAME FROM TEKMF"), "1,25,事務用品代");
}

TEST_F(DescriptionMaster, CodeAndSortFieldsCloseTheInputMethod) {
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    for (imFieldBase* f : std::initializer_list<imFieldBase*>{d->txtCd, d->txtSort}) {
        d->txtName->SetFocus();
        InputMethod::SetOpen(f->Editor(), true);
        f->SetFocus();
        QApplication::processEvents();
        EXPECT_FALSE(InputMethod::IsOpen(f->Editor()));
    }
    EXPECT_TRUE(InputMethod::IsOpen(d->txtName->Editor()));
}

TEST_F(DescriptionMaster, ShowsItsControlsWithCaptionsInFull) {
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), kTitle);
    QStringList caps;
    for (Panel3D* p : d->lblCap) caps << p->Caption();
    EXPECT_EQ(caps, (QStringList{"コード", "摘要", "表示順"}));
    EXPECT_EQ(d->lblMode->Caption(), "モード");
    EXPECT_EQ(d->lblMode->ForeColor(), d->lblGrp->ForeColor());
    EXPECT_EQ(d->txtSaiban->text(), "採番");
    EXPECT_EQ(d->cmdUpd->text(), "登録(&U)");
    EXPECT_EQ(d->cmdEnd->text(), "ｷｬﾝｾﾙ(&X)");
    EXPECT_EQ(d->txtCd->Format(), "###0");
    EXPECT_EQ(d->txtSort->Format(), "###0");
    d->show();
    QApplication::processEvents();
    for (QPushButton* b : d->findChildren<QPushButton*>()) EXPECT_GE(b->width(), b->sizeHint().width());
    for (Panel3D* p : d->findChildren<Panel3D*>())
        EXPECT_GE(p->contentsRect().width(), p->fontMetrics().horizontalAdvance(p->Caption()))
            << p->Caption().toStdString();
    if (qEnvironmentVariableIsSet("TAVIK_SHOTS")) d->grab().save(qEnvironmentVariable("TAVIK_SHOTS") + "/frmKE41D.png");
    d->cmdEnd->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TEKMF"), "0");
}

}  // namespace
