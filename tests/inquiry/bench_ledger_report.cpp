// Time taken by the ledger report of cash for the fiscal year, with about
// `pages` pages (30 lines a page), from the query to the PDF made by
// LibreOffice and shown in the preview (first, second and last page, then
// closed), the converter's peak memory, and the program's own: its peak and
// what stays resident once the preview is closed and the report dropped.
// Usage: bench_ledger_report [pages] [runs] [pieces]
// (pieces: most converters side by side for a large report; 1 converts it
// in one piece)
#include "BenchSupport.h"
#include "ReportCapture.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "inquiry/basLP410Report.h"
#include "platform/AppInfo.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"
#include "platform/ReportPreview.h"
#include "platform/XlsReport.h"

#include <malloc.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace basStdComm;

namespace {

// Resident memory of this process now, in MB.
double ResidentMb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Largest resident memory of this process so far, in MB.
double PeakResidentMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    const int pages = args.size() > 1 ? args[1].toInt() : 1000;
    const int runs = args.size() > 2 ? args[2].toInt() : 3;
    if (args.size() > 3) XlsReport::ParallelConversion(100, args[3].toInt());

    // The work of the runs goes to a folder of its own (to watch the
    // converter by it).
    QTemporaryDir temp;
    qputenv("TMPDIR", QFile::encodeName(temp.path()));

    SetToday(QDate(2026, 12, 8));
    AppFolder folder;
    // A message ends the run instead of waiting for an answer.
    SetMsgBoxHandler([](const MsgBoxCall& call) -> int {
        std::fprintf(stderr, "message: %s\n", qPrintable(call.prompt));
        std::exit(1);
    });
    InsertVoucherMasters(folder);
    // Each month adds four lines (carried, total, carried to, a blank one).
    const int lines = std::max(1, pages * 30 - 12 * 4);
    InsertBulkVouchers(folder, lines);
    // The opening balance row of cash (the report's section).
    folder.Sql("INSERT OR REPLACE INTO KMZMF (KMZ_YM, KMZ_SSKCD, KMZ_GRPCD, KMZ_KMKCD, KMZ_NENDO, KMZ_ZZAN) "
               "VALUES (202604, 1, 1, 100, 2026, 50000)");
    basStdComm::gstrReportPath = folder.Path() + "/Report/";
    QDir().mkpath(basStdComm::gstrReportPath);
    for (const char* f : {"WLP410.XLS", "WKP410.XLS"})
        QFile::copy(ReportTemplateDir() + "/" + f, basStdComm::gstrReportPath + f);

    XlsReport report;
    basLP410Report::SetReportControl(&report);
    int pdfPages = 0;
    // The real preview, as the user sees it: its first pages and its last,
    // then closed.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* preview = qobject_cast<ReportPreview*>(w);
            if (!preview || !preview->isVisible()) continue;
            pdfPages = preview->PageCount();
            preview->ShowPage(2);
            preview->ShowPage(preview->PageCount());
            QCoreApplication::processEvents();
            preview->reject();
        }
    });
    look.start(100);
    std::vector<qint64> times, fills;
    double peakMb = 0, afterMb = 0;
    const double startMb = ResidentMb(), startAnonMb = OwnMemoryMb();
    QStringList afterRuns, heapRuns;
    for (int i = 0; i < runs; ++i) {
        ConverterMemory memory(temp.path());
        QElapsedTimer timer;
        timer.start();
        if (!basLP410Report::fncMakeLedgerReport(1, QDate(2026, 4, 1), QDate(2027, 3, 31), 100, 100, 0, 0, 0, 0)) {
            std::fprintf(stderr, "the report was not made\n");
            return 1;
        }
        fills.push_back(timer.elapsed());
        pdfPages = 0;
        report.Preview();
        times.push_back(timer.elapsed());
        peakMb = std::max(peakMb, memory.PeakMb());
        report.Abort();
        afterMb = ResidentMb();
        afterRuns << QString::number(OwnMemoryMb(), 'f', 0);
        const struct mallinfo2 m = mallinfo2();
        heapRuns << QString::number((m.uordblks + m.hblkhd) / 1048576.0, 'f', 0);
        if (pdfPages == 0) {
            std::fprintf(stderr, "no PDF\n");
            return 1;
        }
    }
    std::printf("ledger report of %d lines: %d pages\n", lines, pdfPages);
    std::printf("fill over %d runs: %s\n", runs, qPrintable(Spread(fills)));
    std::printf("fill and PDF over %d runs: %s\n", runs, qPrintable(Spread(times)));
    std::printf("LibreOffice peak memory: %.0f MB\n", peakMb);
    std::printf("program memory: %.0f MB before, peak %.0f MB, %.0f MB after the preview closed\n", startMb,
                PeakResidentMb(), afterMb);
    std::printf("its own (heap, stacks): %.0f MB before, after each run's preview closed: %s MB\n", startAnonMb,
                qPrintable(afterRuns.join(" / ")));
    std::printf("heap in use after each run's preview closed: %s MB\n", qPrintable(heapRuns.join(" / ")));
    return 0;
}
