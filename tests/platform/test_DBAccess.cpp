#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/DBAccess.h"
#include "platform/VbCompat.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <sqlite3.h>

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

// A fault at the database's commit: the statements before it succeed, the
// commit fails with the fault's error (here a full disk) and nothing stays,
// in a transaction as for a statement outside one.
TEST_F(DBAccessTest, CommitFaultFailsTheCommitAndWritesNothing) {
    int commits = 0;
    gobjDB->SetCommitFault([&] {
        ++commits;
        return SQLITE_FULL;
    });
    gobjDB->BeginTrans();
    EXPECT_TRUE(gobjDB->Execute("INSERT INTO T VALUES (4, 'x', 1)"));
    EXPECT_EQ(commits, 0);
    EXPECT_THROW(gobjDB->CommitTrans(), AppError);
    EXPECT_EQ(commits, 1);
    EXPECT_TRUE(gobjDB->DiskFull());
    EXPECT_TRUE(gobjDB->ErrorText().contains("空き容量")) << gobjDB->ErrorText().toStdString();
    EXPECT_EQ(gobjDB->AdoErrorNumber(), SQLITE_FULL);
    gobjDB->RollbackTrans();
    EXPECT_FALSE(gobjDB->InTransaction());
    EXPECT_FALSE(gobjDB->Execute("UPDATE T SET NAME = 'y' WHERE ID = 1"));
    EXPECT_TRUE(gobjDB->DiskFull());
    // Reading commits nothing and is not refused.
    EXPECT_EQ(gobjDB->OpenRecordset("SELECT COUNT(*) FROM T")->Fields(0).Value().Text(), "3");
    EXPECT_EQ(commits, 2);
    gobjDB->SetCommitFault(nullptr);
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) || NAME FROM T WHERE ID = 1"), QString::fromUtf8("1ａ"));
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM T"), "3");
    EXPECT_TRUE(gobjDB->Execute("INSERT INTO T VALUES (4, 'x', 1)"));
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM T"), "4");
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

// Statements run again with the same text: compiled once, with the results,
// errors and transactions of a fresh statement.
TEST_F(DBAccessTest, StatementRunAgainIsCompiledOnceWithTheSameResults) {
    const long before = gobjDB->StatementsPrepared();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(gobjDB->Execute("UPDATE T SET AMT = AMT + 1 WHERE ID = 3"));
        RecordsetPtr rs = gobjDB->OpenRecordset("SELECT AMT, NAME FROM T WHERE ID = 3");
        ASSERT_EQ(rs->RecordCount(), 1);
        EXPECT_EQ(ValLng(rs->Fields("AMT").Value()), -7 + i + 1);
        EXPECT_EQ(rs->Fields("NAME").Value().Text(), "");
    }
    EXPECT_EQ(gobjDB->StatementsPrepared() - before, 2);
    EXPECT_EQ(folder.Scalar("SELECT AMT FROM T WHERE ID = 3"), "43");
    // The procedures' statements go the same way.
    gobjDB->RegisterProcedure("sp_BUMP", [](DBAccess& db, const QStringList& a) {
        RecordsetPtr rs = db.OpenRecordset("SELECT AMT FROM T WHERE ID = " + a.value(0));
        return !rs->Eof() && db.Execute("UPDATE T SET AMT = 1 + AMT WHERE ID = " + a.value(0));
    });
    const long procBefore = gobjDB->StatementsPrepared();
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(gobjDB->Execute("sp_BUMP 1"));
    EXPECT_EQ(gobjDB->StatementsPrepared() - procBefore, 2);
    EXPECT_EQ(folder.Scalar("SELECT AMT FROM T WHERE ID = 1"), "1010");
}

TEST_F(DBAccessTest, StatementsDifferingOnlyInTheirNumbersShareOnePreparedStatement) {
    const long before = gobjDB->StatementsPrepared();
    long expected = -7;
    for (int i = 1; i <= 40; ++i) {
        ASSERT_TRUE(gobjDB->Execute("UPDATE T SET AMT = AMT + " + QString::number(1000 + i) + " WHERE ID = 3"));
        ASSERT_TRUE(gobjDB->Execute("INSERT INTO T (ID, NAME, AMT) VALUES (" + QString::number(100 + i) + ", " +
                                    QString::number(i) + ", -" + QString::number(i) + ")"));
        expected += 1000 + i;
    }
    EXPECT_EQ(gobjDB->StatementsPrepared() - before, 2);
    EXPECT_EQ(folder.Scalar("SELECT AMT FROM T WHERE ID = 3"), QString::number(expected));
    // Values keep the types the written numbers give: a text column holds
    // the number's text, a numeric one the number.
    EXPECT_EQ(folder.Scalar("SELECT typeof(NAME) || ',' || NAME || ',' || typeof(AMT) || ',' || AMT FROM T "
                            "WHERE ID = 140"),
              "text,40,integer,-40");
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM T WHERE NAME = '7' AND AMT = -7"), "1");
    // Comparing a text column with a number, and integer arithmetic.
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT ID FROM T WHERE NAME = 12 AND AMT / 5 = -2");
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields(0).Value().Text(), "112");
    rs = gobjDB->OpenRecordset("SELECT ID FROM T WHERE NAME = 13 AND AMT / 5 = -2");
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields(0).Value().Text(), "113");
    // Numbers in texts, decimals and very large numbers are no numbers to
    // lift: each such text is a statement of its own.
    rs = gobjDB->OpenRecordset("SELECT COUNT(*) FROM T WHERE NAME = '12' AND AMT < 0.5");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "1");
    rs = gobjDB->OpenRecordset("SELECT COUNT(*) FROM T WHERE AMT < 99999999999999999999 AND ID > 9223372036854775807");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "0");
}

TEST_F(DBAccessTest, MonthWrittenTwiceInAnOrStillSeeksTheKeyFromThatMonth) {
    // The next voucher after number 5 of a month: the month is written on
    // both sides of the OR.
    folder.Sql("CREATE TABLE V (S INTEGER, YM INTEGER, NO INTEGER, KBN INTEGER, PRIMARY KEY (S, YM, NO))");
    folder.Sql("INSERT INTO V VALUES (1, 202603, 9, 0), (1, 202604, 5, 0), (1, 202604, 7, 0), (1, 202605, 1, 0)");
    auto next = [](const QString& ym, const QString& no) {
        return gobjDB
            ->OpenRecordset("SELECT YM, NO FROM V WHERE S = 1 AND KBN < 10 AND ((YM = " + ym + " AND NO > " + no +
                            ") OR (YM > " + ym + ")) ORDER BY YM, NO LIMIT 1")
            ->Fields(1)
            .Value()
            .Text();
    };
    EXPECT_EQ(next("202604", "5"), "7");
    EXPECT_EQ(next("202604", "7"), "1");
    EXPECT_EQ(next("202603", "9"), "5");
    // The statement as it was compiled and kept: a range on the month.
    RecordsetPtr kept = gobjDB->OpenRecordset("SELECT sql FROM sqlite_stmt WHERE sql LIKE 'SELECT YM, NO FROM V %'");
    ASSERT_EQ(kept->RecordCount(), 1);
    RecordsetPtr plan = gobjDB->OpenRecordset("EXPLAIN QUERY PLAN " + kept->Fields(0).Value().Text());
    EXPECT_TRUE(plan->Fields("detail").Value().Text().contains("S=? AND YM>?"))
        << plan->Fields("detail").Value().Text().toStdString();
}

TEST_F(DBAccessTest, ColumnNamesAndPositionsWrittenAsNumbersKeepTheirMeaning) {
    // A result column without a name is named by its text; a number in
    // ORDER BY or GROUP BY is a column position.
    for (int pass = 0; pass < 2; ++pass) {
        RecordsetPtr rs = gobjDB->OpenRecordset(
            "SELECT ID, 5, ID + 1, (SELECT COUNT(*) FROM T WHERE ID > 1), AMT FROM T WHERE ID > 0 ORDER BY 5 DESC");
        ASSERT_EQ(rs->FieldCount(), 5);
        EXPECT_EQ(rs->Fields(1).Name(), "5");
        EXPECT_EQ(rs->Fields(2).Name(), "ID + 1");
        EXPECT_EQ(rs->Fields(3).Name(), "(SELECT COUNT(*) FROM T WHERE ID > 1)");
        QStringList ids;
        for (; !rs->Eof(); rs->MoveNext()) {
            EXPECT_EQ(rs->Fields(1).Value().Text(), "5");
            EXPECT_EQ(rs->Fields(3).Value().Text(), "2");
            ids << rs->Fields(0).Value().Text();
        }
        EXPECT_EQ(ids.join(","), "1,2,3");  // amounts 1000, 0.5, -7
        rs = gobjDB->OpenRecordset("SELECT AMT > 0, COUNT(*) FROM T GROUP BY 1 ORDER BY 1");
        ASSERT_EQ(rs->RecordCount(), 2);
        EXPECT_EQ(rs->Fields(0).Name(), "AMT > 0");
        EXPECT_EQ(rs->Fields(1).Value().Text(), "1");
        rs->MoveNext();
        EXPECT_EQ(rs->Fields(1).Value().Text(), "2");
    }
    // A statement that does not compile reports the text as written.
    EXPECT_THROW(gobjDB->OpenRecordset("SELECT ID FROM T WHERE ID = 12345 67890"), AppError);
    EXPECT_TRUE(gobjDB->ErrorText().contains("67890")) << gobjDB->ErrorText().toStdString();
    EXPECT_FALSE(gobjDB->Execute("UPDATE T SET NOPE7 = 1 WHERE ID = 3"));
    EXPECT_TRUE(gobjDB->ErrorText().contains("NOPE7")) << gobjDB->ErrorText().toStdString();
}

TEST_F(DBAccessTest, StatementRunAgainFailsAsAFreshOneAndTheConnectionGoesOn) {
    const QString dup = "INSERT INTO T (ID, NAME) VALUES (1, 'x')";
    EXPECT_FALSE(gobjDB->Execute(dup));
    const long number = gobjDB->ErrorNumber();
    const QString text = gobjDB->ErrorText();
    const long driver = gobjDB->AdoErrorNumber();
    EXPECT_TRUE(text.contains("UNIQUE")) << text.toStdString();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(gobjDB->Execute("UPDATE T SET NAME = 'y' WHERE ID = 3"));
        EXPECT_EQ(gobjDB->ErrorNumber(), 0);
        EXPECT_FALSE(gobjDB->Execute(dup));
        EXPECT_EQ(gobjDB->ErrorNumber(), number);
        EXPECT_EQ(gobjDB->ErrorText(), text);
        EXPECT_EQ(gobjDB->AdoErrorNumber(), driver);
    }
    // A statement that succeeded before and fails now (the row it inserts
    // exists) reports the failure, and succeeds again once it can.
    const QString insert = "INSERT INTO T (ID, NAME) VALUES (40, 'z')";
    EXPECT_TRUE(gobjDB->Execute(insert));
    EXPECT_FALSE(gobjDB->Execute(insert));
    EXPECT_TRUE(gobjDB->ErrorText().contains("UNIQUE")) << gobjDB->ErrorText().toStdString();
    EXPECT_TRUE(gobjDB->Execute("DELETE FROM T WHERE ID = 40"));
    EXPECT_TRUE(gobjDB->Execute(insert));
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM T WHERE ID = 40"), "1");
    // Inside a transaction: a failing statement leaves the transaction open
    // and the roll-back takes back what the same statements wrote in it.
    const QString bump = "UPDATE T SET AMT = AMT + 100 WHERE ID = 1";
    EXPECT_TRUE(gobjDB->Execute(bump));
    {
        DBTransaction tx(*gobjDB);
        EXPECT_TRUE(gobjDB->Execute(bump));
        EXPECT_FALSE(gobjDB->Execute(dup));
        EXPECT_TRUE(gobjDB->InTransaction());
        RecordsetPtr rs = gobjDB->OpenRecordset("SELECT AMT FROM T WHERE ID = 1");
        EXPECT_EQ(rs->Fields(0).Value().Text(), "1200");
    }
    EXPECT_FALSE(gobjDB->InTransaction());
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT AMT FROM T WHERE ID = 1");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "1100");
}

TEST_F(DBAccessTest, StatementRunAgainSeesSchemaChangesOfThisAndOtherConnections) {
    const QString all = "SELECT * FROM T WHERE ID = 1";
    EXPECT_EQ(gobjDB->OpenRecordset(all)->FieldCount(), 3);
    ASSERT_TRUE(gobjDB->Execute("ALTER TABLE T ADD COLUMN EXTRA TEXT DEFAULT 'e'"));
    RecordsetPtr rs = gobjDB->OpenRecordset(all);
    ASSERT_EQ(rs->FieldCount(), 4);
    EXPECT_EQ(rs->Fields("EXTRA").Value().Text(), "e");
    // Another program changes the table.
    folder.Sql("ALTER TABLE T ADD COLUMN MORE INTEGER DEFAULT 5");
    rs = gobjDB->OpenRecordset(all);
    ASSERT_EQ(rs->FieldCount(), 5);
    EXPECT_EQ(rs->Fields("MORE").Value().Text(), "5");
    RecordsetPtr none = gobjDB->OpenRecordset("SELECT * FROM T WHERE ID = 99");
    folder.Sql("ALTER TABLE T ADD COLUMN LAST TEXT");
    none = gobjDB->OpenRecordset("SELECT * FROM T WHERE ID = 99");
    EXPECT_EQ(none->FieldCount(), 6);
    // The table gone and made anew with other columns.
    folder.Sql("DROP TABLE T");
    EXPECT_THROW(gobjDB->OpenRecordset(all), AppError);
    EXPECT_TRUE(gobjDB->ErrorText().contains("no such table")) << gobjDB->ErrorText().toStdString();
    folder.Sql("CREATE TABLE T (ID INTEGER PRIMARY KEY, OTHER TEXT)");
    folder.Sql("INSERT INTO T VALUES (1, 'new')");
    rs = gobjDB->OpenRecordset(all);
    ASSERT_EQ(rs->FieldCount(), 2);
    EXPECT_EQ(rs->Fields("OTHER").Value().Text(), "new");
}

TEST_F(DBAccessTest, StatementRunAgainReadsWhatAnotherProgramCommittedSince) {
    const QString read = "SELECT NAME FROM T WHERE ID = 1";
    EXPECT_EQ(gobjDB->OpenRecordset(read)->Fields(0).Value().Text(), QString::fromUtf8("ａ"));
    {
        // The other connection could not write while a read were held open.
        DBAccess other;
        ASSERT_TRUE(folder.Connect(other));
        other.SetBusyTimeout(0);
        other.BeginTrans();
        ASSERT_TRUE(other.Execute("UPDATE T SET NAME = 'other' WHERE ID = 1"));
        other.CommitTrans();
        // and a checkpoint is not held back by a reader of an old snapshot
        RecordsetPtr cp = other.OpenRecordset("PRAGMA wal_checkpoint(TRUNCATE)");
        EXPECT_EQ(cp->Fields(0).Value().Text(), "0");
    }
    EXPECT_EQ(gobjDB->OpenRecordset(read)->Fields(0).Value().Text(), "other");
}

TEST_F(DBAccessTest, DisconnectReleasesEveryPreparedStatement) {
    for (int i = 0; i < 3; ++i) {
        gobjDB->OpenRecordset("SELECT * FROM T");
        ASSERT_TRUE(gobjDB->Execute("UPDATE T SET AMT = AMT WHERE ID = 1"));
    }
    const QString wal = folder.DbFile() + "-wal";
    EXPECT_TRUE(QFile::exists(wal));
    gobjDB->Disconnect();
    // The last connection closed for good removes the write-ahead log.
    EXPECT_FALSE(QFile::exists(wal));
    ASSERT_TRUE(folder.Connect(*gobjDB));
    EXPECT_EQ(gobjDB->OpenRecordset("SELECT * FROM T")->RecordCount(), 3);
}

TEST_F(DBAccessTest, UpdatableRecordsetWritesRowAfterRowWithTheirOwnValues) {
    RecordsetPtr rs = gobjDB->OpenUpdatable("SELECT * FROM T WHERE ID > 100");
    const long before = gobjDB->StatementsPrepared();
    for (int i = 0; i < 5; ++i) {
        rs->AddNew();
        rs->Fields("ID") = 101 + i;
        // every other row without a name: Null, not the name before
        rs->Fields("NAME") = i % 2 ? DbValue() : DbValue(QString("n%1").arg(i));
        rs->Update();
    }
    if (!TestsOnServer()) {
        EXPECT_EQ(gobjDB->StatementsPrepared() - before, 1);
    }
    EXPECT_EQ(folder.Scalar("SELECT GROUP_CONCAT(ID || '=' || COALESCE(NAME, 'null'), ',') FROM "
                            "(SELECT * FROM T WHERE ID > 100 ORDER BY ID) AS R"),
              "101=n0,102=null,103=n2,104=null,105=n4");
    EXPECT_THROW(
        {
            rs->AddNew();
            rs->Fields("ID") = 101;
            rs->Fields("NAME") = DbValue();
            rs->Update();
        },
        AppError);
    EXPECT_TRUE(gobjDB->UniqueClash()) << gobjDB->ErrorText().toStdString();
}

// Whole numbers come back as numbers; readers see the same values as from
// their text, Null and texts unchanged.
TEST_F(DBAccessTest, WholeNumbersReadAsNumbersGiveTheSameValuesAsTheirText) {
    folder.Sql("INSERT INTO T VALUES (4, '12ab', 2147483648), (5, '  -3.5', -2147483648), "
               "(6, '0012', 922337203685477), (7, 'x', 922337203685478), (8, '7', 9007199254740993)");
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT ID, NAME, AMT FROM T ORDER BY ID");
    ASSERT_EQ(rs->RecordCount(), 8);
    while (!rs->Eof()) {
        for (int c = 0; c < 3; ++c) {
            const DbValue v = rs->Fields(c).Value();
            const QString text = v.Text();
            const DbValue asText = v.IsNull() ? DbValue() : DbValue(text);
            EXPECT_EQ(v, asText);
            EXPECT_EQ(ValLng(v), ValLng(asText)) << text.toStdString();
            EXPECT_EQ(Val(v), Val(asText)) << text.toStdString();
            bool textOverflows = false, valueOverflows = false;
            Currency fromText, fromValue;
            try { fromText = ValCur(asText); } catch (const AppError&) { textOverflows = true; }
            try { fromValue = ValCur(v); } catch (const AppError&) { valueOverflows = true; }
            EXPECT_EQ(valueOverflows, textOverflows) << text.toStdString();
            EXPECT_EQ(fromValue, fromText) << text.toStdString();
        }
        rs->MoveNext();
    }
    rs = gobjDB->OpenRecordset("SELECT ID, AMT FROM T WHERE ID IN (1, 2, 7, 8) ORDER BY ID");
    EXPECT_TRUE(rs->Fields(0).Value().IsInteger());
    EXPECT_EQ(rs->Fields(1).Value().Text(), "1000");
    rs->MoveNext();
    EXPECT_FALSE(rs->Fields(1).Value().IsInteger());
    EXPECT_EQ(rs->Fields(1).Value().Text(), "0.5");
    rs->MoveNext();
    EXPECT_THROW(ValCur(rs->Fields(1).Value()), AppError);
    rs->MoveNext();
    EXPECT_EQ(rs->Fields(1).Value().Text(), "9007199254740993");
    EXPECT_EQ(ValLng(rs->Fields(1).Value()), 0);
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
    db.SetDataLinkFile(args[0]);
    if (!db.Connect()) return 2;
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
    auto a = StartChild("counter", {folder.Path() + "/DB.udl"});
    auto b = StartChild("counter", {folder.Path() + "/DB.udl"});
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
    ASSERT_TRUE(folder.Connect(a));
    ASSERT_TRUE(folder.Connect(b));
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

// Another program running one statement on the database and ending; a
// query prints its first value.
int statementChild(const QStringList& args) {
    DBAccess db;
    db.SetDataLinkFile(args[0]);
    if (!db.Connect()) return 2;
    if (args[1].startsWith("SELECT")) {
        RecordsetPtr rs = db.OpenRecordset(args[1]);
        std::printf("VALUE:%s\n", rs->Fields(0).Value().Text().toUtf8().constData());
        return 0;
    }
    return db.Execute(args[1]) ? 0 : 3;
}
const bool registeredStatement = RegisterChild("statement", statementChild);

// A second connection of this program opening and closing leaves the first
// one's hold on the database: another program ending after them is not the
// last one and leaves the write-ahead log, so the first one's next commit
// is kept.
TEST(DBAccessConcurrency, SecondConnectionOfThisProgramLeavesTheFirstOnesCommitsKept) {
    AppFolder folder(false);
    folder.Sql("CREATE TABLE C (N INTEGER)");
    DBAccess a;
    ASSERT_TRUE(folder.Connect(a)) << a.ErrorText().toStdString();
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM C"), "0");
    QString out;
    ASSERT_EQ(RunChild("statement", {folder.Path() + "/DB.udl", "INSERT INTO C VALUES (1)"}, &out), 0) << out.toStdString();
    a.BeginTrans();
    ASSERT_TRUE(a.Execute("INSERT INTO C VALUES (2)")) << a.ErrorText().toStdString();
    EXPECT_NO_THROW(a.CommitTrans()) << a.ErrorText().toStdString();
    ASSERT_EQ(RunChild("statement", {folder.Path() + "/DB.udl", "SELECT GROUP_CONCAT(N) FROM C"}, &out), 0)
        << out.toStdString();
    EXPECT_TRUE(out.contains("VALUE:1,2\n")) << out.toStdString();
}

// Once a descriptor of the database's shared-memory file was closed
// elsewhere in the program (its locks went with it), no write goes into a
// log that another program may take away: this one and every later one is
// refused, saying the program must be started again.
TEST(DBAccessConcurrency, WritesAreRefusedOnceTheProgramLostItsHoldOnTheDatabase) {
    AppFolder folder(false);
    folder.Sql("CREATE TABLE C (N INTEGER)");
    DBAccess a;
    ASSERT_TRUE(folder.Connect(a)) << a.ErrorText().toStdString();
    a.BeginTrans();
    ASSERT_TRUE(a.Execute("INSERT INTO C VALUES (1)"));
    a.CommitTrans();
    {
        QFile shm(folder.DbFile() + "-shm");
        ASSERT_TRUE(shm.open(QIODevice::ReadOnly));
    }
    a.BeginTrans();
    EXPECT_FALSE(a.Execute("INSERT INTO C VALUES (2)"));
    EXPECT_TRUE(a.DatabaseFault());
    EXPECT_TRUE(a.ErrorText().contains("接続が失われた")) << a.ErrorText().toStdString();
    EXPECT_TRUE(a.ErrorText().contains(folder.DbFile())) << a.ErrorText().toStdString();
    a.RollbackTrans();
    EXPECT_FALSE(a.Execute("INSERT INTO C VALUES (3)"));
    EXPECT_EQ(folder.Scalar("SELECT GROUP_CONCAT(N) FROM C"), "1");
}

}  // namespace

// The server ends the connection in the middle of a transaction: the next
// statement fails with the lost-connection number (no fault of the
// database's contents), and nothing of the transaction is kept.
TEST(DBAccessServer, AConnectionEndedMidTransactionIsLostAndKeepsNothing) {
    if (!TestsOnServer()) GTEST_SKIP() << "a server's connection";
    AppFolder folder;
    folder.Sql("CREATE TABLE C (N INTEGER)");
    const QString pid = gobjDB->OpenRecordset("SELECT pg_backend_pid()")->Fields(0).Value().Text();
    gobjDB->BeginTrans();
    ASSERT_TRUE(gobjDB->Execute("INSERT INTO C VALUES (1)"));
    folder.Sql("SELECT pg_terminate_backend(" + pid + ")");
    EXPECT_FALSE(gobjDB->Execute("INSERT INTO C VALUES (2)"));
    EXPECT_EQ(gobjDB->ErrorNumber(), adErrConnection);
    // Whichever writer shows the database's text says it in the system's words.
    EXPECT_EQ(gobjDB->ErrorText(), "データベースの接続でエラーが発生しました。\n\n１度システムを終了し再度実行して下さい。");
    EXPECT_FALSE(gobjDB->DatabaseFault());
    EXPECT_NO_THROW(gobjDB->RollbackTrans());
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM C"), "0");
}

// A writer that waits for the book longer than the busy timeout is told
// that the database is in use, as on SQLite.
TEST(DBAccessServer, AWriterWaitingPastTheBusyTimeoutIsToldTheBookIsInUse) {
    if (!TestsOnServer()) GTEST_SKIP() << "a server's lock";
    AppFolder folder;
    folder.Sql("CREATE TABLE C (N INTEGER)");
    DBAccess other;
    ASSERT_TRUE(folder.Connect(other));
    other.BeginTrans();
    ASSERT_TRUE(other.Execute("INSERT INTO C VALUES (1)"));
    gobjDB->SetBusyTimeout(200);
    gobjDB->BeginTrans();
    EXPECT_FALSE(gobjDB->Execute("INSERT INTO C VALUES (2)"));
    EXPECT_TRUE(gobjDB->DatabaseFault());
    EXPECT_TRUE(gobjDB->ErrorText().startsWith("データベースが他のプログラムによって使用中です。")) << gobjDB->ErrorText().toStdString();
    gobjDB->RollbackTrans();
    other.CommitTrans();
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM C"), "1");
}
