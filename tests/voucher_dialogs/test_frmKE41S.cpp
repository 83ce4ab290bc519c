// The voucher list window: which vouchers it lists and how, the search
// conditions and sort orders, opening a row in the entry window, the search
// dialog, printing and closing.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/InputFields.h"
#include "platform/ListGrid.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/frmKE41H.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <dlfcn.h>
#include <memory>
#include <sqlite3.h>

// Every statement the database runs passes here (the library's own step,
// counted): a step on a statement not yet begun is one execution.
namespace {
long gExecutions = 0;
}
extern "C" int sqlite3_step(sqlite3_stmt* st) {
    using Step = int (*)(sqlite3_stmt*);
    static const Step real = reinterpret_cast<Step>(dlsym(RTLD_NEXT, "sqlite3_step"));
    if (!sqlite3_stmt_busy(st)) ++gExecutions;
    return real(st);
}

using namespace basStdComm;
using namespace basWKE410;

namespace {

const QString kCaption = QStringLiteral("振替伝票一覧");
const QString kMsgNoRow = QStringLiteral("行が選択されていません");

class VoucherList : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        InitSearchDefaults();  // voucher dates 2026/11/08 to 2027/01/08
    }

    // A two-line voucher (cash against sales) of the month of its date.
    void Voucher(long no, long date, const QString& amount = "1000", const QString& text = QString(), int kbn = 0,
                 int del = 0) {
        InsertVoucher(folder, date / 100, no, date, {{1, 1, kCash, amount}, {1, 2, kSales, amount}}, text, kbn, del);
    }
    void Sql(const QString& sql) { folder.Sql(sql); }

    static std::unique_ptr<frmKE41S> Open(bool shown = false) {
        auto f = std::make_unique<frmKE41S>();
        if (shown) {
            f->show();
            f->activateWindow();
            QApplication::processEvents();
        }
        return f;
    }
    // The cells of a row as the list gives them back.
    static QString Row(frmKE41S& f, int row) {
        ListGrid* g = f.spdMeisai;
        g->setRow(row);
        g->setRow2(row);
        g->setCol(1);
        g->setCol2(g->MaxCols());
        return g->Clip();
    }
    static QString Cell(frmKE41S& f, int row, int col) {
        f.spdMeisai->setRow(row);
        f.spdMeisai->setCol(col);
        return f.spdMeisai->Text();
    }
    // The voucher numbers of the list, top to bottom.
    static QString Numbers(frmKE41S& f) {
        QStringList out;
        for (int r = 1; r <= f.spdMeisai->MaxRows(); ++r) out << Cell(f, r, 4);
        return out.join(",");
    }
    static QVariant Shown(frmKE41S& f, int row, int col, int role = Qt::DisplayRole) {
        QAbstractItemModel* m = f.spdMeisai->view()->model();
        return m->data(m->index(row - 1, col - 1), role);
    }

    AppFolder folder;
    MsgRecorder msgs;
};

// ---------------------------------------------------------------- the rows

TEST_F(VoucherList, WindowHasItsCaptionsColumnsAndColours) {
    auto f = Open();
    EXPECT_EQ(f->windowTitle(), kCaption);
    QStringList captions;
    for (QPushButton* b : {f->cmdSel, f->cmdPrn, f->cmdCopy, f->cmdUpd, f->cmdIns, f->cmdDel, f->cmdEnd})
        captions << b->text();
    EXPECT_EQ(captions.join("|"), "表示変更(&S)|印刷(&P)|コピー(&C)|変更(&U)|追加(&A)|削除(&D)|閉じる(&X)");
    EXPECT_TRUE(f->lblGrp->Caption().contains("総務部"));
    EXPECT_EQ(f->lblGrp->ForeColor(), QColor(96, 26, 10));
    EXPECT_EQ(f->Panel3D1[1]->BackColor(), QColor(252, 234, 206));

    ListGrid* g = f->spdMeisai;
    ASSERT_EQ(g->MaxCols(), 9);
    QStringList headers;
    for (int c = 1; c <= 9; ++c) headers << g->ColumnHeader(c);
    EXPECT_EQ(headers, (QStringList{"NENDO", "YM", "伝票日付", "伝票番号", "摘要", "合計金額", "入力日付", "入力者", "決算"}));
    for (int c = 1; c <= 9; ++c) EXPECT_EQ(g->ColHidden(c), c <= 2) << c;
    EXPECT_EQ(g->ColKind(3), ListGrid::CellKind::Date);
    EXPECT_EQ(g->ColKind(6), ListGrid::CellKind::Amount);
    EXPECT_EQ(g->ColKind(7), ListGrid::CellKind::Date);
    // The widths keep their proportions, and a date and a twelve-digit
    // amount fit their columns.
    EXPECT_NEAR(g->ColWidth(5) / g->ColWidth(3), 43.6 / 9.5, 0.6);
    EXPECT_GT(g->ColWidth(8), g->ColWidth(6));
    const QFontMetrics fm = g->fontMetrics();
    const int margins = 6;
    EXPECT_GE(g->view()->columnWidth(2), fm.horizontalAdvance("2026/12/31") + margins);
    EXPECT_GE(g->view()->columnWidth(6), fm.horizontalAdvance("2026/12/31") + margins);
    EXPECT_GE(g->view()->columnWidth(5), fm.horizontalAdvance("999,999,999,999") + margins);
    EXPECT_GE(g->view()->columnWidth(3), fm.horizontalAdvance("99999999") + margins);
}

TEST_F(VoucherList, RowsCarryKeyDatesTrimmedDescriptionDebitTotalPersonAndSettlementMark) {
    // Debit 1,000 + 100 tax and 200 on entered lines; the generated tax line
    // 98 and the credit side are not counted.
    InsertVoucher(folder, 202612, 1, 20261201,
                  {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {2, 1, kSupplies, "200"}, {1, 2, kPayable, "1300"},
                   {98, 1, kInputTax, "100"}},
                  "事務用品");
    // Credit lines only; a settlement voucher; its person is not in USGMF.
    InsertVoucher(folder, 202612, 2, 20261203, {{1, 2, kSales, "5000"}}, "貸方のみ", 1);
    Sql("UPDATE DNHDT SET DNH_TANCD = 9 WHERE DNH_DENNO = 2");
    InsertVoucher(folder, 202612, 3, 20261205, {{1, 1, kCash, "500"}, {1, 2, kSales, "500"}}, "  前払費用 ");
    Sql("UPDATE DNHDT SET DNH_TANCD = 1, DNH_NDATE = 20261207 WHERE DNH_DENNO = 3");
    // A description holding a tab stays in its column.
    InsertVoucher(folder, 202611, 4, 20261120, {{1, 1, kCash, "7"}, {1, 2, kSales, "7"}}, "A\tB");

    auto f = Open();
    ASSERT_EQ(f->spdMeisai->MaxRows(), 4);
    EXPECT_EQ(Row(*f, 1), "2026\t202612\t20261205\t3\t前払費用\t500\t20261207\t山田 太郎\t");
    EXPECT_EQ(Row(*f, 2), "2026\t202612\t20261203\t2\t貸方のみ\t0\t20261203\t\t○");
    EXPECT_EQ(Row(*f, 3), "2026\t202612\t20261201\t1\t事務用品\t1300\t20261201\t佐藤 花子\t");
    EXPECT_EQ(Row(*f, 4), "2026\t202611\t20261120\t4\tA B\t7\t20261120\t佐藤 花子\t");
    // Dates shown as dates, the amount with separators.
    EXPECT_EQ(Shown(*f, 1, 3).toString(), "2026/12/05");
    EXPECT_EQ(Shown(*f, 1, 7).toString(), "2026/12/07");
    EXPECT_EQ(Shown(*f, 3, 6).toString(), "1,300");
    // Odd rows white, even rows pale yellow, text black.
    EXPECT_EQ(Shown(*f, 1, 5, Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(Shown(*f, 2, 5, Qt::BackgroundRole).value<QColor>(), QColor(255, 252, 185));
    EXPECT_EQ(Shown(*f, 3, 5, Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(Shown(*f, 2, 5, Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    EXPECT_TRUE(f->spdMeisai->ReDraw());
    EXPECT_FALSE(f->spdMeisai->BlockMode());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(VoucherList, DeletedVouchersHighKindsAndOtherGroupsNeverShowAndSettlementBoxKeepsKindOne) {
    Voucher(1, 20261201);
    Voucher(2, 20261202, "1000", "削除済", 0, 9);
    Voucher(3, 20261203, "1000", "削除", 0, 1);
    Voucher(4, 20261204, "1000", "種別10", 10);
    Voucher(5, 20261205, "1000", "種別11", 11);
    Voucher(6, 20261206, "1000", "決算", 1);
    Voucher(7, 20261207, "1000", "種別2", 2);
    Voucher(8, 20261208, "1000", "別グループ");
    Sql("UPDATE DNHDT SET DNH_GRPCD = 2 WHERE DNH_DENNO = 8");
    Voucher(9, 20261209, "1000", "別支部");
    Sql("UPDATE DNHDT SET DNH_SSKCD = 2 WHERE DNH_DENNO = 9");
    auto f = Open();
    EXPECT_EQ(Numbers(*f), "7,6,1");
    glngSrchKessan = 1;
    f->ShowVoucherList();
    EXPECT_EQ(Numbers(*f), "6");
}

TEST_F(VoucherList, EachSearchConditionNarrowsTheList) {
    Voucher(1, 20261130, "100", "家賃・地代 11月");
    Voucher(2, 20261201, "200", "O'Brien 様");
    Voucher(3, 20261202, "300", "家具代");
    Voucher(4, 20261204, "400", "100% 還元");
    Voucher(5, 20261205, "500", "1000円");
    Sql("UPDATE DNHDT SET DNH_NDATE = 20261210 WHERE DNH_DENNO IN (1, 2)");
    Sql("UPDATE DNHDT SET DNH_TANCD = 1 WHERE DNH_DENNO IN (2, 5)");
    Sql("UPDATE DNHDT SET DNH_KBN = 1 WHERE DNH_DENNO = 3");
    gintSrchSort = 1;
    auto f = Open();
    EXPECT_EQ(Numbers(*f), "5,4,3,2,1");

    auto listWith = [&](const std::function<void()>& set) {
        InitSearchDefaults();
        gintSrchSort = 1;
        set();
        f->ShowVoucherList();
        return Numbers(*f);
    };
    EXPECT_EQ(listWith([] { glngSrchDenNoSt = 2; glngSrchDenNoEnd = 4; }), "4,3,2");
    EXPECT_EQ(listWith([] { glngSrchDateSt = 20261201; glngSrchDateEnd = 20261204; }), "4,3,2");
    // The voucher date range off: its dates do not apply.
    EXPECT_EQ(listWith([] { glngSrchDateSt = 20261201; glngSrchDateEnd = 20261204; gintSrchDate = 0; }),
              "5,4,3,2,1");
    EXPECT_EQ(listWith([] { gintSrchNDate = 1; glngSrchNDateSt = 20261210; glngSrchNDateEnd = 20261210; }), "2,1");
    EXPECT_EQ(listWith([] { gintSrchNDate = 0; glngSrchNDateSt = 20261210; glngSrchNDateEnd = 20261210; }),
              "5,4,3,2,1");
    EXPECT_EQ(listWith([] { glngSrchTanCd = 1; }), "5,2");
    EXPECT_EQ(listWith([] { gstrSrchTekiyo = "O'Brien"; }), "2");
    // Latin letters are found in either case.
    EXPECT_EQ(listWith([] { gstrSrchTekiyo = "o'bRIEN"; }), "2");
    // Percent signs and underscores inside the text keep their pattern meaning.
    EXPECT_EQ(listWith([] { gstrSrchTekiyo = "家%代"; }), "3,1");
    EXPECT_EQ(listWith([] { gstrSrchTekiyo = "100%"; }), "5,4");
    EXPECT_EQ(listWith([] { gstrSrchTekiyo = "10_0円"; }), "5");
    EXPECT_EQ(listWith([] { glngSrchKessan = 1; }), "3");
    EXPECT_EQ(listWith([] { glngSrchTanCd = 1; glngSrchDenNoSt = 3; }), "5");
    EXPECT_EQ(listWith([] { glngSrchDenNoSt = 9; }), "");
    EXPECT_EQ(f->spdMeisai->MaxRows(), 0);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(VoucherList, SortFollowsTheChosenOrderAndAnUnknownValueGivesNone) {
    Voucher(1, 20261205);
    Voucher(2, 20261201);
    Voucher(3, 20261203);
    Sql("UPDATE DNHDT SET DNH_NDATE = 20261201 WHERE DNH_DENNO = 1");
    Sql("UPDATE DNHDT SET DNH_NDATE = 20261207 WHERE DNH_DENNO = 2");
    Sql("UPDATE DNHDT SET DNH_NDATE = 20261203 WHERE DNH_DENNO = 3");
    auto f = Open();
    EXPECT_EQ(Numbers(*f), "1,3,2");  // voucher date, newest first
    gintSrchSort = 1;
    f->ShowVoucherList();
    EXPECT_EQ(Numbers(*f), "3,2,1");
    gintSrchSort = 2;
    f->ShowVoucherList();
    EXPECT_EQ(Numbers(*f), "2,3,1");
    for (int sort : {3, -1}) {
        gintSrchSort = sort;
        f->ShowVoucherList();
        EXPECT_FALSE(gstrSQL.contains("ORDER BY")) << gstrSQL.toStdString();
        QStringList numbers = Numbers(*f).split(",");
        numbers.sort();
        EXPECT_EQ(numbers.join(","), "1,2,3");
    }
}

TEST_F(VoucherList, TheListAsksTheSameNumberOfStatementsForAnyNumberOfVouchers) {
    Voucher(1, 20261201, "100");
    auto f = Open();
    auto executions = [&] {
        const long before = gExecutions;
        f->ShowVoucherList();
        return gExecutions - before;
    };
    const long one = executions();
    for (int no = 2; no <= 40; ++no) Voucher(no, 20261201 + no % 20, QString::number(no * 100));
    EXPECT_EQ(executions(), one);
    ASSERT_EQ(f->spdMeisai->MaxRows(), 40);
    // The newest date first, the higher number of the two on it first, each
    // with its own amount.
    EXPECT_EQ(Cell(*f, 1, 4) + " " + Cell(*f, 1, 6) + " " + Cell(*f, 2, 4) + " " + Cell(*f, 2, 6), "39 3900 19 1900");
}

TEST_F(VoucherList, VouchersOfOneDateComeByTheirNumber) {
    // Put in out of order: the list does not follow how they were stored.
    for (int no : {2, 5, 1, 4, 3}) Voucher(no, 20261201);
    Voucher(6, 20261202);
    auto f = Open();
    EXPECT_EQ(Numbers(*f), "6,5,4,3,2,1");
    gintSrchSort = 2;
    f->ShowVoucherList();
    EXPECT_EQ(Numbers(*f), "6,5,4,3,2,1");
}

TEST_F(VoucherList, AListWithoutDateConditionsSaysHowManyItWouldListFirst) {
    Sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100001) "
        "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
        "DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
        "SELECT 1, 1, 202612, i, 2026, 2026, 12, 20261201, 20261201, 1, '', 0, 0 FROM n");
    gintSrchDate = 0;
    msgs.Answer(vbNo);
    auto f = Open();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("100,001")) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(f->spdMeisai->MaxRows(), 0);
    // With a date condition the list comes without a word.
    gintSrchDate = 1;
    f->ShowVoucherList();
    EXPECT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(f->spdMeisai->MaxRows(), 100001);
}

TEST_F(VoucherList, ABuildErrorIsReportedAndTheListStaysDrawn) {
    Voucher(1, 20261201);
    Voucher(2, 20261202);
    auto f = Open();
    ASSERT_EQ(f->spdMeisai->MaxRows(), 2);
    Sql("DROP VIEW IF EXISTS V_DENDT");
    Sql("DROP TABLE DNMDT");
    f->ShowVoucherList();
    EXPECT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(f->spdMeisai->ReDraw());
    EXPECT_FALSE(f->spdMeisai->BlockMode());
}

// ---------------------------------------------------------------- opening a row

TEST_F(VoucherList, EmptyListRefusesEveryRowCommandButAddOpensAnEmptyVoucher) {
    auto f = Open(true);
    int opened = 0;
    QString mode;
    long nendo = -1, no = -1;
    f->ShowEntryWindow = [&](frmKE410& w) {
        ++opened;
        mode = gstrEditMode;
        nendo = glngDenNendo;
        no = glngDenNo;
        EXPECT_EQ(w.lblMode->Caption(), "追加");
        EXPECT_EQ(w.txtDenno->Value(), "1");
    };
    ASSERT_EQ(f->spdMeisai->MaxRows(), 0);
    ASSERT_LT(f->spdMeisai->ActiveRow(), 1);
    f->cmdUpd->click();
    f->cmdCopy->click();
    f->cmdDel->click();
    f->cmdPrn->click();
    QTest::keyClick(f->spdMeisai->view(), Qt::Key_Return);
    EXPECT_EQ(msgs.Texts(), QStringList(5, kMsgNoRow));
    for (const MsgBoxCall& c : msgs.Calls()) {
        EXPECT_EQ(c.icon(), vbExclamation);
        EXPECT_EQ(c.title, kCaption);
    }
    EXPECT_EQ(opened, 0);

    glngDenYm = 202612;
    glngDenNendo = 2026;
    glngDenNo = 5;
    f->cmdIns->click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(mode, "I");
    EXPECT_EQ(nendo, 0);
    EXPECT_EQ(no, 0);
    EXPECT_EQ(msgs.Calls().size(), 5u);
}

TEST_F(VoucherList, ButtonsDoubleClickAndEnterOpenTheRowInTheirModeThenTheListIsBuiltAgain) {
    Voucher(1, 20261201);
    Voucher(7, 20261203);
    Voucher(3, 20261107);  // outside the voucher date range
    auto f = Open(true);
    ASSERT_EQ(Numbers(*f), "7,1");

    struct Opened {
        QString mode, caption, number;
        long nendo, ym, no;
    };
    std::vector<Opened> seen;
    long nextNo = 10;
    f->ShowEntryWindow = [&](frmKE410& w) {
        seen.push_back({gstrEditMode, w.lblMode->Caption(), w.txtDenno->Value(), glngDenNendo, glngDenYm, glngDenNo});
        // Whatever the entry window did shows in the list afterwards.
        Voucher(nextNo, 20261200 + nextNo);
        ++nextNo;
    };

    struct Step {
        const char* name;
        std::function<void()> act;
        QString mode, caption;
        bool listFocused;
    };
    const std::vector<Step> steps = {
        {"change button", [&] { f->cmdUpd->setFocus(); f->cmdUpd->click(); }, "U", "変更", true},
        {"copy button", [&] { f->cmdCopy->setFocus(); f->cmdCopy->click(); }, "C", "追加(ｺﾋﾟｰ)", true},
        {"delete button", [&] { f->cmdDel->setFocus(); f->cmdDel->click(); }, "D", "削除", true},
        {"double-click", [&] { f->cmdSel->setFocus(); emit f->spdMeisai->DblClick(5, f->spdMeisai->ActiveRow()); },
         "U", "変更", false},
        {"Enter",
         [&] {
             f->spdMeisai->SetFocus();
             QTest::keyClick(f->spdMeisai->view(), Qt::Key_Return);
         },
         "U", "変更", true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        // The row of voucher 1, wherever it is now.
        int row = 0;
        for (int r = 1; r <= f->spdMeisai->MaxRows(); ++r)
            if (Cell(*f, r, 4) == "1") row = r;
        ASSERT_GT(row, 0);
        f->spdMeisai->setActiveRow(row);
        const int rowsBefore = f->spdMeisai->MaxRows();
        seen.clear();
        s.act();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].mode, s.mode);
        EXPECT_EQ(seen[0].caption, s.caption);
        EXPECT_EQ(seen[0].nendo, 2026);
        EXPECT_EQ(seen[0].ym, 202612);
        EXPECT_EQ(seen[0].no, 1);
        if (s.mode != "C") {
            EXPECT_EQ(seen[0].number, "1");  // the window loaded that voucher
        }
        EXPECT_EQ(f->spdMeisai->MaxRows(), rowsBefore + 1);
        EXPECT_EQ(Cell(*f, 1, 4), QString::number(nextNo - 1));
        if (s.listFocused) {
            EXPECT_TRUE(f->spdMeisai->view()->hasFocus());
        } else {
            EXPECT_TRUE(f->cmdSel->hasFocus());
        }
    }
    // A double-click on the header opens nothing.
    seen.clear();
    emit f->spdMeisai->DblClick(3, 0);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(VoucherList, AVoucherAddedAndDeletedInTheEntryWindowComesAndGoes) {
    auto f = Open(true);
    ASSERT_EQ(f->spdMeisai->MaxRows(), 0);
    auto put = [](frmKE410& w, const QString& key, const QString& value) {
        w.denMeisai->setCurrentRow(0);
        w.denMeisai->setCurrentKey(key);
        w.denMeisai->setCell(key, 0, value);
    };
    f->ShowEntryWindow = [&](frmKE410& w) {
        put(w, "KRKMKCD", "500");
        put(w, "KRKIN", "1000");
        put(w, "KSKMKCD", "200");
        put(w, "KSKIN", "1100");
        w.txtDTekiyo->Value("文具");
        w.cmdUpd_Click();
        w.close();
    };
    f->cmdIns->click();
    ASSERT_EQ(f->spdMeisai->MaxRows(), 1) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(Row(*f, 1), "2026\t202612\t20261208\t1\t文具\t1100\t20261208\t山田 太郎\t");

    f->ShowEntryWindow = [&](frmKE410& w) {
        w.show();
        w.cmdUpd_Click();  // deletes after asking
    };
    f->cmdDel->click();
    EXPECT_EQ(msgs.Last().prompt, "削除してもよろしいですか？");
    EXPECT_EQ(f->spdMeisai->MaxRows(), 0);
}

TEST_F(VoucherList, EntryWindowAndSearchDialogRunModallyAndTheListFollows) {
    Voucher(1, 20261201);
    auto f = Open(true);
    // Closes the modal window on show, after a change to the database.
    auto closeModalAfter = [&](const std::function<void(QWidget*)>& act) {
        QTimer::singleShot(0, [act] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            act(modal);
        });
    };
    bool wasEntry = false;
    closeModalAfter([&](QWidget* w) {
        wasEntry = qobject_cast<frmKE410*>(w) != nullptr;
        Voucher(2, 20261202);
        w->close();
    });
    f->cmdIns->click();
    EXPECT_TRUE(wasEntry);
    EXPECT_EQ(Numbers(*f), "2,1");

    bool wasDialog = false;
    closeModalAfter([&](QWidget* w) {
        auto* d = qobject_cast<frmKE41H*>(w);
        wasDialog = d != nullptr;
        Voucher(3, 20261203);
        if (d) d->cmdEnd->click();
    });
    f->cmdSel->click();
    EXPECT_TRUE(wasDialog);
    EXPECT_EQ(Numbers(*f), "3,2,1");  // cancelled, built again all the same
    EXPECT_EQ(f->focusWidget(), f->spdMeisai->view());
}

TEST_F(VoucherList, SearchDialogOkAppliesItsConditions) {
    Voucher(1, 20261201);
    Voucher(2, 20261202);
    Voucher(3, 20261203);
    auto f = Open(true);
    f->ShowConditionDialog = [](frmKE41H& d) {
        d.txtDenNoSt->Value("2");
        d.optSort[1]->setChecked(true);
        d.cmdSel->click();
    };
    f->cmdSel->click();
    EXPECT_EQ(Numbers(*f), "3,2");
    EXPECT_EQ(glngSrchDenNoSt, 2);
    EXPECT_EQ(gintSrchSort, 1);
    f->ShowConditionDialog = [](frmKE41H& d) {
        d.cmdDefault->click();
        d.cmdSel->click();
    };
    f->cmdSel->click();
    EXPECT_EQ(Numbers(*f), "3,2,1");
}

// ---------------------------------------------------------------- print

TEST_F(VoucherList, PrintHandsTheRowsNumberingPeriodAndNumberOrReportsAMissingBranch) {
    Voucher(4, 20261203);
    Voucher(6, 20261120);
    auto f = Open();
    struct Call {
        long keyFrom, keyTo, noFrom, noTo, output, inFrom, inTo, person;
        bool progress;
    };
    std::vector<Call> calls;
    f->PrintVouchers = [&](XlsReport*, bool progress, long output, long k1, long k2, long n1, long n2, long i1, long i2,
                           long person) {
        calls.push_back({k1, k2, n1, n2, output, i1, i2, person, progress});
        return true;
    };
    f->spdMeisai->setActiveRow(2);  // voucher 6 of 2026/11/20
    f->cmdPrn_Click();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].keyFrom, 202611);
    EXPECT_EQ(calls[0].keyTo, 202611);
    EXPECT_EQ(calls[0].noFrom, 6);
    EXPECT_EQ(calls[0].noTo, 6);
    EXPECT_EQ(calls[0].output, 0);
    EXPECT_FALSE(calls[0].progress);
    EXPECT_EQ(calls[0].inFrom + calls[0].inTo + calls[0].person, 0);
    EXPECT_EQ(glngDenNo, 6);
    EXPECT_EQ(glngDenYm, 202611);

    Sql("UPDATE SSKMF SET SSK_SBANKBN = 1");
    f->spdMeisai->setActiveRow(1);
    f->cmdPrn_Click();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].keyFrom, 2026);
    EXPECT_EQ(calls[1].noFrom, 4);

    Sql("UPDATE SSKMF SET SSK_SBANKBN = 5");
    f->cmdPrn_Click();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].keyFrom, 0);
    EXPECT_TRUE(msgs.Empty());

    Sql("DELETE FROM SSKMF");
    f->cmdPrn_Click();
    EXPECT_EQ(calls.size(), 3u);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "決算期間マスタが登録されていません。");
    EXPECT_EQ(msgs.Last().icon(), vbCritical);
    EXPECT_EQ(msgs.Last().title, "振替伝票印刷");
    EXPECT_EQ(f->spdMeisai->MaxRows(), 2);
}

// ---------------------------------------------------------------- closing

TEST_F(VoucherList, ClosingByButtonOrCloseBoxFinishesAndDisconnects) {
    Voucher(1, 20261201);
    const std::vector<std::pair<const char*, std::function<void(frmKE41S&)>>> ways = {
        {"close button", [](frmKE41S& f) { f.cmdEnd->click(); }},
        {"window close box", [](frmKE41S& f) { f.close(); }},
    };
    for (const auto& [name, close] : ways) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fncConnectDB());
        auto f = Open(true);
        ASSERT_EQ(f->spdMeisai->MaxRows(), 1);
        QSignalSpy finished(f.get(), &QDialog::finished);
        close(*f);
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(f->isVisible());
        EXPECT_TRUE(gobjDB.IsNothing());
    }
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(VoucherList, EscapeLeavesTheListOpenWhileItsDialogsStillCloseByEscape) {
    Voucher(1, 20261201);
    auto f = Open(true);
    QSignalSpy finished(f.get(), &QDialog::finished);
    f->spdMeisai->SetFocus();
    QTest::keyClick(f->spdMeisai->view(), Qt::Key_Escape);
    QTest::keyClick(f->spdMeisai->view(), Qt::Key_Escape);
    f->cmdPrn->setFocus();
    QTest::keyClick(f->cmdPrn, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(gobjDB.IsNothing());
    EXPECT_EQ(f->spdMeisai->MaxRows(), 1);
    // The search-condition dialog it opens is cancelled by Escape.
    int result = -1;
    f->ShowConditionDialog = [&result](frmKE41H& d) {
        QTimer::singleShot(0, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
        result = d.exec();
    };
    f->cmdSel->click();
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(msgs.Empty());
}

}  // namespace
