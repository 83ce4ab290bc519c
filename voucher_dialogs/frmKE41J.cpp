#include "voucher_dialogs/frmKE41J.h"

#include "common/WindowStyle.h"
#include "common/basIME.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/InputFields.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

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

frmKE41J::frmKE41J(frmKE410* entry) : QDialog(entry), entry_(entry) {
    BuildControls();
    Form_Load();
}

frmKE41J::~frmKE41J() = default;

void frmKE41J::BuildControls() {
    setWindowTitle("指定伝票へｼﾞｬﾝﾌﾟ");

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
    lblCap[0] = new Panel3D("伝票日付", Panel3D1[0]);
    lblCap[1] = new Panel3D("伝票番号", Panel3D1[0]);
    for (Panel3D* p : lblCap) p->setFixedSize(76, 24);

    txtDate = new imDate(Panel3D1[0]);
    txtDate->setFixedWidth(110);
    txtDenno = new imNumber(Panel3D1[0]);
    txtDenno->Format("#######0");
    txtDenno->setFixedWidth(110);
    txtDenno->Alignment(Qt::AlignRight | Qt::AlignVCenter);

    grid->addWidget(lblGrp, 0, 0, 1, 3);
    grid->addWidget(lblCap[0], 1, 0);
    grid->addWidget(txtDate, 1, 1);
    grid->addWidget(lblCap[1], 2, 0);
    grid->addWidget(txtDenno, 2, 1);
    grid->setColumnStretch(2, 1);
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

    QWidget* order[] = {txtDate, txtDenno, cmdUpd, cmdEnd};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdUpd, &QPushButton::clicked, this, [this] { cmdUpd_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    // Period and number are typed as digits: no input method.
    connect(txtDate, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });
    connect(txtDenno, &imFieldBase::GotFocus, this, [this] { basIME::SetImeOpen(this, false); });

    adjustSize();
}

void frmKE41J::Form_Load() {
    CenterForm(this);
    gblnJumpDone = false;
    lblGrp->Caption(FncGetSskGrpName(0, 0));
    SetFormStyle();
    // A branch without a setting numbers its vouchers per accounting month.
    lngSbanKbn = ValLng(fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + QString::number(glngSskCd)));
    if (lngSbanKbn == 0) {
        txtDate->Format("yyyy/mm");
    } else if (lngSbanKbn == 1) {
        txtDate->Format("yyyy");
    }
}

void frmKE41J::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp});
}

void frmKE41J::Refuse(const QString& text, QWidget* field) {
    MsgBox(text, vbOKOnly | vbExclamation, windowTitle());
    if (auto* f = qobject_cast<imFieldBase*>(field)) f->SetFocus();
    else field->setFocus();
}

void frmKE41J::cmdUpd_Click() {
    try {
        if (!txtDate->IsDate()) return Refuse("伝票日付を正しく入力してください", txtDate);
        if (txtDenno->NumValue() == 0) return Refuse("伝票番号を正しく入力してください", txtDenno);

        const QDate d = txtDate->Date();
        long lngPeriod;
        if (lngSbanKbn == 0) {
            long ym = d.year() * 100L + d.month();
            lngPeriod = FncGetKskMonth(ym, 0, 0);
        } else {
            lngPeriod = FncGetKskNendo(d.year(), 0, 0);
        }

        gstrSQL = "SELECT DNH_NENDO, DNH_YM, DNH_DENNO, DNH_DATE";
        gstrSQL += " FROM DNHDT";
        gstrSQL += " WHERE DNH_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND DNH_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND DNH_KBN < 10";
        if (lngSbanKbn == 0) {
            gstrSQL += "   AND DNH_YM = " + QString::number(lngPeriod);
        } else {
            gstrSQL += "   AND DNH_NENDO = " + QString::number(lngPeriod);
        }
        gstrSQL += "   AND DNH_DENNO = " + QString::number(txtDenno->NumValue());
        gstrSQL += "   AND DNH_DELKBN = 0";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) return Refuse("指定の伝票は見つかりませんでした", txtDenno);

        const long lngNendo = ValLng(rs->Fields("DNH_NENDO").Value());
        const long lngYm = ValLng(rs->Fields("DNH_YM").Value());
        const long lngDenNo = ValLng(rs->Fields("DNH_DENNO").Value());
        const long lngDate = ValLng(rs->Fields("DNH_DATE").Value());

        // Whether the voucher may still be changed is decided by the closing
        // state of its own fiscal year: the year the entry window happened to
        // show may be closed while the voucher's is open (or have no period
        // at all), and the entry window's load judges by the voucher's year
        // as well.
        RecordsetPtr ksk = FncGetKskRs(lngNendo, 0, 0);
        if (!ksk || ksk->Eof())
            return Refuse("決算期間マスタの取得に失敗しました。伝票日付を確認してください。", txtDenno);
        QString strMode;
        if (Val(ksk->Fields("KSK_NUP").Value()) > 0) {
            strMode = "S";
        } else if (lngDate <= ValLng(ksk->Fields("KSK_GUP").Value())) {
            strMode = "S";
        } else {
            strMode = "U";
            if (entry_ && entry_->denMeisai) entry_->denMeisai->setEditLock(0);
        }
        gstrEditMode = strMode;
        ksk->Close();

        glngDenNendo = lngNendo;
        glngDenYm = lngYm;
        glngDenNo = lngDenNo;
        gblnJumpDone = true;
        accept();
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
}

void frmKE41J::cmdEnd_Click() { reject(); }
