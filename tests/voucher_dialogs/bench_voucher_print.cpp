// Time taken by the voucher print of `pages` vouchers (one page each) of
// April, on a database of `vouchers` vouchers, from the query to the PDF
// made by LibreOffice, and the converter's peak memory.
// Usage: bench_voucher_print [pages] [vouchers] [runs] [pieces]
// (pieces: most converters side by side for a large report; 1 converts it
// in one piece)
#include "BenchSupport.h"
#include "ReportCapture.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "platform/AppInfo.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"
#include "platform/XlsReport.h"
#include "voucher_dialogs/basPrint.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

using namespace basStdComm;

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    const int pages = args.size() > 1 ? args[1].toInt() : 1000;
    const int vouchers = std::max(args.size() > 2 ? args[2].toInt() : 100000, pages * 12);
    const int runs = args.size() > 3 ? args[3].toInt() : 3;
    if (args.size() > 4) XlsReport::ParallelConversion(100, args[4].toInt());

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
    InsertBulkVouchers(folder, vouchers);
    basStdComm::gstrReportPath = folder.Path() + "/Report/";
    QDir().mkpath(basStdComm::gstrReportPath);
    for (const char* f : {"WLP410.XLS", "WKP410.XLS"})
        QFile::copy(ReportTemplateDir() + "/" + f, basStdComm::gstrReportPath + f);

    XlsReport report;
    int pdfPages = 0;
    qint64 fillMs = 0;
    QElapsedTimer timer;
    SetReportOutputHandler([&](const ReportOutput& out) { pdfPages = out.pageCount; }, true);
    std::vector<qint64> times;
    double peakMb = 0;
    for (int i = 0; i < runs; ++i) {
        ConverterMemory memory(temp.path());
        timer.start();
        pdfPages = 0;
        // April's vouchers 1 to `pages` (numbered per month).
        if (!basPrint::fncPrintVouchers(&report, false, 0, 202604, 202604, 1, pages, 0, 0, 0)) {
            std::fprintf(stderr, "nothing was printed\n");
            return 1;
        }
        times.push_back(timer.elapsed());
        peakMb = std::max(peakMb, memory.PeakMb());
    }
    SetReportOutputHandler(nullptr);
    // The fill alone: the same print without the conversion.
    std::vector<qint64> fills;
    SetReportOutputHandler([&](const ReportOutput&) { fillMs = timer.elapsed(); }, false);
    for (int i = 0; i < runs; ++i) {
        timer.start();
        basPrint::fncPrintVouchers(&report, false, 0, 202604, 202604, 1, pages, 0, 0, 0);
        fills.push_back(fillMs);
    }
    SetReportOutputHandler(nullptr);
    std::printf("voucher print on %d vouchers: %d pages\n", vouchers, pdfPages);
    std::printf("fill (and workbook) over %d runs: %s\n", runs, qPrintable(Spread(fills)));
    std::printf("fill and PDF over %d runs: %s\n", runs, qPrintable(Spread(times)));
    std::printf("LibreOffice peak memory: %.0f MB\n", peakMb);
    return 0;
}
