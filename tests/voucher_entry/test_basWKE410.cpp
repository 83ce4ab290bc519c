// Start-up of the voucher entry program: command line, tab stops, defaults.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/AppInfo.h"
#include "platform/InputFields.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <sqlite3.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace basStdComm;
using namespace basWKE410;

namespace {

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        EndSystem();  // Main connects by itself
    }
    void TearDown() override {
        QList<QPointer<QWidget>> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<frmKE410*>(w) || qobject_cast<frmKE41S*>(w)) windows << w;
        for (auto& w : windows) delete w.data();
    }
    template <class T>
    T* shown() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
        return nullptr;
    }
    bool run(const QStringList& args) {
        AppInfo::SetArguments(args);
        return Main();
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(StartUp, IOpensTheEntryWindowInAddMode) {
    ASSERT_TRUE(run({"I", "/S"}));
    EXPECT_EQ(gstrStartMode, "I");
    EXPECT_EQ(gstrEditMode, "I");
    frmKE410* f = shown<frmKE410>();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->lblMode->Caption(), "追加");
    EXPECT_EQ(shown<frmKE41S>(), nullptr);
}

TEST_F(StartUp, UOrSWithDateAndNumberOpenThatVoucher) {
    InsertVoucher(folder, 202611, 15, 20261110, {{1, 1, kCash, "1000"}, {1, 2, kSales, "1000"}});
    ASSERT_TRUE(run({"U", "2026/11/10", "15", "/S"}));
    EXPECT_EQ(gstrStartMode, "");
    EXPECT_EQ(glngDenYm, 202611);
    EXPECT_EQ(glngDenNendo, 2026);
    EXPECT_EQ(glngDenNo, 15);
    frmKE410* f = shown<frmKE410>();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->lblMode->Caption(), "変更");
    EXPECT_EQ(f->txtDenno->Value(), "15");
    delete f;
    ASSERT_TRUE(run({"S", "2026/11/10", "15", "/S"}));
    ASSERT_NE(shown<frmKE410>(), nullptr);
    EXPECT_EQ(shown<frmKE410>()->lblMode->Caption(), "参照");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(StartUp, BadDateOrNumberEndsWithTheArgumentMessage) {
    for (const QStringList& args : {QStringList{"U", "2026/13/40", "15", "/S"}, QStringList{"U", "2026/11/10", "X", "/S"}}) {
        msgs.Clear();
        EXPECT_FALSE(run(args));
        ASSERT_EQ(msgs.Calls().size(), 1u);
        EXPECT_EQ(msgs.Last().prompt, "引数が不正です。");
        EXPECT_EQ(msgs.Last().icon(), vbCritical);
        EXPECT_EQ(shown<frmKE410>(), nullptr);
    }
}

TEST_F(StartUp, AnythingElseOpensTheVoucherList) {
    for (const QStringList& args : {QStringList{"i", "/S"}, QStringList{"/S"}, QStringList{"U", "2026/11/10", "/S"}}) {
        ASSERT_TRUE(run(args));
        EXPECT_NE(shown<frmKE41S>(), nullptr) << args.join(' ').toStdString();
        EXPECT_EQ(shown<frmKE410>(), nullptr);
        TearDown();
    }
}

TEST_F(StartUp, CommandLineWithoutSlashSIsRefused) {
    EXPECT_FALSE(run({"I"}));
    EXPECT_EQ(msgs.Texts().first(), "メニューからでないと起動できません");
}

TEST_F(StartUp, SearchDefaultsSpanAMonthEachSideOfToday) {
    ASSERT_TRUE(fncConnectDB());
    InitSearchDefaults();
    EXPECT_EQ(glngSrchDateSt, 20261108);
    EXPECT_EQ(glngSrchDateEnd, 20270108);
    EXPECT_EQ(glngSrchNDateSt, 20261108);
    EXPECT_EQ(glngSrchDenNoSt, 0);
    EXPECT_EQ(glngSrchDenNoEnd, 99999999);
    EXPECT_EQ(gintSrchDate, 1);
    EXPECT_EQ(gintSrchNDate, 0);
    SetToday(QDate(2031, 3, 31));  // no fiscal year
    InitSearchDefaults();
    EXPECT_EQ(glngSrchDateSt, 20310301);
    EXPECT_EQ(glngSrchDateEnd, 20310401);
    SetToday(QDate(2027, 1, 31));  // the day is clamped to the month's end
    InitSearchDefaults();
    EXPECT_EQ(glngSrchDateSt, 20261231);
    EXPECT_EQ(glngSrchDateEnd, 20270228);
}

// A system.ini whose user, branch or group is not in the masters must not
// open anybody's books: the program refuses before any window.
TEST_F(StartUp, SystemIniNamingNoUserBranchOrGroupOfTheMastersIsRefused) {
    folder.Sql("INSERT INTO SSKMF (SSK_CD, SSK_RNAME, SSK_SBANKBN, SSK_SDNKBN) VALUES (2, '支店', 0, 0)");
    folder.Sql("INSERT INTO GRPMF (GRP_SSKCD, GRP_CD, GRP_RNAME, GRP_KBN) VALUES (2, 5, '支店営業部', 0)");
    QByteArray binary;
    for (int i = 0; i < 512; ++i) binary += static_cast<char>((i * 37 + 11) % 256);
    const struct {
        QByteArray ini;
        QString key;
    } cases[] = {
        {"", "CURRENTUSER"},
        {"garbage without any section\n%%%%\n", "CURRENTUSER"},
        {binary, "CURRENTUSER"},
        {"[CLIENT]\nCURRENTUSER=abc\nCURRENTSSK=1\nCURRENTGRP=1\nCURRENTTYPE=3\n", "CURRENTUSER"},
        {"[CLIENT]\nCURRENTUSER=9\nCURRENTSSK=1\nCURRENTGRP=1\nCURRENTTYPE=3\n", "CURRENTUSER"},
        {"[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=7\nCURRENTGRP=1\nCURRENTTYPE=3\n", "CURRENTSSK"},
        {"[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=x\nCURRENTGRP=1\nCURRENTTYPE=3\n", "CURRENTSSK"},
        {"[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=1\nCURRENTGRP=9\nCURRENTTYPE=3\n", "CURRENTGRP"},
        // Group 5 exists, but of branch 2.
        {"[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=1\nCURRENTGRP=5\nCURRENTTYPE=3\n", "CURRENTGRP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini.left(80).toStdString());
        folder.WriteFile("system.ini", c.ini);
        msgs.Clear();
        for (const QStringList& args : {QStringList{"I", "/S"}, QStringList{"/S"}}) {
            EXPECT_FALSE(run(args));
            AppInfo::ReleaseInstance();
            EXPECT_EQ(shown<frmKE410>(), nullptr);
            EXPECT_EQ(shown<frmKE41S>(), nullptr);
        }
        ASSERT_EQ(msgs.Calls().size(), 2u) << msgs.Texts().join("|").toStdString();
        for (const auto& m : msgs.Calls()) {
            EXPECT_TRUE(m.prompt.contains("system.ini")) << m.prompt.toStdString();
            EXPECT_TRUE(m.prompt.contains(c.key)) << m.prompt.toStdString();
            EXPECT_EQ(m.icon(), vbExclamation);
        }
        EXPECT_FALSE(!gobjDB.IsNothing() && gobjDB->IsConnected());
        TearDown();
    }
    // The same branch-2 settings are accepted when they match.
    folder.WriteFile("system.ini", "[CLIENT]\nCURRENTUSER=2\nCURRENTSSK=2\nCURRENTGRP=5\nCURRENTTYPE=3\n");
    msgs.Clear();
    ASSERT_TRUE(run({"/S"}));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_NE(shown<frmKE41S>(), nullptr);
    EXPECT_EQ(folder.Scalar("SELECT COUNT(*) FROM DNHDT"), "0");
}

// Many editors save as UTF-16 with a byte-order mark.
TEST_F(StartUp, SystemIniInUtf16WithByteOrderMarkIsRead) {
    const QString text = "; 端末の設定\r\n[CLIENT]\r\nCURRENTUSER=2\r\nCURRENTSSK=1\r\nCURRENTGRP=2\r\nCURRENTTYPE=3\r\n";
    for (bool bigEndian : {false, true}) {
        QByteArray raw = bigEndian ? QByteArray("\xfe\xff") : QByteArray("\xff\xfe");
        for (QChar c : text) {
            char hi = static_cast<char>(c.unicode() >> 8), lo = static_cast<char>(c.unicode() & 0xff);
            raw += bigEndian ? QByteArray{1, hi} + QByteArray{1, lo} : QByteArray{1, lo} + QByteArray{1, hi};
        }
        folder.WriteFile("system.ini", raw);
        ASSERT_TRUE(run({"I", "/S"})) << msgs.Texts().join("|").toStdString();
        AppInfo::ReleaseInstance();
        EXPECT_EQ(glngUserId, 2);
        EXPECT_EQ(glngSskCd, 1);
        EXPECT_EQ(glngGrpCd, 2);
        EXPECT_EQ(glngUserType, 3);
        EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
        TearDown();
        EndSystem();
    }
}

// ---------------------------------------------------------------- a database that cannot be used

// The bytes of a file, to see that a refused database was left as it was.
QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Another program holding the database as `sqlite3` does with
// "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT 1;", until the
// file "release" appears in the folder.
int holdDatabase(const QStringList& args) {
    sqlite3* h = nullptr;
    if (sqlite3_open(args[1].toUtf8().constData(), &h) != SQLITE_OK) return 2;
    if (sqlite3_exec(h, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT COUNT(*) FROM sqlite_master;",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        return 3;
    QFile(args[0] + "/holding").open(QIODevice::WriteOnly);
    for (int i = 0; i < 1200 && !QFile::exists(args[0] + "/release"); ++i) QThread::msleep(50);
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(h);
    return 0;
}
const bool regHold = RegisterChild("holddatabase", holdDatabase);

TEST_F(StartUp, ADatabaseAnotherProgramHoldsIsSaidToBeInUseWithinSeconds) {
    const QByteArray before = FileBytes(folder.DbFile());
    auto other = StartChild("holddatabase", {folder.Path(), folder.DbFile()});
    for (int i = 0; i < 200 && !QFile::exists(folder.Path() + "/holding"); ++i) QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(folder.Path() + "/holding")) << other->readAll().toStdString();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(run({"I", "/S"}));
    const qint64 waited = clock.elapsed();
    QFile(folder.Path() + "/release").open(QIODevice::WriteOnly);
    other->waitForFinished(30000);
    EXPECT_LT(waited, 8000);
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    const QString p = msgs.Last().prompt;
    EXPECT_TRUE(p.contains("データベースが他のプログラムによって使用中です。")) << p.toStdString();
    EXPECT_FALSE(p.contains("このシステムのデータベースではありません")) << p.toStdString();
    EXPECT_EQ(shown<frmKE410>(), nullptr);
    EXPECT_TRUE(FileBytes(folder.DbFile()) == before);
    EXPECT_FALSE(QFileInfo::exists(folder.DbFile() + "-wal"));
}

// The program started by another user: the folder `args[0]` with its
// settings, the lock of the instance in `args[1]`. Every message is
// written to the output.
int startAsAnotherUser(const QStringList& args) {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 2;
    AppInfo::SetFolder(args[0]);
    AppInfo::SetLockFolder(args[1]);
    SetMsgBoxHandler([](const MsgBoxCall& c) {
        std::printf("MSG:%s\n", QString(c.prompt).replace('\n', '|').toUtf8().constData());
        std::fflush(stdout);
        return static_cast<int>(vbOK);
    });
    AppInfo::SetArguments({"I", "/S"});
    std::printf("MAIN:%d\n", Main() ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
const bool regUser = RegisterChild("asanotheruser", startAsAnotherUser);

// A user who may read the database but not write it, or not write its
// folder (where the database keeps its write-ahead log), is told so once.
TEST_F(StartUp, ADatabaseTheUserCannotWriteIsSaidSoOnce) {
    QTemporaryDir locks;
    QFile::setPermissions(locks.path(), QFileDevice::Permissions(0x7777));
    const QByteArray before = FileBytes(folder.DbFile());
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const auto read = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther;
    const struct {
        QFileDevice::Permissions folder, file;
        const char* says;
    } cases[] = {
        {all, read, "データベースに書き込めません"},
        {all & ~QFileDevice::WriteOther, read | QFileDevice::WriteOther, "フォルダに書き込めません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        ASSERT_TRUE(QFile::setPermissions(folder.Path(), c.folder));
        ASSERT_TRUE(QFile::setPermissions(folder.DbFile(), c.file));
        QString output;
        EXPECT_EQ(RunChild("asanotheruser", {folder.Path(), locks.path()}, &output), 0) << output.toStdString();
        const QStringList messages = output.split('\n').filter(QRegularExpression("^MSG:"));
        ASSERT_EQ(messages.size(), 1) << output.toStdString();
        EXPECT_TRUE(messages[0].contains(c.says)) << output.toStdString();
        EXPECT_TRUE(messages[0].contains(folder.DbFile())) << output.toStdString();
        EXPECT_FALSE(messages[0].contains("このシステムのデータベースではありません")) << output.toStdString();
        EXPECT_TRUE(output.contains("MAIN:0")) << output.toStdString();
        EXPECT_TRUE(FileBytes(folder.DbFile()) == before);
        EXPECT_FALSE(QFileInfo::exists(folder.DbFile() + "-wal"));
        EXPECT_FALSE(QFileInfo::exists(folder.DbFile() + "-shm"));
    }
    QFile::setPermissions(folder.Path(), all);
}

// The server named in DB.udl is not running (nothing listens on its port):
// within seconds one message that names the server and the database and
// says why; no window opens.
TEST_F(StartUp, AServerThatIsNotRunningIsNamedWithinSeconds) {
    if (!TestsOnServer()) GTEST_SKIP() << "a server's book";
    // A port nothing listens on: one the system gave out and took back.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    close(probe);
    const QString port = QString::number(ntohs(addr.sin_port));
    QFile udl(folder.Path() + "/DB.udl");
    ASSERT_TRUE(udl.open(QIODevice::ReadOnly));
    QString link = QString::fromUtf8(udl.readAll());
    udl.close();
    const QString database = QRegularExpression("Initial Catalog=([^;\\n]*)").match(link).captured(1);
    link.replace(QRegularExpression("Data Source=[^;\\n]*"), "Data Source=127.0.0.1:" + port);
    folder.WriteFile("DB.udl", link.toUtf8());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(run({"I", "/S"}));
    EXPECT_LT(clock.elapsed(), 8000);
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    const QString p = msgs.Last().prompt;
    EXPECT_TRUE(p.contains("127.0.0.1:" + port)) << p.toStdString();
    EXPECT_TRUE(p.contains(database)) << p.toStdString();
    EXPECT_TRUE(p.contains("サーバーが停止している")) << p.toStdString();
    EXPECT_EQ(shown<frmKE410>(), nullptr);
}

TEST_F(StartUp, ATruncatedDatabaseIsSaidToBeDamaged) {
    QFile db(folder.DbFile());
    ASSERT_TRUE(db.resize(2 * 4096));
    const QByteArray before = FileBytes(folder.DbFile());
    EXPECT_FALSE(run({"I", "/S"}));
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    const QString p = msgs.Last().prompt;
    EXPECT_TRUE(p.contains("データベースが壊れている")) << p.toStdString();
    EXPECT_TRUE(p.contains(folder.DbFile())) << p.toStdString();
    EXPECT_FALSE(p.contains("このシステムのデータベースではありません")) << p.toStdString();
    EXPECT_EQ(shown<frmKE410>(), nullptr);
    EXPECT_TRUE(FileBytes(folder.DbFile()) == before);
    EXPECT_FALSE(QFileInfo::exists(folder.DbFile() + "-wal"));
}

TEST(TabIni, NonZeroValuesAreSkippedAndEmptyTextIsAStop) {
    AppFolder folder;
    folder.WriteFile("Tab.ini", "[TAB]\nKRHK2CD=1\nKSHK2CD=1\nKRTAX=\nKRTRICD=abc\n");
    ReadTabIni();
    EXPECT_EQ(fncNextTabColumn("KRHK1CD"), "KRZKBN");
    EXPECT_EQ(fncNextTabColumn("KSHK1CD"), "KSZKBN");
    EXPECT_EQ(fncNextTabColumn("KRKIN"), "KRTAX");
    EXPECT_EQ(fncNextTabColumn("KRTAX"), "KRTRICD");
    EXPECT_EQ(fncNextTabColumn("KSTEKI"), "KRKMKCD");
    EXPECT_EQ(fncNextTabColumn("KRKMKNM"), "");
    QByteArray all = "[TAB]\n";
    for (int i = 1; i <= 16; ++i) all += gstrTabKey[i].toUtf8() + "=1\n";
    folder.WriteFile("Tab.ini", all);
    ReadTabIni();
    for (int i = 1; i <= 16; ++i) EXPECT_EQ(fncNextTabColumn(gstrTabKey[i]), "");
    // Only the two account columns: Tab goes from one to the other.
    folder.WriteFile("Tab.ini", all.replace("KRKMKCD=1", "KRKMKCD=0").replace("KSKMKCD=1", "KSKMKCD=0"));
    ReadTabIni();
    EXPECT_EQ(fncNextTabColumn("KRKMKCD"), "KSKMKCD");
    EXPECT_EQ(fncNextTabColumn("KSKMKCD"), "KRKMKCD");
}

}  // namespace
