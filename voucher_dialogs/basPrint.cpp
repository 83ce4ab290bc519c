#include "voucher_dialogs/basPrint.h"

#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"
#include "platform/XlsReport.h"

#include <QApplication>
#include <QScreen>
#include <cmath>

using namespace basStdComm;
using namespace basTavik;

namespace basPrint {

namespace {

constexpr long errDivisionByZero = 11;

QString Num(long n) { return QString::number(n); }

bool HasEightDigits(long n) { return n >= 10000000 && n <= 99999999; }

// A yyyymmdd number that names a real day (no carrying of a day or month
// out of range).
bool IsRealDate(long n) { return QDate::isValid(static_cast<int>(n / 10000), static_cast<int>(n / 100 % 100), static_cast<int>(n % 100)); }

// "FuriDenFormat" as a whole number: the number of its text, rounded half
// to even as an Integer conversion does.
int FormatCode(const QString& text) {
    const double r = std::nearbyint(Val(text));
    if (r > 32767 || r < -32768)
        throw AppError(errOverflow, QString::fromUtf8("オーバーフローしました。"), "fncPrintVouchers");
    return static_cast<int>(r);
}

// "a" or "a-b".
QString Range(long from, long to) { return from == to ? Num(from) : Num(from) + "-" + Num(to); }

// The name the print goes out under (the print job, a PDF file): the
// report and which vouchers, by numbering period and numbers, by voucher
// dates or by input dates.
QString OutputName(long keyFrom, long keyTo, long noFrom, long noTo, long inputFrom, long inputTo) {
    QString name = QString::fromUtf8("振替伝票_");
    if (noTo > 0) return name + Num(keyFrom) + "_No" + Range(noFrom, noTo);
    if (inputFrom == 0) return name + Range(keyFrom, keyTo);
    return name + QString::fromUtf8("入力日") + Range(inputFrom, inputTo);
}

// Preview size in pixels from a size in twips.
int TwipsToPixels(double twips, double dotsPerInch) {
    return static_cast<int>(std::nearbyint(twips / (1440.0 / dotsPerInch)));
}

// One run of the voucher print: the working state of the Data model and
// the block procedures that share it.
class VoucherPrint {
public:
    VoucherPrint(XlsReport& report, bool showProgress, long inputFrom, long person)
        : rep_(report), progress_(showProgress), inputFrom_(inputFrom), person_(person) {}

    bool Run(long output, long keyFrom, long keyTo, long noFrom, long noTo, long inputTo);

private:
    DbValue F(const char* name) { return rs_->Fields(QString::fromLatin1(name)).Value(); }
    long L(const char* name) { return ValLng(F(name)); }
    void Put(const QString& marker, const QVariant& value, long rowOffset = 0) {
        rep_.MarkerCell(marker, 0, rowOffset).Value(value);
    }
    bool AnotherVoucher() { return L("DNH_DENNO") != curDenNo_ || L("DNH_DATE") != curDate_; }
    void SwitchSuffix() { suffix_ = suffix_.isEmpty() ? QStringLiteral("_2") : QString(); }
    void OpenBlock();
    void CountBlocks();
    void CloseVoucher(bool lower);
    void WriteLine();
    bool StepProgress();
    void EndPageWhenBlockLeft();

    XlsReport& rep_;
    const bool progress_;
    const long inputFrom_;
    const long person_;
    RecordsetPtr rs_;
    long recordCount_ = 0;
    int formatCode_ = 0;
    long linesPerBlock_ = 0;
    QString suffix_;
    long lineCounter_ = 0;
    long curDate_ = 0;
    long curDenNo_ = 0;
    long curGyo_ = 0;
    long blockCount_ = 0;
    long blocksPrinted_ = 0;
    Currency totals_[3];
    QString sskGrp_;
    long done_ = 0;
    long shownPercent_ = 0;
};

bool VoucherPrint::Run(long output, long keyFrom, long keyTo, long noFrom, long noTo, long inputTo) {
    // 1. Format code and lines per block.
    formatCode_ = FormatCode(FncGetSysValue("FuriDenFormat"));
    switch (formatCode_) {
    case 0:
    case 6: formatCode_ = 6; linesPerBlock_ = 6; break;
    case 9: linesPerBlock_ = 6; break;
    case 12: linesPerBlock_ = 12; break;
    default: linesPerBlock_ = 0; break;
    }

    // 2. Arguments: a refusal ends the print without a message.
    if (output > 1 || output < 0) return false;
    if (keyFrom > keyTo) return false;
    if (HasEightDigits(inputFrom_)) {
        if (!HasEightDigits(inputTo)) return false;
        if (!IsRealDate(inputFrom_) || !IsRealDate(inputTo)) return false;
    }
    if (inputFrom_ > inputTo) return false;
    if (noFrom > noTo) return false;

    // 3.
    sskGrp_ = FncGetSskGrpName(glngSskCd, glngGrpCd);
    done_ = 0;
    shownPercent_ = 0;

    // 4. The voucher lines. A tax code may have several rows of different
    // validity; its name is the one in force on the voucher date, and the
    // join keeps one row per line.
    gstrSQL = "SELECT *";
    gstrSQL += "     , KMK_RNAME";
    gstrSQL += "     , HK1_RNAME";
    gstrSQL += "     , HK2_RNAME";
    gstrSQL += "     , ZEI_NAME";
    gstrSQL += "     , TRI_NAME";
    gstrSQL += "     , USG_NAME";
    gstrSQL += "  FROM V_DENDT";
    gstrSQL += "  LEFT JOIN KMKMF";
    gstrSQL += "    ON KMK_NENDO = DNH_NENDO";
    gstrSQL += "   AND KMK_CD = DNM_KMKCD";
    gstrSQL += "  LEFT JOIN HK1MF";
    gstrSQL += "    ON HK1_NENDO = DNH_NENDO";
    gstrSQL += "   AND HK1_KMKCD = DNM_KMKCD";
    gstrSQL += "   AND HK1_CD = DNM_HK1CD";
    gstrSQL += "  LEFT JOIN HK2MF";
    gstrSQL += "    ON HK2_SSKCD = DNH_SSKCD";
    gstrSQL += "   AND HK2_GRPCD = DNH_GRPCD";
    gstrSQL += "   AND HK2_NENDO = DNH_NENDO";
    gstrSQL += "   AND HK2_KMKCD = DNM_KMKCD";
    gstrSQL += "   AND HK2_HK1CD = DNM_HK1CD";
    gstrSQL += "   AND HK2_CD = DNM_HK2CD";
    gstrSQL += FncJoinTaxInForce("DNM_ZKBN", "DNH_DATE");
    gstrSQL += "  LEFT JOIN TRIMF";
    gstrSQL += "    ON TRI_SSKCD = DNH_SSKCD";
    gstrSQL += "   AND TRI_CD = DNM_TRICD";
    gstrSQL += "  LEFT JOIN USGMF";
    gstrSQL += "    ON USG_ID = DNH_TANCD";
    gstrSQL += " WHERE DNH_SSKCD = " + Num(glngSskCd);
    gstrSQL += "   AND DNH_GRPCD = " + Num(glngGrpCd);
    gstrSQL += "   AND DNM_GYO < 90";
    gstrSQL += "   AND DNH_KBN < 10";
    if (noTo > 0) {
        const QString sban = fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + Num(glngSskCd));
        if (sban == "0") {
            gstrSQL += "   AND DNH_YM = " + Num(keyFrom);
        } else if (sban == "1") {
            gstrSQL += "   AND DNH_NENDO = " + Num(keyFrom);
        } else if (sban.isEmpty()) {
            MsgBox("決算期間マスタが登録されていません。", vbCritical, "振替伝票印刷");
            return false;
        }
        gstrSQL += "   AND (DNH_DENNO >= " + Num(noFrom);
        gstrSQL += "   AND DNH_DENNO <= " + Num(noTo);
        gstrSQL += ")";
    } else if (inputFrom_ == 0) {
        gstrSQL += "   AND (DNH_DATE >= " + Num(keyFrom);
        gstrSQL += "   AND DNH_DATE <= " + Num(keyTo);
        gstrSQL += ")";
    } else {
        gstrSQL += "   AND (DNH_NDATE >= " + Num(inputFrom_);
        gstrSQL += "   AND DNH_NDATE <= " + Num(inputTo);
        gstrSQL += ")";
    }
    if (person_ > 0) gstrSQL += "   AND DNH_TANCD = " + Num(person_);
    gstrSQL += " ORDER BY DNH_DATE, DNH_DENNO, DNM_GYO, DNM_TSKBN";

    // 5.
    rs_ = gobjDB->OpenRecordset(gstrSQL);
    if (rs_->Eof()) {
        MsgBox("該当データがありません。", vbInformation, "伝票印刷");
        return false;
    }
    recordCount_ = rs_->RecordCount();

    // 6. A cancel left over from an earlier run must not stop this one.
    if (progress_) {
        gobjProgress->Max(recordCount_);
        gobjProgress->Title("振替伝票印刷");
        gobjProgress->Message("レポートを展開中");
        gobjProgress->Position(0);
        gobjProgress->CancelRequested(false);
        gobjProgress->Show();
    }

    // 7.
    curDate_ = L("DNH_DATE");
    curDenNo_ = L("DNH_DENNO");
    curGyo_ = 0;
    lineCounter_ = linesPerBlock_ + 1;
    blocksPrinted_ = 0;
    blockCount_ = 0;
    totals_[0] = totals_[1] = totals_[2] = Currency();
    suffix_ = "_";

    // The conversion of the pages shows in the progress dialog of the run,
    // and its cancel asks the same question as during the fill.
    if (progress_)
        rep_.ConversionProgress(&*gobjProgress, [] {
            return MsgBox("処理を中止しますか", vbYesNo | vbInformation, "振替伝票一括印刷") == vbYes;
        });
    else
        rep_.ConversionProgress(nullptr);

    // 8.
    rep_.PreviewWindow().DisplayMode = -2;
    rep_.PreviewWindow().DisplayStyle = 1;
    rep_.TemplateFile(gstrReportPath + "WKP410.XLS");
    rep_.OutputName(OutputName(keyFrom, keyTo, noFrom, noTo, inputFrom_, inputTo));
    rep_.BeginReport();

    // 9.
    while (!rs_->Eof()) {
        const bool full = lineCounter_ > linesPerBlock_;
        if (formatCode_ == 9) {
            // Vouchers fill the upper and the lower block in turn. Every
            // voucher change closes the previous voucher, whichever side the
            // new voucher's first line is on.
            if (AnotherVoucher()) {
                CloseVoucher(suffix_ == "_2");
                SwitchSuffix();
                OpenBlock();
            } else if (full) {
                if (suffix_ == "_2") rep_.EndPage();
                SwitchSuffix();
                OpenBlock();
            }
        } else {
            suffix_ = QString();
            if (full) {
                if (AnotherVoucher()) CloseVoucher(true);
                OpenBlock();
            } else if (AnotherVoucher()) {
                CloseVoucher(true);
                OpenBlock();
            }
        }

        WriteLine();
        rs_->MoveNext();
        if (progress_ && !StepProgress()) return false;

        if (!rs_->Eof()) {
            if (L("DNM_GYO") != curGyo_ || L("DNH_DENNO") != curDenNo_ || L("DNH_DATE") != curDate_) {
                ++lineCounter_;
                EndPageWhenBlockLeft();
                curGyo_ = L("DNM_GYO");
            }
        } else {
            ++lineCounter_;
            EndPageWhenBlockLeft();
        }
    }

    // 10.
    CloseVoucher(true);
    if (progress_) gobjProgress->Hide();
    if (lineCounter_ > linesPerBlock_) rep_.EndPage();

    // 11.
    if (output == 0) {
        rep_.PrintOut();
    } else {
        rep_.PreviewWindow().DisplayMode = -2;
        rep_.PreviewWindow().DisplayStyle = 1;
        QScreen* screen = QGuiApplication::primaryScreen();
        const double dpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
        const double dpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
        rep_.Preview(TwipsToPixels(12000, dpiX), TwipsToPixels(8500, dpiY));
    }

    // 12.
    rep_.Abort();
    return true;
}

void VoucherPrint::EndPageWhenBlockLeft() {
    // Formats of one block a sheet end the sheet when a voucher goes on
    // into a further block.
    if (lineCounter_ > linesPerBlock_ && formatCode_ != 9 && blocksPrinted_ != blockCount_) rep_.EndPage();
}

void VoucherPrint::OpenBlock() {
    if (suffix_.isEmpty()) rep_.NewPage(Num(formatCode_), "1");
    lineCounter_ = 1;
    Put("**SskGrp" + suffix_, sskGrp_);
    if (blockCount_ == 0) {
        curDate_ = L("DNH_DATE");
        curDenNo_ = L("DNH_DENNO");
        curGyo_ = L("DNM_GYO");
        CountBlocks();
    }
    for (long i = 1; i <= linesPerBlock_; ++i)
        Put("**Gyo" + suffix_, static_cast<qlonglong>(blocksPrinted_ * linesPerBlock_ + i), (i - 1) * 4);
    ++blocksPrinted_;
    Put("**Page" + suffix_, Num(blocksPrinted_) + "/" + Num(blockCount_));
    Put("**Date" + suffix_, FncCnvDate(L("DNH_DATE")).toString("yyyy/MM/dd"));
    Put("**Denno" + suffix_, "'" + F("DNH_DENNO").Text());
    Put("**Dtekiyo" + suffix_, F("DNH_DTEKIYO").Text());
    Put("**Tanto" + suffix_, F("USG_NAME").Text());
}

void VoucherPrint::CountBlocks() {
    blockCount_ = 0;
    blocksPrinted_ = 0;
    // Only the kinds the print selects count, so that the block count
    // agrees with the lines printed.
    gstrSQL = "SELECT DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNM_GYO";
    gstrSQL += " FROM V_DENDT";
    gstrSQL += " WHERE DNH_SSKCD = " + Num(glngSskCd);
    gstrSQL += "   AND DNH_GRPCD = " + Num(glngGrpCd);
    gstrSQL += "   AND DNM_GYO < 90";
    gstrSQL += "   AND DNH_KBN < 10";
    if (inputFrom_ == 0) {
        gstrSQL += "   AND DNH_DATE = " + Num(curDate_);
        gstrSQL += "   AND DNH_DENNO = " + Num(curDenNo_);
    } else {
        gstrSQL += "   AND DNH_DATE = " + Num(curDate_);
        gstrSQL += "   AND DNH_NDATE = " + Num(L("DNH_NDATE"));
        gstrSQL += "   AND DNH_DENNO = " + Num(curDenNo_);
        if (person_ > 0) gstrSQL += "   AND DNH_TANCD = " + Num(person_);
    }
    gstrSQL += " GROUP BY DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNM_GYO";
    RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
    if (!rs->Eof()) {
        const long n = rs->RecordCount();
        if (linesPerBlock_ == 0)
            throw AppError(errDivisionByZero, QString::fromUtf8("0 で除算しました。"), "fncPrintVouchers");
        blockCount_ = n / linesPerBlock_ + (n % linesPerBlock_ > 0 ? 1 : 0);
    }
}

void VoucherPrint::CloseVoucher(bool lower) {
    if (blocksPrinted_ >= blockCount_) {
        Put("**Sum(1)" + suffix_, "'" + totals_[1].Formatted());
        Put("**Sum(2)" + suffix_, "'" + totals_[2].Formatted());
        blockCount_ = 0;
    }
    if (lower) {
        if (!rs_->Eof()) rep_.EndPage();
        ++lineCounter_;
    }
    totals_[0] = totals_[1] = totals_[2] = Currency();
}

void VoucherPrint::WriteLine() {
    const long side = L("DNM_TSKBN");
    const QString tail = Num(side) + ")" + suffix_;
    const long row = (lineCounter_ - 1) * 4;
    auto code = [&](const char* field) {
        const long v = L(field);
        return v == 0 ? QStringLiteral("'") : "'" + Num(v);
    };
    const Currency kin = ValCur(F("DNM_KIN"));
    const Currency tax = ValCur(F("DNM_TAX"));
    Put("**Kmkcd(" + tail, code("DNM_KMKCD"), row);
    Put("**Hk1cd(" + tail, code("DNM_HK1CD"), row);
    Put("**Hk2cd(" + tail, code("DNM_HK2CD"), row);
    Put("**Zkbn(" + tail, code("DNM_ZKBN"), row);
    Put("**Kmk(" + tail, F("KMK_RNAME").Text(), row);
    Put("**Hk1(" + tail, F("HK1_RNAME").Text(), row);
    Put("**Hk2(" + tail, F("HK2_RNAME").Text(), row);
    Put("**Kin(" + tail, kin.Formatted(), row);
    Put("**Tri(" + tail, F("TRI_NAME").Text(), row);
    Put("**Tekiyo(" + tail, F("DNM_TEKIYO").Text(), row);
    Put("**Zkbnnm(" + tail, F("ZEI_NAME").Text(), row);
    Put("**Tax(" + tail, tax.Formatted(), row);
    if (side == 1 || side == 2) totals_[side] += kin + tax;
}

// 9.5: false when the user confirmed the cancel (the report is dropped).
bool VoucherPrint::StepProgress() {
    ++done_;
    if (done_ * 100 / recordCount_ > shownPercent_) {
        ++shownPercent_;
        gobjProgress->Position(done_);
        QApplication::processEvents();
        if (gobjProgress->CancelRequested()) {
            if (MsgBox("処理を中止しますか", vbYesNo | vbInformation, "振替伝票一括印刷") == vbYes) {
                gobjProgress->Hide();
                rep_.Abort();
                return false;
            }
            gobjProgress->CancelRequested(false);
        }
    }
    return true;
}

}  // namespace

bool fncPrintVouchers(XlsReport* report, bool showProgress, long output, long keyFrom, long keyTo, long noFrom,
                      long noTo, long inputFrom, long inputTo, long person) {
    // A caller without a report control of its own prints through one made
    // for this run.
    XlsReport own;
    XlsReport& rep = report ? *report : own;
    try {
        VoucherPrint run(rep, showProgress, inputFrom, person);
        return run.Run(output, keyFrom, keyTo, noFrom, noTo, inputTo);
    } catch (const AppError& e) {
        if (showProgress) gobjProgress->Hide();
        rep.Abort();
        ShowErrMsg(e);
        return false;
    }
}

}  // namespace basPrint
