#include "TestSupport.h"

#include "common/basStdComm.h"
#include "inquiry/basKR410.h"
#include "inquiry/basKR430.h"
#include "platform/AppInfo.h"

#include <QDialog>
#include <QFile>
#include <QScreen>
#include <QFileInfo>
#include <sqlite3.h>
#include <QProcess>
#include <QThread>

using namespace basStdComm;

namespace {

TEST(StartCheck, CommandLineMustEndInUpperCaseSlashS) {
    AppFolder folder;
    MsgRecorder msgs;
    AppInfo::SetArguments({"I", "/S"});
    EXPECT_TRUE(fncCheckStart());
    AppInfo::ReleaseInstance();
    AppInfo::SetArguments({"anything", "else/S"});
    EXPECT_TRUE(fncCheckStart());
    AppInfo::ReleaseInstance();
    EXPECT_TRUE(msgs.Empty());
    AppInfo::SetArguments({"I", "/s"});
    EXPECT_FALSE(fncCheckStart());
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "メニューからでないと起動できません");
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_EQ(msgs.Last().title, AppInfo::Title());
    AppInfo::ReleaseInstance();
    AppInfo::SetArguments({});
    EXPECT_FALSE(fncCheckStart());
    AppInfo::ReleaseInstance();
}

// A second instance in another process, holding the lock of the same program.
int holdLock(const QStringList& args) {
    AppInfo::SetName(args[1]);
    AppInfo::SetLockFolder(args[0]);
    if (AppInfo::PrevInstance()) return 1;
    QFile ready(args[0] + "/holding");
    ready.open(QIODevice::WriteOnly);
    ready.close();
    QThread::sleep(3);
    return 0;
}
const bool reg = RegisterChild("holdlock", holdLock);

// A refused start on a display no one sees (the message answered at once).
int refusedStart(const QStringList& args) {
    qputenv("TAVIK_MSGBOX_STDERR", "1");
    SetMsgBoxHandler([](const MsgBoxCall&) { return static_cast<int>(vbOK); });
    AppInfo::SetLockFolder(args[0]);
    AppInfo::SetArguments({"I"});
    return fncCheckStart();
}
const bool regRefused = RegisterChild("refusedstart", refusedStart);

TEST(StartCheck, WithTheTerminalSwitchEveryMessageIsWrittenToStandardErrorToo) {
    AppFolder folder;
    QString output;
    RunChild("refusedstart", {folder.Path()}, &output);
    EXPECT_TRUE(output.contains(AppInfo::Title() + ": メニューからでないと起動できません")) << output.toStdString();
}

TEST(StartCheck, SecondInstanceOfTheSameProgramIsRefused) {
    AppFolder folder;
    MsgRecorder msgs;
    AppInfo::SetName("LOCKTEST");
    AppInfo::SetArguments({"/S"});
    auto child = StartChild("holdlock", {folder.Path(), "LOCKTEST"});
    // Wait until the other program holds its lock (a busy machine may take a while).
    for (int i = 0; i < 200 && !QFile::exists(folder.Path() + "/holding"); ++i) QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(folder.Path() + "/holding"));
    EXPECT_FALSE(fncCheckStart());
    ASSERT_FALSE(msgs.Empty());
    EXPECT_EQ(msgs.Last().prompt, AppInfo::Title() + " は既に起動されています");
    // Opened by another program (a voucher opened from an inquiry): its own lock.
    qputenv("TAVIK_INSTANCE", "WKR430");
    EXPECT_TRUE(fncCheckStart());
    AppInfo::ReleaseInstance();
    qunsetenv("TAVIK_INSTANCE");
    child->waitForFinished(10000);
    EXPECT_EQ(child->exitCode(), 0);
    // Released when the other program ended.
    msgs.Clear();
    EXPECT_TRUE(fncCheckStart());
    EXPECT_TRUE(msgs.Empty());
    AppInfo::SetName("TEST");
}

TEST(WindowLoad, AWindowLargerThanTheScreenIsFittedAndCentredOnIt) {
    QDialog big;
    const QRect screen = big.screen()->availableGeometry();
    big.resize(screen.width() + 200, screen.height() + 100);
    CenterForm(&big);
    EXPECT_LE(big.width(), screen.width());
    EXPECT_LE(big.height(), screen.height());
    EXPECT_TRUE(screen.contains(big.geometry())) << big.geometry().x() << "," << big.geometry().y();
    // A window that fits keeps its size and is centred.
    QDialog small;
    small.resize(screen.width() / 2, screen.height() / 2);
    CenterForm(&small);
    EXPECT_EQ(small.size(), QSize(screen.width() / 2, screen.height() / 2));
    EXPECT_EQ(small.geometry().center().x() / 4, screen.center().x() / 4);
}

TEST(AppPath, FolderGetsExactlyOneTrailingSeparator) {
    AppFolder folder;
    AppInfo::SetFolder("/opt/tavik");
    SetAppPath();
    EXPECT_EQ(gstrAppPath, "/opt/tavik/");
    EXPECT_EQ(gstrReportPath, "/opt/tavik/Report/");
    AppInfo::SetFolder("/");
    SetAppPath();
    EXPECT_EQ(gstrAppPath, "/");
    EXPECT_EQ(gstrReportPath, "/Report/");
    AppInfo::SetFolder(folder.Path());
}

TEST(SystemIni, ValuesAreTheirLeadingNumbersAndTextReadsZero) {
    AppFolder folder;
    folder.WriteFile("system.ini", "[client]\ncurrentuser = 12abc\nCURRENTSSK=x3\nCURRENTGRP=\nCURRENTTYPE=3\n");
    ReadSystemIni();
    EXPECT_EQ(glngUserId, 12);
    EXPECT_EQ(glngSskCd, 0);
    EXPECT_EQ(glngGrpCd, 0);
    EXPECT_EQ(glngUserType, 3);
}

TEST(SystemIni, MissingFileStopsStartUpWithAClearMessage) {
    AppFolder folder(false);
    MsgRecorder msgs;
    QFile::remove(folder.Path() + "/system.ini");
    AppInfo::SetArguments({"/S"});
    try {
        fncStartUp();
        FAIL() << "start-up went on without system.ini";
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("system.ini"));
}

TEST(StartUp, MissingDatabaseGivesTheConnectionMessage) {
    AppFolder folder(false);
    MsgRecorder msgs;
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=gone.db\n");
    AppInfo::SetArguments({"/S"});
    EXPECT_FALSE(fncStartUp());
    ShowErrMsg();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    // The number as a Long and the connection's own text, naming the file.
    EXPECT_TRUE(msgs.Last().prompt.startsWith("ｴﾗｰ番号 :-2147467259\n")) << msgs.Last().prompt.toStdString();
    EXPECT_TRUE(msgs.Last().prompt.contains(folder.Path() + "/gone.db")) << msgs.Last().prompt.toStdString();
    EXPECT_TRUE(msgs.Last().prompt.contains("見つかりません")) << msgs.Last().prompt.toStdString();
}

// Each way the connection can fail says why, naming the file concerned.
TEST(StartUp, AFailedConnectionShowsItsReason) {
    AppFolder folder(false);
    MsgRecorder msgs;
    AppInfo::SetArguments({"/S"});
    auto failWith = [&](const QString& fileNamed, const QString& reason) {
        msgs.Clear();
        EXPECT_FALSE(fncStartUp());
        AppInfo::ReleaseInstance();
        ShowErrMsg();
        ASSERT_EQ(msgs.Calls().size(), 1u);
        const QString p = msgs.Last().prompt;
        EXPECT_TRUE(p.startsWith("ｴﾗｰ番号 :" + QString::number(static_cast<qint32>(0x80004005u)) + "\n"))
            << p.toStdString();
        EXPECT_TRUE(p.contains(fileNamed)) << p.toStdString();
        EXPECT_TRUE(p.contains(reason)) << p.toStdString();
        EXPECT_FALSE(p.contains("１度システムを終了し")) << p.toStdString();
    };
    QFile::remove(folder.Path() + "/DB.udl");
    failWith("DB.udl", "開けません");
    folder.WriteFile("DB.udl", "");
    failWith("DB.udl", "Data Source");
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=nowhere.db\n");
    failWith("nowhere.db", "見つかりません");
    folder.WriteFile("notes.txt", "This is a text file, not a database.\nSecond line.\n");
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=notes.txt\n");
    failWith("notes.txt", "このシステムのデータベースではありません");
    QFile notes(folder.Path() + "/notes.txt");
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), QByteArray("This is a text file, not a database.\nSecond line.\n"));
    // A database cut short inside its header is damaged, not foreign.
    folder.WriteFile("cut.db", QByteArray("SQLite format 3\0\x10\0\x02\x02", 20));
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=cut.db\n");
    failWith("cut.db", "データベースが壊れている");
    // A server that does not answer, and one without the database, are
    // named with the database.
    folder.WriteFile("DB.udl", "Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial Catalog=books;User ID=clerk\n");
    failWith("サーバー 127.0.0.1:1 のデータベース books", "接続できません");
    if (TestsOnServer()) {
        const QString server = qEnvironmentVariable("TAVIK_TEST_PG_SERVER");
        folder.WriteFile("DB.udl", ("Provider=PostgreSQL;Data Source=" + server +
                                    ";Initial Catalog=nosuchbook;User ID=postgres\n").toUtf8());
        failWith("サーバー " + server + " のデータベース nosuchbook", "がありません");
    }
}

// An empty file becomes a new book in the voucher entry program, which says
// so; the inquiries leave it empty.
TEST(StartUp, AnEmptyDatabaseFileIsCalledANewBookAndOnlyTheEntryProgramWritesIt) {
    AppFolder folder(false);
    MsgRecorder msgs;
    AppInfo::SetArguments({"/S"});
    const QString file = folder.Path() + "/fresh.db";
    folder.WriteFile("fresh.db", "");
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=fresh.db\n");
    for (auto start : {basKR430::Main, basKR410::Main, fncStartUp}) {
        msgs.Clear();
        EXPECT_FALSE(start());
        ShowErrMsg();
        EndSystem();
        AppInfo::ReleaseInstance();
        ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
        EXPECT_TRUE(msgs.Last().prompt.contains(file + " は新しい空のデータベースです")) << msgs.Last().prompt.toStdString();
        EXPECT_EQ(QFileInfo(file).size() > 0, start == fncStartUp);  // only the entry program made the tables
    }
}

// A SQLite file of another application is refused before anything is
// written to it: not a byte changed, no -wal or -shm beside it.
TEST(StartUp, ASqliteFileOfAnotherApplicationIsLeftUntouched) {
    AppFolder folder(false);
    MsgRecorder msgs;
    const QString other = folder.Path() + "/other.sqlite";
    // Made with the SQLite library directly, as another program would.
    {
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(other.toUtf8().constData(), &h), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(h,
                               "CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT);"
                               "INSERT INTO customers (name) VALUES ('a'), ('b');",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(h);
    }
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=other.sqlite\n");
    AppInfo::SetArguments({"/S"});
    EXPECT_FALSE(fncStartUp());
    ShowErrMsg();
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("other.sqlite")) << msgs.Last().prompt.toStdString();
    EXPECT_TRUE(msgs.Last().prompt.contains("このシステムのデータベースではありません"))
        << msgs.Last().prompt.toStdString();
    EndSystem();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == before) << "the other application's file was changed";
    EXPECT_FALSE(QFileInfo::exists(other + "-wal"));
    EXPECT_FALSE(QFileInfo::exists(other + "-shm"));
    EXPECT_FALSE(QFileInfo::exists(other + "-journal"));
}

// Commits are durable against a power loss, not only a killed program.
TEST(StartUp, TheBooksAreWrittenWithFullSynchronousCommits) {
    AppFolder folder;
    RecordsetPtr rs = gobjDB->OpenRecordset("PRAGMA synchronous");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "2");  // FULL
    rs = gobjDB->OpenRecordset("PRAGMA journal_mode");
    EXPECT_EQ(rs->Fields(0).Value().Text().toLower(), "wal");
}

TEST(StartUp, FreshEmptyDatabaseFileGetsTheSchema) {
    AppFolder folder(false);
    folder.WriteFile("fresh.db", "");
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=fresh.db\n");
    AppInfo::SetArguments({"/S"});
    ASSERT_TRUE(fncConnectDB()) << gobjDB->ErrorText().toStdString();
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT COUNT(*) FROM DNHDT");
    EXPECT_EQ(rs->Fields(0).Value().Text(), "0");
    EXPECT_EQ(fncLookupField("SCH_VERSION", "SCHEMA_INFO", "1 = 1"), "1");
}

TEST(LookupField, GivesFirstColumnOrEmptyAndIsSilentOnErrors) {
    AppFolder folder;
    MsgRecorder msgs;
    folder.Sql("INSERT INTO USGMF (USG_ID, USG_NAME) VALUES (1, '山田'), (2, NULL)");
    EXPECT_EQ(fncLookupField("USG_NAME", "USGMF", "USG_ID = 1"), QString::fromUtf8("山田"));
    EXPECT_EQ(fncLookupField("USG_NAME", "USGMF", "USG_ID = 2"), "");
    EXPECT_EQ(fncLookupField("USG_NAME", "USGMF", "USG_ID = 3"), "");
    EXPECT_EQ(fncLookupField("NO_SUCH", "USGMF", "USG_ID = 1"), "");
    EXPECT_TRUE(msgs.Empty());
}

TEST(ErrorReport, ShowsNumberDescriptionAndDatabaseDetails) {
    AppFolder folder;
    MsgRecorder msgs;
    ShowErrMsg(AppError(13, "型が一致しません。"));
    EXPECT_EQ(msgs.Last().prompt, "ｴﾗｰ番号 :13\n型が一致しません。");
    EXPECT_EQ(msgs.Last().icon(), 0);
    try {
        gobjDB->OpenRecordset("SELECT * FROM NO_TABLE");
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
    EXPECT_TRUE(msgs.Last().prompt.contains("ADOｴﾗｰ番号 :"));
    EXPECT_TRUE(msgs.Last().prompt.contains("NO_TABLE"));
    ShowErrMsg(AppError(errReportTemplateMissing, "template"));
    EXPECT_EQ(msgs.Last().prompt, "帳票を作成するために必要なExcelファイルがありません。");
    EXPECT_EQ(msgs.Last().icon(), vbCritical);
}

// Error numbers read as the Longs they are: &H80040E14 is -2147217900,
// &H80040000 + 1 is -2147221503.
TEST(ErrorReport, NumbersShowAsSignedLongs) {
    AppFolder folder;
    MsgRecorder msgs;
    try {
        gobjDB->OpenRecordset("SELECT * FROM NO_TABLE");
        FAIL() << "statement did not fail";
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
    EXPECT_TRUE(msgs.Last().prompt.startsWith("ｴﾗｰ番号 :-2147217900\n")) << msgs.Last().prompt.toStdString();
    EXPECT_FALSE(gobjDB->Execute("UPDATE NO_TABLE SET X = 1"));
    ShowDBError();
    EXPECT_TRUE(msgs.Last().prompt.startsWith("ｴﾗｰ番号 :-2147217900\n")) << msgs.Last().prompt.toStdString();
    gobjDB->ClearError();
    ShowErrMsg(AppError(vbObjectError + 1, "引数が正しくありません。"));
    EXPECT_EQ(msgs.Last().prompt, "ｴﾗｰ番号 :-2147221503\n引数が正しくありません。");
}

TEST(EndSystem, ReleasesTheSharedObjects) {
    AppFolder folder;
    ASSERT_TRUE(gobjDB->IsConnected());
    EndSystem();
    EXPECT_TRUE(gobjDB.IsNothing());
    EXPECT_TRUE(gobjIni.IsNothing());
    EXPECT_TRUE(gobjProgress.IsNothing());
}

}  // namespace
