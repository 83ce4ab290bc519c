// Time taken to store a voucher of 50 rows (100 lines and the input-tax
// line) with its balance posting, in the first, a middle and the last month
// of the fiscal year: begin, the entry window's save, commit. The database
// holds other vouchers of the year, and the balance rows of the voucher's
// keys exist (one save per month before the timed ones); with the round
// trips of the last save.
// Then `programs` programs (processes) at once each save `saves` vouchers
// of two lines through the entry window on the same book: saves that failed,
// numbers given twice, and whether the balances agree with the lines.
// On SQLite, or on the server the tests use (TAVIK_TEST_ENGINE=postgres).
// Usage: bench_voucher_save [runs] [other vouchers] [programs] [saves]
#include "BenchSupport.h"
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/AppInfo.h"
#include "platform/VbCompat.h"
#include "platform/InputFields.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

using namespace basStdComm;
using namespace basWKE410;

namespace {


// Rows of three kinds: purchases with 10 % tax on credit, supplies paid
// from the bank (sub-account 1), sales on account.
void FillVoucher(frmKE410& f) {
    VoucherGrid* g = f.denMeisai;
    gblnLoading = true;
    for (int r = 0; r < 50; ++r) {
        const long amount = 1000 + 37 * r;
        auto put = [&](const char* key, const QString& v) { g->setCell(key, r, v); };
        if (r % 3 == 0) {
            const long tax = amount / 10;
            put("KRKMKCD", "500"), put("KRZKBN", "1"), put("KRKIN", QString::number(amount));
            put("KRTAX", QString::number(tax));
            put("KSKMKCD", "200"), put("KSKIN", QString::number(amount + tax));
        } else if (r % 3 == 1) {
            put("KRKMKCD", "630"), put("KRKIN", QString::number(amount));
            put("KSKMKCD", "110"), put("KSHK1CD", QString::number(1 + r % 2)), put("KSKIN", QString::number(amount));
        } else {
            put("KRKMKCD", "130"), put("KRKIN", QString::number(amount));
            put("KSKMKCD", "400"), put("KSKIN", QString::number(amount));
        }
        put("KRTEKI", "明細 " + QString::number(r));
    }
    gblnLoading = false;
}

bool SaveOnce(frmKE410& f, long date) {
    gstrEditMode = "I";
    f.txtDate->NumValue(date);
    DBTransaction tx(*gobjDB);
    if (!f.fncSaveVoucher()) return false;
    tx.Commit();
    return true;
}

// One of the programs saving at once: `saves` vouchers of cash against
// receivables of `amount` each, dated today; prints the saves that failed (any
// message but the one saying the number was taken meanwhile).
int SaverProgram(const QString& folder, int saves, long amount) {
    AppInfo::SetFolder(folder);
    SetToday(QDate(2026, 12, 8));
    SetAppPath();
    ReadSystemIni();
    if (!fncConnectDB()) return 2;
    ReadTabIni();
    MsgRecorder msgs;
    gstrEditMode = "I";
    gstrStartMode = "";
    glngDenYm = glngDenNendo = glngDenNo = 0;
    frmKE410 f;
    int failed = 0;
    for (int i = 0; i < saves; ++i) {
        msgs.Clear();
        f.txtDate->NumValue(20261208);
        f.denMeisai->setCell("KRKMKCD", 0, "100");
        f.denMeisai->setCell("KRKIN", 0, QString::number(amount));
        f.denMeisai->setCell("KSKMKCD", 0, "130");
        f.denMeisai->setCell("KSKIN", 0, QString::number(amount));
        f.cmdUpd_Click();
        const QStringList other = msgs.Texts().filter(QRegularExpression("^(?!伝票番号が既に使用されているため)"));
        if (!other.isEmpty()) {
            if (failed == 0) std::fprintf(stderr, "%s\n", qPrintable(other.join(" | ")));
            ++failed;
        }
    }
    EndSystem();
    std::printf("failed %d\n", failed);
    return 0;
}

// `programs` programs at once, each saving `saves` vouchers; false when the
// book came out wrong.
bool SaveAtOnce(const AppFolder& folder, int programs, int saves) {
    const auto count = [&] { return folder.Scalar("SELECT COUNT(*) FROM DNHDT").toLong(); };
    // What the cash lines add up to, and what was posted to the balances of
    // cash and receivables.
    const auto sums = [&] {
        return std::vector<long>{
            folder.Scalar("SELECT COALESCE(SUM(DNM_KIN), 0) FROM DNMDT WHERE DNM_KMKCD = 100 AND DNM_TSKBN = 1 "
                          "AND DNM_DENNO < 100000").toLong(),
            folder.Scalar("SELECT COALESCE(SUM(KMZ_KARI), 0) FROM KMZMF WHERE KMZ_KMKCD = 100").toLong(),
            folder.Scalar("SELECT COALESCE(SUM(KMZ_KASI), 0) FROM KMZMF WHERE KMZ_KMKCD = 130").toLong()};
    };
    const long before = count();
    const std::vector<long> sumsBefore = sums();
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QProcess>> savers;
    long expected = 0;
    for (int k = 0; k < programs; ++k) {
        const long amount = 1000 + k;
        expected += amount * saves;
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {"--saver", folder.Path(), QString::number(saves), QString::number(amount)});
        savers.push_back(std::move(p));
    }
    int failed = 0, broken = 0;
    for (auto& p : savers) {
        if (!p->waitForFinished(600000) || p->exitCode() != 0) {
            ++broken;
            continue;
        }
        const auto m = QRegularExpression("failed (\\d+)").match(QString::fromUtf8(p->readAllStandardOutput()));
        failed += m.hasMatch() ? m.captured(1).toInt() : saves;
    }
    const qint64 ms = timer.elapsed();
    const long saved = count() - before;
    const QString twice = folder.Scalar(
        "SELECT COUNT(*) FROM (SELECT DNH_YM, DNH_DENNO FROM DNHDT GROUP BY DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO "
        "HAVING COUNT(*) > 1) AS t");
    const std::vector<long> sumsAfter = sums();
    long added[3];
    for (int i = 0; i < 3; ++i) added[i] = sumsAfter[i] - sumsBefore[i];
    const QString counter = folder.Scalar("SELECT MAX(DNH_DENNO) FROM DNHDT WHERE DNH_YM = 202612 AND DNH_DENNO < 100000");
    const bool exact = added[0] == expected && added[1] == expected && added[2] == expected;
    std::printf("%d programs x %d saves at once: %lld ms (%.0f saves/s); programs broken %d, saves failed %d, "
                "vouchers saved %ld, numbers given twice %s, highest number %s; cash lines added %ld, cash debit "
                "posted %ld, receivables credit posted %ld, expected %ld: balances %s\n",
                programs, saves, static_cast<long long>(ms), ms > 0 ? 1000.0 * saved / ms : 0.0, broken, failed,
                saved, qPrintable(twice), qPrintable(counter), added[0], added[1], added[2], expected, exact ? "exact" : "WRONG");
    return broken == 0 && failed == 0 && twice == "0" && exact && saved == long(programs) * saves;
}

}  // namespace

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    if (args.size() == 5 && args[1] == "--saver") return SaverProgram(args[2], args[3].toInt(), args[4].toLong());
    const int runs = args.size() > 1 ? args[1].toInt() : 21;
    const int others = args.size() > 2 ? args[2].toInt() : 10000;
    const int programs = args.size() > 3 ? args[3].toInt() : 8;
    const int saves = args.size() > 4 ? args[4].toInt() : 250;
    std::printf("engine: %s\n", TestsOnServer() ? "PostgreSQL (TAVIK_TEST_PG_SERVER)" : "SQLite");

    SetToday(QDate(2026, 12, 8));
    AppFolder folder;
    InsertVoucherMasters(folder);
    if (others > 0) {
        // Other vouchers of the year, numbered from 100,000 per month.
        const QString numbers =
            QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ").arg(others - 1);
        const QString ym = "(CASE WHEN i % 12 < 9 THEN 202604 + i % 12 ELSE 202701 + i % 12 - 9 END)";
        const QString no = "(100000 + i / 12)";
        folder.Sql(numbers +
                   "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
                   "DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
                   "SELECT 1, 1, " + ym + ", " + no + ", 2026, " + ym + " / 100, " + ym + " % 100, " + ym +
                   " * 100 + 1 + i % 28, " + ym + " * 100 + 1 + i % 28, 1, '摘要 ' || i, 0, 0 FROM n");
        folder.Sql(numbers +
                   "INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, "
                   "DNM_ZKBN, DNM_KIN, DNM_TAX) "
                   "SELECT 1, 1, " + ym + ", " + no + ", 1, 1, 100, 0, 1000 + i, 0 FROM n "
                   "UNION ALL SELECT 1, 1, " + ym + ", " + no + ", 1, 2, 400, 0, 1000 + i, 0 FROM n");
    }
    AnalyzeForServer(folder);
    ReadTabIni();
    gstrEditMode = "I";
    gstrStartMode = "";
    frmKE410 f;
    FillVoucher(f);

    struct Month {
        const char* name;
        long date;
    };
    const Month months[] = {{"first month (April)", 20260415}, {"middle month (December)", 20261215},
                            {"last month (March)", 20270315}};
    for (const Month& m : months)
        if (!SaveOnce(f, m.date)) {
            std::fprintf(stderr, "the save failed\n");
            return 1;
        }
    const QString lines = folder.Scalar("SELECT COUNT(*) FROM DNMDT WHERE DNM_DENNO < 100000 AND DNM_YM = 202604");
    std::printf("lines per voucher: %s\n", qPrintable(lines));
    QElapsedTimer timer;
    for (const Month& m : months) {
        std::vector<double> times, cpu;
        long prepared = 0, trips = 0;
        for (int i = 0; i < runs; ++i) {
            const long preparedBefore = gobjDB->StatementsPrepared();
            const long tripsBefore = gobjDB->RoundTrips();
            const double cpuBefore = CpuMs();
            timer.start();
            if (!SaveOnce(f, m.date)) {
                std::fprintf(stderr, "the save failed\n");
                return 1;
            }
            times.push_back(timer.nsecsElapsed() / 1e6);
            cpu.push_back(CpuMs() - cpuBefore);
            prepared = gobjDB->StatementsPrepared() - preparedBefore;
            trips = gobjDB->RoundTrips() - tripsBefore;
        }
        std::sort(times.begin(), times.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("save of 50 rows, %s, %d runs: min %.1f ms, median %.1f ms, max %.1f ms"
                    " (processor time median %.1f ms; %ld statements compiled, %ld round trips in the last save)\n",
                    m.name, runs, times.front(), times[times.size() / 2], times.back(), cpu[cpu.size() / 2],
                    prepared, trips);
    }
    if (programs > 0 && !SaveAtOnce(folder, programs, saves)) return 1;
    return 0;
}
