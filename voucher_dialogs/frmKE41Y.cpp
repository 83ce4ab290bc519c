#include "voucher_dialogs/frmKE41Y.h"

#include "common/WindowStyle.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/InputFields.h"
#include "platform/KeyCodes.h"
#include "platform/ListGrid.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "platform/VoucherGrid.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

using namespace basStdComm;
using namespace basWKE410;
using namespace basTavik;

namespace {

const QString kMsgNoRow = QStringLiteral("行が選択されていません");

// A text cell of a row written through the block clip text: a tab or line
// break inside it would split the row, so they become blanks.
QString ClipCell(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
    return text;
}

}  // namespace

frmKE41Y::frmKE41Y(frmKE410* entry) : QDialog(entry), entry_(entry) {
    BuildControls();
    Form_Load();
}

frmKE41Y::~frmKE41Y() = default;

void frmKE41Y::BuildControls() {
    setWindowTitle("定例仕訳呼出");

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    Panel3D1[0] = new Panel3D(this);
    Panel3D1[0]->Bevel(Panel3D::Raised);
    auto* head = new QHBoxLayout(Panel3D1[0]);
    head->setContentsMargins(6, 4, 6, 4);
    lblGrp = new Panel3D("支部名　　グループ名", Panel3D1[0]);
    lblGrp->setMinimumWidth(260);
    lblGrp->setFixedHeight(24);
    head->addStretch(1);
    head->addWidget(lblGrp);
    root->addWidget(Panel3D1[0]);

    spdMeisai = new ListGrid(this);
    spdMeisai->setMaxCols(colCount);
    const char* headers[colCount] = {"決算", "登録キー", "名称", "伝票摘要"};
    for (int c = 1; c <= colCount; ++c) spdMeisai->setColumnHeader(c, QString::fromUtf8(headers[c - 1]));
    spdMeisai->setColAlignment(colKbn, Qt::AlignHCenter);
    spdMeisai->setColAlignment(colKey, Qt::AlignRight);
    auto width = [&](int col, double chars) { spdMeisai->setColWidth(col, chars); };
    width(colKbn, 5);
    width(colKey, 9);
    width(colName, 30);
    width(colTekiyo, 44);
    root->addWidget(spdMeisai, 1);

    Panel3D1[1] = new Panel3D(this);
    Panel3D1[1]->Bevel(Panel3D::Raised);
    auto* buttons = new QHBoxLayout(Panel3D1[1]);
    buttons->setContentsMargins(6, 4, 6, 4);
    cmdSel = new QPushButton("選択(&S)", Panel3D1[1]);
    cmdEnd = new QPushButton("ｷｬﾝｾﾙ(&X)", Panel3D1[1]);
    for (QPushButton* b : {cmdSel, cmdEnd}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(96);
    }
    buttons->addStretch(1);
    buttons->addWidget(cmdSel);
    buttons->addWidget(cmdEnd);
    root->addWidget(Panel3D1[1]);

    resize(820, 440);

    setTabOrder(spdMeisai, cmdSel);
    setTabOrder(cmdSel, cmdEnd);

    connect(cmdSel, &QPushButton::clicked, this, [this] { cmdSel_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    connect(spdMeisai, &ListGrid::DblClick, this, [this](int col, int row) { spdMeisai_DblClick(col, row); });
    connect(spdMeisai, &ListGrid::KeyDown, this, [this](int& key, int& shift) { spdMeisai_KeyDown(key, shift); });
}

void frmKE41Y::Form_Load() {
    CenterForm(this);
    lblGrp->Caption(FncGetSskGrpName(0, 0));
    SetFormStyle();
    ShowTemplateList();
    spdMeisai->SetFocus();
}

void frmKE41Y::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp});
    spdMeisai->SetOddEvenRowColor(Qt::white, Qt::black, QColor(255, 252, 185), Qt::black);
}

// ---------------------------------------------------------------- the list

void frmKE41Y::ShowTemplateList() {
    try {
        gstrSQL = "SELECT CASE TSH_KBN WHEN 1 THEN '○' ELSE '' END AS KBN,";
        gstrSQL += " TSH_KEY , TSH_NAME, TSH_DTEKIYO";
        gstrSQL += " FROM TSHMF";
        gstrSQL += " WHERE TSH_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND TSH_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND TSH_KBN IN (0,1)";
        gstrSQL += " ORDER BY TSH_SORT, TSH_KEY";
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        spdMeisai->setMaxRows(rs->Eof() ? 0 : static_cast<int>(rs->RecordCount()));
        spdMeisai->setReDraw(false);
        int row = 0;
        while (!rs->Eof()) {
            ++row;
            spdMeisai->setBlockMode(true);
            spdMeisai->setRow(row);
            spdMeisai->setRow2(row);
            spdMeisai->setCol(1);
            spdMeisai->setCol2(spdMeisai->MaxCols());
            const QStringList cells = {
                rs->Fields("kbn").Value().Text(),
                rs->Fields("TSH_KEY").Value().Text(),
                ClipCell(rs->Fields("TSH_NAME").Value().Text()),
                ClipCell(rs->Fields("TSH_DTEKIYO").Value().Text()),
            };
            spdMeisai->setClip(cells.join(QLatin1Char('\t')));
            spdMeisai->setBlockMode(false);
            rs->MoveNext();
        }
        spdMeisai->setReDraw(true);
    } catch (const AppError& e) {
        spdMeisai->setBlockMode(false);
        spdMeisai->setReDraw(true);
        ShowErrMsg(e);
    }
}

// ---------------------------------------------------------------- selecting

void frmKE41Y::SelectRow(int lngRow) {
    if (lngRow < 1) {
        MsgBox(kMsgNoRow, vbOKOnly | vbExclamation, windowTitle());
        return;
    }
    spdMeisai->setActiveRow(lngRow);
    spdMeisai->setRow(lngRow);
    spdMeisai->setCol(colKey);
    long lngKey = ValLng(spdMeisai->Text());
    if (!fncLoadTemplate(lngKey)) return;
    entry_->subTatekei();
    accept();
}

void frmKE41Y::cmdSel_Click() { SelectRow(spdMeisai->ActiveRow()); }

void frmKE41Y::spdMeisai_DblClick(int /*Col*/, int Row) { SelectRow(Row); }

void frmKE41Y::spdMeisai_KeyDown(int& KeyCode, int& /*Shift*/) {
    if (KeyCode != vbKeyReturn) return;
    KeyCode = 0;
    cmdSel_Click();
}

void frmKE41Y::cmdEnd_Click() { reject(); }

// ---------------------------------------------------------------- loading a template

bool frmKE41Y::fncLoadTemplate(long& lngKey) {
    gblnLoading = true;
    bool result = false;
    VoucherGrid* grid = entry_ ? entry_->denMeisai : nullptr;
    try {
        if (!grid) throw AppError(vbObjectError, "引数が正しくありません。", "fncLoadTemplate");

        // An empty voucher grid, as the entry window clears it.
        grid->ClearCells();
        grid->setSectionItemText(0, 0, "%n%");
        grid->setTotal(Currency(), "GKRKIN");
        grid->setTotal(Currency(), "GKSKIN");

        gstrSQL = "SELECT TSH_SSKCD, TSH_GRPCD, TSH_KEY, TSH_DTEKIYO, TSH_KBN,";
        gstrSQL += " TSM_GYO, TSM_TSKBN, TSM_KMKCD, TSM_HK1CD, TSM_HK2CD, ";
        gstrSQL += " TSM_ZKBN, TSM_KIN, TSM_TAX, TSM_TRICD, TSM_TEKIYO ";
        gstrSQL += " FROM TSMMF";
        gstrSQL += " LEFT JOIN TSHMF ON TSH_SSKCD = TSM_SSKCD AND TSH_GRPCD = TSM_GRPCD AND TSH_KEY = TSM_KEY";
        gstrSQL += " WHERE TSM_SSKCD = " + QString::number(glngSskCd);
        gstrSQL += "   AND TSM_GRPCD = " + QString::number(glngGrpCd);
        gstrSQL += "   AND TSM_KEY = " + QString::number(lngKey);
        RecordsetPtr rs = gobjDB->OpenRecordset(gstrSQL);
        if (rs->Eof()) {
            MsgBox("このデータは他のユーザーによって削除されました。", vbOKOnly | vbExclamation, windowTitle());
            rs->Close();
            gblnLoading = false;
            return false;
        }

        entry_->txtDTekiyo->Value(rs->Fields("TSH_DTEKIYO").Value().Text().trimmed());
        entry_->chkKbn->setChecked(ValLng(rs->Fields("TSH_KBN").Value()) == 1);

        const QString y = QString::number(glngCurNendo);
        const QString s = QString::number(glngSskCd);
        const QString g = QString::number(glngGrpCd);
        grid->setRedraw(false);
        while (!rs->Eof()) {
            const int r = static_cast<int>(ValLng(rs->Fields("TSM_GYO").Value())) - 1;
            const QString x = ValLng(rs->Fields("TSM_TSKBN").Value()) == 1 ? "KR" : "KS";
            const long kmk = ValLng(rs->Fields("TSM_KMKCD").Value());
            const long hk1 = ValLng(rs->Fields("TSM_HK1CD").Value());
            const long hk2 = ValLng(rs->Fields("TSM_HK2CD").Value());
            const long zkbn = ValLng(rs->Fields("TSM_ZKBN").Value());
            const long tri = ValLng(rs->Fields("TSM_TRICD").Value());
            const QString a = QString::number(kmk);
            const QString h1 = QString::number(hk1);
            const QString h2 = QString::number(hk2);

            grid->setCell(x + "KMKCD", r, a);
            grid->setCell(x + "KMKNM", r,
                          fncLookupField("KMK_RNAME", "KMKMF", "KMK_NENDO = " + y + " AND KMK_CD = " + a));
            if (hk1 != 0) {
                grid->setCell(x + "HK1CD", r, h1);
                grid->setCell(x + "HK1NM", r,
                              fncLookupField("HK1_RNAME", "HK1MF",
                                             "HK1_NENDO = " + y + " AND HK1_KMKCD = " + a + " AND HK1_CD = " + h1));
            }
            if (hk2 != 0) {
                grid->setCell(x + "HK2CD", r, h2);
                grid->setCell(x + "HK2NM", r,
                              fncLookupField("HK2_RNAME", "HK2MF",
                                             "HK2_NENDO = " + y + " AND HK2_SSKCD = " + s + " AND HK2_GRPCD = " + g +
                                                 " AND HK2_KMKCD = " + a + " AND HK2_HK1CD = " + h1 +
                                                 " AND HK2_CD = " + h2));
            }
            if (zkbn != 0) {
                const QString z = QString::number(zkbn);
                grid->setCell(x + "ZKBN", r, z);
                grid->setCell(x + "ZKBNNM", r, FncGetTaxName(zkbn, entry_->txtDate->NumValue()));
            }
            grid->setCell(x + "KIN", r, ValCur(rs->Fields("TSM_KIN").Value()).ToString());
            grid->setCell(x + "TAX", r, ValCur(rs->Fields("TSM_TAX").Value()).ToString());
            if (tri != 0) {
                const QString t = QString::number(tri);
                grid->setCell(x + "TRICD", r, t);
                grid->setCell(x + "TRINM", r,
                              fncLookupField("TRI_NAME", "TRIMF", "TRI_SSKCD = " + s + " AND TRI_CD = " + t));
            }
            grid->setCell(x + "TEKI", r, rs->Fields("TSM_TEKIYO").Value().Text().trimmed());
            rs->MoveNext();
        }
        grid->setRedraw(true);
        rs->Close();
        result = true;
    } catch (const AppError& e) {
        if (grid) grid->setRedraw(true);
        ShowErrMsg(e);
    }
    gblnLoading = false;
    return result;
}
