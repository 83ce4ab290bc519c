// The template registration dialog: checks, the overwrite question, the
// next free key and what is written to TSHMF and TSMMF.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/InputFields.h"
#include "platform/InputMethod.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/frmKE41T.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <sqlite3.h>

using namespace basStdComm;
using namespace basWKE410;

namespace {

const QString kTitle = QStringLiteral("定例仕訳登録");
const QString kMsgOverwrite = QStringLiteral("このコードは登録済みです。上書きしますか？");

class TemplateRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        gstrEditMode = "I";
        gstrStartMode = "";
        glngDenYm = glngDenNendo = glngDenNo = 0;
        entry = std::make_unique<frmKE410>();
    }
    void put(int row, const QString& key, const QString& value) {
        entry->denMeisai->setCurrentRow(row);
        entry->denMeisai->setCurrentKey(key);
        entry->denMeisai->setCell(key, row, value);
    }
    // A stored template of key 5 with three lines.
    void OldTemplate() {
        folder.Sql("INSERT INTO TSHMF (TSH_SSKCD, TSH_GRPCD, TSH_KEY, TSH_NAME, TSH_DTEKIYO, TSH_SORT, TSH_KBN) "
                   "VALUES (1, 1, 5, '旧', '旧摘要', 3, 1)");
        folder.Sql("INSERT INTO TSMMF (TSM_SSKCD, TSM_GRPCD, TSM_KEY, TSM_GYO, TSM_TSKBN, TSM_KMKCD, TSM_KIN) "
                   "VALUES (1, 1, 5, 1, 1, 100, 1), (1, 1, 5, 2, 1, 100, 2), (1, 1, 5, 1, 2, 400, 3)");
    }
    std::unique_ptr<frmKE41T> Open() { return std::make_unique<frmKE41T>(entry.get()); }
    QString q(const QString& sql) { return folder.Scalar(sql); }
    QString lines(long key) {
        return q(QString("SELECT GROUP_CONCAT(L, ' | ') FROM (SELECT TSM_TSKBN || ':' || TSM_GYO || ':' || "
                         "TSM_KMKCD || ',' || TSM_HK1CD || ',' || TSM_HK2CD || ',' || TSM_ZKBN || ',' || TSM_KIN "
                         "|| ',' || TSM_TAX || ',' || TSM_TRICD || ',' || TSM_TEKIYO AS L FROM TSMMF "
                         "WHERE TSM_KEY = %1 ORDER BY TSM_TSKBN, TSM_GYO) AS T")
                     .arg(key));
    }
    AppFolder folder;
    MsgRecorder msgs;
    std::unique_ptr<frmKE410> entry;
};

TEST_F(TemplateRegistration, StoresUsedHalvesNumberedPerSideAndTheHeader) {
    entry->txtDTekiyo->Value("月末支払");
    // Debit halves on rows 0 and 2, credit halves on rows 1 and 4.
    put(0, "KRKMKCD", "500");
    put(0, "KRKIN", "1000");
    put(0, "KRTEKI", "O'Brien 仕入");
    put(1, "KSKMKCD", "110");
    put(1, "KSHK1CD", "2");
    put(1, "KSKIN", "1100");
    put(1, "KSTRICD", "10");
    put(2, "KRKMKCD", "630");
    put(2, "KRKIN", "108");
    // Row 3: a debit description alone is not a used half.
    put(3, "KRTEKI", "メモだけ");
    // Row 4: an amount without an account is stored with account 0.
    put(4, "KSKIN", "8");
    ASSERT_EQ(Val(entry->denMeisai->Cell("KRTAX", 0)), 100);
    ASSERT_EQ(entry->denMeisai->Cell("KRZKBN", 2), "2");

    auto d = Open();
    EXPECT_EQ(d->txtDTekiyo->Value(), "月末支払");
    d->txtKey->Value("12");
    d->txtName->Value("支払'定例");
    d->txtSort->Value("4");
    d->txtDTekiyo->Value("月末支払（定例）");
    d->optKbn[1]->setChecked(true);
    d->cmdUpd->click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_FALSE(gobjDB->InTransaction());

    const QString tax0 = entry->denMeisai->Cell("KRTAX", 2);
    EXPECT_EQ(lines(12), QString("1:1:500,0,0,1,1000,100,0,O'Brien 仕入 | "
                                 "1:2:630,0,0,2,%1,%2,0, | "
                                 "2:1:110,2,0,0,1100,0,10, | "
                                 "2:2:0,0,0,0,8,0,0,")
                             .arg(ValCur(entry->denMeisai->Cell("KRKIN", 2)).ToString(), ValCur(tax0).ToString()));
    EXPECT_EQ(q("SELECT TSH_SSKCD || ',' || TSH_GRPCD || ',' || TSH_NAME || ',' || TSH_DTEKIYO || ',' || TSH_SORT "
                "|| ',' || TSH_KBN || ',' || TSH_UPDDATE || ',' || TSH_UPDTANCD FROM TSHMF WHERE TSH_KEY = 12"),
              "1,1,支払'定例,月末支払（定例）,4,1,2026-12-08,1");
    // The entry window's own description is left as it was.
    EXPECT_EQ(entry->txtDTekiyo->Value(), "月末支払");
}

TEST_F(TemplateRegistration, EmptyGridStoresOnlyTheHeaderOfKindNormal) {
    auto d = Open();
    EXPECT_TRUE(d->optKbn[0]->isChecked());
    d->txtKey->Value("1");
    d->txtName->Value("空");
    d->txtSort->Value("1");
    d->cmdUpd->click();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TSMMF"), "0");
    EXPECT_EQ(q("SELECT TSH_KBN || ',' || TSH_DTEKIYO FROM TSHMF WHERE TSH_KEY = 1"), "0,");
}

TEST_F(TemplateRegistration, KeyAndNameAreRequired) {
    put(0, "KRKMKCD", "100");
    put(0, "KRKIN", "5");
    auto d = Open();
    d->txtName->Value("名前");
    d->cmdUpd->click();
    d->txtKey->Value("0");
    d->cmdUpd->click();
    EXPECT_EQ(d->focusWidget(), d->txtKey->Editor());
    d->txtKey->Value("3");
    d->txtName->Value("");
    d->cmdUpd->click();
    EXPECT_EQ(msgs.Texts(), (QStringList{"登録キーを正しく入力してください。", "登録キーを正しく入力してください。",
                                         "名称を正しく入力してください。"}));
    for (const MsgBoxCall& c : msgs.Calls()) {
        EXPECT_EQ(c.style, vbOKOnly | vbExclamation);
        EXPECT_EQ(c.title, kTitle);
    }
    EXPECT_EQ(d->focusWidget(), d->txtName->Editor());
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TSHMF") + q("SELECT COUNT(*) FROM TSMMF"), "00");
}

TEST_F(TemplateRegistration, ExistingKeyAnsweredNoWritesNothing) {
    OldTemplate();
    const QString before = lines(5);
    put(0, "KRKMKCD", "130");
    put(0, "KRKIN", "50");
    auto d = Open();
    d->txtKey->Value("5");
    d->txtName->Value("新");
    d->txtSort->Value("1");
    msgs.Answer(vbNo);
    d->cmdUpd->click();
    ASSERT_EQ(msgs.Texts(), QStringList{kMsgOverwrite});
    EXPECT_EQ(msgs.Last().style, vbYesNo | vbInformation);
    EXPECT_EQ(msgs.Last().title, kTitle);
    EXPECT_EQ(d->focusWidget(), d->txtKey->Editor());
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(lines(5), before);
    EXPECT_EQ(q("SELECT TSH_NAME FROM TSHMF WHERE TSH_KEY = 5"), "旧");
}

TEST_F(TemplateRegistration, ExistingKeyAnsweredYesReplacesAllItsLines) {
    OldTemplate();
    put(0, "KRKMKCD", "130");
    put(0, "KRKIN", "50");
    put(0, "KSKMKCD", "100");
    put(0, "KSKIN", "50");
    auto d = Open();
    d->txtKey->Value("5");
    d->txtName->Value("新");
    d->txtSort->Value("1");
    msgs.Answer(vbYes);
    d->cmdUpd->click();
    EXPECT_EQ(msgs.Texts(), QStringList{kMsgOverwrite});
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(lines(5), "1:1:130,0,0,0,50,0,0, | 2:1:100,0,0,0,50,0,0,");
    EXPECT_EQ(q("SELECT COUNT(*) || ',' || MAX(TSH_NAME) || ',' || MAX(TSH_KBN) FROM TSHMF WHERE TSH_KEY = 5"),
              "1,新,0");
}

TEST_F(TemplateRegistration, FailedWriteRollsBackTheDeleteAndKeepsTheDialogOpen) {
    OldTemplate();
    const QString before = lines(5);
    folder.Sql("CREATE TRIGGER NO_HEADER BEFORE INSERT ON TSHMF BEGIN SELECT RAISE(ABORT, 'header refused'); END");
    put(0, "KRKMKCD", "130");
    put(0, "KRKIN", "50");
    auto d = Open();
    d->txtKey->Value("5");
    d->txtName->Value("新");
    d->txtSort->Value("1");
    d->cmdUpd->click();
    ASSERT_EQ(msgs.Calls().size(), 2u);
    EXPECT_EQ(msgs.Calls()[0].prompt, kMsgOverwrite);
    EXPECT_TRUE(msgs.Calls()[1].prompt.contains("header refused")) << msgs.Calls()[1].prompt.toStdString();
    EXPECT_EQ(msgs.Calls()[1].style, vbOKOnly | vbExclamation);
    EXPECT_EQ(msgs.Calls()[1].title, kTitle);
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_EQ(lines(5), before);
    EXPECT_EQ(q("SELECT TSH_NAME FROM TSHMF WHERE TSH_KEY = 5"), "旧");
    EXPECT_EQ(d->txtName->Value(), "新");
}

// The database's commit fails (a full disk): the old template stays, the
// dialog keeps what was typed, and OK stores it once there is room.
TEST_F(TemplateRegistration, FailedCommitKeepsTheOldTemplateAndOkStoresOnceThereIsRoom) {
    OldTemplate();
    const QString before = lines(5);
    put(0, "KRKMKCD", "130");
    put(0, "KRKIN", "50");
    auto d = Open();
    d->txtKey->Value("5");
    d->txtName->Value("新");
    d->txtSort->Value("1");
    gobjDB->SetCommitFault([] { return SQLITE_FULL; });
    d->cmdUpd->click();
    gobjDB->SetCommitFault(nullptr);
    ASSERT_EQ(msgs.Calls().size(), 2u);
    EXPECT_EQ(msgs.Calls()[0].prompt, kMsgOverwrite);
    EXPECT_TRUE(msgs.Last().prompt.contains("空き容量")) << msgs.Last().prompt.toStdString();
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_EQ(lines(5), before);
    EXPECT_EQ(q("SELECT TSH_NAME FROM TSHMF WHERE TSH_KEY = 5"), "旧");
    EXPECT_EQ(d->txtName->Value(), "新");
    msgs.Clear();
    d->cmdUpd->click();
    EXPECT_EQ(msgs.Texts(), QStringList{kMsgOverwrite});
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(lines(5), "1:1:130,0,0,0,50,0,0,");
    EXPECT_EQ(q("SELECT COUNT(*) || ',' || MAX(TSH_NAME) FROM TSHMF WHERE TSH_KEY = 5"), "1,新");
}

TEST_F(TemplateRegistration, NextKeyFollowsTheHighestKeyOfTheGroup) {
    auto d = Open();
    d->txtSaiban->click();
    EXPECT_EQ(d->txtKey->Value(), "1");
    EXPECT_EQ(d->focusWidget(), d->txtKey->Editor());
    folder.Sql("INSERT INTO TSHMF (TSH_SSKCD, TSH_GRPCD, TSH_KEY, TSH_NAME) VALUES (1, 1, 3, 'a'), (1, 1, 7, 'b'), "
               "(1, 2, 20, 'c'), (2, 1, 30, 'd')");
    d->txtSaiban->click();
    EXPECT_EQ(d->txtKey->Value(), "8");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(TemplateRegistration, LeavingTheKeyFillsAnEmptySortOrderAndAnEmptyOneDefaultsToTheKey) {
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    d->txtKey->SetFocus();
    d->txtKey->Value("42");
    d->txtName->SetFocus();
    EXPECT_EQ(d->txtSort->Value(), "42");
    d->txtSort->Value("7");
    d->txtKey->SetFocus();
    d->txtKey->Value("43");
    d->txtName->SetFocus();
    EXPECT_EQ(d->txtSort->Value(), "7");

    // A sort field emptied afterwards takes the key when stored.
    d->txtSort->Value("");
    d->txtName->Value("並び");
    d->cmdUpd->click();
    EXPECT_EQ(d->result(), QDialog::Accepted) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT TSH_SORT FROM TSHMF WHERE TSH_KEY = 43"), "43");
}

TEST_F(TemplateRegistration, AltOWhileTheKeyIsTypedLeavesTheKeyFieldFirstAsAClickDoes) {
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    d->txtName->Value("定例");
    d->txtSort->Value("0");
    d->txtKey->SetFocus();
    QTest::keyClicks(d->txtKey->Editor(), "42");
    QTest::keyClick(d->txtKey->Editor(), Qt::Key_O, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d->isVisible() || !msgs.Empty(); }, 2000));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(q("SELECT TSH_NAME || ' | ' || TSH_SORT FROM TSHMF WHERE TSH_KEY = 42"), "定例 | 42");
}

TEST_F(TemplateRegistration, ArrowsAndEnterOnTheKindOptionsMoveLikeTab) {
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    d->optKbn[0]->setFocus();
    QTest::keyClick(d->optKbn[0], Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), d->txtSort->Editor());
    EXPECT_TRUE(d->optKbn[0]->isChecked());

    // The two options are one stop: on to the description, the choice kept.
    d->optKbn[0]->setFocus();
    QTest::keyClick(d->optKbn[0], Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), d->txtDTekiyo->Editor());
    EXPECT_TRUE(d->optKbn[0]->isChecked());
    QTest::keyClick(d->txtDTekiyo->Editor(), Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), d->optKbn[0]);

    d->optKbn[1]->setChecked(true);
    d->optKbn[1]->setFocus();
    QTest::keyClick(d->optKbn[1], Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), d->txtDTekiyo->Editor());
    EXPECT_TRUE(d->optKbn[1]->isChecked());

    d->optKbn[1]->setFocus();
    QTest::keyClick(d->optKbn[1], Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), d->txtDTekiyo->Editor());
    EXPECT_TRUE(d->optKbn[1]->isChecked());
    EXPECT_NE(d->result(), QDialog::Accepted);
}

TEST_F(TemplateRegistration, KeyAndSortFieldsCloseTheInputMethod) {
    auto d = Open();
    d->show();
    QApplication::setActiveWindow(d.get());
    for (imFieldBase* f : std::initializer_list<imFieldBase*>{d->txtKey, d->txtSort}) {
        d->txtName->SetFocus();
        InputMethod::SetOpen(f->Editor(), true);
        f->SetFocus();
        QApplication::processEvents();
        EXPECT_FALSE(InputMethod::IsOpen(f->Editor()));
    }
    EXPECT_TRUE(InputMethod::IsOpen(d->txtName->Editor()));
}

TEST_F(TemplateRegistration, ShowsItsControlsWithCaptionsInFull) {
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), kTitle);
    QStringList caps;
    for (Panel3D* p : d->lblCap) caps << p->Caption();
    EXPECT_EQ(caps, (QStringList{"登録キー", "名　　称", "表示順", "区分", "伝票摘要"}));
    EXPECT_EQ(d->txtSaiban->text(), "採番");
    EXPECT_EQ(d->optKbn[0]->text(), "通常");
    EXPECT_EQ(d->optKbn[1]->text(), "決算");
    EXPECT_EQ(d->cmdUpd->text(), "OK(&O)");
    EXPECT_EQ(d->cmdEnd->text(), "ｷｬﾝｾﾙ(&X)");
    EXPECT_EQ(d->txtKey->Format(), "#######0");
    EXPECT_EQ(d->txtSort->Format(), "###0");
    d->show();
    QApplication::processEvents();
    for (QPushButton* b : d->findChildren<QPushButton*>()) EXPECT_GE(b->width(), b->sizeHint().width());
    for (QRadioButton* o : d->optKbn) EXPECT_GE(o->width(), o->sizeHint().width());
    for (Panel3D* p : d->findChildren<Panel3D*>())
        EXPECT_GE(p->contentsRect().width(), p->fontMetrics().horizontalAdvance(p->Caption()))
            << p->Caption().toStdString();
    if (qEnvironmentVariableIsSet("TAVIK_SHOTS")) d->grab().save(qEnvironmentVariable("TAVIK_SHOTS") + "/frmKE41T.png");
    d->cmdEnd->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_EQ(q("SELECT COUNT(*) FROM TSHMF"), "0");
}

}  // namespace
