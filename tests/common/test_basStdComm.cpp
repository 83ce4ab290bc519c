#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/AppInfo.h"

#include <QFile>
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
    EXPECT_EQ(msgs.Last().prompt,
              "データベースの接続でエラーが発生しました。\n\n１度システムを終了し再度実行して下さい。");
}

TEST(StartUp, FreshEmptyDatabaseFileGetsTheSchema) {
    AppFolder folder(false);
    folder.WriteFile("fresh.db", "");
    folder.WriteFile("DB.udl", "Provider=SQLite;Data Source=fresh.db\n");
    AppInfo::SetArguments({"/S"});
    ASSERT_TRUE(fncStartUp()) << gobjDB->ErrorText().toStdString();
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

TEST(EndSystem, ReleasesTheSharedObjects) {
    AppFolder folder;
    ASSERT_TRUE(gobjDB->IsConnected());
    EndSystem();
    EXPECT_TRUE(gobjDB.IsNothing());
    EXPECT_TRUE(gobjIni.IsNothing());
    EXPECT_TRUE(gobjProgress.IsNothing());
}

}  // namespace
