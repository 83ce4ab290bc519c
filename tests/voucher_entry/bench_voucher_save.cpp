// Time taken to store a voucher of 50 rows (100 lines and the input-tax
// line) with its balance posting, in the first, a middle and the last month
// of the fiscal year: begin, the entry window's save, commit. The database
// holds other vouchers of the year, and the balance rows of the voucher's
// keys exist (one save per month before the timed ones).
// Usage: bench_voucher_save [runs] [other vouchers]
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

}  // namespace

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    const int runs = args.size() > 1 ? args[1].toInt() : 21;
    const int others = args.size() > 2 ? args[2].toInt() : 10000;

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
        long prepared = 0;
        for (int i = 0; i < runs; ++i) {
            const long preparedBefore = gobjDB->StatementsPrepared();
            const double cpuBefore = CpuMs();
            timer.start();
            if (!SaveOnce(f, m.date)) {
                std::fprintf(stderr, "the save failed\n");
                return 1;
            }
            times.push_back(timer.nsecsElapsed() / 1e6);
            cpu.push_back(CpuMs() - cpuBefore);
            prepared = gobjDB->StatementsPrepared() - preparedBefore;
        }
        std::sort(times.begin(), times.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("save of 50 rows, %s, %d runs: min %.1f ms, median %.1f ms, max %.1f ms"
                    " (processor time median %.1f ms; %ld statements compiled in the last save)\n",
                    m.name, runs, times.front(), times[times.size() / 2], times.back(), cpu[cpu.size() / 2],
                    prepared);
    }
    return 0;
}
