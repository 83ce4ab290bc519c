// Amounts read back from the database exactly: binary fractions left by
// another tool, numbers in exponent form, and the balance procedures adding
// such values.
#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/Currency.h"
#include "platform/DBAccess.h"
#include "platform/VbCompat.h"

using namespace basStdComm;

namespace {

QString Text(const QString& sql) {
    RecordsetPtr rs = gobjDB->OpenRecordset(sql);
    return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
}

void Exec(const QString& sql) {
    ASSERT_TRUE(gobjDB->Execute(sql)) << gobjDB->ErrorText().toStdString() << "\n" << sql.toStdString();
}

TEST(MoneyReading, ExponentTextIsReadAsItsWholeValue) {
    EXPECT_EQ(Currency::FromText("1.0e3"), Currency::FromWhole(1000));
    EXPECT_EQ(Currency::FromText("1E+6"), Currency::FromWhole(1000000));
    EXPECT_EQ(Currency::FromText("-2.5e2"), -Currency::FromWhole(250));
    EXPECT_EQ(Currency::FromText("2.5E-3"), Currency::FromText("0.0025"));
    // Beyond four decimals the value rounds, as any long fraction does.
    EXPECT_EQ(Currency::FromText("2.77555756156289e-17"), Currency());
    EXPECT_EQ(Currency::FromText("1.23456789e4"), Currency::FromText("12345.6789"));
    // An "e" without digits ends the number like any other letter.
    EXPECT_EQ(Currency::FromText("12e"), Currency::FromWhole(12));
    EXPECT_EQ(Currency::FromText("12east"), Currency::FromWhole(12));
    // A value that does not fit is refused, never cut short.
    EXPECT_THROW(Currency::FromText("1e30"), AppError);
    EXPECT_EQ(Val("1e3"), 1000.0);
    EXPECT_EQ(Val("2.5e-1"), 0.25);
    EXPECT_EQ(ValLng("1.2e2"), 120);
}

TEST(MoneyReading, BinaryFractionsInAnAmountColumnReadAsTheirNearestFourDecimalValue) {
    AppFolder folder;
    Exec("CREATE TABLE AMT (ID INTEGER, KIN NUMERIC)");
    // Values another tool left as binary floating point.
    Exec("INSERT INTO AMT VALUES (1, 123456789012.3456), (2, 0.1), (3, 0.1 + 0.2 - 0.1 - 0.2), "
         "(4, -1000.5), (5, 1e300 * 0 + 2.5e-3), (6, 850000.0 + 0.1 + 0.2 - 0.3)");
    ASSERT_EQ(Text("SELECT typeof(KIN) FROM AMT WHERE ID = 1"), "real");
    EXPECT_EQ(ValCur(Text("SELECT KIN FROM AMT WHERE ID = 1")), Currency::FromText("123456789012.3456"));
    EXPECT_EQ(ValCur(Text("SELECT KIN FROM AMT WHERE ID = 2")), Currency::FromText("0.1"));
    EXPECT_EQ(ValCur(Text("SELECT KIN FROM AMT WHERE ID = 3")), Currency());
    EXPECT_EQ(ValCur(Text("SELECT KIN FROM AMT WHERE ID = 4")), Currency::FromText("-1000.5"));
    EXPECT_EQ(ValCur(Text("SELECT KIN FROM AMT WHERE ID = 5")), Currency::FromText("0.0025"));
    EXPECT_EQ(ValCur(Text("SELECT KIN FROM AMT WHERE ID = 6")), Currency::FromWhole(850000));
    // Whole numbers stay as they are written.
    Exec("INSERT INTO AMT VALUES (7, 922337203685477), (8, -5)");
    EXPECT_EQ(Text("SELECT KIN FROM AMT WHERE ID = 7"), "922337203685477");
    EXPECT_EQ(Text("SELECT KIN FROM AMT WHERE ID = 8"), "-5");
}

// A month's debit total left at a binary remainder (0.1 + 0.2 taken out
// again in floating point) does not shift the later openings.
TEST(MoneyReading, ARemainderOfFloatingPointTotalsDoesNotShiftLaterOpenings) {
    AppFolder folder;
    Exec("INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN) VALUES (1, 0)");
    Exec("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND) "
         "VALUES (0, 0, 2026, 0, 202604, 20260401, 20270331)");
    Exec("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_TSKBN) VALUES (2026, 100, '現金', 1)");
    Exec("sp_KMZMF_ADD 2026, 1, 1, 100");
    Exec("UPDATE KMZMF SET KMZ_ZZAN = 850000 WHERE KMZ_YM = 202604");
    Exec("sp_KMZMF_UPDATE 202604, 2026, 1, 1, 100");
    Exec("UPDATE KMZMF SET KMZ_KARI = KMZ_KARI + 0.1 WHERE KMZ_YM = 202605");
    Exec("UPDATE KMZMF SET KMZ_KARI = KMZ_KARI + 0.2 WHERE KMZ_YM = 202605");
    Exec("UPDATE KMZMF SET KMZ_KARI = KMZ_KARI - 0.1 WHERE KMZ_YM = 202605");
    Exec("UPDATE KMZMF SET KMZ_KARI = KMZ_KARI - 0.2 WHERE KMZ_YM = 202605");
    ASSERT_NE(Text("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202605"), "0");
    Exec("sp_KMZMF_UPDATE 202605, 2026, 1, 1, 100");
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_YM > 202605"), "10");
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_YM > 202605 AND KMZ_ZZAN = 850000 "
                   "AND typeof(KMZ_ZZAN) = 'integer'"),
              "10");
    // A real fraction in a total is carried exactly.
    Exec("UPDATE KMZMF SET KMZ_KARI = 0.5 WHERE KMZ_YM = 202606");
    Exec("sp_KMZMF_UPDATE 202606, 2026, 1, 1, 100");
    EXPECT_EQ(ValCur(Text("SELECT KMZ_ZZAN FROM KMZMF WHERE KMZ_YM = 202703")), Currency::FromText("850000.5"));
    Exec("UPDATE KMZMF SET KMZ_KARI = 0 WHERE KMZ_YM = 202606");
    Exec("sp_KMZMF_UPDATE 202606, 2026, 1, 1, 100");
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_YM > 202606 AND KMZ_ZZAN = 850000 "
                   "AND typeof(KMZ_ZZAN) = 'integer'"),
              "9");
}

}  // namespace
