// The voucher-opening object: the command line of the program it starts,
// waiting for that program while the caller's windows refuse input, and the
// test seam.
#include "TestSupport.h"

#include "platform/AppInfo.h"
#include "platform/VoucherOpener.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class Opener : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        AppInfo::SetFolder(dir.path());
    }
    void TearDown() override { SetVoucherOpenerHandler(nullptr); }
    // A stand-in program that writes its arguments and ends after `seconds`.
    void Program(const QString& name, const QString& seconds) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\necho \"$@\" > args.txt\nsleep " + seconds + "\necho done >> args.txt\n").toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    QString Written() {
        QFile f(dir.filePath("args.txt"));
        if (!f.open(QIODevice::ReadOnly)) return QString();
        return QString::fromUtf8(f.readAll()).trimmed();
    }
    QTemporaryDir dir;
};

TEST_F(Opener, ArgumentsAreModeDateAsDateTextNumberAndTheMenuMark) {
    EXPECT_EQ(VoucherOpener::Arguments("U", 20261208, 15), QStringList({"U", "2026/12/08", "15", "/S"}));
    EXPECT_EQ(VoucherOpener::Arguments("S", 20270105, 1), QStringList({"S", "2027/01/05", "1", "/S"}));
    // A number that names no date is passed on as it is (the program refuses it).
    EXPECT_EQ(VoucherOpener::Arguments("S", 20260230, 3), QStringList({"S", "20260230", "3", "/S"}));
    EXPECT_EQ(VoucherOpener::Arguments("U", 0, 3), QStringList({"U", "0", "3", "/S"}));
}

TEST_F(Opener, StartsTheNamedProgramOfTheApplicationFolderAndReturnsWhenItHasEnded) {
    Program("VOUCHERS", "0.3");
    VoucherOpener opener;
    opener.ProgramName("VOUCHERS");
    EXPECT_EQ(opener.ProgramPath(), dir.filePath("VOUCHERS"));
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(opener.ShowVoucher("U", 20261208, 15)) << opener.LastError().toStdString();
    EXPECT_GE(t.elapsed(), 250);
    EXPECT_EQ(Written(), "U 2026/12/08 15 /S\ndone");
}

TEST_F(Opener, WhileWaitingTimersRunButClicksAndKeysAreDropped) {
    Program("VOUCHERS", "0.6");
    QPushButton button("表示");
    button.show();
    QApplication::setActiveWindow(&button);
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    QTimer::singleShot(150, [&] {
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::keyClick(&button, Qt::Key_Space);
    });
    VoucherOpener opener;
    opener.ProgramName("VOUCHERS");
    ASSERT_TRUE(opener.ShowVoucher("S", 20260510, 2));
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(clicks, 0);
    // Afterwards the window takes input again.
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Opener, AProgramThatCannotBeStartedReportsWhy) {
    VoucherOpener opener;
    EXPECT_FALSE(opener.ShowVoucher("U", 20261208, 1));
    EXPECT_FALSE(opener.LastError().isEmpty());
    opener.ProgramName("MISSING");
    EXPECT_FALSE(opener.ShowVoucher("U", 20261208, 1));
    EXPECT_TRUE(opener.LastError().contains("MISSING"));
}

TEST_F(Opener, TheHandlerReceivesTheCallInsteadOfAProgram) {
    Program("VOUCHERS", "0");
    QString mode;
    long date = 0, number = 0;
    SetVoucherOpenerHandler([&](const QString& m, long d, long n) {
        mode = m;
        date = d;
        number = n;
    });
    VoucherOpener opener;
    opener.ProgramName("VOUCHERS");
    EXPECT_TRUE(opener.ShowVoucher("S", 20260601, 42));
    EXPECT_EQ(mode, "S");
    EXPECT_EQ(date, 20260601);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(Written(), "");
}

}  // namespace
