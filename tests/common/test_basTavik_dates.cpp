// Date numbers, fiscal-year rows and accounting months of basTavik, on a
// real database.
#include "TestSupport.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/VbCompat.h"

using namespace basStdComm;
using namespace basTavik;

namespace {

// One KSKMF row: fiscal year `nendo` starting in month `firstMonth`; the
// months close on `closingDay` (0 = month end), so the year runs from the
// day after the closing day of the month before the first month.
void AddYear(const AppFolder& f, long nendo, int firstMonth, int closingDay, long ssk = 0, long grp = 0,
             int nup = 0) {
    QDate first(nendo, firstMonth, 1);
    auto closing = [&](int i) {  // closing day of fiscal month i (0 = the month before)
        QDate m = AddMonths(first, i);
        return closingDay == 0 ? QDate(m.year(), m.month(), m.daysInMonth()) : QDate(m.year(), m.month(), closingDay);
    };
    QString sql = "INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND";
    for (int i = 1; i <= 12; ++i) sql += ", KSK_SIME" + QString::number(i);
    sql += ") VALUES (" + QString::number(ssk) + ", " + QString::number(grp) + ", " + QString::number(nendo) + ", " +
           QString::number(nup) + ", " + QString::number(MonthNumber(first)) + ", " +
           QString::number(DateNumber(closing(-1).addDays(1))) + ", " + QString::number(DateNumber(closing(11)));
    for (int i = 0; i < 12; ++i) sql += ", " + QString::number(DateNumber(closing(i)));
    f.Sql(sql + ")");
}

void SetKikbn(const AppFolder& f, int kikbn) {
    f.Sql("DELETE FROM CNTMF WHERE CNT_KEY = 1; INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN) VALUES (1, " + QString::number(kikbn) + ")");
}

// Runs `fn` and returns the argument error it raises (fails when none).
template <class Fn>
AppError RaisedBy(Fn fn) {
    try {
        fn();
    } catch (const AppError& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return AppError(0, QString());
}

void ExpectArgumentError(const AppError& e, const char* source) {
    EXPECT_EQ(e.Number, vbObjectError);
    EXPECT_EQ(e.Description, QString::fromUtf8("引数が正しくありません。"));
    EXPECT_EQ(e.Source, QString::fromLatin1(source));
}

// ---------------------------------------------------------------- date numbers

TEST(DateKind, FourSixAndEightDigitsAreYearMonthAndDayEverythingElseIsNone) {
    EXPECT_EQ(FncGetDateKind(2024), 1);
    EXPECT_EQ(FncGetDateKind(202404), 2);
    EXPECT_EQ(FncGetDateKind(20240425), 3);
    EXPECT_EQ(FncGetDateKind(0), 0);
    EXPECT_EQ(FncGetDateKind(2024042), 0);
    EXPECT_EQ(FncGetDateKind(24), 0);
    EXPECT_EQ(FncGetDateKind(-2024), 0);
    EXPECT_EQ(FncGetDateKind(-202404), 0);
    EXPECT_EQ(FncGetDateKind(202404251), 0);
}

TEST(CnvDate, YearIsFirstOfJanuaryMonthIsItsFirstDayAndDayIsItself) {
    EXPECT_EQ(FncCnvDate(2024), QDate(2024, 1, 1));
    EXPECT_EQ(FncCnvDate(202402), QDate(2024, 2, 1));
    EXPECT_EQ(FncCnvDate(20240229), QDate(2024, 2, 29));
    EXPECT_EQ(FncCnvDate(20241231), QDate(2024, 12, 31));
}

TEST(CnvDate, DaysTheMonthDoesNotHaveAreRefusedNotRolledOver) {
    ExpectArgumentError(RaisedBy([] { FncCnvDate(20240230); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(20230229); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(20240431); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(20241301); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(202413); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(20240400); }), "FncCnvDate");
}

TEST(CnvDate, NumbersOfNoKindAreRefused) {
    ExpectArgumentError(RaisedBy([] { FncCnvDate(0); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(2024042); }), "FncCnvDate");
    ExpectArgumentError(RaisedBy([] { FncCnvDate(-20240401); }), "FncCnvDate");
}

// ---------------------------------------------------------------- fiscal-year rows

class FiscalYears : public ::testing::Test {
protected:
    void SetUp() override {
        SetKikbn(folder, 0);
        // April to March, closing on the 20th; 2023 already closed.
        AddYear(folder, 2023, 4, 20, 0, 0, 1);
        AddYear(folder, 2024, 4, 20);
        AddYear(folder, 2025, 4, 20);
    }
    AppFolder folder;
    MsgRecorder msgs;
};

long NendoOf(RecordsetPtr rs) {
    if (!rs) {
        ADD_FAILURE() << "no recordset";
        return -1;
    }
    return rs->Eof() ? 0 : ValLng(rs->Fields("KSK_NENDO").Value());
}

TEST_F(FiscalYears, KindZeroFindsTheEarliestOpenYear) {
    EXPECT_EQ(NendoOf(FncGetKskRs(0)), 2024);
    folder.Sql("UPDATE KSKMF SET KSK_NUP = 1 WHERE KSK_NENDO = 2024");
    EXPECT_EQ(NendoOf(FncGetKskRs(0)), 2025);
    EXPECT_EQ(FncGetKskNendo(0), 2025);
}

TEST_F(FiscalYears, KindOneFindsThatYear) {
    RecordsetPtr rs = FncGetKskRs(2024);
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(NendoOf(std::move(rs)), 2024);
    EXPECT_EQ(NendoOf(FncGetKskRs(2030)), 0);
}

TEST_F(FiscalYears, KindTwoFindsTheLatestYearStartingInTheTwelveMonthsUpToIt) {
    EXPECT_EQ(NendoOf(FncGetKskRs(202404)), 2024);
    EXPECT_EQ(NendoOf(FncGetKskRs(202412)), 2024);
    EXPECT_EQ(NendoOf(FncGetKskRs(202503)), 2024);
    EXPECT_EQ(NendoOf(FncGetKskRs(202504)), 2025);
    EXPECT_EQ(NendoOf(FncGetKskRs(202303)), 0);
    EXPECT_EQ(NendoOf(FncGetKskRs(202703)), 0);
}

TEST_F(FiscalYears, KindThreeFindsTheYearWhoseFirstAndLastDayEncloseIt) {
    EXPECT_EQ(NendoOf(FncGetKskRs(20240321)), 2024);
    EXPECT_EQ(NendoOf(FncGetKskRs(20240320)), 2023);
    EXPECT_EQ(NendoOf(FncGetKskRs(20250320)), 2024);
    EXPECT_EQ(NendoOf(FncGetKskRs(20250321)), 2025);
    EXPECT_EQ(NendoOf(FncGetKskRs(20300101)), 0);
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(FiscalYears, AFailingQueryIsReportedAndGivesNothing) {
    ASSERT_TRUE(gobjDB->Execute("DROP TABLE KSKMF"));
    EXPECT_EQ(FncGetKskRs(20240425), nullptr);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("KSKMF")) << msgs.Last().prompt.toStdString();
    msgs.Clear();
    EXPECT_EQ(FncGetKskNendo(20240425), 0);
    EXPECT_EQ(FncGetKskKist(20240425), 0);
}

TEST_F(FiscalYears, AnInvalidMonthIsReportedAndGivesNothing) {
    EXPECT_EQ(FncGetKskRs(202413), nullptr);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains(QString::fromUtf8("引数が正しくありません。")));
}

TEST_F(FiscalYears, YearFirstMonthAndBoundsOfTheYearOfADate) {
    EXPECT_EQ(FncGetKskNendo(20240425), 2024);
    EXPECT_EQ(FncGetKskNendo(202502), 2024);
    EXPECT_EQ(FncGetKskKsym(20240425), 202404);
    EXPECT_EQ(FncGetKskKist(20240425), 20240321);
    EXPECT_EQ(FncGetKskKiend(20240425), 20250320);
    EXPECT_EQ(FncGetKskKsym(2025), 202504);
    EXPECT_EQ(FncGetKskKist(0), 20240321);
    EXPECT_EQ(FncGetKskNendo(20300101), 0);
    EXPECT_EQ(FncGetKskKiend(20300101), 0);
}

TEST_F(FiscalYears, ABareYearIsItsOwnFiscalYearEvenWithoutARow) {
    EXPECT_EQ(FncGetKskNendo(2030), 2030);
    EXPECT_EQ(FncGetKskKsym(2030), 0);
}

TEST_F(FiscalYears, SameFiscalYearComparesTheYearsOfBothDates) {
    EXPECT_TRUE(FncIsSameNendo(20240425, 20250320));
    EXPECT_TRUE(FncIsSameNendo(20240425, 202503));
    EXPECT_FALSE(FncIsSameNendo(20240425, 20250321));
    EXPECT_TRUE(FncIsSameNendo(20300101, 20310101));
}

// ---------------------------------------------------------------- accounting months

TEST_F(FiscalYears, ClosingOnTheTwentiethPutsTheTwentyFifthIntoTheNextMonth) {
    long d = 20240425;
    EXPECT_EQ(FncGetKskMonth(d), 202405);
    EXPECT_EQ(d, 20240425);
    d = 20240420;
    EXPECT_EQ(FncGetKskMonth(d), 202404);
    d = 20240321;
    EXPECT_EQ(FncGetKskMonth(d), 202404);
    d = 20250320;
    EXPECT_EQ(FncGetKskMonth(d), 202503);
    d = 20250321;
    EXPECT_EQ(FncGetKskMonth(d), 202504);
}

TEST(AccountingMonth, MonthEndClosingKeepsTheCalendarMonth) {
    AppFolder folder;
    AddYear(folder, 2024, 4, 0);
    long d = 20240425;
    EXPECT_EQ(FncGetKskMonth(d), 202404);
    d = 20240430;
    EXPECT_EQ(FncGetKskMonth(d), 202404);
    d = 20240501;
    EXPECT_EQ(FncGetKskMonth(d), 202405);
    d = 20250331;
    EXPECT_EQ(FncGetKskMonth(d), 202503);
}

TEST_F(FiscalYears, AMonthNumberIsAlreadyAnAccountingMonth) {
    long d = 203001;
    EXPECT_EQ(FncGetKskMonth(d), 203001);
}

TEST_F(FiscalYears, AYearIsNoArgumentForTheAccountingMonth) {
    long d = 2024;
    ExpectArgumentError(RaisedBy([&] { FncGetKskMonth(d); }), "FncGetKskMonth");
}

TEST_F(FiscalYears, ZeroMeansTodayAndWritesItBack) {
    SetToday(QDate(2024, 4, 25));
    long d = 0;
    EXPECT_EQ(FncGetKskMonth(d), 202405);
    EXPECT_EQ(d, 20240425);
}

TEST_F(FiscalYears, ADateOutsideEveryYearOrAfterTheLastClosingHasNoMonth) {
    long d = 20300101;
    EXPECT_EQ(FncGetKskMonth(d), 0);
    // A year whose last closing day ends before its last day.
    folder.Sql("UPDATE KSKMF SET KSK_KIEND = 20260331 WHERE KSK_NENDO = 2025");
    d = 20260325;
    EXPECT_EQ(FncGetKskMonth(d), 0);
}

// ---------------------------------------------------------------- month bounds

TEST_F(FiscalYears, TheFirstMonthStartsOnTheFirstDayOfTheYear) {
    long st = 0, en = 0;
    EXPECT_TRUE(FncGetKskMonStEnd(202404, st, en));
    EXPECT_EQ(st, 20240321);
    EXPECT_EQ(en, 20240420);
    EXPECT_EQ(FncGetKskMonKaisi(202404), 20240321);
    EXPECT_EQ(FncGetKskSime(202404), 20240420);
    EXPECT_EQ(FncGetKskMonKaisi(20240410), 20240321);
    EXPECT_EQ(FncGetKskSime(20240410), 20240420);
}

TEST_F(FiscalYears, AMiddleMonthStartsTheDayAfterThePreviousClosing) {
    long st = 0, en = 0;
    EXPECT_TRUE(FncGetKskMonStEnd(202409, st, en));
    EXPECT_EQ(st, 20240821);
    EXPECT_EQ(en, 20240920);
    EXPECT_EQ(FncGetKskMonKaisi(202503), 20250221);
    EXPECT_EQ(FncGetKskSime(202503), 20250320);
    // A day counts by its calendar month.
    EXPECT_EQ(FncGetKskMonKaisi(20240905), 20240821);
    EXPECT_EQ(FncGetKskSime(20240905), 20240920);
}

TEST(MonthBounds, MonthEndClosingGivesCalendarMonths) {
    AppFolder folder;
    AddYear(folder, 2024, 4, 0);
    long st = 0, en = 0;
    EXPECT_TRUE(FncGetKskMonStEnd(202404, st, en));
    EXPECT_EQ(st, 20240401);
    EXPECT_EQ(en, 20240430);
    EXPECT_TRUE(FncGetKskMonStEnd(202502, st, en));
    EXPECT_EQ(st, 20250201);
    EXPECT_EQ(en, 20250228);
}

TEST_F(FiscalYears, WithoutARowTheBoundsAreFalseAndZero) {
    long st = 7, en = 7;
    EXPECT_FALSE(FncGetKskMonStEnd(203004, st, en));
    EXPECT_EQ(FncGetKskMonKaisi(203004), 0);
    EXPECT_EQ(FncGetKskSime(20300410), 0);
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(FiscalYears, MonthBoundsAcceptOnlyMonthsAndDays) {
    long st = 0, en = 0;
    ExpectArgumentError(RaisedBy([&] { FncGetKskMonStEnd(2024, st, en); }), "FncGetKskMonStEnd");
    ExpectArgumentError(RaisedBy([] { FncGetKskMonKaisi(0); }), "FncGetKskMonKaisi");
    ExpectArgumentError(RaisedBy([] { FncGetKskSime(2024042); }), "FncGetKskSime");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(FiscalYears, AMonthTwelveOrMoreAfterTheFirstIsReportedAndGivesTheDefault) {
    // A malformed year running past its twelfth month.
    folder.Sql("UPDATE KSKMF SET KSK_KIEND = 20260520 WHERE KSK_NENDO = 2025");
    EXPECT_EQ(FncGetKskSime(20260510), 0);
    EXPECT_EQ(msgs.Calls().size(), 1u);
    long st = 0, en = 0;
    EXPECT_FALSE(FncGetKskMonStEnd(20260510, st, en));
    EXPECT_EQ(msgs.Calls().size(), 2u);
}

// ---------------------------------------------------------------- keying of the calendar

TEST(CalendarKeying, OneCalendarForAllIgnoresBranchAndGroup) {
    AppFolder folder;
    SetKikbn(folder, 1);
    AddYear(folder, 2024, 4, 0);
    AddYear(folder, 2024, 1, 0, 2, 0);
    EXPECT_EQ(FncGetKskKsym(20240510, 2, 3), 202404);
    EXPECT_EQ(FncGetKskKsym(20240510), 202404);
}

TEST(CalendarKeying, KeyedPerBranchUsesTheBranchAndGroupZero) {
    AppFolder folder;
    SetKikbn(folder, 2);
    AddYear(folder, 2024, 4, 0);        // one calendar for all: not used
    AddYear(folder, 2024, 1, 0, 1, 0);  // current branch 1: calendar years
    AddYear(folder, 2024, 10, 20, 2, 0);
    long d = 20240425;
    EXPECT_EQ(FncGetKskNendo(20240510), 2024);
    EXPECT_EQ(FncGetKskKsym(20240510), 202401);
    EXPECT_EQ(FncGetKskKsym(20240510, 1, 7), 202401);
    EXPECT_EQ(FncGetKskMonth(d), 202404);
    d = 20241025;
    EXPECT_EQ(FncGetKskMonth(d, 2, 5), 202411);
    EXPECT_EQ(FncGetKskKist(20241025, 2, 5), 20240921);
    EXPECT_EQ(FncGetKskNendo(20240510, 3), 0);
}

TEST(CalendarKeying, KeyedPerBranchAndGroupUsesBoth) {
    AppFolder folder;
    SetKikbn(folder, 3);
    AddYear(folder, 2024, 4, 0, 1, 0);
    AddYear(folder, 2024, 1, 0, 1, 1);  // current branch 1, group 1
    AddYear(folder, 2024, 7, 0, 1, 2);
    EXPECT_EQ(FncGetKskKsym(20240510), 202401);
    EXPECT_EQ(FncGetKskKsym(20240810, 1, 2), 202407);
    EXPECT_EQ(FncGetKskKsym(20240810, 0, 2), 202407);
    EXPECT_EQ(FncGetKskKsym(20240810, 1, 3), 0);
    long st = 0, en = 0;
    EXPECT_TRUE(FncGetKskMonStEnd(202408, st, en, 1, 2));
    EXPECT_EQ(st, 20240801);
    EXPECT_EQ(en, 20240831);
}

}  // namespace
