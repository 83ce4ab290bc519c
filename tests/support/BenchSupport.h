// Report benchmarks: vouchers made in bulk, the run timed through LibreOffice,
// and the converter's memory watched while it runs.
#pragma once
#include "TestSupport.h"

#include <QApplication>
#include <QString>
#include <memory>
#include <vector>

// The benchmark program's application: offscreen unless a platform is
// named in QT_QPA_PLATFORM, under the program name and title "BENCH".
std::unique_ptr<QApplication> StartBench(int& argc, char** argv);

// Processor time of the program in milliseconds (the machine may be busy
// with other work; wall time then overstates our own).
double CpuMs();

// Memory of this process's own now, in MB: its resident anonymous pages
// (heap, stacks), without the files it has mapped (libraries, fonts, a
// book read through a map), which are the system's file cache.
double OwnMemoryMb();

// `count` vouchers of the fiscal year 2026 spread over its twelve months,
// numbered per month (voucher i: month i % 12, number i / 12 + 1), each a
// cash debit line against a sales credit line.
void InsertBulkVouchers(const AppFolder& folder, int count);

// On the server, the planner's statistics of a book just filled in bulk,
// as the server's own autovacuum gathers them a little later; nothing on
// SQLite.
void AnalyzeForServer(const AppFolder& folder);

// Largest resident memory (MB) of the processes whose command line names the
// folder, sampled while events run.
class ConverterMemory {
public:
    explicit ConverterMemory(const QString& folder);
    ~ConverterMemory();
    double PeakMb() const { return peakKb_ / 1024.0; }

private:
    void sample();
    QString folder_;
    long long peakKb_ = 0;
    class QTimer* timer_;
};

// "min a, median b, max c" of the times in milliseconds.
QString Spread(std::vector<qint64> times);
