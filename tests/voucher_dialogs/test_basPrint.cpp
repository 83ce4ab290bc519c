// The voucher print: which vouchers and lines it prints, how they are laid
// out in blocks and pages of the template, the totals, the refused
// arguments, the messages, the progress dialog with its cancel, and one run
// through to a real PDF.
#include "ReportCapture.h"
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/XlsReport.h"
#include "voucher_dialogs/basPrint.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

using namespace basStdComm;
using basPrint::fncPrintVouchers;

namespace {

const QStringList kLineMarkers = {"**Kmkcd(", "**Hk1cd(", "**Hk2cd(", "**Zkbn(",   "**Kmk(",    "**Hk1(",
                                  "**Hk2(",   "**Kin(",   "**Tri(",   "**Tekiyo(", "**Zkbnnm(", "**Tax("};

class VoucherPrint : public ::testing::Test {
protected:
    void SetUp() override {
        InsertVoucherMasters(folder);
        CopyReportTemplates();
    }

    void SetFormat(const QString& value) {
        folder.Sql("DELETE FROM SYSTEM WHERE SYS_KEY = 'FuriDenFormat'; "
                   "INSERT INTO SYSTEM (SYS_KEY, SYS_VALUE) VALUES ('FuriDenFormat', " +
                   fncSqlQuote(value) + ")");
    }
    // A voucher of April 2026 with `debits` debit lines of cash and
    // `credits` credit lines of sales, each line of `amount`.
    void Voucher(long no, int debits, int credits = 1, const QString& amount = "1000", long date = 20260415) {
        QList<TestLine> lines;
        for (int i = 1; i <= debits; ++i) lines.append({i, 1, kCash, amount});
        for (int i = 1; i <= credits; ++i) lines.append({i, 2, kSales, amount});
        InsertVoucher(folder, date / 100, no, date, lines);
    }
    // The usual call of the two windows: one numbering period, a number range.
    bool PrintNumbers(long from, long to, long ym = 202604, bool progress = false, long output = 0) {
        return fncPrintVouchers(&report, progress, output, ym, ym, from, to, 0, 0, 0);
    }

    const ReportOutput& Out() const { return capture.Last(); }
    static QVariant Given(const ReportPage& p, const QString& marker, long row = 0) {
        const ReportCell* c = p.Find(marker, 0, row);
        return c ? c->value : QVariant();
    }
    static QVariant Stored(const ReportPage& p, const QString& marker, long row = 0) {
        const ReportCell* c = p.Find(marker, 0, row);
        return c ? c->stored : QVariant();
    }
    // The values written to the line-number column of a block, in order.
    static QList<long long> LineNumbers(const ReportPage& p, const QString& suffix = QString()) {
        QList<long long> n;
        for (const ReportCell& c : p.cells)
            if (c.marker == "**Gyo" + suffix) n << c.value.toLongLong();
        return n;
    }
    static QList<long long> Range(long long from, long long to) {
        QList<long long> r;
        for (long long i = from; i <= to; ++i) r << i;
        return r;
    }

    AppFolder folder;
    MsgRecorder msgs;
    ReportCapture capture;
    XlsReport report;
};

// ---------------------------------------------------------------- blocks and pages, format 6

TEST_F(VoucherPrint, ThreeLinesFillOnePageAtFourRowSteps) {
    Voucher(1, 3);
    ASSERT_TRUE(PrintNumbers(1, 1));
    ASSERT_EQ(capture.Outputs().size(), 1u);
    ASSERT_EQ(Out().pages.size(), 1u);
    const ReportPage& p = Out().pages[0];
    EXPECT_EQ(p.sheet, "6");
    EXPECT_EQ(Given(p, "**Page"), QVariant("1/1"));
    EXPECT_EQ(LineNumbers(p), Range(1, 6));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Given(p, "**Gyo", 4 * i).toLongLong(), i + 1);
    for (long row : {0, 4, 8}) EXPECT_NE(p.Find("**Kmkcd(1)", 0, row), nullptr) << row;
    EXPECT_EQ(p.Find("**Kmkcd(1)", 0, 12), nullptr);
    EXPECT_EQ(Given(p, "**Sum(1)"), QVariant("'3,000"));
    EXPECT_EQ(Given(p, "**Sum(2)"), QVariant("'1,000"));
    EXPECT_FALSE(p.ended);
    EXPECT_EQ(Out().calls, QStringList({"BeginReport", "NewPage 6", "PrintOut"})) << "no EndPage before the output";
    EXPECT_TRUE(msgs.Empty());
    EXPECT_FALSE(report.Begun()) << "the report is released after the output";
}

TEST_F(VoucherPrint, SevenLinesGoOnToASecondPageWithRunningLineNumbers) {
    Voucher(1, 7);
    ASSERT_TRUE(PrintNumbers(1, 1));
    ASSERT_EQ(Out().pages.size(), 2u);
    const ReportPage& first = Out().pages[0];
    const ReportPage& second = Out().pages[1];
    EXPECT_EQ(LineNumbers(first), Range(1, 6));
    EXPECT_EQ(LineNumbers(second), Range(7, 12));
    EXPECT_EQ(Given(first, "**Page"), QVariant("1/2"));
    EXPECT_EQ(Given(second, "**Page"), QVariant("2/2"));
    EXPECT_EQ(first.Count("**Kmkcd(1)"), 6);
    EXPECT_EQ(second.Count("**Kmkcd(1)"), 1);
    EXPECT_NE(second.Find("**Kmkcd(1)", 0, 0), nullptr) << "the seventh line opens the second block";
    EXPECT_TRUE(first.ended);
    EXPECT_EQ(Out().calls, QStringList({"BeginReport", "NewPage 6", "EndPage", "NewPage 6", "PrintOut"}));
    EXPECT_EQ(first.Count("**Sum(1)") + first.Count("**Sum(2)"), 0) << "totals only on the last block";
    EXPECT_EQ(Given(second, "**Sum(1)"), QVariant("'7,000"));
    // Header cells repeat on every block.
    for (const ReportPage* p : {&first, &second}) {
        EXPECT_EQ(Given(*p, "**Date"), QVariant("2026/04/15"));
        EXPECT_EQ(Given(*p, "**Denno"), QVariant("'1"));
    }
}

TEST_F(VoucherPrint, SixLinesFillThePageAndEndItBeforeTheOutput) {
    Voucher(1, 6);
    ASSERT_TRUE(PrintNumbers(1, 1));
    ASSERT_EQ(Out().pages.size(), 1u);
    EXPECT_TRUE(Out().pages[0].ended);
    EXPECT_EQ(Out().calls, QStringList({"BeginReport", "NewPage 6", "EndPage", "PrintOut"}));
    EXPECT_EQ(Given(Out().pages[0], "**Page"), QVariant("1/1"));
}

TEST_F(VoucherPrint, EachVoucherStartsOnANewPage) {
    Voucher(1, 6);
    Voucher(2, 2);
    Voucher(3, 7);
    ASSERT_TRUE(PrintNumbers(1, 3));
    ASSERT_EQ(Out().pages.size(), 4u);
    const QString denno[] = {"'1", "'2", "'3", "'3"};
    const QString page[] = {"1/1", "1/1", "1/2", "2/2"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Given(Out().pages[i], "**Denno"), QVariant(denno[i])) << i;
        EXPECT_EQ(Given(Out().pages[i], "**Page"), QVariant(page[i])) << i;
    }
    EXPECT_EQ(Given(Out().pages[1], "**Sum(1)"), QVariant("'2,000")) << "totals start again for each voucher";
    EXPECT_EQ(Given(Out().pages[3], "**Sum(1)"), QVariant("'7,000"));
    EXPECT_EQ(LineNumbers(Out().pages[1]), Range(1, 6));
    EXPECT_EQ(Out().calls.count("EndPage"), 3) << "the last page is still open at the output";
}

// ---------------------------------------------------------------- line cells

TEST_F(VoucherPrint, DebitAndCreditOfOneLineShareTheBlockRow) {
    Voucher(1, 3, 1);
    ASSERT_TRUE(PrintNumbers(1, 1));
    const ReportPage& p = Out().pages[0];
    for (const QString& m : kLineMarkers) {
        for (long row : {0, 4, 8}) EXPECT_NE(p.Find(m + "1)", 0, row), nullptr) << m.toStdString() << row;
        EXPECT_NE(p.Find(m + "2)", 0, 0), nullptr) << m.toStdString();
        EXPECT_EQ(p.Find(m + "2)", 0, 4), nullptr) << m.toStdString();
        EXPECT_EQ(p.Find(m + "2)", 0, 8), nullptr) << m.toStdString();
    }
    // The twelve cells of a line half are written in their fixed order.
    QStringList order;
    for (const ReportCell& c : p.cells)
        if (c.rowOffset == 0 && c.marker.endsWith("(2)") && !c.marker.startsWith("**Sum"))
            order << c.marker.chopped(2);
    EXPECT_EQ(order, kLineMarkers);
}

TEST_F(VoucherPrint, LineCellsShowCodesNamesAndAmounts) {
    InsertVoucher(folder, 202604, 1, 20260415,
                  {{1, 1, kBank, "50000", "0", 1, 0, 0, "入金"}, {1, 2, 999, "45455", "0", 0, 0, 0, "不明科目"},
                   {2, 2, kOutputTax, "4545", "0", 0, 0, 0, QString()}, {2, 1, kSupplies, "1080", "80", 0, 0, 2}},
                  "四月分売上");
    folder.Sql("UPDATE DNMDT SET DNM_TRICD = 10 WHERE DNM_GYO = 1 AND DNM_TSKBN = 1");
    ASSERT_TRUE(PrintNumbers(1, 1));
    const ReportPage& p = Out().pages[0];
    // Header.
    EXPECT_EQ(Given(p, "**SskGrp"), QVariant(basTavik::FncGetSskGrpName(1, 1)));
    EXPECT_FALSE(Given(p, "**SskGrp").toString().isEmpty());
    EXPECT_EQ(Given(p, "**Date"), QVariant("2026/04/15"));
    EXPECT_EQ(Given(p, "**Denno"), QVariant("'1"));
    EXPECT_EQ(Stored(p, "**Denno"), QVariant("1"));
    EXPECT_EQ(Given(p, "**Dtekiyo"), QVariant("四月分売上"));
    EXPECT_EQ(Given(p, "**Tanto"), QVariant("佐藤 花子"));
    // Debit line 1: bank with sub-account 1, partner, description.
    EXPECT_EQ(Given(p, "**Kmkcd(1)"), QVariant("'110"));
    EXPECT_EQ(Given(p, "**Kmk(1)"), QVariant("普通預金"));
    EXPECT_EQ(Given(p, "**Hk1cd(1)"), QVariant("'1"));
    EXPECT_EQ(Given(p, "**Hk1(1)"), QVariant("みずほ銀行"));
    EXPECT_EQ(Given(p, "**Tri(1)"), QVariant("株式会社みなと"));
    EXPECT_EQ(Given(p, "**Tekiyo(1)"), QVariant("入金"));
    EXPECT_EQ(Given(p, "**Kin(1)"), QVariant("50,000"));
    // No sub-account 2 and no tax code: the apostrophe alone, an empty cell.
    for (const char* m : {"**Hk2cd(1)", "**Zkbn(1)"}) {
        EXPECT_EQ(Given(p, m), QVariant("'")) << m;
        EXPECT_FALSE(Stored(p, m).isValid()) << m;
    }
    EXPECT_EQ(Given(p, "**Hk2(1)"), QVariant(""));
    // Credit line 1: an account missing from the master has no name.
    EXPECT_EQ(Given(p, "**Kmkcd(2)"), QVariant("'999"));
    EXPECT_EQ(Given(p, "**Kmk(2)"), QVariant(""));
    EXPECT_EQ(Given(p, "**Hk1cd(2)"), QVariant("'"));
    EXPECT_FALSE(Stored(p, "**Hk1cd(2)").isValid());
    // Debit line 2: tax code with its name and the tax.
    EXPECT_EQ(Given(p, "**Zkbn(1)", 4), QVariant("'2"));
    EXPECT_EQ(Given(p, "**Zkbnnm(1)", 4), QVariant("課税仕入8%内税"));
    EXPECT_EQ(Given(p, "**Tax(1)", 4), QVariant("80"));
    EXPECT_EQ(Given(p, "**Tax(1)"), QVariant("0"));
    // Totals: amount plus tax of each side.
    EXPECT_EQ(Given(p, "**Sum(1)"), QVariant("'51,160"));
    EXPECT_EQ(Given(p, "**Sum(2)"), QVariant("'50,000"));
}

TEST_F(VoucherPrint, SevenDigitAmountsAndTotalsCarryThousandsSeparators) {
    InsertVoucher(folder, 202604, 1, 20260415,
                  {{1, 1, kPurchase, "1234567", "123456", 0, 0, 1}, {1, 2, kPayable, "1358023"}});
    ASSERT_TRUE(PrintNumbers(1, 1));
    const ReportPage& p = Out().pages[0];
    EXPECT_EQ(Given(p, "**Kin(1)"), QVariant("1,234,567"));
    EXPECT_EQ(Given(p, "**Tax(1)"), QVariant("123,456"));
    EXPECT_EQ(Given(p, "**Sum(1)"), QVariant("'1,358,023"));
    EXPECT_EQ(Stored(p, "**Sum(1)"), QVariant("1,358,023"));
    EXPECT_EQ(Given(p, "**Sum(2)"), QVariant("'1,358,023"));
}

TEST_F(VoucherPrint, TaxCodeWithSeveralValidityPeriodsPrintsEachLineOnce) {
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(1, 20300101, 99991231, 1, 0.12, '課税仕入12%')");
    InsertVoucher(folder, 202604, 1, 20260415, {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {1, 2, kCash, "1100"}});
    ASSERT_TRUE(PrintNumbers(1, 1));
    const ReportPage& p = Out().pages[0];
    EXPECT_EQ(p.Count("**Kmkcd(1)"), 1);
    EXPECT_EQ(Given(p, "**Zkbnnm(1)"), QVariant("課税仕入10%"));
    EXPECT_EQ(Given(p, "**Sum(1)"), QVariant("'1,100"));
}

TEST_F(VoucherPrint, TheTaxNameIsTheOneInForceOnTheVoucherDate) {
    // Tax code 1 has a past, a current and a future period (the end day
    // belongs to its period).
    folder.Sql("UPDATE ZEIMF SET ZEI_DATEST = 20260601, ZEI_DATEEND = 20261231 WHERE ZEI_CD = 1");
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES "
               "(1, 20140401, 20260531, 1, 0.08, '課税仕入8%(旧)'), (1, 20270101, 99991231, 1, 0.12, '課税仕入12%')");
    const long dates[] = {20260531, 20260601, 20261231, 20270101};
    for (long i = 0; i < 4; ++i)
        InsertVoucher(folder, dates[i] / 100, i + 1, dates[i],
                      {{1, 1, kPurchase, "1000", "100", 0, 0, 1}, {1, 2, kCash, "1100"}});
    // Date mode: every voucher from the first date to the last.
    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, dates[0], dates[3], 0, 0, 0, 0, 0));
    ASSERT_EQ(Out().pages.size(), 4u);
    QStringList names;
    for (const ReportPage& p : Out().pages) {
        EXPECT_EQ(p.Count("**Kmkcd(1)"), 1) << "each line once";
        names << Given(p, "**Zkbnnm(1)").toString();
    }
    const QString past = basStdComm::fncLookupField("ZEI_NAME", "ZEIMF", "ZEI_CD = 1 AND ZEI_DATEST = 20140401");
    const QString current = basStdComm::fncLookupField("ZEI_NAME", "ZEIMF", "ZEI_CD = 1 AND ZEI_DATEST = 20260601");
    const QString future = basStdComm::fncLookupField("ZEI_NAME", "ZEIMF", "ZEI_CD = 1 AND ZEI_DATEST = 20270101");
    EXPECT_EQ(names, QStringList({past, current, current, future})) << names.join("|").toStdString();
}

TEST_F(VoucherPrint, TaxLinesDeletedVouchersAndOtherKindsAreNotPrinted) {
    InsertVoucher(folder, 202604, 1, 20260415,
                  {{1, 1, kPurchase, "1000"}, {98, 1, kInputTax, "100"}, {1, 2, kCash, "1100"},
                   {99, 2, kOutputTax, "5"}});
    InsertVoucher(folder, 202604, 2, 20260415, {{1, 1, kCash, "500"}, {1, 2, kSales, "500"}}, QString(), 0, 9);
    InsertVoucher(folder, 202604, 3, 20260415, {{1, 1, kCash, "700"}, {1, 2, kSales, "700"}}, QString(), 10);
    InsertVoucher(folder, 202604, 4, 20260415, {{1, 1, kCash, "900"}, {1, 2, kSales, "900"}}, QString(), 1);
    ASSERT_TRUE(PrintNumbers(1, 4));
    ASSERT_EQ(Out().pages.size(), 2u);
    EXPECT_EQ(Given(Out().pages[0], "**Denno"), QVariant("'1"));
    EXPECT_EQ(Out().pages[0].Count("**Kmkcd(1)"), 1);
    EXPECT_EQ(Given(Out().pages[0], "**Sum(1)"), QVariant("'1,000"));
    EXPECT_EQ(Given(Out().pages[1], "**Denno"), QVariant("'4")) << "a settlement voucher is printed";
}

// ---------------------------------------------------------------- format 9

TEST_F(VoucherPrint, Format9PutsTwoVouchersOnASheetAndBeginsANewSheetForTheThird) {
    SetFormat("9");
    Voucher(1, 2, 1, "100");
    Voucher(2, 1, 1, "200");
    Voucher(3, 1, 1, "300");
    ASSERT_TRUE(PrintNumbers(1, 3));
    ASSERT_EQ(Out().pages.size(), 2u);
    const ReportPage& sheet1 = Out().pages[0];
    const ReportPage& sheet2 = Out().pages[1];
    EXPECT_EQ(sheet1.sheet, "9");
    EXPECT_EQ(sheet2.sheet, "9");
    EXPECT_EQ(Given(sheet1, "**Denno"), QVariant("'1"));
    EXPECT_EQ(Given(sheet1, "**Denno_2"), QVariant("'2"));
    EXPECT_EQ(Given(sheet1, "**Sum(1)"), QVariant("'200"));
    EXPECT_EQ(Given(sheet1, "**Sum(1)_2"), QVariant("'200"));
    EXPECT_EQ(Given(sheet1, "**Kmkcd(1)_2"), QVariant("'100"));
    EXPECT_EQ(LineNumbers(sheet1), Range(1, 6));
    EXPECT_EQ(LineNumbers(sheet1, "_2"), Range(1, 6));
    EXPECT_EQ(Given(sheet1, "**Page_2"), QVariant("1/1"));
    EXPECT_TRUE(sheet1.ended);
    EXPECT_EQ(Given(sheet2, "**Denno"), QVariant("'3"));
    EXPECT_EQ(sheet2.Count("**Denno_2"), 0) << "the lower block of the last sheet stays empty";
    EXPECT_EQ(Out().calls, QStringList({"BeginReport", "NewPage 9", "EndPage", "NewPage 9", "PrintOut"}));
}

TEST_F(VoucherPrint, Format9VoucherOverflowingItsBlockGoesOnInTheNextBlock) {
    SetFormat("9");
    Voucher(1, 7);
    Voucher(2, 1);
    ASSERT_TRUE(PrintNumbers(1, 2));
    ASSERT_EQ(Out().pages.size(), 2u);
    const ReportPage& p = Out().pages[0];
    EXPECT_EQ(LineNumbers(p), Range(1, 6));
    EXPECT_EQ(LineNumbers(p, "_2"), Range(7, 12));
    EXPECT_EQ(Given(p, "**Page"), QVariant("1/2"));
    EXPECT_EQ(Given(p, "**Page_2"), QVariant("2/2"));
    EXPECT_EQ(p.Count("**Sum(1)"), 0);
    EXPECT_EQ(Given(p, "**Sum(1)_2"), QVariant("'7,000"));
    EXPECT_EQ(Given(Out().pages[1], "**Denno"), QVariant("'2"));
}

TEST_F(VoucherPrint, Format9VoucherOfCreditLinesOnlyStillClosesThePreviousVoucher) {
    SetFormat("9");
    Voucher(1, 1, 1, "100");
    InsertVoucher(folder, 202604, 2, 20260415, {{1, 2, kSales, "300"}, {2, 2, kSales, "400"}});
    ASSERT_TRUE(PrintNumbers(1, 2));
    ASSERT_EQ(Out().pages.size(), 1u);
    const ReportPage& p = Out().pages[0];
    EXPECT_EQ(Given(p, "**Sum(1)"), QVariant("'100"));
    EXPECT_EQ(Given(p, "**Denno_2"), QVariant("'2"));
    EXPECT_EQ(Given(p, "**Page_2"), QVariant("1/1"));
    EXPECT_EQ(p.Count("**Kmkcd(2)_2"), 2);
    EXPECT_EQ(Given(p, "**Sum(2)_2"), QVariant("'700"));
}

// ---------------------------------------------------------------- the format switch

struct FormatCase {
    const char* value;   // nullptr: no row
    const char* sheet;
    int lines;
};

class VoucherPrintFormat : public VoucherPrint, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(VoucherPrintFormat, SwitchSelectsSheetAndLinesPerBlock) {
    if (GetParam().value) SetFormat(GetParam().value);
    Voucher(1, 1);
    ASSERT_TRUE(PrintNumbers(1, 1));
    ASSERT_EQ(Out().pages.size(), 1u);
    EXPECT_EQ(Out().pages[0].sheet, GetParam().sheet);
    EXPECT_EQ(LineNumbers(Out().pages[0]), Range(1, GetParam().lines));
}

INSTANTIATE_TEST_SUITE_P(FuriDenFormat, VoucherPrintFormat,
                         ::testing::Values(FormatCase{nullptr, "6", 6}, FormatCase{"", "6", 6},
                                           FormatCase{"0", "6", 6}, FormatCase{"abc", "6", 6},
                                           FormatCase{"6.5", "6", 6}, FormatCase{"9", "9", 6},
                                           FormatCase{"12", "12", 12}, FormatCase{"12.5", "12", 12}));

TEST_F(VoucherPrint, UnknownFormatEndsOnTheErrorPathWithoutOutput) {
    SetFormat("7");
    Voucher(1, 1);
    EXPECT_FALSE(fncPrintVouchers(&report, true, 0, 202604, 202604, 1, 1, 0, 0, 0));
    EXPECT_TRUE(capture.Empty());
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.startsWith("ｴﾗｰ番号 :")) << msgs.Last().prompt.toStdString();
    EXPECT_FALSE(report.Begun());
    EXPECT_FALSE(gobjProgress->Visible());
}

// ---------------------------------------------------------------- selection

TEST_F(VoucherPrint, NumberingPeriodSettingNarrowsTheNumberRange) {
    Voucher(1, 1, 1, "100", 20260415);
    Voucher(1, 1, 1, "200", 20260515);
    Voucher(2, 1, 1, "300", 20260520);
    struct {
        const char* sban;
        long key;
        int pages;
    } cases[] = {{"0", 202605, 1}, {"1", 2026, 2}, {"1", 2027, 0}, {"2", 202604, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sban);
        folder.Sql(QString("UPDATE SSKMF SET SSK_SBANKBN = %1").arg(c.sban));
        const size_t before = capture.Outputs().size();
        msgs.Clear();
        const bool printed = PrintNumbers(1, 1, c.key);
        EXPECT_EQ(printed, c.pages > 0);
        if (c.pages == 0) {
            EXPECT_EQ(capture.Outputs().size(), before);
            continue;
        }
        ASSERT_EQ(capture.Outputs().size(), before + 1);
        ASSERT_EQ(Out().pages.size(), static_cast<size_t>(c.pages));
        for (const ReportPage& p : Out().pages) EXPECT_EQ(Given(p, "**Denno"), QVariant("'1"));
    }
    // Month numbering: only the month of the key.
    folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 0");
    ASSERT_TRUE(PrintNumbers(1, 1, 202605));
    EXPECT_EQ(Given(Out().pages[0], "**Date"), QVariant("2026/05/15"));
}

TEST_F(VoucherPrint, NumberModeWithoutBranchRowIsRefusedWithTheFiscalMessage) {
    Voucher(1, 1);
    folder.Sql("DELETE FROM SSKMF");
    EXPECT_FALSE(PrintNumbers(1, 1));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "決算期間マスタが登録されていません。");
    EXPECT_EQ(msgs.Last().icon(), vbCritical);
    EXPECT_EQ(msgs.Last().title, "振替伝票印刷");
    EXPECT_TRUE(capture.Empty());
}

TEST_F(VoucherPrint, DateModeTakesTheVoucherDateRange) {
    Voucher(1, 1, 1, "100", 20260410);
    Voucher(2, 1, 1, "200", 20260415);
    Voucher(3, 1, 1, "300", 20260420);
    Voucher(4, 1, 1, "400", 20260421);
    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, 20260412, 20260420, 0, 0, 0, 0, 0));
    ASSERT_EQ(Out().pages.size(), 2u);
    EXPECT_EQ(Given(Out().pages[0], "**Denno"), QVariant("'2"));
    EXPECT_EQ(Given(Out().pages[1], "**Denno"), QVariant("'3"));
}

TEST_F(VoucherPrint, InputDateModeTakesTheInputDatesAndCountsBlocksOfThoseOnly) {
    // Two vouchers sharing date and number (different months of record): the
    // block count must only see the one of the input-date range.
    Voucher(5, 3, 1, "100", 20260415);
    InsertVoucher(folder, 202605, 5, 20260415,
                  {{1, 1, kCash, "1"}, {2, 1, kCash, "1"}, {3, 1, kCash, "1"}, {4, 1, kCash, "1"}, {1, 2, kSales, "4"}});
    folder.Sql("UPDATE DNHDT SET DNH_NDATE = 20260501 WHERE DNH_YM = 202604");
    folder.Sql("UPDATE DNHDT SET DNH_NDATE = 20260415 WHERE DNH_YM = 202605");
    Voucher(6, 1, 1, "600", 20260416);
    folder.Sql("UPDATE DNHDT SET DNH_NDATE = 20260531 WHERE DNH_DENNO = 6");
    Voucher(7, 1, 1, "700", 20260417);
    folder.Sql("UPDATE DNHDT SET DNH_NDATE = 20260601 WHERE DNH_DENNO = 7");

    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, 0, 0, 0, 0, 20260501, 20260531, 0));
    ASSERT_EQ(Out().pages.size(), 2u);
    EXPECT_EQ(Given(Out().pages[0], "**Denno"), QVariant("'5"));
    EXPECT_EQ(Out().pages[0].Count("**Kmkcd(1)"), 3);
    EXPECT_EQ(Given(Out().pages[0], "**Page"), QVariant("1/1"));
    EXPECT_EQ(Given(Out().pages[0], "**Sum(1)"), QVariant("'300"));
    EXPECT_EQ(Given(Out().pages[1], "**Denno"), QVariant("'6"));
}

TEST_F(VoucherPrint, PersonNarrowsTheVouchersAndTheirBlockCount) {
    Voucher(5, 3, 1, "100", 20260415);
    InsertVoucher(folder, 202605, 5, 20260415,
                  {{1, 1, kCash, "1"}, {2, 1, kCash, "1"}, {3, 1, kCash, "1"}, {4, 1, kCash, "1"}, {1, 2, kSales, "4"}});
    folder.Sql("UPDATE DNHDT SET DNH_TANCD = 1 WHERE DNH_YM = 202605");
    Voucher(6, 1, 1, "600", 20260416);
    folder.Sql("UPDATE DNHDT SET DNH_TANCD = 1 WHERE DNH_DENNO = 6");
    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, 0, 0, 0, 0, 20260401, 20260430, 2));
    ASSERT_EQ(Out().pages.size(), 1u);
    EXPECT_EQ(Given(Out().pages[0], "**Tanto"), QVariant("佐藤 花子"));
    EXPECT_EQ(Given(Out().pages[0], "**Page"), QVariant("1/1"));
    EXPECT_EQ(Out().pages[0].Count("**Kmkcd(1)"), 3);
}

TEST_F(VoucherPrint, RefusedArgumentsEndSilentlyBeforeAnyQuery) {
    Voucher(1, 1);
    struct {
        const char* why;
        long output, keyFrom, keyTo, noFrom, noTo, inFrom, inTo;
    } cases[] = {
        {"output 2", 2, 202604, 202604, 1, 1, 0, 0},
        {"output -1", -1, 202604, 202604, 1, 1, 0, 0},
        {"key from after key to", 0, 202605, 202604, 1, 1, 0, 0},
        {"30 February", 0, 0, 0, 0, 0, 20270230, 20270331},
        {"input date to not a date", 0, 0, 0, 0, 0, 20260401, 20260431},
        {"input date to missing", 0, 0, 0, 0, 0, 20260401, 0},
        {"input dates reversed", 0, 0, 0, 0, 0, 20260430, 20260401},
        {"numbers reversed", 0, 202604, 202604, 2, 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        gstrSQL = "untouched";
        EXPECT_FALSE(fncPrintVouchers(&report, true, c.output, c.keyFrom, c.keyTo, c.noFrom, c.noTo, c.inFrom,
                                      c.inTo, 0));
        EXPECT_EQ(gstrSQL, "untouched") << "no query was made";
        EXPECT_FALSE(report.Begun());
        EXPECT_FALSE(gobjProgress->Visible());
    }
    EXPECT_TRUE(msgs.Empty());
    EXPECT_TRUE(capture.Empty());
}

TEST_F(VoucherPrint, APrintGoesOutUnderTheNameOfItsVouchers) {
    for (long no = 1; no <= 3; ++no) Voucher(no, 1);
    ASSERT_TRUE(PrintNumbers(2, 2));
    EXPECT_EQ(Out().outputName.toStdString(), "振替伝票_202604_No2");
    ASSERT_TRUE(PrintNumbers(1, 3));
    EXPECT_EQ(Out().outputName.toStdString(), "振替伝票_202604_No1-3");
    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, 20260401, 20260430, 0, 0, 0, 0, 0));
    EXPECT_EQ(Out().outputName.toStdString(), "振替伝票_20260401-20260430");
    folder.Sql("UPDATE DNHDT SET DNH_NDATE = 20260502");
    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, 0, 0, 0, 0, 20260501, 20260531, 0));
    EXPECT_EQ(Out().outputName.toStdString(), "振替伝票_入力日20260501-20260531");
}

TEST_F(VoucherPrint, NothingFoundSaysSo) {
    Voucher(1, 1);
    EXPECT_FALSE(PrintNumbers(2, 9));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "該当データがありません。");
    EXPECT_EQ(msgs.Last().icon(), vbInformation);
    EXPECT_EQ(msgs.Last().title, "伝票印刷");
    EXPECT_TRUE(capture.Empty());
}

// ---------------------------------------------------------------- output, errors, progress

TEST_F(VoucherPrint, PreviewOutputUsesTheFixedWindowSize) {
    Voucher(1, 1);
    ASSERT_TRUE(PrintNumbers(1, 1, 202604, false, 1));
    EXPECT_EQ(Out().kind, ReportOutput::Preview);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    // 12000 by 8500 twips.
    EXPECT_EQ(Out().previewWidth, static_cast<int>(std::nearbyint(12000 * screen->logicalDotsPerInchX() / 1440)));
    EXPECT_EQ(Out().previewHeight, static_cast<int>(std::nearbyint(8500 * screen->logicalDotsPerInchY() / 1440)));
    EXPECT_EQ(Out().previewWindow.DisplayMode, -2);
    EXPECT_EQ(Out().previewWindow.DisplayStyle, 1);
    EXPECT_EQ(Out().calls.last(), "Preview");
}

TEST_F(VoucherPrint, CallerWithoutAControlPrintsThroughOneOfItsOwn) {
    Voucher(1, 2);
    EXPECT_TRUE(fncPrintVouchers(nullptr, false, 0, 202604, 202604, 1, 1, 0, 0, 0));
    ASSERT_EQ(capture.Outputs().size(), 1u);
    EXPECT_EQ(Out().pages.size(), 1u);
}

TEST_F(VoucherPrint, MissingTemplateShowsTheTemplateMessage) {
    Voucher(1, 1);
    ASSERT_TRUE(QFile::remove(gstrReportPath + "WKP410.XLS"));
    EXPECT_FALSE(fncPrintVouchers(&report, true, 0, 202604, 202604, 1, 1, 0, 0, 0));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "帳票を作成するために必要なExcelファイルがありません。");
    EXPECT_TRUE(capture.Empty());
    EXPECT_FALSE(gobjProgress->Visible());
}

TEST_F(VoucherPrint, ProgressDialogShowsTheRunAndIsHiddenAfterIt) {
    for (int no = 1; no <= 3; ++no) Voucher(no, 2);
    ASSERT_TRUE(PrintNumbers(1, 3, 202604, true));
    EXPECT_EQ(gobjProgress->Max(), 9) << "one step per record (three lines a voucher)";
    EXPECT_EQ(gobjProgress->Title(), "振替伝票印刷");
    EXPECT_EQ(gobjProgress->Message(), "レポートを展開中");
    EXPECT_EQ(gobjProgress->Position(), 9);
    EXPECT_FALSE(gobjProgress->Visible());
    EXPECT_EQ(Out().pages.size(), 3u);
}

// Presses the cancel button of the progress dialog as soon as events run.
void PressCancelSoon() {
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w))
                if (d->isVisible())
                    if (auto* b = d->findChild<QPushButton*>()) b->click();
    });
}

TEST_F(VoucherPrint, CancelConfirmedInTheProgressDialogDropsTheReport) {
    for (int no = 1; no <= 3; ++no) Voucher(no, 2);
    msgs.Answer(vbYes);
    PressCancelSoon();
    EXPECT_FALSE(PrintNumbers(1, 3, 202604, true));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_EQ(msgs.Last().prompt, "処理を中止しますか");
    EXPECT_EQ(msgs.Last().buttons(), vbYesNo);
    EXPECT_EQ(msgs.Last().icon(), vbInformation);
    EXPECT_EQ(msgs.Last().title, "振替伝票一括印刷");
    EXPECT_TRUE(capture.Empty()) << "nothing is output";
    EXPECT_FALSE(report.Begun());
    EXPECT_FALSE(gobjProgress->Visible());

    // The next run is not stopped by the old request.
    msgs.Clear();
    EXPECT_TRUE(PrintNumbers(1, 3, 202604, true));
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(VoucherPrint, CancelDeclinedGoesOnToTheEnd) {
    for (int no = 1; no <= 3; ++no) Voucher(no, 2);
    msgs.Answer(vbNo);
    PressCancelSoon();
    EXPECT_TRUE(PrintNumbers(1, 3, 202604, true));
    EXPECT_EQ(msgs.Calls().size(), 1u);
    EXPECT_FALSE(gobjProgress->CancelRequested());
    ASSERT_EQ(capture.Outputs().size(), 1u);
    EXPECT_EQ(Out().pages.size(), 3u);
}

// ---------------------------------------------------------------- a real PDF

TEST_F(VoucherPrint, RendersPagesThatShowTheVoucher) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ReportCapture rendered(true);
    InsertVoucher(folder, 202604, 1, 20260415,
                  {{1, 1, kPurchase, "1234567", "123456", 0, 0, 1, "四月仕入"},
                   {2, 1, kSupplies, "1080", "80", 0, 0, 2, "文具"},
                   {3, 1, kBank, "1000", "0", 2},
                   {4, 1, kCash, "1000"},
                   {5, 1, kCash, "1000"},
                   {6, 1, kCash, "1000"},
                   {7, 1, kCash, "1000"},
                   {1, 2, kPayable, "1364183", "0", 0, 0, 0, "月末払い"}},
                  "日次仕入");
    Voucher(2, 1, 1, "5000");
    ASSERT_TRUE(PrintNumbers(1, 2));
    ASSERT_EQ(rendered.Outputs().size(), 1u);
    const ReportOutput& out = rendered.Last();
    EXPECT_EQ(out.pageCount, 3) << "two pages for the seven lines, one for the second voucher";
    const QString text = PdfTextCompact(out.pdfPath);
    EXPECT_TRUE(text.contains("振替伝票"));
    EXPECT_TRUE(text.contains("伝票日付"));
    EXPECT_TRUE(text.contains("1,234,567"));
    EXPECT_TRUE(text.contains("1,364,183"));
    EXPECT_TRUE(text.contains("三井住友銀行"));
    EXPECT_TRUE(text.contains("月末払い"));
    EXPECT_TRUE(text.contains("2026/04/15"));
    EXPECT_FALSE(text.contains("**")) << "no marker is left on the pages";
    const QStringList fonts = PdfFonts(out.pdfPath);
    EXPECT_TRUE(fonts.contains("IPAPGothic")) << fonts.join(",").toStdString();
    EXPECT_TRUE(fonts.contains("IPAGothic")) << fonts.join(",").toStdString();
}


// ---------------------------------------------------------------- long texts on the page

// A text of `n` characters that reads as running Japanese (no blanks to
// break at).
QString LongText(const QString& head, int n) {
    const QString filler = "振替伝票摘要取引先科目名補助科目の長い名前";
    QString s = head;
    while (s.size() < n) s += filler;
    return s.left(n);
}

class VoucherPrintLongTexts : public VoucherPrint {
protected:
    // Names of accounts, sub-accounts, tax code, partner, person, branch
    // and group as long as the masters take them.
    void LongMasters() {
        folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, "
                   "KMK_SORT) VALUES (2026, 640, 'x', " + fncSqlQuote(LongText("科目", 120)) + ", 1, 0, 1, 10)");
        folder.Sql("INSERT INTO HK1MF (HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_RNAME, HK1_H2FLG) VALUES (2026, 640, 1, " +
                   fncSqlQuote(LongText("補助一", 120)) + ", 1)");
        folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_NM, "
                   "HK2_RNAME) VALUES (2026, 640, 1, 1, 1, 1, 'x', " + fncSqlQuote(LongText("補助二", 120)) + ")");
        folder.Sql("UPDATE ZEIMF SET ZEI_NAME = " + fncSqlQuote(LongText("税区分", 120)) + " WHERE ZEI_CD = 1");
        folder.Sql("UPDATE TRIMF SET TRI_NAME = " + fncSqlQuote(LongText("取引先", 300)) + " WHERE TRI_CD = 10");
        folder.Sql("UPDATE USGMF SET USG_NAME = " + fncSqlQuote(LongText("担当者", 120)) + " WHERE USG_ID = 2");
        folder.Sql("UPDATE SSKMF SET SSK_RNAME = " + fncSqlQuote(LongText("支部", 150)) + " WHERE SSK_CD = 1");
        folder.Sql("UPDATE GRPMF SET GRP_RNAME = " + fncSqlQuote(LongText("部門", 150)) + " WHERE GRP_CD = 1");
    }
    // The voucher of the given number: a full block of lines, each side with
    // every code, names, description and partner filled.
    void FullVoucher(long no, long account, long sub1, long sub2, const QString& description,
                     const QString& lineText) {
        QList<TestLine> lines;
        for (int i = 1; i <= 6; ++i) {
            lines.append({i, 1, account, "123456789012", "12345678901", sub1, sub2, 1, lineText});
            lines.append({i, 2, account, "123456789012", "12345678901", sub1, sub2, 1, lineText});
        }
        InsertVoucher(folder, 202604, no, 20260415, lines, description);
        folder.Sql("UPDATE DNMDT SET DNM_TRICD = 10 WHERE DNM_DENNO = " + QString::number(no));
    }
    // Prints voucher `no` alone and returns the rendered output's PDF.
    QString Render(long no) {
        ReportCapture rendered(true);
        EXPECT_TRUE(PrintNumbers(no, no));
        if (rendered.Empty()) return QString();
        const QString kept = QDir(keep.path()).filePath(QString("voucher%1.pdf").arg(no));
        QFile::copy(rendered.Last().pdfPath, kept);
        pages = rendered.Last().pageCount;
        return kept;
    }

    // Prints a voucher of short texts and one of the longest texts in the
    // given format and compares where the drawn content lies on their first
    // pages.
    void CompareWithShortTexts(const QString& format) {
        if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
        SetFormat(format);
        FullVoucher(1, kBank, 1, 0, "日次仕入", "文具");
        const QString shortPdf = Render(1);
        const int shortPages = pages;
        ASSERT_FALSE(shortPdf.isEmpty());

        LongMasters();
        FullVoucher(2, 640, 1, 1, LongText("伝票摘要", 300), LongText("行摘要", 300));
        const QString longPdf = Render(2);
        ASSERT_FALSE(longPdf.isEmpty());
        EXPECT_EQ(pages, shortPages);

        const QSizeF pageSize = PdfPageSize(shortPdf, 0);
        EXPECT_EQ(PdfPageSize(longPdf, 0), pageSize);
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
        // Each text shows on one row of glyphs inside its cell: no row is
        // cut through by a line of the form (the lines as the short
        // voucher shows them, its texts far from them).
        const std::vector<PdfRule> rules = PdfHorizontalRules(shortPdf, 0);
        ASSERT_GT(rules.size(), 10u);
        const std::vector<PdfTextRow> shortRows = PdfTextRows(shortPdf, 0);
        auto printedAlike = [&](const PdfTextRow& row) {
            for (const PdfTextRow& same : shortRows)
                if (same.text == row.text && (same.box.center() - row.box.center()).manhattanLength() < 1.0) return true;
            return false;
        };
        QStringList cut;
        for (const PdfTextRow& row : PdfTextRows(longPdf, 0)) {
            if (printedAlike(row)) continue;   // the form itself (the title's underline is a line)
            // The glyphs: the box less the room it keeps above and below them.
            const double top = row.box.top() + row.box.height() * 0.2;
            const double bottom = row.box.bottom() - row.box.height() * 0.2;
            for (const PdfRule& rule : rules)
                if (rule.y > top && rule.y < bottom && rule.left < row.box.right() && rule.right > row.box.left()) {
                    cut << row.text.left(10);
                    break;
                }
        }
        EXPECT_TRUE(cut.isEmpty()) << cut.size() << " rows cut: " << cut.join(" / ").toStdString();
        // The texts are there, cut or shrunk, not dropped.
        const QString text = PdfTextCompact(longPdf);
        for (const char* head : {"伝票摘要", "行摘要", "科目", "取引先", "担当者", "支部"})
            EXPECT_TRUE(text.contains(QString::fromUtf8(head))) << head;
    }

    QTemporaryDir keep;
    int pages = 0;
};

TEST_F(VoucherPrintLongTexts, LongTextsShowOnOneRowEachInTheFormatSixFormAtItsSize) { CompareWithShortTexts("6"); }
TEST_F(VoucherPrintLongTexts, LongTextsShowOnOneRowEachInTheFormatNineFormAtItsSize) { CompareWithShortTexts("9"); }

}  // namespace

// ---------------------------------------------------------------- the database side

namespace {

// The plan SQLite makes for a statement, one step a line.
QStringList Plan(const QString& sql) {
    QStringList steps;
    RecordsetPtr rs = gobjDB->OpenRecordset("EXPLAIN QUERY PLAN " + sql);
    for (; !rs->Eof(); rs->MoveNext()) steps << rs->Fields("detail").Value().Text();
    return steps;
}

TEST_F(VoucherPrint, TheBlockCountOfAVoucherFindsItsHeaderByKey) {
    // Other vouchers of the branch around the printed one.
    for (int no = 1; no <= 40; ++no) Voucher(no, 1, 1, "1000", 20260401 + no % 28);
    ASSERT_TRUE(PrintNumbers(7, 7));
    // The last statement of the run is the line count of the voucher.
    const QString sql = gstrSQL;
    ASSERT_TRUE(sql.contains("GROUP BY DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNM_GYO")) << sql.toStdString();
    const QStringList plan = Plan(sql);
    const QStringList headerSteps = plan.filter(QRegularExpression("^(SEARCH|SCAN) DNHDT"));
    ASSERT_EQ(headerSteps.size(), 1) << plan.join("\n").toStdString();
    EXPECT_TRUE(headerSteps[0].contains("DNH_DATE=?") && headerSteps[0].contains("DNH_DENNO=?"))
        << "the header is looked up by date and number, not walked through the branch: "
        << plan.join("\n").toStdString();
}

TEST_F(VoucherPrint, TheBlockCountByInputDateFindsItsHeaderByKeyToo) {
    for (int no = 1; no <= 40; ++no) Voucher(no, 1, 1, "1000", 20260401 + no % 28);
    ASSERT_TRUE(fncPrintVouchers(&report, false, 0, 20260401, 20260430, 0, 0, 20260401, 20260430, 0));
    const QString sql = gstrSQL;
    ASSERT_TRUE(sql.contains("DNH_NDATE =")) << sql.toStdString();
    const QStringList headerSteps = Plan(sql).filter(QRegularExpression("^(SEARCH|SCAN) DNHDT"));
    ASSERT_EQ(headerSteps.size(), 1);
    EXPECT_TRUE(headerSteps[0].contains("DNH_DATE=?") && headerSteps[0].contains("DNH_DENNO=?"))
        << headerSteps[0].toStdString();
}

}  // namespace
