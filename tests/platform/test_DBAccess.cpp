#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/DBAccess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

using namespace basStdComm;

namespace {

class DBAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Sql("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME TEXT, AMT NUMERIC)");
        folder.Sql("INSERT INTO T VALUES (1, 'ａ', 1000), (2, NULL, 0.5), (3, '', -7)");
    }
    AppFolder folder;
};

TEST_F(DBAccessTest, RecordCountIsKnownBeforeReadingAndEmptyResultIsEofAtOnce) {
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT ID, NAME FROM T ORDER BY ID");
    EXPECT_EQ(rs->RecordCount(), 3);
    EXPECT_FALSE(rs->Eof());
    int n = 0;
    while (!rs->Eof()) { ++n; rs->MoveNext(); }
    EXPECT_EQ(n, 3);
    RecordsetPtr none = gobjDB->OpenRecordset("SELECT ID FROM T WHERE ID = 99");
    EXPECT_TRUE(none->Eof());
    EXPECT_EQ(none->RecordCount(), 0);
    EXPECT_EQ(none->State(), Recordset::adStateOpen);
    none->Close();
    EXPECT_EQ(none->State(), Recordset::adStateClosed);
}

TEST_F(DBAccessTest, NullIsDistinguishableFromEmptyTextAndFieldsMatchByNameOrIndex) {
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT ID, NAME AS Nm FROM T ORDER BY ID");
    EXPECT_EQ(rs->Fields("nm").Value().Text(), QString::fromUtf8("ａ"));
    rs->MoveNext();
    EXPECT_TRUE(rs->Fields("NM").Value().IsNull());
    EXPECT_EQ(rs->Fields("NM").Value().Text(), "");
    rs->MoveNext();
    EXPECT_FALSE(rs->Fields(1).Value().IsNull());
    EXPECT_EQ(rs->Fields(1).Value().Text(), "");
    EXPECT_THROW(rs->Fields("NOPE"), AppError);
}

TEST_F(DBAccessTest, AmountsComeBackAsTheirDecimalText) {
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT AMT FROM T ORDER BY ID");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "1000");
    rs->MoveNext();
    EXPECT_EQ(rs->Fields(0).Value().Text(), "0.5");
}

TEST_F(DBAccessTest, UpdatableRecordsetWritesChangesAndNewRowsBack) {
    RecordsetPtr rs = gobjDB->OpenUpdatable("SELECT * FROM T WHERE ID = 2");
    ASSERT_FALSE(rs->Eof());
    rs->Fields("NAME") = QString("更新");
    rs->Update();
    RecordsetPtr add = gobjDB->OpenUpdatable("SELECT * FROM T WHERE ID = 10");
    EXPECT_TRUE(add->Eof());
    add->AddNew();
    add->Fields("ID") = 10;
    add->Fields("NAME") = QString("it's");
    add->Update();
    EXPECT_EQ(folder.Scalar("SELECT NAME FROM T WHERE ID = 2"), QString::fromUtf8("更新"));
    EXPECT_EQ(folder.Scalar("SELECT NAME FROM T WHERE ID = 10"), "it's");
    EXPECT_THROW(gobjDB->OpenRecordset("SELECT * FROM T")->Fields(0) = 5, AppError);
}

TEST_F(DBAccessTest, FailedStatementReportsItsErrorText) {
    EXPECT_FALSE(gobjDB->Execute("INSERT INTO T (ID) VALUES (1)"));
    EXPECT_NE(gobjDB->ErrorNumber(), 0);
    EXPECT_TRUE(gobjDB->ErrorText().contains("UNIQUE")) << gobjDB->ErrorText().toStdString();
    EXPECT_TRUE(gobjDB->Execute("UPDATE T SET NAME = 'x' WHERE ID = 3"));
    EXPECT_EQ(gobjDB->ErrorNumber(), 0);
    try {
        gobjDB->OpenRecordset("SELECT NOPE FROM T");
        FAIL() << "no error raised";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number, gobjDB->ErrorNumber());
        EXPECT_TRUE(e.Description.contains("NOPE"));
    }
}

TEST_F(DBAccessTest, RollbackLeavesNothingAndTransactionsDoNotNest) {
    {
        DBTransaction tx(*gobjDB);
        EXPECT_TRUE(gobjDB->Execute("INSERT INTO T (ID, NAME) VALUES (20, 'x')"));
        EXPECT_THROW(gobjDB->BeginTrans(), AppError);
        // leaves scope uncommitted
    }
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM T WHERE ID = 20"), "0");
    {
        DBTransaction tx(*gobjDB);
        EXPECT_TRUE(gobjDB->Execute("INSERT INTO T (ID, NAME) VALUES (21, 'y')"));
        tx.Commit();
    }
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM T WHERE ID = 21"), "1");
}

TEST_F(DBAccessTest, QuotedTextRoundTripsUnchanged) {
    const QString text = QString::fromUtf8("O'Brien's 100% \"売上\" ''");
    EXPECT_TRUE(gobjDB->Execute("INSERT INTO T (ID, NAME) VALUES (30, " + gobjDB->SqlText(text) + ")"));
    EXPECT_TRUE(gobjDB->Execute("INSERT INTO T (ID, NAME) VALUES (31, " + fncSqlQuote(text) + ")"));
    EXPECT_EQ(folder.Scalar("SELECT NAME FROM T WHERE ID = 30"), text);
    EXPECT_EQ(folder.Scalar("SELECT NAME FROM T WHERE ID = 31"), text);
    EXPECT_EQ(gobjDB->DateLiteral("2026/12/08"), "'2026-12-08'");
}

TEST_F(DBAccessTest, UnknownStoredProcedureFailsWithClearText) {
    EXPECT_FALSE(gobjDB->Execute("sp_NOTHING 1, 2"));
    EXPECT_TRUE(gobjDB->ErrorText().contains("sp_NOTHING"));
    int calls = 0;
    QStringList seen;
    gobjDB->RegisterProcedure("sp_TEST", [&](DBAccess&, const QStringList& a) { ++calls; seen = a; return true; });
    EXPECT_TRUE(gobjDB->Execute("sp_TEST 2024, 1, -3"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, (QStringList{"2024", "1", "-3"}));
}

TEST(DBAccessConnect, MissingOrBrokenDatabaseReportsLostConnectionNumber) {
    AppFolder folder(false);
    DBAccess db;
    db.SetDataLinkFile(folder.Path() + "/none.udl");
    EXPECT_FALSE(db.Connect());
    EXPECT_EQ(db.ErrorNumber(), adErrConnection);
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=missing.db\n");
    DBAccess db2;
    EXPECT_FALSE(db2.Connect());
    EXPECT_EQ(db2.ErrorNumber(), adErrConnection);
    EXPECT_TRUE(db2.ErrorText().contains("missing.db"));
    folder.WriteFile("junk.db", QByteArray(4096, 'x'));
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=junk.db\n");
    DBAccess db3;
    EXPECT_FALSE(db3.Connect());
    EXPECT_EQ(db3.ErrorNumber(), adErrConnection);
}

// Two programs saving at once: each child takes the write lock, reads a
// counter, waits a little and writes it back + 1. Without serialised
// transactions some increments would be lost.
int counterChild(const QStringList& args) {
    DBAccess db;
    if (!db.ConnectFile(args[0])) return 2;
    for (int i = 0; i < 20; ++i) {
        DBTransaction tx(db);
        RecordsetPtr rs = db.OpenRecordset("SELECT N FROM C");
        int n = rs->Fields(0).Value().Text().toInt();
        QThread::msleep(2);
        if (!db.Execute("UPDATE C SET N = " + QString::number(n + 1))) return 3;
        tx.Commit();
    }
    return 0;
}
const bool registered = RegisterChild("counter", counterChild);

TEST(DBAccessConcurrency, TwoProcessesSerialiseTheirWriteTransactions) {
    AppFolder folder(false);
    folder.Sql("CREATE TABLE C (N INTEGER)");
    folder.Sql("INSERT INTO C VALUES (0)");
    auto a = StartChild("counter", {folder.DbFile()});
    auto b = StartChild("counter", {folder.DbFile()});
    ASSERT_TRUE(a->waitForFinished(60000));
    ASSERT_TRUE(b->waitForFinished(60000));
    EXPECT_EQ(a->exitCode(), 0) << a->readAll().toStdString();
    EXPECT_EQ(b->exitCode(), 0) << b->readAll().toStdString();
    EXPECT_EQ(folder.Scalar("SELECT N FROM C"), "40");
}

// A transaction takes the write lock at its first statement, not at
// BeginTrans: a program asking its user something between the two keeps no
// other program waiting.
TEST(DBAccessConcurrency, BeginTransHoldsNothingUntilTheFirstStatement) {
    AppFolder folder(false);
    folder.Sql("CREATE TABLE C (N INTEGER)");
    DBAccess a, b;
    ASSERT_TRUE(a.ConnectFile(folder.DbFile()));
    ASSERT_TRUE(b.ConnectFile(folder.DbFile()));
    b.SetBusyTimeout(200);
    a.BeginTrans();
    EXPECT_TRUE(a.InTransaction());
    EXPECT_THROW(a.BeginTrans(), AppError);
    EXPECT_TRUE(b.Execute("INSERT INTO C VALUES (1)")) << b.ErrorText().toStdString();
    // The first statement begins it and sees what was committed before.
    RecordsetPtr rs = a.OpenRecordset("SELECT COUNT(*) FROM C");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "1");
    EXPECT_FALSE(b.Execute("INSERT INTO C VALUES (2)"));
    EXPECT_TRUE(a.Execute("INSERT INTO C VALUES (3)"));
    a.CommitTrans();
    EXPECT_FALSE(a.InTransaction());
    EXPECT_TRUE(b.Execute("INSERT INTO C VALUES (4)")) << b.ErrorText().toStdString();
    EXPECT_EQ(folder.Scalar("SELECT GROUP_CONCAT(N) FROM C"), "1,3,4");
    // Begun and ended without a statement: nothing held, nothing written.
    a.BeginTrans();
    a.RollbackTrans();
    EXPECT_FALSE(a.InTransaction());
    a.BeginTrans();
    a.CommitTrans();
    EXPECT_FALSE(a.InTransaction());
    {
        DBTransaction tx(a);
        EXPECT_TRUE(a.Execute("INSERT INTO C VALUES (5)"));
    }
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM C WHERE N = 5"), "0");
    EXPECT_TRUE(b.Execute("INSERT INTO C VALUES (6)"));
}

}  // namespace
