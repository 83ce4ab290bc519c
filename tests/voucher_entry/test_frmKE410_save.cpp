// Saving, changing and deleting vouchers through the entry window's commands,
// with their validation and balance posting.
#include "TestSupport.h"
#include "VoucherData.h"
#include "ReportCapture.h"

#include "common/basStdComm.h"
#include "database/Schema.h"
#include "platform/AppInfo.h"
#include "platform/FileHold.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QCheckBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

class VoucherSave : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        ReadTabIni();
    }
    std::unique_ptr<frmKE410> Open(const QString& mode, long ym = 0, long no = 0) {
        gstrEditMode = mode;
        gstrStartMode = "";
        glngDenYm = ym;
        glngDenNendo = ym ? 2026 : 0;
        glngDenNo = no;
        return std::make_unique<frmKE410>();
    }
    static void put(frmKE410& f, int row, const QString& key, const QString& value) {
        f.denMeisai->setCurrentRow(row);
        f.denMeisai->setCurrentKey(key);
        f.denMeisai->setCell(key, row, value);
    }
    // Purchase 1,000 + 10 % tax on top against payables 1,100.
    static void purchaseOnCredit(frmKE410& f, int row = 0) {
        put(f, row, "KRKMKCD", "500");
        put(f, row, "KRKIN", "1000");
        put(f, row, "KSKMKCD", "200");
        put(f, row, "KSKIN", "1100");
    }
    QString q(const QString& sql) { return folder.Scalar(sql); }
    // A cell as the user reads it: codes and amounts by their number (an
    // empty code and 0 are the same), names and texts as they stand.
    static QString shown(frmKE410& f, const QString& key, int row) {
        const QString v = f.denMeisai->Cell(key, row);
        if (key.endsWith("NM") || key.endsWith("TEKI")) return v;
        return Currency::FromText(v).ToString();
    }
    // Every balance row as text, to compare states.
    QString balances() {
        QStringList out;
        for (const char* t : {"KMZMF", "H1ZMF", "H2ZMF"}) {
            DBAccess db;
            EXPECT_TRUE(folder.Connect(db));
            RecordsetPtr rs = db.OpenRecordset(QString("SELECT * FROM ") + t + " ORDER BY 1, 2, 3, 4, 5");
            while (!rs->Eof()) {
                QStringList row;
                for (int i = 0; i < rs->FieldCount(); ++i) row << rs->Fields(i).Value().Text();
                out << t + QString(":") + row.join(",");
                rs->MoveNext();
            }
        }
        return out.join("\n");
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(VoucherSave, RegisterStoresLinesTaxLineHeaderAndBalancesThenClearsForTheNext) {
    auto f = Open("I");
    f->txtDTekiyo->Value("");
    purchaseOnCredit(*f);
    put(*f, 0, "KRTEKI", "事務用品 O'Brien 100%");
    EXPECT_EQ(Val(f->denMeisai->Cell("KRTAX", 0)), 100);
    f->show();
    QApplication::setActiveWindow(f.get());
    f->denMeisai->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNH_DENNO || '/' || DNH_YM || '/' || DNH_NENDO || '/' || DNH_DATE || '/' || DNH_TANCD || '/' || "
                "DNH_DTEKIYO || '/' || DNH_DELKBN FROM DNHDT"),
              "1/202612/2026/20261208/1/事務用品 O'Brien 100%/0");
    EXPECT_EQ(q("SELECT DNM_KMKCD || ',' || DNM_KIN || ',' || DNM_TAX || ',' || DNM_AKMKCD || ',' || DNM_ZKBN "
                "FROM DNMDT WHERE DNM_GYO = 1 AND DNM_TSKBN = 1"),
              "500,1000,100,200,1");
    EXPECT_EQ(q("SELECT DNM_KMKCD || ',' || DNM_KIN || ',' || DNM_AKMKCD || ',' || DNM_TEKIYO FROM DNMDT "
                "WHERE DNM_GYO = 1 AND DNM_TSKBN = 2"),
              "200,1100,500,事務用品 O'Brien 100%");
    EXPECT_EQ(q("SELECT DNM_TSKBN || ',' || DNM_KMKCD || ',' || DNM_KIN || ',' || DNM_TAX || ',' || "
                "COALESCE(DNM_TEKIYO, 'null') FROM DNMDT WHERE DNM_GYO = 98"),
              "1,150,100,0,null");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 500"), "1000");
    EXPECT_EQ(q("SELECT KMZ_KASI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 200"), "1100");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 150"), "100");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "1");
    // Still in add mode, empty, with the next number and the date kept.
    EXPECT_EQ(f->lblMode->Caption(), "追加");
    EXPECT_EQ(f->txtDenno->Value(), "2");
    EXPECT_EQ(f->txtDate->NumValue(), 20261208);
    EXPECT_EQ(f->denMeisai->Cell("KRKMKCD", 0), "");
    EXPECT_FALSE(f->blnChanged);
    EXPECT_FALSE(gobjDB->InTransaction());
}

// Over a network the trips to the database decide the time of a save: a
// voucher of many rows of the same accounts takes as many as one of two rows
// (the lines go in one statement, an account's side is asked once). The
// first save makes the month's counter and balance rows.
TEST_F(VoucherSave, AVoucherOfManyRowsTakesNoMoreRoundTripsThanOneOfTwo) {
    long trips[3];
    for (int k = 0; k < 3; ++k) {
        auto f = Open("I");
        const int rows = k < 2 ? 2 : 20;
        for (int r = 0; r < rows; ++r) purchaseOnCredit(*f, r);
        const long before = gobjDB->RoundTrips();
        f->cmdUpd_Click();
        trips[k] = gobjDB->RoundTrips() - before;
        EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    }
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT WHERE DNM_DENNO = 3"), "41");
    EXPECT_EQ(trips[2], trips[1]);
}

TEST_F(VoucherSave, CounterAccountsFollowPairFormOrTheSingleCounterpart) {
    auto f = Open("I");
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "1000");
    put(*f, 0, "KSKMKCD", "400");
    put(*f, 0, "KSZKBN", "");
    put(*f, 0, "KSKIN", "600");
    put(*f, 1, "KSKMKCD", "130");
    put(*f, 1, "KSKIN", "400");
    f->cmdUpd_Click();
    ASSERT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNM_AKMKCD FROM DNMDT WHERE DNM_TSKBN = 1 AND DNM_GYO = 1"), "0");
    EXPECT_EQ(q("SELECT GROUP_CONCAT(DNM_AKMKCD) FROM DNMDT WHERE DNM_TSKBN = 2"), "100,100");
    // Debit only in row 0, credit only in row 1: pair form, no counter codes.
    auto g = Open("I");
    put(*g, 0, "KRKMKCD", "100");
    put(*g, 0, "KRKIN", "500");
    put(*g, 1, "KSKMKCD", "130");
    put(*g, 1, "KSKIN", "500");
    g->cmdUpd_Click();
    EXPECT_EQ(q("SELECT GROUP_CONCAT(DNM_AKMKCD) FROM DNMDT WHERE DNM_DENNO = 2"), "0,0");
}

TEST_F(VoucherSave, LineDescriptionCopiesTheOtherHalfOrStoresNullWithTheSwitch) {
    auto f = Open("I");
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "300");
    put(*f, 0, "KSKMKCD", "130");
    put(*f, 0, "KSKIN", "300");
    put(*f, 0, "KSTEKI", "入金");
    f->cmdUpd_Click();
    EXPECT_EQ(q("SELECT DNM_TEKIYO FROM DNMDT WHERE DNM_DENNO = 1 AND DNM_TSKBN = 1"), "入金");
    EXPECT_EQ(q("SELECT DNH_DTEKIYO FROM DNHDT WHERE DNH_DENNO = 1"), "入金");
    folder.Sql("UPDATE SYSTEM SET SYS_VALUE = '1' WHERE SYS_KEY = 'GTekiCopy'");
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "300");
    put(*f, 0, "KSKMKCD", "130");
    put(*f, 0, "KSKIN", "300");
    put(*f, 0, "KSTEKI", "入金2");
    f->txtDTekiyo->Value("見出し");
    f->cmdUpd_Click();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT WHERE DNM_DENNO = 2 AND DNM_TSKBN = 1 AND DNM_TEKIYO IS NULL"), "1");
    EXPECT_EQ(q("SELECT DNH_DTEKIYO FROM DNHDT WHERE DNH_DENNO = 2"), "見出し");
}

TEST_F(VoucherSave, SavedVoucherReloadsTheSameAndAnUnchangedResaveKeepsBalances) {
    auto f = Open("I");
    purchaseOnCredit(*f, 0);
    put(*f, 1, "KRKMKCD", "110");
    put(*f, 1, "KRHK1CD", "2");
    put(*f, 1, "KRKIN", "250");
    put(*f, 1, "KRTRICD", "10");
    put(*f, 1, "KRTEKI", "長い摘要" + QString(200, QChar(0x3042)));
    put(*f, 1, "KSKMKCD", "100");
    put(*f, 1, "KSKIN", "250");
    put(*f, 1, "KSTEKI", "小口 'x' 50%_");
    f->chkKbn->setChecked(true);
    const QStringList keys = {"KMKCD", "KMKNM", "HK1CD", "HK1NM", "ZKBN", "ZKBNNM", "KIN", "TAX", "TRICD", "TRINM", "TEKI"};
    QStringList before;
    for (int r = 0; r < 2; ++r)
        for (const char* x : {"KR", "KS"})
            for (const QString& k : keys) before << shown(*f, x + k, r);
    f->cmdUpd_Click();
    ASSERT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    const QString saved = balances();
    const QString lines = q("SELECT GROUP_CONCAT(DNM_GYO || '' || DNM_TSKBN || DNM_KMKCD || DNM_KIN || DNM_TEKIYO, ';') FROM DNMDT");

    auto g = Open("U", 202612, 1);
    QStringList after;
    for (int r = 0; r < 2; ++r)
        for (const char* x : {"KR", "KS"})
            for (const QString& k : keys) after << shown(*g, x + k, r);
    EXPECT_EQ(after.join(";").toStdString(), before.join(";").toStdString());
    EXPECT_TRUE(g->chkKbn->isChecked());
    g->blnChanged = true;
    g->cmdUpd_Click();  // unchanged: removed and stored again
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(balances(), saved);
    EXPECT_EQ(q("SELECT GROUP_CONCAT(DNM_GYO || '' || DNM_TSKBN || DNM_KMKCD || DNM_KIN || DNM_TEKIYO, ';') FROM DNMDT"), lines);
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "1");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "1");
}

TEST_F(VoucherSave, ChangeToAnotherMonthRenumbersAndMovesTheBalances) {
    auto f = Open("I");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    auto g = Open("U", 202612, 1);
    g->txtDate->NumValue(20261105);
    g->ApplyVoucherDate();
    g->cmdUpd_Click();
    EXPECT_EQ(msgs.Texts(), QStringList{"伝票日付が変更になり、再採番の必要がありますので、伝票番号を採番し直します。"});
    EXPECT_EQ(q("SELECT DNH_YM || '/' || DNH_DENNO FROM DNHDT"), "202611/1");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 500"), "0");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202611 AND KMZ_KMKCD = 500"), "1000");
    // The December opening balance of payables carries November's credit.
    EXPECT_EQ(q("SELECT KMZ_ZZAN FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 200"), "1100");
}

// A copy of a voucher of a closed fiscal year is dated today: it is checked,
// named and stored in today's fiscal year, with that year's tax account and
// normal sides, without the date being touched.
TEST_F(VoucherSave, CopyOfAClosedYearVoucherSavesInTheFiscalYearOfItsDate) {
    QString sime;
    for (int m : {202504, 202505, 202506, 202507, 202508, 202509, 202510, 202511, 202512, 202601, 202602, 202603})
        sime += ", " + QString::number(m * 100 + QDate(m / 100, m % 100, 1).daysInMonth());
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, "
               "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, "
               "KSK_SIME10, KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2025, 1, 202504, 20250401, 20260331" +
               sime + ", 20260331)");
    // In 2025 purchases were named otherwise and counted on the credit side,
    // and input tax went to another account.
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_SORT) "
               "SELECT 2025, KMK_CD, KMK_NM, KMK_RNAME || '(旧)', KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_SORT "
               "FROM KMKMF WHERE KMK_NENDO = 2026");
    folder.Sql("UPDATE KMKMF SET KMK_TSKBN = 2 WHERE KMK_NENDO = 2025 AND KMK_CD = 500");
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_SORT) "
               "VALUES (2025, 155, '仮払消費税旧', '仮払消費税旧', 1, 0, 0, 4)");
    folder.Sql("INSERT INTO KKMMF (KKM_NENDO, KKM_KBN, KKM_KMKCD) VALUES (2025, 21, 155), (2025, 20, 250)");
    InsertVoucher(folder, 202602, 4, 20260210,
                  {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {1, 2, kPayable, "1100"}}, "二月の仕入");
    folder.Sql("UPDATE DNHDT SET DNH_NENDO = 2025");

    gstrEditMode = "C";
    gstrStartMode = "";
    glngDenNendo = 2025;
    glngDenYm = 202602;
    glngDenNo = 4;
    auto f = std::make_unique<frmKE410>();
    EXPECT_EQ(f->txtDate->NumValue(), 20261208);
    EXPECT_EQ(f->lblNendo->Caption(), "2026年度");
    EXPECT_EQ(f->denMeisai->Cell("KRKMKNM", 0), "仕入高");
    // The date field is never entered nor left: F10 straight from the grid.
    f->denMeisai->setFocus();
    f->show();
    QApplication::setActiveWindow(f.get());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNH_YM || '/' || DNH_DENNO || '/' || DNH_NENDO || '/' || DNH_DATE FROM DNHDT "
                "WHERE DNH_DTEKIYO = '二月の仕入' AND DNH_YM = 202612"),
              "202612/1/2026/20261208");
    EXPECT_EQ(q("SELECT DNM_TSKBN || ',' || DNM_KMKCD || ',' || DNM_KIN FROM DNMDT WHERE DNM_YM = 202612 AND DNM_GYO > 90"),
              "1,150,100");
    EXPECT_EQ(q("SELECT KMZ_NENDO || ',' || KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 150"),
              "2026,100");
}

// ---------------------------------------------------------------- numbers already used

// The branch switches to numbering per fiscal year in December: there is no
// year counter yet, and November and December already hold numbers of
// their own. The save moves past every number of the year and says so.
TEST_F(VoucherSave, PerYearNumberingSwitchedOnMidYearMovesPastTheYearsNumbers) {
    for (int n = 1; n <= 7; ++n) InsertVoucher(folder, 202611, n, 20261110, {{1, 1, kCash, "1"}, {1, 2, kSales, "1"}});
    for (int n = 1; n <= 5; ++n) InsertVoucher(folder, 202612, n, 20261201, {{1, 1, kCash, "1"}, {1, 2, kSales, "1"}});
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202611, 7), "
               "(0, 1, 1, 202612, 5)");
    folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 1");
    auto f = Open("I");
    EXPECT_EQ(f->txtDenno->Value(), "1");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    EXPECT_EQ(msgs.Texts(), QStringList{"伝票番号が既に使用されているため、伝票番号を8に採番し直しました。"});
    EXPECT_EQ(msgs.Last().icon(), vbInformation);
    EXPECT_EQ(q("SELECT MAX(DNH_DENNO) || '/' || COUNT(*) FROM DNHDT WHERE DNH_YM = 202612"), "8/6");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF WHERE DEN_YM = 2026"), "8");
    // The counter has caught up: the next voucher saves as proposed, unasked.
    msgs.Clear();
    EXPECT_EQ(f->txtDenno->Value(), "9");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT MAX(DNH_DENNO) FROM DNHDT WHERE DNH_YM = 202612"), "9");
}

// An administrator set the month's counter back by hand; numbers 2 to 4 are
// used, 4 by a deleted voucher, whose row still holds its number.
TEST_F(VoucherSave, ACounterSetBehindByHandIsMovedPastTheNumbersInUse) {
    for (int n = 2; n <= 4; ++n)
        InsertVoucher(folder, 202612, n, 20261201, {{1, 1, kCash, "1"}, {1, 2, kSales, "1"}}, "", 0, n == 4 ? 9 : 0);
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202612, 1)");
    auto f = Open("I");
    EXPECT_EQ(f->txtDenno->Value(), "2");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    EXPECT_EQ(msgs.Texts(), QStringList{"伝票番号が既に使用されているため、伝票番号を5に採番し直しました。"});
    EXPECT_EQ(q("SELECT MAX(DNH_DENNO) || '/' || COUNT(*) FROM DNHDT"), "5/4");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "5");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 500"), "1000");
}

TEST_F(VoucherSave, F10WhileTypingTheDateSavesUnderTheTypedDate) {
    auto f = Open("I");
    f->show();
    QApplication::setActiveWindow(f.get());
    purchaseOnCredit(*f);
    f->txtDate->SetFocus();
    f->txtDate->Editor()->setText("2026/11/20");
    QTest::keyClick(f->txtDate->Editor(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNH_YM || '/' || DNH_DATE FROM DNHDT"), "202611/20261120");
}

TEST_F(VoucherSave, FailureAnywhereRollsBackEverything) {
    folder.Sql("DELETE FROM KKMMF WHERE KKM_KBN = 21");
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202612, 7)");
    auto f = Open("I");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    EXPECT_EQ(msgs.Texts(), QStringList{"仮払消費税科目が規定科目マスタに設定されていません"});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT"), "0");
    EXPECT_EQ(q("SELECT COUNT(*) FROM KMZMF"), "0");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "7");
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_EQ(f->denMeisai->Cell("KRKMKCD", 0), "500");  // the voucher stays on screen
    // A failing stored procedure: the posting's own message, then nothing stays.
    folder.Sql("INSERT INTO KKMMF (KKM_NENDO, KKM_KBN, KKM_KMKCD) VALUES (2026, 21, 150)");
    gobjDB->RegisterProcedure("sp_H1ZMF_UPDATE", [](DBAccess& db, const QStringList&) {
        db.SetError(adErrCommand, "forced failure");
        return false;
    });
    msgs.Clear();
    f->cmdUpd_Click();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().title, "残高更新");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT") + q("SELECT COUNT(*) FROM DNMDT") + q("SELECT COUNT(*) FROM KMZMF"), "000");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "7");
    Schema::RegisterProcedures(*gobjDB);
    // A constraint: number 8 is free among the headers, but a stray line
    // whose header is gone still holds it.
    folder.Sql("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, DNM_KIN) "
               "VALUES (1, 1, 202612, 8, 1, 1, 100, 1)");
    msgs.Clear();
    f->cmdUpd_Click();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    // Said in words, not in the database's terms.
    EXPECT_FALSE(msgs.Last().prompt.contains("UNIQUE")) << msgs.Last().prompt.toStdString();
    EXPECT_TRUE(msgs.Last().prompt.contains("伝票番号")) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT") + q("SELECT COUNT(*) FROM DNMDT") + q("SELECT COUNT(*) FROM KMZMF") +
                  q("SELECT DEN_NO FROM DENMF"),
              "0107");
}

TEST_F(VoucherSave, DeleteAsksThenReversesBalancesAndHidesTheVoucher) {
    auto f = Open("I");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    {
        auto d = Open("D", 202612, 1);
        msgs.Answer(vbNo);
        d->cmdUpd_Click();
        EXPECT_EQ(msgs.Last().prompt, "削除してもよろしいですか？");
        EXPECT_FALSE(gobjDB->InTransaction());
        EXPECT_EQ(q("SELECT DNH_DELKBN FROM DNHDT"), "0");
    }
    auto d = Open("D", 202612, 1);
    d->cmdUpd_Click();
    EXPECT_EQ(q("SELECT DNH_DELKBN FROM DNHDT"), "9");
    EXPECT_EQ(q("SELECT COUNT(*) FROM V_DENDT"), "0");
    EXPECT_EQ(q("SELECT SUM(KMZ_KARI) + SUM(KMZ_KASI) FROM KMZMF"), "0");
    msgs.Clear();
    auto again = Open("U", 202612, 1);
    EXPECT_EQ(msgs.Texts(), QStringList{"このデータは他のユーザーによって削除されました。"});
}

TEST_F(VoucherSave, ValidationStopsAtTheFirstFailureInOrder) {
    auto f = Open("I");
    auto expectOnly = [&](const QString& text) {
        msgs.Clear();
        f->cmdUpd_Click();
        ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
        EXPECT_EQ(msgs.Last().prompt, text);
        EXPECT_EQ(msgs.Last().icon(), vbExclamation);
        EXPECT_EQ(msgs.Last().title, "振替伝票入力");
    };
    f->txtDate->Value("");
    expectOnly("伝票日付を正しく入力してください。");
    f->txtDate->NumValue(20261208);
    f->ApplyVoucherDate();
    expectOnly("明細が正しく入力されていません。");
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "100");
    expectOnly("貸借金額が一致しません。");
    put(*f, 0, "KSKMKCD", "130");
    put(*f, 0, "KSKIN", "100");
    put(*f, 2, "KSKMKCD", "400");  // an account without an amount
    expectOnly("金額が正しく入力されていません。");
    EXPECT_EQ(f->denMeisai->CurrentKey(), "KSKIN");
    EXPECT_EQ(f->denMeisai->CurrentRow(), 2);
    put(*f, 2, "KSKMKCD", "");
    put(*f, 1, "KRTAX", "10");
    put(*f, 1, "KSKIN", "10");  // amounts without an account
    expectOnly("科目が正しく入力されていません。");
    EXPECT_EQ(f->denMeisai->CurrentKey(), "KRKMKCD");
    EXPECT_EQ(f->denMeisai->CurrentRow(), 1);
    put(*f, 1, "KRKMKCD", "110");
    put(*f, 1, "KRTAX", "10");
    expectOnly("補助科目１の入力は必須です。");
    put(*f, 1, "KRHK1CD", "9");
    expectOnly("補助科目１が登録されていません。");
    put(*f, 1, "KRHK1CD", "1");
    put(*f, 1, "KSKMKCD", "100");
    put(*f, 1, "KSKIN", "10");
    put(*f, 1, "KSHK2CD", "3");
    expectOnly("補助科目２は入力出来ません。");
    put(*f, 1, "KSHK2CD", "");
    put(*f, 3, "KRKMKCD", "999");
    put(*f, 3, "KRKIN", "5");
    put(*f, 3, "KSKMKCD", "100");
    put(*f, 3, "KSKIN", "5");
    expectOnly("科目が登録されていないか、この組織、グループでは利用できない科目です。");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
    folder.Sql("UPDATE KSKMF SET KSK_GUP = 20261210");
    put(*f, 3, "KRKMKCD", "");
    put(*f, 3, "KSKMKCD", "");
    expectOnly("月次更新完了以前の伝票日付は入力出来ません。");
}

TEST_F(VoucherSave, ReferenceModeF10WritesNothing) {
    InsertVoucher(folder, 202611, 5, 20261115, {{1, 1, kCash, "1000"}, {1, 2, kSales, "1000"}});
    auto f = Open("S", 202611, 5);
    EXPECT_FALSE(f->cmdUpd->isEnabled());
    f->cmdUpd_Click();
    EXPECT_TRUE(msgs.Empty());
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_EQ(q("SELECT COUNT(*) FROM KMZMF"), "0");
}

TEST_F(VoucherSave, CloseAnsweredYesKeepsTheWindowOpenWhenTheSaveFails) {
    auto f = Open("I");
    f->show();
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "100");  // totals do not balance: the save fails
    msgs.Answer(vbYes);
    f->close();
    EXPECT_EQ(msgs.Texts(), (QStringList{"変更を保存しますか", "貸借金額が一致しません。"}));
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->denMeisai->Cell("KRKMKCD", 0), "100");
    // Answered Yes with a voucher that saves: stored, then closed.
    put(*f, 0, "KSKMKCD", "130");
    put(*f, 0, "KSKIN", "100");
    msgs.Clear();
    msgs.Answer(vbYes);
    f->close();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "1");
}

TEST_F(VoucherSave, PreviousAndNextWalkThroughNumbersAcrossMonths) {
    InsertVoucher(folder, 202611, 1, 20261101, {{1, 1, kCash, "1"}, {1, 2, kSales, "1"}});
    InsertVoucher(folder, 202611, 2, 20261102, {{1, 1, kCash, "2"}, {1, 2, kSales, "2"}});
    InsertVoucher(folder, 202612, 1, 20261201, {{1, 1, kCash, "3"}, {1, 2, kSales, "3"}});
    auto f = Open("D", 202612, 1);
    f->cmdPrev_Click();
    EXPECT_EQ(f->txtDenno->Value(), "2");
    EXPECT_EQ(f->txtDate->NumValue(), 20261102);
    EXPECT_EQ(gstrEditMode, "D");
    EXPECT_EQ(f->denMeisai->EditLock(), 3);
    f->cmdNext_Click();
    f->cmdNext_Click();  // the last voucher: nothing happens
    EXPECT_EQ(f->txtDenno->Value(), "1");
    EXPECT_EQ(f->txtDate->NumValue(), 20261201);
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(VoucherSave, PrintAfterSaveAsksWhenTheBranchSaysSo) {
    folder.Sql("UPDATE SSKMF SET SSK_SDNKBN = 1");
    auto f = Open("I");
    purchaseOnCredit(*f);
    msgs.Answer(vbNo);
    f->cmdUpd_Click();
    EXPECT_EQ(msgs.Texts(), QStringList{"伝票印刷を行いますか？"});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "1");
    EXPECT_EQ(f->denMeisai->Cell("KRKMKCD", 0), "");
    // Yes: while it prints, the window says that it takes no input.
    CopyReportTemplates();
    QString line;
    SetReportOutputHandler([&](const ReportOutput&) { line = f->Label1->text(); });
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    SetReportOutputHandler(nullptr);
    EXPECT_EQ(line, "伝票を印刷しています。終わるまでお待ちください（この間の入力は受け付けません）");
}

TEST_F(VoucherSave, AmountsBeyondTheCurrencyRangeAreRefusedNotWrapped) {
    auto f = Open("I");
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "999999999999999");
    put(*f, 0, "KSKMKCD", "130");
    msgs.Clear();
    put(*f, 0, "KSKIN", "99999999999999999999");
    EXPECT_FALSE(msgs.Empty());
    msgs.Clear();
    f->cmdUpd_Click();
    EXPECT_FALSE(msgs.Empty());
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
}

TEST_F(VoucherSave, KeyboardOnlyEntryOfATwoLineVoucher) {
    auto f = Open("I");
    f->show();
    QApplication::setActiveWindow(f.get());
    f->denMeisai->setFocus();
    f->denMeisai->setCurrentRow(0);
    f->denMeisai->setCurrentKey("KRKMKCD");
    // Keys go where a user's keys would: the open cell editor, else the grid.
    auto target = [&]() -> QWidget* {
        return f->denMeisai->editor() ? static_cast<QWidget*>(f->denMeisai->editor())
                                      : static_cast<QWidget*>(f->denMeisai->view());
    };
    auto typeAndTab = [&](const QString& text, int tabs = 1) {
        for (QChar c : text) QTest::keyClick(target(), c.toLatin1());
        for (int i = 0; i < tabs; ++i) QTest::keyClick(target(), Qt::Key_Tab);
    };
    // Debit: cash 5,000; credit: sales 5,000 without tax.
    typeAndTab("100");                 // KRKMKCD -> KRHK1CD
    EXPECT_EQ(f->denMeisai->CurrentKey(), "KRHK1CD");
    typeAndTab("", 3);                 // -> KRZKBN -> KRKIN
    typeAndTab("5000", 4);             // -> KRTAX, KRTRICD, KRTEKI, KSKMKCD
    EXPECT_EQ(f->denMeisai->CurrentKey(), "KSKMKCD");
    typeAndTab("400", 3);              // -> KSHK1CD, KSHK2CD, KSZKBN
    typeAndTab("0");                   // tax code 0 -> KSKIN
    typeAndTab("5000");                // -> KSTAX
    EXPECT_EQ(f->denMeisai->Cell("KRKIN", 0), "5000");
    EXPECT_EQ(f->denMeisai->Cell("KSKIN", 0), "5000");
    QTest::keyClick(target(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT WHERE DNM_DENNO = 1"), "2");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_KMKCD = 100 AND KMZ_YM = 202612"), "5000");
}

// A child program saving vouchers into the same numbering period: five of
// cash 100 against 130, or `args[3]` of `args[1]` against `args[2]`.
int saverChild(const QStringList& args) {
    AppInfo::SetFolder(args[0]);
    SetToday(QDate(2026, 12, 8));
    SetAppPath();
    ReadSystemIni();
    if (!fncConnectDB()) return 2;
    MsgRecorder msgs;
    const bool given = args.size() > 3;
    for (int i = 0; i < (given ? args[3].toInt() : 5); ++i) {
        gstrEditMode = "I";
        gstrStartMode = "";
        glngDenYm = glngDenNendo = glngDenNo = 0;
        frmKE410 f;
        f.denMeisai->setCell("KRKMKCD", 0, given ? args[1] : "100");
        f.denMeisai->setCell("KRKIN", 0, "10");
        f.denMeisai->setCell("KSKMKCD", 0, given ? args[2] : "130");
        f.denMeisai->setCell("KSKIN", 0, "10");
        f.cmdUpd_Click();
        if (!msgs.Texts().filter(QRegularExpression("^(?!伝票番号が既に使用されているため)")).isEmpty()) return 3;
    }
    EndSystem();
    return 0;
}
const bool reg = RegisterChild("saver", saverChild);

// Another program saves first under the number shown in add or copy mode.
TEST_F(VoucherSave, ANumberShownThatAnotherProgramTookMeanwhileIsSaidToBeRenumbered) {
    for (const QString mode : {"I", "C"}) {
        auto f = mode == "I" ? Open("I") : Open("C", 202612, 1);
        purchaseOnCredit(*f);
        const QString stored = QString::number(f->txtDenno->NumValue() + 5);
        ASSERT_EQ(RunChild("saver", {folder.Path()}), 0);
        msgs.Clear();
        f->cmdUpd_Click();
        EXPECT_EQ(msgs.Texts(), QStringList{"伝票番号が既に使用されているため、伝票番号を" + stored + "に採番し直しました。"});
        EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DENNO = " + stored), "1");
    }
}

TEST_F(VoucherSave, TwoProgramsSavingAtOnceGetDistinctNumbersAndBothPost) {
    EndSystem();
    auto a = StartChild("saver", {folder.Path()});
    auto b = StartChild("saver", {folder.Path()});
    ASSERT_TRUE(a->waitForFinished(60000));
    ASSERT_TRUE(b->waitForFinished(60000));
    EXPECT_EQ(a->exitCode(), 0) << a->readAll().toStdString();
    EXPECT_EQ(b->exitCode(), 0) << b->readAll().toStdString();
    EXPECT_EQ(q("SELECT COUNT(DISTINCT DNH_DENNO) || '/' || COUNT(*) || '/' || MAX(DNH_DENNO) FROM DNHDT"), "10/10/10");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_KMKCD = 100 AND KMZ_YM = 202612"), "100");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "10");
}

// Eight programs saving at once (as eight clerks on one server): every
// voucher gets a number of its own and every amount is posted once.
TEST_F(VoucherSave, EightProgramsSavingAtOnceGetDistinctNumbersAndExactBalances) {
    EndSystem();
    std::vector<std::unique_ptr<QProcess>> savers;
    for (int i = 0; i < 8; ++i) savers.push_back(StartChild("saver", {folder.Path()}));
    for (auto& p : savers) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
    }
    EXPECT_EQ(q("SELECT COUNT(DISTINCT DNH_DENNO) || '/' || COUNT(*) || '/' || MAX(DNH_DENNO) FROM DNHDT"), "40/40/40");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_KMKCD = 100 AND KMZ_YM = 202612"), "400");
    EXPECT_EQ(q("SELECT DEN_NO FROM DENMF"), "40");
}

// Two clerks posting the same two accounts in opposite order, many times at
// once: no save fails (no deadlock reaches either) and every balance is exact.
TEST_F(VoucherSave, TwoClerksPostingTheSameAccountsInOppositeOrderBothSaveEveryVoucher) {
    EndSystem();
    auto a = StartChild("saver", {folder.Path(), "100", "130", "30"});
    auto b = StartChild("saver", {folder.Path(), "130", "100", "30"});
    for (auto* p : {a.get(), b.get()}) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
    }
    EXPECT_EQ(q("SELECT COUNT(DISTINCT DNH_DENNO) || '/' || COUNT(*) FROM DNHDT"), "60/60");
    EXPECT_EQ(q("SELECT GROUP_CONCAT(KMZ_KMKCD || ':' || KMZ_KARI || ':' || KMZ_KASI, ' ') FROM "
                "(SELECT * FROM KMZMF WHERE KMZ_YM = 202612 ORDER BY KMZ_KMKCD) AS k"),
              "100:300:300 130:300:300");
    EXPECT_EQ(q("SELECT GROUP_CONCAT(H1Z_KMKCD || ':' || H1Z_KARI || ':' || H1Z_KASI, ' ') FROM "
                "(SELECT * FROM H1ZMF WHERE H1Z_YM = 202612 ORDER BY H1Z_KMKCD) AS h"),
              "100:300:300 130:300:300");
}

// ---------------------------------------------------------------- database errors in words

// The server ends the program's connection (restarted, or ended by the
// administrator): the save says that the connection failed and to start
// again; nothing is written and the voucher stays in the window.
TEST_F(VoucherSave, AConnectionTheServerEndedGivesTheConnectionMessageAndKeepsTheVoucher) {
    if (!TestsOnServer()) GTEST_SKIP() << "a server's connection";
    auto f = Open("I");
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRKIN", "1000");
    put(*f, 0, "KSKMKCD", "130");
    put(*f, 0, "KSKIN", "1000");
    f->show();
    QApplication::setActiveWindow(f.get());
    f->denMeisai->setFocus();
    const QString pid = gobjDB->OpenRecordset("SELECT pg_backend_pid()")->Fields(0).Value().Text();
    folder.Sql("SELECT pg_terminate_backend(" + pid + ")");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    // Said once, and the calendar is not to blame.
    EXPECT_EQ(msgs.Texts(), QStringList{"データベースの接続でエラーが発生しました。\n\n１度システムを終了し再度実行して下さい。"});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT") + "/" + q("SELECT COUNT(*) FROM DNMDT"), "0/0");
    EXPECT_EQ(f->lblMode->Caption(), "追加");
    EXPECT_EQ(shown(*f, "KRKIN", 0), "1000");
}

// The disk fills up during a save: one message in Japanese saying what to
// do, nothing written, the voucher still on screen; with room again the
// same voucher saves. The full disk is a size limit set on the connection.
TEST_F(VoucherSave, DiskFullSaysFreeSpaceAndSaveAgainAndWritesNothing) {
    auto f = Open("I");
    for (int r = 0; r < 40; ++r) {
        put(*f, r, "KRKMKCD", "100");
        put(*f, r, "KRKIN", QString::number(1000 + r));
        put(*f, r, "KRTEKI", QString("現金入金 %1 ").arg(r).repeated(6));
        put(*f, r, "KSKMKCD", "130");
        put(*f, r, "KSKIN", QString::number(1000 + r));
    }
    const QString state = balances() + "|" + q("SELECT COUNT(*) FROM DENMF") + "|" + q("SELECT COUNT(*) FROM DNHDT") +
                          "|" + q("SELECT COUNT(*) FROM DNMDT");
    RecordsetPtr pages = gobjDB->OpenRecordset("PRAGMA page_count");
    ASSERT_TRUE(gobjDB->Execute("PRAGMA max_page_count = " + pages->Fields(0).Value().Text()));
    f->show();
    QApplication::setActiveWindow(f.get());
    f->denMeisai->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    const QString text = msgs.Last().prompt;
    EXPECT_TRUE(text.contains("空き容量")) << text.toStdString();
    EXPECT_TRUE(text.contains("もう一度保存")) << text.toStdString();
    EXPECT_FALSE(text.contains("full")) << text.toStdString();
    EXPECT_FALSE(text.contains("ｴﾗｰ番号")) << text.toStdString();
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_EQ(balances() + "|" + q("SELECT COUNT(*) FROM DENMF") + "|" + q("SELECT COUNT(*) FROM DNHDT") + "|" +
                  q("SELECT COUNT(*) FROM DNMDT"),
              state);
    // The voucher is still there to be saved again.
    EXPECT_EQ(f->lblMode->Caption(), "追加");
    EXPECT_EQ(shown(*f, "KRKIN", 39), "1039");
    EXPECT_EQ(shown(*f, "KSKMKCD", 39), "130");
    ASSERT_TRUE(gobjDB->Execute("PRAGMA max_page_count = 1073741823"));
    msgs.Clear();
    f->denMeisai->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "1");
    EXPECT_EQ(q("SELECT COUNT(*) || '/' || SUM(DNM_KIN) FROM DNMDT WHERE DNM_TSKBN = 1"),
              QString("40/%1").arg(40 * 1000 + 39 * 40 / 2));
}

// The same on a real file system that fills up (a small tmpfs; skipped
// where this process may not mount one).
TEST_F(VoucherSave, DiskFullOnAFileSystemThatFillsUp) {
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", mountPoint.path()}) != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{mountPoint.path()};
    EndSystem();
    const QString db = mountPoint.path() + "/books.db";
    ASSERT_TRUE(QFile::copy(folder.DbFile(), db));
    folder.WriteFile("DB.udl", ("Provider=SQLite;Data Source=" + db + "\n").toUtf8());
    ASSERT_TRUE(fncConnectDB()) << gobjDB->ErrorText().toStdString();
    auto f = Open("I");
    for (int r = 0; r < 40; ++r) {
        put(*f, r, "KRKMKCD", "100");
        put(*f, r, "KRKIN", QString::number(1000 + r));
        put(*f, r, "KRTEKI", QString("現金入金 %1 ").arg(r).repeated(6));
        put(*f, r, "KSKMKCD", "130");
        put(*f, r, "KSKIN", QString::number(1000 + r));
    }
    // Fill the file system to the last byte.
    {
        QFile filler(mountPoint.path() + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        const QByteArray byte(1, 'x');
        while (filler.write(byte) == 1 && filler.flush()) {
        }
    }
    f->show();
    QApplication::setActiveWindow(f.get());
    f->denMeisai->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_TRUE(msgs.Last().prompt.contains("空き容量")) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_EQ(gobjDB->OpenRecordset("SELECT COUNT(*) FROM DNHDT")->Fields(0).Value().Text(), "0");
    EXPECT_EQ(gobjDB->OpenRecordset("SELECT COUNT(*) FROM DNMDT")->Fields(0).Value().Text(), "0");
    EXPECT_EQ(gobjDB->OpenRecordset("SELECT COUNT(*) FROM KMZMF")->Fields(0).Value().Text(), "0");
    EXPECT_EQ(shown(*f, "KRKIN", 39), "1039");
    // Space freed: the same voucher saves.
    ASSERT_TRUE(QFile::remove(mountPoint.path() + "/filler"));
    msgs.Clear();
    f->denMeisai->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(gobjDB->OpenRecordset("SELECT COUNT(*) FROM DNMDT WHERE DNM_TSKBN = 1")->Fields(0).Value().Text(), "40");
    f.reset();
    EndSystem();
}

// ---------------------------------------------------------------- a commit that fails

// The statements of a save go through and the database's commit fails (a
// disk that fills as the log is written): no save, the voucher stays as it
// was typed and still counts as changed.
class CommitFailure : public VoucherSave {
protected:
    void TearDown() override { gobjDB->SetCommitFault(nullptr); }
    void failCommits(bool on) {
        gobjDB->SetCommitFault(on ? std::function<int()>([] { return SQLITE_FULL; }) : std::function<int()>());
    }
    static void showActive(frmKE410& f) {
        f.show();
        QApplication::setActiveWindow(&f);
    }
    // Types into a grid cell with real keys and confirms with Return.
    static void typeIntoCell(frmKE410& f, const QString& key, const QString& text, int row = 0) {
        f.denMeisai->setFocus();
        f.denMeisai->setCurrentRow(row);
        f.denMeisai->setCurrentKey(key);
        auto target = [&]() -> QWidget* {
            return f.denMeisai->editor() ? static_cast<QWidget*>(f.denMeisai->editor())
                                         : static_cast<QWidget*>(f.denMeisai->view());
        };
        for (QChar c : text) QTest::keyClick(target(), c.toLatin1());
        QTest::keyClick(target(), Qt::Key_Return);
    }
    static void pressF10(frmKE410& f) {
        QApplication::setActiveWindow(&f);
        f.denMeisai->setFocus();
        QTest::keyClick(f.denMeisai->view(), Qt::Key_F10);
    }
    void expectDiskFullShown() {
        ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
        EXPECT_TRUE(msgs.Last().prompt.contains("空き容量")) << msgs.Last().prompt.toStdString();
        EXPECT_FALSE(gobjDB->InTransaction());
    }
    // One voucher stored through the window: purchase on credit, number 1.
    void storeOne() {
        auto f = Open("I");
        purchaseOnCredit(*f);
        f->cmdUpd_Click();
        ASSERT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    }
};

TEST_F(CommitFailure, ChangeStaysChangedAndClosingAsksThenStoresItOnce) {
    storeOne();
    const QString saved = balances();
    auto f = Open("U", 202612, 1);
    showActive(*f);
    typeIntoCell(*f, "KRTEKI", "paper");
    failCommits(true);
    pressF10(*f);
    expectDiskFullShown();
    failCommits(false);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->blnChanged);
    EXPECT_EQ(f->lblMode->Caption(), "変更");
    EXPECT_EQ(f->txtDenno->Value(), "1");
    EXPECT_EQ(f->txtDTekiyo->Value(), "");
    EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT WHERE DNM_TEKIYO = 'paper'"), "0");
    EXPECT_EQ(balances(), saved);
    // Room again: closing asks, and Yes stores the change once.
    msgs.Clear();
    msgs.Answer(vbYes);
    QTest::mouseClick(f->cmdEnd, Qt::LeftButton);
    EXPECT_EQ(msgs.Texts(), QStringList{"変更を保存しますか"});
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "1");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT WHERE DNM_GYO < 90"), "2");
    EXPECT_EQ(q("SELECT DNM_TEKIYO FROM DNMDT WHERE DNM_GYO = 1 AND DNM_TSKBN = 1"), "paper");
    EXPECT_EQ(balances(), saved);
}

TEST_F(CommitFailure, AddedVoucherKeepsItsProposedNumberAndIsStoredOnceWhenThereIsRoom) {
    auto f = Open("I");
    showActive(*f);
    put(*f, 0, "KRKMKCD", QString::number(kCash));
    put(*f, 0, "KRKIN", "7777");
    put(*f, 0, "KSKMKCD", QString::number(kReceivable));
    put(*f, 0, "KSKIN", "7777");
    typeIntoCell(*f, "KSTEKI", "deposit");
    const QString proposed = f->txtDenno->Value();
    failCommits(true);
    pressF10(*f);
    expectDiskFullShown();
    failCommits(false);
    EXPECT_TRUE(f->blnChanged);
    EXPECT_EQ(f->lblMode->Caption(), "追加");
    EXPECT_EQ(f->txtDenno->Value(), proposed);
    EXPECT_EQ(f->txtDTekiyo->Value(), "");  // not taken from the line by a save that did not happen
    EXPECT_EQ(shown(*f, "KRKIN", 0), "7777");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT") + q("SELECT COUNT(*) FROM DENMF") + q("SELECT COUNT(*) FROM KMZMF"),
              "000");
    msgs.Clear();
    pressF10(*f);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) || '/' || DNH_DENNO || '/' || DNH_DTEKIYO FROM DNHDT"), "1/" + proposed + "/deposit");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 100"), "7777");
}

TEST_F(CommitFailure, CloseQuestionKeepsTheWindowAndTheNextCloseAsksAgain) {
    auto f = Open("I");
    showActive(*f);
    purchaseOnCredit(*f);
    failCommits(true);
    msgs.Answer(vbYes);
    f->close();  // the title bar's ×
    ASSERT_EQ(msgs.Calls().size(), 2u) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(msgs.Calls()[0].prompt, "変更を保存しますか");
    EXPECT_TRUE(msgs.Last().prompt.contains("空き容量")) << msgs.Last().prompt.toStdString();
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->blnChanged);
    failCommits(false);
    msgs.Clear();
    msgs.Answer(vbYes);
    f->close();
    EXPECT_EQ(msgs.Texts(), QStringList{"変更を保存しますか"});
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "1");
    EXPECT_EQ(q("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202612 AND KMZ_KMKCD = 500"), "1000");
}

// Print after saving and the save questions go through the same save.
TEST_F(CommitFailure, EveryOtherSaveKeepsTheChangeWhenTheCommitFails) {
    storeOne();
    const QString saved = balances();
    auto f = Open("U", 202612, 1);
    showActive(*f);
    for (QPushButton* command : {f->cmdPrn, f->cmdPrev, f->cmdNext, f->cmdAdd, f->cmdJump, f->cmdPRead}) {
        SCOPED_TRACE(command->text().toStdString());
        typeIntoCell(*f, "KRTEKI", "paper");
        msgs.Clear();
        failCommits(true);
        QTest::mouseClick(command, Qt::LeftButton);  // the question answered Yes
        failCommits(false);
        ASSERT_TRUE(msgs.Calls().size() == 2u && msgs.Last().prompt.contains("空き容量")) << msgs.Texts().join("|").toStdString();
        EXPECT_TRUE(f->isVisible() && f->blnChanged);
        EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0) + "/" + f->lblMode->Caption(), "paper/変更");
        EXPECT_EQ(balances(), saved);
    }
}

// ---------------------------------------------------------------- a database that refuses the save

// Another program holding the database's write lock (as a long save of its
// own does) until the file "release" appears in the folder `args[0]`.
int holdWriteLock(const QStringList& args) {
    sqlite3* h = nullptr;
    if (sqlite3_open(args[1].toUtf8().constData(), &h) != SQLITE_OK) return 2;
    if (sqlite3_exec(h, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) return 3;
    QFile(args[0] + "/holding").open(QIODevice::WriteOnly);
    for (int i = 0; i < 1200 && !QFile::exists(args[0] + "/release"); ++i) QThread::msleep(50);
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(h);
    return 0;
}
const bool regHoldWriteLock = RegisterChild("holdwritelock", holdWriteLock);

class DatabaseRefusal : public CommitFailure {
protected:
    // A value read through the program's own connection.
    QString own(const QString& sql) {
        RecordsetPtr rs = gobjDB->OpenRecordset(sql);
        return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
    }
    // What the database holds of vouchers, counters and balances.
    QString stored() {
        QStringList parts;
        for (const char* sql :
             {"SELECT COUNT(*) || '/' || GROUP_CONCAT(DNH_DELKBN) || '/' || GROUP_CONCAT(DNH_DTEKIYO) FROM DNHDT",
              "SELECT COUNT(*) || '/' || GROUP_CONCAT(DNM_TEKIYO) FROM DNMDT",
              "SELECT GROUP_CONCAT(DEN_YM || ':' || DEN_NO) FROM DENMF",
              "SELECT GROUP_CONCAT(KMZ_YM || ':' || KMZ_KMKCD || ':' || KMZ_KARI || ':' || KMZ_KASI) FROM KMZMF",
              "SELECT GROUP_CONCAT(H1Z_YM || ':' || H1Z_KMKCD || ':' || H1Z_HK1CD || ':' || H1Z_KARI || ':' || H1Z_KASI) "
              "FROM H1ZMF"})
            parts << own(sql);
        return parts.join("|");
    }
    // Exactly one message besides the questions, which says what the
    // database did in its own words and blames no master.
    void expectOneMessageSaying(const QString& says) {
        QStringList shown;
        for (const MsgBoxCall& c : msgs.Calls())
            if (c.buttons() != vbYesNo) shown << c.prompt;
        ASSERT_EQ(shown.size(), 1) << shown.join("|").toStdString();
        EXPECT_TRUE(shown[0].contains(says)) << shown[0].toStdString();
        EXPECT_FALSE(shown[0].contains("ｴﾗｰ番号")) << shown[0].toStdString();
        EXPECT_FALSE(shown[0].contains("マスタ")) << shown[0].toStdString();
        EXPECT_EQ(msgs.Last().icon(), vbExclamation);
        EXPECT_FALSE(gobjDB->InTransaction());
    }
};

// F10 while another program holds the write lock longer than this one
// waits: one in-use message, in every mode, and nothing written; the
// voucher stays as typed and saves once the lock is free.
TEST_F(DatabaseRefusal, ADatabaseHeldByAnotherProgramIsSaidToBeInUseOnce) {
    storeOne();
    EndSystem();
    ASSERT_TRUE(fncConnectDB());
    auto other = StartChild("holdwritelock", {folder.Path(), folder.DbFile()});
    for (int i = 0; i < 200 && !QFile::exists(folder.Path() + "/holding"); ++i) QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(folder.Path() + "/holding")) << other->readAll().toStdString();
    struct Release {
        QString file;
        ~Release() { QFile(file).open(QIODevice::WriteOnly); }
    } release{folder.Path() + "/release"};
    gobjDB->SetBusyTimeout(1500);
    const QString before = stored();
    // Meanwhile: the wait cursor, after a second the seconds left, no keys.
    QStringList lines;
    frmKE410* waiting = nullptr;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!waiting || !waiting->Label1->text().contains("秒") || !QApplication::overrideCursor() ||
            QApplication::overrideCursor()->shape() != Qt::WaitCursor)
            return;
        lines << waiting->Label1->text().left(36);
        QTest::keyClick(std::exchange(waiting, nullptr)->denMeisai->view(), Qt::Key_Z);
    });
    look.start(50);
    for (const char* mode : {"U", "D", "I"}) {
        SCOPED_TRACE(mode);
        auto f = QString(mode) == "I" ? Open("I") : Open(mode, 202612, 1);
        waiting = f.get();
        showActive(*f);
        if (QString(mode) == "I") purchaseOnCredit(*f);
        if (QString(mode) != "D") typeIntoCell(*f, "KRTEKI", "paper");
        msgs.Clear();
        pressF10(*f);  // the delete question answered Yes
        expectOneMessageSaying("他のプログラムによって使用中です");
        EXPECT_FALSE(f->denMeisai->CellEditing());
        EXPECT_FALSE(QApplication::overrideCursor());
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->denMeisai->Cell("KRKMKCD", 0), "500");
        if (QString(mode) == "D") continue;
        EXPECT_TRUE(f->blnChanged);
        EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
        if (QString(mode) != "I") continue;
        QFile(release.file).open(QIODevice::WriteOnly);
        ASSERT_TRUE(other->waitForFinished(30000));
        msgs.Clear();
        pressF10(*f);
        EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
        EXPECT_EQ(own("SELECT COUNT(*) FROM DNHDT WHERE DNH_DTEKIYO = 'paper'"), "1");
    }
    EXPECT_EQ(lines, QStringList(3, "他のプログラムがデータベースを更新中です。終わるまでお待ちください（あと"));
}

// A database that refuses to be written, from the save's first statement
// (the connection turned read-only) or at its commit: one message that says
// so and names the file.
TEST_F(DatabaseRefusal, ADatabaseThatCannotBeWrittenIsSaidSoOnceNamingTheFile) {
    const QString before = stored();
    const std::function<void(bool)> refusals[] = {
        [](bool on) { ASSERT_TRUE(gobjDB->Execute(on ? "PRAGMA query_only = 1" : "PRAGMA query_only = 0")); },
        [](bool on) {
            gobjDB->SetCommitFault(on ? std::function<int()>([] { return SQLITE_READONLY; }) : std::function<int()>());
        },
    };
    for (const auto& refuse : refusals) {
        auto f = Open("I");
        showActive(*f);
        purchaseOnCredit(*f);
        typeIntoCell(*f, "KRTEKI", "paper");
        msgs.Clear();
        refuse(true);
        pressF10(*f);
        refuse(false);
        expectOneMessageSaying("データベースに書き込めません");
        EXPECT_TRUE(msgs.Last().prompt.contains(folder.DbFile())) << msgs.Last().prompt.toStdString();
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(f->blnChanged);
        EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
    }
}

// The book replaced under the open program (a backup restored): making the
// demo book anew is refused while the program has it open; a save after a
// restore says that the program must be started again, writes nothing into
// either file and keeps the voucher as typed.
TEST_F(DatabaseRefusal, ABookReplacedUnderTheProgramIsNotWrittenUnseen) {
    const QString before = folder.Scalar("SELECT COUNT(*) FROM DNHDT");
    const FileIdentity opened = FileIdentity::Of(folder.DbFile());
    QProcess demo;
    demo.start(QCoreApplication::applicationDirPath() + "/../bin/mkdemodb", {folder.DbFile(), "--force"});
    ASSERT_TRUE(demo.waitForFinished(60000));
    EXPECT_NE(demo.exitCode(), 0);
    EXPECT_TRUE(demo.readAllStandardError().contains("open in another program"));
    EXPECT_TRUE(FileIdentity::Of(folder.DbFile()) == opened);
    auto f = Open("I");
    showActive(*f);
    purchaseOnCredit(*f);
    typeIntoCell(*f, "KRTEKI", "paper");
    const QString db = folder.DbFile();
    ASSERT_EQ(QProcess::execute("sh", {"-c", "cp \"$0\" \"$0.restore\" && mv \"$0.restore\" \"$0\"", db}), 0);
    msgs.Clear();
    pressF10(*f);
    expectOneMessageSaying("データベースファイルが置き換えられた");
    EXPECT_TRUE(msgs.Last().prompt.contains(db)) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(own("SELECT COUNT(*) FROM DNHDT"), before);
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM DNHDT"), before);
    EXPECT_TRUE(f->blnChanged);
    EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
}

// The disk fills up just as the counter of a new numbering period is
// written: the full disk is said once, no master is blamed.
TEST_F(DatabaseRefusal, ACounterTheDiskHasNoRoomForBlamesNoMaster) {
    // Counters of past periods until one more needs a new page of the file.
    {
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(folder.DbFile().toUtf8().constData(), &h), SQLITE_OK);
        auto pages = [h] {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(h, "PRAGMA page_count", -1, &st, nullptr);
            sqlite3_step(st);
            const int n = sqlite3_column_int(st, 0);
            sqlite3_finalize(st);
            return n;
        };
        ASSERT_EQ(sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
        const int start = pages();
        for (int ym = 100001; ym < 200000; ++ym) {
            const QByteArray sql = "SAVEPOINT one; INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) "
                                   "VALUES (0, 1, 1, " + QByteArray::number(ym) + ", 5)";
            ASSERT_EQ(sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            const bool grew = pages() > start;
            sqlite3_exec(h, grew ? "ROLLBACK TO one; RELEASE one" : "RELEASE one", nullptr, nullptr, nullptr);
            if (grew) break;
        }
        ASSERT_EQ(pages(), start);
        ASSERT_EQ(sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(h);
    }
    const QString before = stored();
    auto f = Open("I");
    showActive(*f);
    purchaseOnCredit(*f);
    msgs.Clear();
    RecordsetPtr pages = gobjDB->OpenRecordset("PRAGMA page_count");
    ASSERT_TRUE(gobjDB->Execute("PRAGMA max_page_count = " + pages->Fields(0).Value().Text()));
    pressF10(*f);
    ASSERT_TRUE(gobjDB->Execute("PRAGMA max_page_count = 1073741823"));
    expectOneMessageSaying("空き容量");
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(f->blnChanged);
}

// Without a numbering period for the branch the masters are what is wrong,
// and the save says so.
TEST_F(DatabaseRefusal, NoNumberingPeriodStillPointsToTheMasters) {
    folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 2");
    auto f = Open("I");
    showActive(*f);
    purchaseOnCredit(*f);
    msgs.Clear();
    pressF10(*f);
    EXPECT_EQ(msgs.Texts(), QStringList{"伝票番号の取得に失敗しました。決算期間マスタ等の内容を確認してください。"});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
    EXPECT_TRUE(f->blnChanged);
}

// The same refusals from a PostgreSQL server (these run there only).
class ServerRefusal : public DatabaseRefusal {
protected:
    void SetUp() override {
        if (!TestsOnServer()) GTEST_SKIP() << "a server's book";
        DatabaseRefusal::SetUp();
    }
};

// Another clerk's save holds the book longer than this one waits: the wait
// line with the seconds left, then one in-use message; nothing written, the
// voucher as typed, and it saves once the other clerk is done.
TEST_F(ServerRefusal, AWaitForAnotherClerksSaveIsShownThenSaidToBeInUse) {
    DBAccess other;
    ASSERT_TRUE(folder.Connect(other));
    other.BeginTrans();
    ASSERT_TRUE(other.Execute("UPDATE DENMF SET DEN_NO = DEN_NO WHERE DEN_KBN = -1"));
    gobjDB->SetBusyTimeout(1500);
    const QString before = stored();
    auto f = Open("I");
    QString line;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (f->Label1->text().contains("秒") && QApplication::overrideCursor() &&
            QApplication::overrideCursor()->shape() == Qt::WaitCursor)
            line = f->Label1->text().left(36);
    });
    look.start(50);
    showActive(*f);
    purchaseOnCredit(*f);
    typeIntoCell(*f, "KRTEKI", "paper");
    msgs.Clear();
    pressF10(*f);
    look.stop();
    expectOneMessageSaying("他のプログラムによって使用中です");
    EXPECT_EQ(line, "他のプログラムがデータベースを更新中です。終わるまでお待ちください（あと");
    EXPECT_FALSE(QApplication::overrideCursor());
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(f->blnChanged);
    EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
    other.CommitTrans();
    msgs.Clear();
    pressF10(*f);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(own("SELECT COUNT(*) FROM DNHDT WHERE DNH_DTEKIYO = 'paper'"), "1");
}

// The server ends the connection while the save waits for another clerk:
// the lost-connection message once, nothing written, the voucher as typed.
TEST_F(ServerRefusal, AConnectionEndedWhileTheSaveWaitsIsSaidOnce) {
    DBAccess other;
    ASSERT_TRUE(folder.Connect(other));
    other.BeginTrans();
    ASSERT_TRUE(other.Execute("UPDATE DENMF SET DEN_NO = DEN_NO WHERE DEN_KBN = -1"));
    const QString pid = own("SELECT pg_backend_pid()");
    auto f = Open("I");
    QTimer end;
    QObject::connect(&end, &QTimer::timeout, [&] {
        if (!QApplication::overrideCursor()) return;
        end.stop();
        folder.Sql("SELECT pg_terminate_backend(" + pid + ")");
    });
    end.start(20);
    showActive(*f);
    purchaseOnCredit(*f);
    typeIntoCell(*f, "KRTEKI", "paper");
    msgs.Clear();
    pressF10(*f);
    end.stop();
    other.CommitTrans();
    EXPECT_EQ(msgs.Texts(), QStringList{"データベースの接続でエラーが発生しました。\n\n１度システムを終了し再度実行して下さい。"});
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT") + "/" + q("SELECT COUNT(*) FROM DNMDT"), "0/0");
    EXPECT_TRUE(f->blnChanged);
    EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
}

// A role that may read the book but not write it: one message that says
// the database cannot be written and names it; the voucher stays as typed.
TEST_F(ServerRefusal, ARoleThatMayOnlyReadIsToldTheDatabaseCannotBeWritten) {
    const QString role = QString("tavik_reader_%1").arg(QCoreApplication::applicationPid());
    folder.Sql("CREATE ROLE " + role + " LOGIN; GRANT SELECT ON ALL TABLES IN SCHEMA public TO " + role);
    QFile udl(folder.Path() + "/DB.udl");
    ASSERT_TRUE(udl.open(QIODevice::ReadOnly));
    const QString link = QString::fromUtf8(udl.readAll());
    udl.close();
    struct DropRole {
        const AppFolder& folder;
        QString role, link;
        ~DropRole() {
            EndSystem();
            folder.WriteFile("DB.udl", link.toUtf8());
            folder.Sql("DROP OWNED BY " + role + "; DROP ROLE " + role);
        }
    } dropRole{folder, role, link};
    folder.WriteFile("DB.udl", QString(link).replace(QRegularExpression("User ID=[^;\n]*"), "User ID=" + role).toUtf8());
    EndSystem();
    ASSERT_TRUE(fncConnectDB()) << gobjDB->ErrorText().toStdString();
    const QString before = stored();
    auto f = Open("I");
    showActive(*f);
    purchaseOnCredit(*f);
    typeIntoCell(*f, "KRTEKI", "paper");
    msgs.Clear();
    pressF10(*f);
    expectOneMessageSaying("データベースに書き込めません");
    EXPECT_TRUE(msgs.Last().prompt.contains(gobjDB->DatabaseFile())) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(f->blnChanged);
    EXPECT_EQ(f->denMeisai->Cell("KRTEKI", 0), "paper");
}

// A NUL or another control character in a description (pasted from
// elsewhere) does not break the save: it is left out of the stored text.
TEST_F(VoucherSave, ControlCharactersInDescriptionsAreLeftOut) {
    auto f = Open("I");
    purchaseOnCredit(*f);
    put(*f, 0, "KRTEKI", QString("事務") + QChar(0) + "用品" + QChar(1) + QChar(0x7f));
    f->txtDTekiyo->Value(QString("月末") + QChar(0) + "精算" + QChar(0x1b));
    f->show();
    QApplication::setActiveWindow(f.get());
    f->denMeisai->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT DNH_DTEKIYO FROM DNHDT"), "月末精算");
    EXPECT_EQ(q("SELECT DNM_TEKIYO FROM DNMDT WHERE DNM_GYO = 1 AND DNM_TSKBN = 1"), "事務用品");
    EXPECT_EQ(q("SELECT DNM_TEKIYO FROM DNMDT WHERE DNM_GYO = 1 AND DNM_TSKBN = 2"), "事務用品");
}

// A child program opening a voucher of a damaged database in the entry
// window; it reports every message on its output.
int damagedChild(const QStringList& args) {
    AppInfo::SetFolder(args[0]);
    SetToday(QDate(2026, 12, 8));
    SetAppPath();
    ReadSystemIni();
    ReadTabIni();
    SetMsgBoxHandler([](const MsgBoxCall& c) {
        std::printf("MSG:%s\n", c.prompt.toUtf8().constData());
        std::fflush(stdout);
        return static_cast<int>(vbOK);
    });
    if (!fncConnectDB()) return 2;
    gstrEditMode = "U";
    gstrStartMode = "";
    glngDenYm = 202612;
    glngDenNendo = 2026;
    glngDenNo = 1;
    auto* f = new frmKE410();
    f->show();
    QApplication::processEvents();
    std::printf("WINDOW:%d\n", f->isVisible() ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
const bool regDamaged = RegisterChild("damaged", damagedChild);

TEST_F(VoucherSave, ADamagedDatabaseGivesOneMessageAndEndsTheProgram) {
    auto f = Open("I");
    purchaseOnCredit(*f);
    f->cmdUpd_Click();
    ASSERT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    f.reset();
    EndSystem();
    // Damage every page of the voucher lines (table and indexes).
    QList<int> roots;
    int pageSize = 0;
    {
        DBAccess db;
        ASSERT_TRUE(folder.Connect(db));
        ASSERT_TRUE(db.Execute("PRAGMA wal_checkpoint(TRUNCATE)"));
        pageSize = db.OpenRecordset("PRAGMA page_size")->Fields(0).Value().Text().toInt();
        RecordsetPtr rs = db.OpenRecordset("SELECT rootpage FROM sqlite_master WHERE tbl_name IN ('DNMDT', 'DNHDT') "
                                           "AND rootpage > 0");
        for (; !rs->Eof(); rs->MoveNext()) roots << rs->Fields(0).Value().Text().toInt();
    }
    ASSERT_FALSE(roots.isEmpty());
    {
        QFile file(folder.DbFile());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        for (int page : roots) {
            ASSERT_TRUE(file.seek(static_cast<qint64>(page - 1) * pageSize));
            file.write(QByteArray(pageSize, '\xA5'));
        }
    }
    QString output;
    const int code = RunChild("damaged", {folder.Path()}, &output);
    const QStringList messages = output.split('\n').filter(QRegularExpression("^MSG:"));
    ASSERT_EQ(messages.size(), 1) << output.toStdString();
    EXPECT_TRUE(messages[0].contains("壊れて")) << output.toStdString();
    EXPECT_TRUE(messages[0].contains("終了します")) << output.toStdString();
    EXPECT_FALSE(output.contains("WINDOW:")) << output.toStdString();
    EXPECT_NE(code, 0) << output.toStdString();
}

}  // namespace
