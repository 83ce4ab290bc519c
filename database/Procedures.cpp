// Stored procedures of the balance tables KMZMF, H1ZMF and H2ZMF.
//
// Opening balances *_ZZAN chain within one fiscal year: each month opens
// with the closing balance of the month before (opening + debit - credit
// for a debit-normal account, opening + credit - debit for a credit-normal
// one, KMK_TSKBN of the account in that year). The first month of a year
// keeps the opening it was given (the year-end update sets it); a posting
// never touches a row of another fiscal year.
//
// sp_xxx_ADD (year, branch, group, account[, sub 1[, sub 2]]) creates the
// missing rows of the months of that fiscal year for the key, the months
// taken from the fiscal calendar KSKMF. New rows start with totals 0; a
// missing first month of the year opens at 0, a later one with the closing
// balance of the month before.
//
// sp_xxx_UPDATE (month, year, branch, group, account[, sub 1[, sub 2]])
// follows a change of the month's totals: the difference between the
// month's new closing balance and the opening of the next month is added to
// the openings of every later month of that fiscal year in one statement.
//
// Money is read exactly from its decimal text and added in integers (wider
// than a Currency, so sums of large amounts stay exact); whole values are
// written as integers.
#include "database/Schema.h"

#include "platform/Currency.h"

#include <QDate>
#include <QMap>

namespace {

struct BalanceTable {
    QString table;    // KMZMF
    QString prefix;   // KMZ
    QStringList keys; // key columns after YM, SSKCD, GRPCD: KMKCD[, HK1CD[, HK2CD]]
};

const BalanceTable kKmz{"KMZMF", "KMZ", {"KMZ_KMKCD"}};
const BalanceTable kH1z{"H1ZMF", "H1Z", {"H1Z_KMKCD", "H1Z_HK1CD"}};
const BalanceTable kH2z{"H2ZMF", "H2Z", {"H2Z_KMKCD", "H2Z_HK1CD", "H2Z_HK2CD"}};

bool argsToNumbers(DBAccess& db, const QString& proc, const QStringList& args, int count, QList<qint64>& out) {
    if (args.size() != count) {
        db.SetError(adErrCommand, proc + ": 引数の数が正しくありません。");
        return false;
    }
    for (const QString& a : args) {
        bool ok = false;
        qint64 v = a.toLongLong(&ok);
        if (!ok) {
            db.SetError(adErrCommand, proc + ": 引数が数値ではありません: " + a);
            return false;
        }
        out << v;
    }
    return true;
}

// "   AND KMZ_SSKCD = 1   AND KMZ_GRPCD = 1   AND KMZ_KMKCD = 100"
QString keyCondition(const BalanceTable& t, qint64 branch, qint64 group, const QList<qint64>& codes) {
    QString w = " WHERE " + t.prefix + "_SSKCD = " + QString::number(branch) + "   AND " + t.prefix +
                "_GRPCD = " + QString::number(group);
    for (int i = 0; i < t.keys.size(); ++i) w += "   AND " + t.keys[i] + " = " + QString::number(codes[i]);
    return w;
}

// The fiscal calendar row of a year, keyed as the control row says.
bool fiscalMonths(DBAccess& db, qint64 year, qint64 branch, qint64 group, QList<qint64>& months) {
    RecordsetPtr c = db.OpenRecordset("SELECT CNT_KIKBN FROM CNTMF WHERE CNT_KEY = 1");
    qint64 kikbn = c->Eof() ? 0 : c->Fields(0).Value().Text().toLongLong();
    qint64 s = 0, g = 0;
    if (kikbn == 2) s = branch;
    else if (kikbn == 3) { s = branch; g = group; }
    RecordsetPtr k = db.OpenRecordset("SELECT KSK_KSYM FROM KSKMF WHERE KSK_NENDO = " + QString::number(year) +
                                      "   AND KSK_SSKCD = " + QString::number(s) +
                                      "   AND KSK_GRPCD = " + QString::number(g));
    if (k->Eof()) {
        db.SetError(adErrCommand, "決算期間マスタに " + QString::number(year) + " 年度がありません。");
        return false;
    }
    qint64 ksym = k->Fields(0).Value().Text().toLongLong();
    QDate first(static_cast<int>(ksym / 100), static_cast<int>(ksym % 100), 1);
    if (!first.isValid()) {
        db.SetError(adErrCommand, "決算期間マスタの期首年月が正しくありません: " + QString::number(ksym));
        return false;
    }
    for (int i = 0; i < 12; ++i) {
        QDate d = first.addMonths(i);
        months << d.year() * 100 + d.month();
    }
    return true;
}

// Normal side of an account in a fiscal year (1 debit, 2 credit).
qint64 normalSide(DBAccess& db, qint64 year, qint64 account) {
    RecordsetPtr r = db.OpenRecordset("SELECT KMK_TSKBN FROM KMKMF WHERE KMK_NENDO = " + QString::number(year) +
                                      "   AND KMK_CD = " + QString::number(account));
    return r->Eof() ? 1 : r->Fields(0).Value().Text().toLongLong();
}

// Money in ten-thousandths, read exactly from a value's text (Null as 0).
__int128 money(const DbValue& v) {
    __int128 m = 0;
    if (!v.IsNull() && !Currency::ReadWide(v.Text(), m)) m = 0;
    return m;
}

bool isWhole(__int128 m) { return m % Currency::Scale == 0; }

// A value for an SQL statement: whole yen as an integer literal.
QString literal(__int128 m) { return Currency::WideToString(m); }

struct MonthRow {
    qint64 ym = 0;
    __int128 zzan = 0, kari = 0, kasi = 0;
};

__int128 closing(const MonthRow& r, qint64 side) {
    return side == 2 ? r.zzan + r.kasi - r.kari : r.zzan + r.kari - r.kasi;
}

// "   AND KMZ_YM IN (202604, 202605)": the months named one by one, so that
// each is a seek on the table's key (month first, then branch, group and
// codes) to the one row of the key, and not a walk through the rows of
// every key of a range of months.
QString monthsIn(const BalanceTable& t, const QList<qint64>& months) {
    QStringList list;
    for (qint64 ym : months) list << QString::number(ym);
    return "   AND " + t.prefix + "_YM IN (" + list.join(", ") + ")";
}

// The month and the months after it, `count` in all.
QList<qint64> monthsFrom(qint64 ym, int count) {
    QList<qint64> months;
    QDate d(static_cast<int>(ym / 100), static_cast<int>(ym % 100), 1);
    for (int i = 0; i < count; ++i, d = d.addMonths(1)) months << d.year() * 100 + d.month();
    return months;
}

// The key's rows of the months the condition names, in month order.
QList<MonthRow> readMonths(DBAccess& db, const BalanceTable& t, qint64 branch, qint64 group,
                           const QList<qint64>& codes, const QString& range) {
    const QString p = t.prefix;
    RecordsetPtr rs = db.OpenRecordset("SELECT " + p + "_YM, " + p + "_ZZAN, " + p + "_KARI, " + p + "_KASI FROM " +
                                       t.table + keyCondition(t, branch, group, codes) + range + " ORDER BY " + p +
                                       "_YM");
    QList<MonthRow> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
        MonthRow r;
        r.ym = rs->Fields(0).Value().Text().toLongLong();
        r.zzan = money(rs->Fields(1).Value());
        r.kari = money(rs->Fields(2).Value());
        r.kasi = money(rs->Fields(3).Value());
        rows << r;
    }
    return rows;
}

bool writeOpening(DBAccess& db, const BalanceTable& t, qint64 branch, qint64 group, const QList<qint64>& codes,
                  qint64 ym, __int128 zzan) {
    return db.Execute("UPDATE " + t.table + " SET " + t.prefix + "_ZZAN = " + literal(zzan) +
                      keyCondition(t, branch, group, codes) + "   AND " + t.prefix + "_YM = " + QString::number(ym));
}

bool addRows(DBAccess& db, const BalanceTable& t, const QString& name, const QStringList& args) {
    QList<qint64> a;
    if (!argsToNumbers(db, name, args, 3 + t.keys.size(), a)) return false;
    qint64 year = a[0], branch = a[1], group = a[2];
    QList<qint64> codes = a.mid(3);
    try {
        QList<qint64> months;
        if (!fiscalMonths(db, year, branch, group, months)) return false;
        const QString p = t.prefix;
        const QList<MonthRow> existing = readMonths(db, t, branch, group, codes, monthsIn(t, months));
        QMap<qint64, MonthRow> have;
        for (const MonthRow& r : existing) have[r.ym] = r;
        if (have.size() == months.size()) return true;
        const qint64 side = normalSide(db, year, codes[0]);
        QString cols = p + "_YM, " + p + "_SSKCD, " + p + "_GRPCD, ";
        for (const QString& k : t.keys) cols += k + ", ";
        cols += p + "_NENDO, " + p + "_ZZAN, " + p + "_KARI, " + p + "_KASI";
        // Walk the year's months: missing ones are created with the opening
        // the chain gives them, existing later ones follow the chain.
        __int128 close = 0;
        for (int i = 0; i < months.size(); ++i) {
            const qint64 ym = months[i];
            auto it = have.find(ym);
            if (it == have.end()) {
                MonthRow r;
                r.ym = ym;
                r.zzan = i == 0 ? 0 : close;
                QString vals =
                    QString::number(ym) + ", " + QString::number(branch) + ", " + QString::number(group) + ", ";
                for (qint64 c : codes) vals += QString::number(c) + ", ";
                vals += QString::number(year) + ", " + literal(r.zzan) + ", 0, 0";
                if (!db.Execute("INSERT INTO " + t.table + " (" + cols + ") VALUES (" + vals + ")")) return false;
                close = closing(r, side);
            } else {
                MonthRow r = it.value();
                if (i > 0 && r.zzan != close) {
                    r.zzan = close;
                    if (!writeOpening(db, t, branch, group, codes, ym, r.zzan)) return false;
                }
                close = closing(r, side);
            }
        }
        return true;
    } catch (const AppError& e) {
        db.SetError(e.Number, name + ": " + e.Description);
        return false;
    }
}

bool updateRows(DBAccess& db, const BalanceTable& t, const QString& name, const QStringList& args) {
    QList<qint64> a;
    if (!argsToNumbers(db, name, args, 4 + t.keys.size(), a)) return false;
    qint64 month = a[0], year = a[1], branch = a[2], group = a[3];
    QList<qint64> codes = a.mid(4);
    try {
        const QString p = t.prefix;
        const QString yearRange = "   AND " + p + "_NENDO = " + QString::number(year);
        // The month itself and the openings of the later months of its year
        // (a fiscal year has twelve months: the later ones of the year are
        // among the eleven after it).
        const QList<qint64> months = monthsFrom(month, 12);
        const QList<MonthRow> rows = readMonths(db, t, branch, group, codes, yearRange + monthsIn(t, months));
        if (rows.size() < 2 || rows.first().ym != month) return true;
        const qint64 side = normalSide(db, year, codes[0]);
        const __int128 delta = closing(rows[0], side) - rows[1].zzan;
        if (delta == 0) return true;
        bool whole = isWhole(delta);
        for (int i = 1; whole && i < rows.size(); ++i) whole = isWhole(rows[i].zzan);
        if (whole) {
            // Integers throughout: the database adds them exactly.
            return db.Execute("UPDATE " + t.table + " SET " + p + "_ZZAN = " + p + "_ZZAN + " + literal(delta) +
                              keyCondition(t, branch, group, codes) + yearRange +
                              monthsIn(t, months.mid(1)));
        }
        // Fractions (written by another tool): each opening exactly, here.
        for (int i = 1; i < rows.size(); ++i)
            if (!writeOpening(db, t, branch, group, codes, rows[i].ym, rows[i].zzan + delta)) return false;
        return true;
    } catch (const AppError& e) {
        db.SetError(e.Number, name + ": " + e.Description);
        return false;
    }
}

}  // namespace

namespace Schema {

void RegisterProcedures(DBAccess& db) {
    for (const BalanceTable* t : {&kKmz, &kH1z, &kH2z}) {
        QString add = "sp_" + t->table + "_ADD";
        QString upd = "sp_" + t->table + "_UPDATE";
        db.RegisterProcedure(add, [t, add](DBAccess& d, const QStringList& args) { return addRows(d, *t, add, args); });
        db.RegisterProcedure(upd, [t, upd](DBAccess& d, const QStringList& args) { return updateRows(d, *t, upd, args); });
    }
}

}  // namespace Schema
