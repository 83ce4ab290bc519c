// Time taken by the voucher list to build a list of 10,000 vouchers (two
// lines each) of one fiscal year: one statement gives every row with its
// amount, with the round trips to the database of opening the window and
// of listing again, which stay the same however many vouchers there are. Wall
// and processor time (the machine may be busy with other work), and the
// memory the listed rows hold: the heap in use with the list full and
// emptied, against the texts of its cells. On SQLite, or on the server the
// tests use (TAVIK_TEST_ENGINE=postgres).
// Usage: bench_voucher_list [vouchers] [runs]
#include "BenchSupport.h"
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/AppInfo.h"
#include "platform/ListGrid.h"
#include "platform/VbCompat.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/basWKE410.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <malloc.h>
#include <cstdio>
#include <vector>

using namespace basStdComm;
using namespace basWKE410;

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    const int vouchers = args.size() > 1 ? args[1].toInt() : 10000;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;

    SetToday(QDate(2026, 12, 8));
    AppFolder folder;
    InsertVoucherMasters(folder);
    // Vouchers spread over the fiscal year, numbered per month, each a debit
    // line with tax against a credit line.
    const QString numbers = QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
                                .arg(vouchers - 1);
    const QString ym = "(CASE WHEN i % 12 < 9 THEN 202604 + i % 12 ELSE 202701 + i % 12 - 9 END)";
    const QString no = "(i / 12 + 1)";
    folder.Sql(numbers +
               "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
               "SELECT 1, 1, " + ym + ", " + no + ", 2026, " + ym + " / 100, " + ym + " % 100, " + ym +
               " * 100 + 1 + i % 28, " + ym + " * 100 + 1 + i % 28, 1 + i % 3, '摘要 ' || i, 0, 0 FROM n");
    folder.Sql(numbers +
               "INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, "
               "DNM_ZKBN, DNM_KIN, DNM_TAX) "
               "SELECT 1, 1, " + ym + ", " + no + ", 1, 1, 500, 1, 1000 + i, 100 FROM n "
               "UNION ALL SELECT 1, 1, " + ym + ", " + no + ", 1, 2, 200, 0, 1100 + i, 0 FROM n");
    AnalyzeForServer(folder);
    ReadTabIni();
    InitSearchDefaults();
    // The whole fiscal year.
    gintSrchDate = 1;
    glngSrchDateSt = 20260401;
    glngSrchDateEnd = 20270331;

    // Resident memory of the program, kB.
    auto residentKb = [] {
        long pages = 0, resident = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
            std::fclose(f);
        }
        return resident * 4;
    };
    // Heap in use, bytes.
    auto heapInUse = [] {
        const struct mallinfo2 m = mallinfo2();
        return static_cast<double>(m.uordblks + m.hblkhd);
    };

    const long rssBefore = residentKb();
    std::printf("engine: %s\n", TestsOnServer() ? "PostgreSQL (TAVIK_TEST_PG_SERVER)" : "SQLite");
    QElapsedTimer timer;
    timer.start();
    const long tripsBefore = gobjDB->RoundTrips();
    frmKE41S list;
    const qint64 openMs = timer.elapsed();
    const long rssAfter = residentKb();
    const long openTrips = gobjDB->RoundTrips() - tripsBefore;
    if (list.spdMeisai->MaxRows() != vouchers) {
        std::fprintf(stderr, "listed %d of %d vouchers\n", list.spdMeisai->MaxRows(), vouchers);
        return 1;
    }
    std::vector<qint64> times;
    std::vector<double> cpu;
    long listTrips = 0;
    for (int i = 0; i < runs; ++i) {
        const long before = gobjDB->RoundTrips();
        const double cpuStart = CpuMs();
        timer.restart();
        list.ShowVoucherList();
        times.push_back(timer.elapsed());
        cpu.push_back(CpuMs() - cpuStart);
        listTrips = gobjDB->RoundTrips() - before;
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("vouchers listed: %d\n", list.spdMeisai->MaxRows());
    std::printf("window opened (first list) in %lld ms, %ld round trips\n", static_cast<long long>(openMs),
                openTrips);
    std::printf("ShowVoucherList over %d runs: best %lld ms, median %lld ms, worst %lld ms; %ld round trips\n",
                runs, static_cast<long long>(times.front()), static_cast<long long>(times[times.size() / 2]),
                static_cast<long long>(times.back()), listTrips);
    std::printf("ShowVoucherList processor time: best %.0f ms, median %.0f ms\n", cpu.front(), cpu[cpu.size() / 2]);

    // What the rows hold: the heap with the list full and emptied; the
    // texts of the cells count two bytes a character.
    ListGrid* grid = list.spdMeisai;
    double text = 0;
    for (int r = 1; r <= grid->MaxRows(); ++r) {
        grid->setRow(r);
        grid->setRow2(r);
        grid->setCol(1);
        grid->setCol2(grid->MaxCols());
        text += 2.0 * grid->Clip().size();
    }
    const int rows = grid->MaxRows();
    const double full = heapInUse();
    grid->setMaxRows(0);
    const double held = full - heapInUse();
    std::printf("resident memory: %ld MB before the window, %ld MB after the first list\n", rssBefore / 1024,
                rssAfter / 1024);
    std::printf("rows hold %.1f MB: %.0f bytes a row, of which %.0f bytes of cell text, %.0f bytes beyond it\n",
                held / 1048576.0, held / rows, text / rows, (held - text) / rows);
    if (!gobjDB->IsFileDatabase()) return 0;

    // How the database answers the amount statement of one voucher.
    RecordsetPtr plan = gobjDB->OpenRecordset(
        "EXPLAIN QUERY PLAN SELECT SUM(DNM_KIN + DNM_TAX) AS KIN  FROM DNMDT WHERE DNM_SSKCD = 1   AND DNM_GRPCD = 1"
        "   AND DNM_YM = 202612   AND DNM_DENNO = 5   AND DNM_TSKBN = 1   AND DNM_GYO < 90 GROUP BY DNM_YM, DNM_DENNO");
    while (!plan->Eof()) {
        std::printf("amount statement plan: %s\n", qPrintable(plan->Fields("detail").Value().Text()));
        plan->MoveNext();
    }
    return 0;
}
