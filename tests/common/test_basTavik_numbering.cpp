// Voucher number allocation of basTavik, on a real database, including two
// programs allocating at the same time.
#include "TestSupport.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/AppInfo.h"
#include "platform/VbCompat.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>

using namespace basStdComm;
using namespace basTavik;

namespace {

// One calendar for all: fiscal year 2024 from April, closing on the 20th.
// Branch 1 numbers per accounting month, branch 2 per fiscal year, branch 3
// has no numbering period.
void Prepare(const AppFolder& f) {
    f.Sql("INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN) VALUES (1, 0)");
    f.Sql("INSERT INTO SSKMF (SSK_CD, SSK_RNAME, SSK_SBANKBN) VALUES (1, '本社', 0), (2, '大阪', 1), (3, '名古屋', 2)");
    f.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_KSYM, KSK_KIST, KSK_KIEND, "
          "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, "
          "KSK_SIME9, KSK_SIME10, KSK_SIME11, KSK_SIME12) VALUES (0, 0, 2024, 202404, 20240321, 20250320, "
          "20240420, 20240520, 20240620, 20240720, 20240820, 20240920, 20241020, 20241120, 20241220, "
          "20250120, 20250220, 20250320)");
}

// Allocates one number in a save transaction of its own and commits it
// when a number was given (as a save does; otherwise it rolls back).
long Allocate(long kbn, long date, long ssk = 0, long grp = 0) {
    DBTransaction tx(*gobjDB);
    long no = FncSaibanDenNo(kbn, date, ssk, grp);
    if (no != 0) tx.Commit();
    return no;
}

class Numbering : public ::testing::Test {
protected:
    void SetUp() override { Prepare(folder); }
    QString DenNo(long kbn, long ssk, long grp, long ym) const {
        return folder.Scalar("SELECT DEN_NO FROM DENMF WHERE DEN_KBN = " + QString::number(kbn) +
                             " AND DEN_SSKCD = " + QString::number(ssk) + " AND DEN_GRPCD = " + QString::number(grp) +
                             " AND DEN_YM = " + QString::number(ym));
    }
    QString Rows() const { return folder.Scalar("SELECT COUNT(*) FROM DENMF"); }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(Numbering, TheFirstVoucherOfAKeyGetsOneAndCreatesItsCounter) {
    EXPECT_EQ(FncGetNextDenNo(0, 20240425), 1);
    EXPECT_EQ(Rows(), "0");
    EXPECT_EQ(Allocate(0, 20240425), 1);
    EXPECT_EQ(Rows(), "1");
    // 25 April lies in May's accounting month.
    EXPECT_EQ(DenNo(0, 1, 1, 202405), "1");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Numbering, NumbersRunPerAccountingMonth) {
    EXPECT_EQ(Allocate(0, 20240425), 1);
    EXPECT_EQ(Allocate(0, 20240510), 2);
    EXPECT_EQ(FncGetNextDenNo(0, 20240520), 3);
    EXPECT_EQ(Allocate(0, 20240415), 1);
    EXPECT_EQ(Allocate(0, 20240521), 1);
    EXPECT_EQ(Allocate(0, 202405), 3);
    EXPECT_EQ(DenNo(0, 1, 1, 202404), "1");
    EXPECT_EQ(DenNo(0, 1, 1, 202405), "3");
    EXPECT_EQ(DenNo(0, 1, 1, 202406), "1");
}

TEST_F(Numbering, NumbersRunPerFiscalYearWhenTheBranchSaysSo) {
    EXPECT_EQ(FncGetNextDenNo(0, 20240425, 2, 1), 1);
    EXPECT_EQ(Allocate(0, 20240425, 2, 1), 1);
    EXPECT_EQ(Allocate(0, 20250110, 2, 1), 2);
    EXPECT_EQ(Allocate(0, 20250320, 2, 1), 3);
    EXPECT_EQ(FncGetNextDenNo(0, 20240901, 2, 1), 4);
    EXPECT_EQ(DenNo(0, 2, 1, 2024), "3");
    EXPECT_EQ(Rows(), "1");
}

TEST_F(Numbering, ThePerYearSearchForAFreeNumberSeeksTheYearsNumbers) {
    folder.Sql("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE) VALUES (2, 1, 202405, 1, 2024, 2024, 5, 20240425, 20240425)");
    EXPECT_EQ(Allocate(0, 20240425, 2, 1), 2);
    // The statement as it was compiled and kept: the year's numbers in
    // order from an index, no sort and no reading of other years.
    RecordsetPtr kept = gobjDB->OpenRecordset(
        "SELECT sql FROM sqlite_stmt WHERE sql LIKE 'SELECT DNH_DENNO  FROM DNHDT%DNH_NENDO%'");
    ASSERT_EQ(kept->RecordCount(), 1);
    RecordsetPtr plan = gobjDB->OpenRecordset("EXPLAIN QUERY PLAN " + kept->Fields(0).Value().Text());
    QStringList steps;
    for (; !plan->Eof(); plan->MoveNext()) steps << plan->Fields("detail").Value().Text();
    EXPECT_EQ(steps.join(" | ").toStdString(),
              "SEARCH DNHDT USING COVERING INDEX IX_DNHDT_NENDO (DNH_SSKCD=? AND DNH_GRPCD=? AND DNH_NENDO=? AND "
              "DNH_DENNO>?)");
}

TEST_F(Numbering, KindBranchAndGroupHaveCountersOfTheirOwn) {
    EXPECT_EQ(Allocate(0, 20240425), 1);
    EXPECT_EQ(Allocate(1, 20240425), 1);
    EXPECT_EQ(Allocate(0, 20240425, 1, 2), 1);
    EXPECT_EQ(Allocate(0, 20240425, 1, 1), 2);
    EXPECT_EQ(DenNo(0, 1, 1, 202405), "2");
    EXPECT_EQ(DenNo(1, 1, 1, 202405), "1");
    EXPECT_EQ(DenNo(0, 1, 2, 202405), "1");
}

TEST_F(Numbering, DateZeroNumbersInTodaysAccountingMonth) {
    SetToday(QDate(2024, 4, 25));
    EXPECT_EQ(FncGetNextDenNo(0, 0), 1);
    EXPECT_EQ(Allocate(0, 0), 1);
    EXPECT_EQ(DenNo(0, 1, 1, 202405), "1");
}

TEST_F(Numbering, ABranchWithoutRowNumbersPerMonth) {
    EXPECT_EQ(Allocate(0, 20240425, 9, 1), 1);
    EXPECT_EQ(DenNo(0, 9, 1, 202405), "1");
}

TEST_F(Numbering, ARolledBackSaveLeavesTheCounterAsItWas) {
    folder.Sql("INSERT INTO DENMF (DEN_KBN, DEN_SSKCD, DEN_GRPCD, DEN_YM, DEN_NO) VALUES (0, 1, 1, 202405, 5)");
    {
        DBTransaction tx(*gobjDB);
        EXPECT_EQ(FncSaibanDenNo(0, 20240425), 6);
        tx.Rollback();
    }
    EXPECT_EQ(DenNo(0, 1, 1, 202405), "5");
    EXPECT_EQ(FncGetNextDenNo(0, 20240425), 6);
    {
        DBTransaction tx(*gobjDB);
        EXPECT_EQ(FncSaibanDenNo(0, 20240615), 1);
    }  // not committed
    EXPECT_EQ(Rows(), "1");
    EXPECT_EQ(Allocate(0, 20240425), 6);
}

TEST_F(Numbering, NoNumberingPeriodGivesZeroAndWritesNothing) {
    EXPECT_EQ(FncGetNextDenNo(0, 20240425, 3, 1), 0);
    EXPECT_EQ(Allocate(0, 20240425, 3, 1), 0);
    // A date outside every fiscal year.
    EXPECT_EQ(FncGetNextDenNo(0, 20300101), 0);
    EXPECT_EQ(Allocate(0, 20300101), 0);
    EXPECT_EQ(Allocate(0, 20300101, 2, 1), 0);
    EXPECT_EQ(Rows(), "0");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(Numbering, AFailingCounterUpdateShowsTheDatabaseErrorAndGivesZero) {
    ASSERT_TRUE(gobjDB->Execute("DROP TABLE DENMF"));
    EXPECT_EQ(Allocate(0, 20240425), 0);
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().title, QString::fromUtf8("伝票番号採番"));
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_TRUE(msgs.Last().prompt.contains("DENMF")) << msgs.Last().prompt.toStdString();
    msgs.Clear();
    EXPECT_EQ(FncGetNextDenNo(0, 20240425), 0);
    EXPECT_EQ(msgs.Calls().size(), 1u);
}

TEST_F(Numbering, AnAccountingMonthThatCannotBeFoundIsReportedAndGivesZero) {
    folder.Sql("UPDATE KSKMF SET KSK_KSYM = 202413");
    EXPECT_EQ(Allocate(0, 20240425), 0);
    EXPECT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(Rows(), "0");
}

// ---------------------------------------------------------------- two programs at once

// A voucher program saving `count` vouchers into three accounting months
// whose counters do not exist yet; each save allocates a number and records
// it in the same transaction. Starts when the file "go" appears.
int saverChild(const QStringList& args) {
    const QString folder = args.value(0);
    const int count = args.value(1).toInt();
    const QString who = args.value(2);
    SetMsgBoxHandler([](const MsgBoxCall& c) {
        std::fprintf(stderr, "message: %s\n", c.prompt.toUtf8().constData());
        return static_cast<int>(vbOK);
    });
    AppInfo::SetFolder(folder);
    SetAppPath();
    ReadSystemIni();
    if (!fncConnectDB()) return 2;
    QFile ready(folder + "/ready-" + who);
    if (!ready.open(QIODevice::WriteOnly)) return 6;
    ready.close();
    QElapsedTimer wait;
    wait.start();
    while (!QFile::exists(folder + "/go")) {
        if (wait.elapsed() > 30000) return 4;
        QThread::msleep(1);
    }
    const long dates[] = {20240405, 20240505, 20240605};
    for (int i = 0; i < count; ++i) {
        long date = dates[i % 3];
        DBTransaction tx(*gobjDB);
        long no = FncSaibanDenNo(0, date);
        if (no == 0) return 3;
        if (!gobjDB->Execute("INSERT INTO ALLOC (YM, NO, WHO) VALUES (" + QString::number(date / 100) + ", " +
                             QString::number(no) + ", '" + who + "')"))
            return 5;
        QThread::msleep(1);  // the rest of the save
        tx.Commit();
        QThread::msleep(1);  // the user enters the next voucher
    }
    EndSystem();
    return 0;
}
const bool registered = RegisterChild("saver", saverChild);

TEST(NumberingConcurrency, TwoProgramsNeverReceiveTheSameNumber) {
    AppFolder folder;
    Prepare(folder);
    folder.Sql("CREATE TABLE ALLOC (YM INTEGER, NO INTEGER, WHO TEXT)");
    const int count = 90;
    auto a = StartChild("saver", {folder.Path(), QString::number(count), "A"});
    auto b = StartChild("saver", {folder.Path(), QString::number(count), "B"});
    QElapsedTimer wait;
    wait.start();
    while (!(QFile::exists(folder.Path() + "/ready-A") && QFile::exists(folder.Path() + "/ready-B")) &&
           wait.elapsed() < 30000)
        QThread::msleep(1);
    folder.WriteFile("go", "");
    ASSERT_TRUE(a->waitForFinished(120000));
    ASSERT_TRUE(b->waitForFinished(120000));
    EXPECT_EQ(a->exitCode(), 0) << a->readAll().toStdString();
    EXPECT_EQ(b->exitCode(), 0) << b->readAll().toStdString();

    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM ALLOC"), QString::number(2 * count));
    for (long ym : {202404L, 202405L, 202406L}) {
        QString y = QString::number(ym);
        // Every number of the month once, 1 up to the number of saves.
        EXPECT_EQ(folder.Scalar("SELECT COUNT(DISTINCT NO) FROM ALLOC WHERE YM = " + y), QString::number(2 * count / 3));
        EXPECT_EQ(folder.Scalar("SELECT MIN(NO) FROM ALLOC WHERE YM = " + y), "1");
        EXPECT_EQ(folder.Scalar("SELECT MAX(NO) FROM ALLOC WHERE YM = " + y), QString::number(2 * count / 3));
        EXPECT_EQ(folder.Scalar("SELECT DEN_NO FROM DENMF WHERE DEN_YM = " + y), QString::number(2 * count / 3));
    }
    // Both programs took part.
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM ALLOC WHERE WHO = 'A'"), QString::number(count));
}

}  // namespace
