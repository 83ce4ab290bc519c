// Time taken by the ledger window from the query to a filled grid for an
// account with 100,000 lines in one fiscal year (vouchers of two lines each:
// cash against sales, against the bank with a sub-account, or against
// several accounts), with the round trips to the database of opening the
// window and of each query; then the journal of the same year (two lines a
// voucher) from opening the window to the last line filled in, and its
// round trips. On SQLite, or on the server the tests use
// (TAVIK_TEST_ENGINE=postgres). Usage: bench_ledger_inquiry [lines] [runs]
#include "BenchSupport.h"
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "inquiry/frmKR410.h"
#include "inquiry/frmKR430.h"
#include "platform/AppInfo.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

using namespace basStdComm;

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    const int lines = args.size() > 1 ? args[1].toInt() : 100000;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;

    SetToday(QDate(2026, 12, 8));
    AppFolder folder;
    InsertVoucherMasters(folder);
    // One voucher per cash line, spread over the fiscal year and numbered
    // per month; every third one against the bank's sub-account 2, every
    // seventh against several accounts (counter-account 0).
    const QString numbers = QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
                                .arg(lines - 1);
    const QString ym = "(CASE WHEN i % 12 < 9 THEN 202604 + i % 12 ELSE 202701 + i % 12 - 9 END)";
    const QString no = "(i / 12 + 1)";
    const QString side = "(1 + i % 2)";
    const QString other = "(CASE WHEN i % 7 = 0 THEN 0 WHEN i % 3 = 0 THEN 110 ELSE 400 END)";
    const QString otherSub = "(CASE WHEN i % 7 <> 0 AND i % 3 = 0 THEN 2 ELSE 0 END)";
    folder.Sql(numbers +
               "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
               "SELECT 1, 1, " + ym + ", " + no + ", 2026, " + ym + " / 100, " + ym + " % 100, " + ym +
               " * 100 + 1 + i % 28, " + ym + " * 100 + 1 + i % 28, 1, '摘要 ' || i, 0, 0 FROM n");
    folder.Sql(numbers +
               "INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, "
               "DNM_HK1CD, DNM_HK2CD, DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TRICD, DNM_AKMKCD, DNM_AHK1CD, DNM_AHK2CD, "
               "DNM_TEKIYO) "
               "SELECT 1, 1, " + ym + ", " + no + ", 1, " + side + ", 100, 0, 0, 0, 1000 + i, 0, 0, " + other +
               ", " + otherSub + ", 0, '現金 取引 ' || i FROM n "
               "UNION ALL SELECT 1, 1, " + ym + ", " + no + ", 1, 3 - " + side + ", " + other + ", " + otherSub +
               ", 0, 0, 1000 + i, 0, 0, 100, 0, 0, NULL FROM n");
    // Balance rows of cash for every month of the year.
    folder.Sql("WITH RECURSIVE m(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM m WHERE k < 11) "
               "INSERT INTO KMZMF (KMZ_YM, KMZ_SSKCD, KMZ_GRPCD, KMZ_KMKCD, KMZ_NENDO, KMZ_ZZAN, KMZ_KARI, KMZ_KASI) "
               "SELECT CASE WHEN k < 9 THEN 202604 + k ELSE 202701 + k - 9 END, 1, 1, 100, 2026, 500000, 0, 0 FROM m");

    AnalyzeForServer(folder);

    std::printf("engine: %s\n", TestsOnServer() ? "PostgreSQL (TAVIK_TEST_PG_SERVER)" : "SQLite");
    long trips = gobjDB->RoundTrips();
    frmKR430 f;
    f.show();
    QApplication::setActiveWindow(&f);
    QApplication::processEvents();
    std::printf("ledger window opened: %ld round trips\n", gobjDB->RoundTrips() - trips);
    const QDate start(2026, 4, 1), end(2027, 3, 31);

    QElapsedTimer timer;
    std::vector<qint64> times;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        const double cpuBefore = CpuMs();
        trips = gobjDB->RoundTrips();
        timer.start();
        const bool shown = f.fncLoadLedger(start, end, kCash, 0, 0);
        QApplication::processEvents();  // the grid drawn
        times.push_back(timer.elapsed());
        trips = gobjDB->RoundTrips() - trips;
        cpu.push_back(CpuMs() - cpuBefore);
        if (!shown || f.DenMain->Rows() != lines + 1) {
            std::fprintf(stderr, "ledger shows %d rows, %d lines expected\n", f.DenMain->Rows() - 1, lines);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("ledger lines shown: %d, balance %s\n", f.DenMain->Rows() - 1,
                qPrintable(f.DenMain->Total("FOOT_ZAND")));
    std::printf("query -> grid filled over %d runs: min %lld ms, median %lld ms, max %lld ms"
                " (processor time median %.0f ms; %ld round trips a query)\n",
                runs, static_cast<long long>(times.front()), static_cast<long long>(times[times.size() / 2]),
                static_cast<long long>(times.back()), cpu[cpu.size() / 2], trips);

    // The journal of the fiscal year: opened, then filled while it stays
    // usable (the year's bounds are found on opening).
    times.clear();
    for (int i = 0; i < runs; ++i) {
        trips = gobjDB->RoundTrips();
        timer.start();
        frmKR410 j;
        j.show();
        QApplication::setActiveWindow(&j);
        while (j.DenMain->Rows() < 2 * lines && timer.elapsed() < 600000) QApplication::processEvents();
        times.push_back(timer.elapsed());
        trips = gobjDB->RoundTrips() - trips;
        if (j.DenMain->Rows() != 2 * lines) {
            std::fprintf(stderr, "journal shows %d rows, %d lines expected\n", j.DenMain->Rows(), 2 * lines);
            return 1;
        }
        j.hide();
    }
    std::printf("journal of %d lines, opened and filled: %s (%ld round trips)\n", 2 * lines, qPrintable(Spread(times)),
                trips);
    return 0;
}
