#include "platform/ListGrid.h"

#include "platform/KeyCodes.h"
#include "platform/VbCompat.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

}  // namespace

// ---------------------------------------------------------------------------
// The cells: one text per row (see StoreRow), and
// the settings of each column. While quiet, changes are only noted and
// announced all at once when it ends.

class ListGridModel : public QAbstractTableModel {
public:
    struct Column {
        QString header;
        double width = ListGrid::DefaultColWidth;
        bool hidden = false;
        ListGrid::CellKind kind = ListGrid::CellKind::Text;
        Qt::Alignment align = Qt::AlignLeft;
        bool alignSet = false;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(cols_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return QVariant();
        const int r = index.row(), c = index.column();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return Shown(r, c);
        case Qt::EditRole: return Raw(r, c);
        case Qt::TextAlignmentRole: return QVariant::fromValue(cols_[c].align | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            if (colored_) return r % 2 == 0 ? back1_ : back2_;
            return QVariant();
        case Qt::ForegroundRole:
            if (colored_) return r % 2 == 0 ? fore1_ : fore2_;
            return QVariant();
        default: return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) {
            return QAbstractTableModel::headerData(section, orientation, role);
        }
        if (orientation == Qt::Horizontal) {
            return section >= 0 && section < columnCount() ? cols_[section].header : QString();
        }
        return QString::number(section + 1);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    // 0-based access.
    QString Raw(int r, int c) const {
        const QString& row = rows_[r];
        // The c-th cell: skip c separators.
        qsizetype start = 0;
        for (int k = 0; k < c; ++k) {
            const qsizetype sep = row.indexOf(kSep, start);
            if (sep < 0) return QString();
            start = sep + 1;
        }
        qsizetype end = row.indexOf(kSep, start);
        if (end < 0) end = row.size();
        return row.mid(start, end - start);
    }

    // Every cell of a row, padded to the column count.
    QStringList Cells(int r) const {
        QStringList cells;
        if (!rows_[r].isEmpty()) cells = rows_[r].split(kSep);
        while (cells.size() < static_cast<qsizetype>(cols_.size())) cells.append(QString());
        return cells;
    }

    void SetRaw(int r, int c, const QString& text) {
        QStringList cells = Cells(r);
        cells[c] = Stored(c, text);
        StoreRow(r, cells);
    }

    // Cells c1, c1 + 1, ... of a row take the given texts.
    void SetRawCells(int r, int c1, const QStringList& texts, int c2) {
        QStringList cells = Cells(r);
        for (int j = 0; j < texts.size() && c1 + j <= c2; ++j) cells[c1 + j] = Stored(c1 + j, texts[j]);
        StoreRow(r, cells);
    }

    // A row is kept as one text, its cells joined by a NUL character, and
    // nothing at all while every cell is empty: a long list costs little
    // beyond its texts.
    void StoreRow(int r, const QStringList& cells) { rows_[r] = Joined(cells); }

    static QString Joined(const QStringList& cells) {
        qsizetype last = cells.size();
        while (last > 0 && cells[last - 1].isEmpty()) --last;
        QString row = last == 0 ? QString() : cells.mid(0, last).join(kSep);
        row.squeeze();
        return row;
    }

    // Every row anew, each given as its cells joined by TAB.
    void SetRows(std::vector<QString>&& rows) {
        for (QString& row : rows) row = StoredRow(std::move(row));
        SetRowCount(static_cast<int>(rows.size()));
        rows_ = std::move(rows);
        AllChanged();
    }

    // A row given as its cells joined by TAB, as it is kept: what Stored
    // does to each cell, done in place. Only a date cell written as a date
    // (or with blanks around it) needs its cell taken apart.
    QString StoredRow(QString row) const {
        if (row.contains(kSep)) row.remove(kSep);
        const qsizetype n = row.size();
        const int cols = static_cast<int>(cols_.size());
        qsizetype end = n;  // where the cells beyond the last column begin
        int c = 0;
        for (qsizetype start = 0, i = 0; i <= n; ++i) {
            if (i < n && row[i] != QLatin1Char('\t')) continue;
            if (c >= cols) {
                end = start - 1;
                break;
            }
            if (cols_[c].kind == ListGrid::CellKind::Date && i > start &&
                (row[start].isSpace() || row[i - 1].isSpace() ||
                 QStringView(row).mid(start, i - start).indexOf(QLatin1Char('/')) >= 0 ||
                 QStringView(row).mid(start, i - start).indexOf(QLatin1Char('-')) >= 0)) {
                const QStringList given = row.split(QLatin1Char('\t'));
                QStringList cells;
                for (int k = 0; k < cols && k < given.size(); ++k) cells << Stored(k, given[k]);
                return Joined(cells);
            }
            ++c;
            start = i + 1;
        }
        if (end < 0) end = 0;
        // Empty cells at the end are not kept.
        while (end > 0 && (row[end - 1] == QLatin1Char('\t'))) --end;
        const bool shorter = end < n;
        if (shorter) row.truncate(end);
        QChar* d = row.data();
        for (qsizetype i = 0; i < end; ++i)
            if (d[i] == QLatin1Char('\t')) d[i] = kSep;
        if (shorter || row.capacity() > row.size()) row.squeeze();
        return row;
    }

    QString Stored(int c, const QString& text) const {
        QString t = cols_[c].kind == ListGrid::CellKind::Date ? DateNumberText(text) : text;
        if (t.contains(kSep)) t.remove(kSep);
        return t;
    }

    QString Shown(int r, int c) const {
        const QString raw = Raw(r, c);
        if (raw.isEmpty()) return raw;
        switch (cols_[c].kind) {
        case ListGrid::CellKind::Date: {
            static const QRegularExpression eight("^\\d{8}$");
            if (!eight.match(raw).hasMatch()) return raw;
            QDate d = QDate::fromString(raw, "yyyyMMdd");
            return d.isValid() ? d.toString("yyyy/MM/dd") : raw;
        }
        case ListGrid::CellKind::Amount:
            if (!IsNumeric(raw)) return raw;
            try {
                return FormatAmount(Currency::FromText(raw));
            } catch (const AppError&) {
                return raw;
            }
        case ListGrid::CellKind::Text: break;
        }
        return raw;
    }

    // A date cell keeps its value as the yyyymmdd number: a date text is
    // turned into it, anything else is kept as given.
    static QString DateNumberText(const QString& text) {
        QString t = text.trimmed();
        if (IsDate(t)) return QString::number(DateNumber(DateValue(t)));
        return t;
    }

    void SetRowCount(int n) {
        const int old = rowCount();
        if (n > old) {
            beginInsertRows(QModelIndex(), old, n - 1);
            rows_.resize(n);
            endInsertRows();
        } else if (n < old) {
            beginRemoveRows(QModelIndex(), n, old - 1);
            rows_.resize(n);
            endRemoveRows();
        }
    }

    void SetColCount(int n) {
        const int old = columnCount();
        if (n > old) {
            beginInsertColumns(QModelIndex(), old, n - 1);
            cols_.resize(n);
            endInsertColumns();
        } else if (n < old) {
            beginRemoveColumns(QModelIndex(), n, old - 1);
            cols_.resize(n);
            for (int r = 0; r < rowCount(); ++r) {
                QStringList cells = Cells(r);
                cells.resize(n);
                StoreRow(r, cells);
            }
            endRemoveColumns();
        }
    }

    Column& Col(int c) { return cols_[c]; }
    const Column& Col(int c) const { return cols_[c]; }

    // Announces a change of the cells r1..r2 x c1..c2 (0-based).
    void CellsChanged(int r1, int c1, int r2, int c2) {
        if (r1 > r2 || c1 > c2) return;
        if (quiet_) {
            pending_ = true;
            return;
        }
        emit dataChanged(index(r1, c1), index(r2, c2));
    }

    void AllChanged() {
        if (rowCount() > 0 && columnCount() > 0) CellsChanged(0, 0, rowCount() - 1, columnCount() - 1);
    }

    void HeaderChanged(int c) {
        if (quiet_) {
            pending_ = true;
            return;
        }
        emit headerDataChanged(Qt::Horizontal, c, c);
    }

    void SetQuiet(bool quiet) {
        quiet_ = quiet;
        if (!quiet_ && pending_) {
            pending_ = false;
            AllChanged();
            if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        }
    }

    void SetColors(const QColor& back1, const QColor& fore1, const QColor& back2, const QColor& fore2) {
        back1_ = back1;
        fore1_ = fore1;
        back2_ = back2;
        fore2_ = fore2;
        colored_ = true;
        AllChanged();
    }

private:
    static constexpr QChar kSep = QChar(0);
    std::vector<QString> rows_;
    std::vector<Column> cols_;
    QColor back1_, fore1_, back2_, fore2_;
    bool colored_ = false;
    bool quiet_ = false;
    bool pending_ = false;
};

// ---------------------------------------------------------------------------
// The view: Home and End go to the first and last row.

class ListGridView : public QTableView {
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        if (action == MoveHome || action == MoveEnd) {
            QAbstractItemModel* m = model();
            const int rows = m ? m->rowCount() : 0;
            if (rows == 0) return QModelIndex();
            QModelIndex cur = currentIndex();
            int col = cur.isValid() ? cur.column() : 0;
            return m->index(action == MoveHome ? 0 : rows - 1, col);
        }
        return QTableView::moveCursor(action, modifiers);
    }
};

// ---------------------------------------------------------------------------

ListGrid::ListGrid(QWidget* parent)
    : QWidget(parent), model_(new ListGridModel(this)), view_(new ListGridView(this)) {
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setTabKeyNavigation(false);
    view_->setWordWrap(false);
    view_->setCornerButtonEnabled(false);
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setHighlightSections(false);
    view_->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(view_);

    connect(view_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit DblClick(index.column() + 1, index.row() + 1); });
    connect(view_->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int section) { emit DblClick(section + 1, 0); });
    connect(view_->verticalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int section) { emit DblClick(0, section + 1); });

    ApplyAllColumns();
}

ListGrid::~ListGrid() = default;

QTableView* ListGrid::view() const { return view_; }

int ListGrid::MaxRows() const { return model_->rowCount(); }

void ListGrid::setMaxRows(int rows) {
    model_->SetRowCount(std::max(rows, 0));
    OnRowsChanged();
}

int ListGrid::MaxCols() const { return model_->columnCount(); }

void ListGrid::setMaxCols(int cols) {
    const int old = MaxCols();
    model_->SetColCount(std::max(cols, 0));
    for (int c = old + 1; c <= MaxCols(); ++c) ApplyColumn(c);
    EnsureCursor();
}

void ListGrid::setReDraw(bool on) {
    if (on == reDraw_) return;
    reDraw_ = on;
    model_->SetQuiet(!on);
    view_->setUpdatesEnabled(on);
    if (on) {
        EnsureCursor();
        view_->viewport()->update();
    }
}

ListGrid::Block ListGrid::CurrentBlock() const {
    auto span = [](int a, int b, int max, int& lo, int& hi) {
        if (a == -1 || b == -1) {
            lo = 1;
            hi = max;
            return;
        }
        lo = std::max(std::min(a, b), 1);
        hi = std::min(std::max(a, b), max);
    };
    Block b{};
    span(row_, row2_, MaxRows(), b.row1, b.row2);
    span(col_, col2_, MaxCols(), b.col1, b.col2);
    return b;
}

QString ListGrid::Clip() const {
    const Block b = CurrentBlock();
    if (b.empty()) return QString();
    QStringList lines;
    lines.reserve(b.row2 - b.row1 + 1);
    for (int r = b.row1; r <= b.row2; ++r) {
        QStringList cells;
        for (int c = b.col1; c <= b.col2; ++c) cells << model_->Raw(r - 1, c - 1);
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QStringLiteral("\r\n"));
}

void ListGrid::setClip(const QString& text) {
    const Block b = CurrentBlock();
    if (b.empty()) return;
    static const QRegularExpression lineBreak("\r\n|\r|\n");
    QStringList lines;
    // One row at a time is the common case: no need to look for breaks.
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'))) lines = text.split(lineBreak);
    else lines << text;
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();   // a closing line break
    int lastRow = b.row1 - 1;
    for (int i = 0; i < lines.size() && b.row1 + i <= b.row2; ++i) {
        const int r = b.row1 + i;
        model_->SetRawCells(r - 1, b.col1 - 1, lines[i].split(QLatin1Char('\t')), b.col2 - 1);
        lastRow = r;
    }
    model_->CellsChanged(b.row1 - 1, b.col1 - 1, lastRow - 1, b.col2 - 1);
}

void ListGrid::SetRows(std::vector<QString> rows) {
    model_->SetRows(std::move(rows));
    OnRowsChanged();
}

QString ListGrid::Text() const {
    if (row_ == 0) return ValidCol(col_) ? model_->Col(col_ - 1).header : QString();
    if (row_ < 1 || row_ > MaxRows()) return QString();
    if (col_ == 0) return QString::number(row_);
    if (!ValidCol(col_)) return QString();
    return model_->Raw(row_ - 1, col_ - 1);
}

void ListGrid::setText(const QString& text) {
    if (blockMode_) {
        const Block b = CurrentBlock();
        if (b.empty()) return;
        QStringList texts;
        for (int c = b.col1; c <= b.col2; ++c) texts << text;
        for (int r = b.row1; r <= b.row2; ++r) model_->SetRawCells(r - 1, b.col1 - 1, texts, b.col2 - 1);
        model_->CellsChanged(b.row1 - 1, b.col1 - 1, b.row2 - 1, b.col2 - 1);
        return;
    }
    if (row_ == 0) {
        setColumnHeader(col_, text);
        return;
    }
    if (row_ < 1 || row_ > MaxRows() || !ValidCol(col_)) return;
    model_->SetRaw(row_ - 1, col_ - 1, text);
    model_->CellsChanged(row_ - 1, col_ - 1, row_ - 1, col_ - 1);
}

int ListGrid::ActiveRow() const {
    QModelIndex cur = view_->currentIndex();
    return cur.isValid() ? cur.row() + 1 : 0;
}

int ListGrid::ActiveCol() const {
    QModelIndex cur = view_->currentIndex();
    return cur.isValid() ? cur.column() + 1 : 0;
}

void ListGrid::setActiveRow(int row) {
    const int col = ActiveCol();
    SetActiveCell(col >= 1 ? col : 1, row);
}

void ListGrid::SetActiveCell(int col, int row) {
    if (row < 1 || row > MaxRows() || MaxCols() == 0) return;
    col = std::clamp(col, 1, MaxCols());
    QModelIndex index = model_->index(row - 1, col - 1);
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (reDraw_) view_->scrollTo(index);
}

void ListGrid::EnsureCursor() {
    if (MaxRows() == 0 || MaxCols() == 0 || view_->currentIndex().isValid()) return;
    int col = 0;
    while (col < MaxCols() - 1 && view_->isColumnHidden(col)) ++col;
    QModelIndex index = model_->index(0, col);
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListGrid::OnRowsChanged() {
    EnsureCursor();
    // A shrunk list may leave the cursor on a row that is no longer selected.
    QModelIndex cur = view_->currentIndex();
    if (cur.isValid() && !view_->selectionModel()->isRowSelected(cur.row(), QModelIndex())) {
        view_->selectionModel()->select(cur, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void ListGrid::SetOddEvenRowColor(const QColor& back1, const QColor& fore1, const QColor& back2, const QColor& fore2) {
    view_->setAlternatingRowColors(false);
    model_->SetColors(back1, fore1, back2, fore2);
}

QString ListGrid::ColumnHeader(int col) const { return ValidCol(col) ? model_->Col(col - 1).header : QString(); }

void ListGrid::setColumnHeader(int col, const QString& caption) {
    if (!ValidCol(col)) return;
    model_->Col(col - 1).header = caption;
    model_->HeaderChanged(col - 1);
}

double ListGrid::ColWidth(int col) const { return ValidCol(col) ? model_->Col(col - 1).width : 0.0; }

void ListGrid::setColWidth(int col, double chars) {
    if (!ValidCol(col)) return;
    model_->Col(col - 1).width = std::max(chars, 0.0);
    ApplyColumn(col);
}

bool ListGrid::ColHidden(int col) const { return ValidCol(col) && model_->Col(col - 1).hidden; }

void ListGrid::setColHidden(int col, bool hidden) {
    if (!ValidCol(col)) return;
    model_->Col(col - 1).hidden = hidden;
    ApplyColumn(col);
}

ListGrid::CellKind ListGrid::ColKind(int col) const {
    return ValidCol(col) ? model_->Col(col - 1).kind : CellKind::Text;
}

void ListGrid::setColKind(int col, CellKind kind) {
    if (!ValidCol(col)) return;
    auto& c = model_->Col(col - 1);
    c.kind = kind;
    if (!c.alignSet) c.align = kind == CellKind::Amount ? Qt::AlignRight : Qt::AlignLeft;
    if (MaxRows() > 0) model_->CellsChanged(0, col - 1, MaxRows() - 1, col - 1);
}

Qt::Alignment ListGrid::ColAlignment(int col) const {
    return ValidCol(col) ? model_->Col(col - 1).align : Qt::Alignment(Qt::AlignLeft);
}

void ListGrid::setColAlignment(int col, Qt::Alignment alignment) {
    if (!ValidCol(col)) return;
    auto& c = model_->Col(col - 1);
    c.align = alignment & Qt::AlignHorizontal_Mask;
    c.alignSet = true;
    if (MaxRows() > 0) model_->CellsChanged(0, col - 1, MaxRows() - 1, col - 1);
}

void ListGrid::setRowHeadersVisible(bool visible) { view_->verticalHeader()->setVisible(visible); }

void ListGrid::ApplyColumn(int col) {
    if (!ValidCol(col)) return;
    const auto& c = model_->Col(col - 1);
    // A character is as wide as a half-width digit, as in a spreadsheet;
    // the cell keeps a margin on both sides.
    const int px = qRound(c.width * fontMetrics().horizontalAdvance(QLatin1Char('0'))) + 12;
    view_->setColumnWidth(col - 1, px);
    view_->setColumnHidden(col - 1, c.hidden);
}

void ListGrid::ApplyAllColumns() {
    view_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    for (int c = 1; c <= MaxCols(); ++c) ApplyColumn(c);
}

void ListGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) ApplyAllColumns();
    QWidget::changeEvent(event);
}

bool ListGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        const int code = VbKeyCode(ke);
        if (code != 0) {
            int keyCode = code;
            int shift = VbShiftState(ke->modifiers());
            QPointer<ListGrid> self(this);
            emit KeyDown(keyCode, shift);
            if (!self) return true;
            if (keyCode == 0) return true;
            if (code == vbKeyReturn) {
                if (enterDblClick_ && ActiveRow() >= 1) emit DblClick(ActiveCol(), ActiveRow());
                return true;   // Enter stays with the list
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
