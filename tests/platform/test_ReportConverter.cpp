#include "platform/ReportConverter.h"

#include "ReportCapture.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool Alive(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0; }

// A Unix socket bound at the path and listening (its descriptor, -1 on failure).
int BoundSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::min<size_t>(name.size(), sizeof address.sun_path - 1));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) return -1;
    return fd;
}

// A converter that binds a socket at its first argument, says so by the
// file of its second, and waits.
const bool kListens = RegisterChild("listening converter", [](const QStringList& args) {
    if (BoundSocket(args.value(0)) < 0 || !QFile(args.value(1)).open(QIODevice::WriteOnly)) return 1;
    QThread::sleep(300);
    return 0;
});
// A program converting a report with the converter that TAVIK_SOFFICE names.
const bool kConverts = RegisterChild("converting", [](const QStringList&) {
    std::unique_ptr<ReportConverter::TempFolder> work = ReportConverter::NewWorkFolder();
    ReportConverter::RenderPdfs({work->path() + "/a.xlsx"}, work->path());
    return 0;
});
const bool kStarts = RegisterChild("start", [](const QStringList&) { return 0; });

class ReportConverterTest : public ::testing::Test {
protected:
    // This test's own temporary folder (TMPDIR) for itself and its children.
    void SetUp() override { qputenv("TMPDIR", QFile::encodeName(temp_.path())); }
    void TearDown() override { oldTemp_.isEmpty() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTemp_); }
    QStringList TempEntries() const { return QDir(temp_.path()).entryList({"tavik-*"}, QDir::AllEntries | QDir::Hidden); }
    // Starts a program converting a report; its converter's process id once
    // that runs (0 when it never did).
    qint64 StartConverting(QProcess& child) {
        qputenv("TAVIK_SOFFICE", QFile::encodeName(FakeConverter(runs_.path())));
        child.start(QCoreApplication::applicationFilePath(), {"--child", "converting"});
        QStringList run;
        (void)QTest::qWaitFor([&] { return !(run = QDir(runs_.path()).entryList({"run.*"})).isEmpty(); }, 20000);
        return run.isEmpty() || !QFile::remove(runs_.path() + "/" + run.front()) ? 0 : run.front().mid(4).toLongLong();
    }
    QTemporaryDir dir_, temp_, runs_;
    QByteArray oldTemp_ = qgetenv("TMPDIR");
};

}  // namespace

TEST_F(ReportConverterTest, StoppingPiecesEndsEveryConverterAndRemovesTheirProfiles) {
    ConversionSettings keep;
    QTemporaryDir runs;
    const QString fake = FakeConverter(runs.path());
    ASSERT_FALSE(fake.isEmpty());
    qputenv("TAVIK_SOFFICE", QFile::encodeName(fake));
    const QStringList books = {dir_.path() + "/a.xlsx", dir_.path() + "/b.xlsx", dir_.path() + "/c.xlsx"};
    auto started = [&] { return QDir(runs.path()).entryList({"run.*"}, QDir::Files); };
    QElapsedTimer waited;
    waited.start();
    QStringList seen;
    // Stops once all three converters run side by side.
    const QStringList pdfs = ReportConverter::RenderPdfs(books, dir_.path(), [&] {
        seen = started();
        return seen.size() == 3 || waited.elapsed() > 20000;
    });
    EXPECT_TRUE(pdfs.isEmpty()) << "a stopped conversion gives no PDF";
    ASSERT_EQ(seen.size(), 3) << "the three pieces convert at the same time";
    QStringList profiles;
    for (const QString& run : seen) {
        const qint64 pid = run.mid(4).toLongLong();
        EXPECT_FALSE(Alive(pid)) << "converter " << pid << " still runs";
        QFile f(runs.path() + "/" + run);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString profile = QString::fromLocal8Bit(f.readAll()).trimmed();
        EXPECT_FALSE(profile.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(profile)) << "profile left behind: " << profile.toStdString();
        profiles << profile;
    }
    profiles.removeDuplicates();
    EXPECT_EQ(profiles.size(), 3) << "each converter has a profile of its own";
}

TEST_F(ReportConverterTest, OnePieceFailingEndsTheOthersAndRaisesTheRenderError) {
    ConversionSettings keep;
    QTemporaryDir runs;
    const QString fake = FakeConverter(runs.path());
    ASSERT_FALSE(fake.isEmpty());
    qputenv("TAVIK_SOFFICE", QFile::encodeName(fake));
    const QStringList books = {dir_.path() + "/a.xlsx", dir_.path() + "/b-fail.xlsx", dir_.path() + "/c.xlsx"};
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(ErrorOf([&] { ReportConverter::RenderPdfs(books, dir_.path()); }), xlrErrRender);
    EXPECT_LT(took.elapsed(), 60000) << "the failure does not wait for the other pieces";
    const QStringList others = QDir(runs.path()).entryList({"run.*"}, QDir::Files);
    EXPECT_EQ(others.size(), 2) << "the other pieces were converting";
    for (const QString& run : others)
        EXPECT_FALSE(Alive(run.mid(4).toLongLong())) << "a converter still runs";
}

TEST_F(ReportConverterTest, JoiningWithoutPdfuniteRaisesTheRenderError) {
    ConversionSettings keep;
    qputenv("TAVIK_PDFUNITE", QFile::encodeName(dir_.path() + "/no-such-program"));
    EXPECT_EQ(ErrorOf([&] {
                  ReportConverter::JoinPdfs({dir_.path() + "/a.pdf", dir_.path() + "/b.pdf"}, dir_.path() + "/ab.pdf");
              }),
              xlrErrRender);
    EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/ab.pdf"));
}

TEST_F(ReportConverterTest, AStoppedConverterLosesItsOwnSocketAndNoOtherThoughItsPathHoldsABlank) {
    ConversionSettings keep;
    const int other = BoundSocket(dir_.path() + "/pipe");   // not the converter's (it inherits it)
    ASSERT_GE(other, 0);
    const QString own = dir_.path() + "/pipe 2", ready = dir_.path() + "/ready";
    QFile script(dir_.path() + "/soffice");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\nexec '%1' --child 'listening converter' '%2' '%3'\n")
                     .arg(QCoreApplication::applicationFilePath(), own, ready).toLocal8Bit());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    qputenv("TAVIK_SOFFICE", QFile::encodeName(script.fileName()));
    EXPECT_TRUE(ReportConverter::RenderPdfs({dir_.path() + "/a.xlsx"}, dir_.path(), [&] {
                    return QTest::qWaitFor([&] { return QFileInfo::exists(ready); }, 20000);
                }).isEmpty());
    ASSERT_TRUE(QFileInfo::exists(ready)) << "the converter did not bind its socket";
    EXPECT_FALSE(QFileInfo::exists(own)) << "the stopped converter's socket is left";
    EXPECT_TRUE(QFileInfo::exists(dir_.path() + "/pipe")) << "a socket the converter did not bind was removed";
    ::close(other);
}

// SIGTERM and SIGHUP end a converting program cleanly; one killed outright
// leaves its folders, which the next start of a program removes.
TEST_F(ReportConverterTest, AProgramEndedBySigtermOrSighupLeavesNothingAndTheNextStartClearsWhatAKilledOneLeft) {
    ConversionSettings keep;
    for (int sig : {SIGTERM, SIGHUP, SIGKILL}) {
        QProcess child;
        const qint64 converter = StartConverting(child);
        ASSERT_GT(converter, 0) << "the converter did not start";
        ::kill(static_cast<pid_t>(child.processId()), sig);
        ASSERT_TRUE(child.waitForFinished(30000));
        if (sig != SIGKILL) {
            EXPECT_FALSE(Alive(converter)) << "signal " << sig << ": the converter still runs";
        }
        ::kill(static_cast<pid_t>(converter), SIGKILL);
        EXPECT_EQ(TempEntries().isEmpty(), sig != SIGKILL) << "signal " << sig << ": " << TempEntries().join(", ").toStdString();
    }
    std::unique_ptr<ReportConverter::TempFolder> mine = ReportConverter::NewWorkFolder();   // of a program that runs
    EXPECT_EQ(RunChild("start", {}), 0);
    EXPECT_EQ(TempEntries().join(", ").toStdString(), QFileInfo(mine->path()).fileName().toStdString());
}
