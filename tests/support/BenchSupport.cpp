#include <cstdio>
#include "BenchSupport.h"

#include "platform/AppInfo.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <ctime>

std::unique_ptr<QApplication> StartBench(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QApplication>(argc, argv);
    AppInfo::SetName("BENCH");
    AppInfo::SetTitle("BENCH");
    AppInfo::InitApplication();
    return app;
}

double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void InsertBulkVouchers(const AppFolder& folder, int count) {
    const QString numbers =
        QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ").arg(count - 1);
    const QString ym = "(CASE WHEN i % 12 < 9 THEN 202604 + i % 12 ELSE 202701 + i % 12 - 9 END)";
    const QString no = "(i / 12 + 1)";
    const QString date = ym + " * 100 + 1 + i / 12 % 28";
    folder.Sql(numbers +
               "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
               "SELECT 1, 1, " + ym + ", " + no + ", 2026, " + ym + " / 100, " + ym + " % 100, " + date + ", " +
               date + ", 1, '摘要 ' || i, 0, 0 FROM n");
    folder.Sql(numbers +
               "INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, "
               "DNM_AKMKCD, DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TEKIYO) "
               "SELECT 1, 1, " + ym + ", " + no + ", 1, 1, 100, 400, 0, 1000 + i, 0, '売上入金 ' || i FROM n "
               "UNION ALL SELECT 1, 1, " + ym + ", " + no + ", 1, 2, 400, 100, 0, 1000 + i, 0, '売上 ' || i FROM n");
}

void AnalyzeForServer(const AppFolder& folder) {
    if (TestsOnServer()) folder.Sql("ANALYZE");
}

ConverterMemory::ConverterMemory(const QString& folder) : folder_(folder), timer_(new QTimer) {
    QObject::connect(timer_, &QTimer::timeout, [this] { sample(); });
    timer_->start(100);
}

ConverterMemory::~ConverterMemory() { delete timer_; }

void ConverterMemory::sample() {
    long long total = 0;
    for (const QString& e : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        e.toInt(&number);
        if (!number) continue;
        QFile cmd("/proc/" + e + "/cmdline");
        if (!cmd.open(QIODevice::ReadOnly) || !QString::fromLocal8Bit(cmd.readAll()).contains(folder_)) continue;
        QFile status("/proc/" + e + "/status");
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) total += line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    peakKb_ = std::max(peakKb_, total);
}

QString Spread(std::vector<qint64> times) {
    if (times.empty()) return "no runs";
    std::sort(times.begin(), times.end());
    return QString("min %1 ms, median %2 ms, max %3 ms")
        .arg(times.front())
        .arg(times[times.size() / 2])
        .arg(times.back());
}

double OwnMemoryMb() {
    double kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "RssAnon: %lf", &kb) == 1) break;
        std::fclose(f);
    }
    return kb / 1024.0;
}
