// The search-condition dialog of the voucher list: showing the conditions,
// the checks of OK, storing on OK only, the person search, the default
// button, the key helpers and the calendars' holidays.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/CodeSearch.h"
#include "platform/InputFields.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "voucher_dialogs/frmKE41H.h"
#include "voucher_entry/basWKE410.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

const QString kCaption = QStringLiteral("振替伝票一覧　表示条件変更");
const QString kMsgRange = QStringLiteral("開始≦終了になるように指定してください");
const QString kMsgDate = QStringLiteral("日付が正しく入力されていません");

// The search-condition record as one comparable text.
QString Record() {
    return QStringList{QString::number(glngSrchDenNoSt), QString::number(glngSrchDenNoEnd),
                       QString::number(glngSrchDateSt),  QString::number(glngSrchDateEnd),
                       QString::number(glngSrchNDateSt), QString::number(glngSrchNDateEnd),
                       QString::number(glngSrchTanCd),   "[" + gstrSrchTekiyo + "]",
                       QString::number(glngSrchKessan),  QString::number(gintSrchSort),
                       QString::number(gintSrchDate),    QString::number(gintSrchNDate)}
        .join(",");
}

class ConditionDialog : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        InitSearchDefaults();
    }
    void TearDown() override { SetCodeSearchHandler(nullptr); }

    // A record unlike the defaults in every condition.
    static void SetUnusualRecord() {
        glngSrchDenNoSt = 3;
        glngSrchDenNoEnd = 50;
        glngSrchDateSt = 20261101;
        glngSrchDateEnd = 20261130;
        glngSrchNDateSt = 20261201;
        glngSrchNDateEnd = 20261231;
        glngSrchTanCd = 1;
        gstrSrchTekiyo = "家賃";
        glngSrchKessan = 1;
        gintSrchSort = 2;
        gintSrchDate = 0;
        gintSrchNDate = 1;
    }
    static std::unique_ptr<frmKE41H> Open(bool shown = false) {
        auto d = std::make_unique<frmKE41H>();
        if (shown) {
            d->show();
            d->activateWindow();
            QApplication::processEvents();
        }
        return d;
    }
    static bool HasFocus(imFieldBase* field) { return field->Editor()->hasFocus(); }

    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(ConditionDialog, ControlsCarryTheirCaptionsAndAccessKeys) {
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), kCaption);
    QStringList texts;
    for (Panel3D* p : d->lblCap) texts << p->Caption();
    texts << d->frmSort->title();
    for (QRadioButton* o : d->optSort) texts << o->text();
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{d->chkKessan, d->cmdTan, d->cmdSel, d->cmdEnd,
                                                                      d->cmdDefault})
        texts << b->text();
    EXPECT_EQ(texts.join("|"), "伝票番号|伝票日付|入力日付|入力担当|伝票摘要|表示順|伝票日付降順|伝票番号降順|"
                               "入力日付降順|決算仕訳|変更|OK(&O)|ｷｬﾝｾﾙ(&X)|規定値に戻す(&K)");
    EXPECT_EQ(d->txtDenNoSt->Format(), "#######0");
    EXPECT_TRUE(d->lblGrp->Caption().contains("総務部"));
    EXPECT_EQ(d->lblGrp->ForeColor(), QColor(96, 26, 10));
}

TEST_F(ConditionDialog, LoadShowsTheRecordAndEachBoxEnablesItsDates) {
    SetUnusualRecord();
    auto d = Open();
    EXPECT_EQ(d->txtDenNoSt->NumValue(), 3);
    EXPECT_EQ(d->txtDenNoEnd->NumValue(), 50);
    EXPECT_EQ(d->txtDateSt->NumValue(), 20261101);
    EXPECT_EQ(d->txtDateEnd->NumValue(), 20261130);
    EXPECT_EQ(d->txtNDateSt->NumValue(), 20261201);
    EXPECT_EQ(d->txtNDateEnd->NumValue(), 20261231);
    EXPECT_EQ(d->lblTanto->Caption(), "山田 太郎");
    EXPECT_EQ(d->txtTekiyo->Value(), "家賃");
    EXPECT_TRUE(d->chkKessan->isChecked());
    EXPECT_FALSE(d->optSort[0]->isChecked());
    EXPECT_FALSE(d->optSort[1]->isChecked());
    EXPECT_TRUE(d->optSort[2]->isChecked());
    EXPECT_FALSE(d->cBoxDate->isChecked());
    EXPECT_FALSE(d->txtDateSt->isEnabled());
    EXPECT_FALSE(d->txtDateEnd->isEnabled());
    EXPECT_TRUE(d->cBoxNDate->isChecked());
    EXPECT_TRUE(d->txtNDateSt->isEnabled());
    EXPECT_TRUE(d->txtNDateEnd->isEnabled());

    d->cBoxDate->click();
    EXPECT_EQ(d->UseDate, 1);
    EXPECT_TRUE(d->txtDateSt->isEnabled());
    EXPECT_TRUE(d->txtDateEnd->isEnabled());
    d->cBoxNDate->click();
    EXPECT_EQ(d->UseNDate, 0);
    EXPECT_FALSE(d->txtNDateSt->isEnabled());
    EXPECT_FALSE(d->txtNDateEnd->isEnabled());
    // Nothing is stored before OK.
    EXPECT_EQ(gintSrchDate, 0);
    EXPECT_EQ(gintSrchNDate, 1);
}

TEST_F(ConditionDialog, OkChecksNumbersThenVoucherDatesThenInputDatesAndFocusesTheField) {
    struct Case {
        const char* name;
        std::function<void(frmKE41H&)> input;
        QString message;
        std::function<imFieldBase*(frmKE41H&)> field;
    };
    auto bothRangesOn = [](frmKE41H& d) {
        d.cBoxDate->setChecked(true);
        d.cBoxNDate->setChecked(true);
    };
    const std::vector<Case> cases = {
        {"number from above to",
         [&](frmKE41H& d) {
             d.txtDenNoSt->Value("6");
             d.txtDenNoEnd->Value("5");
             d.txtDateSt->Value("2026/02/30");  // the number check comes first
         },
         kMsgRange, [](frmKE41H& d) -> imFieldBase* { return d.txtDenNoSt; }},
        {"voucher date from no date",
         [&](frmKE41H& d) {
             bothRangesOn(d);
             d.txtDateSt->Value("2026/02/30");
             d.txtDateEnd->Value("");
             d.txtNDateSt->Value("");
         },
         kMsgDate, [](frmKE41H& d) -> imFieldBase* { return d.txtDateSt; }},
        {"voucher date to no date",
         [&](frmKE41H& d) {
             bothRangesOn(d);
             d.txtDateEnd->Value("");
             d.txtNDateSt->Value("");
         },
         kMsgDate, [](frmKE41H& d) -> imFieldBase* { return d.txtDateEnd; }},
        {"voucher dates reversed",
         [&](frmKE41H& d) {
             bothRangesOn(d);
             d.txtDateSt->NumValue(20261202);
             d.txtDateEnd->NumValue(20261201);
             d.txtNDateSt->Value("");
         },
         kMsgRange, [](frmKE41H& d) -> imFieldBase* { return d.txtDateSt; }},
        {"input date from no date",
         [&](frmKE41H& d) {
             bothRangesOn(d);
             d.txtNDateSt->Value("");
             d.txtNDateEnd->Value("2026/13/01");
         },
         kMsgDate, [](frmKE41H& d) -> imFieldBase* { return d.txtNDateSt; }},
        {"input date to no date",
         [&](frmKE41H& d) {
             bothRangesOn(d);
             d.txtNDateEnd->Value("2026/13/01");
         },
         kMsgDate, [](frmKE41H& d) -> imFieldBase* { return d.txtNDateEnd; }},
        {"input dates reversed",
         [&](frmKE41H& d) {
             bothRangesOn(d);
             d.txtNDateSt->NumValue(20261231);
             d.txtNDateEnd->NumValue(20261230);
         },
         kMsgRange, [](frmKE41H& d) -> imFieldBase* { return d.txtNDateSt; }},
    };
    const QString before = Record();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = Open(true);
        c.input(*d);
        d->cmdTan->setFocus();  // somewhere else
        msgs.Clear();
        d->cmdSel->click();
        ASSERT_EQ(msgs.Calls().size(), 1u);
        EXPECT_EQ(msgs.Last().prompt, c.message);
        EXPECT_EQ(msgs.Last().icon(), vbInformation);
        EXPECT_EQ(msgs.Last().title, kCaption);
        EXPECT_TRUE(HasFocus(c.field(*d)));
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(Record(), before);
    }
}

TEST_F(ConditionDialog, EqualEndsPassAndSwitchedOffRangesAreNotChecked) {
    // Only the voucher dates on: a broken input date is not looked at and
    // the input dates keep their last valid values.
    {
        auto d = Open(true);
        d->txtDenNoSt->Value("5");
        d->txtDenNoEnd->Value("5");
        d->txtDateSt->NumValue(20261201);
        d->txtDateEnd->NumValue(20261201);
        d->txtNDateSt->Value("2026/02/30");
        d->txtNDateEnd->Value("");
        d->cmdSel->click();
        EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
        EXPECT_EQ(d->result(), QDialog::Accepted);
        EXPECT_EQ(glngSrchDenNoSt, 5);
        EXPECT_EQ(glngSrchDenNoEnd, 5);
        EXPECT_EQ(glngSrchDateSt, 20261201);
        EXPECT_EQ(glngSrchDateEnd, 20261201);
        EXPECT_EQ(glngSrchNDateSt, 20261108);
        EXPECT_EQ(glngSrchNDateEnd, 20270108);
    }
    // Only the input dates on: a broken voucher date is not looked at.
    {
        auto d = Open(true);
        d->cBoxDate->click();
        d->cBoxNDate->click();
        d->txtDateSt->Value("");
        d->txtNDateSt->NumValue(20261203);
        d->txtNDateEnd->NumValue(20261203);
        d->cmdSel->click();
        EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
        EXPECT_EQ(d->result(), QDialog::Accepted);
        EXPECT_EQ(gintSrchDate, 0);
        EXPECT_EQ(gintSrchNDate, 1);
        EXPECT_EQ(glngSrchDateSt, 20261201);  // the one stored before
        EXPECT_EQ(glngSrchNDateSt, 20261203);
        EXPECT_EQ(glngSrchNDateEnd, 20261203);
    }
}

TEST_F(ConditionDialog, EmptyNumberFieldStandsForThePreviousNumber) {
    glngSrchDenNoSt = 3;
    glngSrchDenNoEnd = 50;
    {
        auto d = Open(true);
        d->txtDenNoEnd->Value("");
        d->cmdSel->click();
        EXPECT_TRUE(msgs.Empty());
        EXPECT_EQ(glngSrchDenNoSt, 3);
        EXPECT_EQ(glngSrchDenNoEnd, 50);
    }
    {
        // 3 (kept) to 2 is reversed.
        auto d = Open(true);
        d->txtDenNoSt->Value("");
        d->txtDenNoEnd->Value("2");
        d->cmdSel->click();
        EXPECT_EQ(msgs.Texts(), QStringList{kMsgRange});
        EXPECT_TRUE(HasFocus(d->txtDenNoSt));
        EXPECT_EQ(glngSrchDenNoEnd, 50);
    }
}

TEST_F(ConditionDialog, OkStoresEveryConditionAsShown) {
    auto d = Open(true);
    d->txtDenNoSt->Value("10");
    d->txtDenNoEnd->Value("20");
    d->txtDateSt->NumValue(20261101);
    d->txtDateEnd->NumValue(20261130);
    // The input date range stays off, its dates are stored all the same.
    d->txtNDateSt->NumValue(20261202);
    d->txtNDateEnd->NumValue(20261204);
    d->txtTekiyo->Value("  前払 ");
    d->chkKessan->click();
    d->optSort[1]->click();
    d->cmdSel->click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(Record(), "10,20,20261101,20261130,20261202,20261204,0,[  前払 ],1,1,1,0");

    auto again = Open(true);
    again->chkKessan->click();
    again->optSort[2]->click();
    again->cBoxNDate->click();
    again->cBoxDate->click();
    again->cmdSel->click();
    EXPECT_EQ(Record(), "10,20,20261101,20261130,20261202,20261204,0,[  前払 ],0,2,0,1");
}

TEST_F(ConditionDialog, CancelAndEscapeLeaveTheRecordAlone) {
    SetUnusualRecord();
    const QString before = Record();
    auto change = [](frmKE41H& d) {
        d.txtDenNoSt->Value("1");
        d.txtTekiyo->Value("別の摘要");
        d.chkKessan->click();
        d.optSort[0]->click();
        d.cBoxDate->click();
        d.cmdDefault->click();
    };
    auto d = Open(true);
    change(*d);
    d->cmdEnd->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(Record(), before);

    auto e = Open(true);
    change(*e);
    QTest::keyClick(e->optSort[0], Qt::Key_Escape);
    EXPECT_FALSE(e->isVisible());
    EXPECT_EQ(Record(), before);
}

TEST_F(ConditionDialog, ChosenPersonAppliesAtOnceAndStaysAfterCancel) {
    CodeSearchRequest seen;
    SetCodeSearchHandler([&](const CodeSearchRequest& r) {
        seen = r;
        for (size_t i = 0; i < r.rows.size(); ++i)
            if (r.rows[i].value(0).toLongLong() == 2) return static_cast<int>(i);
        return static_cast<int>(CodeSearch::Cancel);
    });
    auto d = Open(true);
    EXPECT_EQ(d->lblTanto->Caption(), "すべて");
    d->cmdTan->click();
    EXPECT_EQ(seen.kind, "TAN");
    ASSERT_GE(seen.params.size(), 2);
    EXPECT_EQ(seen.params[0].toLongLong(), glngSskCd);
    EXPECT_EQ(seen.params[1].toLongLong(), glngGrpCd);
    EXPECT_EQ(d->lblTanto->Caption(), "佐藤 花子");
    EXPECT_EQ(d->TanCd, 2);
    EXPECT_EQ(glngSrchTanCd, 2);  // before the dialog closes
    d->cmdEnd->click();
    EXPECT_EQ(glngSrchTanCd, 2);

    // The next dialog shows the person; a search closed without a choice
    // changes nothing.
    SetCodeSearchHandler([](const CodeSearchRequest&) { return static_cast<int>(CodeSearch::Cancel); });
    auto next = Open(true);
    EXPECT_EQ(next->lblTanto->Caption(), "佐藤 花子");
    next->cmdTan->click();
    EXPECT_EQ(next->lblTanto->Caption(), "佐藤 花子");
    EXPECT_EQ(next->TanCd, 2);
    EXPECT_EQ(glngSrchTanCd, 2);
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(ConditionDialog, DefaultButtonThenOkListsWithTheStartingConditions) {
    SetUnusualRecord();
    glngSrchTanCd = 2;
    auto d = Open(true);
    d->cmdDefault->click();
    EXPECT_EQ(d->txtDenNoSt->NumValue(), 0);
    EXPECT_EQ(d->txtDenNoEnd->NumValue(), 99999999);
    // Today 2026/12/08 lies in a fiscal year: one month either side.
    EXPECT_EQ(d->txtDateSt->NumValue(), 20261108);
    EXPECT_EQ(d->txtDateEnd->NumValue(), 20270108);
    EXPECT_EQ(d->txtNDateSt->NumValue(), 20261108);
    EXPECT_EQ(d->txtNDateEnd->NumValue(), 20270108);
    EXPECT_EQ(d->lblTanto->Caption(), "すべて");
    EXPECT_EQ(d->txtTekiyo->Value(), "");
    EXPECT_FALSE(d->chkKessan->isChecked());
    EXPECT_TRUE(d->optSort[0]->isChecked());
    EXPECT_TRUE(d->cBoxDate->isChecked());
    EXPECT_TRUE(d->txtDateSt->isEnabled());
    EXPECT_FALSE(d->cBoxNDate->isChecked());
    EXPECT_FALSE(d->txtNDateSt->isEnabled());
    // Still nothing stored.
    EXPECT_EQ(glngSrchDenNoSt, 3);
    d->cmdSel->click();
    EXPECT_EQ(Record(), "0,99999999,20261108,20270108,20261108,20270108,0,[],0,0,1,0");
}

TEST_F(ConditionDialog, EnterAndArrowsInSortOptionsAndSettlementBoxMoveLikeTab) {
    auto d = Open(true);
    // Where Tab and Shift+Tab lead from a widget.
    auto afterKey = [&](QWidget* from, Qt::Key key) {
        from->setFocus();
        QTest::keyClick(from, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        return QApplication::focusWidget();
    };
    auto afterPress = [&](QWidget* from, Qt::Key key) {
        from->setFocus();
        QTest::keyClick(from, key);
        return QApplication::focusWidget();
    };
    QRadioButton* on = d->optSort[0];
    ASSERT_TRUE(on->isChecked());
    QWidget* next = afterKey(on, Qt::Key_Tab);
    QWidget* prev = afterKey(on, Qt::Key_Backtab);
    EXPECT_EQ(afterPress(on, Qt::Key_Down), next);
    EXPECT_EQ(afterPress(on, Qt::Key_Up), prev);
    EXPECT_EQ(afterPress(on, Qt::Key_Return), next);
    // The arrows leave the sort group instead of moving between its buttons.
    EXPECT_EQ(next, d->chkKessan);
    EXPECT_EQ(prev, d->txtTekiyo->Editor());
    // The keys moved the focus only: the sort stays and the dialog is open.
    EXPECT_TRUE(d->optSort[0]->isChecked());
    EXPECT_FALSE(d->optSort[1]->isChecked());
    EXPECT_TRUE(d->isVisible());

    QWidget* afterBox = afterKey(d->chkKessan, Qt::Key_Tab);
    QWidget* beforeBox = afterKey(d->chkKessan, Qt::Key_Backtab);
    EXPECT_EQ(afterPress(d->chkKessan, Qt::Key_Down), afterBox);
    EXPECT_EQ(afterPress(d->chkKessan, Qt::Key_Return), afterBox);
    EXPECT_EQ(afterPress(d->chkKessan, Qt::Key_Up), beforeBox);
    EXPECT_EQ(afterBox, d->cmdSel);
    EXPECT_EQ(beforeBox, d->optSort[0]);
    EXPECT_FALSE(d->chkKessan->isChecked());
    EXPECT_TRUE(d->isVisible());

    // Enter on a date range box presses no button.
    int searches = 0;
    SetCodeSearchHandler([&](const CodeSearchRequest&) {
        ++searches;
        return static_cast<int>(CodeSearch::Cancel);
    });
    d->cBoxDate->setFocus();
    QTest::keyClick(d->cBoxDate, Qt::Key_Return);
    EXPECT_EQ(searches, 0);
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(ConditionDialog, DateCalendarsGetTheHolidaysOfTheYearTheyShow) {
    folder.Sql("INSERT INTO CRNMF (CRN_DT, CRN_NAME) VALUES (20261103, '文化の日'), (20270111, '成人の日')");
    auto d = Open(true);
    d->cBoxNDate->click();
    auto holidaysOf = [](int year) { return year == 2026 ? QString("11/03") : QString("01/11"); };
    for (imDate* field : {d->txtDateSt, d->txtDateEnd, d->txtNDateSt, d->txtNDateEnd}) {
        SCOPED_TRACE(field->Value().toStdString());
        // Opened on the field's date (2026/11/08 or 2027/01/08), then turned
        // to the other year.
        const int year = field->Date().year();
        field->DropDown();
        ASSERT_EQ(field->Calendar()->ShownYear(), year);
        EXPECT_EQ(field->Holidays(), holidaysOf(year));
        const int other = year == 2026 ? 2027 : 2026;
        field->Calendar()->ShowPage(QDate(other, 6, 1));
        EXPECT_EQ(field->Holidays(), holidaysOf(other));
        field->CloseUp();
    }
}

}  // namespace
