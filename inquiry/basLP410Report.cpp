#include "inquiry/basLP410Report.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"
#include "platform/XlsReport.h"

#include <QApplication>
#include <QDate>
#include <set>
#include <tuple>
#include <vector>

using namespace basStdComm;
using namespace basTavik;

namespace basLP410Report {

long glngReportGrpKbn = 0;

namespace {

const QString kTemplate = QStringLiteral("WLP410.XLS");
const QString kSheet = QStringLiteral("LP410");
const QString kTitleGeneral = QStringLiteral("総　勘　定　元　帳");
const QString kTitleSub = QStringLiteral("補　助　元　帳");
constexpr long kLinesPerPage = 30;

// ---- module state, set per report
XlsReport* mobjReport = nullptr;
QString mstrTitle;
QString mstrKumiName;
QString mstrSskName;
QString mstrGrpName;
long mlngMtpKbn = 0;
bool mblnMkpKbn = false;
long mlngZziKbn = 0;
QString mstrTemplatePath;
QString mstrKamoku;      // "**KAMOKU" of the section being printed
QDate mdtYmdS;           // "**YMDS" and "**YMDE" of the page (none: empty)
QDate mdtYmdE;
QDate mdtPrint;
long mlngLine = 0;       // line index on the current page
long mlngPageCount = 0;
long mlngTotalLines = 0;
long mlngStep = 0;
long mlngShownPercent = 0;
long mlngMax = 0;
bool mblnPageOpen = false;
bool mblnProgress = false;

QString Num(long n) { return QString::number(n); }

XlsReport& Report() {
    if (!mobjReport)
        throw AppError(vbObjectError + 1, QString::fromUtf8("帳票コントロールが設定されていません。"),
                       "basLP410Report");
    return *mobjReport;
}

// A check that failed: the message under the program's title.
bool Refuse(const QString& text, int icon = vbExclamation) {
    MsgBox(text, vbOKOnly | icon);
    return false;
}

// A date given as a date or as a date text; false for anything else.
bool AsDate(const QVariant& v, QDate& d) {
    const int type = v.metaType().id();
    if (type == QMetaType::QDate) d = v.toDate();
    else if (type == QMetaType::QDateTime) d = v.toDateTime().date();
    else if (type == QMetaType::QString) d = DateValue(v.toString());
    else d = QDate();
    return d.isValid();
}

// The date of a date number; none for 0 or a number that is no date.
QDate DateOfNumber(long n) {
    if (FncGetDateKind(n) == 0) return QDate();
    try {
        return FncCnvDate(n);
    } catch (const AppError&) {
        return QDate();
    }
}

// An amount as the number a cell takes: whole amounts as integers.
QVariant Amount(Currency c) {
    if (c.Raw() % Currency::Scale == 0) return QVariant::fromValue<qlonglong>(c.Raw() / Currency::Scale);
    return QVariant(static_cast<double>(c.Raw()) / Currency::Scale);
}

// An amount cell: a number when the value is one, else its text.
QVariant NumberOrText(const QVariant& v) {
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return v;
    default: break;
    }
    const QString text = v.toString();
    if (IsNumeric(text)) return Amount(Currency::FromText(text));
    return text;
}

// A header cell; a marker the template lacks is left out.
void HeaderCell(const QString& marker, const QVariant& value) {
    try {
        Report().MarkerCell(marker).Value(value);
    } catch (const AppError& e) {
        if (e.Number != xlrErrMarkerMissing) throw;
    }
}

QVariant DateCell(const QDate& d) { return d.isValid() ? QVariant(d) : QVariant(); }

// The key that ties a line to its section: account, sub-account 1 and
// sub-account 2 as far as the level goes.
using SectionKey = std::tuple<long, long, long>;

struct Section {
    SectionKey key;
    long tskbn = 0;
    Currency opening;
    QString kmkNm, hk1Nm, hk2Nm;
};

// The balance query of the level: one row per section with its balance at
// the start of month lngYm.
QString BalanceSql(long lngLevel, long lngYm, long lngKmkFrom, long lngKmkTo, long lngHk1From, long lngHk1To,
                   long lngHk2From, long lngHk2To) {
    const QString ssk = Num(glngSskCd);
    const QString grp = Num(glngGrpCd);
    QString grpKbn;
    if (glngReportGrpKbn != 0) {
        grpKbn = "    OR(KMK_GRKBN = 2";
        grpKbn += "   AND KMK_SSKCD = " + ssk;
        grpKbn += "   AND KMK_GRPCD = " + grp;
        grpKbn += "))";
    } else {
        grpKbn = "    OR KMK_GRKBN = 1)";
    }
    QString s;
    if (lngLevel == 1) {
        s = "SELECT KMK_CD";
        s += "     , 0 AS HK1_CD";
        s += "     , 0 AS HK2_CD";
        s += "     , KMK_RNAME AS KMK_NM";
        s += "     , '' AS HK1_NM";
        s += "     , '' AS HK2_NM";
        s += "     , KMK_TSKBN";
        s += "     , KMZ_ZZAN AS ZZAN";
        s += "  FROM KMZMF";
        s += "  LEFT JOIN KMKMF";
        s += "    ON KMZ_NENDO = KMK_NENDO";
        s += "   AND KMZ_KMKCD = KMK_CD";
        s += " WHERE KMZ_YM    = " + Num(lngYm);
        s += "   AND KMZ_SSKCD = " + ssk;
        s += "   AND KMZ_GRPCD = " + grp;
        s += "   AND KMZ_KMKCD >= " + Num(lngKmkFrom);
        s += "   AND KMZ_KMKCD <= " + Num(lngKmkTo);
        s += "   AND KMK_ZOKUSEI = 0";
        s += "   AND(KMK_GRKBN = 0";
        s += grpKbn;
        s += " order by";
        s += "       KMK_SORT";
        s += "     , KMK_CD";
    } else if (lngLevel == 2) {
        s = "SELECT H1Z_KMKCD AS KMK_CD";
        s += "     , H1Z_HK1CD AS HK1_CD";
        s += "     , 0 AS HK2_CD";
        s += "     , KMK_RNAME AS KMK_NM";
        s += "     ,(CASE H1Z_HK1CD";
        s += "       WHEN 0 THEN '共通'";
        s += "       ELSE HK1_RNAME";
        s += "       END)      AS HK1_NM";
        s += "     , '' AS HK2_NM";
        s += "     , KMK_TSKBN";
        s += "     , H1Z_ZZAN AS ZZAN";
        s += "  FROM H1ZMF";
        s += "  LEFT JOIN HK1MF";
        s += "    ON H1Z_NENDO = HK1_NENDO";
        s += "   AND H1Z_KMKCD = HK1_KMKCD";
        s += "   AND H1Z_HK1CD = HK1_CD";
        s += "  LEFT JOIN KMKMF";
        s += "    ON H1Z_NENDO = KMK_NENDO";
        s += "   AND H1Z_KMKCD = KMK_CD";
        s += " WHERE H1Z_YM    = " + Num(lngYm);
        s += "   AND H1Z_SSKCD = " + ssk;
        s += "   AND H1Z_GRPCD = " + grp;
        s += "   AND H1Z_KMKCD = " + Num(lngKmkFrom);
        s += "   AND H1Z_HK1CD >= " + Num(lngHk1From);
        s += "   AND H1Z_HK1CD <= " + Num(lngHk1To);
        s += "   AND KMK_ZOKUSEI = 0";
        s += "   AND(KMK_GRKBN = 0";
        s += grpKbn;
        s += " order by";
        s += "       KMK_SORT";
        s += "     , KMK_CD";
        s += "     , CASE WHEN HK1_SORT IS NULL THEN 0 ELSE 1 END, HK1_SORT";
        s += "     , HK1_CD";
    } else {
        s = "SELECT H2Z_KMKCD AS KMK_CD";
        s += "     , H2Z_HK1CD AS HK1_CD";
        s += "     , H2Z_HK2CD AS HK2_CD";
        s += "     , KMK_RNAME AS KMK_NM";
        s += "     , HK1_RNAME AS HK1_NM";
        s += "     ,(CASE H2Z_HK2CD";
        s += "       WHEN 0 THEN '共通'";
        s += "       ELSE HK2_RNAME";
        s += "       END)      AS HK2_NM";
        s += "     , KMK_TSKBN";
        s += "     , H2Z_ZZAN  AS ZZAN";
        s += "  FROM H2ZMF";
        s += "  LEFT JOIN HK2MF";
        s += "    ON H2Z_NENDO = HK2_NENDO";
        s += "   AND H2Z_SSKCD = HK2_SSKCD";
        s += "   AND H2Z_GRPCD = HK2_GRPCD";
        s += "   AND H2Z_KMKCD = HK2_KMKCD";
        s += "   AND H2Z_HK1CD = HK2_HK1CD";
        s += "   AND H2Z_HK2CD = HK2_CD";
        s += "  LEFT JOIN HK1MF";
        s += "    ON H2Z_NENDO = HK1_NENDO";
        s += "   AND H2Z_KMKCD = HK1_KMKCD";
        s += "   AND H2Z_HK1CD = HK1_CD";
        s += "  LEFT JOIN KMKMF";
        s += "    ON H2Z_NENDO = KMK_NENDO";
        s += "   AND H2Z_KMKCD = KMK_CD";
        s += " WHERE H2Z_YM    = " + Num(lngYm);
        s += "   AND H2Z_SSKCD = " + ssk;
        s += "   AND H2Z_GRPCD = " + grp;
        s += "   AND H2Z_KMKCD = " + Num(lngKmkFrom);
        s += "   AND H2Z_HK1CD = " + Num(lngHk1From);
        s += "   AND H2Z_HK2CD >= " + Num(lngHk2From);
        s += "   AND H2Z_HK2CD <= " + Num(lngHk2To);
        s += "   AND KMK_ZOKUSEI = 0";
        s += " order by";
        s += "       KMK_SORT";
        s += "     , KMK_CD";
        s += "     , CASE WHEN HK1_SORT IS NULL THEN 0 ELSE 1 END, HK1_SORT";
        s += "     , HK1_CD";
        s += "     , CASE WHEN HK2_SORT IS NULL THEN 0 ELSE 1 END, HK2_SORT";
        s += "     , HK2_CD";
    }
    return s;
}

// Every voucher line of the range, in section order, then by date, number
// and line. The tax name is the one in force on the voucher date, so that a
// tax code with several periods still gives one row per line.
QString DetailSql(long lngLevel, long lngYmFrom, long lngYmTo, long lngKmkFrom, long lngKmkTo, long lngHk1From,
                  long lngHk1To, long lngHk2From, long lngHk2To) {
    QString s = "SELECT DNH_YM";
    s += "     , DNH_DENNO";
    s += "     , DNH_DATE";
    s += "     , DNM_KMKCD";
    s += "     , DNM_HK1CD";
    s += "     , DNM_HK2CD";
    s += "     , DNM_AKMKCD";
    s += "     , DNM_AHK1CD";
    s += "     , DNM_AHK2CD";
    s += "     , AKMK.KMK_RNAME AS KMK_RNAME";
    s += "     , AHK1.HK1_RNAME AS HK1_RNAME";
    s += "     , AHK2.HK2_RNAME AS HK2_RNAME";
    s += "     , DNM_TSKBN";
    s += "     , DNM_KIN";
    s += "     , DNM_TEKIYO";
    s += "     , DNM_ZKBN";
    s += "     , ZEI_NAME";
    s += "  FROM V_DENDT";
    s += "  LEFT JOIN KMKMF AS ZKMK";
    s += "    ON DNH_NENDO = ZKMK.KMK_NENDO";
    s += "   AND DNM_KMKCD = ZKMK.KMK_CD";
    s += "  LEFT JOIN HK1MF AS ZHK1";
    s += "    ON DNH_NENDO = ZHK1.HK1_NENDO";
    s += "   AND DNM_KMKCD = ZHK1.HK1_KMKCD";
    s += "   AND DNM_HK1CD = ZHK1.HK1_CD";
    s += "  LEFT JOIN HK2MF AS ZHK2";
    s += "    ON DNH_NENDO = ZHK2.HK2_NENDO";
    s += "   AND DNH_SSKCD = ZHK2.HK2_SSKCD";
    s += "   AND DNH_GRPCD = ZHK2.HK2_GRPCD";
    s += "   AND DNM_KMKCD = ZHK2.HK2_KMKCD";
    s += "   AND DNM_HK1CD = ZHK2.HK2_HK1CD";
    s += "   AND DNM_HK2CD = ZHK2.HK2_CD";
    s += "  LEFT JOIN KMKMF AS AKMK";
    s += "    ON DNH_NENDO  = AKMK.KMK_NENDO";
    s += "   AND DNM_AKMKCD = AKMK.KMK_CD";
    s += "  LEFT JOIN HK1MF AS AHK1";
    s += "    ON DNH_NENDO  = AHK1.HK1_NENDO";
    s += "   AND DNM_AKMKCD = AHK1.HK1_KMKCD";
    s += "   AND DNM_AHK1CD = AHK1.HK1_CD";
    s += "  LEFT JOIN HK2MF AS AHK2";
    s += "    ON DNH_NENDO  = AHK2.HK2_NENDO";
    s += "   AND DNH_SSKCD  = AHK2.HK2_SSKCD";
    s += "   AND DNH_GRPCD  = AHK2.HK2_GRPCD";
    s += "   AND DNM_AKMKCD = AHK2.HK2_KMKCD";
    s += "   AND DNM_AHK1CD = AHK2.HK2_HK1CD";
    s += "   AND DNM_AHK2CD = AHK2.HK2_CD";
    s += FncJoinTaxInForce("DNM_ZKBN", "DNH_DATE");
    s += " WHERE DNH_SSKCD = " + Num(glngSskCd);
    s += "   AND DNH_GRPCD = " + Num(glngGrpCd);
    if (lngLevel == 1) {
        s += "   AND DNM_KMKCD >= " + Num(lngKmkFrom);
        s += "   AND DNM_KMKCD <= " + Num(lngKmkTo);
    } else {
        s += "   AND DNM_KMKCD = " + Num(lngKmkFrom);
    }
    if (lngLevel == 2) {
        s += "   AND DNM_HK1CD >= " + Num(lngHk1From);
        s += "   AND DNM_HK1CD <= " + Num(lngHk1To);
    } else if (lngLevel == 3) {
        s += "   AND DNM_HK1CD = " + Num(lngHk1From);
        s += "   AND DNM_HK2CD >= " + Num(lngHk2From);
        s += "   AND DNM_HK2CD <= " + Num(lngHk2To);
    }
    s += "   AND DNH_YM   >= " + Num(lngYmFrom);
    s += "   AND DNH_YM   <= " + Num(lngYmTo);
    s += " order by";
    s += "       ZKMK.KMK_SORT";
    s += "     , DNM_KMKCD";
    // A code without a master row (0, common to all) comes first on every
    // database (some sort a Null last).
    if (lngLevel >= 2) {
        s += "     , CASE WHEN ZHK1.HK1_SORT IS NULL THEN 0 ELSE 1 END, ZHK1.HK1_SORT";
        s += "     , DNM_HK1CD";
    }
    if (lngLevel == 3) {
        s += "     , CASE WHEN ZHK2.HK2_SORT IS NULL THEN 0 ELSE 1 END, ZHK2.HK2_SORT";
        s += "     , DNM_HK2CD";
    }
    s += "     , DNH_DATE";
    s += "     , DNH_DENNO";
    s += "     , DNM_GYO";
    return s;
}

// The checks of the conditions, in their order. On success the fiscal
// year's first and last month.
bool CheckConditions(long lngLevel, const QVariant& varDateFrom, const QVariant& varDateTo, long lngKmkFrom,
                     long lngKmkTo, long lngHk1From, long lngHk1To, long lngHk2From, long lngHk2To, long& lngYmFrom,
                     long& lngYmTo, long& lngNendo, long& lngKsym, long& lngLastYm) {
    QDate dtFrom, dtTo;
    if (!AsDate(varDateFrom, dtFrom) || !AsDate(varDateTo, dtTo)) return Refuse("伝票日付を入力して下さい。");
    if (dtFrom > dtTo) return Refuse("伝票日付の開始と終了の大小関係が逆になっています。");

    lngYmFrom = MonthNumber(dtFrom);
    lngYmTo = MonthNumber(dtTo);
    if (!FncIsSameNendo(lngYmFrom, lngYmTo))
        return Refuse("伝票日付の開始と終了は、決算年度が違うため元帳照会できません。");
    lngNendo = FncGetKskNendo(lngYmFrom, 0, 0);
    if (lngNendo == 0) return Refuse("年度の取得に失敗しました。");
    DbValue ksym;
    if (!fncGetField(FncGetKskRs(lngNendo, 0, 0), "KSK_KSYM", ksym))
        return Refuse("期首年月を取得出来ませんでした。", vbCritical);
    lngKsym = ValLng(ksym);
    lngLastYm = MonthNumber(AddMonths(FncCnvDate(lngKsym), 11));

    // The window asks for level 0 when no account is given.
    if (lngKmkFrom == 0 || lngLevel < 1 || lngLevel > 3) return Refuse("科目を入力してください。");
    const QString kmkUnusable = "科目が登録されていないか、この組織、グループでは利用できない科目です。";
    if (lngLevel == 1) {
        if (lngKmkTo == 0) return Refuse("科目を入力してください。");
        if (lngKmkTo < lngKmkFrom) return Refuse("科目の開始と終了の大小関係が逆になっています。");
        if (lngKmkFrom == lngKmkTo && !FncIsKmkUsable(lngKmkFrom, lngNendo)) return Refuse(kmkUnusable);
        return true;
    }
    if (!FncIsKmkUsable(lngKmkFrom, lngNendo)) return Refuse(kmkUnusable);

    if (lngHk1From == 0) return Refuse("補助科目１を入力してください。");
    if (lngLevel == 2) {
        if (lngHk1To == 0) return Refuse("補助科目１を入力してください。");
        if (lngHk1To < lngHk1From) return Refuse("補助科目１の開始と終了の大小関係が逆になっています。");
        if (lngHk1From == lngHk1To && !FncExistHk1(lngKmkFrom, lngHk1From, lngNendo))
            return Refuse("補助科目１が登録されていません。");
        return true;
    }
    if (!FncExistHk1(lngKmkFrom, lngHk1From, lngNendo)) return Refuse("補助科目１が登録されていません。");

    if (lngHk2From == 0 || lngHk2To == 0) return Refuse("補助科目２を入力してください。");
    if (lngHk2To < lngHk2From) return Refuse("補助科目２の開始と終了の大小関係が逆になっています。");
    if (lngHk2From == lngHk2To && !FncExistHk2(lngKmkFrom, lngHk1From, lngHk2From, lngNendo))
        return Refuse("補助科目２が登録されていないか、この組織、グループでは利用できない科目です。");
    return true;
}

// Drops the report after an error or when it came out empty.
void DropReport() {
    mblnPageOpen = false;
    if (mobjReport) mobjReport->Abort();
}

// The user asked to stop: true when the answer is yes (the report is then
// dropped), else the request is forgotten.
bool ConfirmStop() {
    if (MsgBox("処理を中止しますか", vbYesNo | vbInformation) == vbYes) {
        DropReport();
        return true;
    }
    gobjProgress->CancelRequested(false);
    return false;
}

// Inside a long section: the bar follows the lines written and the dialog
// paints and takes a cancel once a page. True when the user confirmed the
// stop.
bool fncPollProgress(long lngLinesDone, long lngLinesTotal) {
    if (!mblnProgress || lngLinesDone % kLinesPerPage != 0) return false;
    gobjProgress->Detail(lngLinesDone, lngLinesTotal);
    if (!gobjProgress->Poll()) return false;
    return ConfirmStop();
}

}  // namespace

// ---------------------------------------------------------------- settings

long fncGetMtpKbn(long lngSskCd) {
    return ValLng(fncLookupField("SSK_MTPKBN", "SSKMF", "SSK_CD =" + Num(lngSskCd == 0 ? glngSskCd : lngSskCd)));
}

long fncGetMkpKbn(long lngSskCd) {
    return ValLng(fncLookupField("SSK_MKPKBN", "SSKMF", "SSK_CD =" + Num(lngSskCd == 0 ? glngSskCd : lngSskCd)));
}

long fncGetZziKbn(long lngSskCd) {
    return ValLng(fncLookupField("SSK_ZZIKBN", "SSKMF", "SSK_CD =" + Num(lngSskCd == 0 ? glngSskCd : lngSskCd)));
}

QString fncGetKumiName() { return fncLookupField("CNT_KUMINAME", "CNTMF", "CNT_KEY = 1"); }

bool fncGetField(RecordsetPtr rs, const QString& strField, DbValue& varValue) {
    if (!rs) return false;
    bool found = false;
    if (!rs->Eof()) {
        varValue = rs->Fields(strField).Value();
        found = true;
    }
    rs->Close();
    return found;
}

// ---------------------------------------------------------------- the report

void SetReportControl(XlsReport* report) { mobjReport = report; }

namespace {

// The name the report goes out under (the print job, a PDF file): the
// title, the codes of the ledger (a range as "from-to") and the months.
QString LedgerOutputName(long lngLevel, long lngYmFrom, long lngYmTo, long lngKmkFrom, long lngKmkTo,
                         long lngHk1From, long lngHk1To, long lngHk2From, long lngHk2To) {
    auto range = [](long from, long to) {
        return from == to ? QString::number(from) : QString::number(from) + "-" + QString::number(to);
    };
    QString name = mstrTitle;
    name.remove(QChar(0x3000));
    if (lngLevel == 1)
        name += "_" + range(lngKmkFrom, lngKmkTo);
    else if (lngLevel == 2)
        name += "_" + QString::number(lngKmkFrom) + "_" + range(lngHk1From, lngHk1To);
    else
        name += "_" + QString::number(lngKmkFrom) + "_" + QString::number(lngHk1From) + "_" +
                range(lngHk2From, lngHk2To);
    return name + "_" + range(lngYmFrom, lngYmTo);
}

}  // namespace

QString fncGetReportTitle() { return mstrTitle; }

void BeginLedgerReport() {
    XlsReport& rep = Report();
    // The conversion of the pages shows in the progress dialog, and its
    // cancel asks the same question as during the fill.
    rep.ConversionProgress(&*gobjProgress, [] { return MsgBox("処理を中止しますか", vbYesNo | vbInformation) == vbYes; });
    rep.TemplateFile(mstrTemplatePath);
    rep.BeginReport();
    mlngLine = 0;
    mlngPageCount = 0;
    mlngTotalLines = 0;
    mlngStep = 0;
    mlngShownPercent = 0;
    mdtYmdS = QDate();
    mdtYmdE = QDate();
    mdtPrint = Today();
    mblnPageOpen = false;
}

void StartLedgerPage() {
    EndLedgerPage();
    Report().NewPage(kSheet, "1");
    ++mlngPageCount;
    HeaderCell("**TITLE", mstrTitle);
    HeaderCell("**MUMI", mstrKumiName);
    HeaderCell("**SSK", mstrSskName);
    HeaderCell("**GRP", mstrGrpName);
    HeaderCell("**KAMOKU", mstrKamoku);
    HeaderCell("**YMDS", DateCell(mdtYmdS));
    HeaderCell("**YMDE", DateCell(mdtYmdE));
    HeaderCell("**PAGE", QVariant::fromValue<qlonglong>(mlngPageCount));
    HeaderCell("**PRDT", DateCell(mdtPrint));
    mblnPageOpen = true;
}

void EndLedgerPage() {
    if (!mblnPageOpen) return;
    mblnPageOpen = false;
    Report().EndPage();
}

void WriteLedgerLine(const QVariant& varDate, const QVariant& varDenNo, const QVariant& varAKmk,
                     const QVariant& varAHk1, const QVariant& varAHk2, const QVariant& varZkbn,
                     const QVariant& varKari, const QVariant& varKasi, const QVariant& varZand,
                     const QVariant& varTekiyo) {
    mlngLine = mlngLine % kLinesPerPage;
    if (mlngLine == 0) StartLedgerPage();
    XlsReport& rep = Report();
    const long row = 2 * mlngLine;
    rep.MarkerCell("**DATE", 0, row).Value(varDate.toString());
    rep.MarkerCell("**DENO", 0, row).Value(varDenNo.toString());
    rep.MarkerCell("**AKMK", 0, row).Value(varAKmk.toString());
    rep.MarkerCell("**AHK1", 0, row).Value(varAHk1.toString());
    rep.MarkerCell("**AHK2", 0, row).Value(varAHk2.toString());
    rep.MarkerCell("**ZKBN", 0, row).Value(varZkbn.toString());
    rep.MarkerCell("**KARI", 0, row).Value(NumberOrText(varKari));
    rep.MarkerCell("**KASI", 0, row).Value(NumberOrText(varKasi));
    rep.MarkerCell("**ZAND", 0, row).Value(NumberOrText(varZand));
    rep.MarkerCell("**TEKIYO", 0, row).Value(varTekiyo.toString());
    ++mlngTotalLines;
    ++mlngLine;
}

bool fncMakeLedgerReport(long lngLevel, const QVariant& varDateFrom, const QVariant& varDateTo, long lngKmkFrom,
                         long lngKmkTo, long lngHk1From, long lngHk1To, long lngHk2From, long lngHk2To) {
    RecordsetPtr rsZan;
    RecordsetPtr rsDetail;
    try {
        // 1. Settings.
        mstrKumiName = fncGetKumiName();
        mstrSskName = FncGetSskName(0);
        mstrGrpName = FncGetGrpName(0, 0);
        mlngMtpKbn = fncGetMtpKbn(0);
        mblnMkpKbn = fncGetMkpKbn(0) == 1;
        mlngZziKbn = fncGetZziKbn(0);
        mstrTemplatePath = gstrReportPath + kTemplate;

        // 2. to 6.
        long lngYmFrom = 0, lngYmTo = 0, lngNendo = 0, lngKsym = 0, lngLastYm = 0;
        if (!CheckConditions(lngLevel, varDateFrom, varDateTo, lngKmkFrom, lngKmkTo, lngHk1From, lngHk1To,
                             lngHk2From, lngHk2To, lngYmFrom, lngYmTo, lngNendo, lngKsym, lngLastYm))
            return false;

        mstrTitle = lngLevel == 1 ? kTitleGeneral : kTitleSub;
        gstrSQL = BalanceSql(lngLevel, lngYmFrom, lngKmkFrom, lngKmkTo, lngHk1From, lngHk1To, lngHk2From, lngHk2To);
        rsZan = gobjDB->OpenRecordset(gstrSQL);

        long lngPrinted = 0;
        if (!rsZan->Eof()) {
            std::vector<Section> sections;
            for (; !rsZan->Eof(); rsZan->MoveNext()) {
                Section s;
                s.key = {ValLng(rsZan->Fields("KMK_CD").Value()), ValLng(rsZan->Fields("HK1_CD").Value()),
                         ValLng(rsZan->Fields("HK2_CD").Value())};
                s.tskbn = ValLng(rsZan->Fields("KMK_TSKBN").Value());
                s.opening = ValCur(rsZan->Fields("ZZAN").Value());
                s.kmkNm = rsZan->Fields("KMK_NM").Value().Text();
                s.hk1Nm = rsZan->Fields("HK1_NM").Value().Text();
                s.hk2Nm = rsZan->Fields("HK2_NM").Value().Text();
                sections.push_back(s);
            }
            rsZan.reset();

            gstrSQL = DetailSql(lngLevel, lngYmFrom, lngYmTo, lngKmkFrom, lngKmkTo, lngHk1From, lngHk1To,
                                lngHk2From, lngHk2To);
            rsDetail = gobjDB->OpenRecordset(gstrSQL);
            const long lngLinesTotal = rsDetail->RecordCount();
            long lngLinesDone = 0;
            auto L = [&](const char* field) { return ValLng(rsDetail->Fields(QString::fromLatin1(field)).Value()); };
            auto T = [&](const char* field) { return rsDetail->Fields(QString::fromLatin1(field)).Value().Text(); };
            auto lineKey = [&]() -> SectionKey {
                return {L("DNM_KMKCD"), lngLevel >= 2 ? L("DNM_HK1CD") : 0, lngLevel == 3 ? L("DNM_HK2CD") : 0};
            };
            // Sections still to come: a line of none of them (an account
            // without a balance row) is passed over.
            std::set<SectionKey> remaining;
            for (const Section& s : sections) remaining.insert(s.key);

            // 1.
            BeginLedgerReport();
            Report().OutputName(LedgerOutputName(lngLevel, lngYmFrom, lngYmTo, lngKmkFrom, lngKmkTo, lngHk1From,
                                                 lngHk1To, lngHk2From, lngHk2To));
            if (!mblnMkpKbn) {
                mdtYmdS = DateOfNumber(FncGetKskMonKaisi(lngYmFrom, 0, 0));
                mdtYmdE = DateOfNumber(FncGetKskSime(lngYmTo, 0, 0));
            }
            // 2.
            OpenProgress(static_cast<long>(sections.size()), mstrTitle, "レポートを展開中");
            // The bar follows the lines: one account can fill most of the report.
            gobjProgress->Detail(0, lngLinesTotal);

            // 3.
            for (const Section& sec : sections) {
                if (fncStepProgress()) {
                    rsDetail.reset();
                    CloseProgress();
                    return false;
                }
                mlngLine = 0;
                Currency curZan = sec.opening;
                const auto [kmk, hk1, hk2] = sec.key;
                mstrKamoku = Num(kmk) + ":" + sec.kmkNm;
                if (lngLevel >= 2) mstrKamoku += " / " + Num(hk1) + ":" + sec.hk1Nm;
                if (lngLevel == 3) mstrKamoku += " / " + Num(hk2) + ":" + sec.hk2Nm;
                while (!rsDetail->Eof() && !remaining.count(lineKey())) rsDetail->MoveNext();

                // 4. Month by month.
                QDate month = FncCnvDate(lngYmFrom);
                for (long ym = lngYmFrom; ym <= lngYmTo; month = AddMonths(month, 1), ym = MonthNumber(month)) {
                    if (mblnMkpKbn) {
                        long st = 0, en = 0;
                        if (FncGetKskMonStEnd(ym, st, en, 0, 0)) {
                            mdtYmdS = DateOfNumber(st);
                            mdtYmdE = DateOfNumber(en);
                        } else {
                            mdtYmdS = QDate();
                            mdtYmdE = QDate();
                        }
                    }
                    // A line of this section up to this month (lines come
                    // in date order, so none is left behind).
                    auto lineOfMonth = [&] {
                        return !rsDetail->Eof() && lineKey() == sec.key && L("DNH_YM") <= ym;
                    };
                    const bool blnPrint =
                        lineOfMonth() || ((!curZan.IsZero() || mlngZziKbn == 1) &&
                                          (mlngMtpKbn == 0 ||
                                           (mlngMtpKbn == 1 && (ym == lngKsym || ym == lngLastYm))));
                    if (!blnPrint) continue;

                    // 4.1 to 4.3
                    Currency curKariM, curKasiM;
                    ++lngPrinted;
                    if (ym != lngYmFrom) WriteLedgerLine("", "", "", "", "", "", "", "", "", "");
                    const Currency curKariK = sec.tskbn == 1 ? curZan : Currency();
                    const Currency curKasiK = sec.tskbn == 2 ? curZan : Currency();
                    WriteLedgerLine("", "", "", "", ym == lngKsym ? "前期繰越金" : "前月繰越金", "",
                                    Amount(curKariK), Amount(curKasiK), Amount(curZan), "");

                    // 4.4
                    for (; lineOfMonth(); rsDetail->MoveNext()) {
                        if (fncPollProgress(++lngLinesDone, lngLinesTotal)) {
                            rsDetail.reset();
                            CloseProgress();
                            return false;
                        }
                        const Currency curKin = ValCur(rsDetail->Fields("DNM_KIN").Value());
                        const long lngTsKbn = L("DNM_TSKBN");
                        if (lngTsKbn == sec.tskbn) curZan += curKin;
                        else curZan -= curKin;
                        QVariant varKari = QString(), varKasi = QString();
                        if (lngTsKbn == 1) {
                            varKari = Amount(curKin);
                            curKariM += curKin;
                        } else if (lngTsKbn == 2) {
                            varKasi = Amount(curKin);
                            curKasiM += curKin;
                        }
                        const long lngDate = L("DNH_DATE");
                        const QString strDate = lngDate == 0 ? QString() : FncCnvDate(lngDate).toString("yyyy/MM/dd");
                        const bool blnShokuchi = L("DNM_AKMKCD") == 0 && L("DNM_AHK1CD") == 0 && L("DNM_AHK2CD") == 0;
                        WriteLedgerLine(strDate, T("DNH_DENNO"), blnShokuchi ? QString("諸口") : T("KMK_RNAME"),
                                        T("HK1_RNAME"), T("HK2_RNAME"), T("ZEI_NAME"), varKari, varKasi,
                                        Amount(curZan), T("DNM_TEKIYO"));
                    }

                    // 4.5 and 4.6
                    const Currency curNet = sec.tskbn == 1 ? curKariM - curKasiM : curKasiM - curKariM;
                    WriteLedgerLine("", "", "", "", QString::number(month.month()) + "月合計", "", Amount(curKariM),
                                    Amount(curKasiM), Amount(curNet), "");
                    WriteLedgerLine("", "", "", "", ym == lngLastYm ? "次期繰越金" : "次月繰越金", "",
                                    Amount(curKariK + curKariM), Amount(curKasiK + curKasiM), Amount(curZan), "");
                    // 4.7
                    if (mblnMkpKbn) mlngLine = 0;
                }
                remaining.erase(sec.key);
            }
            rsDetail.reset();
        }

        // 5.
        CloseProgress();
        EndLedgerPage();
        if (lngPrinted == 0) {
            DropReport();
            MsgBox("印刷するデータは、ありませんでした。", vbOKOnly | vbExclamation);
            return false;
        }
        return true;
    } catch (const AppError& e) {
        rsZan.reset();
        rsDetail.reset();
        try {
            EndLedgerPage();
        } catch (const AppError&) {
        }
        DropReport();
        CloseProgress();
        ShowErrMsg(e);
        return false;
    }
}

// ---------------------------------------------------------------- progress

void OpenProgress(long lngMax, const QString& strTitle, const QString& strMessage) {
    QString title = strTitle;
    title.remove(QChar(0x3000));
    gobjProgress->Title(title);
    gobjProgress->Message(strMessage);
    gobjProgress->Position(0);
    gobjProgress->Max(lngMax);
    // A stop asked for after the last report must not end this one.
    gobjProgress->CancelRequested(false);
    mlngMax = lngMax;
    mlngStep = 0;
    mlngShownPercent = 0;
    mblnProgress = true;
    gobjProgress->Show();
}

bool fncStepProgress() {
    try {
        ++mlngStep;
        const long p = mlngMax > 0 ? mlngStep * 100 / mlngMax : 100;
        if (p > mlngShownPercent) {
            ++mlngShownPercent;
            gobjProgress->Position(mlngStep);
            QApplication::processEvents();
            if (gobjProgress->CancelRequested() && ConfirmStop()) return true;
        }
        return false;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

void CloseProgress() {
    if (mblnProgress) gobjProgress->Hide();
    mblnProgress = false;
}

}  // namespace basLP410Report
