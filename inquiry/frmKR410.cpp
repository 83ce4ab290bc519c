#include "inquiry/frmKR410.h"


#include "common/WindowKeys.h"
#include "common/WindowStyle.h"
#include "common/basCalendar.h"
#include "common/basIME.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "inquiry/InquiryGrid.h"
#include "inquiry/basKR410.h"
#include "platform/Currency.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/RowCursor.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"

#include <QFileInfo>
#include <algorithm>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace basStdComm;
using namespace basTavik;
using basKR410::gobjVoucherOpener;

namespace {

// The program that opens a voucher of a journal line.
const QString kVoucherProgram = QStringLiteral("WKE410");

QString Num(long n) { return QString::number(n); }

// One line per voucher line: date, number, the line's account with its
// sub-accounts, debit or credit (amount plus tax) and description. The row
// number stands at the left (the corner is HEAD_ROW).
VoucherGridLayout JournalGridLayout() {
    using namespace InquiryGrid;
    VoucherGridLayout l = NewLayout(26);
    l.rowNumbers = true;
    l.rowNumberWidth = 44;
    l.cornerCaption = "行";
    // Every column, beside the vertical scroll bar, fits a window on a 1280-pixel screen.
    const int date = AddCell(l, "DATA_DATE", "日付", Kind::Date, 80);
    const int denno = AddCell(l, "DATA_DENNO", "伝票番号", Kind::Code, 60);
    const int kmk = AddCell(l, "DATA_KMKCD", "科目", Kind::Code, 56);
    AddCell(l, "DATA_KMKNM", "科目名", Kind::Name, 116);
    const int hk1 = AddCell(l, "DATA_HK1CD", "補助科目１", Kind::Code, 56);
    AddCell(l, "DATA_HK1NM", "補助科目１名", Kind::Name, 116);
    const int hk2 = AddCell(l, "DATA_HK2CD", "補助科目２", Kind::Code, 56);
    AddCell(l, "DATA_HK2NM", "補助科目２名", Kind::Name, 116);
    const int kari = AddCell(l, "DATA_KARI", "借方金額", Kind::Amount, 116);
    const int kasi = AddCell(l, "DATA_KASI", "貸方金額", Kind::Amount, 116);
    const int tekiyo = AddCell(l, "DATA_TEKIYO", "摘要", Kind::Text, 298);
    AddHeader(l, "HEAD_DATE", "日付", date);
    AddHeader(l, "HEAD_DENNO", "伝票番号", denno);
    AddHeader(l, "HEAD_KMK", "科目", kmk, 2);
    AddHeader(l, "HEAD_HK1", "補助科目１", hk1, 2);
    AddHeader(l, "HEAD_HK2", "補助科目２", hk2, 2);
    AddHeader(l, "HEAD_KARI", "借方金額", kari);
    AddHeader(l, "HEAD_KASI", "貸方金額", kasi);
    AddHeader(l, "HEAD_TEKIYO", "摘要", tekiyo);
    return l;
}

}  // namespace

// ---------------------------------------------------------------- window

frmKR410::frmKR410(QWidget* parent) : QDialog(parent) {
    fillTimer_ = new QTimer(this);
    fillTimer_->setInterval(0);
    connect(fillTimer_, &QTimer::timeout, this, [this] { FillMore(); });
    BuildControls();
    Form_Load();
}

frmKR410::~frmKR410() = default;

void frmKR410::BuildControls() {
    setWindowTitle("仕訳帳照会");
    // Esc does not close the window; only the close button and the title bar do.
    WindowKeys::IgnoreEscape(this);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    Panel3D1[0] = new Panel3D(this);
    Panel3D1[0]->Bevel(Panel3D::Raised);
    auto* head = new QHBoxLayout(Panel3D1[0]);
    head->setContentsMargins(6, 4, 6, 4);
    head->setSpacing(4);
    lblCap = new Panel3D("伝票日付", Panel3D1[0]);
    lblCap->setFixedSize(86, 24);
    txtDateS = new imDate(Panel3D1[0]);
    txtDateS->setFixedWidth(130);
    txtDateE = new imDate(Panel3D1[0]);
    txtDateE->setFixedWidth(130);
    for (imDate* d : {txtDateS, txtDateE}) d->Holidays(QString::fromLatin1(basCalendar::gstrDefaultHolidays));
    auto* tilde = new QLabel("～", Panel3D1[0]);
    lblGrp = new Panel3D("支部名　　グループ名", Panel3D1[0]);
    lblGrp->setMinimumWidth(280);
    lblGrp->setFixedHeight(24);
    head->addWidget(lblCap);
    head->addWidget(txtDateS);
    head->addWidget(tilde);
    head->addWidget(txtDateE);
    head->addStretch(1);
    head->addWidget(lblGrp);
    root->addWidget(Panel3D1[0]);

    DenMain = new VoucherGrid(this);
    DenMain->SetGridLayout(JournalGridLayout());
    root->addWidget(DenMain, 1);

    Panel3D1[1] = new Panel3D(this);
    Panel3D1[1]->Bevel(Panel3D::Raised);
    auto* buttons = new QHBoxLayout(Panel3D1[1]);
    buttons->setContentsMargins(6, 4, 6, 4);
    auto button = [&](const QString& caption) {
        auto* b = new QPushButton(caption, Panel3D1[1]);
        b->setAutoDefault(false);
        b->setMinimumWidth(110);
        return b;
    };
    cmdView = button("表示(&H)");
    cmdEnd = button("閉じる(&X)");
    Label1 = new QLabel("伝票表示：ダブルクリック・Enter", Panel3D1[1]);
    buttons->addWidget(cmdView);
    buttons->addSpacing(12);
    buttons->addWidget(Label1);
    buttons->addStretch(1);
    buttons->addWidget(cmdEnd);
    root->addWidget(Panel3D1[1]);

    resize(1260, 680);

    QWidget* order[] = {txtDateS, txtDateE, cmdView, DenMain, cmdEnd};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdView, &QPushButton::clicked, this, [this] { cmdView_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    connect(DenMain, &VoucherGrid::RowDblClick, this, [this] { DenMain_OpenRow(); });
    connect(DenMain, &VoucherGrid::KeyDown, this, [this](int& k, int& s) { DenMain_KeyDown(k, s); });
    for (imDate* d : {txtDateS, txtDateE})
        connect(d, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    connect(txtDateS, &imDate::CalendarOpening, this, [this] { txtDateS_LoadHolidays(); });
    connect(txtDateS, &imDate::CalendarYearChanged, this, [this](int y) { txtDateS_LoadHolidaysForYear(y); });
    connect(txtDateE, &imDate::CalendarOpening, this, [this] { txtDateE_LoadHolidays(); });
    connect(txtDateE, &imDate::CalendarYearChanged, this, [this](int y) { txtDateE_LoadHolidaysForYear(y); });
}

void frmKR410::Form_Load() {
    CenterForm(this);
    SetFormStyle();
    lngRowDenDate.assign(1, 0);
    DenMain->setEditLock(3);
}

void frmKR410::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp});
}

void frmKR410::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!activated_) QTimer::singleShot(0, this, [this] { Form_Activate(); });
}

void frmKR410::Form_Activate() {
    if (activated_) return;
    activated_ = true;
    try {
        lblGrp->Caption(FncGetSskGrpName(0, 0));
        blnCanUpdate = FncCheckPermission(kVoucherProgram, 0, 0);
        DenMain->setGridEnabled(false);
        const long s = FncGetKskKist(0, 0, 0);
        const long e = FncGetKskKiend(0, 0, 0);
        if (s != 0) txtDateS->Date(FncCnvDate(s));
        if (e != 0) txtDateE->Date(FncCnvDate(e));
        if (s != 0 && e != 0) fncShowJournal();
    } catch (const AppError& e) {
        ShowErrMsg(e);
        Unload();
    }
}

void frmKR410::Form_QueryUnload() {
    StopFill();
    gobjVoucherOpener.Release();
    EndSystem();
}

void frmKR410::done(int r) {
    Form_QueryUnload();
    QDialog::done(r);
}

void frmKR410::Unload() { done(QDialog::Rejected); }

void frmKR410::Warn(const QString& text, imFieldBase* field) {
    MsgBox(text, vbOKOnly | vbExclamation, windowTitle());
    if (field) field->SetFocus();
}

void frmKR410::txtDateS_LoadHolidays() { txtDateS->Holidays(basCalendar::fncGetHolidayList(0)); }
void frmKR410::txtDateS_LoadHolidaysForYear(int year) { txtDateS->Holidays(basCalendar::fncGetHolidayList(year)); }
void frmKR410::txtDateE_LoadHolidays() { txtDateE->Holidays(basCalendar::fncGetHolidayList(0)); }
void frmKR410::txtDateE_LoadHolidaysForYear(int year) { txtDateE->Holidays(basCalendar::fncGetHolidayList(year)); }

// ---------------------------------------------------------------- buttons

void frmKR410::cmdView_Click() {
    // Given from the grid by its access key, the grid keeps the keyboard.
    if (InquiryGrid::HasKeyboard(DenMain))
        InquiryGrid::RequeryFromGrid(DenMain, [this] { return fncShowJournal(); });
    else
        fncShowJournal();
}

void frmKR410::cmdEnd_Click() { Unload(); }

// ---------------------------------------------------------------- journal

bool frmKR410::fncShowJournal() { return fncLoadJournal(txtDateS->Date(), txtDateE->Date()); }

bool frmKR410::fncLoadJournal(const QDate& dtStart, const QDate& dtEnd) {
    // A fill still running for the previous query ends here.
    StopFill();
    // Drawing comes back on however the query ends.
    struct RedrawOn {
        VoucherGrid* grid;
        ~RedrawOn() { grid->setRedraw(true); }
    } redrawOn{DenMain};
    try {
        DenMain->setGridEnabled(false);
        DenMain->Clear();
        DenMain->setRedraw(false);
        lngRowDenDate.assign(1, 0);

        if (!dtStart.isValid() || !dtEnd.isValid()) {
            Warn("伝票日付を入力して下さい。", txtDateS);
            return false;
        }
        if (dtStart > dtEnd) {
            Warn("伝票日付の開始と終了の大小関係が逆になっています。", txtDateS);
            return false;
        }
        const long dS = DateNumber(dtStart);
        const long dE = DateNumber(dtEnd);
        if (!FncIsSameNendo(dS, dE)) {
            Warn("伝票日付の開始と終了は、決算年度が違うため元帳照会できません。", txtDateS);
            return false;
        }

        gstrSQL = "SELECT DNH_YM";
        gstrSQL += "     , DNH_DENNO";
        gstrSQL += "     , DNH_DATE";
        gstrSQL += "     , DNM_KMKCD";
        gstrSQL += "     , DNM_HK1CD";
        gstrSQL += "     , DNM_HK2CD";
        gstrSQL += "     , KMK_RNAME";
        gstrSQL += "     , HK1_RNAME";
        gstrSQL += "     , HK2_RNAME";
        gstrSQL += "     , DNM_TSKBN";
        gstrSQL += "     , DNM_KIN";
        gstrSQL += "     , DNM_TAX";
        gstrSQL += "     , DNM_TEKIYO";
        gstrSQL += "  FROM V_DENDT";
        gstrSQL += "  LEFT JOIN KMKMF";
        gstrSQL += "    ON DNH_NENDO = KMK_NENDO";
        gstrSQL += "   AND DNM_KMKCD = KMK_CD";
        gstrSQL += "  LEFT JOIN HK1MF";
        gstrSQL += "    ON DNH_NENDO = HK1_NENDO";
        gstrSQL += "   AND DNM_KMKCD = HK1_KMKCD";
        gstrSQL += "   AND DNM_HK1CD = HK1_CD";
        gstrSQL += "  LEFT JOIN HK2MF";
        gstrSQL += "    ON DNH_NENDO = HK2_NENDO";
        gstrSQL += "   AND DNH_SSKCD = HK2_SSKCD";
        gstrSQL += "   AND DNH_GRPCD = HK2_GRPCD";
        gstrSQL += "   AND DNM_KMKCD = HK2_KMKCD";
        gstrSQL += "   AND DNM_HK1CD = HK2_HK1CD";
        gstrSQL += "   AND DNM_HK2CD = HK2_CD";
        gstrSQL += " WHERE DNH_SSKCD = " + Num(glngSskCd);
        gstrSQL += "   AND DNH_GRPCD = " + Num(glngGrpCd);
        gstrSQL += "   AND DNH_DATE >= " + Num(dS);
        gstrSQL += "   AND DNH_DATE <= " + Num(dE);
        gstrSQL += "   AND DNM_GYO < 90";
        gstrSQL += " ORDER BY DNH_DATE, DNH_DENNO, DNH_YM, DNM_GYO, DNM_TSKBN";
        // The lines come a batch at a time: the first screenful at once, the
        // rest while the window stays usable.
        cursor_ = std::make_unique<RowCursor>(*gobjDB, gstrSQL);
        auto first = cursor_->Next(kFirstLines);
        if (first.empty()) {
            cursor_.reset();
            Warn("該当データは、ありませんでした。");
            return false;
        }
        // The cursor keeps its row, as far as the lines reach.
        const int keepRow = DenMain->CurrentRow();
        DenMain->setRows(0);
        lngRowDenDate.clear();
        codeText_.clear();
        lastDateText_.clear();
        DenMain->setGridEnabled(true);
        AppendLines(first);
        DenMain->setCurrentRow(std::min(keepRow, DenMain->Rows() - 1));
        if (cursor_->AtEnd()) cursor_.reset();
        else fillTimer_->start();
        return true;
    } catch (const AppError& e) {
        StopFill();
        DenMain->setRedraw(true);
        ShowErrMsg(e);
        return false;
    }
}

void frmKR410::StopFill() {
    fillTimer_->stop();
    cursor_.reset();
}

void frmKR410::FillMore() {
    if (!cursor_) {
        fillTimer_->stop();
        return;
    }
    try {
        AppendLines(cursor_->Next(kLinesPerTurn));
        if (cursor_->AtEnd()) StopFill();
    } catch (const AppError& e) {
        StopFill();
        ShowErrMsg(e);
    }
}

// The journal's lines appended to the grid. Dates and codes repeat from
// line to line: each one's text is made once.
void frmKR410::AppendLines(const std::vector<std::vector<DbValue>>& lines) {
    enum { fYm, fDenNo, fDate, fKmk, fHk1, fHk2, fKmkNm, fHk1Nm, fHk2Nm, fTsKbn, fKin, fTax, fTekiyo };
    auto code = [this](const DbValue& v) {
        const long n = ValLng(v);
        if (n == 0) return QString();
        auto it = codeText_.constFind(n);
        if (it == codeText_.constEnd()) it = codeText_.insert(n, Num(n));
        return *it;
    };
    const int cells = static_cast<int>(DenMain->GridLayout().cells.size());
    const int iDenNo = DenMain->CellIndex("DATA_DENNO"), iDate = DenMain->CellIndex("DATA_DATE"),
              iKmk = DenMain->CellIndex("DATA_KMKCD"), iHk1 = DenMain->CellIndex("DATA_HK1CD"),
              iHk2 = DenMain->CellIndex("DATA_HK2CD"), iKmkNm = DenMain->CellIndex("DATA_KMKNM"),
              iHk1Nm = DenMain->CellIndex("DATA_HK1NM"), iHk2Nm = DenMain->CellIndex("DATA_HK2NM"),
              iKari = DenMain->CellIndex("DATA_KARI"), iKasi = DenMain->CellIndex("DATA_KASI"),
              iTekiyo = DenMain->CellIndex("DATA_TEKIYO");
    std::vector<QStringList> rows;
    rows.reserve(lines.size());
    for (const auto& f : lines) {
        const long lngDate = ValLng(f[fDate]);
        lngRowDenDate.push_back(lngDate);
        if (lngDate != lastDate_ || lastDateText_.isNull()) {
            lastDate_ = lngDate;
            lastDateText_ = FncCnvDate(lngDate).toString("yyyy/MM/dd");
        }
        QStringList v(cells);
        v[iDenNo] = f[fDenNo].Text();
        v[iDate] = lastDateText_;
        v[iKmk] = code(f[fKmk]);
        v[iHk1] = code(f[fHk1]);
        v[iHk2] = code(f[fHk2]);
        v[iKmkNm] = f[fKmkNm].Text();
        v[iHk1Nm] = f[fHk1Nm].Text();
        v[iHk2Nm] = f[fHk2Nm].Text();
        const Currency curKin = ValCur(f[fKin]) + ValCur(f[fTax]);
        const long lngTsKbn = ValLng(f[fTsKbn]);
        if (lngTsKbn == 1) v[iKari] = curKin.ToString();
        else if (lngTsKbn == 2) v[iKasi] = curKin.ToString();
        v[iTekiyo] = f[fTekiyo].Text();
        rows.push_back(std::move(v));
    }
    DenMain->AppendRows(std::move(rows));
}

// ---------------------------------------------------------------- drill-down

void frmKR410::DenMain_OpenRow() { OpenVoucher(); }

void frmKR410::DenMain_KeyDown(int& KeyCode, int& /*Shift*/) {
    if (KeyCode == vbKeyReturn) OpenVoucher();
}

void frmKR410::OpenVoucher() {
    InquiryGrid::OpenRowVoucher(DenMain, *gobjVoucherOpener, 0, blnCanUpdate, lngRowDenDate,
                                [this] { return fncShowJournal(); });
}
