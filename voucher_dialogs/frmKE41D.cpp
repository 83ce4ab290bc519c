#include "voucher_dialogs/frmKE41D.h"

#include "common/WindowKeys.h"
#include "common/WindowStyle.h"
#include "common/basIME.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/InputFields.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "voucher_entry/basWKE410.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QVBoxLayout>
#include <iterator>

using namespace basStdComm;
using namespace basWKE410;
using namespace basTavik;

namespace {

constexpr long kMaxCode = 9999;
// The voucher entry program's own title, which the exhausted-code notice
// carries (it is the program's message, not the dialog's).
const QString kProgramTitle = QStringLiteral("振替伝票入力");

}  // namespace

frmKE41D::frmKE41D(QWidget* parent) : QDialog(parent) {
    BuildControls();
    Form_Load();
}

frmKE41D::~frmKE41D() = default;

void frmKE41D::BuildControls() {
    setWindowTitle("摘要登録");

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    Panel3D1[0] = new Panel3D(this);
    Panel3D1[0]->Bevel(Panel3D::Raised);
    auto* grid = new QGridLayout(Panel3D1[0]);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);

    lblMode = new Panel3D("モード", Panel3D1[0]);
    lblMode->setFixedSize(76, 24);
    lblGrp = new Panel3D("支部名　　グループ名", Panel3D1[0]);
    lblGrp->setFixedHeight(24);
    lblGrp->setMinimumWidth(240);
    const char* caps[3] = {"コード", "摘要", "表示順"};
    for (int i = 0; i < 3; ++i) {
        lblCap[i] = new Panel3D(QString::fromUtf8(caps[i]), Panel3D1[0]);
        lblCap[i]->setFixedSize(76, 24);
    }

    txtCd = new imNumber(Panel3D1[0]);
    txtCd->Format("###0");
    txtCd->setFixedWidth(60);
    txtCd->Alignment(Qt::AlignRight | Qt::AlignVCenter);
    txtSaiban = new QPushButton("採番", Panel3D1[0]);
    txtSaiban->setAutoDefault(false);
    txtName = new imText(Panel3D1[0]);
    txtName->setMinimumWidth(340);
    txtSort = new imNumber(Panel3D1[0]);
    txtSort->Format("###0");
    txtSort->setFixedWidth(60);
    txtSort->Alignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* top = new QHBoxLayout();
    top->addWidget(lblMode);
    top->addStretch(1);
    top->addWidget(lblGrp);
    grid->addLayout(top, 0, 0, 1, 4);
    grid->addWidget(lblCap[0], 1, 0);
    grid->addWidget(txtCd, 1, 1);
    grid->addWidget(txtSaiban, 1, 2, Qt::AlignLeft);
    grid->addWidget(lblCap[1], 2, 0);
    grid->addWidget(txtName, 2, 1, 1, 3);
    grid->addWidget(lblCap[2], 3, 0);
    grid->addWidget(txtSort, 3, 1);
    grid->setColumnStretch(3, 1);
    root->addWidget(Panel3D1[0]);

    Panel3D1[1] = new Panel3D(this);
    Panel3D1[1]->Bevel(Panel3D::Raised);
    auto* buttons = new QHBoxLayout(Panel3D1[1]);
    buttons->setContentsMargins(8, 5, 8, 5);
    cmdUpd = new QPushButton("登録(&U)", Panel3D1[1]);
    cmdEnd = new QPushButton("ｷｬﾝｾﾙ(&X)", Panel3D1[1]);
    for (QPushButton* b : {cmdUpd, cmdEnd}) b->setMinimumWidth(96);
    buttons->addStretch(1);
    buttons->addWidget(cmdUpd);
    buttons->addWidget(cmdEnd);
    root->addWidget(Panel3D1[1]);

    // The keyboard path runs through the fields to the register button; the
    // next-code button is for the mouse and comes last.
    QWidget* order[] = {txtCd, txtName, txtSort, cmdUpd, cmdEnd, txtSaiban};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdUpd, &QPushButton::clicked, this, [this] { cmdUpd_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    connect(txtSaiban, &QPushButton::clicked, this, [this] { txtSaiban_Click(); });
    connect(txtCd, &imFieldBase::LostFocus, this, [this] { txtCd_LostFocus(); });
    connect(txtCd, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    connect(txtSort, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });

    adjustSize();
}

void frmKE41D::Form_Load() {
    CenterForm(this);
    lblGrp->Caption(FncGetSskGrpName(0, 0));
    txtName->Value(gstrTekiyo);
    SetFormStyle();
}

void frmKE41D::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp, lblMode});
}

// ---------------------------------------------------------------- fields

void frmKE41D::txtSaiban_Click() {
    try {
        gstrSQL = "SELECT TEK_CD";
        gstrSQL += " FROM TEKMF";
        gstrSQL += " WHERE TEK_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += " ORDER BY TEK_CD DESC";
        gstrSQL += " LIMIT 1";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) {
            txtCd->NumValue(1);
            txtCd->SetFocus();
            rs->Close();
            return;
        }
        const long lngMax = ValLng(rs->Fields("TEK_CD").Value());
        if (lngMax >= kMaxCode) {
            MsgBox("採番値が９９９９まで使用されました。" + QString(QChar(13)) + "採番は出来ません。", vbOKOnly,
                   kProgramTitle);
            rs->Close();
            return;
        }
        txtCd->NumValue(lngMax + 1);
        txtCd->SetFocus();
        rs->Close();
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
}

void frmKE41D::txtCd_LostFocus() { txtSort->Value(txtCd->Value()); }

// ---------------------------------------------------------------- register

void frmKE41D::Refuse(const QString& text, QWidget* field) {
    MsgBox(text, vbOKOnly | vbExclamation, windowTitle());
    if (auto* f = qobject_cast<imFieldBase*>(field)) f->SetFocus();
    else field->setFocus();
}

bool frmKE41D::fncCheckDescription() {
    try {
        if (txtCd->NumValue() == 0) {
            Refuse("コードを正しく入力してください。", txtCd);
            return false;
        }
        if (txtName->Value().isEmpty()) {
            Refuse("摘要を正しく入力してください。", txtName);
            return false;
        }
        if (!IsNumeric(txtSort->Value())) {
            Refuse("コードを正しく入力してください。", txtSort);
            return false;
        }
        gstrSQL = "SELECT TEK_CD";
        gstrSQL += " FROM TEKMF";
        gstrSQL += " WHERE TEK_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND TEK_CD = " + QString::number(txtCd->NumValue());
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (!rs->Eof()) {
            Refuse("このコードは登録済みです。", txtCd);
            return false;
        }
        rs->Close();
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool frmKE41D::fncInsertDescription() {
    try {
        QString sql = "INSERT INTO TEKMF (";
        sql += " TEK_SSKCD, ";
        sql += " TEK_CD, ";
        sql += " TEK_NAME, ";
        sql += " TEK_SORT, ";
        sql += " TEK_UPDDATE, ";
        sql += " TEK_UPDTANCD ";
        sql += " ) VALUES ( ";
        sql += QString::number(glngSskCd) + ",";
        sql += QString::number(txtCd->NumValue()) + ",";
        sql += fncSqlQuote(txtName->Value()) + ",";
        sql += QString::number(txtSort->NumValue()) + ",";
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

void frmKE41D::cmdUpd_Click() {
    WindowKeys::TakeFieldInProgress(cmdUpd);
    if (!fncCheckDescription()) return;
    if (!fncInsertDescription()) return;
    accept();
}

void frmKE41D::cmdEnd_Click() { reject(); }
