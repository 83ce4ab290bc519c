#include "platform/ReportConverter.h"

#include "platform/AppError.h"
#include "platform/XlsReport.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace ReportConverter {

namespace {

QString SofficePath() {
    QString env = qEnvironmentVariable("TAVIK_SOFFICE");
    if (!env.isEmpty()) return env;
    for (const char* name : {"soffice", "libreoffice"}) {
        QString p = QStandardPaths::findExecutable(name);
        if (!p.isEmpty()) return p;
    }
    return QString();
}

// One LibreOffice profile per process, so that conversions of concurrent
// programs (and test runs) never share one. It goes with the program, and
// after a converter was ended half way (its profile may be left broken).
// Converters running side by side each have one of their own (by slot).
std::map<int, std::unique_ptr<TempFolder>>& ProfileDirs() {
    static std::map<int, std::unique_ptr<TempFolder>> dirs;
    return dirs;
}

QString ProfileUrl(int slot) {
    std::unique_ptr<TempFolder>& dir = ProfileDirs()[slot];
    if (!dir) dir = std::make_unique<TempFolder>("tavik-lo");
    return QUrl::fromLocalFile(dir->path()).toString();
}

void DropProfile() { ProfileDirs().clear(); }

// The processes of the groups that run (one that ended but was not yet
// reaped does not count), by their /proc entries.
QStringList GroupProcesses(const std::vector<pid_t>& groups) {
    QStringList found;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        bool number = false;
        e.toInt(&number);
        if (!number) continue;
        QFile f("/proc/" + e + "/stat");
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray stat = f.readAll();
        // "pid (name) state ppid pgrp ...": the name may hold blanks.
        const int close = stat.lastIndexOf(')');
        if (close < 0) continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[0] != "X" &&
            std::find(groups.begin(), groups.end(), static_cast<pid_t>(fields[2].toLongLong())) != groups.end())
            found << e;
    }
    return found;
}

// True while a process of the group runs.
bool GroupRuns(pid_t group) { return !GroupProcesses({group}).isEmpty(); }

// The Unix sockets bound to a path, by inode, as the kernel lists them in
// /proc/net/unix: "Num RefCount Protocol Flags Type St Inode Path", the
// inode padded with blanks, the path written as it is after one blank, up
// to the end of the line (a path may hold blanks, and a line break, which
// goes on in a line that does not begin a record).
std::map<QByteArray, QByteArray> SocketPaths() {
    std::map<QByteArray, QByteArray> pathOf;
    QFile table("/proc/net/unix");
    if (!table.open(QIODevice::ReadOnly)) return pathOf;
    static const QRegularExpression record("^[0-9a-fA-F]+: ");
    QByteArray* last = nullptr;
    QByteArray text = table.readAll();
    if (text.endsWith('\n')) text.chop(1);
    for (const QByteArray& line : text.split('\n')) {
        if (!record.match(QString::fromLatin1(line.left(24))).hasMatch()) {
            if (last) *last += '\n' + line;
            continue;
        }
        last = nullptr;
        int pos = 0;
        QByteArray inode;
        int field = 0;
        for (; field < 7; ++field) {
            while (pos < line.size() && line[pos] == ' ') ++pos;
            const int start = pos;
            while (pos < line.size() && line[pos] != ' ') ++pos;
            if (pos == start) break;
            if (field == 6) inode = line.mid(start, pos - start);
        }
        if (field < 7 || pos + 1 >= line.size() || line[pos + 1] != '/') continue;
        QByteArray& path = pathOf[inode];
        path = line.mid(pos + 1);
        last = &path;
    }
    return pathOf;
}

// The inodes of the sockets that the process has open.
QStringList SocketInodes(const QString& pid) {
    QStringList inodes;
    const QString fds = "/proc/" + pid + "/fd";
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[64];
        const ssize_t n = ::readlink(QFile::encodeName(fds + "/" + fd).constData(), target, sizeof target - 1);
        if (n > 9 && std::strncmp(target, "socket:[", 8) == 0)
            inodes << QString::fromLatin1(target + 8, static_cast<int>(n) - 9);
    }
    return inodes;
}

// The Unix sockets that processes of the groups have bound, by path.
// LibreOffice binds its single-instance pipe in /tmp whatever TMPDIR says,
// and a converter that is ended leaves it there.
QStringList BoundSockets(const std::vector<pid_t>& groups) {
    const QStringList processes = GroupProcesses(groups);
    if (processes.isEmpty()) return {};
    const std::map<QByteArray, QByteArray> pathOf = SocketPaths();
    // The program's own sockets, which its converters hold only because
    // they inherited them, stay.
    const QStringList own = SocketInodes(QString::number(::getpid()));
    QStringList found;
    for (const QString& pid : processes)
        for (const QString& inode : SocketInodes(pid)) {
            const auto it = pathOf.find(inode.toLatin1());
            if (it == pathOf.end() || own.contains(inode)) continue;
            const QString path = QFile::decodeName(it->second);
            if (!found.contains(path)) found << path;
        }
    return found;
}

// Removes what of the sockets is left (a socket, nothing else).
void RemoveSockets(const QStringList& paths) {
    for (const QString& path : paths) {
        struct stat st {};
        const QByteArray name = QFile::encodeName(path);
        if (::lstat(name.constData(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(name.constData());
    }
}

// Ends every process of the converter's group and waits (a little) until
// they are gone.
void EndGroup(pid_t group) {
    if (group <= 1) return;
    if (::kill(-group, SIGKILL) != 0) return;   // none left
    QElapsedTimer waited;
    waited.start();
    while (GroupRuns(group) && waited.elapsed() < 10000) QThread::msleep(10);
}


// ---------------------------------------------------------------- an end by a signal

// What the program must not leave behind when a signal ends it: its
// folders and the groups of the converters it runs. Never destroyed (the
// watch below may use it while the program ends).
struct Owned {
    std::mutex lock;
    std::set<QString> folders;
    std::set<pid_t> groups;
};

Owned& Own() {
    static Owned* owned = new Owned;
    return *owned;
}

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    const int saved = errno;
    const ssize_t written = ::write(g_signalPipe[1], &sig, sizeof sig);
    (void)written;
    errno = saved;
}

// True while the process is a child of the program not yet reaped: its id,
// and so its group's, is then the program's own.
bool Held(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// Ends every process of the groups; the sockets they had bound go too.
void EndGroups(const std::vector<pid_t>& groups) {
    // Stopped first, so that none binds a socket after they were seen.
    for (pid_t group : groups) ::kill(-group, SIGSTOP);
    const QStringList sockets = BoundSockets(groups);
    for (pid_t group : groups) ::kill(-group, SIGKILL);
    for (pid_t group : groups) EndGroup(group);
    RemoveSockets(sockets);
}

// From the first folder or converter on, SIGTERM and SIGHUP end the
// program through a thread of its own: it ends the converters, removes the
// folders and then lets the signal end the program as it would have. (A
// signal the program was started to ignore stays ignored.)
void WatchEndSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(g_signalPipe, O_CLOEXEC) != 0) return;
        std::thread([] {
            sigset_t ending;
            sigemptyset(&ending);
            sigaddset(&ending, SIGTERM);
            sigaddset(&ending, SIGHUP);
            pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
            int sig = 0;
            while (::read(g_signalPipe[0], &sig, sizeof sig) != static_cast<ssize_t>(sizeof sig))
                if (errno != EINTR) return;
            Owned& own = Own();
            own.lock.lock();   // kept to the end: nothing starts or goes meanwhile
            std::vector<pid_t> held;
            for (pid_t group : own.groups)
                if (Held(group)) held.push_back(group);
            EndGroups(held);
            for (const QString& folder : own.folders) QDir(folder).removeRecursively();
            ::signal(sig, SIG_DFL);
            ::raise(sig);
            ::_exit(128 + sig);
        }).detach();
        for (int sig : {SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = OnSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            ::sigaction(sig, &action, nullptr);
        }
    });
}

struct ConverterRun {
    QString program;
    QStringList arguments;
    // The converter's temporary folder (TMPDIR); none: the program's.
    QString tempDir;
};

// Runs the commands side by side, each in a process group of its own, and
// waits for all of them. stop is asked now and then; when it says true,
// or when one of them fails, every group ends at once. Returns false when
// stopped; a failure leaves its output in failure.
bool RunConverters(const std::vector<ConverterRun>& runs, const std::function<bool()>& stop, bool* failed,
                   QString* failure) {
    *failed = false;
    std::vector<std::unique_ptr<QProcess>> processes;
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    auto endAll = [&] {
        // Only the groups whose first process the program still holds (it
        // ran or ended, but was not yet reaped): their ids are the
        // program's own and name no other program's processes.
        std::vector<pid_t> held;
        for (const auto& p : processes)
            if (p->state() != QProcess::NotRunning && p->processId() > 1)
                held.push_back(static_cast<pid_t>(p->processId()));
        EndGroups(held);
    };
    auto failedOne = [&](QProcess& p) {
        return p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0;
    };
    bool stopped = false;
    for (const ConverterRun& run : runs) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::MergedChannels);
        // The launcher, soffice.bin and whatever they start form a process
        // group of their own, so that the whole converter can be ended.
        p->setChildProcessModifier([] { ::setsid(); });
        if (!run.tempDir.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"TMPDIR", "TMP", "TEMP"}) env.insert(name, run.tempDir);
            p->setProcessEnvironment(env);
        }
        WatchEndSignals();
        std::unique_lock<std::mutex> owning(Own().lock);
        p->start(run.program, run.arguments);
        if (!p->waitForStarted(-1)) {
            *failed = true;
            *failure = p->errorString();
            processes.push_back(std::move(p));
            break;
        }
        Own().groups.insert(static_cast<pid_t>(p->processId()));
        processes.push_back(std::move(p));
    }
    if (!*failed) {
        auto running = [&] {
            int n = 0;
            for (const auto& p : processes)
                if (p->state() != QProcess::NotRunning) ++n;
            return n;
        };
        auto firstFailure = [&]() -> QProcess* {
            for (const auto& p : processes)
                if (p->state() == QProcess::NotRunning && failedOne(*p)) return p.get();
            return nullptr;
        };
        if (!QCoreApplication::instance()) {
            for (const auto& p : processes) p->waitForFinished(-1);
        } else if (running() > 0) {
            // No time limit: the conversion takes as long as the report
            // needs. Meanwhile the windows paint, and a stop is asked for.
            QEventLoop loop;
            for (const auto& p : processes)
                QObject::connect(p.get(), &QProcess::finished, &loop, [&] {
                    if (running() == 0 || firstFailure()) loop.quit();
                });
            QTimer poll;
            bool asking = false;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (running() == 0 || firstFailure()) {
                    loop.quit();
                    return;
                }
                if (asking || !stop) return;
                asking = true;
                if (stop()) {
                    stopped = true;
                    loop.quit();
                }
                asking = false;
            });
            poll.start(50);
            // Without someone to ask, the user's input waits (the windows
            // must not be used half way through an output).
            if (running() > 0 && !firstFailure())
                loop.exec(stop ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        }
        if (!stopped)
            if (QProcess* p = firstFailure()) {
                *failed = true;
                *failure = QString::fromLocal8Bit(p->readAll()).trimmed().right(500);
            }
    }
    if (gui) QGuiApplication::restoreOverrideCursor();
    // Whatever of the converters is still there ends here.
    endAll();
    for (const auto& p : processes) {
        const pid_t group = static_cast<pid_t>(p->processId());
        p->waitForFinished(5000);
        std::lock_guard<std::mutex> owning(Own().lock);
        Own().groups.erase(group);
    }
    if (!stopped && !*failed)
        for (const auto& p : processes)
            if (failedOne(*p)) {
                *failed = true;
                *failure = QString::fromLocal8Bit(p->readAll()).trimmed().right(500);
                break;
            }
    return !stopped;
}

QString PdfUnitePath() {
    QString env = qEnvironmentVariable("TAVIK_PDFUNITE");
    if (!env.isEmpty()) return env;
    return QStandardPaths::findExecutable("pdfunite");
}

}  // namespace


QString RenderPdf(const QString& workbookPath, const QString& outputDir, const std::function<bool()>& stop) {
    const QStringList pdfs = RenderPdfs({workbookPath}, outputDir, stop);
    return pdfs.isEmpty() ? QString() : pdfs.front();
}

QStringList RenderPdfs(const QStringList& workbookPaths, const QString& outputDir,
                       const std::function<bool()>& stop) {
    const QString soffice = SofficePath();
    if (soffice.isEmpty())
        throw AppError(xlrErrRender,
                       QString::fromUtf8("帳票を出力するための LibreOffice (soffice) が見つかりません。"),
                       "XlsReport");
    // The converters' temporary files go to a folder of their own in the
    // work folder, removed with what they leave there on every path.
    QTemporaryDir temp(outputDir + "/temp-XXXXXX");
    if (!temp.isValid())
        throw AppError(xlrErrRender, QString::fromUtf8("帳票の作業フォルダを作成できません。"), "XlsReport");
    QStringList pdfs;
    std::vector<ConverterRun> runs;
    for (int i = 0; i < workbookPaths.size(); ++i) {
        const QString pdf = outputDir + "/" + QFileInfo(workbookPaths[i]).completeBaseName() + ".pdf";
        QFile::remove(pdf);
        pdfs << pdf;
        // Each converter has its own profile: two never share one.
        runs.push_back({soffice,
                        {"-env:UserInstallation=" + ProfileUrl(i), "--headless", "--invisible", "--norestore",
                         "--nologo", "--nodefault", "--nolockcheck", "--convert-to", "pdf", "--outdir", outputDir,
                         workbookPaths[i]},
                        temp.path()});
    }
    bool failed = false;
    QString failure;
    const bool done = RunConverters(runs, stop, &failed, &failure);
    if (!done) {
        for (const QString& pdf : pdfs) QFile::remove(pdf);
        DropProfile();
        return QStringList();
    }
    for (const QString& pdf : pdfs)
        if (!QFileInfo(pdf).isFile()) failed = true;
    if (failed) {
        for (const QString& pdf : pdfs) QFile::remove(pdf);
        DropProfile();
        throw AppError(xlrErrRender, QString::fromUtf8("帳票を作成できませんでした。") + "\n" + failure,
                       "XlsReport");
    }
    return pdfs;
}

bool JoinPdfs(const QStringList& pdfPaths, const QString& target, const std::function<bool()>& stop) {
    const QString pdfunite = PdfUnitePath();
    if (pdfunite.isEmpty())
        throw AppError(xlrErrRender,
                       QString::fromUtf8("帳票を作成できませんでした。") + "\n" +
                           QString::fromUtf8("PDF を結合するための pdfunite が見つかりません。"),
                       "XlsReport");
    QFile::remove(target);
    bool failed = false;
    QString failure;
    const bool done = RunConverters({{pdfunite, QStringList(pdfPaths) << target, QString()}}, stop, &failed, &failure);
    if (!done) {
        QFile::remove(target);
        return false;
    }
    if (failed || !QFileInfo(target).isFile()) {
        QFile::remove(target);
        throw AppError(xlrErrRender, QString::fromUtf8("帳票を作成できませんでした。") + "\n" + failure,
                       "XlsReport");
    }
    return true;
}

TempFolder::TempFolder(const QString& prefix)
    : dir_(QDir::tempPath() + "/" + prefix + "-" + QString::number(::getpid()) + "-XXXXXX") {
    WatchEndSignals();
    std::lock_guard<std::mutex> owning(Own().lock);
    if (dir_.isValid()) Own().folders.insert(dir_.path());
}

TempFolder::~TempFolder() {
    std::lock_guard<std::mutex> owning(Own().lock);
    Own().folders.erase(dir_.path());
}

std::unique_ptr<TempFolder> NewWorkFolder() { return std::make_unique<TempFolder>("tavik-report"); }

void RemoveLeftovers() {
    const QDir temp(QDir::tempPath());
    for (const QFileInfo& f : temp.entryInfoList({"tavik-report-*", "tavik-lo-*"}, QDir::Dirs | QDir::Hidden)) {
        // "<prefix>-<pid>-XXXXXX" of this user, whose program is gone.
        const QStringList parts = f.fileName().split('-');
        bool number = false;
        const long pid = parts.value(2).toLong(&number);
        if (f.isSymLink() || f.ownerId() != ::getuid() || parts.size() != 4 || !number || pid <= 1) continue;
        if (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) continue;
        QDir(f.filePath()).removeRecursively();
    }
}

}  // namespace ReportConverter
