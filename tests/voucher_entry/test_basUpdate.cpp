#include "TestSupport.h"

#include "common/basStdComm.h"
#include "platform/Currency.h"
#include "voucher_entry/basUpdate.h"

#include <QDate>
#include <map>
#include <vector>

using namespace basStdComm;
using namespace basUpdate;

namespace {

const QString kTitle = "残高更新";

struct Line {
    int gyo;
    int side;  // 1 debit, 2 credit
    long kmk, hk1, hk2;
    QString kin;
};

// One balance row: opening balance, debit and credit totals.
struct Bal {
    Currency zzan, kari, kasi;
    bool operator==(const Bal&) const = default;
};

struct Table {
    QString name, prefix;
    QStringList keys;  // after SSKCD and GRPCD
};
const Table kKmz{"KMZMF", "KMZ", {"KMZ_KMKCD"}};
const Table kH1z{"H1ZMF", "H1Z", {"H1Z_KMKCD", "H1Z_HK1CD"}};
const Table kH2z{"H2ZMF", "H2Z", {"H2Z_KMKCD", "H2Z_HK1CD", "H2Z_HK2CD"}};
const Table* const kTables[] = {&kKmz, &kH1z, &kH2z};

std::ostream& operator<<(std::ostream& os, const Bal& b) {
    return os << "ZZAN " << b.zzan.ToString().toStdString() << " KARI " << b.kari.ToString().toStdString()
              << " KASI " << b.kasi.ToString().toStdString();
}

QString Text(const QString& sql) {
    RecordsetPtr rs = gobjDB->OpenRecordset(sql);
    return rs->Eof() ? QString() : rs->Fields(0).Value().Text();
}
long Count(const QString& table) { return Text("SELECT COUNT(*) FROM " + table).toLong(); }

void Exec(const QString& sql) {
    ASSERT_TRUE(gobjDB->Execute(sql)) << gobjDB->ErrorText().toStdString() << "\n" << sql.toStdString();
}

// Fiscal years 2026 and 2027 (April to March, one calendar for everyone),
// accounts with their normal sides in both years.
class PostingTest : public ::testing::Test {
protected:
    void SetUp() override {
        Exec("INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN) VALUES (1, 0)");
        for (int y : {2026, 2027}) {
            QString sime;
            for (int i = 0; i < 12; ++i) {
                QDate d = QDate(y, 4, 1).addMonths(i + 1).addDays(-1);
                sime += ", " + d.toString("yyyyMMdd");
            }
            Exec("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, "
                 "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, "
                 "KSK_SIME9, KSK_SIME10, KSK_SIME11, KSK_SIME12) VALUES (0, 0, " +
                 QString::number(y) + ", 0, " + QString::number(y * 100 + 4) + ", " +
                 QString::number(y * 10000 + 401) + ", " + QString::number((y + 1) * 10000 + 331) + sime + ")");
            const std::pair<long, int> accounts[] = {{100, 1}, {191, 1}, {210, 2}, {291, 2}, {410, 2}, {510, 1}};
            for (auto [cd, side] : accounts)
                Exec(QString("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_TSKBN) VALUES (%1, %2, 'K%2', %3)")
                         .arg(y).arg(cd).arg(side));
        }
    }

    // A voucher of branch 1, group 1 dated the 15th of its month.
    void Voucher(long ym, long denno, long nendo, const std::vector<Line>& lines) {
        Exec(QString("INSERT INTO DNHDT (DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, "
                     "DNH_DATE, DNH_NDATE) VALUES (1, 1, %1, %2, %3, %4, %5, %6, %6)")
                 .arg(ym).arg(denno).arg(nendo).arg(ym / 100).arg(ym % 100).arg(ym * 100 + 15));
        for (const Line& l : lines)
            Exec(QString("INSERT INTO DNMDT (DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, "
                         "DNM_KMKCD, DNM_HK1CD, DNM_HK2CD, DNM_KIN) VALUES (1, 1, %1, %2, %3, %4, %5, %6, %7, %8)")
                     .arg(ym).arg(denno).arg(l.gyo).arg(l.side).arg(l.kmk).arg(l.hk1).arg(l.hk2).arg(l.kin));
    }
    void RemoveVoucher(long ym, long denno) {
        Exec(QString("DELETE FROM DNHDT WHERE DNH_SSKCD = 1 AND DNH_GRPCD = 1 AND DNH_YM = %1 AND DNH_DENNO = %2")
                 .arg(ym).arg(denno));
        Exec(QString("DELETE FROM DNMDT WHERE DNM_SSKCD = 1 AND DNM_GRPCD = 1 AND DNM_YM = %1 AND DNM_DENNO = %2")
                 .arg(ym).arg(denno));
    }

    // Every row of a balance table: "YM/SSK/GRP/codes" -> balances.
    static std::map<QString, Bal> Rows(const Table& t) {
        std::map<QString, Bal> m;
        const QString p = t.prefix;
        RecordsetPtr rs = gobjDB->OpenRecordset("SELECT " + p + "_YM, " + p + "_SSKCD, " + p + "_GRPCD, " +
                                                t.keys.join(", ") + ", " + p + "_ZZAN, " + p + "_KARI, " + p +
                                                "_KASI FROM " + t.name);
        const int n = 3 + t.keys.size();
        while (!rs->Eof()) {
            QStringList key;
            for (int i = 0; i < n; ++i) key << rs->Fields(i).Value().Text();
            m[key.join('/')] = Bal{Currency::FromText(rs->Fields(n).Value().Text()),
                                   Currency::FromText(rs->Fields(n + 1).Value().Text()),
                                   Currency::FromText(rs->Fields(n + 2).Value().Text())};
            rs->MoveNext();
        }
        return m;
    }
    static Bal Row(const Table& t, const QString& key) {
        auto m = Rows(t);
        auto it = m.find(key);
        EXPECT_NE(it, m.end()) << t.name.toStdString() << " has no row " << key.toStdString();
        return it == m.end() ? Bal{} : it->second;
    }

    // The balance tables agree with the live voucher lines:
    //  - each month's debit and credit totals are the sums of the lines
    //    posted to that key and month, and every posted key has its row;
    //  - a key's first month of each fiscal year opens with 0 (no year-end
    //    update here) and every later month of the year opens with the
    //    closing balance of the month before (opening + movement in the
    //    account's normal direction).
    static void ExpectBalancesAgreeWithVouchers() {
        std::map<QString, Bal> expected[3];
        RecordsetPtr rs = gobjDB->OpenRecordset(
            "SELECT DNH_YM, DNH_SSKCD, DNH_GRPCD, DNM_KMKCD, DNM_HK1CD, DNM_HK2CD, DNM_TSKBN, DNM_KIN FROM V_DENDT");
        while (!rs->Eof()) {
            QStringList f;
            for (int i = 0; i < 6; ++i) f << rs->Fields(i).Value().Text();
            Currency kin = Currency::FromText(rs->Fields(7).Value().Text());
            bool debit = rs->Fields(6).Value().Text() == "1";
            for (int level = 0; level < 3; ++level) {
                if (level == 2 && f[4] == "0") continue;
                Bal& b = expected[level][f.mid(0, 4 + level).join('/')];
                (debit ? b.kari : b.kasi) += kin;
            }
            rs->MoveNext();
        }
        for (int level = 0; level < 3; ++level) {
            const Table& t = *kTables[level];
            auto rows = Rows(t);
            for (const auto& [key, e] : expected[level]) {
                auto it = rows.find(key);
                ASSERT_NE(it, rows.end()) << t.name.toStdString() << ": no row for posted key " << key.toStdString();
            }
            // Group the months per key, in month order.
            std::map<QString, std::map<long, std::pair<Bal, long>>> keys;
            for (const auto& [key, b] : rows) {
                QStringList parts = key.split('/');
                long ym = parts.takeFirst().toLong();
                auto e = expected[level].find(key);
                Bal want = e == expected[level].end() ? Bal{} : e->second;
                EXPECT_EQ(b.kari, want.kari) << t.name.toStdString() << " KARI " << key.toStdString();
                EXPECT_EQ(b.kasi, want.kasi) << t.name.toStdString() << " KASI " << key.toStdString();
                long nendo = Text(QString("SELECT %1_NENDO FROM %2 WHERE %1_YM = %3")
                                      .arg(t.prefix, t.name).arg(ym) + " AND " + t.prefix + "_SSKCD = " +
                                  parts[0] + " AND " + t.prefix + "_GRPCD = " + parts[1] + " AND " + t.keys[0] +
                                  " = " + parts[2] + " LIMIT 1")
                                 .toLong();
                keys[parts.join('/')][ym] = {b, nendo};
            }
            for (const auto& [key, months] : keys) {
                const Bal* prev = nullptr;
                long prevYm = 0, prevSide = 0, prevNendo = 0;
                for (const auto& [ym, bn] : months) {
                    const Bal& b = bn.first;
                    if (!prev || bn.second != prevNendo) {
                        EXPECT_EQ(b.zzan, Currency()) << t.name.toStdString() << " first month " << ym << " of "
                                                      << key.toStdString();
                    } else {
                        QDate next = QDate(prevYm / 100, prevYm % 100, 1).addMonths(1);
                        EXPECT_EQ(ym, next.year() * 100L + next.month()) << "months of " << key.toStdString();
                        Currency close = prevSide == 2 ? prev->zzan + prev->kasi - prev->kari
                                                       : prev->zzan + prev->kari - prev->kasi;
                        EXPECT_EQ(b.zzan, close) << t.name.toStdString() << " " << key.toStdString() << " opening of "
                                                 << ym << " after " << *prev;
                    }
                    prev = &b;
                    prevYm = ym;
                    prevNendo = bn.second;
                    long account = key.split('/')[2].toLong();
                    prevSide = Text(QString("SELECT KMK_TSKBN FROM KMKMF WHERE KMK_NENDO = %1 AND KMK_CD = %2")
                                        .arg(bn.second).arg(account)).toLong();
                }
            }
        }
    }

    AppFolder folder;
};

// ---------------------------------------------------------------- what a line posts

TEST_F(PostingTest, DebitLineWithSubAccountsPostsAllThreeLevelsOnTheDebitSide) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 1, 510, 3, 4, "1500"}, {1, 2, 100, 0, 0, "1500"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 1));
    EXPECT_TRUE(msgs.Empty());
    Currency k = Currency::FromWhole(1500);
    EXPECT_EQ(Row(kKmz, "202605/1/1/510"), (Bal{{}, k, {}}));
    EXPECT_EQ(Row(kH1z, "202605/1/1/510/3"), (Bal{{}, k, {}}));
    EXPECT_EQ(Row(kH2z, "202605/1/1/510/3/4"), (Bal{{}, k, {}}));
    // The following month opens with the debit balance.
    EXPECT_EQ(Row(kKmz, "202606/1/1/510").zzan, k);
    EXPECT_EQ(Row(kH2z, "202606/1/1/510/3/4").zzan, k);
}

TEST_F(PostingTest, CreditLineChangesOnlyCreditColumns) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 2, 410, 2, 7, "800"}, {2, 2, 410, 2, 0, "200"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 1));
    EXPECT_TRUE(msgs.Empty());
    for (const Table* t : kTables)
        for (const auto& [key, b] : Rows(*t))
            EXPECT_TRUE(b.kari.IsZero()) << t->name.toStdString() << " " << key.toStdString();
    EXPECT_EQ(Row(kKmz, "202605/1/1/410").kasi, Currency::FromWhole(1000));
    EXPECT_EQ(Row(kH1z, "202605/1/1/410/2").kasi, Currency::FromWhole(1000));
    EXPECT_EQ(Row(kH2z, "202605/1/1/410/2/7").kasi, Currency::FromWhole(800));
    // Sub-account 2 = 0 below a sub-account 1 is a row of its own.
    EXPECT_EQ(Row(kH2z, "202605/1/1/410/2/0").kasi, Currency::FromWhole(200));
    // A credit-normal account opens the next month with the credit balance.
    EXPECT_EQ(Row(kKmz, "202606/1/1/410").zzan, Currency::FromWhole(1000));
}

TEST_F(PostingTest, LineWithoutSubAccount1PostsAccountAndSubAccountZeroButNoSubAccount2) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 1, 100, 0, 0, "300"}, {1, 2, 210, 0, 5, "300"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 1));
    EXPECT_TRUE(msgs.Empty());
    EXPECT_EQ(Row(kKmz, "202605/1/1/100").kari, Currency::FromWhole(300));
    EXPECT_EQ(Row(kH1z, "202605/1/1/100/0").kari, Currency::FromWhole(300));
    EXPECT_EQ(Row(kH1z, "202605/1/1/210/0").kasi, Currency::FromWhole(300));
    EXPECT_EQ(Count("H2ZMF"), 0);
}

TEST_F(PostingTest, GeneratedTaxLinesArePosted) {
    MsgRecorder msgs;
    Voucher(202606, 3, 2026,
            {{1, 1, 510, 0, 0, "1000"}, {98, 1, 191, 0, 0, "100"}, {1, 2, 100, 0, 0, "1100"},
             {2, 1, 100, 0, 0, "2200"}, {2, 2, 410, 0, 0, "2000"}, {99, 2, 291, 0, 0, "200"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202606, 3));
    EXPECT_TRUE(msgs.Empty());
    EXPECT_EQ(Row(kKmz, "202606/1/1/191").kari, Currency::FromWhole(100));
    EXPECT_EQ(Row(kH1z, "202606/1/1/191/0").kari, Currency::FromWhole(100));
    EXPECT_EQ(Row(kKmz, "202606/1/1/291").kasi, Currency::FromWhole(200));
    EXPECT_EQ(Row(kH1z, "202606/1/1/291/0").kasi, Currency::FromWhole(200));
    ExpectBalancesAgreeWithVouchers();
}

TEST_F(PostingTest, AmountsArePostedAsTheirExactDecimalText) {
    MsgRecorder msgs;
    const QString big = "98765432109876";  // beyond 32 bits and beyond a float's digits
    const QString frac = "1234.5678";
    Voucher(202605, 1, 2026, {{1, 1, 100, 0, 0, big}, {1, 2, 210, 0, 0, frac}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 1));
    EXPECT_TRUE(msgs.Empty());
    for (const QString& t : {QString("KMZMF WHERE KMZ_YM = 202605 AND KMZ_KMKCD = 100"),
                             QString("H1ZMF WHERE H1Z_YM = 202605 AND H1Z_KMKCD = 100")})
        EXPECT_EQ(Text("SELECT " + t.left(3) + "_KARI FROM " + t), big) << t.toStdString();
    EXPECT_EQ(Text("SELECT KMZ_KASI FROM KMZMF WHERE KMZ_YM = 202605 AND KMZ_KMKCD = 210"), frac);
    EXPECT_EQ(Text("SELECT KMZ_ZZAN FROM KMZMF WHERE KMZ_YM = 202606 AND KMZ_KMKCD = 210"), frac);
    // Taken out again, the totals are exactly 0.
    ASSERT_TRUE(fncUpdateBalance("-", 1, 1, 202605, 1));
    EXPECT_EQ(Currency::FromText(Text("SELECT KMZ_KARI FROM KMZMF WHERE KMZ_YM = 202605 AND KMZ_KMKCD = 100")),
              Currency());
    EXPECT_EQ(Currency::FromText(Text("SELECT KMZ_KASI FROM KMZMF WHERE KMZ_YM = 202605 AND KMZ_KMKCD = 210")),
              Currency());
}

TEST_F(PostingTest, OnlyTheNamedVoucherIsPosted) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 1, 100, 0, 0, "10"}});
    Voucher(202605, 2, 2026, {{1, 1, 210, 0, 0, "20"}});
    Voucher(202606, 1, 2026, {{1, 1, 410, 0, 0, "30"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 1));
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_KMKCD <> 100"), "0");
    // A voucher without lines (or no voucher) posts nothing and succeeds.
    EXPECT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 99));
    EXPECT_TRUE(fncUpdateBalance("+", 2, 1, 202605, 1));
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_KMKCD <> 100"), "0");
    EXPECT_TRUE(msgs.Empty());
}

// ---------------------------------------------------------------- reversal

TEST_F(PostingTest, PlusThenMinusRestoresEveryBalanceAndKeepsCreatedRows) {
    MsgRecorder msgs;
    Voucher(202604, 1, 2026, {{1, 1, 510, 1, 1, "1000"}, {98, 1, 191, 0, 0, "80"}, {1, 2, 100, 0, 0, "1080"}});
    Voucher(202607, 1, 2026, {{1, 1, 100, 0, 0, "5000"}, {1, 2, 410, 2, 0, "5000"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202604, 1));
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202607, 1));
    std::map<QString, Bal> before[3];
    for (int i = 0; i < 3; ++i) before[i] = Rows(*kTables[i]);

    // Same accounts and new keys, debit and credit, in a month in between.
    Voucher(202605, 4, 2026,
            {{1, 1, 510, 1, 1, "250"}, {2, 1, 510, 1, 2, "50"}, {3, 1, 210, 0, 0, "70"},
             {1, 2, 100, 0, 0, "300"}, {2, 2, 410, 2, 0, "70"}, {99, 2, 291, 0, 0, "0.5"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202605, 4));
    EXPECT_NE(Row(kKmz, "202605/1/1/510").kari, before[0]["202605/1/1/510"].kari);
    ASSERT_TRUE(fncUpdateBalance("-", 1, 1, 202605, 4));
    EXPECT_TRUE(msgs.Empty());

    for (int i = 0; i < 3; ++i) {
        auto after = Rows(*kTables[i]);
        for (const auto& [key, b] : before[i]) {
            auto it = after.find(key);
            ASSERT_NE(it, after.end()) << key.toStdString();
            EXPECT_EQ(it->second, b) << kTables[i]->name.toStdString() << " " << key.toStdString();
        }
        // Rows made for the new keys stay, empty.
        for (const auto& [key, b] : after) {
            if (!before[i].count(key)) {
                EXPECT_EQ(b, Bal{}) << kTables[i]->name.toStdString() << " " << key.toStdString();
            }
        }
        EXPECT_GT(after.size(), before[i].size()) << kTables[i]->name.toStdString();
    }
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_KMKCD = 291"), "12");
    EXPECT_EQ(Text("SELECT COUNT(*) FROM H2ZMF WHERE H2Z_HK2CD = 2"), "12");
}

TEST_F(PostingTest, ProceduresReadAndCarryForwardOnlyTheRowsOfThePostedKey) {
    Voucher(202604, 1, 2026, {{1, 1, 510, 1, 1, "1000"}, {1, 2, 100, 0, 0, "1000"}});
    ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202604, 1));
    // The month's rows and the later openings, as compiled and kept: each a
    // seek on the whole key, not a walk through every key's later months.
    std::map<const Table*, QStringList> kept;
    for (const Table* t : kTables) {
        RecordsetPtr rs = gobjDB->OpenRecordset("SELECT sql FROM sqlite_stmt WHERE sql LIKE 'SELECT " + t->prefix +
                                                "_YM, %' OR sql LIKE 'UPDATE " + t->name + " SET " + t->prefix +
                                                "_ZZAN = " + t->prefix + "_ZZAN +%'");
        for (; !rs->Eof(); rs->MoveNext()) kept[t] << rs->Fields(0).Value().Text();
    }
    for (const Table* t : kTables) {
        ASSERT_GE(kept[t].size(), 2) << t->name.toStdString();
        for (const QString& sql : kept[t]) {
            RecordsetPtr plan = gobjDB->OpenRecordset("EXPLAIN QUERY PLAN " + sql);
            EXPECT_TRUE(plan->Fields("detail").Value().Text().contains(t->keys.last() + "=?"))
                << plan->Fields("detail").Value().Text().toStdString();
        }
    }
}

// ---------------------------------------------------------------- the ledger's invariant

TEST_F(PostingTest, BalancesAgreeWithVouchersAfterPostingReplacingAndDeleting) {
    MsgRecorder msgs;
    Voucher(202604, 1, 2026, {{1, 1, 510, 1, 1, "1000"}, {98, 1, 191, 0, 0, "80"}, {1, 2, 100, 0, 0, "1080"}});
    Voucher(202605, 1, 2026, {{1, 1, 100, 0, 0, "50000"}, {1, 2, 410, 2, 0, "50000"}});
    Voucher(202605, 2, 2026, {{1, 1, 100, 0, 0, "1100"}, {1, 2, 410, 2, 3, "1000"}, {99, 2, 291, 0, 0, "100"}});
    Voucher(202607, 1, 2026,
            {{1, 1, 510, 1, 2, "2500.5"}, {2, 1, 510, 0, 0, "300"}, {1, 2, 210, 0, 0, "2800.5"}});
    Voucher(202703, 2, 2026, {{1, 1, 210, 0, 0, "2800.5"}, {1, 2, 100, 0, 0, "2800.5"}});
    Voucher(202704, 1, 2027, {{1, 1, 510, 1, 1, "700"}, {1, 2, 100, 0, 0, "700"}});
    {
        DBTransaction trans(*gobjDB);
        // Later months first, so earlier postings must carry into them.
        const std::pair<long, long> order[] = {{202704, 1}, {202703, 2}, {202607, 1},
                                               {202604, 1}, {202605, 2}, {202605, 1}};
        for (auto [ym, no] : order) ASSERT_TRUE(fncUpdateBalance("+", 1, 1, ym, no)) << ym << "/" << no;
        trans.Commit();
    }
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join(" / ").toStdString();
    ExpectBalancesAgreeWithVouchers();
    // The next fiscal year's opening is the year-end update's to set: a
    // posting to either year leaves it at 0.
    EXPECT_EQ(Row(kKmz, "202704/1/1/100").zzan, Currency());
    EXPECT_EQ(Row(kKmz, "202705/1/1/100").zzan, -Currency::FromWhole(700));

    // Replace voucher 202607/1 with other amounts and sub-accounts, and
    // delete voucher 202605/1 logically, as the entry window does.
    {
        DBTransaction trans(*gobjDB);
        ASSERT_TRUE(fncUpdateBalance("-", 1, 1, 202607, 1));
        RemoveVoucher(202607, 1);
        Voucher(202607, 1, 2026, {{1, 1, 510, 1, 3, "900"}, {1, 2, 210, 0, 0, "900"}});
        ASSERT_TRUE(fncUpdateBalance("+", 1, 1, 202607, 1));
        ASSERT_TRUE(fncUpdateBalance("-", 1, 1, 202605, 1));
        Exec("UPDATE DNHDT SET DNH_DELKBN = 9 WHERE DNH_SSKCD = 1 AND DNH_GRPCD = 1 AND DNH_YM = 202605 "
             "AND DNH_DENNO = 1");
        trans.Commit();
    }
    EXPECT_TRUE(msgs.Empty()) << msgs.Texts().join(" / ").toStdString();
    ExpectBalancesAgreeWithVouchers();
    EXPECT_EQ(Row(kH2z, "202607/1/1/510/1/2").kari, Currency());
    EXPECT_EQ(Row(kH2z, "202608/1/1/510/1/3").zzan, Currency::FromWhole(900));
}

// ---------------------------------------------------------------- helpers

TEST_F(PostingTest, EnsureCreatesTheMissingMonthRowOnlyWhenMissing) {
    MsgRecorder msgs;
    EXPECT_TRUE(fncEnsureKmzmfRow(2026, 202608, 1, 1, 100));
    EXPECT_TRUE(fncEnsureH1zmfRow(2026, 202608, 1, 1, 100, 0));
    EXPECT_TRUE(fncEnsureH2zmfRow(2026, 202608, 1, 1, 510, 1, 0));
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_YM = 202608 AND KMZ_KMKCD = 100"), "1");
    EXPECT_EQ(Text("SELECT COUNT(*) FROM H1ZMF WHERE H1Z_YM = 202608 AND H1Z_KMKCD = 100 AND H1Z_HK1CD = 0"), "1");
    EXPECT_EQ(Text("SELECT COUNT(*) FROM H2ZMF WHERE H2Z_YM = 202608 AND H2Z_HK1CD = 1 AND H2Z_HK2CD = 0"), "1");

    // With the row there, the procedure is not called at all.
    QStringList calls;
    for (const char* p : {"sp_KMZMF_ADD", "sp_H1ZMF_ADD", "sp_H2ZMF_ADD"})
        gobjDB->RegisterProcedure(p, [&calls, p](DBAccess& db, const QStringList&) {
            calls << p;
            db.SetError(adErrCommand, "called");
            return false;
        });
    EXPECT_TRUE(fncEnsureKmzmfRow(2026, 202608, 1, 1, 100));
    EXPECT_TRUE(fncEnsureH1zmfRow(2026, 202608, 1, 1, 100, 0));
    EXPECT_TRUE(fncEnsureH2zmfRow(2026, 202608, 1, 1, 510, 1, 0));
    EXPECT_TRUE(calls.isEmpty()) << calls.join(", ").toStdString();
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(PostingTest, ProceduresGetTheirArgumentsInOrder) {
    MsgRecorder msgs;
    QStringList calls;
    for (const char* p : {"sp_KMZMF_ADD", "sp_H1ZMF_ADD", "sp_H2ZMF_ADD", "sp_KMZMF_UPDATE", "sp_H1ZMF_UPDATE",
                          "sp_H2ZMF_UPDATE"})
        gobjDB->RegisterProcedure(p, [&calls, p](DBAccess&, const QStringList& args) {
            calls << QString(p) + " " + args.join(", ");
            return true;
        });
    EXPECT_TRUE(fncEnsureKmzmfRow(2026, 202608, 1, 2, 100));
    EXPECT_TRUE(fncEnsureH1zmfRow(2026, 202608, 1, 2, 100, 7));
    EXPECT_TRUE(fncEnsureH2zmfRow(2026, 202608, 1, 2, 100, 7, 9));
    EXPECT_TRUE(fncRunKmzmfUpdate(2026, 202608, 1, 2, 100));
    EXPECT_TRUE(fncRunH1zmfUpdate(2026, 202608, 1, 2, 100, 7));
    EXPECT_TRUE(fncRunH2zmfUpdate(2026, 202608, 1, 2, 100, 7, 9));
    EXPECT_EQ(calls, QStringList({"sp_KMZMF_ADD 2026, 1, 2, 100", "sp_H1ZMF_ADD 2026, 1, 2, 100, 7",
                                  "sp_H2ZMF_ADD 2026, 1, 2, 100, 7, 9", "sp_KMZMF_UPDATE 202608, 2026, 1, 2, 100",
                                  "sp_H1ZMF_UPDATE 202608, 2026, 1, 2, 100, 7",
                                  "sp_H2ZMF_UPDATE 202608, 2026, 1, 2, 100, 7, 9"}));
    EXPECT_TRUE(msgs.Empty());
}

// ---------------------------------------------------------------- failures

void ExpectOneBalanceMessage(const MsgRecorder& msgs) {
    ASSERT_EQ(msgs.Calls().size(), 1u) << msgs.Texts().join(" / ").toStdString();
    EXPECT_EQ(msgs.Last().title, kTitle);
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
    EXPECT_EQ(msgs.Last().buttons(), vbOKOnly);
    EXPECT_FALSE(msgs.Last().prompt.isEmpty());
    EXPECT_EQ(msgs.Last().prompt, gobjDB->ErrorText());
}

TEST_F(PostingTest, FiscalYearWithoutCalendarFailsWithTheDatabaseText) {
    MsgRecorder msgs;
    Voucher(202905, 1, 2029, {{1, 1, 100, 0, 0, "10"}, {1, 2, 210, 0, 0, "10"}});
    {
        DBTransaction trans(*gobjDB);
        EXPECT_FALSE(fncUpdateBalance("+", 1, 1, 202905, 1));
        ExpectOneBalanceMessage(msgs);
    }
    EXPECT_EQ(Count("KMZMF") + Count("H1ZMF") + Count("H2ZMF"), 0);
}

TEST_F(PostingTest, FailingProcedureStopsThePostingAtOnce) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 1, 510, 1, 2, "10"}, {1, 2, 100, 0, 0, "10"}});
    int h2Updates = 0;
    gobjDB->RegisterProcedure("sp_H2ZMF_UPDATE", [&h2Updates](DBAccess& db, const QStringList&) {
        ++h2Updates;
        db.SetError(adErrCommand, "残高の再計算に失敗しました。");
        return false;
    });
    {
        DBTransaction trans(*gobjDB);
        EXPECT_FALSE(fncUpdateBalance("+", 1, 1, 202605, 1));
        ExpectOneBalanceMessage(msgs);
        EXPECT_EQ(msgs.Last().prompt, "残高の再計算に失敗しました。");
        EXPECT_EQ(h2Updates, 1);
        // The credit line was not reached.
        EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_KMKCD = 100"), "0");
        EXPECT_EQ(Row(kKmz, "202605/1/1/510").kari, Currency::FromWhole(10));
    }
    // The caller's rollback leaves nothing behind.
    EXPECT_EQ(Count("KMZMF") + Count("H1ZMF") + Count("H2ZMF"), 0);
}

TEST_F(PostingTest, UnknownSignOrSideIsRefusedAsAFailedUpdate) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 1, 100, 0, 0, "10"}});
    {
        DBTransaction trans(*gobjDB);
        EXPECT_FALSE(fncUpdateBalance("*", 1, 1, 202605, 1));
        ExpectOneBalanceMessage(msgs);
    }
    Voucher(202606, 1, 2026, {{1, 3, 100, 0, 0, "10"}});
    msgs.Clear();
    {
        DBTransaction trans(*gobjDB);
        EXPECT_FALSE(fncUpdateBalance("+", 1, 1, 202606, 1));
        ExpectOneBalanceMessage(msgs);
    }
    EXPECT_EQ(Text("SELECT COUNT(*) FROM KMZMF WHERE KMZ_KARI <> 0 OR KMZ_KASI <> 0"), "0");
}

TEST_F(PostingTest, UnreadableBalanceTableShowsTheCommonReport) {
    MsgRecorder msgs;
    Voucher(202605, 1, 2026, {{1, 1, 510, 1, 2, "10"}});
    Exec("DROP TABLE H2ZMF");
    EXPECT_FALSE(fncUpdateBalance("+", 1, 1, 202605, 1));
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_NE(msgs.Last().title, kTitle);
}

}  // namespace
