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
#include <QPointer>

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
