// The printed ledger: the checks of its conditions, the sections per
// account or sub-account, the months with their carried-forward lines,
// lines, totals and carried-to lines, the settings that decide which months
// are printed and where pages break, the progress dialog with its cancel,
// the preview button of the ledger window, and one report rendered to PDF.
// Vouchers are posted to the balance tables as the entry program posts
// them, so every opening balance is a real one.
#include "ReportCapture.h"
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "inquiry/basLP410Report.h"
#include "inquiry/frmKR430.h"
#include "platform/AppInfo.h"
#include "platform/InputFields.h"
#include "platform/VbCompat.h"
#include "platform/XlsReport.h"
#include "voucher_entry/basUpdate.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QDir>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <map>
#include <memory>
#include <map>

using namespace basStdComm;
using basLP410Report::fncMakeLedgerReport;

namespace {

const QString kGeneral = "総　勘　定　元　帳";
const QString kSubsidiary = "補　助　元　帳";
const QString kKumiName = "みなと農業協同組合";
constexpr long kOpening = 50000;

// One written line of a page, read back from the cells (stored values).
struct PrintedLine {
    int page = 0;
    int index = 0;  // 0 to 29 on its page
    QStringList cells;  // DATE, DENO, AKMK, AHK1, AHK2, ZKBN, KARI, KASI, ZAND, TEKIYO
    QString Text() const { return cells.join("|"); }
    QString Label() const { return cells.value(4); }
};

const QStringList kLineMarkers = {"**DATE", "**DENO", "**AKMK", "**AHK1", "**AHK2",
                                  "**ZKBN", "**KARI", "**KASI", "**ZAND", "**TEKIYO"};

std::vector<PrintedLine> Lines(const ReportOutput& out) {
    std::vector<PrintedLine> lines;
    for (size_t p = 0; p < out.pages.size(); ++p) {
        for (int n = 0; n < 30; ++n) {
            if (!out.pages[p].Find("**AHK2", 0, 2 * n)) continue;
            PrintedLine l;
            l.page = static_cast<int>(p);
            l.index = n;
            for (const QString& m : kLineMarkers) {
                const ReportCell* c = out.pages[p].Find(m, 0, 2 * n);
                l.cells << (c ? c->stored.toString() : QString("<none>"));
            }
            lines.push_back(l);
        }
    }
    return lines;
}

QStringList Texts(const std::vector<PrintedLine>& lines) {
    QStringList t;
    for (const PrintedLine& l : lines) t << l.Text();
    return t;
}

QStringList Labels(const std::vector<PrintedLine>& lines) {
    QStringList t;
    for (const PrintedLine& l : lines)
        if (!l.Label().isEmpty()) t << l.Label();
    return t;
}

// "label line": only the counter sub 2 column and the three amounts.
QString Summary(const QString& label, long kari, long kasi, long zand) {
    return QStringList{"", "", "", "", label, "", QString::number(kari), QString::number(kasi), QString::number(zand), ""}
        .join("|");
}
// A detail line.
QString Detail(const QString& date, long no, const QString& counter, const QString& kari, const QString& kasi,
               long zand, const QString& tekiyo = QString(), const QString& tax = QString(),
               const QString& sub1 = QString(), const QString& sub2 = QString()) {
    return QStringList{date, QString::number(no), counter, sub1, sub2, tax, kari, kasi, QString::number(zand), tekiyo}
        .join("|");
}
const QString kEmptyLine = "|||||||||";

QVariant Header(const ReportPage& p, const QString& marker) {
    const ReportCell* c = p.Find(marker);
    return c ? c->value : QVariant();
}

class LedgerReport : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        folder.Sql("UPDATE CNTMF SET CNT_KUMINAME = " + fncSqlQuote(kKumiName) + " WHERE CNT_KEY = 1");
        folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_NM, "
                   "HK2_RNAME) VALUES (2026, 110, 2, 7, 1, 1, '給与振込口座', '給与口座')");
        CopyReportTemplates();
        basLP410Report::SetReportControl(&report);
        basLP410Report::glngReportGrpKbn = 0;
    }
    void TearDown() override { basLP410Report::SetReportControl(nullptr); }

    void Settings(int mtpkbn, int mkpkbn, int zzikbn) {
        folder.Sql(QString("UPDATE SSKMF SET SSK_MTPKBN = %1, SSK_MKPKBN = %2, SSK_ZZIKBN = %3 WHERE SSK_CD = 1")
                       .arg(mtpkbn)
                       .arg(mkpkbn)
                       .arg(zzikbn));
    }
    void Post(long ym, long no, long date, const QList<TestLine>& lines) {
        InsertVoucher(folder, ym, no, date, lines);
        ASSERT_TRUE(basUpdate::fncUpdateBalance("+", 1, 1, ym, no));
    }
    void Counter(long ym, long no, int side, int gyo, long akmk, long ahk1 = 0, long ahk2 = 0) {
        folder.Sql(QString("UPDATE DNMDT SET DNM_AKMKCD = %1, DNM_AHK1CD = %2, DNM_AHK2CD = %3 WHERE DNM_YM = %4 "
                           "AND DNM_DENNO = %5 AND DNM_TSKBN = %6 AND DNM_GYO = %7")
                       .arg(akmk)
                       .arg(ahk1)
                       .arg(ahk2)
                       .arg(ym)
                       .arg(no)
                       .arg(side)
                       .arg(gyo));
    }
    void CashOpening(long amount) {
        folder.Sql("UPDATE KMZMF SET KMZ_ZZAN = " + QString::number(amount) +
                   " WHERE KMZ_YM = 202604 AND KMZ_KMKCD = 100");
        ASSERT_TRUE(gobjDB->Execute("sp_KMZMF_UPDATE 202604, 2026, 1, 1, 100"));
    }
    // Cash opens the year with kOpening. April: a cash sale. May: supplies
    // paid in cash, a receipt against receivables and sales (several
    // counter-accounts), a sales return paid back in cash.
    void Scenario() {
        Post(202604, 1, 20260410, {{1, 1, kCash, "10000"}, {1, 2, kSales, "10000", "0", 0, 0, 0, "現金売上"}});
        Counter(202604, 1, 1, 1, kSales);
        Counter(202604, 1, 2, 1, kCash);
        Post(202605, 1, 20260515, {{1, 1, kSupplies, "3000"}, {1, 2, kCash, "3000", "0", 0, 0, 0, "文具"}});
        Counter(202605, 1, 1, 1, kCash);
        Counter(202605, 1, 2, 1, kSupplies);
        Post(202605, 2, 20260520,
             {{1, 1, kCash, "5000", "0", 0, 0, 0, "入金"}, {1, 2, kReceivable, "2000"}, {2, 2, kSales, "3000"}});
        Counter(202605, 2, 2, 1, kCash);
        Counter(202605, 2, 2, 2, kCash);
        Post(202605, 3, 20260525, {{1, 1, kSales, "1000", "0", 0, 0, 0, "返品"}, {1, 2, kCash, "1000"}});
        Counter(202605, 3, 1, 1, kCash);
        Counter(202605, 3, 2, 1, kSales);
        CashOpening(kOpening);
    }

    bool Make(long level, long ymFrom, long ymTo, long kmkFrom, long kmkTo, long hk1From = 0, long hk1To = 0,
              long hk2From = 0, long hk2To = 0) {
        return fncMakeLedgerReport(level, basTavik::FncCnvDate(ymFrom), basTavik::FncCnvDate(ymTo), kmkFrom, kmkTo,
                                   hk1From, hk1To, hk2From, hk2To);
    }
    // Outputs the report left open and returns what was output.
    const ReportOutput& Output() {
        report.PrintOut();
        return capture.Last();
    }
    QStringList Sections(const ReportOutput& out) {
        QStringList s;
        for (const ReportPage& p : out.pages) {
            const QString k = Header(p, "**KAMOKU").toString();
            if (s.isEmpty() || s.last() != k) s << k;
        }
        return s;
    }

    AppFolder folder;
    MsgRecorder msgs;
    ReportCapture capture;
    XlsReport report;
};

// ---------------------------------------------------------------- checks

TEST_F(LedgerReport, EachRefusedConditionGivesItsMessageAndWritesNothing) {
    Scenario();
    struct Case {
        long level;
        QVariant from, to;
        long kmk[2], hk1[2], hk2[2];
        QString message;
    };
    const QDate apr(2026, 4, 1), may(2026, 5, 1);
    const std::vector<Case> cases = {
        {1, QVariant(), may, {100, 100}, {0, 0}, {0, 0}, "伝票日付を入力して下さい。"},
        {1, apr, "2026/13/01", {100, 100}, {0, 0}, {0, 0}, "伝票日付を入力して下さい。"},
        {1, may, apr, {100, 100}, {0, 0}, {0, 0}, "伝票日付の開始と終了の大小関係が逆になっています。"},
        {1, QDate(2028, 4, 1), QDate(2028, 5, 1), {100, 100}, {0, 0}, {0, 0}, "年度の取得に失敗しました。"},
        {0, apr, may, {0, 0}, {0, 0}, {0, 0}, "科目を入力してください。"},
        {1, apr, may, {0, 100}, {0, 0}, {0, 0}, "科目を入力してください。"},
        {1, apr, may, {100, 0}, {0, 0}, {0, 0}, "科目を入力してください。"},
        {1, apr, may, {400, 100}, {0, 0}, {0, 0}, "科目の開始と終了の大小関係が逆になっています。"},
        {1, apr, may, {999, 999}, {0, 0}, {0, 0}, "科目が登録されていないか、この組織、グループでは利用できない科目です。"},
        {2, apr, may, {999, 999}, {1, 1}, {0, 0}, "科目が登録されていないか、この組織、グループでは利用できない科目です。"},
        {2, apr, may, {110, 110}, {0, 2}, {0, 0}, "補助科目１を入力してください。"},
        {2, apr, may, {110, 110}, {1, 0}, {0, 0}, "補助科目１を入力してください。"},
        {2, apr, may, {110, 110}, {2, 1}, {0, 0}, "補助科目１の開始と終了の大小関係が逆になっています。"},
        {2, apr, may, {110, 110}, {9, 9}, {0, 0}, "補助科目１が登録されていません。"},
        {3, apr, may, {110, 110}, {9, 9}, {7, 7}, "補助科目１が登録されていません。"},
        {3, apr, may, {110, 110}, {2, 2}, {0, 7}, "補助科目２を入力してください。"},
        {3, apr, may, {110, 110}, {2, 2}, {7, 0}, "補助科目２を入力してください。"},
        {3, apr, may, {110, 110}, {2, 2}, {8, 7}, "補助科目２の開始と終了の大小関係が逆になっています。"},
        {3, apr, may, {110, 110}, {2, 2}, {8, 8},
         "補助科目２が登録されていないか、この組織、グループでは利用できない科目です。"},
    };
    for (const Case& c : cases) {
        msgs.Clear();
        EXPECT_FALSE(fncMakeLedgerReport(c.level, c.from, c.to, c.kmk[0], c.kmk[1], c.hk1[0], c.hk1[1], c.hk2[0],
                                         c.hk2[1]))
            << c.message.toStdString();
        ASSERT_EQ(msgs.Calls().size(), 1u) << c.message.toStdString() << ": " << msgs.Texts().join("|").toStdString();
        EXPECT_EQ(msgs.Last().prompt, c.message);
        EXPECT_EQ(msgs.Last().icon(), vbExclamation) << c.message.toStdString();
        EXPECT_EQ(msgs.Last().title, AppInfo::Title());
        EXPECT_FALSE(report.Begun()) << c.message.toStdString();
    }
    EXPECT_FALSE(gobjProgress->Visible());
    EXPECT_TRUE(capture.Empty());
}

TEST_F(LedgerReport, ARangeAcrossTwoFiscalYearsIsRefused) {
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, KSK_SIME1, "
               "KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, KSK_SIME10, "
               "KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2027, 0, 202704, 20270401, 20280331, 20270430, "
               "20270531, 20270630, 20270731, 20270831, 20270930, 20271031, 20271130, 20271231, 20280131, 20280229, "
               "20280331, 0)");
    Scenario();
    EXPECT_FALSE(Make(1, 202703, 202704, 100, 100));
    EXPECT_EQ(msgs.Texts(), QStringList{"伝票日付の開始と終了は、決算年度が違うため元帳照会できません。"});
    EXPECT_FALSE(report.Begun());
}

TEST_F(LedgerReport, NothingToPrintIsSaidAndNoReportIsLeftOpen) {
    Scenario();
    // An account never posted has no balance row at all.
    EXPECT_FALSE(Make(1, 202604, 202605, kPurchase, kPurchase));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "印刷するデータは、ありませんでした。");
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_FALSE(report.Begun());
    EXPECT_FALSE(gobjProgress->Visible());
}

// ---------------------------------------------------------------- the ledger

TEST_F(LedgerReport, AnAccountIsPrintedMonthByMonthWithCarriedLinesLinesAndTotals) {
    Scenario();
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kCash));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(basLP410Report::fncGetReportTitle(), kGeneral);
    const ReportOutput& out = Output();
    ASSERT_EQ(out.pages.size(), 1u);
    const ReportPage& p = out.pages[0];
    EXPECT_EQ(p.sheet, "LP410");
    EXPECT_EQ(Header(p, "**TITLE").toString(), kGeneral);
    EXPECT_EQ(Header(p, "**MUMI").toString(), kKumiName);
    EXPECT_EQ(Header(p, "**SSK").toString(), "本社");
    EXPECT_EQ(Header(p, "**GRP").toString(), "総務部");
    EXPECT_EQ(Header(p, "**KAMOKU").toString(), "100:現金");
    // Without a page per month the header spans the whole range.
    EXPECT_EQ(Header(p, "**YMDS").toDate(), QDate(2026, 4, 1));
    EXPECT_EQ(Header(p, "**YMDE").toDate(), QDate(2026, 5, 31));
    EXPECT_EQ(Header(p, "**PAGE").toLongLong(), 1);
    EXPECT_EQ(Header(p, "**PRDT").toDate(), QDate(2026, 12, 8));

    const long apr = kOpening + 10000;
    EXPECT_EQ(Texts(Lines(out)),
              QStringList({Summary("前期繰越金", kOpening, 0, kOpening),
                           Detail("2026/04/10", 1, "売上高", "10000", "", apr),
                           Summary("4月合計", 10000, 0, 10000),
                           Summary("次月繰越金", kOpening + 10000, 0, apr),
                           kEmptyLine,
                           Summary("前月繰越金", apr, 0, apr),
                           Detail("2026/05/15", 1, "消耗品費", "", "3000", apr - 3000, "文具"),
                           Detail("2026/05/20", 2, "諸口", "5000", "", apr - 3000 + 5000, "入金"),
                           Detail("2026/05/25", 3, "売上高", "", "1000", apr - 3000 + 5000 - 1000),
                           Summary("5月合計", 5000, 4000, 1000),
                           Summary("次月繰越金", apr + 5000, 4000, apr + 1000)}));
    // Amounts are numbers in the cells, the other columns text.
    EXPECT_EQ(p.Find("**KARI", 0, 2)->stored.metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(p.Find("**DENO", 0, 2)->stored.metaType().id(), QMetaType::QString);
    EXPECT_TRUE(p.ended);
}

TEST_F(LedgerReport, ACreditNormalAccountCarriesOnTheCreditSide) {
    Scenario();
    ASSERT_TRUE(Make(1, 202604, 202605, kSales, kSales));
    EXPECT_EQ(Texts(Lines(Output())),
              QStringList({Summary("前期繰越金", 0, 0, 0),
                           Detail("2026/04/10", 1, "現金", "", "10000", 10000, "現金売上"),
                           Summary("4月合計", 0, 10000, 10000),
                           Summary("次月繰越金", 0, 10000, 10000),
                           kEmptyLine,
                           Summary("前月繰越金", 0, 10000, 10000),
                           Detail("2026/05/20", 2, "現金", "", "3000", 13000),
                           Detail("2026/05/25", 3, "現金", "1000", "", 12000, "返品"),
                           Summary("5月合計", 1000, 3000, 2000),
                           Summary("次月繰越金", 1000, 13000, 12000)}));
}

TEST_F(LedgerReport, CounterSubAccountsAndTheTaxNameInForceOnTheVoucherDateAreShown) {
    // Tax code 3 also has an older period: the line is still printed once.
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(3, 20140401, 20190930, 3, 0.08, '課税売上8%')");
    Post(202606, 1, 20260601, {{1, 1, kBank, "800", "0", 2, 7}, {1, 2, kSales, "800", "0", 0, 0, 3, "振込"}});
    Counter(202606, 1, 1, 1, kSales);
    Counter(202606, 1, 2, 1, kBank, 2, 7);
    ASSERT_TRUE(Make(1, 202606, 202606, kSales, kSales));
    const std::vector<PrintedLine> lines = Lines(Output());
    ASSERT_EQ(lines.size(), 4u) << Texts(lines).join("\n").toStdString();
    EXPECT_EQ(lines[1].Text(), Detail("2026/06/01", 1, "普通預金", "", "800", 800, "振込", "課税売上10%",
                                      "三井住友銀行", "給与口座"));
}

TEST_F(LedgerReport, TheTaxNameIsTheOneInForceOnTheVoucherDate) {
    // Tax code 1 has a past, a current and a future period (the end day
    // belongs to its period); tax code 5 ends in June and has no successor.
    folder.Sql("UPDATE ZEIMF SET ZEI_DATEST = 20260601, ZEI_DATEEND = 20261231 WHERE ZEI_CD = 1");
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(1, 20140401, 20260531, 1, 0.08, '課税仕入8%(旧)'), (1, 20270101, 99991231, 1, 0.12, '課税仕入12%')");
    folder.Sql("UPDATE ZEIMF SET ZEI_DATEEND = 20260630 WHERE ZEI_CD = 5");
    const long dates[] = {20260531, 20260601, 20261231, 20270101, 20260715};
    for (long i = 0; i < 5; ++i)
        Post(dates[i] / 100, i + 1, dates[i], {{1, 1, kPurchase, "1000", "0", 0, 0, i < 4 ? 1 : 5}, {1, 2, kCash, "1000"}});
    ASSERT_TRUE(Make(1, 202605, 202701, kPurchase, kPurchase));
    QStringList names;
    for (const PrintedLine& l : Lines(Output()))
        if (!l.cells[0].isEmpty()) names << l.cells[0] + " " + l.cells[5];
    auto name = [](long code, long from) {
        return basStdComm::fncLookupField("ZEI_NAME", "ZEIMF",
                                          QString("ZEI_CD = %1 AND ZEI_DATEST = %2").arg(code).arg(from));
    };
    EXPECT_EQ(names, QStringList({"2026/05/31 " + name(1, 20140401), "2026/06/01 " + name(1, 20260601),
                                  "2026/07/15 ", "2026/12/31 " + name(1, 20260601),
                                  "2027/01/01 " + name(1, 20270101)}))
        << names.join("|").toStdString();
}

TEST_F(LedgerReport, AMonthWithoutLinesAndWithAZeroBalanceIsPrintedOnlyWhenTheSettingAsksForIt) {
    Post(202604, 4, 20260412, {{1, 1, kReceivable, "2000"}, {1, 2, kSales, "2000"}});
    Post(202604, 5, 20260420, {{1, 1, kCash, "2000"}, {1, 2, kReceivable, "2000"}});
    // June: no line, balance 0.
    EXPECT_FALSE(Make(1, 202606, 202606, kReceivable, kReceivable));
    EXPECT_EQ(msgs.Texts(), QStringList{"印刷するデータは、ありませんでした。"});
    EXPECT_TRUE(capture.Empty());
    // April to June: only April, which has lines.
    msgs.Clear();
    ASSERT_TRUE(Make(1, 202604, 202606, kReceivable, kReceivable));
    EXPECT_EQ(Labels(Lines(Output())), QStringList({"前期繰越金", "4月合計", "次月繰越金"}));

    Settings(0, 0, 1);
    msgs.Clear();
    ASSERT_TRUE(Make(1, 202606, 202606, kReceivable, kReceivable));
    EXPECT_TRUE(msgs.Empty());
    EXPECT_EQ(Texts(Lines(Output())), QStringList({Summary("前月繰越金", 0, 0, 0), Summary("6月合計", 0, 0, 0),
                                                   Summary("次月繰越金", 0, 0, 0)}));
}

TEST_F(LedgerReport, TheMonthSettingDecidesWhichMonthsWithoutLinesArePrinted) {
    Post(202604, 6, 20260401, {{1, 1, kBank, "9000", "0", 1}, {1, 2, kSales, "9000"}});

    // 0: every month of the range.
    ASSERT_TRUE(Make(1, 202604, 202703, kBank, kBank));
    const std::vector<PrintedLine> all = Lines(Output());
    QStringList totals;
    for (const PrintedLine& l : all)
        if (l.Label().endsWith("月合計")) totals << l.Label();
    EXPECT_EQ(totals, QStringList({"4月合計", "5月合計", "6月合計", "7月合計", "8月合計", "9月合計", "10月合計",
                                   "11月合計", "12月合計", "1月合計", "2月合計", "3月合計"}));
    EXPECT_EQ(Labels(all).count("前期繰越金"), 1);
    EXPECT_EQ(Labels(all).count("次期繰越金"), 1);
    EXPECT_EQ(Labels(all).last(), "次期繰越金");
    EXPECT_EQ(all.back().Text(), Summary("次期繰越金", 9000, 0, 9000));

    // 1: a month without lines only when it is the first or the last fiscal month.
    Settings(1, 0, 0);
    ASSERT_TRUE(Make(1, 202604, 202703, kBank, kBank));
    EXPECT_EQ(Texts(Lines(Output())),
              QStringList({Summary("前期繰越金", 0, 0, 0), Detail("2026/04/01", 6, "諸口", "9000", "", 9000),
                           Summary("4月合計", 9000, 0, 9000), Summary("次月繰越金", 9000, 0, 9000), kEmptyLine,
                           Summary("前月繰越金", 9000, 0, 9000), Summary("3月合計", 0, 0, 0),
                           Summary("次期繰越金", 9000, 0, 9000)}));
    msgs.Clear();
    EXPECT_FALSE(Make(1, 202605, 202702, kBank, kBank));
    EXPECT_EQ(msgs.Texts(), QStringList{"印刷するデータは、ありませんでした。"});

    // Other values: no month without lines at all.
    Settings(2, 0, 0);
    ASSERT_TRUE(Make(1, 202604, 202703, kBank, kBank));
    EXPECT_EQ(Labels(Lines(Output())), QStringList({"前期繰越金", "4月合計", "次月繰越金"}));
}

TEST_F(LedgerReport, TheThirtyFirstLineStartsANewPageAndANewSectionStartsItsOwn) {
    QList<TestLine> lines;
    for (int g = 1; g <= 28; ++g) lines.append({g, 1, kCash, "100"});
    lines.append({1, 2, kSales, "2800"});
    Post(202604, 1, 20260415, lines);
    ASSERT_TRUE(Make(1, 202604, 202604, kCash, kSales));
    const ReportOutput& out = Output();
    ASSERT_EQ(out.pages.size(), 3u);
    EXPECT_EQ(out.calls, QStringList({"BeginReport", "NewPage LP410", "EndPage", "NewPage LP410", "EndPage",
                                      "NewPage LP410", "EndPage", "PrintOut"}));
    const std::vector<PrintedLine> printed = Lines(out);
    // Carried forward, 28 lines and the month total fill page 1; the carried
    // line is the 31st.
    ASSERT_EQ(printed.size(), 31u + 4u);
    EXPECT_EQ(printed[29].page, 0);
    EXPECT_EQ(printed[29].index, 29);
    EXPECT_EQ(printed[29].Label(), "4月合計");
    EXPECT_EQ(printed[30].page, 1);
    EXPECT_EQ(printed[30].index, 0);
    EXPECT_EQ(printed[30].Text(), Summary("次月繰越金", 2800, 0, 2800));
    EXPECT_EQ(Header(out.pages[1], "**KAMOKU").toString(), "100:現金");
    // Sales begin at the top of a page of their own.
    EXPECT_EQ(printed[31].page, 2);
    EXPECT_EQ(printed[31].index, 0);
    EXPECT_EQ(printed[31].Label(), "前期繰越金");
    EXPECT_EQ(Header(out.pages[2], "**KAMOKU").toString(), "400:売上高");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Header(out.pages[i], "**PAGE").toLongLong(), i + 1);
        EXPECT_EQ(Header(out.pages[i], "**TITLE").toString(), kGeneral);
        EXPECT_TRUE(out.pages[i].ended);
    }
}

TEST_F(LedgerReport, WithAPagePerMonthEachMonthStartsAPageHeadedWithItsOwnPeriod) {
    Scenario();
    Settings(0, 1, 0);
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kCash));
    const ReportOutput& out = Output();
    ASSERT_EQ(out.pages.size(), 2u);
    EXPECT_EQ(Header(out.pages[0], "**YMDS").toDate(), QDate(2026, 4, 1));
    EXPECT_EQ(Header(out.pages[0], "**YMDE").toDate(), QDate(2026, 4, 30));
    EXPECT_EQ(Header(out.pages[1], "**YMDS").toDate(), QDate(2026, 5, 1));
    EXPECT_EQ(Header(out.pages[1], "**YMDE").toDate(), QDate(2026, 5, 31));
    QStringList page2;
    for (const PrintedLine& l : Lines(out))
        if (l.page == 1) page2 << l.Label();
    page2.removeAll(QString());
    EXPECT_EQ(page2, QStringList({"前月繰越金", "5月合計", "次月繰越金"}));
    // The month's lines follow their carried-forward line on the new page.
    EXPECT_EQ(out.pages[1].Find("**DATE", 0, 2 * 2)->stored.toString(), "2026/05/15");
}

TEST_F(LedgerReport, TheReportGoesOutUnderTheNameOfItsLedgerCodesAndMonths) {
    Scenario();
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kSales));
    EXPECT_EQ(Output().outputName.toStdString(), "総勘定元帳_100-400_202604-202605");
    Post(202605, 7, 20260502, {{1, 1, kBank, "4000", "0", 2, 7}, {1, 2, kSales, "4000"}});
    ASSERT_TRUE(Make(2, 202605, 202605, kBank, kBank, 2, 2));
    EXPECT_EQ(Output().outputName.toStdString(), "補助元帳_110_2_202605");
    ASSERT_TRUE(Make(3, 202605, 202605, kBank, kBank, 2, 2, 1, 9));
    EXPECT_EQ(Output().outputName.toStdString(), "補助元帳_110_2_1-9_202605");
}

TEST_F(LedgerReport, SubAccountsAreSectionsOfTheirOwnAndCodeZeroIsCommon) {
    Post(202604, 7, 20260402, {{1, 1, kBank, "9000", "0", 1}, {1, 2, kSales, "9000"}});
    Post(202605, 8, 20260502, {{1, 1, kBank, "4000", "0", 2, 7}, {1, 2, kSales, "4000"}});
    Post(202605, 9, 20260503, {{1, 1, kBank, "600"}, {1, 2, kSales, "600"}});
    ASSERT_TRUE(Make(2, 202605, 202605, kBank, kBank, -1, 9));
    EXPECT_EQ(basLP410Report::fncGetReportTitle(), kSubsidiary);
    const ReportOutput& out = Output();
    EXPECT_EQ(Sections(out),
              QStringList({"110:普通預金 / 0:共通", "110:普通預金 / 1:みずほ銀行", "110:普通預金 / 2:三井住友銀行"}));
    ASSERT_EQ(out.pages.size(), 3u) << "a page per section";
    EXPECT_EQ(Header(out.pages[0], "**TITLE").toString(), kSubsidiary);
    const std::vector<PrintedLine> lines = Lines(out);
    QStringList firstOfPage;
    for (const PrintedLine& l : lines)
        if (l.index == 0) firstOfPage << l.Text();
    EXPECT_EQ(firstOfPage, QStringList({Summary("前月繰越金", 0, 0, 0), Summary("前月繰越金", 9000, 0, 9000),
                                        Summary("前月繰越金", 0, 0, 0)}));
    // Each section takes only its own lines.
    EXPECT_EQ(lines[1].cells[6], "600");
    EXPECT_EQ(lines[5].Label(), "5月合計");  // code 1 has no line in May
    EXPECT_EQ(lines[8].cells[6], "4000");

    // The window's call: one sub-account 1.
    ASSERT_TRUE(Make(2, 202605, 202605, kBank, kBank, 2, 2));
    EXPECT_EQ(Sections(Output()), QStringList{"110:普通預金 / 2:三井住友銀行"});
    // Sub-account 2 under it.
    ASSERT_TRUE(Make(3, 202605, 202605, kBank, kBank, 2, 2, 7, 7));
    EXPECT_EQ(basLP410Report::fncGetReportTitle(), kSubsidiary);
    const ReportOutput& three = Output();
    EXPECT_EQ(Sections(three), QStringList{"110:普通預金 / 2:三井住友銀行 / 7:給与口座"});
    EXPECT_EQ(Lines(three)[1].cells[6], "4000");
}

TEST_F(LedgerReport, TheGeneralLedgerListsTheAccountsTheGroupMayUse) {
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_GRKBN, KMK_SSKCD, KMK_GRPCD, "
               "KMK_SORT, KMK_ZOKUSEI) VALUES "
               "(2026, 700, 'グループ費', 'グループ費', 1, 2, 1, 1, 20, 0),"
               "(2026, 710, '本部費', '本部費', 1, 1, 0, 0, 21, 0),"
               "(2026, 720, '他グループ費', '他グループ費', 1, 2, 1, 2, 22, 0),"
               "(2026, 730, '集計用', '集計用', 1, 0, 0, 0, 23, 1),"
               "(2026, 740, '共通費', '共通費', 1, 0, 0, 0, 24, 0)");
    long no = 0;
    for (long kmk : {700, 710, 720, 730, 740}) Post(202604, ++no, 20260410, {{1, 1, kmk, "100"}, {1, 2, kCash, "100"}});

    ASSERT_TRUE(Make(1, 202604, 202604, 700, 740));
    EXPECT_EQ(Sections(Output()), QStringList({"710:本部費", "740:共通費"}));
    basLP410Report::glngReportGrpKbn = 1;
    ASSERT_TRUE(Make(1, 202604, 202604, 700, 740));
    EXPECT_EQ(Sections(Output()), QStringList({"700:グループ費", "740:共通費"}));
}

TEST_F(LedgerReport, LinesOfAnAccountWithoutABalanceRowArePassedOver) {
    Scenario();
    // Stored but never posted: receivables against purchases in April.
    folder.Sql("DELETE FROM KMZMF WHERE KMZ_KMKCD = 130");
    InsertVoucher(folder, 202604, 9, 20260405, {{1, 1, kReceivable, "777"}, {1, 2, kPurchase, "777"}});
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kSupplies));
    const ReportOutput& out = Output();
    EXPECT_EQ(Sections(out), QStringList({"100:現金", "400:売上高", "630:消耗品費"}));
    const std::vector<PrintedLine> lines = Lines(out);
    for (const PrintedLine& l : lines) {
        EXPECT_NE(l.cells[6], "777") << l.Text().toStdString();
        EXPECT_NE(l.cells[7], "777") << l.Text().toStdString();
    }
    // Supplies: nothing in April, the May payment on a page of its own.
    QStringList last;
    for (const PrintedLine& l : lines)
        if (l.page == static_cast<int>(out.pages.size()) - 1) last << l.Text();
    EXPECT_EQ(last, QStringList({kEmptyLine, Summary("前月繰越金", 0, 0, 0),
                                 Detail("2026/05/15", 1, "現金", "3000", "", 3000), Summary("5月合計", 3000, 0, 3000),
                                 Summary("次月繰越金", 3000, 0, 3000)}));
}

// ---------------------------------------------------------------- progress, cancel, errors

// Presses the cancel button of the progress dialog as soon as events run.
void PressCancelSoon() {
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w))
                if (d->isVisible())
                    if (auto* b = d->findChild<QPushButton*>()) b->click();
    });
}

TEST_F(LedgerReport, TheProgressDialogCountsTheSectionsAndIsHiddenAfterwards) {
    Scenario();
    // A stop asked for after an earlier run does not end this one.
    gobjProgress->CancelRequested(true);
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kSupplies));
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(gobjProgress->Title(), "総勘定元帳");
    EXPECT_EQ(gobjProgress->Message(), "レポートを展開中");
    EXPECT_EQ(gobjProgress->Max(), 4) << "cash, receivables, sales, supplies";
    EXPECT_EQ(gobjProgress->Position(), 4);
    EXPECT_FALSE(gobjProgress->Visible());
    EXPECT_EQ(Sections(Output()).size(), 4);
}

TEST_F(LedgerReport, CancelConfirmedDropsTheReportAndDeclinedGoesOn) {
    Scenario();
    msgs.Answer(vbYes);
    PressCancelSoon();
    EXPECT_FALSE(Make(1, 202604, 202605, kCash, kSupplies));
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join("|").toStdString();
    EXPECT_EQ(msgs.Last().prompt, "処理を中止しますか");
    EXPECT_EQ(msgs.Last().buttons(), vbYesNo);
    EXPECT_EQ(msgs.Last().icon(), vbInformation);
    EXPECT_FALSE(report.Begun()) << "the report is dropped";
    EXPECT_FALSE(gobjProgress->Visible());

    msgs.Clear();
    msgs.Answer(vbNo);
    PressCancelSoon();
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kSupplies));
    EXPECT_EQ(msgs.Texts(), QStringList{"処理を中止しますか"});
    EXPECT_FALSE(gobjProgress->CancelRequested());
    EXPECT_EQ(Sections(Output()).size(), 4);
}

// The visible progress dialog, or nullptr.
QProgressDialog* ShownProgress() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QProgressDialog*>(w))
            if (d->isVisible()) return d;
    return nullptr;
}

TEST_F(LedgerReport, TheBarMovesThroughALongSection) {
    for (int no = 1; no <= 10; ++no) {
        QList<TestLine> lines;
        for (int g = 1; g <= 30; ++g) lines.append({g, 1, kCash, "100"});
        lines.append({1, 2, kSales, "3000"});
        Post(202604, no, 20260401 + no, lines);
    }
    // What the bar shows while the report is written.
    std::vector<double> shown;
    QTimer::singleShot(0, [&] {
        QProgressDialog* d = ShownProgress();
        ASSERT_NE(d, nullptr) << "the dialog is there as soon as events run";
        auto* bar = d->findChild<QProgressBar*>();
        ASSERT_NE(bar, nullptr);
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [&shown, bar](int v) {
            if (bar->maximum() > bar->minimum())
                shown.push_back(static_cast<double>(v - bar->minimum()) / (bar->maximum() - bar->minimum()));
        });
    });
    ASSERT_TRUE(Make(1, 202604, 202604, kCash, kCash));
    EXPECT_EQ(gobjProgress->Max(), 1) << "one section";
    int between = 0;
    for (double f : shown)
        if (f > 0.0 && f < 1.0) ++between;
    EXPECT_GE(between, 5) << "the bar moves while the one section is written; shown: " << ::testing::PrintToString(shown);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << "and only forward";
    EXPECT_EQ(Output().pages.size(), 11u);
}

TEST_F(LedgerReport, CancelAndCloseStopALongSectionAtOnce) {
    for (int no = 1; no <= 10; ++no) {
        QList<TestLine> lines;
        for (int g = 1; g <= 30; ++g) lines.append({g, 1, kCash, "100"});
        lines.append({1, 2, kSales, "3000"});
        Post(202604, no, 20260401 + no, lines);
    }
    // The user stops the run once three pages are written: with the
    // button, then with the window's ×.
    for (bool byClose : {false, true}) {
        msgs.Clear();
        msgs.Answer(vbYes);
        int pagesAtCancel = -1;
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QProgressDialog* d = ShownProgress();
            if (!d || report.PageCount() < 3) return;
            watch.stop();
            pagesAtCancel = report.PageCount();
            if (byClose) d->close();
            else if (auto* b = d->findChild<QPushButton*>()) b->click();
        });
        watch.start();
        EXPECT_FALSE(Make(1, 202604, 202604, kCash, kCash)) << "closed: " << byClose;
        watch.stop();
        EXPECT_EQ(msgs.Texts(), QStringList{"処理を中止しますか"}) << "closed: " << byClose;
        EXPECT_GE(pagesAtCancel, 3);
        EXPECT_LE(pagesAtCancel, 4) << "the question comes within a page";
        EXPECT_FALSE(report.Begun()) << "the report is dropped";
        EXPECT_FALSE(gobjProgress->Visible());
        EXPECT_TRUE(capture.Empty());
    }
}

// Processes whose command line mentions the text (the converter started
// on files under a folder).
QStringList ProcessesMentioning(const QString& text) {
    QStringList found;
    for (const QString& e : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        e.toInt(&number);
        if (!number) continue;
        QFile f("/proc/" + e + "/cmdline");
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString cmd = QString::fromLocal8Bit(f.readAll()).replace(QChar(0), ' ');
        if (cmd.contains(text)) found << e + ": " + cmd.left(200);
    }
    return found;
}

TEST_F(LedgerReport, CancelDuringTheConversionEndsTheConverterAndRemovesItsFolders) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ReportCapture rendered(true);
    for (int no = 1; no <= 10; ++no) {
        QList<TestLine> lines;
        for (int g = 1; g <= 30; ++g) lines.append({g, 1, kCash, "100"});
        lines.append({1, 2, kSales, "3000"});
        Post(202604, no, 20260401 + no, lines);
    }
    // The work of this run goes to a folder of its own.
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    struct Restore {
        QByteArray value;
        ~Restore() {
            if (value.isEmpty()) qunsetenv("TMPDIR");
            else qputenv("TMPDIR", value);
        }
    } restore{oldTemp};

    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kCash));
    msgs.Answer(vbYes);
    // Cancel in the progress dialog as soon as the converter runs.
    bool converterSeen = false;
    bool dialogShown = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (ProcessesMentioning(temp.path()).isEmpty()) return;
        converterSeen = true;
        QProgressDialog* d = ShownProgress();
        if (!d) return;
        dialogShown = true;
        watch.stop();
        if (auto* b = d->findChild<QPushButton*>()) b->click();
    });
    watch.start();
    report.Preview(800, 600);
    watch.stop();

    EXPECT_TRUE(converterSeen);
    EXPECT_TRUE(dialogShown) << "the conversion shows in the progress dialog";
    EXPECT_EQ(msgs.Texts(), QStringList{"処理を中止しますか"});
    EXPECT_TRUE(rendered.Empty()) << "nothing is shown";
    EXPECT_TRUE(report.Stopped());
    EXPECT_FALSE(report.Begun());
    EXPECT_FALSE(gobjProgress->Visible());
    EXPECT_EQ(ProcessesMentioning(temp.path()), QStringList()) << "no converter process is left";
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList())
        << "its work folders are gone";
}

// The Unix sockets that processes whose command line mentions the text
// have bound (their paths).
QStringList SocketsOf(const QString& text) {
    std::map<QString, QString> pathOf;  // inode -> path
    QFile table("/proc/net/unix");
    if (table.open(QIODevice::ReadOnly))
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() >= 8 && f[7].startsWith('/')) pathOf[QString::fromLatin1(f[6])] = QString::fromLocal8Bit(f[7]);
        }
    QStringList found;
    for (const QString& process : ProcessesMentioning(text)) {
        const QString pid = process.section(':', 0, 0);
        for (const QFileInfo& fd : QDir("/proc/" + pid + "/fd").entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = fd.symLinkTarget().section('/', -1);
            if (!target.startsWith("socket:[")) continue;
            const auto it = pathOf.find(target.mid(8).chopped(1));
            if (it != pathOf.end() && !found.contains(it->second)) found << it->second;
        }
    }
    return found;
}

// Every file and folder under the folder, with its size.
QStringList Contents(const QString& folder) {
    QStringList all;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        all << it.filePath() + " " + QString::number(it.fileInfo().size());
    }
    all.sort();
    return all;
}

// A large report converts in pieces, each converter making temporary files
// of its own; cancelled half way, none of them is left behind.
TEST_F(LedgerReport, ACancelledLargeReportLeavesTheTemporaryFoldersAsTheyWere) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ReportCapture rendered(true);
    for (int no = 1; no <= 20; ++no) {
        QList<TestLine> lines;
        for (int g = 1; g <= 30; ++g) lines.append({g, 1, kCash, "100"});
        lines.append({1, 2, kSales, "3000"});
        Post(202604, no, 20260401 + no, lines);
    }
    XlsReport::ParallelConversion(2, 3);
    struct Parallel {
        ~Parallel() { XlsReport::ParallelConversion(100, 4); }
    } parallel;
    // The program's temporary folder is one of this test's own.
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    struct Restore {
        QByteArray value;
        ~Restore() {
            if (value.isEmpty()) qunsetenv("TMPDIR");
            else qputenv("TMPDIR", value);
        }
    } restore{oldTemp};
    const QStringList before = Contents(temp.path());

    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kCash));
    msgs.Answer(vbYes);
    // Cancelled once every converter has made its temporary files.
    QStringList sockets;
    int converters = 0;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (const QString& s : SocketsOf(temp.path()))
            if (!sockets.contains(s)) sockets << s;
        int made = 0;
        for (const QString& f : Contents(temp.path()))
            if (QFileInfo(f.section(' ', 0, 0)).fileName().startsWith("lu")) ++made;
        converters = std::max(converters, made);
        QProgressDialog* d = ShownProgress();
        if (!d || made < 3) return;
        watch.stop();
        if (auto* b = d->findChild<QPushButton*>()) b->click();
    });
    watch.start();
    report.Preview(800, 600);
    watch.stop();

    EXPECT_EQ(converters, 3) << "the converters ran";
    EXPECT_EQ(msgs.Texts(), QStringList{"処理を中止しますか"});
    EXPECT_TRUE(report.Stopped());
    EXPECT_TRUE(rendered.Empty());
    EXPECT_EQ(ProcessesMentioning(temp.path()), QStringList());
    EXPECT_EQ(Contents(temp.path()).join('\n').toStdString(), before.join('\n').toStdString());
    QStringList left;
    for (const QString& s : sockets)
        if (QFileInfo::exists(s)) left << s;
    EXPECT_EQ(left.join('\n').toStdString(), "") << "the converters' sockets are gone";
}

TEST_F(LedgerReport, AMissingTemplateShowsTheTemplateMessage) {
    Scenario();
    ASSERT_TRUE(QFile::remove(gstrReportPath + "WLP410.XLS"));
    EXPECT_FALSE(Make(1, 202604, 202605, kCash, kCash));
    EXPECT_EQ(msgs.Texts(), QStringList{"帳票を作成するために必要なExcelファイルがありません。"});
    EXPECT_FALSE(gobjProgress->Visible());
    EXPECT_FALSE(report.Begun());
}

TEST_F(LedgerReport, AnErrorWhileWritingHidesTheProgressAndDropsTheReport) {
    Scenario();
    // A template without the sheet "LP410".
    ASSERT_TRUE(QFile::remove(gstrReportPath + "WLP410.XLS"));
    ASSERT_TRUE(QFile::copy(gstrReportPath + "WKP410.XLS", gstrReportPath + "WLP410.XLS"));
    EXPECT_FALSE(Make(1, 202604, 202605, kCash, kCash));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("LP410")) << msgs.Last().prompt.toStdString();
    EXPECT_FALSE(gobjProgress->Visible());
    EXPECT_FALSE(report.Begun());
}

TEST_F(LedgerReport, SettingsAreReadForTheBranchGiven) {
    folder.Sql("INSERT INTO SSKMF (SSK_CD, SSK_RNAME, SSK_MTPKBN, SSK_MKPKBN, SSK_ZZIKBN) VALUES (2, '支所', 1, 1, 1)");
    Settings(2, 0, 0);
    EXPECT_EQ(basLP410Report::fncGetMtpKbn(0), 2);
    EXPECT_EQ(basLP410Report::fncGetMkpKbn(0), 0);
    EXPECT_EQ(basLP410Report::fncGetMtpKbn(2), 1);
    EXPECT_EQ(basLP410Report::fncGetMkpKbn(2), 1);
    EXPECT_EQ(basLP410Report::fncGetZziKbn(2), 1);
    EXPECT_EQ(basLP410Report::fncGetZziKbn(9), 0) << "a branch without a row";
    EXPECT_EQ(basLP410Report::fncGetKumiName(), kKumiName);
}

// ---------------------------------------------------------------- the ledger window

class LedgerWindowReport : public LedgerReport {
protected:
    std::unique_ptr<frmKR430> Open() {
        auto f = std::make_unique<frmKR430>();
        f->show();
        QApplication::setActiveWindow(f.get());
        QApplication::processEvents();
        return f;
    }
};

TEST_F(LedgerWindowReport, ThePreviewButtonPreviewsTheLedgerOfTheFieldsUnderItsTitle) {
    Scenario();
    auto f = Open();
    f->txtDateS->NumValue(202604);
    f->txtDateE->NumValue(202605);
    f->txtKmkCd->Value("100");
    QTest::mouseClick(f->cmdPrn, Qt::LeftButton);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    ASSERT_EQ(capture.Outputs().size(), 1u);
    const ReportOutput& out = capture.Last();
    EXPECT_EQ(out.kind, ReportOutput::Preview);
    EXPECT_EQ(out.previewWindow.Caption, "総勘定元帳");
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(out.previewWidth, static_cast<int>(std::nearbyint(12000 * screen->logicalDotsPerInchX() / 1440)));
    EXPECT_EQ(out.previewHeight, static_cast<int>(std::nearbyint(8500 * screen->logicalDotsPerInchY() / 1440)));
    EXPECT_EQ(Sections(out), QStringList{"100:現金"});
    EXPECT_EQ(Lines(out).back().Text(), Summary("次月繰越金", kOpening + 15000, 4000, kOpening + 11000));
    // The window's own control was used and let go after the preview.
    EXPECT_FALSE(f->xlrRep->Begun());

    f->txtKmkCd->Value("110");
    f->txtHk1Cd->Value("2");
    f->txtHk2Cd->Value("7");
    Post(202605, 8, 20260502, {{1, 1, kBank, "4000", "0", 2, 7}, {1, 2, kSales, "4000"}});
    QTest::mouseClick(f->cmdPrn, Qt::LeftButton);
    ASSERT_EQ(capture.Outputs().size(), 2u);
    EXPECT_EQ(capture.Last().previewWindow.Caption, "補助元帳");
    EXPECT_EQ(Sections(capture.Last()), QStringList{"110:普通預金 / 2:三井住友銀行 / 7:給与口座"});
}

TEST_F(LedgerWindowReport, ARefusedConditionPreviewsNothing) {
    Scenario();
    auto f = Open();
    f->txtKmkCd->Value("");
    QTest::mouseClick(f->cmdPrn, Qt::LeftButton);
    EXPECT_EQ(msgs.Texts(), QStringList{"科目を入力してください。"});
    f->txtKmkCd->Value("500");
    msgs.Clear();
    QTest::mouseClick(f->cmdPrn, Qt::LeftButton);
    EXPECT_EQ(msgs.Texts(), QStringList{"印刷するデータは、ありませんでした。"});
    EXPECT_TRUE(capture.Empty());
}

TEST_F(LedgerWindowReport, TheGroupKindOfTheWindowDecidesTheGroupOwnedAccounts) {
    folder.Sql("UPDATE GRPMF SET GRP_KBN = 1 WHERE GRP_SSKCD = 1 AND GRP_CD = 1");
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_GRKBN, KMK_SSKCD, KMK_GRPCD, "
               "KMK_SORT) VALUES (2026, 700, 'グループ費', 'グループ費', 1, 2, 1, 1, 20)");
    Post(202604, 1, 20260410, {{1, 1, 700, "100"}, {1, 2, kCash, "100"}});
    basLP410Report::glngReportGrpKbn = 0;
    auto f = Open();
    ASSERT_EQ(f->lngGrpKbn, 1);
    f->txtDateS->NumValue(202604);
    f->txtDateE->NumValue(202604);
    f->txtKmkCd->Value("700");
    QTest::mouseClick(f->cmdPrn, Qt::LeftButton);
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join("|").toStdString();
    ASSERT_EQ(capture.Outputs().size(), 1u);
    EXPECT_EQ(Sections(capture.Last()), QStringList{"700:グループ費"});
}

// ---------------------------------------------------------------- a real PDF

TEST_F(LedgerReport, RendersPagesThatShowTheLedger) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ReportCapture rendered(true);
    Scenario();
    Post(202605, 4, 20260528, {{1, 1, kCash, "1234567", "0", 0, 0, 0, "大口入金"}, {1, 2, kSales, "1234567"}});
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kSales));
    report.Preview(800, 600);
    ASSERT_EQ(rendered.Outputs().size(), 1u);
    const ReportOutput& out = rendered.Last();
    EXPECT_EQ(out.pageCount, 3) << "cash, receivables and sales, one page each";
    const QString text = PdfTextCompact(out.pdfPath);
    EXPECT_TRUE(text.contains("総勘定元帳"));
    EXPECT_TRUE(text.contains(kKumiName));
    EXPECT_TRUE(text.contains("100:現金"));
    EXPECT_TRUE(text.contains("400:売上高"));
    EXPECT_TRUE(text.contains("前期繰越金"));
    EXPECT_TRUE(text.contains("5月合計"));
    EXPECT_TRUE(text.contains("1,234,567"));
    EXPECT_TRUE(text.contains("1,295,567")) << "the running balance after the large receipt";
    EXPECT_TRUE(text.contains("2026/05/28"));
    EXPECT_TRUE(text.contains("2026/04/01"));
    EXPECT_TRUE(text.contains("大口入金"));
    EXPECT_FALSE(text.contains("**")) << "no marker is left on the pages";
}

TEST_F(LedgerReport, BalancesKeepTheRoomFromTheRightBorderThatDebitsAndCreditsKeep) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ReportCapture rendered(true);
    Scenario();
    ASSERT_TRUE(Make(1, 202604, 202605, kCash, kCash));
    report.Preview(800, 600);
    ASSERT_EQ(rendered.Outputs().size(), 1u);
    const QString pdf = rendered.Last().pdfPath;
    // The lines down the table, left to right (a thick one counted once,
    // at its left edge).
    std::vector<double> lines;
    for (const PdfRule& r : PdfVerticalRules(pdf, 0))
        if (lines.empty() || r.y - lines.back() > 1.5) lines.push_back(r.y);
    ASSERT_GE(lines.size(), 4u);
    // The least room between an amount and the line to its right, by the
    // column the amount stands in (numbered by that line).
    std::map<size_t, double> room;
    const QRegularExpression amount("^[0-9][0-9,]*$");
    for (const PdfTextRow& row : PdfTextRows(pdf, 0)) {
        if (!amount.match(row.text).hasMatch()) continue;
        auto right = std::upper_bound(lines.begin(), lines.end(), row.box.center().x());
        if (right == lines.end()) continue;
        const size_t column = static_cast<size_t>(right - lines.begin());
        const double r = *right - row.box.right();
        room[column] = room.count(column) ? std::min(room[column], r) : r;
    }
    // The last three columns: debit, credit, balance.
    const size_t balance = lines.size() - 1, credit = balance - 1, debit = balance - 2;
    ASSERT_TRUE(room.count(debit) && room.count(credit) && room.count(balance));
    EXPECT_GT(room[debit], 2.0);
    EXPECT_NEAR(room[credit], room[debit], 1.5);
    EXPECT_NEAR(room[balance], room[debit], 1.5) << "the balances keep the room of the debits";
}

// ---------------------------------------------------------------- long texts on the page

// A text of `n` characters that reads as running Japanese (no blanks to
// break at).
QString LongText(const QString& head, int n) {
    const QString filler = "元帳摘要相手科目補助科目取引先の長い名前";
    QString s = head;
    while (s.size() < n) s += filler;
    return s.left(n);
}

TEST_F(LedgerReport, LongTextsAreCutAtTheirCellsAndThePageKeepsTheFormsSize) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    // Cash against bank (both sub-accounts named) and sales with tax, on
    // twelve lines, first with short texts.
    for (int no = 1; no <= 6; ++no) {
        Post(202604, no, 20260410 + no,
             {{1, 1, kCash, "1234567", "0", 0, 0, 0, "入金"}, {1, 2, kBank, "1234567", "0", 2, 7, 3, "振替"}});
        Counter(202604, no, 1, 1, kBank, 2, 7);
        Counter(202604, no, 2, 1, kCash);
    }
    QTemporaryDir keep;
    int pages = 0;
    auto render = [&](const QString& name) {
        ReportCapture rendered(true);
        EXPECT_TRUE(Make(1, 202604, 202604, kCash, kCash));
        report.PrintOut();
        if (rendered.Empty()) return QString();
        const QString kept = QDir(keep.path()).filePath(name + ".pdf");
        QFile::copy(rendered.Last().pdfPath, kept);
        pages = rendered.Last().pageCount;
        return kept;
    };
    const QString shortPdf = render("short");
    ASSERT_FALSE(shortPdf.isEmpty());
    const int shortPages = pages;

    // The same lines with the longest texts: description, counter-account
    // and sub-account names, tax name, the association, branch and group.
    folder.Sql("UPDATE DNMDT SET DNM_TEKIYO = " + fncSqlQuote(LongText("行摘要", 300)));
    folder.Sql("UPDATE KMKMF SET KMK_RNAME = " + fncSqlQuote(LongText("科目", 120)));
    folder.Sql("UPDATE HK1MF SET HK1_RNAME = " + fncSqlQuote(LongText("補助一", 120)));
    folder.Sql("UPDATE HK2MF SET HK2_RNAME = " + fncSqlQuote(LongText("補助二", 120)));
    folder.Sql("UPDATE ZEIMF SET ZEI_NAME = " + fncSqlQuote(LongText("税区分", 120)));
    folder.Sql("UPDATE DNMDT SET DNM_ZKBN = 3");
    folder.Sql("UPDATE CNTMF SET CNT_KUMINAME = " + fncSqlQuote(LongText("組合", 150)));
    folder.Sql("UPDATE SSKMF SET SSK_RNAME = " + fncSqlQuote(LongText("支部", 150)));
    folder.Sql("UPDATE GRPMF SET GRP_RNAME = " + fncSqlQuote(LongText("部門", 150)));
    const QString longPdf = render("long");
    ASSERT_FALSE(longPdf.isEmpty());
    EXPECT_EQ(pages, shortPages);

    EXPECT_EQ(PdfPageSize(longPdf, 0), PdfPageSize(shortPdf, 0));
    const QRectF shortBox = PdfInkBox(shortPdf, 0);
    const QRectF longBox = PdfInkBox(longPdf, 0);
    ASSERT_FALSE(shortBox.isEmpty());
    ASSERT_FALSE(longBox.isEmpty());
    // The same form at the same scale: the drawn content takes the same
    // place on the page, within a few points.
    EXPECT_NEAR(longBox.left(), shortBox.left(), 3.0);
    EXPECT_NEAR(longBox.top(), shortBox.top(), 3.0);
    EXPECT_NEAR(longBox.width(), shortBox.width(), 6.0);
    EXPECT_NEAR(longBox.height(), shortBox.height(), 6.0);
    // The texts are there, cut or shrunk, not dropped.
    const QString text = PdfTextCompact(longPdf);
    for (const char* head : {"行摘要", "補助一", "補助二", "税区分", "組合", "支部"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(head))) << head;
}

}  // namespace
