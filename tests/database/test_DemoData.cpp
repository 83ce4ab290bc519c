// The demo database checks itself: calendar, chart of accounts, opening
// balances, holidays, templates and permissions must fit together the way
// the programs read them, and filling must be all or nothing.
#include "TestSupport.h"

#include "database/BookMove.h"
#include "database/DemoData.h"
#include "database/Schema.h"
#include "platform/Currency.h"
#include "platform/DBAccess.h"

#include <QCoreApplication>
#include <QDate>
#include <QProcess>
#include <QRegularExpression>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

const QDate kDay(2026, 6, 15);  // fiscal year 2026 (April 2026 to March 2027)

using Rows = std::vector<QStringList>;

Rows Query(DBAccess& db, const QString& sql) {
    Rows out;
    RecordsetPtr rs = db.OpenRecordset(sql);
    while (!rs->Eof()) {
        QStringList r;
        for (int i = 0; i < rs->FieldCount(); ++i) r << rs->Fields(i).Value().Text();
        out.push_back(r);
        rs->MoveNext();
    }
    return out;
}

qint64 Number(DBAccess& db, const QString& sql) {
    Rows r = Query(db, sql);
    return r.empty() ? 0 : r.front().value(0).toLongLong();
}

// Money read exactly (sums of NUMERIC columns).
Currency Money(const QString& text) { return Currency::FromText(text); }

QDate DateOf(qint64 number) {
    return QDate(static_cast<int>(number / 10000), static_cast<int>(number / 100 % 100), static_cast<int>(number % 100));
}

// Every row of every table, for comparing whole databases.
QStringList Dump(DBAccess& db) {
    QStringList out;
    QStringList tables = db.TableNames();
    for (QString& t : tables) t = t.toUpper();
    tables.sort();
    for (const QString& table : tables) {
        const QStringList t{table};
        RecordsetPtr probe = db.OpenRecordset("SELECT * FROM " + t[0] + " LIMIT 1");
        QStringList order;
        for (int i = 1; i <= probe->FieldCount(); ++i) order << QString::number(i);
        for (const QStringList& r : Query(db, "SELECT * FROM " + t[0] + " ORDER BY " + order.join(", ")))
            out << t[0] + "|" + r.join("|");
    }
    return out;
}

// A demo database of its own in a temporary folder.
struct DemoFile {
    explicit DemoFile(const QDate& day, bool fill = true) {
        EXPECT_TRUE(dir.isValid());
        EXPECT_TRUE(db.ConnectFile(dir.path() + "/demo.db", true)) << db.ErrorText().toStdString();
        EXPECT_TRUE(Schema::Prepare(db)) << db.ErrorText().toStdString();
        if (fill) filled = DemoData::Fill(db, day);
    }
    QTemporaryDir dir;
    DBAccess db;
    bool filled = false;
};

class DemoDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Demo(kDay);
        ASSERT_TRUE(folder.Connect(db)) << db.ErrorText().toStdString();
    }
    AppFolder folder;
    DBAccess db;
};

// ---------------------------------------------------------------- fiscal calendar

TEST(DemoCalendar, OpenYearHoldsTheDayBetweenAClosedPreviousAndAnOpenNextYear) {
    for (const QDate& day : {QDate(2026, 6, 15), QDate(2026, 4, 1), QDate(2027, 3, 31), QDate(2025, 12, 31)}) {
        SCOPED_TRACE(day.toString(Qt::ISODate).toStdString());
        DemoFile demo(day);
        ASSERT_TRUE(demo.filled) << demo.db.ErrorText().toStdString();
        const int d = day.year() * 10000 + day.month() * 100 + day.day();
        Rows open = Query(demo.db, "SELECT KSK_NENDO, KSK_NUP, KSK_SSKCD, KSK_GRPCD FROM KSKMF WHERE KSK_KIST <= " +
                                       QString::number(d) + " AND KSK_KIEND >= " + QString::number(d));
        ASSERT_EQ(open.size(), 1u);
        const int year = open[0][0].toInt();
        EXPECT_EQ(year, day.month() >= 4 ? day.year() : day.year() - 1);
        EXPECT_EQ(open[0][1], "0");
        EXPECT_EQ(open[0][2], "0");
        EXPECT_EQ(open[0][3], "0");
        EXPECT_EQ(Number(demo.db, "SELECT COUNT(*) FROM KSKMF"), 3);
        EXPECT_EQ(Number(demo.db, "SELECT KSK_NUP FROM KSKMF WHERE KSK_NENDO = " + QString::number(year - 1)), 1);
        EXPECT_EQ(Number(demo.db, "SELECT COUNT(*) FROM KSKMF WHERE KSK_NUP = 0 AND KSK_NENDO = " +
                                      QString::number(year + 1)),
                  1);
    }
}

TEST(DemoCalendar, MonthlyClosingReachesTheEndOfTheMonthTwoMonthsBackOnlyInsideTheOpenYear) {
    const struct {
        QDate day;
        int year;
        int gup;
    } cases[] = {
        {QDate(2026, 6, 15), 2026, 20260430},
        {QDate(2026, 12, 31), 2026, 20261031},
        {QDate(2027, 3, 31), 2026, 20270131},
        {QDate(2026, 5, 10), 2026, 0},  // March lies in the year before
        {QDate(2026, 4, 1), 2026, 0},
        {QDate(2024, 3, 1), 2023, 20240131},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.day.toString(Qt::ISODate).toStdString());
        DemoFile demo(c.day);
        ASSERT_TRUE(demo.filled) << demo.db.ErrorText().toStdString();
        EXPECT_EQ(Number(demo.db, "SELECT KSK_GUP FROM KSKMF WHERE KSK_NENDO = " + QString::number(c.year)), c.gup);
        EXPECT_EQ(Number(demo.db, "SELECT KSK_GUP FROM KSKMF WHERE KSK_NENDO = " + QString::number(c.year + 1)), 0);
        // The closed year is closed to its last day.
        EXPECT_EQ(Number(demo.db, "SELECT KSK_GUP - KSK_KIEND FROM KSKMF WHERE KSK_NENDO = " +
                                      QString::number(c.year - 1)),
                  0);
    }
}

TEST_F(DemoDataTest, ClosingDaysAreTwelveIncreasingMonthEndsFromTheFirstMonthToTheLastDay) {
    Rows rows = Query(db, "SELECT KSK_NENDO, KSK_KSYM, KSK_KIST, KSK_KIEND, KSK_SIME1, KSK_SIME2, KSK_SIME3, "
                          "KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, KSK_SIME10, "
                          "KSK_SIME11, KSK_SIME12 FROM KSKMF ORDER BY KSK_NENDO");
    ASSERT_EQ(rows.size(), 3u);
    for (const QStringList& r : rows) {
        SCOPED_TRACE(r[0].toStdString());
        const int year = r[0].toInt();
        EXPECT_EQ(r[1].toInt(), year * 100 + 4);
        EXPECT_EQ(DateOf(r[2].toLongLong()), QDate(year, 4, 1));
        QDate expectedMonth(year, 4, 1);
        qint64 previous = r[2].toLongLong() - 1;
        for (int m = 1; m <= 12; ++m) {
            qint64 sime = r[3 + m].toLongLong();
            QDate d = DateOf(sime);
            ASSERT_TRUE(d.isValid()) << "KSK_SIME" << m << " " << sime;
            EXPECT_GT(sime, previous);
            EXPECT_EQ(d.year(), expectedMonth.year());
            EXPECT_EQ(d.month(), expectedMonth.month());
            EXPECT_EQ(d.day(), d.daysInMonth());
            previous = sime;
            expectedMonth = expectedMonth.addMonths(1);
        }
        EXPECT_EQ(r[15], r[3]) << "the last closing day is the last day of the year";
        EXPECT_EQ(DateOf(r[3].toLongLong()).addDays(1), QDate(year + 1, 4, 1));
    }
}

// ---------------------------------------------------------------- masters

TEST_F(DemoDataTest, EveryChartOfAccountsBelongsToAFiscalYearAndEveryYearHasTheSameChart) {
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM (SELECT DISTINCT KMK_NENDO FROM KMKMF) AS N "
                         " WHERE KMK_NENDO NOT IN (SELECT KSK_NENDO FROM KSKMF)"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KSKMF WHERE KSK_NENDO NOT IN (SELECT KMK_NENDO FROM KMKMF)"), 0);
    Rows counts = Query(db, "SELECT KMK_NENDO, COUNT(*), SUM(KMK_CD) FROM KMKMF GROUP BY KMK_NENDO");
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts[0][1], counts[1][1]);
    EXPECT_EQ(counts[1][1], counts[2][1]);
    EXPECT_EQ(counts[0][2], counts[2][2]);
    EXPECT_GE(counts[0][1].toInt(), 20);
}

TEST_F(DemoDataTest, AccountsCarryTheirNormalSideNamesAndSortOrder) {
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_TSKBN NOT IN (1, 2)"), 0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE COALESCE(KMK_NM, '') = '' OR COALESCE(KMK_RNAME, '') = ''"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_ZOKUSEI <> 0"), 0);
    // Sort order follows the codes.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF A, KMKMF B WHERE A.KMK_NENDO = B.KMK_NENDO "
                         "   AND A.KMK_CD < B.KMK_CD AND A.KMK_SORT >= B.KMK_SORT"),
              0);
    // Expense accounts are the budget-checked classes, and debit-normal.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_CD >= 500 AND (KMK_BUNRUI NOT IN (4, 5) OR "
                         "KMK_TSKBN <> 1)"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_CD < 500 AND KMK_BUNRUI NOT IN (1, 2, 3)"), 0);
    const int y = 2026;
    auto side = [&](int cd) {
        return Number(db, "SELECT KMK_TSKBN FROM KMKMF WHERE KMK_NENDO = " + QString::number(y) +
                              " AND KMK_CD = " + QString::number(cd));
    };
    EXPECT_EQ(side(100), 1);
    EXPECT_EQ(side(130), 1);
    EXPECT_EQ(side(200), 2);
    EXPECT_EQ(side(300), 2);
    EXPECT_EQ(side(400), 2);
    EXPECT_EQ(side(610), 1);
}

TEST_F(DemoDataTest, GroupScopedAccountsExistAndTheOwnedOneBelongsToTheSalesDepartment) {
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_NENDO = 2026 AND KMK_GRKBN = 1"), 1);
    Rows owned = Query(db, "SELECT KMK_SSKCD, KMK_GRPCD FROM KMKMF WHERE KMK_NENDO = 2026 AND KMK_GRKBN = 2");
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0], QStringList({"1", "2"}));
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM GRPMF WHERE GRP_SSKCD = 1 AND GRP_CD = 2"), 1);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_GRKBN <> 2 AND (KMK_SSKCD <> 0 OR KMK_GRPCD <> 0)"),
              0);
}

TEST_F(DemoDataTest, SubAccountFlagsMatchTheSubAccountRows) {
    // KMK_H1FLG 1 exactly where sub-accounts 1 exist.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_H1FLG = 1 AND NOT EXISTS (SELECT 1 FROM HK1MF "
                         " WHERE HK1_NENDO = KMK_NENDO AND HK1_KMKCD = KMK_CD)"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM HK1MF WHERE NOT EXISTS (SELECT 1 FROM KMKMF "
                         " WHERE KMK_NENDO = HK1_NENDO AND KMK_CD = HK1_KMKCD AND KMK_H1FLG = 1)"),
              0);
    EXPECT_GE(Number(db, "SELECT COUNT(*) FROM HK1MF WHERE HK1_NENDO = 2026 AND HK1_KMKCD = 110"), 2);
    EXPECT_GE(Number(db, "SELECT COUNT(*) FROM HK1MF WHERE HK1_NENDO = 2026 AND HK1_KMKCD = 130"), 2);
    // HK1_H2FLG 1 exactly where sub-accounts 2 exist, for both groups.
    for (int group : {1, 2}) {
        EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM HK1MF WHERE HK1_H2FLG = 1 AND NOT EXISTS (SELECT 1 FROM HK2MF "
                             " WHERE HK2_NENDO = HK1_NENDO AND HK2_KMKCD = HK1_KMKCD AND HK2_HK1CD = HK1_CD "
                             "   AND HK2_SSKCD = 1 AND HK2_GRPCD = " +
                                 QString::number(group) + ")"),
                  0);
    }
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM HK2MF WHERE NOT EXISTS (SELECT 1 FROM HK1MF "
                         " WHERE HK1_NENDO = HK2_NENDO AND HK1_KMKCD = HK2_KMKCD AND HK1_CD = HK2_HK1CD "
                         "   AND HK1_H2FLG = 1)"),
              0);
    EXPECT_GE(Number(db, "SELECT COUNT(*) FROM HK2MF WHERE HK2_NENDO = 2026"), 2);
}

TEST_F(DemoDataTest, TaxAccountsOfEveryYearAreTheTaxAccountsOfThatYearsChart) {
    for (int year : {2025, 2026, 2027}) {
        SCOPED_TRACE(year);
        const QString y = QString::number(year);
        Rows input = Query(db, "SELECT KMK_CD, KMK_TSKBN FROM KKMMF INNER JOIN KMKMF ON KMK_NENDO = KKM_NENDO "
                               "AND KMK_CD = KKM_KMKCD WHERE KKM_NENDO = " + y + " AND KKM_KBN = 21");
        Rows output = Query(db, "SELECT KMK_CD, KMK_TSKBN FROM KKMMF INNER JOIN KMKMF ON KMK_NENDO = KKM_NENDO "
                                "AND KMK_CD = KKM_KMKCD WHERE KKM_NENDO = " + y + " AND KKM_KBN = 20");
        ASSERT_EQ(input.size(), 1u);
        ASSERT_EQ(output.size(), 1u);
        EXPECT_EQ(input[0][1], "1") << "input tax is an asset";
        EXPECT_EQ(output[0][1], "2") << "output tax is a liability";
        EXPECT_EQ(input[0][0], "150");
        EXPECT_EQ(output[0][0], "250");
    }
}

TEST_F(DemoDataTest, DefaultTaxCodesAreValidOnTheDayAndFitTheAccountsSide) {
    Rows rows = Query(db, "SELECT KMK_CD, KMK_TSKBN, KMK_BUNRUI, ZEI_KBN FROM KMKMF LEFT JOIN ZEIMF "
                          "    ON ZEI_CD = KMK_ZKBN AND ZEI_DATEST <= 20260615 AND ZEI_DATEEND >= 20260615 "
                          " WHERE KMK_NENDO = 2026 AND KMK_ZKBN <> 0");
    ASSERT_FALSE(rows.empty());
    for (const QStringList& r : rows) {
        SCOPED_TRACE(r.join(",").toStdString());
        ASSERT_FALSE(r[3].isEmpty()) << "no tax code row valid on the day";
        const int kind = r[3].toInt();
        if (kind == 0) continue;  // exempt
        if (r[2] == "3") EXPECT_TRUE(kind == 3 || kind == 4) << "revenue takes an output-tax code";
        else EXPECT_TRUE(kind == 1 || kind == 2) << "purchases and expenses take an input-tax code";
    }
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMKMF WHERE KMK_NENDO = 2026 AND KMK_ZKBN <> 0 "
                         "   AND KMK_BUNRUI IN (1, 2)"),
              0);
}

TEST_F(DemoDataTest, TaxCodesHaveOneRowEachSoLookupsAndJoinsByCodeStayUnique) {
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM (SELECT ZEI_CD FROM ZEIMF GROUP BY ZEI_CD HAVING COUNT(*) > 1) AS N"), 0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM ZEIMF WHERE ZEI_DATEST > ZEI_DATEEND"), 0);
    // The current rate and the rate before October 2019 under codes of their own.
    EXPECT_EQ(Query(db, "SELECT ZEI_RITU FROM ZEIMF WHERE ZEI_CD = 1 AND ZEI_DATEST <= 20260615 "
                        "   AND ZEI_DATEEND >= 20260615")
                  .at(0)
                  .at(0),
              "0.1");
    Rows old = Query(db, "SELECT ZEI_KBN, ZEI_RITU FROM ZEIMF WHERE ZEI_DATEST <= 20190930 "
                         "   AND ZEI_DATEEND >= 20190930 ORDER BY ZEI_KBN");
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(old[0], QStringList({"1", "0.08"}));
    EXPECT_EQ(old[1], QStringList({"3", "0.08"}));
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM ZEIMF WHERE ZEI_DATEEND = 20190930 AND ZEI_DATEST <= 20190930"), 2);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM ZEIMF WHERE ZEI_CD = 0"), 0);
}

TEST_F(DemoDataTest, ControlRowBranchGroupsUsersAndSwitches) {
    EXPECT_EQ(Query(db, "SELECT CNT_KIKBN, CNT_KUMINAME FROM CNTMF WHERE CNT_KEY = 1").at(0),
              QStringList({"0", "株式会社さくら商事"}));
    EXPECT_EQ(Query(db, "SELECT SSK_RNAME, SSK_SBANKBN, SSK_SDNKBN, SSK_MTPKBN, SSK_MKPKBN, SSK_ZZIKBN "
                        "  FROM SSKMF WHERE SSK_CD = 1")
                  .at(0),
              QStringList({"本社", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(Query(db, "SELECT GRP_CD, GRP_RNAME, GRP_KBN FROM GRPMF WHERE GRP_SSKCD = 1 ORDER BY GRP_CD"),
              Rows({{"1", "総務部", "0"}, {"2", "営業部", "0"}}));
    EXPECT_EQ(Query(db, "SELECT USG_ID, USG_NAME FROM USGMF ORDER BY USG_ID"),
              Rows({{"1", "山田 太郎"}, {"2", "佐藤 花子"}, {"3", "鈴木 一郎"}}));
    EXPECT_EQ(Query(db, "SELECT SYS_KEY, SYS_VALUE FROM SYSTEM ORDER BY SYS_KEY"),
              Rows({{"FuriDenFormat", "0"}, {"FuriDenKingaku", "9"}, {"GTekiCopy", "0"}, {"YOS_CHECK_ON", "0"}}));
    EXPECT_GE(Number(db, "SELECT COUNT(*) FROM TRIMF WHERE TRI_SSKCD = 1"), 5);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM TEKMF WHERE TEK_SSKCD = 1"), 12);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM TEKMF WHERE COALESCE(TEK_NAME, '') = ''"), 0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM DENMF"), 0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM DNHDT"), 0);
}

// The lowest permission over the user's groups for the program's menu entry
// and its parent (a parent without a row counts 0), as the permission check
// reads it.
int LowestPermission(DBAccess& db, int user, const QString& program) {
    Rows entries = Query(db, "SELECT MNU_MEID, MNU_UPID FROM MNUMF WHERE MNU_PGID = " + db.SqlText(program));
    auto lowestOf = [&](const QString& entry) {
        Rows perm = Query(db, "SELECT MIN(SEC_PERM) FROM UGLMF, SECMF WHERE UGL_UID = " + QString::number(user) +
                                  " AND UGL_GID = SEC_USGID AND SEC_SSKCD = 1 AND SEC_MNUID = " + entry);
        return perm.empty() || perm[0][0].isEmpty() ? std::optional<int>() : std::optional<int>(perm[0][0].toInt());
    };
    std::optional<int> lowest;
    for (const QStringList& e : entries) {
        std::optional<int> own = lowestOf(e[0]);
        int parent = lowestOf(e[1]).value_or(0);
        int p = own ? std::min(*own, parent) : parent;
        lowest = lowest ? std::min(*lowest, p) : p;
    }
    return lowest.value_or(-1);
}

TEST_F(DemoDataTest, AccountingStaffMayUseEveryProgramAndTheViewerOnlyTheInquiries) {
    for (const char* program : {"WKE410", "WKR430", "WKR410"}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(LowestPermission(db, 2, program), 2);
        Rows parent = Query(db, "SELECT P.MNU_MEID FROM MNUMF C INNER JOIN MNUMF P ON P.MNU_MEID = C.MNU_UPID "
                                " WHERE C.MNU_PGID = '" + QString(program) + "'");
        EXPECT_EQ(parent.size(), 1u) << "the entry sits under a parent entry";
    }
    EXPECT_EQ(LowestPermission(db, 3, "WKE410"), 1);
    EXPECT_EQ(LowestPermission(db, 3, "WKR430"), 2);
    EXPECT_EQ(LowestPermission(db, 3, "WKR410"), 2);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM UGLMF WHERE UGL_UID = 1"), 0) << "user 1 passes by user type";
}

// ---------------------------------------------------------------- templates

TEST_F(DemoDataTest, TemplatesBalanceAndUseAccountsAndSubAccountsOfTheMasters) {
    Rows headers = Query(db, "SELECT TSH_KEY, TSH_NAME FROM TSHMF WHERE TSH_SSKCD = 1 AND TSH_GRPCD = 1 "
                             " ORDER BY TSH_KEY");
    ASSERT_EQ(headers.size(), 2u);
    for (const QStringList& h : headers) {
        SCOPED_TRACE(h.join(",").toStdString());
        Rows sides = Query(db, "SELECT TSM_TSKBN, SUM(TSM_KIN + TSM_TAX) FROM TSMMF WHERE TSM_SSKCD = 1 "
                               "   AND TSM_GRPCD = 1 AND TSM_KEY = " + h[0] + " GROUP BY TSM_TSKBN ORDER BY TSM_TSKBN");
        ASSERT_EQ(sides.size(), 2u);
        EXPECT_EQ(Money(sides[0][1]), Money(sides[1][1])) << "debit and credit totals differ";
        EXPECT_GT(Money(sides[0][1]), Currency());
        // Line numbers run 1, 2, ... per side.
        EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM (SELECT TSM_TSKBN FROM TSMMF WHERE TSM_KEY = " + h[0] +
                                 " GROUP BY TSM_TSKBN HAVING MAX(TSM_GYO) <> COUNT(*) OR MIN(TSM_GYO) <> 1) AS N"),
                  0);
    }
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM TSMMF WHERE NOT EXISTS (SELECT 1 FROM TSHMF WHERE TSH_SSKCD = "
                         "TSM_SSKCD AND TSH_GRPCD = TSM_GRPCD AND TSH_KEY = TSM_KEY)"),
              0);
    // Each line passes the voucher rules on accounts and sub-accounts.
    Rows lines = Query(db, "SELECT TSM_KMKCD, TSM_HK1CD, TSM_HK2CD, KMK_H1FLG, "
                           "       (SELECT HK1_H2FLG FROM HK1MF WHERE HK1_NENDO = 2026 AND HK1_KMKCD = TSM_KMKCD "
                           "           AND HK1_CD = TSM_HK1CD), "
                           "       (SELECT COUNT(*) FROM HK1MF WHERE HK1_NENDO = 2026 AND HK1_KMKCD = TSM_KMKCD "
                           "           AND HK1_CD = TSM_HK1CD), "
                           "       (SELECT COUNT(*) FROM HK2MF WHERE HK2_NENDO = 2026 AND HK2_KMKCD = TSM_KMKCD "
                           "           AND HK2_HK1CD = TSM_HK1CD AND HK2_CD = TSM_HK2CD AND HK2_SSKCD = 1 "
                           "           AND HK2_GRPCD = 1) "
                           "  FROM TSMMF LEFT JOIN KMKMF ON KMK_NENDO = 2026 AND KMK_CD = TSM_KMKCD");
    ASSERT_FALSE(lines.empty());
    for (const QStringList& l : lines) {
        SCOPED_TRACE(l.join(",").toStdString());
        ASSERT_FALSE(l[3].isEmpty()) << "account missing";
        if (l[3] == "1") {
            EXPECT_NE(l[1], "0");
            EXPECT_EQ(l[5], "1");
        } else {
            EXPECT_EQ(l[1], "0");
        }
        if (l[4] == "1") EXPECT_EQ(l[6], "1") << "sub-account 2 required and registered";
        else EXPECT_EQ(l[2], "0");
    }
}

// ---------------------------------------------------------------- opening balances

TEST_F(DemoDataTest, OpeningBalancesOfEachGroupBalance) {
    for (int group : {1, 2}) {
        SCOPED_TRACE(group);
        Rows sums = Query(db, "SELECT KMK_TSKBN, SUM(KMZ_ZZAN) FROM KMZMF INNER JOIN KMKMF ON KMK_NENDO = KMZ_NENDO "
                              "   AND KMK_CD = KMZ_KMKCD WHERE KMZ_YM = 202604 AND KMZ_SSKCD = 1 AND KMZ_GRPCD = " +
                                  QString::number(group) + " GROUP BY KMK_TSKBN ORDER BY KMK_TSKBN");
        ASSERT_EQ(sums.size(), 2u);
        EXPECT_GT(Money(sums[0][1]), Currency());
        EXPECT_EQ(Money(sums[0][1]), Money(sums[1][1])) << "debit-normal and credit-normal sums differ";
        // Only balance-sheet accounts open with a balance.
        EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMZMF INNER JOIN KMKMF ON KMK_NENDO = KMZ_NENDO "
                             "   AND KMK_CD = KMZ_KMKCD WHERE KMZ_GRPCD = " + QString::number(group) +
                                 " AND KMK_BUNRUI > 2"),
                  0);
    }
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMZMF WHERE KMZ_ZZAN < 0"), 0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMZMF WHERE KMZ_SSKCD <> 1 OR KMZ_GRPCD NOT IN (1, 2)"), 0);
}

TEST_F(DemoDataTest, SubAccountBalancesAddUpToTheirAccountInEveryMonth) {
    // Every account row has sub-account 1 rows (code 0 without sub-accounts)
    // adding up to it, and nothing else.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMZMF WHERE KMZ_ZZAN <> (SELECT COALESCE(SUM(H1Z_ZZAN), -1) "
                         "  FROM H1ZMF WHERE H1Z_YM = KMZ_YM AND H1Z_SSKCD = KMZ_SSKCD AND H1Z_GRPCD = KMZ_GRPCD "
                         "   AND H1Z_KMKCD = KMZ_KMKCD)"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM H1ZMF WHERE NOT EXISTS (SELECT 1 FROM KMZMF WHERE KMZ_YM = H1Z_YM "
                         "   AND KMZ_SSKCD = H1Z_SSKCD AND KMZ_GRPCD = H1Z_GRPCD AND KMZ_KMKCD = H1Z_KMKCD)"),
              0);
    // Accounts with sub-accounts keep their balance on the sub-accounts.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM H1ZMF INNER JOIN KMKMF ON KMK_NENDO = H1Z_NENDO "
                         "   AND KMK_CD = H1Z_KMKCD WHERE (KMK_H1FLG = 1) <> (H1Z_HK1CD <> 0)"),
              0);
    // Sub-account 1 rows have sub-account 2 rows adding up to them.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM H1ZMF WHERE H1Z_HK1CD <> 0 AND H1Z_ZZAN <> ("
                         "SELECT COALESCE(SUM(H2Z_ZZAN), -1) FROM H2ZMF WHERE H2Z_YM = H1Z_YM "
                         "   AND H2Z_SSKCD = H1Z_SSKCD AND H2Z_GRPCD = H1Z_GRPCD AND H2Z_KMKCD = H1Z_KMKCD "
                         "   AND H2Z_HK1CD = H1Z_HK1CD)"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM H2ZMF WHERE NOT EXISTS (SELECT 1 FROM H1ZMF WHERE H1Z_YM = H2Z_YM "
                         "   AND H1Z_SSKCD = H2Z_SSKCD AND H1Z_GRPCD = H2Z_GRPCD AND H1Z_KMKCD = H2Z_KMKCD "
                         "   AND H1Z_HK1CD = H2Z_HK1CD)"),
              0);
    EXPECT_GT(Number(db, "SELECT COUNT(*) FROM H2ZMF WHERE H2Z_HK2CD <> 0"), 0);
}

TEST_F(DemoDataTest, BalancesNameOnlyAccountsAndSubAccountsOfTheMasters) {
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM KMZMF WHERE NOT EXISTS (SELECT 1 FROM KMKMF WHERE KMK_NENDO = "
                         "KMZ_NENDO AND KMK_CD = KMZ_KMKCD)"),
              0);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM H1ZMF WHERE H1Z_HK1CD <> 0 AND NOT EXISTS (SELECT 1 FROM HK1MF "
                         " WHERE HK1_NENDO = H1Z_NENDO AND HK1_KMKCD = H1Z_KMKCD AND HK1_CD = H1Z_HK1CD)"),
              0);
    // Sub-account 2 rows: registered codes where the sub-account needs them, else 0.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM H2ZMF INNER JOIN HK1MF ON HK1_NENDO = H2Z_NENDO "
                         "   AND HK1_KMKCD = H2Z_KMKCD AND HK1_CD = H2Z_HK1CD "
                         " WHERE (HK1_H2FLG = 1 AND NOT EXISTS (SELECT 1 FROM HK2MF WHERE HK2_NENDO = H2Z_NENDO "
                         "   AND HK2_KMKCD = H2Z_KMKCD AND HK2_HK1CD = H2Z_HK1CD AND HK2_CD = H2Z_HK2CD "
                         "   AND HK2_SSKCD = H2Z_SSKCD AND HK2_GRPCD = H2Z_GRPCD)) "
                         "    OR (HK1_H2FLG <> 1 AND H2Z_HK2CD <> 0)"),
              0);
}

void ExpectTwelveQuietMonths(DBAccess& db, const QString& table, const QString& p, const QString& keys) {
    SCOPED_TRACE(table.toStdString());
    Rows groups = Query(db, "SELECT " + keys + ", COUNT(*), MIN(" + p + "_YM), MAX(" + p + "_YM), COUNT(DISTINCT " +
                                p + "_ZZAN), MIN(" + p + "_NENDO), MAX(" + p + "_NENDO), SUM(ABS(" + p +
                                "_KARI) + ABS(" + p + "_KASI)) FROM " + table + " GROUP BY " + keys);
    ASSERT_FALSE(groups.empty());
    const int k = keys.count(',') + 1;
    for (const QStringList& g : groups) {
        SCOPED_TRACE(g.join(",").toStdString());
        EXPECT_EQ(g[k], "12");
        EXPECT_EQ(g[k + 1], "202604");
        EXPECT_EQ(g[k + 2], "202703");
        EXPECT_EQ(g[k + 3], "1") << "the opening balance is carried unchanged";
        EXPECT_EQ(g[k + 4], "2026");
        EXPECT_EQ(g[k + 5], "2026");
        EXPECT_EQ(Money(g[k + 6]), Currency()) << "no movements yet";
    }
    // The twelve months are the fiscal months, one each.
    EXPECT_EQ(Number(db, "SELECT COUNT(DISTINCT " + p + "_YM) FROM " + table), 12);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM " + table + " WHERE " + p + "_YM % 100 NOT BETWEEN 1 AND 12"), 0);
}

TEST_F(DemoDataTest, EveryMonthOfTheYearHasABalanceRowCarryingTheOpeningBalance) {
    ExpectTwelveQuietMonths(db, "KMZMF", "KMZ", "KMZ_SSKCD, KMZ_GRPCD, KMZ_KMKCD");
    ExpectTwelveQuietMonths(db, "H1ZMF", "H1Z", "H1Z_SSKCD, H1Z_GRPCD, H1Z_KMKCD, H1Z_HK1CD");
    ExpectTwelveQuietMonths(db, "H2ZMF", "H2Z", "H2Z_SSKCD, H2Z_GRPCD, H2Z_KMKCD, H2Z_HK1CD, H2Z_HK2CD");
}

// ---------------------------------------------------------------- holidays

TEST_F(DemoDataTest, HolidaysOf2026AreTheNationalHolidaysWithSubstituteAndBridgeDays) {
    const QMap<int, QString> expected{
        {20260101, "元日"},         {20260112, "成人の日"},   {20260211, "建国記念の日"},
        {20260223, "天皇誕生日"},   {20260320, "春分の日"},   {20260429, "昭和の日"},
        {20260503, "憲法記念日"},   {20260504, "みどりの日"}, {20260505, "こどもの日"},
        {20260506, "振替休日"},     {20260720, "海の日"},     {20260811, "山の日"},
        {20260921, "敬老の日"},     {20260922, "国民の休日"}, {20260923, "秋分の日"},
        {20261012, "スポーツの日"}, {20261103, "文化の日"},   {20261123, "勤労感謝の日"},
    };
    QMap<int, QString> found;
    for (const QStringList& r : Query(db, "SELECT CRN_DT, CRN_NAME FROM CRNMF WHERE CRN_DT BETWEEN 20260101 AND "
                                          "20261231"))
        found.insert(r[0].toInt(), r[1]);
    EXPECT_EQ(found, expected);
}

TEST_F(DemoDataTest, HolidaysCoverTheCalendarYearsOfTheThreeFiscalYears) {
    Rows years = Query(db, "SELECT CRN_DT / 10000, COUNT(*) FROM CRNMF GROUP BY CRN_DT / 10000 ORDER BY 1");
    ASSERT_EQ(years.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(years[i][0].toInt(), 2025 + i);
        EXPECT_GE(years[i][1].toInt(), 16);
    }
    for (const QStringList& r : Query(db, "SELECT CRN_DT, CRN_NAME FROM CRNMF")) {
        EXPECT_TRUE(DateOf(r[0].toLongLong()).isValid()) << r[0].toStdString();
        EXPECT_FALSE(r[1].isEmpty()) << r[0].toStdString();
    }
    // Substitute holidays after a Sunday holiday, and both equinoxes by the formula.
    EXPECT_EQ(Query(db, "SELECT CRN_NAME FROM CRNMF WHERE CRN_DT = 20250224").at(0).at(0), "振替休日");
    EXPECT_EQ(Query(db, "SELECT CRN_NAME FROM CRNMF WHERE CRN_DT = 20251124").at(0).at(0), "振替休日");
    EXPECT_EQ(Query(db, "SELECT CRN_NAME FROM CRNMF WHERE CRN_DT = 20270321").at(0).at(0), "春分の日");
    EXPECT_EQ(Query(db, "SELECT CRN_NAME FROM CRNMF WHERE CRN_DT = 20270923").at(0).at(0), "秋分の日");
    EXPECT_EQ(Query(db, "SELECT CRN_NAME FROM CRNMF WHERE CRN_DT = 20280320").at(0).at(0), "春分の日");
    EXPECT_EQ(Query(db, "SELECT CRN_NAME FROM CRNMF WHERE CRN_DT = 20280110").at(0).at(0), "成人の日");
    // Coming-of-Age Day is the second Monday of January, not the first.
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM CRNMF WHERE CRN_DT = 20250113"), 1);  // 成人の日 2025
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM CRNMF WHERE CRN_DT = 20250106"), 0);
}

// ---------------------------------------------------------------- filling as a whole

TEST(DemoFill, TheSameDayGivesIdenticalDatabasesAndAnotherYearShiftsTheCalendar) {
    DemoFile first(kDay), second(kDay), later(kDay.addYears(1));
    ASSERT_TRUE(first.filled) << first.db.ErrorText().toStdString();
    ASSERT_TRUE(second.filled) << second.db.ErrorText().toStdString();
    ASSERT_TRUE(later.filled) << later.db.ErrorText().toStdString();
    QStringList a = Dump(first.db);
    EXPECT_GT(a.size(), 200);
    EXPECT_EQ(a, Dump(second.db));
    EXPECT_NE(a, Dump(later.db));
    EXPECT_EQ(Number(later.db, "SELECT MIN(KSK_NENDO) FROM KSKMF"), Number(first.db, "SELECT MIN(KSK_NENDO) FROM KSKMF") + 1);
    EXPECT_EQ(Number(later.db, "SELECT MIN(KMZ_YM) FROM KMZMF"), 202704);
}

TEST_F(DemoDataTest, ASecondFillFailsAndLeavesTheRowsAsTheyWere) {
    const QStringList before = Dump(db);
    Schema::RegisterProcedures(db);
    EXPECT_FALSE(DemoData::Fill(db, kDay));
    EXPECT_FALSE(db.ErrorText().isEmpty());
    EXPECT_NE(db.ErrorNumber(), 0);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(Dump(db), before);
}

TEST(DemoFill, AFailureHalfwayLeavesNothingBehind) {
    DemoFile demo(kDay, false);
    // A template row in the way: the masters before it are written first.
    ASSERT_TRUE(demo.db.Execute("INSERT INTO TSHMF (TSH_SSKCD, TSH_GRPCD, TSH_KEY, TSH_NAME) VALUES (1, 1, 1, 'x')"));
    EXPECT_FALSE(DemoData::Fill(demo.db, kDay));
    EXPECT_FALSE(demo.db.ErrorText().isEmpty());
    EXPECT_FALSE(demo.db.InTransaction());
    for (const char* table : {"CNTMF", "KSKMF", "KMKMF", "HK1MF", "ZEIMF", "CRNMF", "TEKMF", "TSMMF", "KMZMF"})
        EXPECT_EQ(Number(demo.db, QString("SELECT COUNT(*) FROM ") + table), 0) << table;
    EXPECT_EQ(Query(demo.db, "SELECT TSH_NAME FROM TSHMF"), Rows({{"x"}}));
}

TEST(DemoFill, AnInvalidDayIsRefusedWithoutWriting) {
    DemoFile demo(kDay, false);
    EXPECT_FALSE(DemoData::Fill(demo.db, QDate()));
    EXPECT_FALSE(demo.db.ErrorText().isEmpty());
    EXPECT_EQ(Number(demo.db, "SELECT COUNT(*) FROM CNTMF"), 0);
}

// ---------------------------------------------------------------- moving a book onto a server

TEST(BookMove, ABookMovesOntoTheServerExactlyAndASecondMoveIsRefusedUnlessReplacing) {
    if (!TestsOnServer()) GTEST_SKIP() << "a server's database is the target";
    DemoFile book(kDay);
    ASSERT_TRUE(book.filled) << book.db.ErrorText().toStdString();
    // A voucher of an amount with a fraction, posted to the balances.
    ASSERT_TRUE(book.db.Execute("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, "
                                "DNH_DATE, DNH_NDATE, DNH_DTEKIYO) VALUES (1, 1, 202606, 1, 2026, 2026, 6, 20260615, "
                                "20260615, '端数のある伝票')"));
    ASSERT_TRUE(book.db.Execute("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, "
                                "DNM_KMKCD, DNM_KIN) VALUES (1, 1, 202606, 1, 1, 1, 100, 1234.5678), "
                                "(1, 1, 202606, 1, 1, 2, 310, 1234.5678)"));
    ASSERT_TRUE(book.db.Execute("UPDATE KMZMF SET KMZ_KARI = KMZ_KARI + 1234.5678 WHERE KMZ_YM = 202606 "
                                "AND KMZ_SSKCD = 1 AND KMZ_GRPCD = 1 AND KMZ_KMKCD = 100"));
    AppFolder folder(false);
    DBAccess server;
    ASSERT_TRUE(folder.Connect(server)) << server.ErrorText().toStdString();
    QString error;
    ASSERT_TRUE(BookMove::Move(book.db, server, false, &error)) << error.toStdString();
    EXPECT_EQ(Dump(server), Dump(book.db));
    EXPECT_EQ(Query(server, "SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202606 AND KMZ_SSKCD = 1 AND KMZ_GRPCD = 1 "
                            "AND KMZ_KMKCD = 100"),
              Rows({{"1234.5678"}}));

    // The server holds vouchers now: a second move is refused and changes nothing.
    ASSERT_TRUE(book.db.Execute("DELETE FROM TEKMF"));
    const QStringList moved = Dump(server);
    EXPECT_FALSE(BookMove::Move(book.db, server, false, &error));
    EXPECT_TRUE(error.contains("--replace")) << error.toStdString();
    EXPECT_FALSE(server.InTransaction());
    EXPECT_EQ(Dump(server), moved);
    ASSERT_TRUE(BookMove::Move(book.db, server, true, &error)) << error.toStdString();
    EXPECT_EQ(Dump(server), Dump(book.db));
}

// mkdemodb --force run by the book's owner, a role that may change the
// rows but may not make tables on the server: the demo book replaces the
// book; the server is never left without one.
TEST(BookMove, MakingTheDemoBookAnewOnTheServerNeverLeavesItWithoutABook) {
    if (!TestsOnServer()) GTEST_SKIP() << "a server's roles";
    AppFolder folder(false);
    DBAccess server;
    ASSERT_TRUE(folder.Connect(server)) << server.ErrorText().toStdString();
    const QString role = "owner_" + server.DatabaseFile().section('/', -1);
    QString owned = "ALTER VIEW V_DENDT OWNER TO " + role;
    for (const QString& t : BookMove::Tables()) owned += ";\nALTER TABLE " + t + " OWNER TO " + role;
    ASSERT_TRUE(server.Execute("CREATE ROLE " + role + " LOGIN; " + owned)) << server.ErrorText().toStdString();
    QFile udl(folder.Path() + "/DB.udl");
    ASSERT_TRUE(udl.open(QIODevice::ReadOnly));
    const QString link = QString::fromUtf8(udl.readAll()).replace(QRegularExpression("User ID=[^;\\n]*"), "User ID=" + role);
    folder.WriteFile("owner.udl", link.toUtf8());
    QProcess demo;
    demo.start(QCoreApplication::applicationDirPath() + "/../bin/mkdemodb", {folder.Path() + "/owner.udl", "--force"});
    ASSERT_TRUE(demo.waitForFinished(60000));
    EXPECT_EQ(demo.exitCode(), 0) << demo.readAllStandardError().toStdString();
    EXPECT_EQ(server.TableNames().size(), BookMove::Tables().size());
    EXPECT_GT(Number(server, "SELECT COUNT(*) FROM DNHDT"), 0);
    server.Execute("REASSIGN OWNED BY " + role + " TO CURRENT_USER; DROP ROLE " + role);
}

}  // namespace
