// Stored procedures of the balance tables KMZMF, H1ZMF and H2ZMF.
//
// sp_xxx_ADD (year, branch, group, account[, sub 1[, sub 2]]) creates the
// missing rows of every month of that fiscal year for the key, the months
// taken from the fiscal calendar KSKMF. New rows start with totals 0 and
// take their opening balance from the month before when the key has one.
//
// sp_xxx_UPDATE (month, year, branch, group, account[, sub 1[, sub 2]])
// brings the opening balances *_ZZAN of every later month of the key up to
// date: each month opens with the closing balance of the month before
// (opening + debit - credit for a debit-normal account, opening + credit -
// debit for a credit-normal one, KMK_TSKBN of the account in that year).
// The first month the key has keeps the opening balance it was given.
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

// Recomputes the opening balances of the key's months after fromYm.
bool chainBalances(DBAccess& db, const BalanceTable& t, qint64 branch, qint64 group, const QList<qint64>& codes,
                   qint64 fromYm) {
    const QString p = t.prefix;
    RecordsetPtr rs = db.OpenRecordset("SELECT " + p + "_YM, " + p + "_NENDO, " + p + "_ZZAN, " + p + "_KARI, " +
                                       p + "_KASI FROM " + t.table + keyCondition(t, branch, group, codes) +
                                       " ORDER BY " + p + "_YM");
    bool first = true;
    Currency close;
    QMap<qint64, qint64> sides;
    while (!rs->Eof()) {
        qint64 ym = rs->Fields(0).Value().Text().toLongLong();
        qint64 year = rs->Fields(1).Value().Text().toLongLong();
        Currency zzan = Currency::FromText(rs->Fields(2).Value().Text());
        Currency kari = Currency::FromText(rs->Fields(3).Value().Text());
        Currency kasi = Currency::FromText(rs->Fields(4).Value().Text());
        if (!first && ym > fromYm && zzan != close) {
            zzan = close;
            if (!db.Execute("UPDATE " + t.table + " SET " + p + "_ZZAN = " + zzan.ToString() +
                            keyCondition(t, branch, group, codes) + "   AND " + p + "_YM = " + QString::number(ym)))
                return false;
        }
        if (!sides.contains(year)) sides[year] = normalSide(db, year, codes[0]);
        close = sides[year] == 2 ? zzan + kasi - kari : zzan + kari - kasi;
        first = false;
        rs->MoveNext();
    }
    return true;
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
        QString cols = p + "_YM, " + p + "_SSKCD, " + p + "_GRPCD, ";
        for (const QString& k : t.keys) cols += k + ", ";
        cols += p + "_NENDO, " + p + "_ZZAN, " + p + "_KARI, " + p + "_KASI";
        for (qint64 ym : months) {
            RecordsetPtr r = db.OpenRecordset("SELECT " + p + "_YM FROM " + t.table +
                                              keyCondition(t, branch, group, codes) + "   AND " + p +
                                              "_YM = " + QString::number(ym));
            if (!r->Eof()) continue;
            QString vals = QString::number(ym) + ", " + QString::number(branch) + ", " + QString::number(group) + ", ";
            for (qint64 c : codes) vals += QString::number(c) + ", ";
            vals += QString::number(year) + ", 0, 0, 0";
            if (!db.Execute("INSERT INTO " + t.table + " (" + cols + ") VALUES (" + vals + ")")) return false;
        }
        return chainBalances(db, t, branch, group, codes, 0);
    } catch (const AppError& e) {
        db.SetError(e.Number, name + ": " + e.Description);
        return false;
    }
}

bool updateRows(DBAccess& db, const BalanceTable& t, const QString& name, const QStringList& args) {
    QList<qint64> a;
    if (!argsToNumbers(db, name, args, 4 + t.keys.size(), a)) return false;
    qint64 month = a[0], branch = a[2], group = a[3];
    QList<qint64> codes = a.mid(4);
    try {
        return chainBalances(db, t, branch, group, codes, month);
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
