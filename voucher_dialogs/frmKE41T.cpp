#include "voucher_dialogs/frmKE41T.h"

#include "common/WindowKeys.h"
#include "common/WindowStyle.h"
#include "common/basIME.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <iterator>

using namespace basStdComm;
using namespace basWKE410;
using namespace basTavik;

frmKE41T::frmKE41T(frmKE410* entry) : QDialog(entry), entry_(entry) {
    BuildControls();
    Form_Load();
}

frmKE41T::~frmKE41T() = default;

void frmKE41T::BuildControls() {
    setWindowTitle("定例仕訳登録");

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
    const char* caps[5] = {"登録キー", "名　　称", "表示順", "区分", "伝票摘要"};
    for (int i = 0; i < 5; ++i) {
        lblCap[i] = new Panel3D(QString::fromUtf8(caps[i]), Panel3D1[0]);
        lblCap[i]->setFixedSize(76, 24);
    }

    txtKey = new imNumber(Panel3D1[0]);
    txtKey->Format("#######0");
    txtKey->setFixedWidth(100);
    txtKey->Alignment(Qt::AlignRight | Qt::AlignVCenter);
    txtSaiban = new QPushButton("採番", Panel3D1[0]);
    txtSaiban->setAutoDefault(false);
    txtName = new imText(Panel3D1[0]);
    txtName->setMinimumWidth(300);
    txtSort = new imNumber(Panel3D1[0]);
    txtSort->Format("###0");
    txtSort->setFixedWidth(60);
    txtSort->Alignment(Qt::AlignRight | Qt::AlignVCenter);
    Frame1 = new QGroupBox(Panel3D1[0]);
    auto* kbn = new QHBoxLayout(Frame1);
    kbn->setContentsMargins(8, 2, 8, 2);
    optKbn[0] = new QRadioButton("通常", Frame1);
    optKbn[1] = new QRadioButton("決算", Frame1);
    kbn->addWidget(optKbn[0]);
    kbn->addSpacing(16);
    kbn->addWidget(optKbn[1]);
    kbn->addStretch(1);
    optKbn[0]->setChecked(true);
    txtDTekiyo = new imText(Panel3D1[0]);
    txtDTekiyo->setMinimumWidth(300);

    grid->addWidget(lblGrp, 0, 0, 1, 4, Qt::AlignRight);
    grid->addWidget(lblCap[0], 1, 0);
    grid->addWidget(txtKey, 1, 1);
    grid->addWidget(txtSaiban, 1, 2, Qt::AlignLeft);
    grid->addWidget(lblCap[1], 2, 0);
    grid->addWidget(txtName, 2, 1, 1, 3);
    grid->addWidget(lblCap[2], 3, 0);
    grid->addWidget(txtSort, 3, 1, Qt::AlignLeft);
    grid->addWidget(lblCap[3], 4, 0);
    grid->addWidget(Frame1, 4, 1, 1, 2);
    grid->addWidget(lblCap[4], 5, 0);
    grid->addWidget(txtDTekiyo, 5, 1, 1, 3);
    grid->setColumnStretch(3, 1);
    root->addWidget(Panel3D1[0]);

    Panel3D1[1] = new Panel3D(this);
    Panel3D1[1]->Bevel(Panel3D::Raised);
    auto* buttons = new QHBoxLayout(Panel3D1[1]);
    buttons->setContentsMargins(8, 5, 8, 5);
    cmdUpd = new QPushButton("OK(&O)", Panel3D1[1]);
    cmdEnd = new QPushButton("ｷｬﾝｾﾙ(&X)", Panel3D1[1]);
    for (QPushButton* b : {cmdUpd, cmdEnd}) b->setMinimumWidth(96);
    buttons->addStretch(1);
    buttons->addWidget(cmdUpd);
    buttons->addWidget(cmdEnd);
    root->addWidget(Panel3D1[1]);

    // The keyboard path runs through the fields to OK; the next-key button
    // is for the mouse and comes last, so that Enter after the key never
    // lands on it.
    QWidget* order[] = {txtKey, txtName, txtSort, optKbn[0], optKbn[1], txtDTekiyo, cmdUpd, cmdEnd, txtSaiban};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdUpd, &QPushButton::clicked, this, [this] { cmdUpd_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    connect(txtSaiban, &QPushButton::clicked, this, [this] { txtSaiban_Click(); });
    connect(txtKey, &imFieldBase::LostFocus, this, [this] { txtKey_LostFocus(); });
    connect(txtKey, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    connect(txtSort, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    for (QRadioButton* o : optKbn) o->installEventFilter(this);

    adjustSize();
}

void frmKE41T::Form_Load() {
    CenterForm(this);
    lblGrp->Caption(FncGetSskGrpName(0, 0));
    if (entry_) txtDTekiyo->Value(entry_->txtDTekiyo->Value());
    SetFormStyle();
}

void frmKE41T::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp});
}

// ---------------------------------------------------------------- fields and keys

void frmKE41T::txtSaiban_Click() {
    try {
        gstrSQL = "SELECT TSH_KEY";
        gstrSQL += " FROM TSHMF";
        gstrSQL += " WHERE TSH_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND TSH_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += " ORDER BY TSH_KEY DESC";
        gstrSQL += " LIMIT 1";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) {
            txtKey->NumValue(1);
        } else {
            txtKey->NumValue(ValLng(rs->Fields("TSH_KEY").Value()) + 1);
        }
        txtKey->SetFocus();
        rs->Close();
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
}

void frmKE41T::txtKey_LostFocus() {
    if (txtSort->NumValue() == 0) txtSort->Value(txtKey->Value());
}

void frmKE41T::optKbn_KeyDown(int& KeyCode) { MoveFocusOnArrowKey(KeyCode); }

void frmKE41T::optKbn_KeyPress(int& KeyAscii) { MoveFocusOnEnter(KeyAscii); }

void frmKE41T::SendTab(bool forward) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = this;
    QKeyEvent tab(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab,
                  forward ? Qt::NoModifier : Qt::ShiftModifier);
    QCoreApplication::sendEvent(target, &tab);
}

void frmKE41T::MoveFocusOnArrowKey(int& KeyCode) {
    if (KeyCode == vbKeyDown) {
        SendTab(true);
        KeyCode = 0;
    } else if (KeyCode == vbKeyUp) {
        SendTab(false);
        KeyCode = 0;
    }
}

void frmKE41T::MoveFocusOnEnter(int& KeyAscii) {
    if (KeyAscii == vbKeyReturn) {
        KeyAscii = 0;
        SendTab(true);
    }
}

bool frmKE41T::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == optKbn[0] || watched == optKbn[1])) {
        auto* ke = static_cast<QKeyEvent*>(event);
        int keyCode = VbKeyCode(ke);
        // Plain arrows only: Shift+arrow and the like pass.
        if (ke->modifiers() == Qt::NoModifier || ke->modifiers() == Qt::KeypadModifier) {
            optKbn_KeyDown(keyCode);
            if (keyCode == 0) return true;
        }
        int keyAscii = VbKeyAscii(ke);
        if (keyAscii == 0 && keyCode == vbKeyReturn) keyAscii = vbKeyReturn;
        if (keyAscii != 0) {
            optKbn_KeyPress(keyAscii);
            if (keyAscii == 0) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- register

bool frmKE41T::fncCheckTemplate() {
    try {
        if (txtKey->NumValue() == 0) {
            MsgBox("登録キーを正しく入力してください。", vbOKOnly | vbExclamation, windowTitle());
            txtKey->SetFocus();
            return false;
        }
        if (txtName->Value().isEmpty()) {
            MsgBox("名称を正しく入力してください。", vbOKOnly | vbExclamation, windowTitle());
            txtName->SetFocus();
            return false;
        }
        gstrSQL = "SELECT TSH_KEY";
        gstrSQL += " FROM TSHMF";
        gstrSQL += " WHERE TSH_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND TSH_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND TSH_KEY = " + QString::number(txtKey->NumValue());
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (!rs->Eof()) {
            if (MsgBox("このコードは登録済みです。上書きしますか？", vbYesNo | vbInformation, windowTitle()) == vbNo) {
                txtKey->SetFocus();
                rs->Close();
                return false;
            }
        }
        rs->Close();
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool frmKE41T::fncDeleteTemplate() {
    try {
        const QString key = QString::number(txtKey->NumValue());
        QString sql = "DELETE FROM TSHMF";
        sql += " WHERE TSH_SSKCD = " + QString::number(glngSskCd);
        sql += "   AND TSH_GRPCD = " + QString::number(glngGrpCd);
        sql += "   AND TSH_KEY = " + key;
        bool ok = gobjDB->Execute(sql);
        if (ok) {
            sql = "DELETE FROM TSMMF";
            sql += " WHERE TSM_SSKCD = " + QString::number(glngSskCd);
            sql += "   AND TSM_GRPCD = " + QString::number(glngGrpCd);
            sql += "   AND TSM_KEY = " + key;
            ok = gobjDB->Execute(sql);
        }
        if (!ok) {
            MsgBox(gobjDB->ErrorText(), vbOKOnly | vbExclamation, windowTitle());
            return false;
        }
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool frmKE41T::InsertLine(int r, const QString& x, int lngGyo) {
    VoucherGrid* grid = entry_->denMeisai;
    auto code = [&](const QString& suffix) { return QString::number(ValLng(grid->Cell(x + suffix, r))); };
    auto amount = [&](const QString& suffix) { return ValCur(grid->Cell(x + suffix, r)).ToString(); };
    QString sql = "INSERT INTO TSMMF (";
    sql += " TSM_SSKCD, ";
    sql += " TSM_GRPCD, ";
    sql += " TSM_KEY, ";
    sql += " TSM_GYO, ";
    sql += " TSM_TSKBN, ";
    sql += " TSM_KMKCD, ";
    sql += " TSM_HK1CD, ";
    sql += " TSM_HK2CD, ";
    sql += " TSM_ZKBN, ";
    sql += " TSM_KIN, ";
    sql += " TSM_TAX, ";
    sql += " TSM_TRICD, ";
    sql += " TSM_TEKIYO ";
    sql += " ) VALUES ( ";
    sql += QString::number(glngSskCd) + ",";
    sql += QString::number(glngGrpCd) + ",";
    sql += QString::number(txtKey->NumValue()) + ",";
    sql += QString::number(lngGyo) + ",";
    sql += (x == "KR" ? "1" : "2") + QString(",");
    sql += code("KMKCD") + ",";
    sql += code("HK1CD") + ",";
    sql += code("HK2CD") + ",";
    sql += code("ZKBN") + ",";
    sql += amount("KIN") + ",";
    sql += amount("TAX") + ",";
    sql += code("TRICD") + ",";
    sql += fncSqlQuote(grid->Cell(x + "TEKI", r));
    sql += ")";
    if (!gobjDB->Execute(sql)) {
        MsgBox(gobjDB->ErrorText(), vbOKOnly | vbExclamation, windowTitle());
        return false;
    }
    return true;
}

bool frmKE41T::fncInsertTemplate() {
    try {
        VoucherGrid* grid = entry_ ? entry_->denMeisai : nullptr;
        int lngKari = 0;
        int lngKasi = 0;
        auto used = [&](const QString& x, int r) {
            return ValLng(grid->Cell(x + "KMKCD", r)) > 0 || ValCur(grid->Cell(x + "KIN", r)) > Currency() ||
                   ValCur(grid->Cell(x + "TAX", r)) > Currency();
        };
        for (int r = 0; grid && r < grid->Rows(); ++r) {
            if (used("KR", r) && !InsertLine(r, "KR", ++lngKari)) return false;
            if (used("KS", r) && !InsertLine(r, "KS", ++lngKasi)) return false;
        }

        // A sort field left empty takes the key, as leaving the key field
        // would have done.
        const long lngSort = txtSort->IsEmpty() ? txtKey->NumValue() : txtSort->NumValue();
        QString sql = "INSERT INTO TSHMF (";
        sql += " TSH_SSKCD, ";
        sql += " TSH_GRPCD, ";
        sql += " TSH_KEY, ";
        sql += " TSH_NAME, ";
        sql += " TSH_DTEKIYO, ";
        sql += " TSH_SORT, ";
        sql += " TSH_KBN, ";
        sql += " TSH_UPDDATE, ";
        sql += " TSH_UPDTANCD ";
        sql += " ) VALUES ( ";
        sql += QString::number(glngSskCd) + ",";
        sql += QString::number(glngGrpCd) + ",";
        sql += QString::number(txtKey->NumValue()) + ",";
        sql += fncSqlQuote(txtName->Value()) + ",";
        sql += fncSqlQuote(txtDTekiyo->Value()) + ",";
        sql += QString::number(lngSort) + ",";
        sql += optKbn[0]->isChecked() ? "0," : "1,";
        sql += gobjDB->DateLiteral(Today().toString("yyyy/MM/dd")) + ",";
        sql += QString::number(glngUserId) + ")";
        if (!gobjDB->Execute(sql)) {
            MsgBox(gobjDB->ErrorText(), vbOKOnly | vbExclamation, windowTitle());
            return false;
        }
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

void frmKE41T::cmdUpd_Click() {
    WindowKeys::TakeFieldInProgress(cmdUpd);
    if (!fncCheckTemplate()) return;
    try {
        DBTransaction trans(*gobjDB);
        if (!fncDeleteTemplate()) {
            trans.Rollback();
            return;
        }
        if (!fncInsertTemplate()) {
            trans.Rollback();
            return;
        }
        trans.Commit();
    } catch (const AppError& e) {
        // A transaction that could not begin or end: nothing is kept.
        ShowErrMsg(e);
        return;
    }
    accept();
}

void frmKE41T::cmdEnd_Click() { reject(); }
