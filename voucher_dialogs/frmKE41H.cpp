#include "voucher_dialogs/frmKE41H.h"

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
#include "voucher_entry/basWKE410.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <iterator>

using namespace basStdComm;
using namespace basWKE410;
using namespace basTavik;

namespace {

const QString kMsgRange = QStringLiteral("開始≦終了になるように指定してください");
const QString kMsgDate = QStringLiteral("日付が正しく入力されていません");

// Shows a date number in a date field; a number that names no date (a
// record never set) leaves the field empty.
void ShowDate(imDate* field, long date) {
    try {
        field->Date(FncCnvDate(date));
    } catch (const AppError&) {
        field->Value(QString());
    }
}

}  // namespace

frmKE41H::frmKE41H(QWidget* parent) : QDialog(parent) {
    BuildControls();
    Form_Load();
}

frmKE41H::~frmKE41H() = default;

void frmKE41H::BuildControls() {
    setWindowTitle("振替伝票一覧　表示条件変更");

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    Panel3D1[0] = new Panel3D(this);
    Panel3D1[0]->Bevel(Panel3D::Raised);
    auto* grid = new QGridLayout(Panel3D1[0]);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);

    lblGrp = new Panel3D("支部名　　グループ名", Panel3D1[0]);
    lblGrp->setFixedHeight(24);
    lblGrp->setMinimumWidth(240);

    const char* caps[5] = {"伝票番号", "伝票日付", "入力日付", "入力担当", "伝票摘要"};
    for (int i = 0; i < 5; ++i) {
        lblCap[i] = new Panel3D(QString::fromUtf8(caps[i]), Panel3D1[0]);
        lblCap[i]->setFixedSize(76, 24);
    }
    for (int i = 0; i < 3; ++i) {
        Label1[i] = new QLabel("～", Panel3D1[0]);
        Label1[i]->setAlignment(Qt::AlignCenter);
    }

    // Created in tab order.
    txtDenNoSt = new imNumber(Panel3D1[0]);
    txtDenNoEnd = new imNumber(Panel3D1[0]);
    for (imNumber* n : {txtDenNoSt, txtDenNoEnd}) {
        n->Format("#######0");
        n->setFixedWidth(130);
        n->Alignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    cBoxDate = new QCheckBox(Panel3D1[0]);
    txtDateSt = new imDate(Panel3D1[0]);
    txtDateEnd = new imDate(Panel3D1[0]);
    cBoxNDate = new QCheckBox(Panel3D1[0]);
    txtNDateSt = new imDate(Panel3D1[0]);
    txtNDateEnd = new imDate(Panel3D1[0]);
    for (imDate* d : {txtDateSt, txtDateEnd, txtNDateSt, txtNDateEnd}) d->setFixedWidth(130);
    lblTanto = new Panel3D(Panel3D1[0]);
    lblTanto->setFixedHeight(24);
    lblTanto->Alignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmdTan = new QPushButton("変更", Panel3D1[0]);
    cmdTan->setFixedWidth(60);
    txtTekiyo = new imText(Panel3D1[0]);

    frmSort = new QGroupBox("表示順", Panel3D1[0]);
    auto* sortBox = new QHBoxLayout(frmSort);
    sortBox->setContentsMargins(8, 4, 8, 4);
    const char* sorts[3] = {"伝票日付降順", "伝票番号降順", "入力日付降順"};
    for (int i = 0; i < 3; ++i) {
        optSort[i] = new QRadioButton(QString::fromUtf8(sorts[i]), frmSort);
        sortBox->addWidget(optSort[i]);
    }
    chkKessan = new QCheckBox("決算仕訳", Panel3D1[0]);

    grid->addWidget(lblGrp, 0, 0, 1, 6, Qt::AlignRight);
    grid->addWidget(lblCap[0], 1, 0);
    grid->addWidget(txtDenNoSt, 1, 2);
    grid->addWidget(Label1[0], 1, 3);
    grid->addWidget(txtDenNoEnd, 1, 4);
    grid->addWidget(lblCap[1], 2, 0);
    grid->addWidget(cBoxDate, 2, 1);
    grid->addWidget(txtDateSt, 2, 2);
    grid->addWidget(Label1[1], 2, 3);
    grid->addWidget(txtDateEnd, 2, 4);
    grid->addWidget(lblCap[2], 3, 0);
    grid->addWidget(cBoxNDate, 3, 1);
    grid->addWidget(txtNDateSt, 3, 2);
    grid->addWidget(Label1[2], 3, 3);
    grid->addWidget(txtNDateEnd, 3, 4);
    grid->addWidget(lblCap[3], 4, 0);
    grid->addWidget(lblTanto, 4, 2, 1, 3);
    grid->addWidget(cmdTan, 4, 5, Qt::AlignLeft);
    grid->addWidget(lblCap[4], 5, 0);
    grid->addWidget(txtTekiyo, 5, 2, 1, 4);
    grid->addWidget(frmSort, 6, 0, 1, 5);
    grid->addWidget(chkKessan, 6, 5);
    grid->setColumnStretch(5, 1);
    root->addWidget(Panel3D1[0]);

    Panel3D1[1] = new Panel3D(this);
    Panel3D1[1]->Bevel(Panel3D::Raised);
    auto* buttons = new QHBoxLayout(Panel3D1[1]);
    buttons->setContentsMargins(8, 5, 8, 5);
    cmdSel = new QPushButton("OK(&O)", Panel3D1[1]);
    cmdEnd = new QPushButton("ｷｬﾝｾﾙ(&X)", Panel3D1[1]);
    cmdDefault = new QPushButton("規定値に戻す(&K)", Panel3D1[1]);
    for (QPushButton* b : {cmdSel, cmdEnd, cmdDefault}) b->setMinimumWidth(96);
    // No button answers an Enter the fields leave alone.
    for (QPushButton* b : {cmdTan, cmdSel, cmdEnd, cmdDefault}) b->setAutoDefault(false);
    buttons->addWidget(cmdDefault);
    buttons->addStretch(1);
    buttons->addWidget(cmdSel);
    buttons->addWidget(cmdEnd);
    root->addWidget(Panel3D1[1]);

    QWidget* order[] = {txtDenNoSt, txtDenNoEnd, cBoxDate,   txtDateSt,  txtDateEnd, cBoxNDate,
                        txtNDateSt, txtNDateEnd, cmdTan,     txtTekiyo,  optSort[0], optSort[1],
                        optSort[2], chkKessan,   cmdSel,     cmdEnd,     cmdDefault};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cBoxDate, &QCheckBox::toggled, this, [this] { cBoxDate_Click(); });
    connect(cBoxNDate, &QCheckBox::toggled, this, [this] { cBoxNDate_Click(); });
    connect(cmdDefault, &QPushButton::clicked, this, [this] { cmdDefault_Click(); });
    connect(cmdTan, &QPushButton::clicked, this, [this] { cmdTan_Click(); });
    connect(cmdSel, &QPushButton::clicked, this, [this] { cmdSel_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });

    for (imFieldBase* f : std::initializer_list<imFieldBase*>{txtDenNoSt, txtDenNoEnd, txtDateSt, txtDateEnd,
                                                              txtNDateSt, txtNDateEnd})
        connect(f, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    for (imDate* d : {txtDateSt, txtDateEnd, txtNDateSt, txtNDateEnd}) {
        connect(d, &imDate::CalendarOpening, this, [this, d] { LoadHolidays(d, 0); });
        connect(d, &imDate::CalendarYearChanged, this, [this, d](int year) { LoadHolidays(d, year); });
    }
    for (QWidget* w : {static_cast<QWidget*>(optSort[0]), static_cast<QWidget*>(optSort[1]),
                       static_cast<QWidget*>(optSort[2]), static_cast<QWidget*>(chkKessan)})
        w->installEventFilter(this);

    adjustSize();
}

void frmKE41H::Form_Load() {
    CenterForm(this);
    lblGrp->Caption(FncGetSskGrpName(0, 0));
    SetFormStyle();
    UseDate = gintSrchDate;
    UseNDate = gintSrchNDate;
    DenNoSt = glngSrchDenNoSt;
    DenNoEnd = glngSrchDenNoEnd;
    DateSt = glngSrchDateSt;
    DateEnd = glngSrchDateEnd;
    NDateSt = glngSrchNDateSt;
    NDateEnd = glngSrchNDateEnd;
    Tekiyo = gstrSrchTekiyo;
    Kessan = glngSrchKessan;
    Sort = gintSrchSort;
    TanCd = glngSrchTanCd;
    ShowConditions();
}

void frmKE41H::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp});
}

void frmKE41H::ShowConditions() {
    txtDenNoSt->Value(QString::number(DenNoSt));
    txtDenNoEnd->Value(QString::number(DenNoEnd));
    ShowDate(txtDateSt, DateSt);
    ShowDate(txtDateEnd, DateEnd);
    ShowDate(txtNDateSt, NDateSt);
    ShowDate(txtNDateEnd, NDateEnd);
    lblTanto->Caption(TanCd == 0 ? QString("すべて")
                                 : fncLookupField("USG_NAME", "USGMF", "USG_ID = " + QString::number(TanCd)));
    txtTekiyo->Value(Tekiyo);
    chkKessan->setChecked(Kessan != 0);
    if (Sort >= 0 && Sort <= 2) {
        optSort[Sort]->setChecked(true);
    } else {
        // No option of its own: none is on.
        for (QRadioButton* o : optSort) {
            o->setAutoExclusive(false);
            o->setChecked(false);
            o->setAutoExclusive(true);
        }
    }
    cBoxDate->setChecked(UseDate != 0);
    cBoxDate_Click();
    cBoxNDate->setChecked(UseNDate != 0);
    cBoxNDate_Click();
}

void frmKE41H::cBoxDate_Click() {
    UseDate = cBoxDate->isChecked() ? 1 : 0;
    txtDateSt->setEnabled(UseDate != 0);
    txtDateEnd->setEnabled(UseDate != 0);
}

void frmKE41H::cBoxNDate_Click() {
    UseNDate = cBoxNDate->isChecked() ? 1 : 0;
    txtNDateSt->setEnabled(UseNDate != 0);
    txtNDateEnd->setEnabled(UseNDate != 0);
}

void frmKE41H::cmdDefault_Click() {
    DenNoSt = 0;
    DenNoEnd = 99999999;
    long from = 0, to = 0;
    DefaultSearchDates(from, to);
    DateSt = NDateSt = from;
    DateEnd = NDateEnd = to;
    TanCd = 0;
    Tekiyo = "";
    Kessan = 0;
    Sort = 0;
    UseDate = 1;
    UseNDate = 0;
    ShowConditions();
}

void frmKE41H::cmdTan_Click() {
    if (!FncShowCodeSearch("TAN", QVariant::fromValue(glngSskCd), QVariant::fromValue(glngGrpCd), "", "", "", "", "",
                           "", "", ""))
        return;
    lblTanto->Caption(gvarSearchResult[2].toString());
    TanCd = ValLng(gvarSearchResult[0].toString());
    // The chosen person applies at once, even when the dialog is cancelled.
    glngSrchTanCd = TanCd;
}

long frmKE41H::NumberOr(const imNumber* field, long previous) {
    return field->IsEmpty() ? previous : field->NumValue();
}

long frmKE41H::DateOr(const imDate* field, long previous) {
    return field->IsDate() ? DateNumber(field->Date()) : previous;
}

void frmKE41H::cmdSel_Click() {
    auto refuse = [this](const QString& text, imFieldBase* field) {
        MsgBox(text, vbInformation, windowTitle());
        field->SetFocus();
    };
    // An empty number field stands for the value it held before.
    const long denNoSt = NumberOr(txtDenNoSt, DenNoSt);
    const long denNoEnd = NumberOr(txtDenNoEnd, DenNoEnd);
    if (denNoSt > denNoEnd) return refuse(kMsgRange, txtDenNoSt);
    if (UseDate == 1) {
        if (!txtDateSt->IsDate()) return refuse(kMsgDate, txtDateSt);
        if (!txtDateEnd->IsDate()) return refuse(kMsgDate, txtDateEnd);
        if (txtDateSt->Date() > txtDateEnd->Date()) return refuse(kMsgRange, txtDateSt);
    }
    if (UseNDate == 1) {
        if (!txtNDateSt->IsDate()) return refuse(kMsgDate, txtNDateSt);
        if (!txtNDateEnd->IsDate()) return refuse(kMsgDate, txtNDateEnd);
        if (txtNDateSt->Date() > txtNDateEnd->Date()) return refuse(kMsgRange, txtNDateSt);
    }

    glngSrchDenNoSt = denNoSt;
    glngSrchDenNoEnd = denNoEnd;
    // A range that is off keeps its last valid dates when a field holds none.
    glngSrchDateSt = DateOr(txtDateSt, DateSt);
    glngSrchDateEnd = DateOr(txtDateEnd, DateEnd);
    glngSrchNDateSt = DateOr(txtNDateSt, NDateSt);
    glngSrchNDateEnd = DateOr(txtNDateEnd, NDateEnd);
    gstrSrchTekiyo = txtTekiyo->Value();
    glngSrchKessan = chkKessan->isChecked() ? 1 : 0;
    for (int i = 0; i < 3; ++i)
        if (optSort[i]->isChecked()) gintSrchSort = i;
    gintSrchDate = UseDate;
    gintSrchNDate = UseNDate;
    glngSrchTanCd = TanCd;
    accept();
}

void frmKE41H::cmdEnd_Click() { reject(); }

void frmKE41H::LoadHolidays(imDate* field, int year) { field->Holidays(basCalendar::fncGetHolidayList(year)); }

void frmKE41H::SendTab(bool forward) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = this;
    QKeyEvent tab(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab,
                  forward ? Qt::NoModifier : Qt::ShiftModifier);
    QCoreApplication::sendEvent(target, &tab);
}

void frmKE41H::MoveFocusOnArrowKey(int& KeyCode) {
    if (KeyCode == vbKeyDown) {
        KeyCode = 0;
        SendTab(true);
    } else if (KeyCode == vbKeyUp) {
        KeyCode = 0;
        SendTab(false);
    }
}

void frmKE41H::MoveFocusOnEnter(int& KeyAscii) {
    if (KeyAscii == vbKeyReturn) {
        KeyAscii = 0;
        SendTab(true);
    }
}

bool frmKE41H::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        int keyCode = VbKeyCode(ke);
        // Only plain arrows: Shift+Tab and friends pass.
        if (ke->modifiers() == Qt::NoModifier || ke->modifiers() == Qt::KeypadModifier) {
            MoveFocusOnArrowKey(keyCode);
            if (keyCode == 0) return true;
        }
        int keyAscii = VbKeyAscii(ke);
        if (keyAscii == 0 && keyCode == vbKeyReturn) keyAscii = vbKeyReturn;
        if (keyAscii != 0) {
            MoveFocusOnEnter(keyAscii);
            if (keyAscii == 0) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
