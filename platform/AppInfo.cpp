#include "platform/AppInfo.h"

#include "platform/ReportConverter.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLibraryInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTranslator>
#include <memory>
#include <unistd.h>

namespace {
QString g_folder;
QString g_title;
QString g_name;
QStringList g_args;
bool g_argsSet = false;
QString g_lockFolder;
std::unique_ptr<QLockFile> g_lock;
}  // namespace

namespace AppInfo {

QString Folder() {
    if (!g_folder.isEmpty()) return g_folder;
    QString f = QCoreApplication::applicationDirPath();
    return f;
}
void SetFolder(const QString& folder) { g_folder = folder; }

QString Title() {
    if (!g_title.isEmpty()) return g_title;
    return QCoreApplication::applicationName();
}
void SetTitle(const QString& title) { g_title = title; }

QString Name() {
    if (!g_name.isEmpty()) return g_name;
    return QCoreApplication::applicationName();
}
void SetName(const QString& name) { g_name = name; }

QString CommandLine() {
    if (g_argsSet) return g_args.join(' ');
    QStringList a = QCoreApplication::arguments();
    if (!a.isEmpty()) a.removeFirst();
    return a.join(' ');
}
void SetArguments(const QStringList& args) {
    g_args = args;
    g_argsSet = true;
}

void SetLockFolder(const QString& folder) { g_lockFolder = folder; }

bool PrevInstance() {
    if (g_lock) return false;  // this process already holds it
    QString dir = g_lockFolder;
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    // A program opened by another one (TAVIK_INSTANCE names the opener) is
    // an instance of its own beside the one the user started.
    QString name = Name();
    const QString opener = qEnvironmentVariable("TAVIK_INSTANCE");
    if (!opener.isEmpty()) name += "-" + opener;
    QString file = dir + "/" + name + "-" + QString::number(getuid()) + ".lock";
    auto lock = std::make_unique<QLockFile>(file);
    lock->setStaleLockTime(0);  // only a live process keeps the lock
    if (!lock->tryLock(0)) return true;
    g_lock = std::move(lock);
    return false;
}

void ReleaseInstance() { g_lock.reset(); }

void InitApplication() {
    static bool done = false;
    if (done) return;
    done = true;
    auto* tr = new QTranslator(qApp);
    if (tr->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(tr);
    QFont::insertSubstitution(QString::fromUtf8("ＭＳ Ｐゴシック"), "IPAPGothic");
    QFont::insertSubstitution(QString::fromUtf8("ＭＳ ゴシック"), "IPAGothic");
    QFont::insertSubstitution(QString::fromUtf8("ＭＳ 明朝"), "IPAMincho");
    QFont f(QString::fromUtf8("ＭＳ Ｐゴシック"));
    f.setPointSize(10);
    QApplication::setFont(f);
    // What a killed run of the reports left in the temporary folder.
    ReportConverter::RemoveLeftovers();
}

}  // namespace AppInfo
