#include "inquiry/frmKR430.h"

#include "common/WindowKeys.h"
#include "common/WindowStyle.h"
#include "common/basCalendar.h"
#include "common/basIME.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "inquiry/InquiryGrid.h"
#include "inquiry/basKR430.h"
#include "inquiry/basLP410Report.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "platform/XlsReport.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

using namespace basStdComm;
using namespace basTavik;
using basKR430::gobjVoucherOpener;

namespace {

// The program that opens a voucher of a ledger line.
const QString kVoucherProgram = QStringLiteral("WKE410");

QString Num(long n) { return QString::number(n); }

// "yyyy/MM/dd" of a date.
QString SlashDate(const QDate& d) {
    const int y = d.year(), m = d.month(), day = d.day();
    if (y < 1000 || y > 9999) return d.toString("yyyy/MM/dd");
    const char16_t text[10] = {char16_t(u'0' + y / 1000),      char16_t(u'0' + y / 100 % 10),
                               char16_t(u'0' + y / 10 % 10),   char16_t(u'0' + y % 10),
                               u'/',                           char16_t(u'0' + m / 10),
                               char16_t(u'0' + m % 10),        u'/',
                               char16_t(u'0' + day / 10),      char16_t(u'0' + day % 10)};
    return QString(reinterpret_cast<const QChar*>(text), 10);
}

// One line per voucher line: date, number, counter-account with its
// sub-accounts, debit, credit, balance and description. Row 0 carries the
// balance forward; its row header stays blank (the corner is HEAD_LEFT).
VoucherGridLayout LedgerGridLayout() {
    using namespace InquiryGrid;
    VoucherGridLayout l = NewLayout(24);
    l.rowNumbers = true;
    l.rowNumberWidth = 18;
    // Every column, beside the vertical scroll bar, fits a window on a 1280-pixel screen.
    const int date = AddCell(l, "DATA_DATE", "日付", Kind::Date, 80);
    const int denno = AddCell(l, "DATA_DENNO", "伝票番号", Kind::Code, 60);
    const int kmk = AddCell(l, "DATA_KMKCD", "相手科目", Kind::Code, 56);
    AddCell(l, "DATA_KMKNM", "相手科目名", Kind::Name, 104);
    const int hk1 = AddCell(l, "DATA_HK1CD", "相手補助科目１", Kind::Code, 56);
    AddCell(l, "DATA_HK1NM", "相手補助科目１名", Kind::Name, 104);
    const int hk2 = AddCell(l, "DATA_HK2CD", "相手補助科目２", Kind::Code, 56);
    const int hk2nm = AddCell(l, "DATA_HK2NM", "相手補助科目２名", Kind::Name, 104);
    const int kari = AddCell(l, "DATA_KARI", "借方金額", Kind::Amount, 116);
    const int kasi = AddCell(l, "DATA_KASI", "貸方金額", Kind::Amount, 116);
    const int zand = AddCell(l, "DATA_ZAND", "残高", Kind::Amount, 116);
    const int tekiyo = AddCell(l, "DATA_TEKIYO", "摘要", Kind::Text, 244);
    AddHeader(l, "HEAD_DATE", "日付", date);
    AddHeader(l, "HEAD_DENNO", "伝票番号", denno);
    AddHeader(l, "HEAD_KMK", "相手科目", kmk, 2);
    AddHeader(l, "HEAD_HK1", "相手補助科目１", hk1, 2);
    AddHeader(l, "HEAD_HK2", "相手補助科目２", hk2, 2);
    AddHeader(l, "HEAD_KARI", "借方金額", kari);
    AddHeader(l, "HEAD_KASI", "貸方金額", kasi);
    AddHeader(l, "HEAD_ZAND", "残高", zand);
    AddHeader(l, "HEAD_TEKIYO", "摘要", tekiyo);
    AddFooter(l, QString(), "合計", hk2nm);
    AddFooter(l, "FOOT_KARI", QString(), kari);
    AddFooter(l, "FOOT_KASI", QString(), kasi);
    AddFooter(l, "FOOT_ZAND", QString(), zand);
    return l;
}

}  // namespace

// ---------------------------------------------------------------- window

frmKR430::frmKR430(QWidget* parent) : QDialog(parent), report_(std::make_unique<XlsReport>()) {
    xlrRep = report_.get();
    BuildControls();
    Form_Load();
}

frmKR430::~frmKR430() = default;

void frmKR430::BuildControls() {
    setWindowTitle("元帳照会");
    // Esc does not close the window; only the close button and the title bar do.
    WindowKeys::IgnoreEscape(this);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    Panel3D1[0] = new Panel3D(this);
    Panel3D1[0]->Bevel(Panel3D::Raised);
    auto* head = new QVBoxLayout(Panel3D1[0]);
    head->setContentsMargins(6, 4, 6, 4);
    head->setSpacing(4);
    auto* line1 = new QHBoxLayout();
    auto* line2 = new QHBoxLayout();
    line1->setSpacing(4);
    line2->setSpacing(4);
    head->addLayout(line1);
    head->addLayout(line2);

    const char* caps[4] = {"伝票日付", "科目", "補助科目１", "補助科目２"};
    for (int i = 0; i < 4; ++i) {
        lblCap[i] = new Panel3D(QString::fromUtf8(caps[i]), Panel3D1[0]);
        lblCap[i]->setFixedSize(86, 24);
    }
    txtDateS = new imDate(Panel3D1[0]);
    txtDateS->Format("yyyy/mm");
    txtDateS->setFixedWidth(104);
    txtDateE = new imDate(Panel3D1[0]);
    txtDateE->Format("yyyy/mm");
    txtDateE->setFixedWidth(104);
    for (imDate* d : {txtDateS, txtDateE}) d->Holidays(QString::fromLatin1(basCalendar::gstrDefaultHolidays));
    auto* tilde = new QLabel("～", Panel3D1[0]);
    lblGrp = new Panel3D("支部名　　グループ名", Panel3D1[0]);
    lblGrp->setMinimumWidth(280);
    lblGrp->setFixedHeight(24);

    line1->addWidget(lblCap[0]);
    line1->addWidget(txtDateS);
    line1->addWidget(tilde);
    line1->addWidget(txtDateE);
    line1->addStretch(1);
    line1->addWidget(lblGrp);

    auto codeField = [&](imNumber*& field, Panel3D*& name) {
        field = new imNumber(Panel3D1[0]);
        field->Format("########");
        field->setFixedWidth(86);
        name = new Panel3D(Panel3D1[0]);
        name->setFixedSize(180, 24);
        name->Alignment(Qt::AlignLeft | Qt::AlignVCenter);
        QFont f = name->font();
        f.setFamily("ＭＳ ゴシック");
        name->setFont(f);
    };
    codeField(txtKmkCd, lblKmkNm);
    codeField(txtHk1Cd, lblHk1Nm);
    codeField(txtHk2Cd, lblHk2Nm);
    Label1 = new QLabel("検索：Space・F5", Panel3D1[0]);
    line2->addWidget(lblCap[1]);
    line2->addWidget(txtKmkCd);
    line2->addWidget(lblKmkNm);
    line2->addSpacing(8);
    line2->addWidget(lblCap[2]);
    line2->addWidget(txtHk1Cd);
    line2->addWidget(lblHk1Nm);
    line2->addSpacing(8);
    line2->addWidget(lblCap[3]);
    line2->addWidget(txtHk2Cd);
    line2->addWidget(lblHk2Nm);
    line2->addStretch(1);
    line2->addWidget(Label1);
    root->addWidget(Panel3D1[0]);

    DenMain = new VoucherGrid(this);
    DenMain->SetGridLayout(LedgerGridLayout());
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
    cmdPrn = button("ﾌﾟﾚﾋﾞｭｰ(&V)");
    cmdEnd = button("閉じる(&X)");
    buttons->addWidget(cmdView);
    buttons->addWidget(cmdPrn);
    buttons->addStretch(1);
    buttons->addWidget(cmdEnd);
    root->addWidget(Panel3D1[1]);

    resize(1260, 680);

    QWidget* order[] = {txtDateS, txtDateE, txtKmkCd, txtHk1Cd, txtHk2Cd, cmdView, DenMain, cmdPrn, cmdEnd};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdView, &QPushButton::clicked, this, [this] { cmdView_Click(); });
    connect(cmdPrn, &QPushButton::clicked, this, [this] { cmdPrn_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    connect(DenMain, &VoucherGrid::RowDblClick, this, [this] { DenMain_OpenRow(); });
    connect(DenMain, &VoucherGrid::KeyDown, this, [this](int& k, int& s) { DenMain_KeyDown(k, s); });

    connect(txtDateS, &imDate::Change, this, [this] { txtDateS_Change(); });
    for (imDate* d : {txtDateS, txtDateE})
        connect(d, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });

    struct CodeField {
        imNumber* field;
        bool* changed;
        void (frmKR430::*keyDown)(int&, int);
        void (frmKR430::*lostFocus)();
    };
    const CodeField fields[3] = {
        {txtKmkCd, &blnKmkChanged, &frmKR430::txtKmkCd_KeyDown, &frmKR430::txtKmkCd_LostFocus},
        {txtHk1Cd, &blnHk1Changed, &frmKR430::txtHk1Cd_KeyDown, &frmKR430::txtHk1Cd_LostFocus},
        {txtHk2Cd, &blnHk2Changed, &frmKR430::txtHk2Cd_KeyDown, &frmKR430::txtHk2Cd_LostFocus},
    };
    for (const CodeField& c : fields) {
        bool* changed = c.changed;
        connect(c.field, &imFieldBase::GotFocus, this, [this, changed] {
            *changed = false;
            basIME::SetImeOpen(this, false);
        });
        connect(c.field, &imFieldBase::Change, this, [changed] { *changed = true; });
        auto keyDown = c.keyDown;
        connect(c.field, &imFieldBase::KeyDown, this, [this, keyDown](int& k, int s) { (this->*keyDown)(k, s); });
        connect(c.field, &imFieldBase::LostFocus, this, c.lostFocus);
    }
}

void frmKR430::Form_Load() {
    CenterForm(this);
    SetFormStyle();
    lngRowDenDate.assign(1, 0);
    DenMain->setEditLock(3);
    DenMain->setSectionItemText(0, 0, QString());
}

void frmKR430::SetFormStyle() {
    const QColor panel(252, 234, 206);
    const QColor text(96, 26, 10);
    Panel3D1[0]->BackColor(panel);
    Panel3D1[1]->BackColor(panel);
    lblGrp->BackColor(Panel3D1[0]->BackColor());
    lblGrp->ForeColor(text);
    QPalette p = Label1->palette();
    p.setColor(QPalette::Window, Panel3D1[0]->BackColor());
    p.setColor(QPalette::WindowText, text);
    Label1->setPalette(p);
    Label1->setAutoFillBackground(true);
    const QString icon = gstrAppPath + "tavik-icon-bmp.ico";
    if (QFileInfo::exists(icon)) setWindowIcon(QIcon(icon));
}

void frmKR430::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!activated_) QTimer::singleShot(0, this, [this] { Form_Activate(); });
}

void frmKR430::Form_Activate() {
    if (activated_) return;
    activated_ = true;
    try {
        lblGrp->Caption(FncGetSskGrpName(0, 0));
        lngGrpKbn = FncGetGrpKbn(0, 0);
        blnCanUpdate = FncCheckPermission(kVoucherProgram, 0, 0);
        DenMain->setGridEnabled(false);
        DenMain->Clear();
        const long m = FncGetKskKsym(0, 0, 0);
        if (m != 0) {
            const QDate first = FncCnvDate(m);
            txtDateS->Date(first);
            txtDateE->Date(AddMonths(first, 11));
        }
    } catch (const AppError& e) {
        ShowErrMsg(e);
        Unload();
    }
}

void frmKR430::Form_QueryUnload() {
    gobjVoucherOpener.Release();
    EndSystem();
}

void frmKR430::done(int r) {
    Form_QueryUnload();
    QDialog::done(r);
}

void frmKR430::Unload() { done(QDialog::Rejected); }

void frmKR430::Warn(const QString& text, imFieldBase* field, int icon) {
    MsgBox(text, vbOKOnly | (icon ? icon : vbExclamation), windowTitle());
    if (field) field->SetFocus();
}

// ---------------------------------------------------------------- condition fields

void frmKR430::txtDateS_Change() {
    lngStartNendo = 0;
    if (txtDateS->IsDate()) lngStartNendo = FncGetKskNendo(MonthNumber(txtDateS->Date()), 0, 0);
}

void frmKR430::txtKmkCd_KeyDown(int& KeyCode, int /*Shift*/) {
    if (KeyCode != vbKeyF5 && KeyCode != vbKeySpace) return;
    KeyCode = 0;
    if (lngStartNendo == 0) {
        Warn("伝票日付を入力しないと科目の選択が出来ません。");
        return;
    }
    if (FncShowCodeSearch("KMK", qlonglong(lngStartNendo), qlonglong(lngGrpKbn), Num(glngSskCd), Num(glngGrpCd), "",
                          "", "", "", "", "")) {
        txtKmkCd->Value(gvarSearchResult[0].toString());
        txtKmkCd_LostFocus();
    }
}

void frmKR430::txtHk1Cd_KeyDown(int& KeyCode, int /*Shift*/) {
    if (KeyCode != vbKeyF5 && KeyCode != vbKeySpace) return;
    KeyCode = 0;
    if (lngStartNendo == 0) {
        Warn("伝票日付を入力しないと補助科目１の選択が出来ません｡ ");
        return;
    }
    if (FncShowCodeSearch("HK1", qlonglong(lngStartNendo), qlonglong(txtKmkCd->NumValue()), lblKmkNm->Caption(), "",
                          "", "", "", "", "", "")) {
        txtHk1Cd->Value(gvarSearchResult[0].toString());
        txtHk1Cd_LostFocus();
    }
}

void frmKR430::txtHk2Cd_KeyDown(int& KeyCode, int /*Shift*/) {
    if (KeyCode != vbKeyF5 && KeyCode != vbKeySpace) return;
    KeyCode = 0;
    if (lngStartNendo == 0) {
        Warn("伝票日付を入力しないと補助科目２の選択が出来ません。");
        return;
    }
    if (FncShowCodeSearch("HK2", qlonglong(lngStartNendo), qlonglong(txtKmkCd->NumValue()), lblKmkNm->Caption(),
                          qlonglong(txtHk1Cd->NumValue()), lblHk1Nm->Caption(), Num(glngSskCd), Num(glngGrpCd), "",
                          "", "")) {
        txtHk2Cd->Value(gvarSearchResult[0].toString());
        txtHk2Cd_LostFocus();
    }
}

void frmKR430::txtKmkCd_LostFocus() {
    lblKmkNm->Caption(fncLookupField("KMK_RNAME", "KMKMF",
                                     "KMK_NENDO = " + Num(lngStartNendo) + " AND KMK_CD = " + Num(txtKmkCd->NumValue())));
}

void frmKR430::txtHk1Cd_LostFocus() {
    if (!blnHk1Changed) return;
    txtHk2Cd->Value("");
    lblHk2Nm->Caption("");
    lblHk1Nm->Caption(fncLookupField("HK1_RNAME", "HK1MF",
                                     "HK1_NENDO = " + Num(lngStartNendo) + " AND HK1_KMKCD = " +
                                         Num(txtKmkCd->NumValue()) + " AND HK1_CD = " + Num(txtHk1Cd->NumValue())));
}

void frmKR430::txtHk2Cd_LostFocus() {
    if (!blnHk2Changed) return;
    lblHk2Nm->Caption(fncLookupField("HK2_RNAME", "HK2MF",
                                     "HK2_NENDO = " + Num(lngStartNendo) + " AND HK2_KMKCD = " +
                                         Num(txtKmkCd->NumValue()) + " AND HK2_HK1CD = " +
                                         Num(txtHk1Cd->NumValue()) + " AND HK2_CD = " + Num(txtHk2Cd->NumValue())));
}

// ---------------------------------------------------------------- buttons

void frmKR430::cmdView_Click() {
    // Given from the grid by its access key, the grid keeps the keyboard.
    if (InquiryGrid::HasKeyboard(DenMain))
        InquiryGrid::RequeryFromGrid(DenMain, [this] { return fncShowLedger(); });
    else
        fncShowLedger();
}

void frmKR430::cmdPrn_Click() { fncPrintLedger(); }

void frmKR430::cmdEnd_Click() { Unload(); }

int frmKR430::fncGetLedgerLevel() const {
    const long kmk = txtKmkCd->NumValue();
    const long hk1 = txtHk1Cd->NumValue();
    const long hk2 = txtHk2Cd->NumValue();
    if (kmk >= 1 && hk1 >= 1 && hk2 >= 1) return 3;
    if (kmk >= 1 && hk1 >= 1 && hk2 < 1) return 2;
    if (kmk >= 1) return 1;
    return 0;
}

void frmKR430::fncPrintLedger() {
    basLP410Report::glngReportGrpKbn = lngGrpKbn;
    basLP410Report::SetReportControl(xlrRep);
    const long kmk = txtKmkCd->NumValue();
    const long hk1 = txtHk1Cd->NumValue();
    const long hk2 = txtHk2Cd->NumValue();
    if (!basLP410Report::fncMakeLedgerReport(fncGetLedgerLevel(), txtDateS->Date(), txtDateE->Date(), kmk, kmk, hk1,
                                             hk1, hk2, hk2))
        return;
    try {
        QString caption = basLP410Report::fncGetReportTitle();
        caption.remove(QChar(0x3000));
        xlrRep->PreviewWindow().Caption = caption;
        // 12000 by 8500 twips in pixels of this screen.
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        const double dpiX = s ? s->logicalDotsPerInchX() : 96.0;
        const double dpiY = s ? s->logicalDotsPerInchY() : 96.0;
        xlrRep->Preview(static_cast<int>(std::nearbyint(12000 / (1440.0 / dpiX))),
                        static_cast<int>(std::nearbyint(8500 / (1440.0 / dpiY))));
        xlrRep->Abort();
    } catch (const AppError& e) {
        xlrRep->Abort();
        ShowErrMsg(e);
    }
}

// ---------------------------------------------------------------- ledger

bool frmKR430::fncShowLedger() {
    return fncLoadLedger(txtDateS->Date(), txtDateE->Date(), txtKmkCd->NumValue(), txtHk1Cd->NumValue(),
                         txtHk2Cd->NumValue());
}

bool frmKR430::fncGetField(RecordsetPtr rs, const QString& strField, DbValue& varValue) {
    if (!rs) return false;
    bool found = false;
    if (!rs->Eof()) {
        varValue = rs->Fields(strField).Value();
        found = true;
    }
    rs->Close();
    return found;
}

bool frmKR430::fncLoadLedger(const QDate& dtStart, const QDate& dtEnd, long lngKmkCd, long lngHk1Cd,
                             long lngHk2Cd) {
    RecordsetPtr rs;
    // Rows read so far, one value per grid cell.
    std::vector<QStringList> filled;
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
        const long ymS = MonthNumber(dtStart);
        const long ymE = MonthNumber(dtEnd);
        if (!FncIsSameNendo(ymS, ymE)) {
            Warn("伝票日付の開始と終了は、決算年度が違うため元帳照会できません。", txtDateS);
            return false;
        }
        const long y = FncGetKskNendo(ymS, 0, 0);
        if (y == 0) {
            Warn("年度の取得に失敗しました。");
            return false;
        }
        DbValue ksym;
        if (!fncGetField(FncGetKskRs(y, 0, 0), "KSK_KSYM", ksym)) {
            Warn("期首年月を取得出来ませんでした。", nullptr, vbCritical);
            return false;
        }
        const long lngKsym = ValLng(ksym);

        lblKmkNm->Caption(FncGetKmkName(lngKmkCd, y));
        if (lngKmkCd == 0) {
            txtKmkCd->Value("");
            lblKmkNm->Caption("");
            txtHk1Cd->Value("");
            lblHk1Nm->Caption("");
            txtHk2Cd->Value("");
            lblHk2Nm->Caption("");
            Warn("科目を入力してください。", txtKmkCd);
            return false;
        }
        if (!FncIsKmkUsable(lngKmkCd, y)) {
            Warn("科目が登録されていないか、この組織、グループでは利用できない科目です。", txtKmkCd);
            return false;
        }
        if (lngHk1Cd != 0) {
            if (!FncExistHk1(lngKmkCd, lngHk1Cd, y)) {
                Warn("補助科目１が登録されていません。", txtHk1Cd);
                return false;
            }
            lblHk1Nm->Caption(FncGetHk1Name(lngKmkCd, lngHk1Cd, y));
            if (lngHk2Cd != 0) {
                if (!FncExistHk2(lngKmkCd, lngHk1Cd, lngHk2Cd, y)) {
                    Warn("補助科目２が登録されていないか、この組織、グループでは利用できない科目です。", txtHk2Cd);
                    return false;
                }
                lblHk2Nm->Caption(FncGetHk2Name(lngKmkCd, lngHk1Cd, lngHk2Cd, y));
            } else {
                txtHk2Cd->Value("");
                lblHk2Nm->Caption("");
            }
        } else {
            txtHk1Cd->Value("");
            lblHk1Nm->Caption("");
            txtHk2Cd->Value("");
            lblHk2Nm->Caption("");
            lngHk2Cd = 0;
        }

        gstrSQL = "SELECT DNH_YM";
        gstrSQL += "     , DNH_DENNO";
        gstrSQL += "     , DNH_DATE";
        gstrSQL += "     , DNM_AKMKCD";
        gstrSQL += "     , DNM_AHK1CD";
        gstrSQL += "     , DNM_AHK2CD";
        gstrSQL += "     , KMK2.KMK_RNAME AS KMK_RNAME";
        gstrSQL += "     , HK1_RNAME";
        gstrSQL += "     , HK2_RNAME";
        gstrSQL += "     , KMK1.KMK_TSKBN AS KMK_TSKBN";
        gstrSQL += "     , DNM_TSKBN";
        gstrSQL += "     , DNM_KIN";
        gstrSQL += "     , DNM_TEKIYO";
        gstrSQL += "  FROM V_DENDT";
        gstrSQL += "  LEFT JOIN KMKMF AS KMK1";
        gstrSQL += "    ON DNH_NENDO = KMK1.KMK_NENDO";
        gstrSQL += "   AND DNM_KMKCD = KMK1.KMK_CD";
        gstrSQL += "  LEFT JOIN KMKMF AS KMK2";
        gstrSQL += "    ON DNH_NENDO  = KMK2.KMK_NENDO";
        gstrSQL += "   AND DNM_AKMKCD = KMK2.KMK_CD";
        gstrSQL += "  LEFT JOIN HK1MF";
        gstrSQL += "    ON DNH_NENDO  = HK1_NENDO";
        gstrSQL += "   AND DNM_AKMKCD = HK1_KMKCD";
        gstrSQL += "   AND DNM_AHK1CD = HK1_CD";
        gstrSQL += "  LEFT JOIN HK2MF";
        gstrSQL += "    ON DNH_NENDO  = HK2_NENDO";
        gstrSQL += "   AND DNH_SSKCD  = HK2_SSKCD";
        gstrSQL += "   AND DNH_GRPCD  = HK2_GRPCD";
        gstrSQL += "   AND DNM_AKMKCD = HK2_KMKCD";
        gstrSQL += "   AND DNM_AHK1CD = HK2_HK1CD";
        gstrSQL += "   AND DNM_AHK2CD = HK2_CD";
        gstrSQL += " WHERE DNH_SSKCD = " + Num(glngSskCd);
        gstrSQL += "   AND DNH_GRPCD = " + Num(glngGrpCd);
        gstrSQL += "   AND DNM_KMKCD = " + Num(lngKmkCd);
        if (lngHk1Cd != 0) gstrSQL += "   AND DNM_HK1CD = " + Num(lngHk1Cd);
        if (lngHk2Cd != 0) gstrSQL += "   AND DNM_HK2CD = " + Num(lngHk2Cd);
        gstrSQL += "   AND DNH_YM   >= " + Num(ymS);
        gstrSQL += "   AND DNH_YM   <= " + Num(ymE);
        gstrSQL += " ORDER BY";
        gstrSQL += "       DNH_YM";
        gstrSQL += "     , DNH_DENNO";
        gstrSQL += "     , DNM_GYO";
        gstrSQL += "     , DNM_TSKBN";
        rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) {
            rs.reset();
            Warn("該当のデータは、ありませんでした。");
            return false;
        }
        DenMain->setRows(static_cast<int>(rs->RecordCount()) + 1);
        DenMain->setGridEnabled(true);

        Currency curZan;
        bool blnFound = false;
        fncGetOpeningBalance(curZan, ymS, lngKmkCd, lngHk1Cd, lngHk2Cd, 0, 0, blnFound);
        if (!blnFound) {
            rs.reset();
            DenMain->setRedraw(true);
            Warn("残高取得時にエラーが発生しました。");
            return false;
        }

        DenMain->setFillRow(0);
        DenMain->setCell("DATA_ZAND", 0, curZan);
        DenMain->setCell("DATA_KMKNM", 0, ymS == lngKsym ? QString("前期繰越金") : QString("前月繰越金"));

        // The columns found once and read by position; the rows handed to
        // the grid together.
        Field fldDate = rs->Fields("DNH_DATE");
        Field fldDenNo = rs->Fields("DNH_DENNO");
        Field fldAKmk = rs->Fields("DNM_AKMKCD");
        Field fldAHk1 = rs->Fields("DNM_AHK1CD");
        Field fldAHk2 = rs->Fields("DNM_AHK2CD");
        Field fldKmkNm = rs->Fields("KMK_RNAME");
        Field fldHk1Nm = rs->Fields("HK1_RNAME");
        Field fldHk2Nm = rs->Fields("HK2_RNAME");
        Field fldTsKbn = rs->Fields("DNM_TSKBN");
        Field fldKin = rs->Fields("DNM_KIN");
        Field fldKmkTsKbn = rs->Fields("KMK_TSKBN");
        Field fldTekiyo = rs->Fields("DNM_TEKIYO");
        const int cDate = DenMain->CellIndex("DATA_DATE");
        const int cDenNo = DenMain->CellIndex("DATA_DENNO");
        const int cKmkCd = DenMain->CellIndex("DATA_KMKCD");
        const int cKmkNm = DenMain->CellIndex("DATA_KMKNM");
        const int cHk1Cd = DenMain->CellIndex("DATA_HK1CD");
        const int cHk1Nm = DenMain->CellIndex("DATA_HK1NM");
        const int cHk2Cd = DenMain->CellIndex("DATA_HK2CD");
        const int cHk2Nm = DenMain->CellIndex("DATA_HK2NM");
        const int cKari = DenMain->CellIndex("DATA_KARI");
        const int cKasi = DenMain->CellIndex("DATA_KASI");
        const int cZand = DenMain->CellIndex("DATA_ZAND");
        const int cTekiyo = DenMain->CellIndex("DATA_TEKIYO");
        const qsizetype cells = static_cast<qsizetype>(DenMain->GridLayout().cells.size());
        lngRowDenDate.reserve(static_cast<size_t>(rs->RecordCount()) + 1);
        filled.reserve(static_cast<size_t>(rs->RecordCount()));

        Currency curKari, curKasi;
        int i = 0;
        while (!rs->Eof()) {
            ++i;
            const long lngDate = ValLng(fldDate.Value());
            lngRowDenDate.push_back(lngDate);
            QStringList& row = filled.emplace_back(cells);
            row[cDate] = SlashDate(FncCnvDate(lngDate));
            row[cDenNo] = fldDenNo.Value().Text();
            const long lngAKmk = ValLng(fldAKmk.Value());
            const long lngAHk1 = ValLng(fldAHk1.Value());
            const long lngAHk2 = ValLng(fldAHk2.Value());
            row[cKmkCd] = Num(lngAKmk);
            row[cKmkNm] = lngAKmk == 0 ? QString("諸口") : fldKmkNm.Value().Text();
            if (lngAHk1 != 0) row[cHk1Cd] = Num(lngAHk1);
            row[cHk1Nm] = fldHk1Nm.Value().Text();
            if (lngAHk2 != 0) row[cHk2Cd] = Num(lngAHk2);
            row[cHk2Nm] = fldHk2Nm.Value().Text();
            const long lngTsKbn = ValLng(fldTsKbn.Value());
            const Currency curKin = ValCur(fldKin.Value());
            if (lngTsKbn == 1) {
                row[cKari] = curKin.ToString();
                curKari += curKin;
            } else if (lngTsKbn == 2) {
                row[cKasi] = curKin.ToString();
                curKasi += curKin;
            }
            if (lngTsKbn == ValLng(fldKmkTsKbn.Value())) curZan += curKin;
            else curZan -= curKin;
            row[cZand] = curZan.ToString();
            row[cTekiyo] = fldTekiyo.Value().Text();
            rs->MoveNext();
        }
        DenMain->setFillRow(i);
        DenMain->FillRows(1, std::move(filled));
        DenMain->setTotal(curKari, "FOOT_KARI");
        DenMain->setTotal(curKasi, "FOOT_KASI");
        DenMain->setTotal(curZan, "FOOT_ZAND");
        return true;
    } catch (const AppError& e) {
        rs.reset();
        // The lines read before the error stay shown.
        if (!filled.empty()) {
            DenMain->setFillRow(static_cast<int>(filled.size()));
            DenMain->FillRows(1, std::move(filled));
        }
        DenMain->setRedraw(true);
        ShowErrMsg(e);
        return false;
    }
}

bool frmKR430::fncGetOpeningBalance(Currency& curZan, long lngYm, long lngKmkCd, long lngHk1Cd, long lngHk2Cd,
                                    long lngSskCd, long lngGrpCd, bool& blnFound) {
    blnFound = false;
    try {
        if (lngKmkCd == 0) return true;
        const QString ssk = Num(lngSskCd == 0 ? glngSskCd : lngSskCd);
        const QString grp = Num(lngGrpCd == 0 ? glngGrpCd : lngGrpCd);
        if (lngHk1Cd == 0) {
            gstrSQL = "SELECT KMZ_ZZAN AS ZZAN";
            gstrSQL += "  FROM KMZMF";
            gstrSQL += " WHERE KMZ_YM    = " + Num(lngYm);
            gstrSQL += "   AND KMZ_SSKCD = " + ssk;
            gstrSQL += "   AND KMZ_GRPCD = " + grp;
            gstrSQL += "   AND KMZ_KMKCD = " + Num(lngKmkCd);
        } else if (lngHk2Cd == 0) {
            gstrSQL = "SELECT H1Z_ZZAN AS ZZAN";
            gstrSQL += "  FROM H1ZMF";
            gstrSQL += " WHERE H1Z_YM    = " + Num(lngYm);
            gstrSQL += "   AND H1Z_SSKCD = " + ssk;
            gstrSQL += "   AND H1Z_GRPCD = " + grp;
            gstrSQL += "   AND H1Z_KMKCD = " + Num(lngKmkCd);
            gstrSQL += "   AND H1Z_HK1CD = " + Num(lngHk1Cd);
        } else {
            gstrSQL = "SELECT H2Z_ZZAN AS ZZAN";
            gstrSQL += "  FROM H2ZMF";
            gstrSQL += " WHERE H2Z_YM    = " + Num(lngYm);
            gstrSQL += "   AND H2Z_SSKCD = " + ssk;
            gstrSQL += "   AND H2Z_GRPCD = " + grp;
            gstrSQL += "   AND H2Z_KMKCD = " + Num(lngKmkCd);
            gstrSQL += "   AND H2Z_HK1CD = " + Num(lngHk1Cd);
            gstrSQL += "   AND H2Z_HK2CD = " + Num(lngHk2Cd);
        }
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (!rs->Eof()) {
            curZan = ValCur(rs->Fields("ZZAN").Value());
            blnFound = true;
        }
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

// ---------------------------------------------------------------- drill-down

void frmKR430::DenMain_OpenRow() { OpenVoucher(); }

void frmKR430::DenMain_KeyDown(int& KeyCode, int& /*Shift*/) {
    if (KeyCode == vbKeyReturn) OpenVoucher();
}

void frmKR430::OpenVoucher() {
    // Row 0 carries the balance forward: no voucher behind it.
    InquiryGrid::OpenRowVoucher(DenMain, *gobjVoucherOpener, 1, blnCanUpdate, lngRowDenDate,
                                [this] { return fncShowLedger(); });
}
