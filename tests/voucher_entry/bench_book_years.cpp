// Steps of the voucher programs on books kept for several years: each book
// holds the same number of vouchers a year (two lines each, spread over the
// twelve months and numbered per month), the earlier years closed, and
// 3,000 sub-accounts of the bank account with their monthly balances in the
// open year (2026). Every step runs through the windows' own code; each
// figure is the median of the runs. A step that stays flat in the years
// shows the same figure in every column.
// The journal is also filled to its last line: the time until every line
// is in (wall and processor time) and the resident memory it took, beside
// the size of the lines' own data (the UTF-8 bytes of every shown cell).
// Usage: bench_book_years [vouchers a year] [runs] [years, e.g. 1,5,10]
//        [journal: only the journal's steps]
#include "BenchSupport.h"
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "inquiry/frmKR410.h"
#include "platform/InputFields.h"
#include "platform/ListGrid.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/frmKE41J.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>
#include <functional>
#include <map>
#include <memory>
#include <vector>

using namespace basStdComm;
using namespace basWKE410;

namespace {

constexpr int kOpenYear = 2026;
constexpr int kSubAccounts = 3000;

// Masters of every year of the book, copied from the open year's; the
// calendar of an earlier year moved back by whole years and closed.
void CopyYearMasters(const AppFolder& folder, int year) {
    const int back = kOpenYear - year;
    const struct {
        const char* table;
        const char* year;
    } masters[] = {{"KSKMF", "KSK_NENDO"}, {"KMKMF", "KMK_NENDO"}, {"HK1MF", "HK1_NENDO"}, {"KKMMF", "KKM_NENDO"}};
    for (const auto& m : masters) {
        // One run of statements: the copy is a table of this connection.
        QString sql = QString("CREATE TEMP TABLE COPYOF AS SELECT * FROM %1 WHERE %2 = %3;").arg(m.table, m.year).arg(kOpenYear);
        sql += QString("UPDATE COPYOF SET %1 = %2;").arg(m.year).arg(year);
        if (QString(m.table) == "KSKMF") {
            sql += QString("UPDATE COPYOF SET KSK_NUP = 1, KSK_KSYM = KSK_KSYM - %1, KSK_KIST = KSK_KIST - %2, "
                           "KSK_KIEND = KSK_KIEND - %2")
                       .arg(back * 100)
                       .arg(back * 10000);
            for (int i = 1; i <= 12; ++i) sql += QString(", KSK_SIME%1 = KSK_SIME%1 - %2").arg(i).arg(back * 10000);
            sql += ";";
        }
        sql += QString("INSERT INTO %1 SELECT * FROM COPYOF; DROP TABLE COPYOF;").arg(m.table);
        folder.Sql(sql);
    }
}

// A year's vouchers: voucher i in month i % 12, number i / 12 + 1.
void InsertYearVouchers(const AppFolder& folder, int year, int count) {
    const QString numbers =
        QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ").arg(count - 1);
    const QString ym = QString("(CASE WHEN i % 12 < 9 THEN %1 + i % 12 ELSE %2 + i % 12 - 9 END)")
                           .arg(year * 100 + 4)
                           .arg((year + 1) * 100 + 1);
    const QString no = "(i / 12 + 1)";
    const QString date = ym + " * 100 + 1 + i / 12 % 28";
    folder.Sql(numbers +
               "INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, "
               "DNH_NDATE, DNH_TANCD, DNH_DTEKIYO, DNH_KBN, DNH_DELKBN) "
               "SELECT 1, 1, " + ym + ", " + no + ", " + QString::number(year) + ", " + ym + " / 100, " + ym +
               " % 100, " + date + ", " + date + ", 1, '摘要 ' || i, 0, 0 FROM n");
    folder.Sql(numbers +
               "INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, "
               "DNM_AKMKCD, DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TEKIYO) "
               "SELECT 1, 1, " + ym + ", " + no + ", 1, 1, 100, 400, 0, 1000 + i, 0, '売上入金 ' || i FROM n "
               "UNION ALL SELECT 1, 1, " + ym + ", " + no + ", 1, 2, 400, 100, 0, 1000 + i, 0, '売上 ' || i FROM n");
}

// The bank account's sub-accounts and their balance rows in every month of
// the open year.
void InsertSubAccounts(const AppFolder& folder) {
    const QString numbers = QString("WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
                                .arg(kSubAccounts);
    folder.Sql(numbers + "INSERT INTO HK1MF (HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_RNAME, HK1_H2FLG) "
                         "SELECT 2026, 110, i, '口座 ' || i, 0 FROM n");
    const QString months =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + QString::number(kSubAccounts) +
        "), m(ym) AS (VALUES (202604), (202605), (202606), (202607), (202608), (202609), (202610), (202611), "
        "(202612), (202701), (202702), (202703)) ";
    folder.Sql(months + "INSERT INTO H1ZMF (H1Z_YM, H1Z_SSKCD, H1Z_GRPCD, H1Z_KMKCD, H1Z_HK1CD, H1Z_NENDO, "
                        "H1Z_ZZAN, H1Z_KARI, H1Z_KASI) SELECT ym, 1, 1, 110, i, 2026, 0, 0, 0 FROM n, m");
    folder.Sql(months + "INSERT INTO H2ZMF (H2Z_YM, H2Z_SSKCD, H2Z_GRPCD, H2Z_KMKCD, H2Z_HK1CD, H2Z_HK2CD, "
                        "H2Z_NENDO, H2Z_ZZAN, H2Z_KARI, H2Z_KASI) SELECT ym, 1, 1, 110, i, 0, 2026, 0, 0, 0 FROM n, m");
}

// Fifty rows of three kinds: purchases with tax, supplies paid from the
// bank, sales on account.
void FillFifty(frmKE410& f) {
    VoucherGrid* g = f.denMeisai;
    gblnLoading = true;
    for (int r = 0; r < 50; ++r) {
        const long amount = 1000 + 37 * r;
        auto put = [&](const char* key, const QString& v) { g->setCell(key, r, v); };
        if (r % 3 == 0) {
            put("KRKMKCD", "500"), put("KRZKBN", "1"), put("KRKIN", QString::number(amount));
            put("KRTAX", QString::number(amount / 10));
            put("KSKMKCD", "200"), put("KSKIN", QString::number(amount + amount / 10));
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

// One row: a deposit to the bank's first sub-account from sales.
void FillOne(frmKE410& f) {
    VoucherGrid* g = f.denMeisai;
    gblnLoading = true;
    g->setCell("KRKMKCD", 0, "110"), g->setCell("KRHK1CD", 0, "1"), g->setCell("KRKIN", 0, "5000");
    g->setCell("KSKMKCD", 0, "100"), g->setCell("KSKIN", 0, "5000");
    gblnLoading = false;
}

bool Add(frmKE410& f, long date) {
    gstrEditMode = "I";
    f.txtDate->NumValue(date);
    DBTransaction tx(*gobjDB);
    if (!f.fncSaveVoucher()) return false;
    tx.Commit();
    return true;
}

bool Load(frmKE410& f, const QString& mode, long nendo, long ym, long no) {
    gstrEditMode = mode;
    glngDenNendo = nendo;
    glngDenYm = ym;
    glngDenNo = no;
    glngCurNendo = nendo;
    const bool ok = f.LoadVoucher();
    f.blnChanged = false;
    return ok;
}

double Median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t.empty() ? 0 : t[t.size() / 2];
}

// Runs `prepare` (not timed) and `step` `runs` times; the median in ms.
double Time(int runs, const std::function<void()>& prepare, const std::function<bool()>& step) {
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        if (prepare) prepare();
        timer.start();
        if (!step()) {
            std::fprintf(stderr, "a step failed\n");
            std::exit(1);
        }
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

struct Step {
    const char* name;
    const char* issue;  // the figure the step was reported with
};
const Step kSteps[] = {
    {"next voucher (open year)", "1y*10k 1.6, 1y*100k 5.2, 5y*100k 55, 10y*300k 234"},
    {"previous from first year's April", "10y*300k 193"},
    {"50-row save, per-month numbering", "10y*300k 7.5"},
    {"50-row save, per-year numbering", "1y*100k 43, 5y*100k 152, 10y*300k 1820"},
    {"jump dialog, per-month", ""},
    {"jump dialog, per-year", "10y*300k 400-550"},
    {"change April voucher (3,000 subs)", "5y*100k 21 (March 3.9)"},
    {"delete April voucher (3,000 subs)", "5y*100k 11 (March 2.2)"},
    {"change March voucher (3,000 subs)", "5y*100k 3.9"},
    {"delete March voucher (3,000 subs)", "5y*100k 2.2"},
    {"voucher list open, default conditions", "1y*100k 385, 10y*300k 1500"},
    {"voucher list reload, default conditions", "1y*100k 304, 10y*300k 930"},
    {"voucher list open, fiscal year", "1y*100k 2500, 10y*300k 6100"},
    {"journal first opening (open year)", "1y*100k 1800, 10y*300k 5900"},
    {"journal all lines in (wall ms)", "600k lines <= 1500"},
    {"journal all lines in (CPU ms)", ""},
    {"journal memory growth (MB)", "<= 2x own size"},
    {"journal lines' own size (MB)", ""},
};

// The journal of the open year from its first opening until its last line
// is in, `runs` times: the median times, and the memory of the last run
// against the size of what the grid shows.
void FillJournal(const AppFolder& folder, int runs, std::map<QString, double>& out) {
    const int lines = folder.Scalar("SELECT COUNT(*) FROM V_DENDT WHERE DNH_SSKCD = 1 AND DNH_GRPCD = 1 "
                                    "AND DNH_NENDO = 2026 AND DNM_GYO < 90").toInt();
    std::vector<double> wall, cpu;
    double grownMb = 0, ownMb = 0;
    for (int i = 0; i < runs; ++i) {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
        const double before = OwnMemoryMb();
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = CpuMs();
        {
            frmKR410 journal;
            journal.show();
            QApplication::setActiveWindow(&journal);
            journal.Form_Activate();
            while (journal.DenMain->Rows() < lines) {
                QApplication::processEvents();
                if (timer.elapsed() > 600000) {
                    std::fprintf(stderr, "the journal did not fill\n");
                    std::exit(1);
                }
            }
            wall.push_back(timer.nsecsElapsed() / 1e6);
            cpu.push_back(CpuMs() - cpu0);
            grownMb = OwnMemoryMb() - before;
            qint64 own = 0;
            const auto& cells = journal.DenMain->GridLayout().cells;
            for (int r = 0; r < journal.DenMain->Rows(); ++r)
                for (const auto& c : cells) own += journal.DenMain->Cell(c.key, r).toUtf8().size();
            ownMb = own / (1024.0 * 1024.0);
        }
    }
    out["journal all lines in (wall ms)"] = Median(wall);
    out["journal all lines in (CPU ms)"] = Median(cpu);
    out["journal memory growth (MB)"] = grownMb;
    out["journal lines' own size (MB)"] = ownMb;
}

std::map<QString, double> RunBook(int years, int perYear, int runs, bool journalOnly) {
    MsgRecorder msgs;
    // Messages a step showed (answered with their first button), told.
    struct Results : std::map<QString, double> {
        MsgRecorder* msgs;
        double& operator[](const QString& step) {
            if (!msgs->Empty())
                std::fprintf(stderr, "before \"%s\": %s\n", qPrintable(step), qPrintable(msgs->Texts().join(" | ")));
            msgs->Clear();
            return std::map<QString, double>::operator[](step);
        }
    } out;
    out.msgs = &msgs;
    AppFolder folder;
    InsertVoucherMasters(folder);
    for (int y = kOpenYear - years + 1; y < kOpenYear; ++y) CopyYearMasters(folder, y);
    for (int y = kOpenYear - years + 1; y <= kOpenYear; ++y) InsertYearVouchers(folder, y, perYear);
    InsertSubAccounts(folder);
    ReadTabIni();
    const int firstYear = kOpenYear - years + 1;
    const long mid = std::max(1, perYear / 24);
    if (!journalOnly) {
        {
            gstrStartMode = "";
            gstrEditMode = "I";
            frmKE410 f;
            out["next voucher (open year)"] =
                Time(runs, [&] { Load(f, "U", kOpenYear, 202610, mid); }, [&] {
                    f.cmdNext_Click();
                    return glngDenYm == 202610 && glngDenNo == mid + 1;
                });
            out["previous from first year's April"] =
                Time(runs, [&] { Load(f, "S", firstYear, firstYear * 100 + 4, mid); }, [&] {
                    f.cmdPrev_Click();
                    return glngDenNo == mid - 1;
                });
        }
        {
            gstrEditMode = "I";
            frmKE410 f;
            FillFifty(f);
            if (!Add(f, 20261215)) std::exit(1);  // the month's counter moves past the stored numbers
            out["50-row save, per-month numbering"] = Time(runs, nullptr, [&] { return Add(f, 20261215); });
        }
        folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 1");
        {
            gstrEditMode = "I";
            frmKE410 f;
            FillFifty(f);
            if (!Add(f, 20261215)) std::exit(1);  // the year's counter moves past the stored numbers
            out["50-row save, per-year numbering"] = Time(runs, nullptr, [&] { return Add(f, 20261215); });
            frmKE41J dlg(&f);
            dlg.txtDate->Value("2026");
            dlg.txtDenno->Value(QString::number(mid));
            out["jump dialog, per-year"] = Time(runs, [&] { gblnJumpDone = false; }, [&] {
                dlg.cmdUpd_Click();
                return gblnJumpDone;
            });
        }
        folder.Sql("UPDATE SSKMF SET SSK_SBANKBN = 0");
        {
            gstrEditMode = "I";
            frmKE410 f;
            frmKE41J dlg(&f);
            dlg.txtDate->Value("2026/10");
            dlg.txtDenno->Value(QString::number(mid));
            out["jump dialog, per-month"] = Time(runs, [&] { gblnJumpDone = false; }, [&] {
                dlg.cmdUpd_Click();
                return gblnJumpDone && glngDenYm == 202610;
            });
        }
        for (const auto& [month, date, ym] : {std::tuple{"April", 20260415L, 202604L}, {"March", 20270315L, 202703L}}) {
            gstrEditMode = "I";
            frmKE410 f;
            FillOne(f);
            if (!Add(f, date)) std::exit(1);
            const long no = folder.Scalar(QString("SELECT MAX(DNH_DENNO) FROM DNHDT WHERE DNH_YM = %1").arg(ym)).toLong();
            out[QString("change %1 voucher (3,000 subs)").arg(month)] =
                Time(runs, [&] { Load(f, "U", kOpenYear, ym, no); }, [&] {
                    DBTransaction tx(*gobjDB);
                    if (!f.fncRemoveOldVoucher() || !f.fncSaveVoucher()) return false;
                    tx.Commit();
                    return true;
                });
            out[QString("delete %1 voucher (3,000 subs)").arg(month)] =
                Time(runs, [&] { Load(f, "D", kOpenYear, ym, no); }, [&] {
                    gobjDB->BeginTrans();
                    const bool ok = f.fncDeleteVoucher();
                    gobjDB->RollbackTrans();
                    return ok;
                });
        }
        {
            InitSearchDefaults();
            QElapsedTimer timer;
            std::vector<double> open, reload;
            for (int i = 0; i < runs; ++i) {
                timer.start();
                frmKE41S list;
                open.push_back(timer.nsecsElapsed() / 1e6);
                timer.start();
                list.ShowVoucherList();
                reload.push_back(timer.nsecsElapsed() / 1e6);
            }
            out["voucher list open, default conditions"] = Median(open);
            out["voucher list reload, default conditions"] = Median(reload);
            glngSrchDateSt = 20260401;
            glngSrchDateEnd = 20270331;
            open.clear();
            for (int i = 0; i < runs; ++i) {
                timer.start();
                frmKE41S list;
                open.push_back(timer.nsecsElapsed() / 1e6);
            }
            out["voucher list open, fiscal year"] = Median(open);
            InitSearchDefaults();
        }
    }
    {
        std::vector<double> open;
        QElapsedTimer timer;
        for (int i = 0; i < runs; ++i) {
            timer.start();
            frmKR410 journal;
            journal.show();
            QApplication::setActiveWindow(&journal);
            journal.Form_Activate();
            QApplication::processEvents();
            open.push_back(timer.nsecsElapsed() / 1e6);
        }
        out["journal first opening (open year)"] = Median(open);
    }
    FillJournal(folder, runs, out);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const auto app = StartBench(argc, argv);
    const QStringList args = app->arguments();
    const int perYear = args.size() > 1 ? args[1].toInt() : 50000;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;
    QList<int> books;
    for (const QString& y : (args.size() > 3 ? args[3] : QString("1,5,10")).split(',')) books << y.toInt();
    const bool journalOnly = args.size() > 4 && args[4] == "journal";

    SetToday(QDate(2026, 12, 8));
    std::vector<std::map<QString, double>> results;
    for (int years : books) {
        QElapsedTimer made;
        made.start();
        results.push_back(RunBook(years, perYear, runs, journalOnly));
        std::fprintf(stderr, "book of %d years done in %.1f s\n", years, made.elapsed() / 1000.0);
    }
    std::printf("median of %d runs, ms (wall time unless named); %d vouchers a year (two lines each)\n", runs,
                perYear);
    std::printf("%-42s", "step");
    for (int years : books) std::printf(" %9s", qPrintable(QString("%1 y").arg(years)));
    std::printf("   reported (ms)\n");
    for (const Step& s : kSteps) {
        if (!results.front().count(s.name)) continue;
        std::printf("%-42s", s.name);
        for (const auto& r : results) std::printf(" %9.2f", r.at(s.name));
        std::printf("   %s\n", s.issue);
    }
    return 0;
}
