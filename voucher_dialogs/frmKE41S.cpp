#include "voucher_dialogs/frmKE41S.h"

#include "common/WindowKeys.h"
#include "common/WindowStyle.h"
#include "common/basStdComm.h"
#include "common/basTavik.h"
#include "platform/KeyCodes.h"
#include "platform/ListGrid.h"
#include "platform/MsgBox.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"
#include "voucher_dialogs/basPrint.h"
#include "voucher_dialogs/frmKE41H.h"
#include "voucher_entry/basWKE410.h"
#include "voucher_entry/frmKE410.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <vector>

using namespace basStdComm;
using namespace basWKE410;
using namespace basTavik;

namespace {

// Columns of the list.
enum : int {
    colNendo = 1,
    colYm = 2,
    colDate = 3,
    colDenNo = 4,
    colTekiyo = 5,
    colKin = 6,
    colNDate = 7,
    colTanto = 8,
    colKessan = 9,
    colCount = 9,
};

const QString kMsgNoRow = QStringLiteral("行が選択されていません");

// More vouchers than this in a list without a date condition are counted
// and the clerk asked before they are read.
constexpr long kLargeList = 100000;

// A text cell of a row of the list: a tab or line break inside it would
// split the row, so they become blanks.
QString ClipCell(QString text) {
    const auto breaks = [](QChar c) {
        return c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };
    if (std::none_of(text.cbegin(), text.cend(), breaks)) return text;
    for (QChar& c : text)
        if (breaks(c)) c = QLatin1Char(' ');
    return text;
}

// A value written at the end of a line: a whole number without a text of
// its own.
void AppendValue(QString& line, const DbValue& value) {
    if (!value.IsInteger()) {
        line += value.Text();
        return;
    }
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value.Integer()).ptr;
    line += QLatin1StringView(digits, end - digits);
}

}  // namespace

frmKE41S::frmKE41S(QWidget* parent) : QDialog(parent) {
    ShowEntryWindow = [](frmKE410& w) { w.exec(); };
    ShowConditionDialog = [](frmKE41H& d) { d.exec(); };
    PrintVouchers = basPrint::fncPrintVouchers;
    BuildControls();
    Form_Load();
}

frmKE41S::~frmKE41S() = default;

void frmKE41S::BuildControls() {
    setWindowTitle("振替伝票一覧");
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

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
    const char* headers[colCount] = {"NENDO", "YM",       "伝票日付", "伝票番号", "摘要",
                                     "合計金額", "入力日付", "入力者",   "決算"};
    for (int c = 1; c <= colCount; ++c) spdMeisai->setColumnHeader(c, QString::fromUtf8(headers[c - 1]));
    spdMeisai->setColHidden(colNendo, true);
    spdMeisai->setColHidden(colYm, true);
    spdMeisai->setColKind(colDate, ListGrid::CellKind::Date);
    spdMeisai->setColKind(colKin, ListGrid::CellKind::Amount);
    spdMeisai->setColKind(colNDate, ListGrid::CellKind::Date);
    spdMeisai->setColAlignment(colDenNo, Qt::AlignRight);
    spdMeisai->setColAlignment(colKessan, Qt::AlignHCenter);
    spdMeisai->setColWidth(colDate, 9.5);
    spdMeisai->setColWidth(colDenNo, ListGrid::DefaultColWidth);
    spdMeisai->setColWidth(colTekiyo, 43.6);
    spdMeisai->setColWidth(colKin, 14);
    spdMeisai->setColWidth(colNDate, 9.62);
    spdMeisai->setColWidth(colTanto, 15);
    spdMeisai->setColWidth(colKessan, 6.12);
    root->addWidget(spdMeisai, 1);

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
    cmdSel = button("表示変更(&S)");
    cmdPrn = button("印刷(&P)");
    buttons->addSpacing(16);
    cmdCopy = button("コピー(&C)");
    cmdUpd = button("変更(&U)");
    cmdIns = button("追加(&A)");
    cmdDel = button("削除(&D)");
    buttons->addStretch(1);
    cmdEnd = button("閉じる(&X)");
    root->addWidget(Panel3D1[1]);

    resize(1000, 640);
    WindowKeys::IgnoreEscape(this);

    connect(cmdSel, &QPushButton::clicked, this, [this] { cmdSel_Click(); });
    connect(cmdPrn, &QPushButton::clicked, this, [this] { cmdPrn_Click(); });
    connect(cmdCopy, &QPushButton::clicked, this, [this] { cmdCopy_Click(); });
    connect(cmdUpd, &QPushButton::clicked, this, [this] { cmdUpd_Click(); });
    connect(cmdIns, &QPushButton::clicked, this, [this] { cmdIns_Click(); });
    connect(cmdDel, &QPushButton::clicked, this, [this] { cmdDel_Click(); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    connect(spdMeisai, &ListGrid::DblClick, this, [this](int col, int row) { spdMeisai_DblClick(col, row); });
    connect(spdMeisai, &ListGrid::KeyDown, this, [this](int& key, int& shift) { spdMeisai_KeyDown(key, shift); });
}


void frmKE41S::Form_Load() {
    CenterForm(this);
    // The list is read-only and its cursor marks whole rows already; no
    // further display option is needed.
    lblGrp->Caption(FncGetSskGrpName(0, 0));
    SetFormStyle();
    ShowVoucherList();
    spdMeisai->SetFocus();
}

void frmKE41S::SetFormStyle() {
    WindowStyle::Apply(this, {Panel3D1[0], Panel3D1[1]}, {lblGrp});
    spdMeisai->SetOddEvenRowColor(Qt::white, Qt::black, QColor(255, 252, 185), Qt::black);
}

// ---------------------------------------------------------------- the list

void frmKE41S::ShowVoucherList() {
    try {
        // The conditions of the list.
        QString where = " FROM DNHDT";
        where += " LEFT JOIN USGMF ON DNH_TANCD = USG_ID";
        where += " WHERE DNH_SSKCD = " + QString::number(glngSskCd);
        where += "   AND DNH_GRPCD = " + QString::number(glngGrpCd);
        where += "   AND DNH_DELKBN = 0";
        where += "   AND DNH_DENNO BETWEEN " + QString::number(glngSrchDenNoSt) + " AND " +
                 QString::number(glngSrchDenNoEnd);
        if (gintSrchDate == 1)
            where += "   AND DNH_DATE BETWEEN " + QString::number(glngSrchDateSt) + " AND " +
                     QString::number(glngSrchDateEnd);
        if (gintSrchNDate == 1)
            where += "   AND DNH_NDATE BETWEEN " + QString::number(glngSrchNDateSt) + " AND " +
                     QString::number(glngSrchNDateEnd);
        where += "   AND DNH_KBN < 10";
        if (glngSrchTanCd != 0) where += "   AND DNH_TANCD = " + QString::number(glngSrchTanCd);
        // Latin letters in either case, on every database.
        if (!gstrSrchTekiyo.isEmpty())
            where += "   AND UPPER(DNH_DTEKIYO) LIKE UPPER(" + fncSqlQuote("%" + gstrSrchTekiyo + "%") + ")";
        if (glngSrchKessan != 0) where += "   AND DNH_KBN = " + QString::number(glngSrchKessan);

        // Without any date condition the list may hold every voucher the
        // books ever kept: the clerk is told how many first and may narrow
        // the conditions instead.
        if (gintSrchDate != 1 && gintSrchNDate != 1) {
            RecordsetPtr count = gobjDB->OpenRecordset("SELECT COUNT(*) AS CNT" + where);
            const long n = count->Eof() ? 0 : ValLng(count->Fields("CNT").Value());
            if (n > kLargeList &&
                MsgBox("該当する伝票が " + FormatAmount(Currency::FromWhole(n)) + " 件あります。すべて表示しますか？",
                       vbYesNo | vbQuestion | vbDefaultButton2, windowTitle()) != vbYes) {
                spdMeisai->setMaxRows(0);
                return;
            }
        }

        // The amount of each voucher (amount plus tax of its entered debit
        // lines, 0 without any) comes with its row.
        gstrSQL = "SELECT DNH_NENDO, DNH_YM, DNH_DATE, DNH_DENNO, DNH_DTEKIYO, DNH_NDATE, USG_NAME, ";
        gstrSQL += " CASE DNH_KBN WHEN 1 THEN '○' ELSE '' END AS KBN, ";
        gstrSQL += " COALESCE((SELECT SUM(DNM_KIN + DNM_TAX) FROM DNMDT";
        gstrSQL += "   WHERE DNM_SSKCD = DNH_SSKCD";
        gstrSQL += "     AND DNM_GRPCD = DNH_GRPCD";
        gstrSQL += "     AND DNM_YM = DNH_YM";
        gstrSQL += "     AND DNM_DENNO = DNH_DENNO";
        gstrSQL += "     AND DNM_TSKBN = 1";
        gstrSQL += "     AND DNM_GYO < 90), 0) AS KIN";
        gstrSQL += where;
        // Vouchers equal in the chosen order come by their key.
        switch (gintSrchSort) {
        case 0: gstrSQL += " ORDER BY DNH_DATE DESC, DNH_YM DESC, DNH_DENNO DESC"; break;
        case 1: gstrSQL += " ORDER BY DNH_DENNO DESC, DNH_YM DESC"; break;
        case 2: gstrSQL += " ORDER BY DNH_NDATE DESC, DNH_YM DESC, DNH_DENNO DESC"; break;
        default: break;
        }

        // Each row is made into its line of the list as the database gives
        // it; the list takes them all at once.
        enum { fNendo, fYm, fDate, fDenNo, fTekiyo, fNDate, fTanto, fKbn, fKin };
        std::vector<QString> rows;
        QString line;
        line.reserve(160);
        gobjDB->ForEachRow(gstrSQL, [&](const std::vector<DbValue>& v) {
            line.resize(0);  // keeps its room
            AppendValue(line, v[fNendo]);
            line += QLatin1Char('\t');
            AppendValue(line, v[fYm]);
            line += QLatin1Char('\t');
            AppendValue(line, v[fDate]);
            line += QLatin1Char('\t');
            AppendValue(line, v[fDenNo]);
            line += QLatin1Char('\t');
            line += ClipCell(v[fTekiyo].Text().trimmed());
            line += QLatin1Char('\t');
            line += ValCur(v[fKin]).ToString();
            line += QLatin1Char('\t');
            AppendValue(line, v[fNDate]);
            line += QLatin1Char('\t');
            line += ClipCell(v[fTanto].Text());
            line += QLatin1Char('\t');
            line += v[fKbn].Text();
            // A text of its own, no larger than the line.
            rows.emplace_back(line.constData(), line.size());
        });
        spdMeisai->SetRows(std::move(rows));
    } catch (const AppError& e) {
        // The list stays as it was.
        ShowErrMsg(e);
    }
}

QString frmKE41S::CellText(int lngRow, int lngCol) {
    spdMeisai->setRow(lngRow);
    spdMeisai->setCol(lngCol);
    return spdMeisai->Text();
}

// ---------------------------------------------------------------- opening a voucher

int frmKE41S::SelectedRow() {
    const int row = spdMeisai->ActiveRow();
    if (row < 1) {
        MsgBox(kMsgNoRow, vbExclamation, windowTitle());
        return 0;
    }
    return row;
}

void frmKE41S::OpenEntryWindow() {
    {
        frmKE410 entry(this);
        ShowEntryWindow(entry);
    }
    // Back to the list for the keyboard, also where no window manager
    // hands the activation back.
    activateWindow();
}

void frmKE41S::OpenVoucher(int lngRow, const QString& strMode) {
    spdMeisai->setRow(lngRow);
    gstrEditMode = strMode;
    glngDenNendo = ValLng(CellText(lngRow, colNendo));
    glngDenYm = ValLng(CellText(lngRow, colYm));
    glngDenNo = ValLng(CellText(lngRow, colDenNo));
    OpenEntryWindow();
    ShowVoucherList();
}

void frmKE41S::cmdIns_Click() {
    gstrEditMode = "I";
    glngDenYm = 0;
    glngDenNendo = 0;
    glngDenNo = 0;
    OpenEntryWindow();
    ShowVoucherList();
    spdMeisai->SetFocus();
}

void frmKE41S::cmdUpd_Click() {
    const int row = SelectedRow();
    if (row < 1) return;
    OpenVoucher(row, "U");
    spdMeisai->SetFocus();
}

void frmKE41S::cmdCopy_Click() {
    const int row = SelectedRow();
    if (row < 1) return;
    OpenVoucher(row, "C");
    spdMeisai->SetFocus();
}

void frmKE41S::cmdDel_Click() {
    const int row = SelectedRow();
    if (row < 1) return;
    OpenVoucher(row, "D");
    spdMeisai->SetFocus();
}

void frmKE41S::spdMeisai_DblClick(int /*Col*/, int Row) {
    if (Row < 1) return;  // the header
    OpenVoucher(Row, "U");
}

void frmKE41S::spdMeisai_KeyDown(int& KeyCode, int& /*Shift*/) {
    if (KeyCode != vbKeyReturn) return;
    const int row = SelectedRow();
    if (row < 1) return;
    OpenVoucher(row, "U");
}

void frmKE41S::cmdSel_Click() {
    {
        frmKE41H conditions(this);
        ShowConditionDialog(conditions);
    }
    activateWindow();
    ShowVoucherList();
    spdMeisai->SetFocus();
}

// ---------------------------------------------------------------- print

void frmKE41S::cmdPrn_Click() {
    const int row = SelectedRow();
    if (row < 1) return;
    try {
        spdMeisai->setRow(row);
        glngDenNendo = ValLng(CellText(row, colNendo));
        glngDenYm = ValLng(CellText(row, colYm));
        long lngDate = ValLng(CellText(row, colDate));
        glngDenNo = ValLng(CellText(row, colDenNo));

        const QString sban = fncLookupField("SSK_SBANKBN", "SSKMF", "SSK_CD = " + QString::number(glngSskCd));
        long key = 0;
        if (sban == "0") {
            key = FncGetKskMonth(lngDate, 0, 0);
        } else if (sban == "1") {
            key = FncGetKskNendo(lngDate, 0, 0);
        } else if (sban.isEmpty()) {
            MsgBox("決算期間マスタが登録されていません。", vbCritical, "振替伝票印刷");
            return;
        }
        PrintVouchers(xlrRep, false, 0, key, key, glngDenNo, glngDenNo, 0, 0, 0);
    } catch (const AppError& e) {
        ShowErrMsg(e);
    }
}

// ---------------------------------------------------------------- closing

void frmKE41S::cmdEnd_Click() { close(); }

void frmKE41S::Form_QueryUnload() { EndSystem(); }

void frmKE41S::done(int r) {
    // Every way of closing (the button, Alt+X, the window's close box) ends
    // here; the program ends with this window.
    Form_QueryUnload();
    QDialog::done(r);
}
