#include "voucher_entry/frmKE410.h"

#include "common/WindowKeys.h"
#include "common/WindowStyle.h"
#include "common/basCalendar.h"
#include "common/basIME.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_dialogs/basPrint.h"
#include "voucher_dialogs/frmKE41D.h"
#include "voucher_dialogs/frmKE41J.h"
#include "voucher_dialogs/frmKE41T.h"
#include "voucher_dialogs/frmKE41Y.h"
#include "voucher_entry/basUpdate.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/basYoChk.h"

#include <QRegularExpression>
#include <QApplication>
#include <QLineEdit>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <map>
#include <memory>

using namespace basStdComm;
using namespace basWKE410;
using namespace basTavik;

namespace {

const QString kAmountFormat = QStringLiteral("###,###,###,##0");
constexpr int kRows = 50;

// The four-line row block of the entry grid: debit half on the left, credit
// half on the right; on each line codes and amounts, then names and tax,
// then the partner, then the line description.
VoucherGridLayout EntryGridLayout() {
    VoucherGridLayout l;
    l.linesPerRow = 4;
    l.visibleRows = 6;
    l.rowNumberWidth = 30;
    l.lineHeight = 20;
    // Both halves side by side fit a window on a 1280-pixel screen.
    const int widths[5] = {100, 100, 100, 88, 200};
    for (int half = 0; half < 2; ++half) {
        const QString x = half == 0 ? "KR" : "KS";
        const int c0 = half * 5;
        auto add = [&](const QString& suffix, const QString& caption, int line, int col, int span, bool stop,
                       bool numeric, int maxLen, const QString& format = QString(), bool ime = false) {
            VoucherGridCell c;
            c.key = x + suffix;
            c.caption = caption;
            c.line = line;
            c.column = c0 + col;
            c.span = span;
            c.width = span == 1 ? widths[col] : 0;
            c.stop = stop;
            c.editable = stop;
            c.numeric = numeric;
            c.maxLength = maxLen;
            c.format = format;
            c.ime = ime;
            if (!stop) c.alignment = Qt::AlignLeft | Qt::AlignVCenter;
            l.cells.push_back(c);
        };
        add("KMKCD", "科目", 0, 0, 1, true, true, 8);
        add("HK1CD", "補助１", 0, 1, 1, true, true, 8);
        add("HK2CD", "補助２", 0, 2, 1, true, true, 8);
        add("ZKBN", "税区分", 0, 3, 1, true, true, 4);
        add("KIN", "金額", 0, 4, 1, true, true, 15, kAmountFormat);
        l.cells.back().amount = true;
        add("KMKNM", "科目名", 1, 0, 1, false, false, 0);
        add("HK1NM", "補助１名", 1, 1, 1, false, false, 0);
        add("HK2NM", "補助２名", 1, 2, 1, false, false, 0);
        add("ZKBNNM", "税区分名", 1, 3, 1, false, false, 0);
        add("TAX", "消費税", 1, 4, 1, true, true, 15, kAmountFormat);
        l.cells.back().amount = true;
        add("TRICD", "取引先", 2, 0, 1, true, true, 8);
        add("TRINM", "取引先名", 2, 1, 4, false, false, 0);
        add("TEKI", "摘要", 3, 0, 5, true, false, 0, QString(), true);
        VoucherGridHeaderCell side;
        side.key = x;
        side.caption = half == 0 ? "借　方" : "貸　方";
        side.line = 0;
        side.column = c0;
        side.span = 5;
        l.header.push_back(side);
        const char* line1[5] = {"科目／科目名", "補助１／名称", "補助２／名称", "税区分／名称", "金額／消費税"};
        for (int i = 0; i < 5; ++i) {
            VoucherGridHeaderCell h;
            h.caption = QString::fromUtf8(line1[i]);
            h.line = 1;
            h.column = c0 + i;
            l.header.push_back(h);
        }
        VoucherGridHeaderCell h2;
        h2.caption = "取引先／摘要";
        h2.line = 2;
        h2.column = c0;
        h2.span = 5;
        l.header.push_back(h2);
        VoucherGridFooterCell cap;
        cap.text = half == 0 ? "借方合計" : "貸方合計";
        cap.column = c0 + 3;
        cap.alignment = Qt::AlignRight | Qt::AlignVCenter;
        l.footer.push_back(cap);
        VoucherGridFooterCell tot;
        tot.key = half == 0 ? "GKRKIN" : "GKSKIN";
        tot.column = c0 + 4;
        tot.format = kAmountFormat;
        l.footer.push_back(tot);
    }
    return l;
}

QString OtherSide(const QString& side) { return side == "KR" ? "KS" : "KR"; }

}  // namespace

// ---------------------------------------------------------------- window

frmKE410::frmKE410(QWidget* parent) : QDialog(parent) {
    BuildControls();
    Form_Load();
}

frmKE410::~frmKE410() = default;

void frmKE410::BuildControls() {
    setWindowTitle("振替伝票入力");
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    Panel3D1[0] = new Panel3D(this);
    Panel3D1[0]->Bevel(Panel3D::Raised);
    auto* head = new QGridLayout(Panel3D1[0]);
    head->setContentsMargins(6, 4, 6, 4);
    head->setHorizontalSpacing(4);
    head->setVerticalSpacing(3);
    const char* caps[5] = {"伝票番号", "伝票日付", "入力日付", "伝票摘要", "入力担当"};
    for (int i = 0; i < 5; ++i) {
        lblCap[i] = new Panel3D(QString::fromUtf8(caps[i]), Panel3D1[0]);
        lblCap[i]->setFixedSize(76, 24);
    }
    txtDenno = new imNumber(Panel3D1[0]);
    txtDenno->Format("#######0");
    txtDenno->setFixedWidth(90);
    txtDate = new imDate(Panel3D1[0]);
    txtDate->setFixedWidth(130);
    txtNDate = new imDate(Panel3D1[0]);
    txtNDate->setFixedWidth(130);
    txtDTekiyo = new imText(Panel3D1[0]);
    lblNendo = new Panel3D("----年度", Panel3D1[0]);
    lblNendo->setFixedSize(90, 24);
    lblMode = new Panel3D(Panel3D1[0]);
    lblMode->setFixedSize(90, 24);
    lblGrp = new Panel3D(Panel3D1[0]);
    lblGrp->setMinimumWidth(220);
    lblGrp->setFixedHeight(24);
    lblTanto = new Panel3D(Panel3D1[0]);
    lblTanto->setFixedSize(150, 24);
    lblTanto->Alignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmdTan = new QPushButton("変更", Panel3D1[0]);
    cmdTan->setFixedWidth(56);
    chkKbn = new QCheckBox("決算仕訳", Panel3D1[0]);

    head->addWidget(lblCap[0], 0, 0);
    head->addWidget(txtDenno, 0, 1);
    head->addWidget(lblCap[1], 0, 2);
    head->addWidget(txtDate, 0, 3);
    head->addWidget(lblNendo, 0, 4);
    head->addWidget(lblCap[2], 0, 5);
    head->addWidget(txtNDate, 0, 6);
    head->addWidget(lblMode, 0, 8);
    head->addWidget(lblGrp, 0, 9, 1, 3);
    head->addWidget(lblCap[3], 1, 0);
    head->addWidget(txtDTekiyo, 1, 1, 1, 6);
    head->addWidget(chkKbn, 1, 8);
    head->addWidget(lblCap[4], 1, 9);
    head->addWidget(lblTanto, 1, 10);
    head->addWidget(cmdTan, 1, 11);
    head->setColumnStretch(7, 1);
    root->addWidget(Panel3D1[0]);

    denMeisai = new VoucherGrid(this);
    denMeisai->SetGridLayout(EntryGridLayout());
    root->addWidget(denMeisai, 1);

    Label1 = new QLabel(
        "検索：Space・F5(摘要検索はF5)　行挿入：Shift+Ins　行削除：Shift+Delete　（行摘要の摘要登録：F8）", this);
    root->addWidget(Label1);

    Panel3D1[1] = new Panel3D(this);
    Panel3D1[1]->Bevel(Panel3D::Raised);
    auto* buttons = new QHBoxLayout(Panel3D1[1]);
    buttons->setContentsMargins(6, 4, 6, 4);
    auto button = [&](const QString& caption) {
        auto* b = new QPushButton(caption, Panel3D1[1]);
        b->setAutoDefault(false);
        b->setMinimumWidth(96);
        buttons->addWidget(b);
        return b;
    };
    cmdUpd = button("登録(F10)(&U)");
    cmdPrn = button("印刷(&P)");
    cmdAdd = button("追加ﾓｰﾄﾞ(&A)");
    buttons->addSpacing(12);
    cmdPrev = button("＜前伝票");
    cmdNext = button("次伝票＞");
    cmdJump = button("ｼﾞｬﾝﾌﾟ");
    buttons->addSpacing(12);
    cmdPRead = button("ﾊﾟﾀｰﾝ呼出(&Y)");
    cmdPUpd = button("ﾊﾟﾀｰﾝ登録(&T)");
    cmdTeki = button("摘要登録");
    buttons->addStretch(1);
    cmdEnd = button("閉じる(&X)");
    root->addWidget(Panel3D1[1]);
    cmdTan->setAutoDefault(false);

    resize(1260, 740);

    // Keyboard path of a bookkeeper: date, input date, description, then
    // straight into the grid; the settlement box and buttons come after.
    QWidget* order[] = {txtDenno, txtDate, txtNDate, txtDTekiyo, denMeisai, cmdUpd, cmdPrn, cmdAdd, cmdPrev,
                        cmdNext, cmdJump, cmdPRead, cmdPUpd, cmdTeki, cmdEnd, chkKbn, cmdTan};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdUpd, &QPushButton::clicked, this, [this] { cmdUpd_Click(); });
    connect(cmdPrn, &QPushButton::clicked, this, [this] { cmdPrn_Click(); });
    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdPrev, &QPushButton::clicked, this, [this] { cmdPrev_Click(); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
    connect(cmdJump, &QPushButton::clicked, this, [this] { cmdJump_Click(); });
    connect(cmdPRead, &QPushButton::clicked, this, [this] { cmdPRead_Click(); });
    connect(cmdPUpd, &QPushButton::clicked, this, [this] { cmdPUpd_Click(); });
    connect(cmdTeki, &QPushButton::clicked, this, [this] { cmdTeki_Click(); });
    connect(cmdTan, &QPushButton::clicked, this, [this] { cmdTan_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });

    // F10 registers in every mode, also while the button is disabled: the
    // window sees the key before any field does.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    f10->setContext(Qt::WindowShortcut);
    connect(f10, &QShortcut::activated, this, [this] { cmdUpd_Click(); });

    connect(denMeisai, &VoucherGrid::CellChanged, this,
            [this](const QString& key, int row) { denMeisai_CellChanged(key, row); });
    connect(denMeisai, &VoucherGrid::CellBeginEdit, this, [this] { denMeisai_RememberAmount(); });
    connect(denMeisai, &VoucherGrid::CellValue, this, [this](QString& v) { denMeisai_RecheckAmount(v); });
    connect(denMeisai, &VoucherGrid::KeyDown, this, [this](int& k, int& s) { denMeisai_KeyDown(k, s); });
    connect(denMeisai, &VoucherGrid::KeyPress, this, [this](int& c) { denMeisai_KeyPress(c); });
    connect(denMeisai, &VoucherGrid::CellEnter, this, [this](const QString& key) { denMeisai_CellEnter(key); });

    auto markChanged = [this] { blnChanged = true; };
    connect(txtDate, &imDate::Change, this, markChanged);
    connect(txtNDate, &imDate::Change, this, markChanged);
    connect(txtDTekiyo, &imText::Change, this, markChanged);
    connect(chkKbn, &QCheckBox::clicked, this, markChanged);
    connect(txtDate, &imDate::LostFocus, this, [this] { ApplyVoucherDate(); });
    for (QWidget* w : {static_cast<QWidget*>(txtDenno), static_cast<QWidget*>(txtDate),
                       static_cast<QWidget*>(txtNDate)})
        connect(static_cast<imFieldBase*>(w), &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    chkKbn->installEventFilter(this);
    WindowKeys::IgnoreEscape(this);
    connect(txtDTekiyo, &imFieldBase::KeyDown, this, [this](int& k, int s) { txtDTekiyo_KeyDown(k, s); });
    for (imDate* d : {txtDate, txtNDate}) {
        connect(d, &imDate::CalendarOpening, this, [this, d] { LoadHolidays(d, 0); });
        connect(d, &imDate::CalendarYearChanged, this, [this, d](int year) { LoadHolidays(d, year); });
    }
}

bool frmKE410::eventFilter(QObject* watched, QEvent* event) {
    // The settlement box takes no Japanese text: the input method closes.
    if (watched == chkKbn && event->type() == QEvent::FocusIn) basIME::SetImeOpen(this, false);
    return QDialog::eventFilter(watched, event);
}

void frmKE410::LoadHolidays(imDate* field, int year) { field->Holidays(basCalendar::fncGetHolidayList(year)); }

void frmKE410::Form_Load() {
    gblnLoading = true;
    blnLoadError = false;
    CenterForm(this);
    lblGrp->Caption(FncGetSskGrpName(glngSskCd, glngGrpCd));
    InitEntryScreen();
    SetFormStyle();
    glngGrpKbn = ValLng(fncLookupField("GRP_KBN", "GRPMF",
                                       "GRP_SSKCD = " + QString::number(glngSskCd) +
                                           " AND GRP_CD = " + QString::number(glngGrpCd)));
    glngTanCd = glngUserId;
    gstrFuriDenKingaku = QString::number(Val(FncGetSysValue("FuriDenKingaku")));
    ClearVoucherScreen();
    cmdUpd->setText("登録(F10)(&U)");

    if (gstrEditMode == "I") {
        lblMode->Caption("追加");
        ProposeNumberAndMonth();
        glngTanCd = glngUserId;
        lblTanto->Caption(fncLookupField("USG_NAME", "USGMF", "USG_ID = " + QString::number(glngTanCd)));
        cmdPrev->setEnabled(false);
        cmdNext->setEnabled(false);
        cmdAdd->setEnabled(false);
    } else {
        // A copy is dated as the window shows it, not as its source: it is
        // named, checked and stored in the fiscal year of that date.
        glngCurNendo = gstrEditMode == "C" ? FncGetKskNendo(txtDate->NumValue(), 0, 0) : glngDenNendo;
        const QString mode = gstrEditMode;
        if (mode == "U") lblMode->Caption("変更");
        else if (mode == "C") lblMode->Caption("追加(ｺﾋﾟｰ)");
        else if (mode == "D") lblMode->Caption("削除");
        else if (mode == "S") lblMode->Caption("参照");
        if (!LoadVoucher()) {
            blnLoadError = true;
            return;
        }
        gblnLoading = true;
        subTatekei();
        if (mode == "C") ProposeNumberAndMonth();
        // The mode the load left (a voucher of a closed period comes up in
        // reference mode whatever it was opened for).
        ShowModeState();
    }
    gblnLoading = false;
    blnChanged = false;
}

void frmKE410::ProposeNumberAndMonth() {
    long d = txtDate->NumValue();
    txtDenno->Value(QString::number(FncGetNextDenNo(0, d, 0, 0)));
    try {
        long dd = d;
        glngDenYm = FncGetKskMonth(dd, 0, 0);
    } catch (const AppError& e) {
        ShowErrMsg(e);
        glngDenYm = 0;
    }
}

void frmKE410::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!activated_) {
        activated_ = true;
        QTimer::singleShot(0, this, [this] { Form_Activate(); });
    }
}

void frmKE410::Form_Activate() {
    if (blnLoadError) {
        Unload();
        return;
    }
    if (gstrEditMode == "U") {
        denMeisai->setFocus();
        denMeisai->setCurrentRow(0);
        denMeisai->setCurrentKey("KRKMKCD");
    } else if (txtDate->isEnabled()) {
        txtDate->SetFocus();
    }
}

bool frmKE410::Form_QueryUnload() {
    if (blnLoadError) return true;
    // A refused typed date keeps a changed voucher open on its message.
    if (!TakeInputInProgress() && blnChanged) return false;
    if (glngCurNendo != 0 && gstrEditMode != "S" && blnChanged) {
        if (MsgBox("変更を保存しますか", vbYesNo | vbInformation, windowTitle()) == vbYes) {
            // A voucher whose save failed stays on screen: closing now would
            // throw the typed voucher away. A voucher gone meanwhile closes.
            if (!fncSaveChanges()) return blnLoadError;
        }
    }
    return true;
}

void frmKE410::done(int r) {
    if (!unloading_ && !Form_QueryUnload()) return;
    unloading_ = false;
    QDialog::done(r);
}

void frmKE410::Unload() {
    unloading_ = true;
    done(QDialog::Accepted);
}

void frmKE410::InitEntryScreen() {
    try {
        lblTanto->Caption(fncLookupField("USG_NAME", "USGMF", "USG_ID = " + QString::number(glngUserId)));
        denMeisai->setInitFlag(false);
        denMeisai->setRows(kRows);
        denMeisai->setGridEnabled(true);
        glngSdnKbn = ValLng(fncLookupField("SSK_SDNKBN", "SSKMF", "SSK_CD = " + QString::number(glngSskCd)));
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
}

void frmKE410::ClearVoucherScreen() {
    txtDenno->Value("0");
    if (txtDate->IsEmpty()) SetDefaultVoucherDate();
    glngCurNendo = FncGetKskNendo(txtDate->NumValue(), 0, 0);
    lblNendo->Caption(glngCurNendo != 0 ? QString::number(glngCurNendo) + "年度" : QString("----年度"));
    txtDTekiyo->Value("");
    txtNDate->Date(Today());
    denMeisai->setClearMode(1);
    denMeisai->ClearCells();
    denMeisai->setSectionItemText(0, 0, "%n%");
    denMeisai->setTotal(Currency(), "GKRKIN");
    denMeisai->setTotal(Currency(), "GKSKIN");
    denMeisai->setColumnDef("KRTEKI", 4, 0);
    denMeisai->setColumnDef("KSTEKI", 4, 0);
    for (QWidget* w : {static_cast<QWidget*>(txtDenno), static_cast<QWidget*>(txtDate),
                       static_cast<QWidget*>(txtDTekiyo), static_cast<QWidget*>(txtNDate)})
        w->setEnabled(true);
    denMeisai->setEditLock(0);
    chkKbn->setEnabled(true);
    for (QPushButton* b : {cmdTeki, cmdPRead, cmdPUpd, cmdJump, cmdPrev, cmdNext, cmdPrn, cmdAdd, cmdTan, cmdUpd})
        b->setEnabled(true);
    denMeisai->setCurrentRow(0);
    denMeisai->setCurrentKey("KRKMKCD");
    blnChanged = false;
}

void frmKE410::SetDefaultVoucherDate() {
    long today = DateNumber(Today());
    long kiend = FncGetKskKiend(0, 0, 0);
    txtDate->NumValue(today < kiend ? today : kiend);
}

void frmKE410::LockVoucherInput() {
    for (QWidget* w : {static_cast<QWidget*>(txtDenno), static_cast<QWidget*>(txtDate),
                       static_cast<QWidget*>(txtDTekiyo), static_cast<QWidget*>(txtNDate)})
        w->setEnabled(false);
    denMeisai->setEditLock(3);
    chkKbn->setEnabled(false);
    for (QPushButton* b : {cmdTeki, cmdPRead, cmdPUpd, cmdAdd, cmdTan}) b->setEnabled(false);
}

void frmKE410::LockUpdateButtons() {
    for (QPushButton* b : {cmdUpd, cmdAdd, cmdTan}) b->setEnabled(false);
}

// After a voucher was loaded: the mode label, the register button and the
// locks follow the mode the window now stands in, and the fiscal-year label
// the voucher date.
void frmKE410::ShowModeState() {
    const QString mode = gstrEditMode;
    cmdUpd->setText(mode == "D" ? "削除(F10)(&D)" : "登録(F10)(&U)");
    if (mode == "I" || mode == "C") {
        lblMode->Caption(mode == "I" ? "追加" : "追加(ｺﾋﾟｰ)");
        cmdPrev->setEnabled(false);
        cmdNext->setEnabled(false);
        cmdAdd->setEnabled(false);
    } else if (mode == "U") {
        lblMode->Caption("変更");
    } else if (mode == "D") {
        lblMode->Caption("削除");
        LockVoucherInput();
    } else if (mode == "S") {
        lblMode->Caption("参照");
        LockVoucherInput();
        LockUpdateButtons();
        cmdUpd->setEnabled(false);
    }
    const long nendo = FncGetKskNendo(txtDate->NumValue(), 0, 0);
    lblNendo->Caption(nendo != 0 ? QString::number(nendo) + "年度" : QString("----年度"));
}

// Whether a voucher reached from reference mode may be opened for change:
// only for a user with the update right of this program.
bool frmKE410::MayChangeVouchers() { return FncCheckPermission("WKE410", 0, 0); }

bool frmKE410::ApplyVoucherDate() {
    long oldNendo = glngCurNendo;
    long d = txtDate->NumValue();
    glngCurNendo = FncGetKskNendo(d, 0, 0);
    if (glngCurNendo >= 1) {
        lblNendo->Caption(QString::number(glngCurNendo) + "年度");
        if (gstrEditMode != "U") {
            txtDenno->Value(QString::number(FncGetNextDenNo(0, d, 0, 0)));
        } else {
            long sban = ValLng(fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + QString::number(glngSskCd)));
            bool same;
            if (sban == 0) {
                long month = 0;
                try {
                    long dd = d;
                    month = FncGetKskMonth(dd, 0, 0);
                } catch (const AppError& e) {
                    ShowErrMsg(e);
                }
                if (month == 0) {
                    txtDenno->Value("");
                    same = true;
                } else {
                    same = month == glngDenYm;
                }
                if (month != 0) {
                    if (same) txtDenno->Value(QString::number(glngDenNo));
                    else txtDenno->Value(QString::number(FncGetNextDenNo(0, d, 0, 0)));
                }
            } else {
                same = glngCurNendo == glngDenNendo;
                if (same) txtDenno->Value(QString::number(glngDenNo));
                else txtDenno->Value(QString::number(FncGetNextDenNo(0, d, 0, 0)));
            }
        }
        if (glngCurNendo != oldNendo) fncRefreshGridNames();
        subRefreshTaxNames();
        return true;
    }
    lblNendo->Caption("----年度");
    txtDenno->Value("");
    txtDate->SetFocus();
    // A lookup the database failed (a lost connection) has said why; the
    // calendar is not to blame.
    if (gobjDB->ErrorNumber() != 0) return false;
    MsgBox("日付指定エラー。決算期間マスタに登録されていない日付が入力されました。", vbExclamation, windowTitle());
    txtDate->SetFocus();
    return false;
}

void frmKE410::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblMode, lblGrp});
    lblNendo->BackColor(QColor(179, 244, 163));
    lblNendo->ForeColor(QColor(26, 91, 10));
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(p);
}

// ---------------------------------------------------------------- totals and tax

void frmKE410::subTatekei() {
    try {
        denMeisai->setTotal(Currency(), "GKRKIN");
        denMeisai->setTotal(Currency(), "GKSKIN");
        Currency kari, kasi;
        for (int i = 0; i < kRows; ++i) {
            kari = kari + ValCur(denMeisai->Cell("KRKIN", i)) + ValCur(denMeisai->Cell("KRTAX", i));
            kasi = kasi + ValCur(denMeisai->Cell("KSKIN", i)) + ValCur(denMeisai->Cell("KSTAX", i));
        }
        denMeisai->setTotal(kari, "GKRKIN");
        denMeisai->setTotal(kasi, "GKSKIN");
    } catch (const AppError&) {
        MsgBox("縦計計算時にエラーが発生しました。貸借金額を確認して下さい。", vbOKOnly | vbExclamation, windowTitle());
    }
}

Currency frmKE410::fncTaxCalc(Currency& curKin, long& lngZeiCd) {
    Currency tax;
    if (lngZeiCd == 0) return tax;
    try {
        // The row whose name the grid shows beside the code.
        const TaxCode z = FncGetTaxInForce(lngZeiCd, txtDate->NumValue());
        if (!z.found) return tax;
        const long kbn = z.kbn;
        if (kbn > 4) return tax;
        const DecimalRate r = DecimalRate::Parse(z.ritu);
        if (kbn == 1 || kbn == 3) {
            tax = Currency::FloorMul(curKin, r);
        } else if (kbn == 2 || kbn == 4) {
            tax = Currency::FloorIncludedTax(curKin, r);
            curKin = curKin - tax;
        }
        return tax;
    } catch (const AppError&) {
        MsgBox("縦計計算時にエラーが発生しました。貸借金額を確認して下さい。", vbOKOnly | vbExclamation, windowTitle());
        return tax;
    }
}

// ---------------------------------------------------------------- cell rules

void frmKE410::denMeisai_CellChanged(const QString& key, int /*row*/) {
    if (gblnLoading) return;
    gblnLoading = true;
    blnChanged = true;
    // Lowered again on every way out.
    struct Lower {
        ~Lower() { gblnLoading = false; }
    } lower;

    static const QStringList rules = {"KMKCD", "HK1CD", "HK2CD", "ZKBN", "TRICD", "KIN", "TAX"};
    QString x, suffix;
    for (const QString& side : {QString("KR"), QString("KS")}) {
        for (const QString& s : rules)
            if (key == side + s) {
                x = side;
                suffix = s;
            }
    }
    if (x.isEmpty()) return;
    const QString y = OtherSide(x);
    const QString n = QString::number(glngCurNendo);
    auto cell = [this](const QString& k) { return denMeisai->Cell(k, denMeisai->CurrentRow()); };
    auto set = [this](const QString& k, const QString& v) { denMeisai->setCell(k, denMeisai->CurrentRow(), v); };
    auto num = [&](const QString& k) { return QString::number(ValLng(cell(k))); };

    try {
        if (suffix == "KMKCD") {
            set(x + "KMKNM", fncLookupField("KMK_RNAME", "KMKMF", "KMK_NENDO = " + n + " AND KMK_CD = " + num(x + "KMKCD")));
            set(x + "HK1CD", "");
            set(x + "HK1NM", "");
            set(x + "HK2CD", "");
            set(x + "HK2NM", "");
            set(x + "ZKBN", fncLookupField("KMK_ZKBN", "KMKMF", "KMK_NENDO = " + n + " AND KMK_CD = " + num(x + "KMKCD")));
            set(x + "ZKBNNM", FncGetTaxName(ValLng(cell(x + "ZKBN")), txtDate->NumValue()));
            set(x + "KIN", "0");
            if (Val(gstrFuriDenKingaku) == 9 && !cell(x + "KMKNM").isEmpty()) {
                gstrSumKariKin = "0";
                gstrSumKasiKin = "0";
                for (int i = 0; i < kRows; ++i) {
                    gstrSumKasiKin = (ValCur(gstrSumKasiKin) + ValCur(denMeisai->Cell("KSKIN", i))).ToString();
                    gstrSumKariKin = (ValCur(gstrSumKariKin) + ValCur(denMeisai->Cell("KRKIN", i))).ToString();
                }
                Currency balance = x == "KR" ? ValCur(gstrSumKasiKin) - ValCur(gstrSumKariKin)
                                             : ValCur(gstrSumKariKin) - ValCur(gstrSumKasiKin);
                set(x + "KIN", balance.ToString());
            }
            subTatekei();
        } else if (suffix == "HK1CD") {
            set(x + "HK1NM", fncLookupField("HK1_RNAME", "HK1MF",
                                            "HK1_NENDO = " + n + " AND HK1_KMKCD = " + num(x + "KMKCD") +
                                                " AND HK1_CD = " + num(x + "HK1CD")));
            set(x + "HK2CD", "");
            set(x + "HK2NM", "");
        } else if (suffix == "HK2CD") {
            set(x + "HK2NM",
                fncLookupField("HK2_RNAME", "HK2MF",
                               "HK2_NENDO = " + n + " AND HK2_SSKCD = " + QString::number(glngSskCd) +
                                   " AND HK2_GRPCD = " + QString::number(glngGrpCd) + " AND HK2_KMKCD = " +
                                   num(x + "KMKCD") + " AND HK2_HK1CD = " + num(x + "HK1CD") +
                                   " AND HK2_CD = " + num(x + "HK2CD")));
        } else if (suffix == "TRICD") {
            set(x + "TRINM", fncLookupField("TRI_NAME", "TRIMF",
                                            "TRI_SSKCD = " + QString::number(glngSskCd) + " AND TRI_CD = " +
                                                num(x + "TRICD")));
        } else if (suffix == "ZKBN") {
            set(x + "ZKBNNM", FncGetTaxName(ValLng(cell(x + "ZKBN")), txtDate->NumValue()));
            Currency k = ValCur(cell(x + "KIN"));
            if (k.IsZero()) return;
            long z = ValLng(cell(x + "ZKBN"));
            Currency tax = fncTaxCalc(k, z);
            set(x + "TAX", tax.ToString());
            set(x + "KIN", k.ToString());
            subTatekei();
        } else if (suffix == "KIN") {
            Currency k = ValCur(cell(x + "KIN"));
            long z = ValLng(cell(x + "ZKBN"));
            Currency tax = fncTaxCalc(k, z);
            set(x + "TAX", tax.ToString());
            set(x + "KIN", k.ToString());
            subTatekei();
        } else if (suffix == "TAX") {
            subTatekei();
        }
    } catch (const AppError& e) {
        // An amount beyond the Currency range typed into a cell.
        MsgBox("縦計計算時にエラーが発生しました。貸借金額を確認して下さい。", vbOKOnly | vbExclamation, windowTitle());
    }
}

void frmKE410::denMeisai_RememberAmount() {
    const QString key = denMeisai->CurrentKey();
    if (key == "KRKIN" || key == "KSKIN") varOldKin = denMeisai->Cell(key, denMeisai->CurrentRow());
}

void frmKE410::denMeisai_RecheckAmount(QString& value) {
    const QString key = denMeisai->CurrentKey();
    if ((key == "KSKIN" || key == "KRKIN") && Val(value) != 0 && value == varOldKin)
        denMeisai_CellChanged(key, denMeisai->CurrentRow());
}

// ---------------------------------------------------------------- grid keyboard

namespace {
struct Move {
    int key;
    QStringList from;
    QString to;
};

const std::vector<Move>& MoveTable() {
    static const std::vector<Move> t = {
        {vbKeyDown, {"KRKMKCD"}, "KRTRICD"},
        {vbKeyDown, {"KRHK1CD", "KRHK1NM", "KRHK2CD", "KRHK2NM", "KRZKBN", "KRZKBNNM", "KRTAX"}, "KRTEKI"},
        {vbKeyDown, {"KSKMKCD"}, "KSTRICD"},
        {vbKeyDown, {"KSHK1CD", "KSHK1NM", "KSHK2CD", "KSHK2NM", "KSZKBN", "KSZKBNNM", "KSTAX"}, "KSTEKI"},
        {vbKeyUp, {"KRTRICD"}, "KRKMKCD"},
        {vbKeyUp, {"KRTEKI"}, "KRTRICD"},
        {vbKeyUp, {"KRTRINM"}, "KRTAX"},
        {vbKeyUp, {"KSTRICD"}, "KSKMKCD"},
        {vbKeyUp, {"KSTEKI"}, "KSTRICD"},
        {vbKeyUp, {"KSTRINM"}, "KSTAX"},
        {vbKeyLeft, {"KRKMKNM", "KRHK1NM", "KRHK2NM", "KRZKBNNM", "KRTAX"}, "KSKIN"},
        {vbKeyLeft, {"KRTRICD"}, "KSTAX"},
        {vbKeyLeft, {"KSKMKNM", "KSHK1NM", "KSHK2NM", "KSZKBNNM", "KSTAX"}, "KRTAX"},
        {vbKeyLeft, {"KSTRICD"}, "KRTRICD"},
        {vbKeyRight, {"KRKMKNM", "KRHK1NM", "KRHK2NM"}, "KRTAX"},
        {vbKeyRight, {"KRTAX"}, "KSTAX"},
        {vbKeyRight, {"KRTRICD", "KRTRINM"}, "KSTRICD"},
        {vbKeyRight, {"KSKMKNM", "KSHK1NM", "KSHK2NM"}, "KSTAX"},
        {vbKeyRight, {"KSKIN"}, "KRTAX"},
        {vbKeyRight, {"KSTAX"}, "KRTRICD"},
        {vbKeyRight, {"KSTRICD", "KSTRINM"}, "KRTEKI"},
    };
    return t;
}
}  // namespace

void frmKE410::denMeisai_KeyDown(int& keyCode, int& shift) {
    const QString col = denMeisai->CurrentKey();
    const int row = denMeisai->CurrentRow();
    switch (keyCode) {
    case vbKeyF5:
        keyCode = 0;
        denMeisai->setCellEditing(false);
        SearchGridCode();
        return;
    case vbKeyF8:
        keyCode = 0;
        if (!cmdTeki->isEnabled()) return;  // the key does what its button does, or nothing
        if (col == "KRTEKI" || col == "KSTEKI") {
            // Leaving the cell takes what was typed into it.
            denMeisai->setCurrentKey(col == "KRTEKI" ? "KSTEKI" : "KRTEKI");
            denMeisai->setCurrentKey(col);
            gstrTekiyo = denMeisai->Cell(col, row);
        }
        ShowDescriptionDialog();
        return;
    case vbKeyInsert:
        if (shift != vbShiftMask) return;
        keyCode = 0;
        if (denMeisai->EditLock() != 0) return;  // a locked grid keeps its rows
        if (ValLng(denMeisai->Cell("KRKMKCD", kRows - 1)) != 0 || ValLng(denMeisai->Cell("KSKMKCD", kRows - 1)) != 0) {
            if (MsgBox("最終行が削除されますがよろしいですか？", vbYesNo | vbInformation, windowTitle()) == vbYes)
                denMeisai->InsertRow();
        } else {
            denMeisai->InsertRow();
        }
        subTatekei();
        return;
    case vbKeyDelete:
        if (shift != vbShiftMask) return;
        keyCode = 0;
        if (denMeisai->EditLock() != 0) return;
        if (MsgBox("行を削除してもよろしいですか？", vbYesNo | vbInformation, windowTitle()) == vbYes)
            denMeisai->DeleteRow();
        subTatekei();
        return;
    case vbKeyTab:
    case vbKeyReturn: {
        keyCode = 0;
        if (col == "KSTEKI") {
            if (row == kRows - 1) {
                cmdUpd->setFocus();
            } else {
                denMeisai->setCurrentRow(row + 1);
                denMeisai->setCurrentKey("KRKMKCD");
            }
            return;
        }
        static const QStringList names = {"KMKNM", "HK1NM", "HK2NM", "ZKBNNM", "TRINM"};
        for (const QString& nm : names) {
            if (col.mid(2) == nm) {
                QString code = nm == "ZKBNNM" ? "ZKBN" : nm.left(nm.size() - 2) + "CD";
                denMeisai->setCurrentKey(col.left(2) + code);
                return;
            }
        }
        const QString next = fncNextTabColumn(col);
        denMeisai->setCurrentKey(next);
        if (next == "KRKMKCD") {
            if (row == kRows - 1) cmdUpd->setFocus();
            else denMeisai->setCurrentRow(row + 1);
        }
        return;
    }
    case vbKeyLeft:
    case vbKeyUp:
    case vbKeyRight:
    case vbKeyDown:
        for (const Move& m : MoveTable()) {
            if (m.key == keyCode && m.from.contains(col)) {
                keyCode = 0;
                denMeisai->setCurrentKey(m.to);
                return;
            }
        }
        return;
    default:
        return;
    }
}

void frmKE410::denMeisai_KeyPress(int& keyAscii) {
    if (keyAscii != vbKeySpace) return;
    const QString col = denMeisai->CurrentKey();
    if (col == "KRTEKI" || col == "KSTEKI") return;
    keyAscii = 0;
    denMeisai->setCellEditing(false);
    SearchGridCode();
}

void frmKE410::denMeisai_CellEnter(const QString& key) {
    if (key == "KRTEKI" || key == "KSTEKI") SetImeConversion(this);
}

void frmKE410::SearchGridCode() {
    // A locked grid (delete and reference modes) is not changed by a search.
    if (denMeisai->EditLock() != 0) return;
    const QString col = denMeisai->CurrentKey();
    const int row = denMeisai->CurrentRow();
    if (col.size() < 3) return;
    const QString x = col.left(2);
    const QString suffix = col.mid(2);
    auto c = [&](const QString& s) { return QVariant(denMeisai->Cell(x + s, row)); };
    bool chosen = false;
    int element = 0;
    if (suffix == "KMKCD") {
        chosen = FncShowCodeSearch("KMK", QVariant::fromValue(glngCurNendo), QVariant::fromValue(glngGrpKbn),
                                   QVariant::fromValue(glngSskCd), QVariant::fromValue(glngGrpCd));
    } else if (suffix == "HK1CD") {
        chosen = FncShowCodeSearch("HK1", QVariant::fromValue(glngCurNendo), c("KMKCD"), c("KMKNM"));
    } else if (suffix == "HK2CD") {
        chosen = FncShowCodeSearch("HK2", QVariant::fromValue(glngCurNendo), c("KMKCD"), c("KMKNM"), c("HK1CD"),
                                   c("HK1NM"), QVariant::fromValue(glngSskCd), QVariant::fromValue(glngGrpCd));
    } else if (suffix == "ZKBN") {
        chosen = FncShowCodeSearch("ZEI");
    } else if (suffix == "TRICD") {
        chosen = FncShowCodeSearch("TRI", QVariant::fromValue(glngSskCd));
    } else if (suffix == "TEKI") {
        QApplication::processEvents();
        chosen = FncShowCodeSearch("TEK", QVariant::fromValue(glngSskCd));
        element = 1;
    } else {
        return;
    }
    if (chosen) denMeisai->setCell(col, denMeisai->CurrentRow(), gvarSearchResult[element].toString());
}

bool frmKE410::fncRefreshGridNames() {
    gblnLoading = true;
    const QString y = QString::number(glngCurNendo);
    for (const QString& x : {QString("KR"), QString("KS")}) {
        const int rows = denMeisai->RowCount();
        for (int r = 0; r < rows; ++r) {
            const long a = ValLng(denMeisai->Cell(x + "KMKCD", r));
            if (a == 0) {
                denMeisai->setCell(x + "KMKNM", r, "");
                denMeisai->setCell(x + "HK1NM", r, "");
                denMeisai->setCell(x + "HK2NM", r, "");
                continue;
            }
            denMeisai->setCell(x + "KMKNM", r,
                               fncLookupField("KMK_RNAME", "KMKMF", "KMK_NENDO = " + y + " and KMK_CD = " + QString::number(a)));
            const long h1 = ValLng(denMeisai->Cell(x + "HK1CD", r));
            if (h1 == 0) {
                denMeisai->setCell(x + "HK1NM", r, "");
                denMeisai->setCell(x + "HK2NM", r, "");
                continue;
            }
            denMeisai->setCell(x + "HK1NM", r,
                               fncLookupField("HK1_RNAME", "HK1MF",
                                              "HK1_NENDO = " + y + " and HK1_KMKCD = " + QString::number(a) +
                                                  " and HK1_CD = " + QString::number(h1)));
            const long h2 = ValLng(denMeisai->Cell(x + "HK2CD", r));
            if (h2 == 0) {
                denMeisai->setCell(x + "HK2NM", r, "");
                continue;
            }
            denMeisai->setCell(x + "HK2NM", r,
                               fncLookupField("HK2_RNAME", "HK2MF",
                                              "HK2_NENDO = " + y + " and HK2_SSKCD = " + QString::number(glngSskCd) +
                                                  " and HK2_GRPCD = " + QString::number(glngGrpCd) +
                                                  " and HK2_KMKCD = " + QString::number(a) + " and HK2_HK1CD = " +
                                                  QString::number(h1) + " and HK2_CD = " + QString::number(h2)));
        }
    }
    gblnLoading = false;
    return true;
}

// The tax names of every row as on the voucher date now shown.
void frmKE410::subRefreshTaxNames() {
    const bool loading = gblnLoading;
    gblnLoading = true;
    const long lngDate = txtDate->NumValue();
    for (const QString& x : {QString("KR"), QString("KS")}) {
        const int rows = denMeisai->RowCount();
        for (int r = 0; r < rows; ++r) {
            const long z = ValLng(denMeisai->Cell(x + "ZKBN", r));
            if (z != 0) denMeisai->setCell(x + "ZKBNNM", r, FncGetTaxName(z, lngDate));
        }
    }
    gblnLoading = loading;
}

void frmKE410::FocusCell(const QString& key, int row) {
    denMeisai->setCurrentRow(row);
    denMeisai->setCurrentKey(key);
    denMeisai->setFocus();
}

// ---------------------------------------------------------------- load

// The live header of the voucher the window stands on (glngDenYm, glngDenNo).
RecordsetPtr frmKE410::OpenLoadedHeader() {
    gstrSQL = "SELECT DNH_DENNO, DNH_DATE, DNH_DTEKIYO, USG_NAME, DNH_NDATE, DNH_KBN, DNH_TANCD";
    gstrSQL += " FROM DNHDT";
    gstrSQL += " LEFT JOIN USGMF ON DNH_TANCD = USG_ID";
    gstrSQL += " WHERE DNH_SSKCD = " + QString::number(glngSskCd);
    gstrSQL += "   AND DNH_GRPCD = " + QString::number(glngGrpCd);
    gstrSQL += "   AND DNH_YM = " + QString::number(glngDenYm);
    gstrSQL += "   AND DNH_DENNO = " + QString::number(glngDenNo);
    gstrSQL += "   AND DNH_DELKBN = 0";
    return gobjDB->OpenRecordset(gstrSQL);
}

// The live stored voucher of that month and number as one text: every
// column of its header and of each of its lines; empty when there is none.
QString frmKE410::StoredVoucherImage(long ym, long no) {
    const QString key = QString::number(glngSskCd) + "   AND %1_GRPCD = " + QString::number(glngGrpCd) +
                        "   AND %1_YM = " + QString::number(ym) + "   AND %1_DENNO = " + QString::number(no);
    QString image;
    auto add = [&image](Recordset& rs) {
        for (; !rs.Eof(); rs.MoveNext()) {
            for (int i = 0; i < rs.FieldCount(); ++i) {
                const DbValue v = rs.Fields(i).Value();
                image += v.IsNull() ? QStringLiteral("\x01") : v.Text();
                image += QChar(0x1f);
            }
            image += QChar(0x1e);
        }
    };
    RecordsetPtr header =
        gobjDB->OpenRecordset("SELECT * FROM DNHDT WHERE DNH_SSKCD = " + key.arg("DNH") + "   AND DNH_DELKBN = 0");
    if (header->Eof()) return QString();
    add(*header);
    add(*gobjDB->OpenRecordset("SELECT * FROM DNMDT WHERE DNM_SSKCD = " + key.arg("DNM") +
                               " ORDER BY DNM_GYO, DNM_TSKBN"));
    return image;
}

// Inside the save's transaction, before anything is reversed: another
// program (or a second voucher window opened from an inquiry) may have
// deleted the voucher, moved it to another month or number or changed it
// since it was loaded. Then nothing is written. A voucher deleted goes the
// way of a failed load; a changed or moved one stays on screen with what
// was typed, and is refused again until it is opened anew. The message
// waits for the roll-back (ShowStaleNotice), so that no other program waits
// while it is on screen.
bool frmKE410::CheckLoadedVoucherLive() {
    const QString stored = StoredVoucherImage(glngDenYm, glngDenNo);
    if (!stored.isEmpty() && stored == loadedImage_) return true;
    // A deletion marks the header and leaves it under its number; a save
    // that moves the voucher takes its rows away from here and stores them
    // under the new month and number, so the voucher still lives there.
    if (stored.isEmpty() && MarkedDeleted(glngDenYm, glngDenNo)) {
        staleNotice_ = "このデータは他のユーザーによって削除されました。";
        blnLoadError = true;
        return false;
    }
    staleNotice_ = "このデータは他のユーザーによって変更されました。伝票を開き直して下さい。";
    return false;
}

// A header of that month and number marked deleted.
bool frmKE410::MarkedDeleted(long ym, long no) {
    gstrSQL = "SELECT COUNT(*) FROM DNHDT";
    gstrSQL += " WHERE DNH_SSKCD = " + QString::number(glngSskCd);
    gstrSQL += "   AND DNH_GRPCD = " + QString::number(glngGrpCd);
    gstrSQL += "   AND DNH_YM = " + QString::number(ym);
    gstrSQL += "   AND DNH_DENNO = " + QString::number(no);
    gstrSQL += "   AND DNH_DELKBN <> 0";
    return ValLng(gobjDB->OpenRecordset(gstrSQL)->Fields(0).Value()) > 0;
}

void frmKE410::ShowStaleNotice() {
    if (staleNotice_.isEmpty()) return;
    const QString text = staleNotice_;
    staleNotice_.clear();
    MsgBox(text, vbExclamation | vbOKOnly, windowTitle());
}

bool frmKE410::LoadVoucher() {
    gblnLoading = true;
    struct Lower {
        ~Lower() { gblnLoading = false; }
    } lower;
    try {
        // Taken before what is shown is read: a save in between makes the
        // window's own save refused rather than overwrite it unseen.
        loadedImage_ = StoredVoucherImage(glngDenYm, glngDenNo);
        RecordsetPtr rs = OpenLoadedHeader();
        if (rs->Eof()) {
            MsgBox("このデータは他のユーザーによって削除されました。", vbExclamation | vbOKOnly, windowTitle());
            return false;
        }
        if (gstrEditMode != "C") {
            txtDenno->Value(rs->Fields("DNH_DENNO").Value().Text());
            txtDate->Date(FncCnvDate(ValLng(rs->Fields("DNH_DATE").Value())));
            txtNDate->Date(FncCnvDate(ValLng(rs->Fields("DNH_NDATE").Value())));
            glngTanCd = ValLng(rs->Fields("DNH_TANCD").Value());
            lblTanto->Caption(fncLookupField("USG_NAME", "USGMF", "USG_ID = " + QString::number(glngTanCd)));
        }
        txtDTekiyo->Value(rs->Fields("DNH_DTEKIYO").Value().Text().trimmed());
        const long kbn = ValLng(rs->Fields("DNH_KBN").Value().Text().trimmed());
        if (kbn <= 1) chkKbn->setChecked(kbn == 1);
        // A copy is stored under the window's own input person: the label
        // keeps showing that person rather than the source voucher's.
        if (gstrEditMode != "C") lblTanto->Caption(rs->Fields("USG_NAME").Value().Text().trimmed());
        rs->Close();

        gstrSQL = "SELECT DNM_GYO, DNM_TSKBN, DNM_KMKCD, DNM_HK1CD, DNM_HK2CD, DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TRICD, "
                  "DNM_TEKIYO ";
        gstrSQL += " FROM DNMDT";
        gstrSQL += " WHERE DNM_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND DNM_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND DNM_YM = " + QString::number(glngDenYm);
        gstrSQL += "   AND DNM_DENNO = " + QString::number(glngDenNo);
        gstrSQL += "   AND DNM_GYO < 90";
        gstrSQL += " ORDER BY DNM_GYO, DNM_TSKBN";
        RecordsetPtr lines = gobjDB->OpenRecordset(gstrSQL);
        const QString y = QString::number(glngCurNendo);
        denMeisai->setRedraw(false);
        while (!lines->Eof()) {
            const int r = static_cast<int>(ValLng(lines->Fields("DNM_GYO").Value())) - 1;
            const QString x = ValLng(lines->Fields("DNM_TSKBN").Value()) == 1 ? "KR" : "KS";
            const QString a = QString::number(ValLng(lines->Fields("DNM_KMKCD").Value()));
            const long h1 = ValLng(lines->Fields("DNM_HK1CD").Value());
            const long h2 = ValLng(lines->Fields("DNM_HK2CD").Value());
            const long z = ValLng(lines->Fields("DNM_ZKBN").Value());
            const long t = ValLng(lines->Fields("DNM_TRICD").Value());
            if (r >= 0 && r < kRows) {
                denMeisai->setCell(x + "KMKCD", r, a);
                denMeisai->setCell(x + "KMKNM", r,
                                   fncLookupField("KMK_RNAME", "KMKMF", "KMK_NENDO = " + y + " AND KMK_CD = " + a));
                if (h1 != 0) {
                    denMeisai->setCell(x + "HK1CD", r, QString::number(h1));
                    denMeisai->setCell(x + "HK1NM", r,
                                       fncLookupField("HK1_RNAME", "HK1MF",
                                                      "HK1_NENDO = " + y + " AND HK1_KMKCD = " + a +
                                                          " AND HK1_CD = " + QString::number(h1)));
                }
                if (h2 != 0) {
                    denMeisai->setCell(x + "HK2CD", r, QString::number(h2));
                    denMeisai->setCell(
                        x + "HK2NM", r,
                        fncLookupField("HK2_RNAME", "HK2MF",
                                       "HK2_NENDO = " + y + " AND HK2_SSKCD = " + QString::number(glngSskCd) +
                                           " AND HK2_GRPCD = " + QString::number(glngGrpCd) + " AND HK2_KMKCD = " + a +
                                           " AND HK2_HK1CD = " + QString::number(h1) + " AND HK2_CD = " +
                                           QString::number(h2)));
                }
                if (z != 0) {
                    denMeisai->setCell(x + "ZKBN", r, QString::number(z));
                    denMeisai->setCell(x + "ZKBNNM", r, FncGetTaxName(z, txtDate->NumValue()));
                }
                denMeisai->setCell(x + "KIN", r, ValCur(lines->Fields("DNM_KIN").Value()).ToString());
                denMeisai->setCell(x + "TAX", r, ValCur(lines->Fields("DNM_TAX").Value()).ToString());
                if (t != 0) {
                    denMeisai->setCell(x + "TRICD", r, QString::number(t));
                    denMeisai->setCell(x + "TRINM", r,
                                       fncLookupField("TRI_NAME", "TRIMF",
                                                      "TRI_SSKCD = " + QString::number(glngSskCd) +
                                                          " AND TRI_CD = " + QString::number(t)));
                }
                denMeisai->setCell(x + "TEKI", r, lines->Fields("DNM_TEKIYO").Value().Text().trimmed());
            }
            lines->MoveNext();
        }
        denMeisai->setRedraw(true);
        lines->Close();

        // A voucher made elsewhere may hold more lines a side than the grid
        // has rows; saving it from here would drop the lines not shown.
        gstrSQL = "SELECT COUNT(*) FROM DNMDT";
        gstrSQL += " WHERE DNM_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND DNM_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND DNM_YM = " + QString::number(glngDenYm);
        gstrSQL += "   AND DNM_DENNO = " + QString::number(glngDenNo);
        gstrSQL += "   AND DNM_GYO > " + QString::number(kRows);
        gstrSQL += "   AND DNM_GYO NOT IN (98, 99)";
        if (ValLng(gobjDB->OpenRecordset(gstrSQL)->Fields(0).Value()) > 0) {
            const QString tooMany = "この伝票には画面に表示できる行数（" + QString::number(kRows) +
                                    "行）を超える明細があるため、" + QString::number(kRows + 1) +
                                    "行目以降は表示されません。";
            if (gstrEditMode == "C") {
                MsgBox(tooMany + "複写は出来ません。", vbExclamation, windowTitle());
                return false;
            }
            MsgBox(tooMany + "修正は出来ません。参照モードで開きます。", vbExclamation, windowTitle());
            LockVoucherInput();
            LockUpdateButtons();
            gstrEditMode = "S";
            lblMode->Caption("参照");
        }

        if (gstrEditMode != "C") {
            RecordsetPtr ksk = FncGetKskRs(glngCurNendo, 0, 0);
            // A lookup the database failed (a lost connection) has said why;
            // the calendar is not to blame.
            if (!ksk && gobjDB->ErrorNumber() != 0) return false;
            if (!ksk || ksk->Eof()) {
                MsgBox("決算期間マスタの取得に失敗しました。伝票日付を確認してください。", vbExclamation, windowTitle());
                return false;
            }
            if (Val(ksk->Fields("KSK_NUP").Value()) > 0) {
                MsgBox("年次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。", vbExclamation,
                       windowTitle());
                LockVoucherInput();
                LockUpdateButtons();
                gstrEditMode = "S";
                lblMode->Caption("参照");
            }
            if (txtDate->NumValue() <= ValLng(ksk->Fields("KSK_GUP").Value())) {
                MsgBox("月次更新完了済みの伝票です。修正は出来ません。参照モードで開きます。", vbExclamation,
                       windowTitle());
                LockVoucherInput();
                LockUpdateButtons();
                gstrEditMode = "S";
                lblMode->Caption("参照");
            }
        }
        if (gstrEditMode == "U") blnChanged = false;
        return true;
    } catch (const AppError& e) {
        denMeisai->setRedraw(true);
        ShowErrMsg(e);
        return false;
    }
}

// ---------------------------------------------------------------- validation

bool frmKE410::fncCheckVoucher() {
    const QString title = windowTitle();
    try {
        if (!txtDate->IsDate()) {
            MsgBox("伝票日付を正しく入力してください。", vbExclamation, title);
            txtDate->SetFocus();
            return false;
        }
        {
            RecordsetPtr ksk = FncGetKskRs(glngCurNendo, 0, 0);
            // A lookup the database failed (a lost connection) has said why;
            // the calendar is not to blame.
            if (!ksk && gobjDB->ErrorNumber() != 0) return false;
            if (!ksk || ksk->Eof()) {
                MsgBox("決算期間マスタの取得に失敗しました。伝票日付を確認してください。", vbExclamation, title);
                txtDate->SetFocus();
                return false;
            }
            if (Val(ksk->Fields("KSK_NUP").Value()) > 0) {
                MsgBox("年次更新完了以前の伝票日付は入力出来ません。", vbExclamation, title);
                txtDate->SetFocus();
                return false;
            }
            if (txtDate->NumValue() <= ValLng(ksk->Fields("KSK_GUP").Value())) {
                MsgBox("月次更新完了以前の伝票日付は入力出来ません。", vbExclamation, title);
                txtDate->SetFocus();
                return false;
            }
        }
        usableKeys_.clear();
        budgetOn_ = basYoChk::fncIsBudgetCheckOn();
        if (budgetOn_) budgetYear_ = FncGetKskNendo(txtDate->NumValue(), 0, 0);
        // Amounts are whole yen: a fraction (from a template, a pasted value)
        // is refused before the totals, which show whole yen only.
        if (!CheckWholeAmounts()) return false;
        if (ValCur(denMeisai->Total("GKRKIN")) != ValCur(denMeisai->Total("GKSKIN"))) {
            MsgBox("貸借金額が一致しません。", vbExclamation, title);
            denMeisai->setFocus();
            return false;
        }
        if (ValCur(denMeisai->Total("GKRKIN")).IsZero()) {
            MsgBox("明細が正しく入力されていません。", vbExclamation, title);
            denMeisai->setFocus();
            return false;
        }
        for (int r = 0; r < kRows; ++r) {
            if (!CheckHalf(r, "KR")) return false;
            if (!CheckHalf(r, "KS")) return false;
        }
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

// Every amount and tax cell holds a plain whole number or nothing (the grid
// stores typed amounts as plain digits); the first one that does not gets
// the amount message and the focus on its half's amount.
bool frmKE410::CheckWholeAmounts() {
    static const QRegularExpression number(QStringLiteral("^[-+]?[0-9]+(\\.[0-9]*)?([eE][-+]?[0-9]+)?$"));
    auto whole = [](const QString& cell) {
        const QString t = cell.trimmed();
        if (t.isEmpty()) return true;
        if (!number.match(t).hasMatch()) return false;
        try {
            return ValCur(t).IsWhole();
        } catch (const AppError&) {
            return false;  // beyond the Currency range
        }
    };
    for (int r = 0; r < kRows; ++r)
        for (const QString& x : {QStringLiteral("KR"), QStringLiteral("KS")})
            if (!whole(denMeisai->Cell(x + "KIN", r)) || !whole(denMeisai->Cell(x + "TAX", r))) {
                MsgBox("金額が正しく入力されていません。", vbExclamation, windowTitle());
                FocusCell(x + "KIN", r);
                return false;
            }
    return true;
}

bool frmKE410::CheckHalf(int row, const QString& x) {
    const QString title = windowTitle();
    const long a = ValLng(denMeisai->Cell(x + "KMKCD", row));
    const long h1 = ValLng(denMeisai->Cell(x + "HK1CD", row));
    const long h2 = ValLng(denMeisai->Cell(x + "HK2CD", row));
    const Currency k = ValCur(denMeisai->Cell(x + "KIN", row));
    const Currency t = ValCur(denMeisai->Cell(x + "TAX", row));
    if (a != 0 && k.IsZero() && t.IsZero()) {
        MsgBox("金額が正しく入力されていません。", vbExclamation, title);
        FocusCell(x + "KIN", row);
        return false;
    }
    if ((!k.IsZero() || !t.IsZero()) && a == 0) {
        MsgBox("科目が正しく入力されていません。", vbExclamation, title);
        FocusCell(x + "KMKCD", row);
        return false;
    }
    if (a == 0) return true;
    // The budget is checked for every half (its question is asked for each).
    auto budgetAllows = [&] {
        if (!budgetOn_ || basYoChk::fncCheckBudget(budgetYear_, glngSskCd, glngGrpCd, a, h1, h2)) return true;
        FocusCell(x + (h2 != 0 ? "HK2CD" : h1 != 0 ? "HK1CD" : "KMKCD"), row);
        return false;
    };
    const auto key = std::make_tuple(a, h1, h2);
    if (usableKeys_.count(key)) return budgetAllows();
    if (!FncIsKmkUsable(a, glngCurNendo, glngSskCd, glngGrpCd)) {
        MsgBox("科目が登録されていないか、この組織、グループでは利用できない科目です。", vbExclamation, title);
        FocusCell(x + "KMKCD", row);
        return false;
    }
    const QString n = QString::number(glngCurNendo);
    if (ValLng(fncLookupField("KMK_H1FLG", "KMKMF", "KMK_NENDO = " + n + " AND KMK_CD = " + QString::number(a))) == 1) {
        if (h1 == 0) {
            MsgBox("補助科目１の入力は必須です。", vbExclamation, title);
            FocusCell(x + "HK1CD", row);
            return false;
        }
        if (!FncExistHk1(a, h1, glngCurNendo)) {
            MsgBox("補助科目１が登録されていません。", vbExclamation, title);
            FocusCell(x + "HK1CD", row);
            return false;
        }
    } else if (h1 != 0) {
        MsgBox("補助科目１は入力出来ません。", vbExclamation, title);
        FocusCell(x + "HK1CD", row);
        return false;
    }
    if (ValLng(fncLookupField("HK1_H2FLG", "HK1MF",
                              "HK1_NENDO = " + n + " AND HK1_KMKCD = " + QString::number(a) +
                                  " AND HK1_CD = " + QString::number(h1))) == 1) {
        if (h2 == 0) {
            MsgBox("補助科目２の入力は必須です。", vbExclamation, title);
            FocusCell(x + "HK2CD", row);
            return false;
        }
        if (!FncExistHk2(a, h1, h2, glngCurNendo, glngSskCd, glngGrpCd)) {
            MsgBox("補助科目２が登録されていないか、この組織、グループでは利用できない補助科目２です。", vbExclamation,
                   title);
            FocusCell(x + "HK2CD", row);
            return false;
        }
    } else if (h2 != 0) {
        MsgBox("補助科目２は入力出来ません。", vbExclamation, title);
        FocusCell(x + "HK2CD", row);
        return false;
    }
    usableKeys_.insert(key);
    return budgetAllows();
}

// ---------------------------------------------------------------- writers

namespace {
// While the window works and takes no input (waiting for another program,
// printing): the line of key hints says why, and keys, clicks and closing
// aimed at the window are dropped, so that nothing is typed into a voucher
// about to be cleared or put back. Dialogs opened meanwhile take input.
class BusyLine : public QObject {
public:
    BusyLine(QWidget* window, QLabel* line, const QString& text) : window_(window), line_(line), hint_(line->text()) {
        line_->setText(text);
        line_->setStyleSheet("color: #b00000; font-weight: bold;");
        qApp->installEventFilter(this);
        QApplication::processEvents();
    }
    ~BusyLine() override {
        QApplication::processEvents();  // what was typed meanwhile is dropped too
        qApp->removeEventFilter(this);
        line_->setStyleSheet(QString());
        line_->setText(hint_);
    }
    void Say(const QString& text) {
        line_->setText(text);
        QApplication::processEvents();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            break;
        case QEvent::Close:
            if (e->spontaneous()) break;
            return false;
        default:
            return false;
        }
        QObject* o = watched;
        if (auto* s = qobject_cast<QShortcut*>(o)) o = s->parent();
        auto* w = qobject_cast<QWidget*>(o);
        return w && w->window() == window_;
    }

private:
    QWidget* window_;
    QLabel* line_;
    QString hint_;
};

// A save waiting for another program's write lock: the wait cursor at once,
// after a second a line with the seconds left, no input meanwhile.
class LockWaitNotice {
public:
    LockWaitNotice(QWidget* window, QLabel* line) : window_(window), line_(line) {
        gobjDB->SetLockWaitHandler([this](int msLeft) { Waiting(msLeft); });
    }
    ~LockWaitNotice() {
        gobjDB->SetLockWaitHandler(nullptr);
        End();
    }
    LockWaitNotice(const LockWaitNotice&) = delete;
    LockWaitNotice& operator=(const LockWaitNotice&) = delete;

private:
    void Waiting(int msLeft) {
        if (msLeft < 0) {
            End();
            return;
        }
        if (!busy_) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            busy_ = std::make_unique<BusyLine>(window_, line_, line_->text());
            since_.start();
        }
        if (since_.elapsed() < 1000) {
            QApplication::processEvents();
            return;
        }
        busy_->Say("他のプログラムがデータベースを更新中です。終わるまでお待ちください（あと" +
                   QString::number((msLeft + 999) / 1000) + "秒）");
    }
    void End() {
        if (!busy_) return;
        busy_.reset();
        QApplication::restoreOverrideCursor();
    }
    QWidget* window_;
    QLabel* line_;
    std::unique_ptr<BusyLine> busy_;
    QElapsedTimer since_;
};

// A failed statement: the database's own text, and the writer stops. A
// voucher key that is already taken is said in words.
bool ExecOrReport(const QString& sql, const QString& title) {
    if (gobjDB->Execute(sql)) return true;
    if (gobjDB->UniqueClash())
        MsgBox("同じ伝票番号の伝票が既に登録されているため、登録できませんでした。伝票番号の採番状況をシステム管理者に確認してください。",
               vbExclamation, title);
    else
        MsgBox(gobjDB->ErrorText(), vbExclamation, title);
    return false;
}

// A failed lookup or write whose reason lies in the database itself (held,
// not writable, full, the connection lost) has been reported in its own
// words; no master is to blame.
bool DatabaseSaidWhy() { return gobjDB->DatabaseFault() || gobjDB->ErrorNumber() == adErrConnection; }

// An error that ended a save. A database that refused (held by another
// program, not writable, full) says so in its own words, once.
void ReportSaveError(const AppError& e, const QString& title) {
    if (gobjDB->DatabaseFault()) MsgBox(gobjDB->ErrorText(), vbExclamation, title);
    else ShowErrMsg(e);
}
}  // namespace

bool frmKE410::fncSaveVoucher() {
    const QString title = windowTitle();
    try {
        const long tekiCopy = ValLng(FncGetSysValue("GTekiCopy"));
        // The first statement of an add begins its transaction on the
        // database: one that refuses it (held by another program, not
        // writable) says so here, and nothing else is tried.
        if (gobjDB->DatabaseFault()) {
            MsgBox(gobjDB->ErrorText(), vbExclamation, title);
            return false;
        }
        const long d = txtDate->NumValue();
        long dd = d;
        const long m = FncGetKskMonth(dd, 0, 0);
        const long y = m == 0 ? 0 : FncGetKskNendo(d, 0, 0);
        if (m == 0 || y == 0) {
            // A lookup the database failed (a lost connection) has said why;
            // the calendar is not to blame.
            if (!DatabaseSaidWhy())
                MsgBox("決算期間マスタの取得に失敗しました。決算期間マスタの内容を確認してください。", vbCritical, title);
            return false;
        }
        const bool newVoucher = gstrEditMode == "I" || gstrEditMode == "C";
        bool allocate = newVoucher;
        if (gstrEditMode == "U" && ChangeNeedsNewNumber(m, y)) {
            if (!renumberNoticed_)
                MsgBox("伝票日付が変更になり、再採番の必要がありますので、伝票番号を採番し直します。", vbInformation,
                       title);
            allocate = true;
        }
        numberMovedOn_ = false;
        if (allocate) {
            const long shown = txtDenno->NumValue();
            bool movedPast = false;
            txtDenno->Value(QString::number(FncSaibanDenNo(0, d, 0, 0, &movedPast)));
            // A new voucher is stored under the number shown unless another
            // program took it meanwhile; a moved one under a number proposed
            // for its new month unless the counter lagged behind.
            numberMovedOn_ = txtDenno->NumValue() != shown && (newVoucher ? shown > 0 : movedPast);
            if (txtDenno->NumValue() == 0) {
                // The counter the database failed to write has been reported.
                if (!DatabaseSaidWhy())
                    MsgBox("伝票番号の取得に失敗しました。決算期間マスタ等の内容を確認してください。", vbCritical, title);
                return false;
            }
        } else if (gstrEditMode == "U") {
            // A changed voucher keeps its own number: a number typed into the
            // field is never stored without being allocated.
            txtDenno->Value(QString::number(glngDenNo));
        }
        const QString denno = QString::number(txtDenno->NumValue());
        const QString key = QString::number(glngSskCd) + ", " + QString::number(glngGrpCd) + ", " +
                            QString::number(m) + ", " + denno + ", ";
        const int used = denMeisai->RowCount();
        auto cur = [this](const QString& k, int r) { return ValCur(denMeisai->Cell(k, r)); };
        auto code = [this](const QString& k, int r) { return ValLng(denMeisai->Cell(k, r)); };

        // Pair form: every row with both accounts balances within itself.
        bool pair = true;
        for (int r = 0; r < used; ++r) {
            if (code("KRKMKCD", r) > 0 && code("KSKMKCD", r) > 0 &&
                cur("KRKIN", r) + cur("KRTAX", r) != cur("KSKIN", r) + cur("KSTAX", r)) {
                pair = false;
                break;
            }
        }
        auto halfUsed = [&](const QString& x, int r) {
            return code(x + "KMKCD", r) > 0 || cur(x + "KIN", r) > Currency() || cur(x + "TAX", r) > Currency();
        };
        // Otherwise the single counterpart of each side.
        long single[2][3] = {{0, 0, 0}, {0, 0, 0}};
        if (!pair) {
            for (int s = 0; s < 2; ++s) {
                const QString x = s == 0 ? "KR" : "KS";
                int count = 0, last = -1;
                for (int r = 0; r < used; ++r)
                    if (halfUsed(x, r)) {
                        ++count;
                        last = r;
                    }
                if (count == 1) {
                    single[s][0] = code(x + "KMKCD", last);
                    single[s][1] = code(x + "HK1CD", last);
                    single[s][2] = code(x + "HK2CD", last);
                }
            }
        }
        int counter[2] = {0, 0};
        Currency in, out;
        // The lines go to the database in one statement, and the side of
        // each account is asked once: a voucher of many rows costs no more
        // trips to a database server than one of a few.
        QStringList lines;
        std::map<long, long> sides;
        for (int r = 0; r < kRows; ++r) {
            for (int s = 0; s < 2; ++s) {
                const QString x = s == 0 ? "KR" : "KS";
                const QString yy = OtherSide(x);
                if (!halfUsed(x, r)) continue;
                ++counter[s];
                long ca, ch1, ch2;
                if (pair) {
                    ca = code(yy + "KMKCD", r);
                    ch1 = code(yy + "HK1CD", r);
                    ch2 = code(yy + "HK2CD", r);
                } else {
                    ca = single[1 - s][0];
                    ch1 = single[1 - s][1];
                    ch2 = single[1 - s][2];
                }
                const QString own = denMeisai->Cell(x + "TEKI", r);
                const QString other = denMeisai->Cell(yy + "TEKI", r);
                QString sql = "( ";
                sql += key + QString::number(counter[s]) + ", " + QString::number(s + 1) + ", ";
                sql += QString::number(code(x + "KMKCD", r)) + ", " + QString::number(code(x + "HK1CD", r)) + ", " +
                       QString::number(code(x + "HK2CD", r)) + ", " + QString::number(code(x + "ZKBN", r)) + ", " +
                       cur(x + "KIN", r).ToString() + ", " + cur(x + "TAX", r).ToString() + ", " +
                       QString::number(code(x + "TRICD", r)) + ", ";
                sql += QString::number(ca) + ", " + QString::number(ch1) + ", " + QString::number(ch2) + ", ";
                if (!own.isEmpty()) sql += fncSqlQuote(own) + ")";
                else if (tekiCopy != 0) sql += "Null)";
                else sql += fncSqlQuote(other) + ")";
                if (txtDTekiyo->Value().isEmpty()) txtDTekiyo->Value(!own.isEmpty() ? own : other);
                const Currency tax = cur(x + "TAX", r);
                // A negative tax (a return) is carried as well as a positive one.
                if (!tax.IsZero()) {
                    const long account = code(x + "KMKCD", r);
                    auto known = sides.find(account);
                    if (known == sides.end())
                        known = sides.emplace(account, ValLng(fncLookupField("KMK_TSKBN", "KMKMF",
                                                                             "KMK_NENDO = " +
                                                                                 QString::number(glngCurNendo) +
                                                                                 " AND KMK_CD = " +
                                                                                 QString::number(account))))
                                    .first;
                    const long side = known->second;
                    if (s == 0) {
                        if (side == 1) in += tax;
                        else out -= tax;
                    } else {
                        if (side == 1) in -= tax;
                        else out += tax;
                    }
                }
                lines << sql;
            }
        }
        if (!lines.isEmpty()) {
            QString sql = "INSERT INTO DNMDT (";
            sql += " DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, DNM_HK1CD, DNM_HK2CD,"
                   " DNM_ZKBN, DNM_KIN, DNM_TAX, DNM_TRICD, DNM_AKMKCD, DNM_AHK1CD, DNM_AHK2CD, DNM_TEKIYO ";
            sql += " ) VALUES " + lines.join(", ");
            if (!ExecOrReport(sql, title)) return false;
        }
        auto taxLine = [&](const Currency& sum, int kbn, int gyo, int positiveSide, const QString& missing) {
            const long k = ValLng(fncLookupField("KKM_KMKCD", "KKMMF",
                                                 "KKM_NENDO = " + QString::number(glngCurNendo) +
                                                     " AND KKM_KBN = " + QString::number(kbn)));
            if (k == 0) {
                MsgBox(missing, vbInformation, title);
                return false;
            }
            const int side = sum > Currency() ? positiveSide : 3 - positiveSide;
            QString sql = "INSERT INTO DNMDT (";
            sql += " DNM_SSKCD, DNM_GRPCD, DNM_YM, DNM_DENNO, DNM_GYO, DNM_TSKBN, DNM_KMKCD, DNM_KIN ";
            sql += " ) VALUES ( " + key + QString::number(gyo) + ", " + QString::number(side) + ", " +
                   QString::number(k) + ", " + sum.Abs().ToString() + ")";
            return ExecOrReport(sql, title);
        };
        if (!in.IsZero() && !taxLine(in, 21, 98, 1, "仮払消費税科目が規定科目マスタに設定されていません")) return false;
        if (!out.IsZero() && !taxLine(out, 20, 99, 2, "仮受消費税科目が規定科目マスタに設定されていません")) return false;

        const QString ms = QString::number(m);
        QString sql = "INSERT INTO DNHDT (";
        sql += " DNH_SSKCD, DNH_GRPCD, DNH_YM, DNH_DENNO, DNH_NENDO, DNH_Y, DNH_M, DNH_DATE, DNH_NDATE, DNH_TANCD,"
               " DNH_DTEKIYO, DNH_KBN, DNH_UPDDATE, DNH_UPDTANCD ";
        sql += " ) VALUES ( " + key + QString::number(y) + ", " + ms.left(4) + ", " + ms.right(2) + ", " +
               QString::number(d) + ", " + QString::number(txtNDate->NumValue()) + ", " + QString::number(glngTanCd) +
               ", " + fncSqlQuote(txtDTekiyo->Value()) + ", " + QString::number(chkKbn->isChecked() ? 1 : 0) + ", " +
               gobjDB->DateLiteral(Today().toString("yyyy/MM/dd")) + ", " + QString::number(glngUserId) + ")";
        if (!ExecOrReport(sql, title)) return false;

        // The changed flag stays until the command has committed.
        return basUpdate::fncUpdateBalance("+", glngSskCd, glngGrpCd, m, txtDenno->NumValue());
    } catch (const AppError& e) {
        ReportSaveError(e, title);
        return false;
    }
}

bool frmKE410::fncRemoveOldVoucher() {
    const QString title = windowTitle();
    try {
        if (!CheckLoadedVoucherLive()) return false;
        if (!basUpdate::fncUpdateBalance("-", glngSskCd, glngGrpCd, glngDenYm, glngDenNo)) return false;
        const QString where = QString::number(glngSskCd) + "   AND %1_GRPCD = " + QString::number(glngGrpCd) +
                              "   AND %1_YM = " + QString::number(glngDenYm) + "   AND %1_DENNO = " +
                              QString::number(glngDenNo);
        if (!ExecOrReport("DELETE FROM DNHDT WHERE DNH_SSKCD = " + where.arg("DNH"), title)) return false;
        if (!ExecOrReport("DELETE FROM DNMDT WHERE DNM_SSKCD = " + where.arg("DNM"), title)) return false;
        return true;
    } catch (const AppError& e) {
        ReportSaveError(e, title);
        return false;
    }
}

bool frmKE410::fncDeleteVoucher() {
    const QString title = windowTitle();
    try {
        if (!CheckLoadedVoucherLive()) return false;
        if (!basUpdate::fncUpdateBalance("-", glngSskCd, glngGrpCd, glngDenYm, glngDenNo)) return false;
        const QString sql = "UPDATE DNHDT SET DNH_DELKBN = 9 WHERE DNH_SSKCD = " + QString::number(glngSskCd) +
                            "   AND DNH_GRPCD = " + QString::number(glngGrpCd) + "   AND DNH_YM = " +
                            QString::number(glngDenYm) + "   AND DNH_DENNO = " + QString::number(glngDenNo);
        return ExecOrReport(sql, title);
    } catch (const AppError& e) {
        ReportSaveError(e, title);
        return false;
    }
}

// ---------------------------------------------------------------- commands

frmKE410::ScreenBeforeSave frmKE410::KeepScreenBeforeSave() const {
    return {blnChanged, txtDenno->Value(), txtDTekiyo->Value()};
}

// A save that did not commit is no save: the voucher stays as typed, with
// its proposed number, and still counts as changed.
void frmKE410::RestoreScreenBeforeSave(const ScreenBeforeSave& before) {
    txtDenno->Value(before.denno);
    txtDTekiyo->Value(before.dtekiyo);
    blnChanged = before.changed;
}

// F10 and the shortcut keys act without moving the focus: what is being
// typed counts as if the field had been left. False when the typed voucher
// date was refused (its message is shown and the date has the focus): the
// command then stops there.
bool frmKE410::TakeInputInProgress() {
    denMeisai->setCellEditing(false);
    if (txtDate->Editor()->hasFocus()) return ApplyVoucherDate();
    return true;
}

// The question before leaving the voucher on screen. What is being typed
// counts first, so a value not yet confirmed is not lost unasked.
bool frmKE410::AskSaveChanges() {
    if (!TakeInputInProgress()) return false;
    if (gstrEditMode != "S" && blnChanged) {
        if (MsgBox("変更を保存しますか", vbYesNo | vbInformation, windowTitle()) == vbYes) {
            if (fncSaveChanges()) return true;
            if (blnLoadError) Unload();  // the voucher was gone: closed as after its load
            return false;
        }
    }
    return true;
}

void frmKE410::cmdUpd_Click() {
    if (!TakeInputInProgress()) return;
    const QString mode = gstrEditMode;
    if (mode != "D" && !fncCheckVoucher()) return;
    if (mode != "I" && mode != "C" && mode != "U" && mode != "D") return;  // reference: nothing is written
    // Asked before the transaction begins: the question keeps no other
    // program waiting.
    if (mode == "D" && MsgBox("削除してもよろしいですか？", vbYesNo | vbInformation, windowTitle()) != vbYes) return;
    if (!SaveInTransaction()) {
        if (blnLoadError) Unload();  // the voucher was gone: closed as after its load
        return;
    }
    if (mode != "D") PrintCurrentVoucher(0);
    if (mode == "I") {
        NextNewVoucher();
        return;
    }
    if (gstrStartMode != "I") {
        Unload();
        return;
    }
    EnterAddMode();
}

void frmKE410::EnterAddMode() {
    gblnLoading = true;
    gstrEditMode = "I";
    glngDenYm = glngDenNendo = glngDenNo = 0;
    ClearVoucherScreen();
    lblMode->Caption("追加");
    cmdUpd->setText("登録(F10)(&U)");
    ProposeNumberAndMonth();
    glngTanCd = glngUserId;
    lblTanto->Caption(fncLookupField("USG_NAME", "USGMF", "USG_ID = " + QString::number(glngTanCd)));
    txtDate->SetFocus();
    cmdPrev->setEnabled(false);
    cmdNext->setEnabled(false);
    cmdAdd->setEnabled(false);
    gblnLoading = false;
    blnChanged = false;
}

// A changed voucher dated into another numbering period (month, or fiscal
// year when the branch numbers per year) needs a new number.
bool frmKE410::ChangeNeedsNewNumber(long month, long nendo) {
    const long sban = ValLng(fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + QString::number(glngSskCd)));
    return (sban == 0 && glngDenYm != month) || (sban != 0 && glngDenNendo != nendo);
}

// The renumbering notice of a changed voucher comes before its transaction
// begins, so that no other program waits while it is on screen.
void frmKE410::NoticeRenumbering() {
    renumberNoticed_ = false;
    numberMovedOn_ = false;  // nothing left over from a save that failed
    if (gstrEditMode != "U") return;
    try {
        long d = txtDate->NumValue();
        const long y = FncGetKskNendo(d, 0, 0);
        const long m = FncGetKskMonth(d, 0, 0);
        if (m == 0 || y == 0 || !ChangeNeedsNewNumber(m, y)) return;
    } catch (const AppError&) {
        return;  // the save itself reports it
    }
    MsgBox("伝票日付が変更になり、再採番の必要がありますので、伝票番号を採番し直します。", vbInformation,
           windowTitle());
    renumberNoticed_ = true;
}

// Told after the commit, so that no other program waits while it is on
// screen: the number shown was taken meanwhile (by another program, or
// found in use) and the voucher was stored under the next free one.
void frmKE410::NoticeNumberMovedOn() {
    if (!numberMovedOn_) return;
    numberMovedOn_ = false;
    MsgBox("伝票番号が既に使用されているため、伝票番号を" + QString::number(txtDenno->NumValue()) +
               "に採番し直しました。",
           vbInformation, windowTitle());
}

// The one save of the window, behind every command that stores or deletes
// (F10, print, the save question before leaving a voucher or closing), in
// one transaction: a new voucher is stored, a changed one replaces its
// stored version, a deleted one is marked so; anything failing, the commit
// included, rolls everything back and leaves the screen as typed. False
// when nothing was stored (the reason has been shown).
bool frmKE410::SaveInTransaction() {
    const QString mode = gstrEditMode;
    NoticeRenumbering();
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{renumberNoticed_};
    const ScreenBeforeSave before = KeepScreenBeforeSave();
    staleNotice_.clear();
    QString stored;
    try {
        LockWaitNotice waitNotice(this, Label1);
        DBTransaction tx(*gobjDB);
        bool ok = false;
        if (mode == "D") ok = fncDeleteVoucher();
        else if (mode == "U") ok = fncRemoveOldVoucher() && fncSaveVoucher();
        else ok = fncSaveVoucher();
        if (!ok) {
            tx.Rollback();
            RestoreScreenBeforeSave(before);
            ShowStaleNotice();
            return false;
        }
        // A changed voucher the window goes on standing on: what it stored
        // becomes what it loaded.
        if (mode == "U") {
            long d = txtDate->NumValue();
            stored = StoredVoucherImage(FncGetKskMonth(d, 0, 0), txtDenno->NumValue());
        }
        tx.Commit();
    } catch (const AppError& e) {
        // Also a commit that failed (a full disk shows here): nothing stored.
        RestoreScreenBeforeSave(before);
        ReportSaveError(e, windowTitle());
        return false;
    }
    blnChanged = false;
    if (mode == "U") loadedImage_ = stored;
    NoticeNumberMovedOn();
    return true;
}

// After a voucher was added: an empty screen for the next one, the date kept.
void frmKE410::NextNewVoucher() {
    gblnLoading = true;
    ClearVoucherScreen();
    gblnLoading = false;
    txtDenno->Value(QString::number(FncGetNextDenNo(0, txtDate->NumValue(), 0, 0)));
    txtDate->SetFocus();
    cmdPrev->setEnabled(false);
    cmdNext->setEnabled(false);
    cmdAdd->setEnabled(false);
    blnChanged = false;
}

bool frmKE410::fncSaveChanges() {
    if (!TakeInputInProgress()) return false;
    const QString mode = gstrEditMode;
    if (mode != "D" && !fncCheckVoucher()) return false;
    if (mode != "I" && mode != "C" && mode != "U") {
        blnChanged = false;
        return true;
    }
    if (!SaveInTransaction()) return false;
    PrintCurrentVoucher(0);
    StandOnSavedVoucher(mode);
    blnChanged = false;
    return true;
}

// After a save asked for before leaving the voucher: the window stands on
// what was stored, so that a later register neither stores it again nor
// misses the stored version. Add and copy clear for a new voucher as after a
// register; a changed voucher becomes the loaded one under its stored month
// and number.
void frmKE410::StandOnSavedVoucher(const QString& mode) {
    if (mode == "I") {
        NextNewVoucher();
    } else if (mode == "C") {
        EnterAddMode();
    } else if (mode == "U") {
        try {
            long d = txtDate->NumValue();
            glngDenNendo = FncGetKskNendo(d, 0, 0);
            glngDenYm = FncGetKskMonth(d, 0, 0);
            glngDenNo = txtDenno->NumValue();
            glngCurNendo = glngDenNendo;
        } catch (const AppError& e) {
            ShowErrMsg(e);
        }
    }
}

void frmKE410::cmdPrn_Click() {
    if (!TakeInputInProgress()) return;
    const QString mode = gstrEditMode;
    if (mode == "D" || mode == "S") {
        PrintCurrentVoucher(1);
        return;
    }
    if (!fncCheckVoucher()) return;
    if (MsgBox("入力した内容を更新し、伝票印刷を行いますか？", vbYesNo | vbInformation, windowTitle()) != vbYes) return;
    if (!SaveInTransaction()) {
        if (blnLoadError) Unload();  // the voucher was gone: closed as after its load
        return;
    }
    PrintCurrentVoucher(1);
    if (mode == "I") {
        NextNewVoucher();
        return;
    }
    Unload();
}

void frmKE410::PrintCurrentVoucher(long lngWhen) {
    if (lngWhen == 0) {
        if (glngSdnKbn == 1) {
            if (MsgBox("伝票印刷を行いますか？", vbYesNo | vbInformation, windowTitle()) != vbYes) return;
        } else if (glngSdnKbn != 2) {
            return;
        }
    }
    const QString sban = fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + QString::number(glngSskCd));
    long key = 0;
    long d = txtDate->NumValue();
    if (sban == "0") {
        try {
            key = FncGetKskMonth(d, 0, 0);
        } catch (const AppError& e) {
            ShowErrMsg(e);
            return;
        }
    } else if (sban == "1") {
        key = FncGetKskNendo(d, 0, 0);
    } else if (sban.isEmpty()) {
        MsgBox("決算期間マスタが登録されていません。", vbCritical, "振替伝票印刷");
        return;
    }
    const long no = txtDenno->NumValue();
    // Printing takes seconds: the window says that it takes no input
    // meanwhile rather than losing what is typed unseen.
    BusyLine busy(this, Label1, "伝票を印刷しています。終わるまでお待ちください（この間の入力は受け付けません）");
    basPrint::fncPrintVouchers(nullptr, false, 0, key, key, no, no, 0, 0, 0);
}

void frmKE410::LoadNeighbour(bool next) {
    if (!AskSaveChanges()) return;
    try {
        long d = txtDate->NumValue();
        const QString month = QString::number(FncGetKskMonth(d, 0, 0));
        const QString number = QString::number(txtDenno->NumValue());
        gstrSQL = "SELECT DNH_DENNO, DNH_DATE, DNH_YM, DNH_NENDO, DNH_TANCD";
        gstrSQL += " FROM DNHDT";
        gstrSQL += " WHERE DNH_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND DNH_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND DNH_KBN < 10";
        gstrSQL += "   AND DNH_DELKBN = 0";
        gstrSQL += "   AND ((DNH_YM = " + month;
        if (!next) {
            gstrSQL += "   AND   DNH_DENNO < " + number + ")";
            gstrSQL += "    OR  (DNH_YM < " + month + "))";
            gstrSQL += " ORDER BY DNH_YM DESC, DNH_DENNO DESC";
        } else {
            gstrSQL += "   AND   DNH_DENNO > " + number + ")";
            gstrSQL += "    OR  (DNH_YM > " + month + "))";
            gstrSQL += " ORDER BY DNH_YM, DNH_DENNO";
        }
        gstrSQL += " LIMIT 1";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) return;
        // Delete mode walks on in delete mode; reference mode turns into
        // change mode only for a user who may change vouchers.
        const bool keepMode = gstrEditMode == "D" || (gstrEditMode == "S" && !MayChangeVouchers());
        gblnLoading = true;
        ClearVoucherScreen();
        if (!keepMode) gstrEditMode = "U";
        ShowModeState();
        glngDenNendo = ValLng(rs->Fields("DNH_NENDO").Value());
        glngDenYm = ValLng(rs->Fields("DNH_YM").Value());
        glngDenNo = ValLng(rs->Fields("DNH_DENNO").Value());
        rs->Close();
        glngCurNendo = glngDenNendo;
        LoadVoucher();
        gblnLoading = true;
        subTatekei();
        ShowModeState();
        gblnLoading = false;
        blnChanged = false;
    } catch (const AppError& e) {
        gblnLoading = false;
        ShowErrMsg(e);
    }
}

void frmKE410::cmdPrev_Click() { LoadNeighbour(false); }
void frmKE410::cmdNext_Click() { LoadNeighbour(true); }

void frmKE410::cmdJump_Click() {
    if (!AskSaveChanges()) return;
    const bool wasReference = gstrEditMode == "S";
    {
        frmKE41J dlg(this);
        dlg.exec();
    }
    if (!gblnJumpDone) return;
    // The dialog opens a voucher of an open period for change; from
    // reference mode only for a user who may change vouchers.
    if (gstrEditMode == "U" && wasReference && !MayChangeVouchers()) gstrEditMode = "S";
    gblnLoading = true;
    ClearVoucherScreen();
    QApplication::processEvents();
    lblMode->Caption("変更");
    glngCurNendo = glngDenNendo;
    QApplication::processEvents();
    LoadVoucher();
    gblnLoading = true;
    subTatekei();
    ShowModeState();
    gblnLoading = false;
    blnChanged = false;
}

void frmKE410::cmdAdd_Click() {
    if (!AskSaveChanges()) return;
    gblnLoading = true;
    ClearVoucherScreen();
    gstrEditMode = "I";
    lblMode->Caption("追加");
    cmdUpd->setText("登録(F10)(&U)");
    ProposeNumberAndMonth();
    cmdPrev->setEnabled(false);
    cmdNext->setEnabled(false);
    cmdAdd->setEnabled(false);
    gblnLoading = false;
    blnChanged = false;
}

void frmKE410::cmdPRead_Click() {
    if (!AskSaveChanges()) return;
    frmKE41Y dlg(this);
    // A template copied in is a voucher not yet saved.
    if (dlg.exec() == QDialog::Accepted) {
        ShowModeState();
        blnChanged = true;
    }
}

void frmKE410::cmdPUpd_Click() {
    frmKE41T dlg(this);
    dlg.exec();
}

void frmKE410::cmdTeki_Click() {
    gstrTekiyo = txtDTekiyo->Value();
    ShowDescriptionDialog();
}

void frmKE410::ShowDescriptionDialog() {
    frmKE41D dlg(this);
    dlg.exec();
}

void frmKE410::cmdTan_Click() {
    if (FncShowCodeSearch("TAN", QVariant::fromValue(glngSskCd), QVariant::fromValue(glngGrpCd))) {
        lblTanto->Caption(gvarSearchResult[2].toString());
        glngTanCd = ValLng(gvarSearchResult[0].toString());
        blnChanged = true;
    }
}

void frmKE410::txtDTekiyo_KeyDown(int& keyCode, int /*shift*/) {
    if (keyCode != vbKeyF5) return;
    keyCode = 0;
    if (FncShowCodeSearch("TEK", QVariant::fromValue(glngSskCd))) txtDTekiyo->Value(gvarSearchResult[1].toString());
}

void frmKE410::cmdEnd_Click() { close(); }
