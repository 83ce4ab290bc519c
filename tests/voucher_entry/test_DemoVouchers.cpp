// The demo vouchers, entered through the entry window, leave balances that
// agree with the stored lines.
#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/VbCompat.h"
#include "common/basTavik.h"
#include "platform/Panel3D.h"
#include "platform/ListGrid.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/DemoVouchers.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>

using namespace basStdComm;
using namespace basWKE410;

namespace {

// The balance self-check: vouchers balance, posted totals are the sums of
// the lines, and each month opens with the previous month's closing.
void ExpectBalancesAgreeWithTheLines(const AppFolder& folder) {
    // Every voucher balances, tax lines included.
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM (SELECT DNM_YM, DNM_DENNO, SUM(CASE DNM_TSKBN WHEN 1 THEN DNM_KIN "
                            "ELSE -DNM_KIN END) AS D FROM DNMDT GROUP BY DNM_YM, DNM_DENNO) AS V WHERE D <> 0"),
              "0");
    // Posted totals are the sums of the lines, per account and month.
    for (const char* side : {"1", "2"}) {
        const QString col = QString(side) == "1" ? "KMZ_KARI" : "KMZ_KASI";
        EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM KMZMF WHERE " + col +
                                " <> COALESCE((SELECT SUM(DNM_KIN) FROM V_DENDT WHERE DNH_YM = KMZ_YM AND DNH_SSKCD = "
                                "KMZ_SSKCD AND DNH_GRPCD = KMZ_GRPCD AND DNM_KMKCD = KMZ_KMKCD AND DNM_TSKBN = " +
                                side + "), 0)"),
                  "0")
            << side;
        const QString h1 = QString(side) == "1" ? "H1Z_KARI" : "H1Z_KASI";
        EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM H1ZMF WHERE " + h1 +
                                " <> COALESCE((SELECT SUM(DNM_KIN) FROM V_DENDT WHERE DNH_YM = H1Z_YM AND DNH_SSKCD = "
                                "H1Z_SSKCD AND DNH_GRPCD = H1Z_GRPCD AND DNM_KMKCD = H1Z_KMKCD AND DNM_HK1CD = "
                                "H1Z_HK1CD AND DNM_TSKBN = " + side + "), 0)"),
                  "0")
            << side;
    }
    // Each month opens with the previous month's closing balance.
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM KMZMF A JOIN KMZMF B ON B.KMZ_SSKCD = A.KMZ_SSKCD AND B.KMZ_GRPCD = "
                            "A.KMZ_GRPCD AND B.KMZ_KMKCD = A.KMZ_KMKCD AND B.KMZ_NENDO = A.KMZ_NENDO AND B.KMZ_YM = "
                            "(SELECT MIN(C.KMZ_YM) FROM KMZMF C WHERE C.KMZ_SSKCD = A.KMZ_SSKCD AND C.KMZ_GRPCD = "
                            "A.KMZ_GRPCD AND C.KMZ_KMKCD = A.KMZ_KMKCD AND C.KMZ_YM > A.KMZ_YM) JOIN KMKMF ON "
                            "KMK_NENDO = A.KMZ_NENDO AND KMK_CD = A.KMZ_KMKCD WHERE B.KMZ_ZZAN <> A.KMZ_ZZAN + CASE "
                            "KMK_TSKBN WHEN 2 THEN A.KMZ_KASI - A.KMZ_KARI ELSE A.KMZ_KARI - A.KMZ_KASI END"),
              "0");
}

TEST(DemoVouchers, EnteredVouchersPostBalancesThatAgreeWithTheLines) {
    AppFolder folder;
    const QDate today(2026, 12, 8);
    SetToday(today);
    folder.Demo(today);
    QString error;
    ASSERT_TRUE(DemoVouchers::Enter(today, &error)) << error.toStdString();
    EXPECT_GT(folder.Scalar("SELECT COUNT(*) FROM DNHDT").toInt(), 10);
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM DNHDT WHERE DNH_DATE > 20261208"), "0");
    ExpectBalancesAgreeWithTheLines(folder);
}

// Whatever the day the demo is made, it holds a realistic set: vouchers of
// the past weeks in the open year and of the last months of the closed
// year before, and the voucher list's default range shows some of them.
TEST(DemoVouchers, TheDemoIsRealisticOnTheFirstAndLastDayAndOnTheTwentyNinthOfFebruary) {
    for (const QDate& today : {QDate(2027, 4, 1), QDate(2027, 3, 31), QDate(2028, 2, 29)}) {
        SCOPED_TRACE(today.toString(Qt::ISODate).toStdString());
        AppFolder folder;
        SetToday(today);
        folder.Demo(today);
        QString error;
        ASSERT_TRUE(DemoVouchers::Enter(today, &error)) << error.toStdString();
        MsgRecorder msgs;  // after the entry, which answers its own messages
        ExpectBalancesAgreeWithTheLines(folder);
        const long open = basTavik::FncGetKskNendo(DateNumber(today), 0, 0);
        ASSERT_GT(open, 0);
        auto count = [&](const QString& where) {
            return folder.Scalar("SELECT COUNT(*) FROM DNHDT WHERE DNH_DELKBN = 0 AND " + where).toInt();
        };
        const QString t = QString::number(DateNumber(today));
        EXPECT_EQ(count("DNH_DATE > " + t), 0);
        // The closed year before: its last two months, a month's vouchers each.
        const int closedYear = count("DNH_NENDO = " + QString::number(open - 1));
        EXPECT_GE(closedYear, 20);
        EXPECT_GE(count("DNH_NENDO = " + QString::number(open - 1) + " AND DNH_M = 3"), 10);
        EXPECT_EQ(folder.Scalar("SELECT KSK_NUP FROM KSKMF WHERE KSK_NENDO = " + QString::number(open - 1)), "1");
        // The past weeks up to today; the first day has the day's vouchers only.
        EXPECT_GE(count("DNH_NENDO = " + QString::number(open)), today.day() == 1 && today.month() == 4 ? 1 : 10);
        // The voucher list opens on the default range and finds vouchers.
        InitSearchDefaults();
        const int inRange = count("DNH_DATE BETWEEN " + QString::number(glngSrchDateSt) + " AND " +
                                  QString::number(glngSrchDateEnd));
        EXPECT_GE(inRange, 10);
        ReadTabIni();
        frmKE41S list;
        list.show();
        QApplication::processEvents();
        EXPECT_EQ(list.spdMeisai->MaxRows(), inRange);
        // A voucher of the closed year opens in reference mode.
        const QString ym = folder.Scalar("SELECT MAX(DNH_YM) FROM DNHDT WHERE DNH_NENDO = " + QString::number(open - 1));
        const QString no = folder.Scalar("SELECT MIN(DNH_DENNO) FROM DNHDT WHERE DNH_YM = " + ym);
        basWKE410::gstrEditMode = "U";
        basWKE410::glngDenYm = ym.toLong();
        basWKE410::glngDenNendo = open - 1;
        basWKE410::glngDenNo = no.toLong();
        msgs.Clear();
        frmKE410 f;
        EXPECT_EQ(f.lblMode->Caption(), "参照");
        EXPECT_FALSE(msgs.Empty());
        EXPECT_TRUE(msgs.Texts().first().contains("年次更新完了済み")) << msgs.Texts().join("|").toStdString();
    }
}

}  // namespace
