#include "TestSupport.h"

#include "common/basStdComm.h"
#include "database/DemoData.h"
#include "database/Schema.h"
#include "platform/AppError.h"
#include "platform/AppInfo.h"
#include "platform/VbCompat.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

using namespace basStdComm;

MsgRecorder::MsgRecorder() {
    SetMsgBoxHandler([this](const MsgBoxCall& c) {
        calls_.push_back(c);
        if (!answers_.empty()) {
            int a = answers_.front();
            answers_.pop_front();
            return a;
        }
        switch (c.buttons()) {
        case vbYesNo:
        case vbYesNoCancel: return defaultYesNo;
        default: return static_cast<int>(vbOK);
        }
    });
}

MsgRecorder::~MsgRecorder() { SetMsgBoxHandler(nullptr); }

QStringList MsgRecorder::Texts() const {
    QStringList t;
    for (const auto& c : calls_) t << c.prompt;
    return t;
}

namespace {
// The server of the tests' PostgreSQL databases, when they run there.
QString testServer() { return qEnvironmentVariable("TAVIK_TEST_PG_SERVER", "127.0.0.1:55439"); }

QByteArray serverLink(const QString& database) {
    return ("[oledb]\nProvider=PostgreSQL;Data Source=" + testServer() + ";Initial Catalog=" + database +
            ";User ID=" + qEnvironmentVariable("TAVIK_TEST_PG_USER", "postgres") + "\n")
        .toUtf8();
}

// Runs a statement on the server's own database (making and dropping the
// tests' databases).
bool serverExecute(const QString& sql, QString* error = nullptr) {
    static QTemporaryDir dir;
    static const QString link = [] {
        QFile f(dir.path() + "/admin.udl");
        f.open(QIODevice::WriteOnly);
        f.write(serverLink("postgres"));
        return f.fileName();
    }();
    DBAccess db;
    db.SetDataLinkFile(link);
    const bool ok = db.Connect() && db.Execute(sql);
    if (!ok && error) *error = db.ErrorText();
    return ok;
}

// The database every test's database is copied from: the tables of an
// empty book, made once (by the first test program to need it).
const char* kTemplate = "tavik_template";

bool makeTemplate() {
    static bool made = false;
    if (made) return true;
    const QString building = QString("tavik_template_%1").arg(QCoreApplication::applicationPid());
    serverExecute("DROP DATABASE IF EXISTS " + building);
    QString error;
    if (!serverExecute("CREATE DATABASE " + building, &error)) {
        ADD_FAILURE() << error.toStdString();
        return false;
    }
    QTemporaryDir dir;
    {
        QFile f(dir.path() + "/DB.udl");
        f.open(QIODevice::WriteOnly);
        f.write(serverLink(building));
    }
    {
        DBAccess db;
        db.SetDataLinkFile(dir.path() + "/DB.udl");
        EXPECT_TRUE(db.Connect() && Schema::Prepare(db)) << db.ErrorText().toStdString();
        // The tests read lists of values with GROUP_CONCAT, and how a value
        // is kept with typeof() (a number without fraction digits is an
        // integer): functions of SQLite's that the programs do not use.
        EXPECT_TRUE(db.Execute(R"SQL(
CREATE FUNCTION test_concat(acc text, v anyelement, sep text) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT CASE WHEN v IS NULL THEN acc WHEN acc IS NULL THEN v::text ELSE acc || sep || v::text END $$;
CREATE FUNCTION test_concat(acc text, v anyelement) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT test_concat(acc, v, ',') $$;
CREATE AGGREGATE GROUP_CONCAT(anyelement, text) (SFUNC = test_concat, STYPE = text);
CREATE AGGREGATE GROUP_CONCAT(anyelement) (SFUNC = test_concat, STYPE = text);
CREATE FUNCTION typeof(v numeric) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT CASE WHEN v IS NULL THEN 'null' WHEN scale(v) = 0 THEN 'integer' ELSE 'real' END $$;
CREATE FUNCTION typeof(v integer) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'integer' END $$;
CREATE FUNCTION typeof(v text) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT CASE WHEN v IS NULL THEN 'null' ELSE 'text' END $$;
)SQL")) << db.ErrorText().toStdString();
    }
    // Another test program may have made it meanwhile: then this one goes.
    if (!serverExecute(QString("ALTER DATABASE %1 RENAME TO %2").arg(building, kTemplate)))
        serverExecute("DROP DATABASE IF EXISTS " + building);
    made = true;
    return true;
}
}  // namespace

bool TestsOnServer() { return qEnvironmentVariable("TAVIK_TEST_ENGINE") == "postgres"; }

AppFolder::AppFolder(bool connect) {
    EXPECT_TRUE(dir_.isValid());
    WriteFile("system.ini", "[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=1\nCURRENTGRP=1\nCURRENTTYPE=3\n");
    WriteFile("Tab.ini", "[TAB]\n");
    if (TestsOnServer()) {
        static int made = 0;
        database_ = QString("t%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
        WriteFile("DB.udl", serverLink(database_));
        QString error;
        if (!makeTemplate() ||
            !serverExecute(QString("CREATE DATABASE %1 TEMPLATE %2").arg(database_, kTemplate), &error))
            ADD_FAILURE() << error.toStdString();
    } else {
        WriteFile("DB.udl", "[oledb]\nProvider=SQLite;Data Source=test.db\n");
        DBAccess db;
        EXPECT_TRUE(db.ConnectFile(DbFile(), true)) << db.ErrorText().toStdString();
        EXPECT_TRUE(Schema::Prepare(db)) << db.ErrorText().toStdString();
    }
    AppInfo::SetFolder(Path());
    AppInfo::SetLockFolder(Path());
    SetAppPath();
    ReadSystemIni();
    if (connect) {
        EXPECT_TRUE(fncConnectDB()) << gobjDB->ErrorText().toStdString();
    }
}

AppFolder::~AppFolder() {
    EndSystem();
    AppInfo::ReleaseInstance();
    SetToday(QDate());
    if (!database_.isEmpty()) serverExecute("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
}

bool AppFolder::Connect(DBAccess& db) const {
    db.SetDataLinkFile(Path() + "/DB.udl");
    return db.Connect();
}

QString AppFolder::Path() const { return dir_.path(); }
QString AppFolder::DbFile() const { return dir_.path() + "/test.db"; }

void AppFolder::WriteFile(const QString& name, const QByteArray& content) const {
    QFile f(dir_.path() + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

void AppFolder::Sql(const QString& sql) const {
    DBAccess db;
    ASSERT_TRUE(Connect(db)) << db.ErrorText().toStdString();
    ASSERT_TRUE(db.Execute(sql)) << db.ErrorText().toStdString() << "\n" << sql.toStdString();
}

QString AppFolder::Scalar(const QString& sql) const {
    DBAccess db;
    EXPECT_TRUE(Connect(db)) << db.ErrorText().toStdString();
    RecordsetPtr rs = db.OpenRecordset(sql);
    return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
}

void AppFolder::Demo(const QDate& today) const {
    DBAccess db;
    ASSERT_TRUE(Connect(db)) << db.ErrorText().toStdString();
    Schema::RegisterProcedures(db);
    ASSERT_TRUE(DemoData::Fill(db, today.isValid() ? today : Today())) << db.ErrorText().toStdString();
}

namespace {
std::map<QString, ChildMain>& children() {
    static std::map<QString, ChildMain> m;
    return m;
}
}  // namespace

bool UseScreen1280x1024() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TAVIK_TEST_SUPPORT_DIR "/screen-1280x1024.json");
    return true;
}

bool RegisterChild(const QString& role, ChildMain fn) {
    children()[role] = std::move(fn);
    return true;
}

std::unique_ptr<QProcess> StartChild(const QString& role, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->start(QCoreApplication::applicationFilePath(), QStringList{"--child", role} + args);
    return p;
}

int RunChild(const QString& role, const QStringList& args, QString* output, int timeoutMs) {
    auto p = StartChild(role, args);
    if (!p->waitForFinished(timeoutMs)) {
        p->kill();
        return -1;
    }
    if (output) *output = QString::fromUtf8(p->readAll());
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
}

// Dispatches "--child ROLE args..." (see test_main.cpp).
int RunRegisteredChild(const QString& role, const QStringList& args) {
    auto it = children().find(role);
    if (it == children().end()) return 99;
    return it->second(args);
}

long ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const AppError& e) {
        return e.Number;
    }
    return 0;
}
