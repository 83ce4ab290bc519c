#include "VoucherData.h"

#include "common/basStdComm.h"

void InsertVoucherMasters(const AppFolder& folder) {
    folder.Sql("INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN) VALUES (1, 0)");
    folder.Sql("INSERT INTO SSKMF (SSK_CD, SSK_RNAME, SSK_SBANKBN, SSK_SDNKBN) VALUES (1, '本社', 0, 0)");
    folder.Sql("INSERT INTO GRPMF (GRP_SSKCD, GRP_CD, GRP_RNAME, GRP_KBN) VALUES (1, 1, '総務部', 0), (1, 2, '営業部', 0)");
    QString sime;
    const int months[12] = {202604, 202605, 202606, 202607, 202608, 202609, 202610, 202611, 202612, 202701, 202702, 202703};
    const int ends[12] = {30, 31, 30, 31, 31, 30, 31, 30, 31, 31, 28, 31};
    for (int i = 0; i < 12; ++i) sime += ", " + QString::number(months[i] * 100 + ends[i]);
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, "
               "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, "
               "KSK_SIME10, KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2026, 0, 202604, 20260401, 20270331" +
               sime + ", 0)");
    folder.Sql(
        "INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_SORT) VALUES "
        "(2026, 100, '現金', '現金', 1, 0, 0, 1),"
        "(2026, 110, '普通預金', '普通預金', 1, 0, 1, 2),"
        "(2026, 130, '売掛金', '売掛金', 1, 0, 0, 3),"
        "(2026, 150, '仮払消費税', '仮払消費税', 1, 0, 0, 4),"
        "(2026, 200, '買掛金', '買掛金', 2, 0, 0, 5),"
        "(2026, 250, '仮受消費税', '仮受消費税', 2, 0, 0, 6),"
        "(2026, 400, '売上高', '売上高', 2, 3, 0, 7),"
        "(2026, 500, '仕入高', '仕入高', 1, 1, 0, 8),"
        "(2026, 630, '消耗品費', '消耗品費', 1, 2, 0, 9)");
    folder.Sql("INSERT INTO HK1MF (HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_RNAME, HK1_H2FLG) VALUES "
               "(2026, 110, 1, 'みずほ銀行', 0), (2026, 110, 2, '三井住友銀行', 0)");
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(1, 20191001, 99991231, 1, 0.10, '課税仕入10%'),"
               "(2, 20191001, 99991231, 2, 0.08, '課税仕入8%内税'),"
               "(3, 20191001, 99991231, 3, 0.10, '課税売上10%'),"
               "(5, 20191001, 99991231, 7, 0.10, '対象外')");
    folder.Sql("INSERT INTO KKMMF (KKM_NENDO, KKM_KBN, KKM_KMKCD) VALUES (2026, 21, 150), (2026, 20, 250)");
    folder.Sql("INSERT INTO USGMF (USG_ID, USG_NAME) VALUES (1, '山田 太郎'), (2, '佐藤 花子')");
    folder.Sql("INSERT INTO TRIMF (TRI_SSKCD, TRI_CD, TRI_NAME) VALUES (1, 10, '株式会社みなと')");
    folder.Sql("INSERT INTO SYSTEM (SYS_KEY, SYS_VALUE) VALUES ('GTekiCopy', '0'), ('FuriDenKingaku', '0')");
}

void InsertVoucher(const AppFolder& folder, long ym, long number, long date, const QList<TestLine>& lines,
                   const QString& description, int kbn, int delkbn) {
    folder.Sql(QString("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, "
                       "DNH_DATE, DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) VALUES "
                       "(1, 1, %1, %2, 2026, %3, %4, %5, %5, 2, %6, %7, %8)")
                   .arg(ym)
                   .arg(number)
                   .arg(ym / 100)
                   .arg(ym % 100)
                   .arg(date)
                   .arg(basStdComm::fncSqlQuote(description))
                   .arg(kbn)
                   .arg(delkbn));
    for (const TestLine& l : lines) {
        folder.Sql(QString("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, "
                           "DNM_KMKCD, DNM_HK1CD, DNM_HK2CD, DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TEKIYO) VALUES "
                           "(1, 1, %1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11)")
                       .arg(ym)
                       .arg(number)
                       .arg(l.gyo)
                       .arg(l.side)
                       .arg(l.account)
                       .arg(l.sub1)
                       .arg(l.sub2)
                       .arg(l.taxCode)
                       .arg(l.amount)
                       .arg(l.tax)
                       .arg(basStdComm::fncSqlQuote(l.text)));
    }
}
