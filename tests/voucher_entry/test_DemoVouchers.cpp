// The demo vouchers, entered through the entry window, leave balances that
// agree with the stored lines.
#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/VbCompat.h"
#include "voucher_entry/DemoVouchers.h"

using namespace basStdComm;

namespace {

TEST(DemoVouchers, EnteredVouchersPostBalancesThatAgreeWithTheLines) {
    AppFolder folder;
    const QDate today(2026, 12, 8);
    SetToday(today);
    folder.Demo(today);
    QString error;
    ASSERT_TRUE(DemoVouchers::Enter(today, &error)) << error.toStdString();
    EXPECT_GT(folder.Scalar("SELECT COUNT(*) FROM DNHDT").toInt(), 10);
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM DNHDT WHERE DNH_DATE > 20261208"), "0");
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

}  // namespace
