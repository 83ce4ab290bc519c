// Money through the entry window: amount cells take whole yen, a fraction
// is refused on saving, negative taxes get their tax line, and the balance
// tables stay equal to a recomputation from the live lines, each fiscal
// year on its own.
#include "TestSupport.h"
#include "VoucherData.h"

#include "common/basStdComm.h"
#include "inquiry/frmKR430.h"
#include "platform/InputFields.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/DemoVouchers.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <map>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;

namespace {

// The test chart for fiscal 2026, and the same chart, tax accounts and
// sub-accounts for fiscal 2027 (April 2027 to March 2028).
void InsertNextYear(const AppFolder& folder) {
    QString sime;
    for (int i = 0; i < 12; ++i) sime += ", " + QDate(2027, 4, 1).addMonths(i + 1).addDays(-1).toString("yyyyMMdd");
    folder.Sql("INSERT INTO KSKMF (KSK_SSKCD, KSK_GRPCD, KSK_NENDO, KSK_NUP, KSK_KSYM, KSK_KIST, KSK_KIEND, "
               "KSK_SIME1, KSK_SIME2, KSK_SIME3, KSK_SIME4, KSK_SIME5, KSK_SIME6, KSK_SIME7, KSK_SIME8, KSK_SIME9, "
               "KSK_SIME10, KSK_SIME11, KSK_SIME12, KSK_GUP) VALUES (0, 0, 2027, 0, 202704, 20270401, 20280331" +
               sime + ", 0)");
    folder.Sql("INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_SORT) "
               "SELECT 2027, KMK_CD, KMK_NM, KMK_RNAME, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_SORT FROM KMKMF "
               "WHERE KMK_NENDO = 2026");
    folder.Sql("INSERT INTO HK1MF (HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_RNAME, HK1_H2FLG) "
               "SELECT 2027, HK1_KMKCD, HK1_CD, HK1_RNAME, HK1_H2FLG FROM HK1MF WHERE HK1_NENDO = 2026");
    folder.Sql("INSERT INTO KKMMF (KKM_NENDO, KKM_KBN, KKM_KMKCD) VALUES (2027, 21, 150), (2027, 20, 250)");
}

class Money : public ::testing::Test {
protected:
    void SetUp() override {
        SetToday(QDate(2026, 12, 8));
        InsertVoucherMasters(folder);
        InsertNextYear(folder);
        ReadTabIni();
    }
    std::unique_ptr<frmKE410> Open(const QString& mode, long ym = 0, long no = 0) {
        gstrEditMode = mode;
        gstrStartMode = "";
        glngDenYm = ym;
        glngDenNendo = ym == 0 ? 0 : ym % 100 >= 4 ? ym / 100 : ym / 100 - 1;
        glngDenNo = no;
        return std::make_unique<frmKE410>();
    }
    static void put(frmKE410& f, int row, const QString& key, const QString& value) {
        f.denMeisai->setCurrentRow(row);
        f.denMeisai->setCurrentKey(key);
        f.denMeisai->setCell(key, row, value);
    }
    static void date(frmKE410& f, long yyyymmdd) {
        f.txtDate->NumValue(yyyymmdd);
        f.ApplyVoucherDate();
    }
    // One half: account, tax code ("" none), amount.
    static void half(frmKE410& f, int row, const QString& x, long account, const QString& taxCode,
                     const QString& amount, long sub1 = 0) {
        put(f, row, x + "KMKCD", QString::number(account));
        if (sub1) put(f, row, x + "HK1CD", QString::number(sub1));
        put(f, row, x + "ZKBN", taxCode);
        put(f, row, x + "KIN", amount);
    }
    static Currency cellCur(frmKE410& f, const QString& key, int row) { return ValCur(f.denMeisai->Cell(key, row)); }
    QString q(const QString& sql) { return folder.Scalar(sql); }
    // Stored vouchers whose debit lines do not add up to their credit lines.
    QString unbalanced() {
        return q("SELECT COUNT(*) FROM (SELECT DNM_YM, DNM_DENNO, SUM(CASE DNM_TSKBN WHEN 1 THEN DNM_KIN ELSE "
                 "-DNM_KIN END) AS D FROM DNMDT GROUP BY DNM_YM, DNM_DENNO) AS V WHERE D <> 0");
    }

    // The balance tables equal a recomputation from the live lines: debit
    // and credit totals per key and month are the sums of the lines, every
    // key posted has all twelve months of its fiscal year, the first month
    // of a year opens at `opening` (0 unless a year-end set it) and every
    // later month opens with the month before's opening plus its movement in
    // the account's normal direction. Every value is stored as an integer.
    void ExpectBalancesEqualTheLiveLines(const std::map<QString, qint64>& openings = {}) {
        struct Sums {
            qint64 kari = 0, kasi = 0;
        };
        const QStringList levels[3] = {{"KMZMF", "KMZ", "KMZ_KMKCD"},
                                       {"H1ZMF", "H1Z", "H1Z_KMKCD, H1Z_HK1CD"},
                                       {"H2ZMF", "H2Z", "H2Z_KMKCD, H2Z_HK1CD, H2Z_HK2CD"}};
        const QString branch = "DNM_SSKCD || '/' || DNM_GRPCD || '/' || ";
        const QString lineCodes[3] = {branch + "DNM_KMKCD", branch + "DNM_KMKCD || '/' || DNM_HK1CD",
                                      branch + "DNM_KMKCD || '/' || DNM_HK1CD || '/' || DNM_HK2CD"};
        for (int level = 0; level < 3; ++level) {
            const QString table = levels[level][0], p = levels[level][1];
            std::map<QString, Sums> want;  // "ym|codes"
            {
                RecordsetPtr rs = gobjDB->OpenRecordset(
                    "SELECT DNM_YM || '|' || " + lineCodes[level] +
                    ", DNM_TSKBN, SUM(DNM_KIN) FROM DNMDT INNER JOIN DNHDT ON DNH_SSKCD = DNM_SSKCD AND "
                    "DNH_GRPCD = DNM_GRPCD AND DNH_YM = DNM_YM AND DNH_DENNO = DNM_DENNO WHERE DNH_DELKBN = 0" +
                    QString(level == 2 ? " AND DNM_HK1CD <> 0" : "") + " GROUP BY 1, 2");
                for (; !rs->Eof(); rs->MoveNext()) {
                    Sums& s = want[rs->Fields(0).Value().Text()];
                    (rs->Fields(1).Value().Text() == "1" ? s.kari : s.kasi) = rs->Fields(2).Value().Text().toLongLong();
                }
            }
            QString codes = p + "_SSKCD, " + p + "_GRPCD, " + levels[level][2];
            codes.replace(", ", " || '/' || ");
            RecordsetPtr rs = gobjDB->OpenRecordset(
                "SELECT " + p + "_YM, " + codes + ", " + p + "_NENDO, " + p + "_ZZAN, " + p + "_KARI, " + p +
                "_KASI, typeof(" + p + "_ZZAN) || typeof(" + p + "_KARI) || typeof(" + p + "_KASI), KMK_TSKBN FROM " +
                table + " LEFT JOIN KMKMF ON KMK_NENDO = " + p + "_NENDO AND KMK_CD = " + p + "_KMKCD ORDER BY 2, 3, 1");
            QString prevKey;
            qint64 prevZzan = 0, prevMove = 0;
            long prevYm = 0;
            std::map<QString, int> months;
            for (; !rs->Eof(); rs->MoveNext()) {
                const long ym = rs->Fields(0).Value().Text().toLong();
                const QString code = rs->Fields(1).Value().Text();
                const QString nendo = rs->Fields(2).Value().Text();
                const qint64 zzan = rs->Fields(3).Value().Text().toLongLong();
                const qint64 kari = rs->Fields(4).Value().Text().toLongLong();
                const qint64 kasi = rs->Fields(5).Value().Text().toLongLong();
                const QString where = table + " " + code + " " + QString::number(ym);
                EXPECT_EQ(rs->Fields(6).Value().Text(), "integerintegerinteger") << where.toStdString();
                const QString key = QString::number(ym) + "|" + code;
                auto it = want.find(key);
                const Sums s = it == want.end() ? Sums{} : it->second;
                if (it != want.end()) want.erase(it);
                EXPECT_EQ(kari, s.kari) << "debit total of " << where.toStdString();
                EXPECT_EQ(kasi, s.kasi) << "credit total of " << where.toStdString();
                const QString yearKey = code + "|" + nendo;
                ++months[yearKey];
                if (yearKey != prevKey) {
                    EXPECT_EQ(ym, nendo.toLong() * 100 + 4) << "first month of " << yearKey.toStdString();
                    auto o = openings.find(table + "|" + yearKey);
                    EXPECT_EQ(zzan, o == openings.end() ? 0 : o->second) << "opening of " << where.toStdString();
                } else {
                    const QDate next = QDate(prevYm / 100, prevYm % 100, 1).addMonths(1);
                    EXPECT_EQ(ym, next.year() * 100L + next.month()) << where.toStdString();
                    EXPECT_EQ(zzan, prevZzan + prevMove) << "opening of " << where.toStdString();
                }
                const bool creditNormal = rs->Fields(7).Value().Text() == "2";
                prevKey = yearKey;
                prevYm = ym;
                prevZzan = zzan;
                prevMove = creditNormal ? kasi - kari : kari - kasi;
            }
            for (const auto& [k, n] : months) EXPECT_EQ(n, 12) << table.toStdString() << " " << k.toStdString();
            for (const auto& [k, s] : want)
                ADD_FAILURE() << table.toStdString() << " has no row for posted key " << k.toStdString();
        }
    }

    // Saves, changes and deletes through the entry window, at random: days
    // from `first` on for `days` days, halves on `accounts` (sub-account 1
    // picked for `withSub1`).
    void RandomRun(int steps, const std::vector<long>& accounts, const QDate& first, int days, long withSub1 = 0) {
        QRandomGenerator rng(20261208);
        auto pick = [&]() { return accounts[rng.bounded(static_cast<int>(accounts.size()))]; };
        auto randomDay = [&]() {
            const QDate d = first.addDays(rng.bounded(days));
            return static_cast<long>(d.year() * 10000 + d.month() * 100 + d.day());
        };
        // Amounts: mostly ordinary, some returns, some near the largest
        // amount a voucher can carry (its footer, tax included, stays within
        // range).
        auto randomAmount = [&](bool large) -> qint64 {
            if (large) return 800000000000000LL + static_cast<qint64>(rng.bounded(20000000)) * 1000003LL;
            const qint64 k = 1 + static_cast<qint64>(rng.bounded(5000000));
            return rng.bounded(6) == 0 ? -k : k;
        };
        // Fills the window with 1 to 3 rows, each balanced within itself: one
        // half taxed (or none), the other half carrying amount plus tax.
        auto fill = [&](frmKE410& f) {
            const bool large = rng.bounded(8) == 0;
            const int rows = large ? 1 : 1 + rng.bounded(3);
            for (int r = 0; r < rows; ++r) {
                const QString taxed = rng.bounded(2) ? "KR" : "KS";
                const QString other = taxed == "KR" ? "KS" : "KR";
                const long a = pick(), b = pick();
                const char* codes[] = {"", "1", "2", "3"};
                half(f, r, taxed, a, codes[rng.bounded(4)], QString::number(randomAmount(large)),
                     a == withSub1 ? 1 + rng.bounded(2) : 0);
                const Currency total = cellCur(f, taxed + "KIN", r) + cellCur(f, taxed + "TAX", r);
                half(f, r, other, b, "", total.ToString(), b == withSub1 ? 1 + rng.bounded(2) : 0);
            }
        };
        struct Key {
            long ym, no;
        };
        // Vouchers dated in the open days only (those before are closed).
        const QString firstDay = QString::number(first.year() * 10000 + first.month() * 100 + first.day());
        auto liveVouchers = [&]() {
            std::vector<Key> keys;
            RecordsetPtr rs = gobjDB->OpenRecordset(
                "SELECT DNH_YM, DNH_DENNO FROM DNHDT WHERE DNH_DELKBN = 0 AND DNH_DATE >= " + firstDay +
                " ORDER BY 1, 2");
            for (; !rs->Eof(); rs->MoveNext())
                keys.push_back({rs->Fields(0).Value().Text().toLong(), rs->Fields(1).Value().Text().toLong()});
            return keys;
        };
        int saves = 0, changes = 0, deletes = 0;
        for (int step = 0; step < steps; ++step) {
            msgs().Clear();
            const std::vector<Key> live = liveVouchers();
            const int op = live.size() < 5 ? 0 : rng.bounded(10);
            if (op < 6) {
                auto f = Open("I");
                date(*f, randomDay());
                fill(*f);
                f->cmdUpd_Click();
                ++saves;
            } else if (op < 9) {
                const Key k = live[rng.bounded(static_cast<int>(live.size()))];
                auto f = Open("U", k.ym, k.no);
                f->denMeisai->ClearCells();
                if (rng.bounded(2)) date(*f, randomDay());
                fill(*f);
                f->cmdUpd_Click();
                ++changes;
            } else {
                const Key k = live[rng.bounded(static_cast<int>(live.size()))];
                auto f = Open("D", k.ym, k.no);
                f->cmdUpd_Click();
                ++deletes;
            }
            // The delete question, and a change to another month announcing
            // its new number; nothing else.
            for (const QString& t : msgs().Texts())
                ASSERT_TRUE(t == "削除してもよろしいですか？" ||
                            t == "伝票日付が変更になり、再採番の必要がありますので、伝票番号を採番し直します。")
                    << "step " << step << ": " << t.toStdString();
        }
        EXPECT_GT(saves, steps / 3);
        EXPECT_GT(changes, steps / 10);
        EXPECT_GT(deletes, steps / 30);
        EXPECT_EQ(unbalanced(), "0");
        // Large amounts were stored.
        EXPECT_NE(q("SELECT COUNT(*) FROM DNMDT WHERE ABS(DNM_KIN) >= 800000000000000"), "0");
    }

    MsgRecorder& msgs() { return *recorder; }

    AppFolder folder;
    std::unique_ptr<MsgRecorder> recorder = std::make_unique<MsgRecorder>();
};

// ---------------------------------------------------------------- amount cells

// Types text into the grid as key presses of the characters (full-width
// ones included), then Enter.
void typeInto(VoucherGrid* grid, const QString& text) {
    auto target = [&]() -> QWidget* {
        return grid->editor() ? static_cast<QWidget*>(grid->editor()) : static_cast<QWidget*>(grid->view());
    };
    for (QChar c : text) {
        int key = Qt::Key_unknown;
        if (c >= '0' && c <= '9') key = Qt::Key_0 + (c.unicode() - '0');
        else if (c == '-') key = Qt::Key_Minus;
        else if (c == '.') key = Qt::Key_Period;
        else if (c == ',') key = Qt::Key_Comma;
        else if (c == 'e') key = Qt::Key_E;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target(), &release);
    }
    QTest::keyClick(target(), Qt::Key_Return);
}

TEST_F(Money, AmountAndTaxCellsTakeWholeYenOnly) {
    auto f = Open("I");
    f->show();
    QApplication::setActiveWindow(f.get());
    put(*f, 0, "KRKMKCD", "100");
    put(*f, 0, "KRZKBN", "");
    const QRegularExpression plainWhole("^-?[0-9]*$");
    for (const QString& key : {QStringLiteral("KRKIN"), QStringLiteral("KRTAX")}) {
        for (const QString& typed : {QStringLiteral("100.5"), QStringLiteral("10-5"), QStringLiteral("1.0e3")}) {
            put(*f, 0, key, "");
            f->denMeisai->setFocus();
            f->denMeisai->setCurrentRow(0);
            f->denMeisai->setCurrentKey(key);
            typeInto(f->denMeisai, typed);
            const QString stored = f->denMeisai->Cell(key, 0);
            // The point, the inner minus and the exponent do not get in.
            EXPECT_TRUE(plainWhole.match(stored).hasMatch()) << key.toStdString() << " " << typed.toStdString()
                                                             << " -> " << stored.toStdString();
        }
        const std::pair<QString, long> accepted[] = {{QString::fromUtf8("−1,001"), -1001},
                                                     {QString::fromUtf8("１，０００"), 1000},
                                                     {QString::fromUtf8("－２５"), -25},
                                                     {"12,345,678", 12345678}};
        for (const auto& [typed, value] : accepted) {
            put(*f, 0, key, "");
            f->denMeisai->setFocus();
            f->denMeisai->setCurrentRow(0);
            f->denMeisai->setCurrentKey(key);
            typeInto(f->denMeisai, typed);
            EXPECT_EQ(f->denMeisai->Cell(key, 0), QString::number(value)) << typed.toStdString();
            EXPECT_EQ(f->denMeisai->DisplayText(key, 0), Currency::FromWhole(value).Formatted());
        }
    }
    // The footer counts what the cells show.
    EXPECT_EQ(ValCur(f->denMeisai->Total("GKRKIN")), Currency::FromWhole(12345678 * 2));
}

TEST_F(Money, AFractionInAnAmountOrTaxCellIsRefusedOnSaving) {
    struct Case {
        const char* key;
        int row;
        const char* value;
    };
    // Values a template or a program could leave in a cell; the voucher is
    // cash 1,000 (row 0, debit) against receivables 1,000 (row 1, credit).
    const Case cases[] = {{"KRKIN", 0, "1000.5"}, {"KSKIN", 1, "999.5"}, {"KRTAX", 0, "80.5"},
                          {"KSTAX", 1, "0.25"},  {"KRTAX", 0, "10-5"},  {"KSTAX", 1, "1e-1"},
                          {"KRTAX", 1, "1.5"},    {"KSTAX", 1, "1,000"}};
    for (const Case& c : cases) {
        msgs().Clear();
        auto f = Open("I");
        half(*f, 0, "KR", kCash, "", "1000");
        half(*f, 1, "KS", kReceivable, "", "1000");
        put(*f, c.row, c.key, c.value);
        f->cmdUpd_Click();
        const QString x = QString(c.key).left(2);
        EXPECT_EQ(msgs().Texts(), QStringList{"金額が正しく入力されていません。"}) << c.key << " " << c.value;
        EXPECT_EQ(f->denMeisai->CurrentKey(), x + "KIN") << c.key << " " << c.value;
        EXPECT_EQ(f->denMeisai->CurrentRow(), c.row) << c.key << " " << c.value;
        EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0") << c.key << " " << c.value;
    }
    // Footers that both read "1,001" from 1,000.5 on each side.
    msgs().Clear();
    {
        auto f = Open("I");
        half(*f, 0, "KR", kCash, "", "1000.5");
        half(*f, 1, "KS", kReceivable, "", "1000.5");
        EXPECT_EQ(f->denMeisai->Total("GKRKIN"), f->denMeisai->Total("GKSKIN"));
        f->cmdUpd_Click();
        EXPECT_EQ(msgs().Texts(), QStringList{"金額が正しく入力されていません。"});
        EXPECT_EQ(f->denMeisai->CurrentKey(), "KRKIN");
        EXPECT_EQ(f->denMeisai->CurrentRow(), 0);
        EXPECT_EQ(q("SELECT COUNT(*) FROM DNHDT"), "0");
    }
    // Whole amounts are stored as integers.
    msgs().Clear();
    auto f = Open("I");
    half(*f, 0, "KR", kPurchase, "1", "1001");
    half(*f, 0, "KS", kPayable, "", "1101");
    f->cmdUpd_Click();
    EXPECT_TRUE(msgs().Empty()) << msgs().Texts().join("|").toStdString();
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT"), "3");
    EXPECT_EQ(q("SELECT COUNT(*) FROM DNMDT WHERE typeof(DNM_KIN) <> 'integer' OR typeof(DNM_TAX) <> 'integer'"),
              "0");
}

// ---------------------------------------------------------------- negative tax

TEST_F(Money, NegativeTaxesGetTheirTaxLineAndEveryVoucherBalances) {
    struct Half {
        int row;
        const char* x;
        long account;
        const char* code;
        const char* amount;
    };
    struct Case {
        const char* name;
        std::vector<Half> halves;
        int line;      // generated tax line expected: 98, 99 or 0 (none)
        int side;      // its side
    };
    const Case cases[] = {
        {"input tax on top, debit return", {{0, "KR", kPurchase, "1", "-1001"}, {0, "KS", kCash, "", "-1102"}}, 98, 2},
        {"input tax included, debit return",
         {{0, "KR", kSupplies, "2", "-1080"}, {0, "KS", kCash, "", "-1080"}}, 98, 2},
        {"input tax on top, credit side", {{0, "KS", kPurchase, "1", "-1000"}, {0, "KR", kCash, "", "-1100"}}, 98, 1},
        {"output tax on top, credit return",
         {{0, "KS", kSales, "3", "-1000"}, {0, "KR", kReceivable, "", "-1100"}}, 99, 1},
        {"output tax included, debit side",
         {{0, "KR", kSales, "2", "-1080"}, {0, "KS", kReceivable, "", "-1080"}}, 99, 2},
        {"input taxes that cancel",
         {{0, "KR", kPurchase, "1", "1000"}, {1, "KR", kPurchase, "1", "-1000"}, {2, "KR", kCash, "", "500"},
          {2, "KS", kReceivable, "", "500"}},
         0, 0},
        {"output taxes that cancel",
         {{0, "KS", kSales, "3", "1000"}, {1, "KS", kSales, "3", "-1000"}, {2, "KS", kSales, "", "700"},
          {2, "KR", kReceivable, "", "700"}},
         0, 0},
        {"input and output tax, both negative",
         {{0, "KR", kPurchase, "1", "-2000"}, {1, "KS", kSales, "3", "-3000"}, {2, "KS", kCash, "", "-2200"},
          {2, "KR", kCash, "", "-3300"}},
         -1, 0},
    };
    long number = 0;
    for (const Case& c : cases) {
        msgs().Clear();
        auto f = Open("I");
        for (const Half& h : c.halves) half(*f, h.row, h.x, h.account, h.code, h.amount);
        // The taxes the window worked out, in the normal direction of the
        // tax accounts: input tax rises with debits, output tax with credits.
        Currency inputTax, outputTax;
        for (const Half& h : c.halves) {
            const Currency t = cellCur(*f, QString(h.x) + "TAX", h.row);
            const bool debit = QString(h.x) == "KR";
            const bool debitNormal = h.account != kSales && h.account != kPayable;
            if (debitNormal) inputTax += debit ? t : -t;
            else outputTax += debit ? -t : t;
        }
        f->cmdUpd_Click();
        ++number;
        ASSERT_TRUE(msgs().Empty()) << c.name << ": " << msgs().Texts().join("|").toStdString();
        const QString where = " WHERE DNM_DENNO = " + QString::number(number);
        EXPECT_EQ(unbalanced(), "0") << c.name;
        const QString in = q("SELECT DNM_TSKBN || ',' || DNM_KMKCD || ',' || DNM_KIN FROM DNMDT" + where +
                             " AND DNM_GYO = 98");
        const QString out = q("SELECT DNM_TSKBN || ',' || DNM_KMKCD || ',' || DNM_KIN FROM DNMDT" + where +
                              " AND DNM_GYO = 99");
        auto line = [](const Currency& net, int debitSide, long account) {
            if (net.IsZero()) return QString();
            const int side = net > Currency() ? debitSide : 3 - debitSide;
            return QString::number(side) + "," + QString::number(account) + "," + net.Abs().ToString();
        };
        EXPECT_EQ(in, line(inputTax, 1, kInputTax)) << c.name;
        EXPECT_EQ(out, line(outputTax, 2, kOutputTax)) << c.name;
        if (c.line == 98) {
            EXPECT_EQ(in.left(1), QString::number(c.side)) << c.name;
        } else if (c.line == 99) {
            EXPECT_EQ(out.left(1), QString::number(c.side)) << c.name;
        }
        if (c.line == 0) {
            EXPECT_TRUE(in.isEmpty() && out.isEmpty()) << c.name;
        } else {
            EXPECT_FALSE(in.isEmpty() && out.isEmpty()) << c.name;
        }
    }
    // The tax accounts hold the net taxes of all vouchers.
    ExpectBalancesEqualTheLiveLines();
}

// ---------------------------------------------------------------- fiscal years

TEST_F(Money, PostingsStayInsideTheirFiscalYearAndTheLedgerShowsTheOpeningSetForTheNewYear) {
    auto save = [&](long day, long amount, const QString& mode = "I", long ym = 0, long no = 0) {
        auto f = Open(mode, ym, no);
        if (mode == "U") f->denMeisai->ClearCells();
        date(*f, day);
        half(*f, 0, "KR", kCash, "", QString::number(amount));
        half(*f, 0, "KS", kSales, "", QString::number(amount));
        f->cmdUpd_Click();
        ASSERT_TRUE(msgs().Empty()) << msgs().Texts().join("|").toStdString();
    };
    // Last month of fiscal 2026, first month of fiscal 2027.
    save(20270315, 1000000);
    save(20270410, 200000);
    ExpectBalancesEqualTheLiveLines();
    EXPECT_EQ(q("SELECT KMZ_ZZAN FROM KMZMF WHERE KMZ_YM = 202704 AND KMZ_KMKCD = 400"), "0");
    EXPECT_EQ(q("SELECT KMZ_ZZAN FROM KMZMF WHERE KMZ_YM = 202705 AND KMZ_KMKCD = 400"), "200000");

    // The year-end update opens fiscal 2027 with the cash of fiscal 2026.
    const QString cashClose = q("SELECT KMZ_ZZAN + KMZ_KARI - KMZ_KASI FROM KMZMF WHERE KMZ_YM = 202703 AND "
                                "KMZ_KMKCD = 100");
    folder.Sql("UPDATE KMZMF SET KMZ_ZZAN = " + cashClose + " WHERE KMZ_YM = 202704 AND KMZ_KMKCD = 100");
    folder.Sql("UPDATE H1ZMF SET H1Z_ZZAN = " + cashClose + " WHERE H1Z_YM = 202704 AND H1Z_KMKCD = 100");
    ASSERT_TRUE(gobjDB->Execute("sp_KMZMF_UPDATE 202704, 2027, 1, 1, 100"));
    ASSERT_TRUE(gobjDB->Execute("sp_H1ZMF_UPDATE 202704, 2027, 1, 1, 100, 0"));
    auto nextYear = [&]() {
        return q("SELECT GROUP_CONCAT(R, ';') FROM (SELECT KMZ_YM || ',' || KMZ_KMKCD || ',' || KMZ_ZZAN || ',' || "
                 "KMZ_KARI || ',' || KMZ_KASI AS R FROM KMZMF WHERE KMZ_NENDO = 2027 UNION ALL SELECT H1Z_YM || ',' "
                 "|| H1Z_KMKCD || ',' || H1Z_HK1CD || ',' || H1Z_ZZAN || ',' || H1Z_KARI || ',' || H1Z_KASI FROM "
                 "H1ZMF WHERE H1Z_NENDO = 2027 ORDER BY 1) AS T");
    };
    const QString before = nextYear();

    // Postings to fiscal 2026: a new voucher, a change and a delete.
    save(20270320, 300000);
    save(20270325, 450000, "U", 202703, 1);
    {
        auto d = Open("D", 202703, q("SELECT DNH_DENNO FROM DNHDT WHERE DNH_DATE = 20270320").toLong());
        d->cmdUpd_Click();
        ASSERT_EQ(msgs().Texts(), QStringList{"削除してもよろしいですか？"});
        msgs().Clear();
    }
    ASSERT_EQ(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_DELKBN = 9"), "1");
    EXPECT_EQ(nextYear(), before);
    ExpectBalancesEqualTheLiveLines({{"KMZMF|1/1/100|2027", cashClose.toLongLong()},
                                     {"H1ZMF|1/1/100/0|2027", cashClose.toLongLong()}});

    // The ledger of fiscal 2027 opens with what the year-end set.
    for (long account : {kCash, kSales}) {
        auto l = std::make_unique<frmKR430>();
        l->show();
        QApplication::processEvents();
        l->txtDateS->NumValue(202704);
        l->txtDateE->NumValue(202704);
        l->txtKmkCd->Value(QString::number(account));
        l->txtHk1Cd->Value("");
        l->txtHk2Cd->Value("");
        ASSERT_TRUE(l->fncShowLedger());
        EXPECT_EQ(l->DenMain->Cell("DATA_KMKNM", 0), "前期繰越金");
        const Currency opening = account == kCash ? Currency::FromText(cashClose) : Currency();
        EXPECT_EQ(ValCur(l->DenMain->Cell("DATA_ZAND", 0)), opening) << account;
        EXPECT_EQ(ValCur(l->DenMain->Total("FOOT_ZAND")), opening + Currency::FromWhole(200000)) << account;
    }
}

// ---------------------------------------------------------------- a long random run

TEST_F(Money, ARandomRunOfSavesChangesAndDeletesLeavesEveryBalanceEqualToTheLines) {
    RandomRun(300, {kCash, kBank, kReceivable, kPayable, kSales, kPurchase, kSupplies}, QDate(2026, 4, 1), 365 + 92,
              kBank);
    // The sums of the large amounts went beyond one amount's range.
    EXPECT_NE(q("SELECT COUNT(*) FROM KMZMF WHERE ABS(KMZ_ZZAN) > 922337203685477"), "0");
    ExpectBalancesEqualTheLiveLines();
}

// The demo database, with its vouchers entered and its openings set for the
// open year, worked through the entry window across months and years.
class MoneyOnDemo : public Money {
protected:
    void SetUp() override {
        const QDate today(2026, 12, 8);
        SetToday(today);
        folder.Demo(today);
        QString error;
        ASSERT_TRUE(DemoVouchers::Enter(today, &error)) << error.toStdString();
        // Entering the demo answered its own messages; record ours again.
        recorder.reset();
        recorder = std::make_unique<MsgRecorder>();
        ReadTabIni();
    }
    // The opening of every key's first month of each year, as set.
    std::map<QString, qint64> Openings() {
        std::map<QString, qint64> m;
        const QStringList levels[3] = {{"KMZMF", "KMZ", "KMZ_KMKCD"},
                                       {"H1ZMF", "H1Z", "H1Z_KMKCD || '/' || H1Z_HK1CD"},
                                       {"H2ZMF", "H2Z", "H2Z_KMKCD || '/' || H2Z_HK1CD || '/' || H2Z_HK2CD"}};
        for (const QStringList& l : levels) {
            const QString p = l[1];
            RecordsetPtr rs = gobjDB->OpenRecordset("SELECT '" + l[0] + "|' || " + p + "_SSKCD || '/' || " + p +
                                                    "_GRPCD || '/' || " + l[2] + " || '|' || " + p +
                                                    "_NENDO, " + p + "_ZZAN FROM " + l[0] + " WHERE " + p +
                                                    "_YM = " + p + "_NENDO * 100 + 4");
            for (; !rs->Eof(); rs->MoveNext())
                m[rs->Fields(0).Value().Text()] = rs->Fields(1).Value().Text().toLongLong();
        }
        return m;
    }
};

TEST_F(MoneyOnDemo, WorkingTheDemoThroughTheWindowKeepsEveryBalanceEqualToTheLines) {
    const std::map<QString, qint64> openings = Openings();
    ASSERT_FALSE(openings.empty());
    ExpectBalancesEqualTheLiveLines(openings);
    // Accounts every group may use, without sub-accounts, tax accounts aside.
    std::vector<long> accounts;
    RecordsetPtr rs = gobjDB->OpenRecordset(
        "SELECT KMK_CD FROM KMKMF WHERE KMK_NENDO = 2026 AND KMK_H1FLG = 0 AND KMK_GRKBN = 0 AND KMK_CD NOT IN "
        "(SELECT KKM_KMKCD FROM KKMMF) AND KMK_CD IN (SELECT KMK_CD FROM KMKMF WHERE KMK_NENDO = 2027) ORDER BY 1");
    for (; !rs->Eof(); rs->MoveNext()) accounts.push_back(rs->Fields(0).Value().Text().toLong());
    ASSERT_GE(accounts.size(), 4u);
    // From the first open day (after the monthly closing) into the next year.
    RandomRun(120, accounts, QDate(2026, 11, 1), 30 + 31 + 31 + 28 + 31 + 30 + 31 + 30);
    EXPECT_NE(q("SELECT COUNT(*) FROM DNHDT WHERE DNH_NENDO = 2027 AND DNH_DELKBN = 0"), "0");
    ExpectBalancesEqualTheLiveLines(openings);
}

}  // namespace
