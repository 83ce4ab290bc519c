#include "TestSupport.h"

#include "common/basStdComm.h"
#include "database/DemoData.h"
#include "database/Schema.h"
#include "platform/AppInfo.h"
#include "platform/VbCompat.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
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

AppFolder::AppFolder(bool connect) {
    EXPECT_TRUE(dir_.isValid());
    WriteFile("system.ini", "[CLIENT]\nCURRENTUSER=1\nCURRENTSSK=1\nCURRENTGRP=1\nCURRENTTYPE=3\n");
    WriteFile("DB.udl", "[oledb]\nProvider=SQLite;Data Source=test.db\n");
    WriteFile("Tab.ini", "[TAB]\n");
    {
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
    ASSERT_TRUE(db.ConnectFile(DbFile()));
    ASSERT_TRUE(db.Execute(sql)) << db.ErrorText().toStdString() << "\n" << sql.toStdString();
}

QString AppFolder::Scalar(const QString& sql) const {
    DBAccess db;
    EXPECT_TRUE(db.ConnectFile(DbFile()));
    RecordsetPtr rs = db.OpenRecordset(sql);
    return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
}

void AppFolder::Demo(const QDate& today) const {
    DBAccess db;
    ASSERT_TRUE(db.ConnectFile(DbFile()));
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
