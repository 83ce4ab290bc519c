// The template selection dialog: the list of templates and the copy of the
// chosen one into the entry window.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/InputFields.h"
#include "platform/ListGrid.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/frmKE41T.h"
#include "voucher_dialogs/frmKE41Y.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

const QString kTitle = QStringLiteral("定例仕訳呼出");
const QString kMsgNoRow = QStringLiteral("行が選択されていません");

struct TemplateLine {
    int gyo;
    int side;
    long account;
    QString amount;
    QString tax = "0";
    long sub1 = 0;
    long sub2 = 0;
    long taxCode = 0;
    long partner = 0;
    QString text = QString();
};

class TemplateSelection : public ::testing::Test {
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
    void AddTemplate(long key, const QString& name, int kbn, int sort, const QString& description,
                     const QList<TemplateLine>& lines, long group = 1) {
        folder.Sql(QString("INSERT INTO TSHMF (TSH_SSKCD, TSH_GRPCD, TSH_KEY, TSH_NAME, TSH_DTEKIYO, TSH_SORT, "
                           "TSH_KBN) VALUES (1, %1, %2, %3, %4, %5, %6)")
                       .arg(group)
                       .arg(key)
                       .arg(fncSqlQuote(name), fncSqlQuote(description))
                       .arg(sort)
                       .arg(kbn));
        for (const TemplateLine& l : lines)
            folder.Sql(QString("INSERT INTO TSMMF (TSM_SSKCD, TSM_GRPCD, TSM_KEY, TSM_GYO, TSM_TSKBN, TSM_KMKCD, "
                               "TSM_HK1CD, TSM_HK2CD, TSM_ZKBN, TSM_KIN, TSM_TAX, TSM_TRICD, TSM_TEKIYO) VALUES "
                               "(1, %1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11, %12)")
                           .arg(group)
                           .arg(key)
                           .arg(l.gyo)
                           .arg(l.side)
                           .arg(l.account)
                           .arg(l.sub1)
                           .arg(l.sub2)
                           .arg(l.taxCode)
                           .arg(l.amount, l.tax)
                           .arg(l.partner)
                           .arg(fncSqlQuote(l.text)));
    }
    static QString ListCell(frmKE41Y& d, int row, int col) {
        d.spdMeisai->setRow(row);
        d.spdMeisai->setCol(col);
        return d.spdMeisai->Text();
    }
    static QStringList ListRow(frmKE41Y& d, int row) {
        QStringList r;
        for (int c = 1; c <= frmKE41Y::colCount; ++c) r << ListCell(d, row, c);
        return r;
    }
    // Selects the list row showing this key and presses Select.
    static void Choose(frmKE41Y& d, long key) {
        for (int r = 1; r <= d.spdMeisai->MaxRows(); ++r)
            if (ValLng(ListCell(d, r, frmKE41Y::colKey)) == key) d.spdMeisai->setActiveRow(r);
        d.cmdSel->click();
    }
    QString cell(const QString& key, int row) { return entry->denMeisai->Cell(key, row); }
    AppFolder folder;
    MsgRecorder msgs;
    std::unique_ptr<frmKE410> entry;
};

TEST_F(TemplateSelection, ListsNormalAndSettlementTemplatesOfTheGroupBySortThenKey) {
    AddTemplate(3, "家賃", 0, 1, "事務所家賃", {});
    AddTemplate(1, "減価償却", 1, 2, "年次償却", {});
    AddTemplate(2, "給与", 0, 1, "月給", {});
    AddTemplate(4, "内部用", 2, 0, "", {});        // kind 2 is not listed
    AddTemplate(5, "営業部の", 0, 0, "", {}, 2);  // another group
    frmKE41Y d(entry.get());
    EXPECT_EQ(d.windowTitle(), kTitle);
    ASSERT_EQ(d.spdMeisai->MaxRows(), 3);
    EXPECT_EQ(ListRow(d, 1), (QStringList{"", "2", "給与", "月給"}));
    EXPECT_EQ(ListRow(d, 2), (QStringList{"", "3", "家賃", "事務所家賃"}));
    EXPECT_EQ(ListRow(d, 3), (QStringList{"○", "1", "減価償却", "年次償却"}));
    for (int c = 1; c <= frmKE41Y::colCount; ++c) {
        d.spdMeisai->setRow(0);
        d.spdMeisai->setCol(c);
        EXPECT_EQ(d.spdMeisai->Text(), QStringList({"決算", "登録キー", "名称", "伝票摘要"})[c - 1]);
    }
}

TEST_F(TemplateSelection, SelectingWithoutARowOrOnTheHeadingIsRefused) {
    {
        frmKE41Y d(entry.get());
        EXPECT_EQ(d.spdMeisai->MaxRows(), 0);
        d.cmdSel->click();
        ASSERT_EQ(msgs.Texts(), QStringList{kMsgNoRow});
        EXPECT_EQ(msgs.Last().style, vbOKOnly | vbExclamation);
        EXPECT_EQ(msgs.Last().title, kTitle);
        EXPECT_NE(d.result(), QDialog::Accepted);
    }
    msgs.Clear();
    AddTemplate(1, "家賃", 0, 1, "家賃", {{1, 1, kCash, "100"}});
    frmKE41Y d(entry.get());
    emit d.spdMeisai->DblClick(2, 0);
    EXPECT_EQ(msgs.Texts(), QStringList{kMsgNoRow});
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(cell("KRKMKCD", 0), "");
}

TEST_F(TemplateSelection, ChosenTemplateFillsHeaderAndEachHalfOnItsLineRowWithFreshNames) {
    folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_RNAME) "
               "VALUES (2026, 110, 1, 3, 1, 1, '本店'), (2026, 110, 1, 3, 1, 2, '他部門')");
    AddTemplate(7, "仕入掛払", 1, 1, "  月末仕入  ",
                {{1, 1, kPurchase, "1000", "100", 0, 0, 1, 0, " 商品 "},
                 {2, 1, kBank, "500", "0", 1, 3, 0, 0, "手数料"},
                 {1, 2, kPayable, "1600", "0", 0, 0, 0, 10, "みなと'仕入"}});
    // Something on screen before: it goes.
    entry->denMeisai->setCell("KSKMKCD", 4, "100");
    entry->denMeisai->setCell("KSKIN", 4, "999");
    frmKE41Y d(entry.get());
    Choose(d, 7);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(d.result(), QDialog::Accepted);

    EXPECT_EQ(entry->txtDTekiyo->Value(), "月末仕入");
    EXPECT_TRUE(entry->chkKbn->isChecked());
    // Debit line 1 and credit line 1 share row 0; debit line 2 is row 1.
    EXPECT_EQ(cell("KRKMKCD", 0), "500");
    EXPECT_EQ(cell("KRKMKNM", 0), "仕入高");
    EXPECT_EQ(cell("KRZKBN", 0), "1");
    EXPECT_EQ(cell("KRZKBNNM", 0), "課税仕入10%");
    EXPECT_EQ(cell("KRKIN", 0), "1000");
    EXPECT_EQ(cell("KRTAX", 0), "100");
    EXPECT_EQ(cell("KRTEKI", 0), "商品");
    EXPECT_EQ(cell("KRHK1CD", 0), "");
    EXPECT_EQ(cell("KRTRICD", 0), "");
    EXPECT_EQ(cell("KRKMKCD", 1), "110");
    EXPECT_EQ(cell("KRHK1CD", 1), "1");
    EXPECT_EQ(cell("KRHK1NM", 1), "みずほ銀行");
    EXPECT_EQ(cell("KRHK2CD", 1), "3");
    EXPECT_EQ(cell("KRHK2NM", 1), "本店");
    EXPECT_EQ(cell("KRZKBN", 1), "");
    EXPECT_EQ(cell("KSKMKCD", 0), "200");
    EXPECT_EQ(cell("KSKMKNM", 0), "買掛金");
    EXPECT_EQ(cell("KSTRICD", 0), "10");
    EXPECT_EQ(cell("KSTRINM", 0), "株式会社みなと");
    EXPECT_EQ(cell("KSTEKI", 0), "みなと'仕入");
    EXPECT_EQ(cell("KSKMKCD", 1), "");
    EXPECT_EQ(cell("KSKMKCD", 4), "");
    EXPECT_EQ(cell("KSKIN", 4), "");
    // Totals recomputed: amount plus tax per side.
    EXPECT_EQ(ValCur(entry->denMeisai->Total("GKRKIN")), ValCur(QString("1600")));
    EXPECT_EQ(ValCur(entry->denMeisai->Total("GKSKIN")), ValCur(QString("1600")));
    EXPECT_EQ(entry->denMeisai->SectionItemText(0, 0), "%n%");
    EXPECT_FALSE(gblnLoading);
}

TEST_F(TemplateSelection, AmountsComeAsStoredWithoutTheEntryWindowsCellRules) {
    // Purchases default to tax code 1 and compute 10 % tax when typed; a
    // template line without tax code and tax stays so.
    AddTemplate(1, "仕入", 0, 1, "", {{1, 1, kPurchase, "1000"}, {1, 2, kCash, "1000"}});
    frmKE41Y d(entry.get());
    Choose(d, 1);
    EXPECT_EQ(cell("KRZKBN", 0), "");
    EXPECT_EQ(Val(cell("KRTAX", 0)), 0);
    EXPECT_FALSE(entry->chkKbn->isChecked());
    EXPECT_FALSE(gblnLoading);
    EXPECT_EQ(ValCur(entry->denMeisai->Total("GKRKIN")), ValCur(QString("1000")));
    // The cell rules work again afterwards.
    entry->denMeisai->setCurrentRow(1);
    entry->denMeisai->setCurrentKey("KRKMKCD");
    entry->denMeisai->setCell("KRKMKCD", 1, "500");
    EXPECT_EQ(cell("KRKMKNM", 1), "仕入高");
}

TEST_F(TemplateSelection, ZeroSubAccountOneLeavesItsCellsEmptyButSubAccountTwoIsStillShown) {
    folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_RNAME) "
               "VALUES (2026, 100, 0, 4, 1, 1, '小口現金')");
    AddTemplate(1, "小口", 0, 1, "", {{1, 2, kCash, "300", "0", 0, 4}});
    frmKE41Y d(entry.get());
    Choose(d, 1);
    EXPECT_EQ(cell("KSHK1CD", 0), "");
    EXPECT_EQ(cell("KSHK1NM", 0), "");
    EXPECT_EQ(cell("KSHK2CD", 0), "4");
    EXPECT_EQ(cell("KSHK2NM", 0), "小口現金");
}

TEST_F(TemplateSelection, NamesComeFromTheFiscalYearTheEntryWindowShows) {
    AddTemplate(1, "現金売上", 0, 1, "", {{1, 1, kCash, "300"}, {1, 2, kSales, "300"}});
    frmKE41Y d(entry.get());
    glngCurNendo = 2027;  // no accounts in that year
    Choose(d, 1);
    EXPECT_EQ(cell("KRKMKCD", 0), "100");
    EXPECT_EQ(cell("KRKMKNM", 0), "");
    EXPECT_EQ(cell("KSKMKNM", 0), "");
}

TEST_F(TemplateSelection, TaxNamesAreThoseInForceOnTheEntryWindowsDate) {
    folder.Sql("UPDATE ZEIMF SET ZEI_DATEEND = 20261130 WHERE ZEI_CD = 1");
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(1, 20261201, 99991231, 1, 0.10, '課税仕入10%（新区分）')");
    AddTemplate(1, "仕入", 0, 1, "", {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {1, 2, kCash, "1100"}});
    ASSERT_EQ(entry->txtDate->NumValue(), 20261208);
    {
        frmKE41Y d(entry.get());
        Choose(d, 1);
    }
    EXPECT_EQ(cell("KRZKBNNM", 0), "課税仕入10%（新区分）");
    entry->txtDate->NumValue(20261130);
    frmKE41Y d(entry.get());
    Choose(d, 1);
    EXPECT_EQ(cell("KRZKBNNM", 0), "課税仕入10%");
}

TEST_F(TemplateSelection, TemplateDeletedMeanwhileIsReportedAndTheDialogStays) {
    AddTemplate(1, "家賃", 0, 1, "家賃", {{1, 1, kCash, "100"}});
    entry->denMeisai->setCell("KRKMKCD", 2, "100");
    frmKE41Y d(entry.get());
    folder.Sql("DELETE FROM TSMMF");
    Choose(d, 1);
    EXPECT_EQ(msgs.Texts(), QStringList{"このデータは他のユーザーによって削除されました。"});
    EXPECT_EQ(msgs.Last().style, vbOKOnly | vbExclamation);
    EXPECT_EQ(msgs.Last().title, kTitle);
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_FALSE(gblnLoading);
    // The grid was emptied before the template was read.
    EXPECT_EQ(cell("KRKMKCD", 2), "");
}

TEST_F(TemplateSelection, EnterAndDoubleClickChooseLikeTheSelectButton) {
    AddTemplate(1, "一", 0, 1, "一", {{1, 1, kCash, "100"}});
    AddTemplate(2, "二", 0, 2, "二", {{1, 1, kCash, "200"}});
    {
        frmKE41Y d(entry.get());
        d.show();
        QApplication::setActiveWindow(&d);
        d.spdMeisai->setActiveRow(2);
        QTest::keyClick(d.spdMeisai->view(), Qt::Key_Return);
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(cell("KRKIN", 0), "200");
    }
    frmKE41Y d(entry.get());
    emit d.spdMeisai->DblClick(3, 1);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(entry->txtDTekiyo->Value(), "一");
    EXPECT_EQ(cell("KRKIN", 0), "100");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(TemplateSelection, RegisteredVoucherComesBackWithTheNthHalfOfEachSideOnRowN) {
    auto put = [&](int row, const QString& key, const QString& value) {
        entry->denMeisai->setCurrentRow(row);
        entry->denMeisai->setCurrentKey(key);
        entry->denMeisai->setCell(key, row, value);
    };
    entry->txtDTekiyo->Value("振込");
    put(0, "KRKMKCD", "100");
    put(0, "KRKIN", "700");
    put(1, "KSKMKCD", "110");
    put(1, "KSHK1CD", "2");
    put(1, "KSKIN", "1000");
    put(2, "KRKMKCD", "130");
    put(2, "KRKIN", "300");
    {
        frmKE41T t(entry.get());
        t.txtKey->Value("9");
        t.txtName->Value("振込");
        t.txtSort->Value("1");
        t.cmdUpd->click();
        ASSERT_EQ(t.result(), QDialog::Accepted) << msgs.Texts().join("|").toStdString();
    }
    entry->ClearVoucherScreen();
    frmKE41Y d(entry.get());
    Choose(d, 9);
    EXPECT_EQ(entry->txtDTekiyo->Value(), "振込");
    EXPECT_EQ(cell("KRKMKCD", 0), "100");
    EXPECT_EQ(cell("KRKMKCD", 1), "130");
    EXPECT_EQ(cell("KRKIN", 1), "300");
    EXPECT_EQ(cell("KSKMKCD", 0), "110");
    EXPECT_EQ(cell("KSHK1NM", 0), "三井住友銀行");
    EXPECT_EQ(cell("KSKMKCD", 1), "");
    EXPECT_EQ(cell("KRKMKCD", 2), "");
}

TEST_F(TemplateSelection, ShowsEveryCaptionInFull) {
    AddTemplate(1, "減価償却（建物・車両）", 1, 1, "年次決算　減価償却費の計上", {});
    frmKE41Y d(entry.get());
    EXPECT_EQ(d.cmdSel->text(), "選択(&S)");
    EXPECT_EQ(d.cmdEnd->text(), "ｷｬﾝｾﾙ(&X)");
    d.show();
    QApplication::processEvents();
    for (QPushButton* b : d.findChildren<QPushButton*>()) EXPECT_GE(b->width(), b->sizeHint().width());
    EXPECT_GE(d.lblGrp->contentsRect().width(), d.lblGrp->fontMetrics().horizontalAdvance(d.lblGrp->Caption()));
    // The name and description columns hold what is listed.
    QTableView* v = d.spdMeisai->view();
    const QFontMetrics fm = v->fontMetrics();
    EXPECT_GE(v->columnWidth(frmKE41Y::colName - 1), fm.horizontalAdvance(ListCell(d, 1, frmKE41Y::colName)));
    EXPECT_GE(v->columnWidth(frmKE41Y::colTekiyo - 1), fm.horizontalAdvance(ListCell(d, 1, frmKE41Y::colTekiyo)));
    if (qEnvironmentVariableIsSet("TAVIK_SHOTS")) d.grab().save(qEnvironmentVariable("TAVIK_SHOTS") + "/frmKE41Y.png");
}

}  // namespace
