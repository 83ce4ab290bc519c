// The voucher grid's keyboard on the entry window: tab stops, the move table,
// row insert and delete, and the code searches.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/CodeSearch.h"
#include "platform/InputMethod.h"
#include "platform/InputFields.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_dialogs/frmKE41D.h"
#include "voucher_dialogs/frmKE41J.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

class GridKeys : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
        gstrEditMode = "I";
        gstrStartMode = "";
        glngDenYm = glngDenNendo = glngDenNo = 0;
        f = std::make_unique<frmKE410>();
        f->show();
        QApplication::setActiveWindow(f.get());
        grid = f->denMeisai;
        grid->setFocus();
    }
    void TearDown() override { SetCodeSearchHandler(nullptr); }
    QWidget* target() {
        return grid->editor() ? static_cast<QWidget*>(grid->editor()) : static_cast<QWidget*>(grid->view());
    }
    void at(const QString& key, int row = 0) {
        grid->setCurrentRow(row);
        grid->setCurrentKey(key);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(target(), k, m); }
    AppFolder folder;
    MsgRecorder msgs;
    std::unique_ptr<frmKE410> f;
    VoucherGrid* grid = nullptr;
};

TEST_F(GridKeys, EnterOnTheLastDescriptionGoesToTheNextRowOrTheRegisterButton) {
    at("KSTEKI", 3);
    key(Qt::Key_Return);
    EXPECT_EQ(grid->CurrentRow(), 4);
    EXPECT_EQ(grid->CurrentKey(), "KRKMKCD");
    at("KSTEKI", 49);
    key(Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), f->cmdUpd);
}

TEST_F(GridKeys, TabFollowsTheTabStopsAndWrapsOnlyAtTheAccountColumn) {
    QByteArray ini = "[TAB]\n";
    for (int i = 1; i <= 16; ++i)
        ini += gstrTabKey[i].toUtf8() + (gstrTabKey[i].endsWith("KMKCD") ? "=0\n" : "=1\n");
    folder.WriteFile("Tab.ini", ini);
    ReadTabIni();
    at("KRKMKCD", 2);
    key(Qt::Key_Tab);
    EXPECT_EQ(grid->CurrentKey(), "KSKMKCD");
    EXPECT_EQ(grid->CurrentRow(), 2);
    key(Qt::Key_Tab);
    EXPECT_EQ(grid->CurrentKey(), "KRKMKCD");
    EXPECT_EQ(grid->CurrentRow(), 3);
    // A name cell goes to its own code cell.
    at("KSHK1NM", 5);
    key(Qt::Key_Return);
    EXPECT_EQ(grid->CurrentKey(), "KSHK1CD");
    // When KRKMKCD is skipped, the row never changes by Tab.
    folder.WriteFile("Tab.ini", "[TAB]\nKRKMKCD=1\n");
    ReadTabIni();
    at("KSTRICD", 6);
    key(Qt::Key_Tab);
    EXPECT_EQ(grid->CurrentKey(), "KSTEKI");
    at("KRTEKI", 6);
    key(Qt::Key_Tab);
    EXPECT_EQ(grid->CurrentKey(), "KSKMKCD");
    EXPECT_EQ(grid->CurrentRow(), 6);
}

TEST_F(GridKeys, ArrowKeysFollowTheMoveTableBetweenTheHalves) {
    struct Case {
        QString from;
        Qt::Key k;
        QString to;
    };
    for (const Case& c : {Case{"KRKMKCD", Qt::Key_Down, "KRTRICD"}, Case{"KRZKBN", Qt::Key_Down, "KRTEKI"},
                          Case{"KSTEKI", Qt::Key_Up, "KSTRICD"}, Case{"KRTRINM", Qt::Key_Up, "KRTAX"},
                          Case{"KRTAX", Qt::Key_Left, "KSKIN"}, Case{"KSTRICD", Qt::Key_Left, "KRTRICD"},
                          Case{"KRTAX", Qt::Key_Right, "KSTAX"}, Case{"KSKIN", Qt::Key_Right, "KRTAX"},
                          Case{"KSTAX", Qt::Key_Right, "KRTRICD"}, Case{"KSTRICD", Qt::Key_Right, "KRTEKI"}}) {
        at(c.from, 1);
        key(c.k);
        EXPECT_EQ(grid->CurrentKey(), c.to) << c.from.toStdString();
        EXPECT_EQ(grid->CurrentRow(), 1);
    }
}

TEST_F(GridKeys, ShiftInsertAsksOnlyWhenTheLastRowIsUsedAndShiftDeleteAlwaysAsks) {
    grid->setCell("KRKMKCD", 0, "100");
    grid->setCell("KRKIN", 0, "700");
    at("KRKMKCD", 0);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_TRUE(msgs.Empty());
    EXPECT_EQ(grid->Cell("KRKMKCD", 1), "100");
    EXPECT_EQ(grid->Cell("KRKMKCD", 0), "");
    grid->setCell("KSKMKCD", 49, "400");
    msgs.Answer(vbNo);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(msgs.Texts(), QStringList{"最終行が削除されますがよろしいですか？"});
    EXPECT_EQ(grid->Cell("KSKMKCD", 49), "400");
    msgs.Clear();
    at("KRKMKCD", 1);
    msgs.Answer(vbYes);
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(msgs.Texts(), QStringList{"行を削除してもよろしいですか？"});
    EXPECT_EQ(grid->Cell("KRKMKCD", 1), "");
    EXPECT_EQ(ValCur(grid->Total("GKRKIN")), Currency());  // totals follow
}

TEST_F(GridKeys, SpaceSearchesInCodeColumnsOnlyAndF5SearchesDescriptions) {
    folder.Sql("INSERT INTO TEKMF (TEK_SSKCD, TEK_CD, TEK_NAME) VALUES (1, 1, '電話料金'), (1, 2, '家賃')");
    QStringList kinds;
    QVariantList kmkParams;
    SetCodeSearchHandler([&](const CodeSearchRequest& r) {
        kinds << r.kind;
        if (r.kind == "KMK") kmkParams = r.params;
        if (r.kind == "TEK") {
            for (size_t i = 0; i < r.rows.size(); ++i)
                if (r.rows[i].value(1).toString() == "家賃") return static_cast<int>(i);
        }
        if (r.kind == "KMK") {
            for (size_t i = 0; i < r.rows.size(); ++i)
                if (r.rows[i].value(0).toLongLong() == kSales) return static_cast<int>(i);
        }
        return CodeSearch::Cancel;
    });
    at("KSKMKCD", 0);
    key(Qt::Key_Space);
    EXPECT_EQ(kinds, QStringList{"KMK"});
    EXPECT_EQ(kmkParams.value(0).toLongLong(), 2026);
    EXPECT_EQ(kmkParams.value(2).toLongLong(), 1);
    EXPECT_EQ(grid->Cell("KSKMKCD", 0), "400");
    EXPECT_EQ(grid->Cell("KSKMKNM", 0), "売上高");
    EXPECT_EQ(grid->Cell("KSZKBN", 0), "3");
    at("KSKIN", 0);
    key(Qt::Key_Space);  // no search in an amount column, and no space typed
    EXPECT_EQ(kinds.size(), 1);
    EXPECT_EQ(grid->Cell("KSKIN", 0), "0");
    at("KRTEKI", 0);
    key(Qt::Key_F5);
    EXPECT_EQ(kinds.last(), "TEK");
    EXPECT_EQ(grid->Cell("KRTEKI", 0), "家賃");
    at("KSTEKI", 0);
    QTest::keyClicks(target(), "a b");
    key(Qt::Key_Return);
    EXPECT_EQ(grid->Cell("KSTEKI", 0), "a b");
    EXPECT_EQ(kinds.size(), 2);
}

TEST_F(GridKeys, PersonAndHeaderDescriptionComeFromTheirSearches) {
    folder.Sql("INSERT INTO TEKMF (TEK_SSKCD, TEK_CD, TEK_NAME) VALUES (1, 1, '電話料金')");
    SetCodeSearchHandler([&](const CodeSearchRequest& r) {
        if (r.kind == "TAN") {
            for (size_t i = 0; i < r.rows.size(); ++i)
                if (r.rows[i].value(0).toLongLong() == 2) return static_cast<int>(i);
        }
        return r.rows.empty() ? CodeSearch::Cancel : 0;
    });
    f->cmdTan_Click();
    EXPECT_EQ(f->lblTanto->Caption(), "佐藤 花子");
    EXPECT_EQ(glngTanCd, 2);
    EXPECT_TRUE(f->blnChanged);
    f->txtDTekiyo->SetFocus();
    QTest::keyClick(f->txtDTekiyo->Editor(), Qt::Key_F5);
    EXPECT_EQ(f->txtDTekiyo->Value(), "電話料金");
}

TEST_F(GridKeys, NamesAreLookedUpAgainWhenTheDateMovesToAnotherYear) {
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, KSK_SIME1, "
               "KSK_SIME12, KSK_GUP) VALUES (0, 0, 2027, 0, 202704, 20270401, 20280331, 20270430, 20280331, 0)");
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_RNAME, KMK_TSKBN) VALUES (2027, 100, '現金（新）', 1)");
    grid->setCell("KRKMKCD", 0, "100");
    grid->setCell("KSKMKCD", 0, "400");
    EXPECT_EQ(grid->Cell("KRKMKNM", 0), "現金");
    f->txtDate->NumValue(20270410);
    f->ApplyVoucherDate();
    EXPECT_EQ(f->lblNendo->Caption(), "2027年度");
    EXPECT_EQ(grid->Cell("KRKMKNM", 0), "現金（新）");
    EXPECT_EQ(grid->Cell("KSKMKNM", 0), "");  // no sales account that year
    EXPECT_EQ(grid->Cell("KSKMKCD", 0), "400");
}

// Runs `act` on the modal dialog of type T as soon as it is shown.
template <class T>
void OnDialog(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) act(d);
    });
}

TEST_F(GridKeys, JumpLoadsTheChosenVoucherAndF8HandsTheDescriptionToTheMaster) {
    InsertVoucher(folder, 202611, 4, 20261104, {{1, 1, kCash, "800"}, {1, 2, kSales, "800", "0", 0, 0, 0, "現金売上"}});
    OnDialog<frmKE41J>([](frmKE41J* d) {
        d->txtDate->NumValue(202611);
        d->txtDenno->Value("4");
        d->cmdUpd_Click();
    });
    f->cmdJump_Click();
    EXPECT_EQ(gstrEditMode, "U");
    EXPECT_EQ(f->lblMode->Caption(), "変更");
    EXPECT_EQ(f->txtDenno->Value(), "4");
    EXPECT_EQ(grid->Cell("KSTEKI", 0), "現金売上");
    EXPECT_EQ(ValCur(grid->Total("GKSKIN")), Currency::FromWhole(800));
    EXPECT_FALSE(f->blnChanged);
    QString handed;
    OnDialog<frmKE41D>([&handed](frmKE41D* d) {
        handed = d->txtName->Value();
        d->reject();
    });
    at("KSTEKI", 0);
    key(Qt::Key_F8);
    EXPECT_EQ(handed, "現金売上");
}

TEST_F(GridKeys, F8OpensNoDescriptionMasterWhileItsButtonIsDisabled) {
    InsertVoucher(folder, 202612, 1, 20261201, {{1, 1, kCash, "800"}, {1, 2, kSales, "800", "0", 0, 0, 0, "現金売上"}});
    int opened = 0;
    for (const QString mode : {"S", "D"}) {
        SCOPED_TRACE(mode.toStdString());
        gstrEditMode = mode;
        glngDenYm = 202612;
        glngDenNendo = 2026;
        glngDenNo = 1;
        f = std::make_unique<frmKE410>();
        f->show();
        QApplication::setActiveWindow(f.get());
        grid = f->denMeisai;
        grid->setFocus();
        ASSERT_FALSE(f->cmdTeki->isEnabled());
        for (const QString col : {"KSTEKI", "KRKMKCD"}) {
            OnDialog<frmKE41D>([&opened](frmKE41D* d) {
                ++opened;
                d->reject();
            });
            at(col, 0);
            key(Qt::Key_F8);
            QApplication::processEvents();
        }
    }
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
}

TEST_F(GridKeys, CodeFieldsCloseTheInputMethodAndDescriptionCellsOpenIt) {
    f->txtDate->SetFocus();
    QApplication::processEvents();
    EXPECT_FALSE(InputMethod::IsOpen(f->txtDate->Editor()));
    at("KRKMKCD", 0);
    grid->setFocus();
    QApplication::processEvents();
    at("KRTEKI", 0);
    EXPECT_TRUE(InputMethod::IsOpen(QApplication::focusWidget()));
    f->txtDenno->SetFocus();
    QApplication::processEvents();
    EXPECT_FALSE(InputMethod::IsOpen(f->txtDenno->Editor()));
}

}  // namespace
