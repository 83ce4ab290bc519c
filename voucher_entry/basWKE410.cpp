#include "voucher_entry/basWKE410.h"

#include "platform/InputMethod.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/AppInfo.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"
#include "voucher_dialogs/frmKE41S.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <cmath>

using namespace basStdComm;

namespace basWKE410 {

QString gstrStartMode;
QString gstrEditMode;
long glngDenYm = 0;
long glngDenNendo = 0;
long glngDenNo = 0;
QString gstrTekiyo;
bool gblnJumpDone = false;
QString gstrFuriDenKingaku;
long glngCurNendo = 0;
long glngGrpKbn = 0;
long glngSdnKbn = 0;
long glngTanCd = 0;
bool gblnLoading = false;
QString gstrSumKariKin;
QString gstrSumKasiKin;

long glngSrchDenNoSt = 0;
long glngSrchDenNoEnd = 99999999;
long glngSrchDateSt = 0;
long glngSrchDateEnd = 0;
long glngSrchNDateSt = 0;
long glngSrchNDateEnd = 0;
long glngSrchTanCd = 0;
QString gstrSrchTekiyo;
long glngSrchKessan = 0;
int gintSrchSort = 0;
int gintSrchDate = 1;
int gintSrchNDate = 0;

int gintTabSkip[17] = {};
QString gstrTabKey[17];

namespace {
const char* const kTabKeys[16] = {"KRKMKCD", "KRHK1CD", "KRHK2CD", "KRZKBN", "KRKIN", "KRTAX", "KRTRICD", "KRTEKI",
                                  "KSKMKCD", "KSHK1CD", "KSHK2CD", "KSZKBN", "KSKIN", "KSTAX", "KSTRICD", "KSTEKI"};

// The first window is shown modeless; the program ends when it closes.
void ShowFirstWindow(QDialog* w) {
    QObject::connect(w, &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    w->show();
}
}  // namespace

bool Main() {
    ReadTabIni();
    try {
        if (!fncStartUp()) {
            ShowErrMsg();
            return false;
        }
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
    InitSearchDefaults();
    const QStringList parts = AppInfo::CommandLine().split(' ');
    gstrStartMode = "";
    if (parts.size() == 2 && parts[0] == "I") {
        gstrStartMode = "I";
        gstrEditMode = "I";
        glngDenYm = glngDenNendo = glngDenNo = 0;
        ShowFirstWindow(new frmKE410());
        return true;
    }
    if (parts.size() == 4 && (parts[0] == "U" || parts[0] == "S")) {
        if (!IsDate(parts[1]) || !IsNumeric(parts[2])) {
            MsgBox("引数が不正です。", vbCritical, AppInfo::Title());
            EndSystem();
            return false;
        }
        gstrEditMode = parts[0];
        long d = DateNumber(DateValue(parts[1]));
        glngDenNendo = basTavik::FncGetKskNendo(d, 0, 0);
        try {
            glngDenYm = basTavik::FncGetKskMonth(d, 0, 0);
        } catch (const AppError& e) {
            ShowErrMsg(e);
            glngDenYm = 0;
        }
        glngDenNo = static_cast<long>(std::lround(parts[2].toDouble()));
        ShowFirstWindow(new frmKE410());
        return true;
    }
    ShowFirstWindow(new frmKE41S());
    return true;
}

void ReadTabIni() {
    SetAppPath();
    gobjIni->FileName(gstrAppPath + "Tab.ini");
    for (int i = 1; i <= 16; ++i) {
        // Val, then rounded to a whole number; an empty text is 0.
        gintTabSkip[i] = static_cast<int>(std::nearbyint(Val(gobjIni->GetValue("TAB", kTabKeys[i - 1]))));
    }
    for (int i = 1; i <= 16; ++i) gstrTabKey[i] = kTabKeys[i - 1];
}

void DefaultSearchDates(long& from, long& to) {
    QDate today = Today();
    if (basTavik::FncGetKskNendo(DateNumber(today), 0, 0) >= 1) {
        from = DateNumber(AddMonths(today, -1));
        to = DateNumber(AddMonths(today, 1));
    } else {
        QDate first(today.year(), today.month(), 1);
        from = DateNumber(first);
        to = DateNumber(AddMonths(first, 1));
    }
}

void InitSearchDefaults() {
    glngSrchDenNoSt = 0;
    glngSrchDenNoEnd = 99999999;
    long from = 0, to = 0;
    DefaultSearchDates(from, to);
    glngSrchDateSt = glngSrchNDateSt = from;
    glngSrchDateEnd = glngSrchNDateEnd = to;
    gintSrchDate = 1;
    gintSrchNDate = 0;
    glngSrchTanCd = 0;
    gstrSrchTekiyo = "";
    glngSrchKessan = 0;
    gintSrchSort = 0;
}

QString fncNextTabColumn(const QString& key) {
    int i = 0;
    for (int j = 1; j <= 16; ++j)
        if (gstrTabKey[j] == key) { i = j; break; }
    if (i == 0) return QString();
    for (int step = 1; step <= 16; ++step) {
        int j = (i - 1 + step) % 16 + 1;
        if (gintTabSkip[j] == 0) return gstrTabKey[j];
    }
    return QString();
}

void SetImeConversion(QWidget* window) {
    if (!window) return;
    QWidget* field = window->focusWidget() ? window->focusWidget() : window;
    InputMethod::SetJapaneseConversion(field);
}

}  // namespace basWKE410
