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
#include <charconv>
#ifdef __GLIBC__
#include <malloc.h>
#endif
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

frmKR410::~frmKR410() { StopFill(); }

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

        auto journalSql = [](long from, long to) {
            QString q = "SELECT DNH_YM";
            q += "     , DNH_DENNO";
            q += "     , DNH_DATE";
            q += "     , DNM_KMKCD";
            q += "     , DNM_HK1CD";
            q += "     , DNM_HK2CD";
            q += "     , KMK_RNAME";
            q += "     , HK1_RNAME";
            q += "     , HK2_RNAME";
            q += "     , DNM_TSKBN";
            q += "     , DNM_KIN";
            q += "     , DNM_TAX";
            q += "     , DNM_TEKIYO";
            q += "  FROM V_DENDT";
            q += "  LEFT JOIN KMKMF";
            q += "    ON DNH_NENDO = KMK_NENDO";
            q += "   AND DNM_KMKCD = KMK_CD";
            q += "  LEFT JOIN HK1MF";
            q += "    ON DNH_NENDO = HK1_NENDO";
            q += "   AND DNM_KMKCD = HK1_KMKCD";
            q += "   AND DNM_HK1CD = HK1_CD";
            q += "  LEFT JOIN HK2MF";
            q += "    ON DNH_NENDO = HK2_NENDO";
            q += "   AND DNH_SSKCD = HK2_SSKCD";
            q += "   AND DNH_GRPCD = HK2_GRPCD";
            q += "   AND DNM_KMKCD = HK2_KMKCD";
            q += "   AND DNM_HK1CD = HK2_HK1CD";
            q += "   AND DNM_HK2CD = HK2_CD";
            q += " WHERE DNH_SSKCD = " + Num(glngSskCd);
            q += "   AND DNH_GRPCD = " + Num(glngGrpCd);
            q += "   AND DNH_DATE >= " + Num(from);
            q += "   AND DNH_DATE <= " + Num(to);
            q += "   AND DNM_GYO < 90";
            q += " ORDER BY DNH_DATE, DNH_DENNO, DNH_YM, DNM_GYO, DNM_TSKBN";
            return q;
        };
        gstrSQL = journalSql(dS, dE);
        // The lines come a batch at a time: the first screenful at once, the
        // rest while the window stays usable. From a book file each month
        // is its own statement, read beside the others.
        LinePacker packer;
        const char* keys[] = {"DATA_DATE", "DATA_DENNO", "DATA_KMKCD", "DATA_KMKNM", "DATA_HK1CD", "DATA_HK1NM",
                              "DATA_HK2CD", "DATA_HK2NM", "DATA_KARI", "DATA_KASI", "DATA_TEKIYO"};
        for (int i = 0; i < 11; ++i) packer.cell[i] = DenMain->CellIndex(keys[i]);
        std::vector<std::pair<long, long>> ranges;
        if (gobjDB->IsFileDatabase()) {
            for (QDate from = dtStart; from <= dtEnd;) {
                const QDate monthEnd(from.year(), from.month(), from.daysInMonth());
                const QDate to = std::min(monthEnd, dtEnd);
                ranges.emplace_back(DateNumber(from), DateNumber(to));
                from = to.addDays(1);
            }
        } else {
            ranges.emplace_back(dS, dE);
        }
        std::vector<QString> statements;
        for (const auto& [from, to] : ranges) statements.push_back(ranges.size() == 1 ? gstrSQL : journalSql(from, to));
        std::vector<std::unique_ptr<RowCursor>> cursors = RowCursor::OpenAtOneMoment(*gobjDB, statements);
        // Months that could not be read as of one moment: the one statement.
        if (cursors.empty()) cursors.push_back(std::make_unique<RowCursor>(*gobjDB, gstrSQL));
        parts_.resize(cursors.size());
        for (size_t i = 0; i < cursors.size(); ++i) {
            parts_[i].cursor = std::move(cursors[i]);
            parts_[i].packer = packer;
        }
        // The first screenful: from the first months that have lines.
        LineBatch first;
        for (takePart_ = 0; takePart_ < parts_.size(); ++takePart_) {
            Part& part = parts_[takePart_];
            PackLines(*part.cursor, kFirstLines - first.rows.size(), part.packer, first);
            if (!part.cursor->AtEnd()) break;
            part.done = true;
        }
        if (first.rows.empty()) {
            StopFill();
            Warn("該当データは、ありませんでした。");
            return false;
        }
        // The cursor keeps its row, as far as the lines reach.
        const int keepRow = DenMain->CurrentRow();
        DenMain->setRows(0);
        lngRowDenDate.clear();
        DenMain->setGridEnabled(true);
        AppendLines(first);
        DenMain->setCurrentRow(std::min(keepRow, DenMain->Rows() - 1));
        if (takePart_ >= parts_.size()) StopFill();
        else if (gobjDB->IsFileDatabase()) ReadAhead();
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
    stopReading_ = true;
    for (std::thread& t : readers_) t.join();
    readers_.clear();
    stopReading_ = false;
    parts_.clear();
    takePart_ = 0;
    readError_.reset();
}

// Every line is in: the readers end, and what the fill held beyond the
// lines themselves (the growth room of the row lists, the batches the
// readers passed on) goes back to the system.
void frmKR410::FillDone() {
    StopFill();
    lngRowDenDate.shrink_to_fit();
    DenMain->FitRows();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// The months not yet read, read and packed on threads of their own (each
// takes every kReaders-th month in turn); the window takes each batch as
// it is ready, month after month.
void frmKR410::ReadAhead() {
    const size_t readers = std::min<size_t>(kReaders, parts_.size() - takePart_);
    for (size_t t = 0; t < readers; ++t) {
        readers_.emplace_back([this, t, readers, start = takePart_] {
            auto wake = [this] { QMetaObject::invokeMethod(this, [this] { TakeReady(); }, Qt::QueuedConnection); };
            for (size_t i = start + t; i < parts_.size() && !stopReading_; i += readers) {
                Part& part = parts_[i];
                try {
                    while (!stopReading_ && !part.cursor->AtEnd()) {
                        LineBatch batch;
                        PackLines(*part.cursor, kLinesPerTurn, part.packer, batch);
                        {
                            std::lock_guard<std::mutex> lock(readyLock_);
                            part.ready.push_back(std::move(batch));
                        }
                        wake();
                    }
                    part.cursor.reset();
                    std::lock_guard<std::mutex> lock(readyLock_);
                    part.done = true;
                } catch (const AppError& e) {
                    std::lock_guard<std::mutex> lock(readyLock_);
                    if (!readError_) readError_ = e;
                    stopReading_ = true;
                }
                wake();
            }
        });
    }
}

// Batches ready in date order appended, a few at a time so that keys and
// paints waiting come between.
void frmKR410::TakeReady() {
    std::vector<LineBatch> batches;
    bool more = false, done = false;
    std::optional<AppError> error;
    {
        std::lock_guard<std::mutex> lock(readyLock_);
        error = readError_;
        while (takePart_ < parts_.size()) {
            Part& part = parts_[takePart_];
            if (!part.ready.empty()) {
                if (static_cast<int>(batches.size()) == kBatchesPerTurn) {
                    more = true;
                    break;
                }
                batches.push_back(std::move(part.ready.front()));
                part.ready.pop_front();
            } else if (part.done) {
                ++takePart_;
            } else {
                break;
            }
        }
        done = !parts_.empty() && takePart_ >= parts_.size();
    }
    for (const LineBatch& b : batches) AppendLines(b);
    if (error) {
        StopFill();
        ShowErrMsg(*error);
    } else if (done) {
        FillDone();
    } else if (more) {
        QMetaObject::invokeMethod(this, [this] { TakeReady(); }, Qt::QueuedConnection);
    }
}

void frmKR410::FillMore() {
    if (takePart_ >= parts_.size()) {
        fillTimer_->stop();
        return;
    }
    try {
        Part& part = parts_[takePart_];
        LineBatch batch;
        PackLines(*part.cursor, kLinesPerTurn, part.packer, batch);
        AppendLines(batch);
        if (part.cursor->AtEnd()) FillDone();
    } catch (const AppError& e) {
        StopFill();
        ShowErrMsg(e);
    }
}

void frmKR410::AppendLines(const LineBatch& batch) {
    lngRowDenDate.insert(lngRowDenDate.end(), batch.dates.begin(), batch.dates.end());
    DenMain->AppendRows(batch.rows);
}

// Up to max of the cursor's lines packed as the grid shows them. It runs
// on the reading thread too: it touches nothing but its arguments.
void frmKR410::PackLines(RowCursor& cursor, int max, LinePacker& p, LineBatch& batch) {
    enum { fYm, fDenNo, fDate, fKmk, fHk1, fHk2, fKmkNm, fHk1Nm, fHk2Nm, fTsKbn, fKin, fTax, fTekiyo };
    enum { cDate, cDenNo, cKmk, cKmkNm, cHk1, cHk1Nm, cHk2, cHk2Nm, cKari, cKasi, cTekiyo, cShown };
    const int cells = 1 + *std::max_element(std::begin(p.cell), std::end(p.cell));
    batch.dates.reserve(batch.dates.size() + static_cast<size_t>(max));
    cursor.Next(max, [&](const RowCursor::Row& f) {
        auto lng = [&f](int c) -> long {
            if (!f.IsInteger(c)) return ValLng(f.Value(c));
            const qint64 n = f.Integer(c);
            return n > 2147483647 || n < -2147483648LL ? 0 : static_cast<long>(n);
        };
        char buf[4][24];
        auto number = [](char* b, qint64 n) { return std::string_view(b, std::to_chars(b, b + 24, n).ptr - b); };
        std::string_view v[cShown];
        const long lngDate = lng(fDate);
        batch.dates.push_back(lngDate);
        if (lngDate != p.lastDate || !p.anyDate) {
            p.anyDate = true;
            p.lastDate = lngDate;
            p.lastDateText = FncCnvDate(lngDate).toString("yyyy/MM/dd").toStdString();
        }
        v[cDate] = p.lastDateText;
        v[cDenNo] = f.IsInteger(fDenNo) ? number(buf[0], f.Integer(fDenNo)) : f.Utf8(fDenNo);
        // Codes: empty when 0.
        const int codeOf[] = {fKmk, fHk1, fHk2}, codeCell[] = {cKmk, cHk1, cHk2};
        for (int k = 0; k < 3; ++k)
            if (const long n = lng(codeOf[k])) v[codeCell[k]] = number(buf[1 + k], n);
        v[cKmkNm] = f.Utf8(fKmkNm);
        v[cHk1Nm] = f.Utf8(fHk1Nm);
        v[cHk2Nm] = f.Utf8(fHk2Nm);
        // Amount plus tax; whole amounts added as they are.
        std::string amount;
        constexpr qint64 kWholeLimit = 100000000000000LL;
        if (f.IsInteger(fKin) && f.IsInteger(fTax) && std::abs(f.Integer(fKin)) < kWholeLimit &&
            std::abs(f.Integer(fTax)) < kWholeLimit) {
            char a[24];
            amount.assign(number(a, f.Integer(fKin) + f.Integer(fTax)));
        } else {
            amount = (ValCur(f.Value(fKin)) + ValCur(f.Value(fTax))).ToString().toStdString();
        }
        const long lngTsKbn = lng(fTsKbn);
        if (lngTsKbn == 1) v[cKari] = amount;
        else if (lngTsKbn == 2) v[cKasi] = amount;
        v[cTekiyo] = f.Utf8(fTekiyo);
        std::string_view byCell[32];
        for (int i = 0; i < cShown; ++i)
            if (p.cell[i] >= 0 && p.cell[i] < 32) byCell[p.cell[i]] = v[i];
        for (int c = 0; c < std::min(cells, 32); ++c) batch.rows.cell(byCell[c]);
        batch.rows.endRow();
    });
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
