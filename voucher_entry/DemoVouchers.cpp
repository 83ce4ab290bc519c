#include "voucher_entry/DemoVouchers.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/InputFields.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <vector>

using namespace basStdComm;

namespace DemoVouchers {

namespace {

// One grid row: the debit half, then the credit half. A credit amount of
// "" takes the debit half's amount plus tax, so the row balances.
struct Row {
    long dr, dr1, dr2;
    QString drAmount;
    long cr, cr1, cr2;
    QString crAmount;
    QString text;
    long partner = 0;
};

struct Voucher {
    int day;
    QString description;
    std::vector<Row> rows;
};

const std::vector<Voucher>& Month() {
    static const std::vector<Voucher> v = {
        {1, "事務所家賃 当月分", {{650, 0, 0, "220000", 110, 1, 0, "", "事務所家賃", 0}}},
        {3, "小口現金補充", {{100, 0, 0, "100000", 110, 1, 0, "", "普通預金より現金引出", 0}}},
        {5, "売上計上 青葉商会", {{130, 1, 0, "", 400, 0, 0, "450000", "商品売上 青葉商会", 1}}},
        {7, "文具購入", {{630, 0, 0, "3200", 100, 0, 0, "", "コピー用紙・文具", 0}}},
        {8, "仕入 山中製作所", {{500, 0, 0, "180000", 200, 1, 0, "", "部品仕入", 0}}},
        {10, "電話料金", {{620, 0, 0, "12800", 110, 1, 0, "", "電話料金 口座振替", 0}}},
        {12, "売上計上 東都システム", {{130, 3, 0, "", 400, 0, 0, "275000", "保守サービス売上", 0}}},
        {14, "出張旅費", {{610, 0, 0, "28600", 100, 0, 0, "", "大阪出張 新幹線代", 0}}},
        {15, "売掛金入金 青葉商会", {{110, 1, 0, "495000", 130, 1, 0, "", "売掛金回収 青葉商会", 1}}},
        {18, "電気料金", {{640, 0, 0, "15400", 110, 2, 0, "", "電気料金 口座振替", 0}}},
        {20, "振込手数料", {{660, 0, 0, "660", 110, 1, 0, "", "振込手数料", 0}}},
        {22, "会議茶菓代", {{670, 0, 0, "2400", 100, 0, 0, "", "来客用茶菓子", 0}}},
        {25,
         "給与支払",
         {{600, 0, 0, "850000", 220, 1, 0, "32000", "源泉所得税", 0},
          {0, 0, 0, "", 220, 2, 0, "28000", "住民税", 0},
          {0, 0, 0, "", 220, 3, 1, "42000", "健康保険料", 0},
          {0, 0, 0, "", 220, 3, 2, "77000", "厚生年金保険料", 0},
          {0, 0, 0, "", 220, 3, 3, "5100", "雇用保険料", 0},
          {0, 0, 0, "", 110, 1, 0, "665900", "給与振込", 0}}},
        {27, "買掛金支払 山中製作所", {{200, 1, 0, "198000", 110, 2, 0, "", "買掛金支払 山中製作所", 0}}},
    };
    return v;
}

// The statement setting the closing columns of a fiscal year's period row.
QString closingUpdate(long year, const QString& set) {
    return "UPDATE KSKMF SET " + set + " WHERE KSK_NENDO = " + QString::number(year) +
           " AND KSK_SSKCD IN (0, " + QString::number(glngSskCd) + ") AND KSK_GRPCD IN (0, " +
           QString::number(glngGrpCd) + ")";
}

int g_messages = 0;
QString g_lastMessage;

}  // namespace

bool Enter(const QDate& today, QString* error) {
    g_messages = 0;
    SetMsgBoxHandler([](const MsgBoxCall& c) {
        ++g_messages;
        g_lastMessage = c.prompt;
        return c.buttons() == vbYesNo ? static_cast<int>(vbNo) : static_cast<int>(vbOK);
    });
    struct Restore {
        ~Restore() { SetMsgBoxHandler(nullptr); }
    } restore;

    // The days of the demo: the last two months of the previous fiscal
    // year, and the open year from the month before today's up to today.
    const long todayNumber = DateNumber(today);
    const long openYear = basTavik::FncGetKskNendo(todayNumber, 0, 0);
    if (openYear == 0) {
        if (error) *error = today.toString("yyyy/MM/dd") + ": 決算期間マスタにない日付です。";
        return false;
    }
    RecordsetPtr open = basTavik::FncGetKskRs(openYear, 0, 0);
    RecordsetPtr previous = basTavik::FncGetKskRs(openYear - 1, 0, 0);
    if (!open || open->Eof()) {
        if (error) *error = "決算期間マスタの取得に失敗しました。";
        return false;
    }
    const QDate openStart = basTavik::FncCnvDate(ValLng(open->Fields("KSK_KIST").Value()));
    const QDate thisMonth(today.year(), today.month(), 1);
    QDate from = AddMonths(thisMonth, -1);
    if (from < openStart) from = openStart;
    std::vector<QDate> months;
    const bool withPrevious = previous && !previous->Eof();
    if (withPrevious) {
        const QDate previousEnd = basTavik::FncCnvDate(ValLng(previous->Fields("KSK_KIEND").Value()));
        const QDate last(previousEnd.year(), previousEnd.month(), 1);
        months = {AddMonths(last, -1), last};
    }
    for (QDate m(from.year(), from.month(), 1); m <= thisMonth; m = AddMonths(m, 1)) months.push_back(m);

    // The previous year's vouchers were entered before its closing: the
    // year is open while they are entered and closed again afterwards.
    QString previousClosing;
    if (withPrevious) {
        previousClosing = " KSK_NUP = " + QString::number(ValLng(previous->Fields("KSK_NUP").Value())) +
                          ", KSK_GUP = " + QString::number(ValLng(previous->Fields("KSK_GUP").Value()));
        if (!gobjDB->Execute(closingUpdate(openYear - 1, "KSK_NUP = 0, KSK_GUP = 0"))) {
            if (error) *error = gobjDB->ErrorText();
            return false;
        }
    }
    struct CloseAgain {
        QString sql;
        ~CloseAgain() {
            if (!sql.isEmpty()) gobjDB->Execute(sql);
        }
    } closeAgain{withPrevious ? closingUpdate(openYear - 1, previousClosing) : QString()};

    for (const QDate& first : months) {
        for (const Voucher& v : Month()) {
            const QDate date(first.year(), first.month(), v.day);
            if (!date.isValid() || date > today) continue;
            const long d = DateNumber(date);
            const long year = basTavik::FncGetKskNendo(d, 0, 0);
            if (year == 0) continue;
            RecordsetPtr ksk = basTavik::FncGetKskRs(year, 0, 0);
            if (!ksk || ksk->Eof() || Val(ksk->Fields("KSK_NUP").Value()) > 0 ||
                d <= ValLng(ksk->Fields("KSK_GUP").Value()))
                continue;

            basWKE410::gstrEditMode = "I";
            basWKE410::gstrStartMode = "";
            basWKE410::glngDenYm = basWKE410::glngDenNendo = basWKE410::glngDenNo = 0;
            frmKE410 f;
            f.txtDate->NumValue(d);
            f.ApplyVoucherDate();
            f.txtNDate->NumValue(d);
            f.txtDTekiyo->Value(v.description);
            VoucherGrid* g = f.denMeisai;
            auto put = [&](int row, const QString& key, const QString& value) {
                g->setCurrentRow(row);
                g->setCurrentKey(key);
                g->setCell(key, row, value);
            };
            int r = 0;
            for (const Row& row : v.rows) {
                if (row.dr) {
                    put(r, "KRKMKCD", QString::number(row.dr));
                    if (row.dr1) put(r, "KRHK1CD", QString::number(row.dr1));
                    if (row.dr2) put(r, "KRHK2CD", QString::number(row.dr2));
                    if (!row.drAmount.isEmpty()) put(r, "KRKIN", row.drAmount);
                }
                if (row.cr) {
                    put(r, "KSKMKCD", QString::number(row.cr));
                    if (row.cr1) put(r, "KSHK1CD", QString::number(row.cr1));
                    if (row.cr2) put(r, "KSHK2CD", QString::number(row.cr2));
                    if (!row.crAmount.isEmpty()) put(r, "KSKIN", row.crAmount);
                }
                // The half without an amount takes the other half's total.
                if (row.dr && row.drAmount.isEmpty())
                    put(r, "KRKIN", (ValCur(g->Cell("KSKIN", r)) + ValCur(g->Cell("KSTAX", r))).ToString());
                if (row.cr && row.crAmount.isEmpty())
                    put(r, "KSKIN", (ValCur(g->Cell("KRKIN", r)) + ValCur(g->Cell("KRTAX", r))).ToString());
                if (row.partner) put(r, row.dr ? "KRTRICD" : "KSTRICD", QString::number(row.partner));
                put(r, row.dr ? "KRTEKI" : "KSTEKI", row.text);
                ++r;
            }
            f.cmdUpd_Click();
            if (g_messages != 0 || f.blnChanged) {
                if (error) *error = date.toString("yyyy/MM/dd") + " " + v.description + ": " + g_lastMessage;
                return false;
            }
        }
    }
    return true;
}

}  // namespace DemoVouchers
